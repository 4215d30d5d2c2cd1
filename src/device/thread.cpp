#include "device/thread.h"

#include <atomic>
#include <stdexcept>
#include <system_error>

#include "base/text.h"
#include "base/trace.h"

namespace {

std::atomic<int> failNextStart{0};

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
  std::unique_lock lock(mutex_);
  if (milliseconds == 0) return set_;
  return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return set_; });
}

Thread::Thread(std::string name) : name_(std::move(name)) {}

Thread::~Thread() {
  if (thread_.joinable()) {
    if (stopEvent_) stopEvent_->Set();
    thread_.join();
  }
}

void Thread::Start() {
  if (stopEvent_ && (thread_.joinable() || finished_)) return;
  if (!stopEvent_) {
    try {
      int expected = 1;
      if (failNextStart.compare_exchange_strong(expected, 0)) throw std::bad_alloc();
      stopEvent_ = std::make_unique<StopSignal>();
    } catch (const std::exception&) {
      throw std::runtime_error(Cp1250FromUtf8("Nie udało się utworzyć kontrolera nowego wątku."));
    }
  }
  try {
    int expected = 2;
    if (failNextStart.compare_exchange_strong(expected, 0)) {
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
    thread_ = std::thread(&Thread::ThreadProc, this);
  } catch (const std::exception&) {
    // The signal stays; the destructor releases it.
    throw std::runtime_error(Cp1250FromUtf8("Nie udało się utworzyć nowego wątku."));
  }
}

void Thread::Stop() {
  if (!thread_.joinable()) return;  // never started, or already stopped
  Trace("Thread::Stop: Stopping thread %s\n", name_.c_str());
  stopEvent_->Set();
  thread_.join();
  finished_ = true;
  Trace("Thread::Stop: Stopped thread %s\n", name_.c_str());
}

bool Thread::WaitForStop(unsigned milliseconds) const {
  return stopEvent_ ? stopEvent_->Wait(milliseconds) : false;
}

bool Thread::StopRequested() const { return stopEvent_ && stopEvent_->IsSet(); }

int Thread::ThreadProc(Thread* self) {
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
  return 0;
}
