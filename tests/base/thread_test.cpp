#include "base/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/text.h"
#include "base/trace.h"

namespace {

class PollingWorker : public Thread {
 public:
  explicit PollingWorker(unsigned period) : Thread("Poller"), period_(period) {}
  ~PollingWorker() override { Stop(); }
  std::atomic<int> passes{0};

 protected:
  int Run() override {
    while (!WaitForStop(period_)) ++passes;
    return 0;
  }

 private:
  unsigned period_;
};

class ThrowingWorker : public Thread {
 public:
  ThrowingWorker() : Thread("Thrower") {}
  ~ThrowingWorker() override { Stop(); }

 protected:
  int Run() override { throw std::runtime_error("boom"); }
};

struct TraceRecorder {
  TraceRecorder() {
    SetTraceSink([this](const std::string& line) {
      std::lock_guard lock(mutex);
      if (line.rfind("Thread::", 0) == 0) lines.push_back(line);
    });
  }
  ~TraceRecorder() { SetTraceSink({}); }
  std::vector<std::string> Lines() {
    std::lock_guard lock(mutex);
    return lines;
  }
  std::mutex mutex;
  std::vector<std::string> lines;
};

TEST(ThreadTest, StopOfIdleWorkerIsQuickAndTracesInOrder) {
  TraceRecorder traces;
  PollingWorker worker(100);
  worker.Start();
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  const auto before = std::chrono::steady_clock::now();
  worker.Stop();
  const auto took = std::chrono::steady_clock::now() - before;
  EXPECT_LT(took, std::chrono::milliseconds(1000));  // one period, generous for loaded machines
  EXPECT_GE(worker.passes.load(), 1);
  const std::vector<std::string> expected = {
      "Thread::ThreadProc: Starting thread Poller\n", "Thread::Stop: Stopping thread Poller\n",
      "Thread::ThreadProc: Ending thread Poller\n", "Thread::Stop: Stopped thread Poller\n"};
  EXPECT_EQ(traces.Lines(), expected);
}

TEST(ThreadTest, SecondStopAndStopWithoutStartReturnAtOnce) {
  TraceRecorder traces;
  PollingWorker never(100);
  never.Stop();  // nothing started: no trace, no wait
  EXPECT_TRUE(traces.Lines().empty());

  PollingWorker worker(50);
  worker.Start();
  worker.Stop();
  const auto count = traces.Lines().size();
  worker.Stop();
  EXPECT_EQ(traces.Lines().size(), count);
  worker.Start();  // a stopped worker does not start again
  EXPECT_EQ(traces.Lines().size(), count);
}

TEST(ThreadTest, FailedStartReportsBothTextsAndStaysDestructible) {
  {
    PollingWorker worker(10);
    thread_testing::FailNextStart(1);
    try {
      worker.Start();
      FAIL() << "Start should fail";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(Utf8FromCp1250(e.what()), "Nie udało się utworzyć kontrolera nowego wątku.");
    }
    EXPECT_FALSE(worker.Started());
  }
  {
    PollingWorker worker(10);
    thread_testing::FailNextStart(2);
    try {
      worker.Start();
      FAIL() << "Start should fail";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(Utf8FromCp1250(e.what()), "Nie udało się utworzyć nowego wątku.");
    }
    worker.Stop();  // returns at once: no thread
    // A later Start succeeds with the signal kept from the failed one.
    worker.Start();
    EXPECT_TRUE(worker.Started());
    worker.Stop();
  }
}

TEST(ThreadTest, FailureEscapingRunDoesNotEndTheProcess) {
  TraceRecorder traces;
  ThrowingWorker worker;
  worker.Start();
  worker.Stop();
  const auto lines = traces.Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "Thread::Stop: Stopped thread Thrower\n");
}

// A worker blocked in a call that never looks at the stop signal (a socket wait in a library):
// Stop's Interrupt, called after the signal is raised, is what ends it.
class BlockedWorker : public Thread {
 public:
  BlockedWorker() : Thread("Blocked") {}
  ~BlockedWorker() override { Stop(); }
  std::atomic<bool> inside{false};
  std::atomic<bool> signalSeenFirst{false};

 protected:
  int Run() override {
    std::unique_lock lock(mutex_);
    inside = true;
    released_.wait_for(lock, std::chrono::minutes(2), [this] { return released; });
    return 0;
  }
  void Interrupt() override {
    signalSeenFirst = StopRequested();
    {
      std::lock_guard lock(mutex_);
      released = true;
    }
    released_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  bool released = false;
};

// Ignores the stop signal until the test has seen Stop's trace of a slow worker.
class SlowWorker : public Thread {
 public:
  SlowWorker() : Thread("Slow") {}
  ~SlowWorker() override { Stop(); }
  std::atomic<bool> traced{false};
  std::atomic<bool> running{false};

 protected:
  int Run() override {
    running = true;
    const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!traced && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return 0;
  }
};

TEST(ThreadTest, StopInterruptsABlockedWorkerAndTracesASlowOne) {
  {
    BlockedWorker worker;
    worker.Start();
    while (!worker.inside) std::this_thread::yield();
    const auto before = std::chrono::steady_clock::now();
    worker.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(60));
    EXPECT_TRUE(worker.signalSeenFirst.load());
  }
  SlowWorker worker;
  TraceRecorder traces;
  SetTraceSink([&](const std::string& line) {
    if (line == "Thread::Stop: Thread Slow still running after 3000ms\n") worker.traced = true;
    std::lock_guard lock(traces.mutex);
    if (line.rfind("Thread::", 0) == 0) traces.lines.push_back(line);
  });
  worker.Start();
  while (!worker.running) std::this_thread::yield();
  worker.Stop();
  EXPECT_TRUE(worker.traced.load());
  const std::vector<std::string> expected = {
      "Thread::ThreadProc: Starting thread Slow\n", "Thread::Stop: Stopping thread Slow\n",
      "Thread::Stop: Thread Slow still running after 3000ms\n", "Thread::ThreadProc: Ending thread Slow\n",
      "Thread::Stop: Stopped thread Slow\n"};
  EXPECT_EQ(traces.Lines(), expected);
}

TEST(StopSignalTest, ManualResetStaysSet) {
  StopSignal signal;
  EXPECT_FALSE(signal.Wait(0));
  EXPECT_FALSE(signal.Wait(20));
  signal.Set();
  EXPECT_TRUE(signal.Wait(0));
  EXPECT_TRUE(signal.Wait(1000));
  EXPECT_TRUE(signal.IsSet());
}

}  // namespace
