#include "base/thread.h"

#include <atomic>
#include <stdexcept>
#include <system_error>

#include "base/text.h"
#include "base/trace.h"

namespace {

std::atomic<int> failNextStart{0};

// The worker running on this thread (set by ThreadProc for the life of Run).
thread_local Thread* currentWorker = nullptr;

bool TakeInjectedFailure(int step) {
  int expected = step;
  return failNextStart.compare_exchange_strong(expected, 0);
}

}  // namespace

namespace thread_testing {
void FailNextStart(int step) { failNextStart.store(step); }
}  // namespace thread_testing

void StopSignal::Set() {
  {
    std::lock_guard lock(mutex_);
    set_ = true;
  }
  changed_.notify_all();
}

bool StopSignal::IsSet() const {
  std::lock_guard lock(mutex_);
  return set_;
}

bool StopSignal::Wait(unsigned milliseconds) const {
  if (milliseconds == 0) return IsSet();
  WaitFor(milliseconds, [] { return false; });
  return IsSet();
}

void StopSignal::Notify() const {
  // Taking the lock orders this wake-up after the waiter's last look at its condition.
  { std::lock_guard lock(mutex_); }
  changed_.notify_all();
}

Thread::Thread(std::string name) : name_(std::move(name)), stop_(std::make_shared<StopSignal>()) {}

Thread::~Thread() {
  if (thread_.joinable()) {
    stop_->Set();
    thread_.join();
  }
}

std::shared_ptr<StopSignal> Thread::CurrentStopSignal() {
  return currentWorker ? currentWorker->stop_ : nullptr;
}

void Thread::Start() {
  if (Started()) return;
  if (TakeInjectedFailure(1)) {
    throw std::runtime_error(Cp1250FromUtf8("Nie udało się utworzyć kontrolera nowego wątku."));
  }
  try {
    if (TakeInjectedFailure(2)) {
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
    thread_ = std::thread(&Thread::ThreadProc, this);
  } catch (const std::exception&) {
    throw std::runtime_error(Cp1250FromUtf8("Nie udało się utworzyć nowego wątku."));
  }
}

void Thread::Stop() {
  if (!thread_.joinable()) return;  // never started, or already stopped
  Trace("Thread::Stop: Stopping thread %s\n", name_.c_str());
  stop_->Set();
  Interrupt();
  {
    std::unique_lock lock(endedMutex_);
    if (!endedChanged_.wait_for(lock, std::chrono::milliseconds(kSlowStopMs), [this] { return ended_; })) {
      Trace("Thread::Stop: Thread %s still running after %ums\n", name_.c_str(), kSlowStopMs);
    }
  }
  thread_.join();
  finished_ = true;
  Trace("Thread::Stop: Stopped thread %s\n", name_.c_str());
}

int Thread::ThreadProc(Thread* self) {
  currentWorker = self;
  Trace("Thread::ThreadProc: Starting thread %s\n", self->name_.c_str());
  try {
    self->Run();
  } catch (const std::exception& e) {
    // Run catches its own failures; this only keeps a slip from ending the process.
    Trace("Thread::ThreadProc: Unhandled failure in thread %s: %s\n", self->name_.c_str(), e.what());
  } catch (...) {
    Trace("Thread::ThreadProc: Unhandled failure in thread %s\n", self->name_.c_str());
  }
  Trace("Thread::ThreadProc: Ending thread %s\n", self->name_.c_str());
  currentWorker = nullptr;
  {
    std::lock_guard lock(self->endedMutex_);
    self->ended_ = true;
  }
  self->endedChanged_.notify_all();
  return 0;
}
