// Base of the program's workers (Connection, LiveThread, ScanThread, ExportThread).
//
// A Thread owns one operating-system thread, a manual-reset stop signal that the owner raises
// and the worker waits on, and a name used only in trace lines. It has no queue of its own:
// requests reach a worker through a RequestSlot (base/request_slot.h), reports reach the
// screen by the rule at the top of device/sinks.h.
//
//   class MyWorker : public Thread {
//    public:
//     MyWorker() : Thread("Mine") {}
//     ~MyWorker() override { Stop(); }          // stop before the derived part is gone
//    protected:
//     int Run() override {
//       while (!WaitForStop(100)) { /* one pass */ }
//       return 0;
//     }
//   };
//
// Protocol: the owner calls Start once (on the UI thread); Run executes on the new thread and
// must return soon after the stop signal is raised; Stop raises the signal, calls Interrupt
// (a worker that may sit in a blocking call which never looks at the signal, such as a socket
// wait inside a library, ends that call there) and waits for the thread to end. Stop before
// Start returns at once; a second Stop returns at once. The four trace lines are
// "Thread::ThreadProc: Starting thread <name>", "Thread::Stop: Stopping thread <name>",
// "Thread::ThreadProc: Ending thread <name>" and "Thread::Stop: Stopped thread <name>"; a
// worker still running kSlowStopMs after the signal adds "Thread::Stop: Thread <name> still
// running after <ms>ms" before Stop goes on waiting for it (Stop never leaves a thread running
// on an object that its owner is about to destroy).
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// A manual-reset signal: once set it stays set; waits return at once from then on. Its
// condition variable also serves other wake-ups of the same worker (a posted request, the
// answer to a question), so that one wait covers "that happened, or stop".
class StopSignal {
 public:
  static constexpr unsigned kForever = ~0u;

  void Set();
  bool IsSet() const;
  // Waits up to `milliseconds` for the signal; true when it is set.
  bool Wait(unsigned milliseconds) const;
  // Waits up to `milliseconds` (kForever: no limit) until the signal is set or `ready()`
  // holds; `ready` is evaluated under the signal's lock. Returns ready().
  template <class Ready>
  bool WaitFor(unsigned milliseconds, Ready ready) const {
    std::unique_lock lock(mutex_);
    const auto done = [&] { return set_ || ready(); };
    if (milliseconds == kForever) {
      changed_.wait(lock, done);
    } else {
      changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), done);
    }
    return ready();
  }
  // Wakes every waiter so that it evaluates its condition again. Whoever makes a condition
  // true calls this after doing so.
  void Notify() const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool set_ = false;
};

class Thread {
 public:
  explicit Thread(std::string name);
  // Owners call Stop first; a thread still running here is stopped and joined as a last
  // resort (derived classes should call Stop in their own destructor, since Run must not run
  // on a half-destroyed object).
  virtual ~Thread();

  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts the thread. Throws std::runtime_error with "Nie udało się utworzyć kontrolera
  // nowego wątku." or "Nie udało się utworzyć nowego wątku." (Windows-1250). A second call on
  // a started object does nothing.
  void Start();
  // Raises the stop signal, calls Interrupt, then waits for the thread to end. Whatever the
  // worker waits for (a request, the answer to a question) also ends at the signal, so a UI
  // thread inside Stop never waits for a worker that waits for it.
  void Stop();

  // How long a worker may take to end after the stop signal before Stop traces it.
  static constexpr unsigned kSlowStopMs = 3000;

  const std::string& Name() const { return name_; }
  bool Started() const { return thread_.joinable() || finished_; }
  // The stop signal, shared so that whatever must wake the worker can hold it.
  const std::shared_ptr<StopSignal>& StopEvent() const { return stop_; }

  // The stop signal of the worker running on the calling thread; null on any other thread.
  static std::shared_ptr<StopSignal> CurrentStopSignal();

 protected:
  // The worker's body, run once on the worker thread. Must catch its own failures.
  virtual int Run() = 0;
  // Called by Stop on the stopping thread right after the stop signal was raised, while Run
  // may still be running: ends whatever blocking call of the worker does not look at the
  // signal. Must not block. The base does nothing.
  virtual void Interrupt() {}

  // Waits up to `milliseconds` on the stop signal; true when it is raised (0 = a test).
  bool WaitForStop(unsigned milliseconds) const { return stop_->Wait(milliseconds); }
  bool StopRequested() const { return stop_->IsSet(); }

 private:
  static int ThreadProc(Thread* self);

  std::string name_;
  std::shared_ptr<StopSignal> stop_;
  std::thread thread_;
  bool finished_ = false;  // joined by Stop
  // Set by ThreadProc when Run has returned, so that Stop can wait for it with a time limit.
  std::mutex endedMutex_;
  std::condition_variable endedChanged_;
  bool ended_ = false;
};

namespace thread_testing {
// Makes the next Start fail at the given step (1 = the stop signal, 2 = the thread).
// For tests of the failure path only.
void FailNextStart(int step);
}  // namespace thread_testing
