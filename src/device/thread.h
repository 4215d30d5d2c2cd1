// Base of the program's workers (Connection, LiveThread, ScanThread, ExportThread).
//
// A Thread owns one operating-system thread, a manual-reset stop signal that the owner raises
// and the worker polls, and a name used only in trace lines. It has no queue and no lock:
// each worker hands data to the user interface by its own rules.
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
// must return soon after the stop signal is raised; Stop raises the signal and waits without
// a time limit for the thread to end. Stop before Start returns at once; a second Stop returns
// at once. The four trace lines are "Thread::ThreadProc: Starting thread <name>",
// "Thread::Stop: Stopping thread <name>", "Thread::ThreadProc: Ending thread <name>" and
// "Thread::Stop: Stopped thread <name>".
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// A manual-reset signal: once set it stays set; waits return at once from then on.
class StopSignal {
 public:
  void Set();
  bool IsSet() const;
  // Waits up to `milliseconds` for the signal; true when it is set.
  bool Wait(unsigned milliseconds) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool set_ = false;
};

class Thread {
 public:
  explicit Thread(std::string name);
  // Closes the handles. Owners call Stop first; a thread still running here is stopped and
  // joined as a last resort (derived classes should call Stop in their own destructor, since
  // Run must not run on a half-destroyed object).
  virtual ~Thread();

  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Creates the stop signal, then the thread. Throws std::runtime_error with
  // "Nie udało się utworzyć kontrolera nowego wątku." or "Nie udało się utworzyć nowego wątku."
  // (Windows-1250). A second call on a started object does nothing.
  void Start();
  // Raises the stop signal and waits for the thread to end.
  void Stop();

  const std::string& Name() const { return name_; }
  bool Started() const { return thread_.joinable() || finished_; }

 protected:
  // The worker's body, run once on the worker thread. Must catch its own failures.
  virtual int Run() = 0;

  // Waits up to `milliseconds` on the stop signal; true when it is raised (0 = a test).
  bool WaitForStop(unsigned milliseconds) const;
  bool StopRequested() const;

 private:
  static int ThreadProc(Thread* self);

  std::string name_;
  std::unique_ptr<StopSignal> stopEvent_;
  std::thread thread_;
  bool finished_ = false;  // joined by Stop
};

namespace thread_testing {
// Makes the next Start fail at the given step (1 = the stop signal, 2 = the thread).
// For tests of the failure path only.
void FailNextStart(int step);
}  // namespace thread_testing
