#include "base/ui_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "support/wait.h"

namespace {

// Runs `work` on its own thread; false when it has not ended within `seconds`. A hang ends
// the test program instead of the run (a worker that waits forever cannot be joined).
template <class Work>
bool EndsWithin(int seconds, Work work) {
  std::packaged_task<void()> task(work);
  auto done = task.get_future();
  std::thread runner(std::move(task));
  if (done.wait_for(std::chrono::seconds(seconds)) != std::future_status::ready) {
    std::fprintf(stderr, "did not end within %d s\n", seconds);
    std::_Exit(1);
  }
  runner.join();
  return true;
}

using trevna_test::WaitUntil;

// Runs the queue on this thread until `done` holds.
template <class Done>
bool RunUntil(UiQueue& queue, Done done) {
  return WaitUntil(done, [&] { queue.RunPending(); });
}

TEST(UiQueueTest, TasksRunOnceInPostingOrderFromManyThreadsAndNestedRuns) {
  UiQueue queue;
  constexpr int kThreads = 4, kTasks = 400;
  std::vector<std::vector<int>> seen(kThreads);  // touched by the draining thread only
  int nested = 0;
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&, t] {
      for (int i = 0; i < kTasks; ++i) {
        queue.Post([&, t, i] {
          seen[static_cast<std::size_t>(t)].push_back(i);
          // Every 50th task runs a "modal loop" that runs the queue again.
          if (i % 50 == 0) nested += static_cast<int>(queue.RunPending());
        });
      }
    });
  }
  for (auto& p : posters) p.join();
  ASSERT_TRUE(RunUntil(queue, [&] { return queue.Size() == 0; }));
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(seen[static_cast<std::size_t>(t)].size(), static_cast<std::size_t>(kTasks)) << t;
    for (int i = 0; i < kTasks; ++i) EXPECT_EQ(seen[static_cast<std::size_t>(t)][static_cast<std::size_t>(i)], i);
  }
  EXPECT_GT(nested, 0);
}

TEST(UiQueueTest, WakerIsCalledWhileTasksWaitAndNoWakeUpIsOnItsWay) {
  UiQueue queue;
  int wakes = 0, ran = 0;
  queue.Post([&] { ++ran; });  // no waker yet: nobody is woken
  queue.SetWaker([&] { ++wakes; });
  queue.Post([] { throw std::runtime_error("x"); });  // skipped, the rest still run
  EXPECT_EQ(wakes, 1);  // installed over a waiting task it woke at once; one wake-up per batch
  EXPECT_EQ(queue.RunPending(), 2u);
  EXPECT_EQ(wakes, 2);  // the first task ran with another behind it: woken again
  queue.Post([&] { ++ran; });
  EXPECT_EQ(wakes, 2);  // that wake-up is still on its way and runs this task
  queue.Clear();
  EXPECT_EQ(queue.RunPending(), 0u);
  EXPECT_EQ(ran, 1);
}

// The waker as a message queue: a task that runs a modal loop (an error box) gets the task
// queued behind it run from that loop, before the box closes.
TEST(UiQueueTest, TasksBehindAModalTaskRunFromItsLoop) {
  UiQueue queue;
  int messages = 0;
  queue.SetWaker([&] { ++messages; });
  const auto messageLoop = [&] {
    while (messages > 0) {
      --messages;
      queue.RunPending();
    }
  };
  std::vector<std::string> order;
  queue.Post([&] {
    order.push_back("box shown");
    messageLoop();
    order.push_back("box closed");
  });
  queue.Post([&] { order.push_back("status"); });
  messageLoop();
  EXPECT_EQ(order, (std::vector<std::string>{"box shown", "status", "box closed"}));
}

struct Target {
  std::vector<std::string> calls;
  LifetimeToken token;
};

TEST(UiPosterTest, CopiesTheCallAndDeliversOnlyWhileTheTargetLives) {
  UiQueue queue;
  auto target = std::make_unique<Target>();
  UiPoster<Target> poster(queue, target->token.Watch(target.get()));
  std::string text = "pierwszy";
  poster.Post([text](Target& t) { t.calls.push_back(text); });
  text = "zmieniony";
  EXPECT_TRUE(target->calls.empty());  // nothing runs on the posting thread
  queue.RunPending();
  EXPECT_EQ(target->calls, std::vector<std::string>{"pierwszy"});
  // Revoked (the window was destroyed): queued and later calls are dropped.
  poster.Post([](Target& t) { t.calls.push_back("po zamknięciu"); });
  target->token.Revoke();
  poster.Post([](Target& t) { t.calls.push_back("jeszcze"); });
  EXPECT_EQ(queue.RunPending(), 2u);
  EXPECT_EQ(target->calls.size(), 1u);
  // Destroyed outright: the same, and nothing touches the freed object (ASan would see it).
  UiPoster<Target> second(queue, target->token.Watch(target.get()));
  second.Post([](Target& t) { t.calls.push_back("x"); });
  target.reset();
  EXPECT_EQ(queue.RunPending(), 1u);
}

// A worker that asks its target once and keeps the answer.
class AskingWorker : public Thread {
 public:
  explicit AskingWorker(UiPoster<Target>& poster) : Thread("Asking"), poster_(poster) {}
  ~AskingWorker() override { Stop(); }
  std::atomic<bool> finished{false};
  std::optional<std::string> answer;

 protected:
  int Run() override {
    auto asked = poster_.Ask<std::string>([](Target& t) {
      t.calls.push_back("pytanie");
      return std::string("C:\\plik.trv");
    });
    answer = asked;
    finished = true;
    return 0;
  }

 private:
  UiPoster<Target>& poster_;
};

TEST(UiPosterTest, AskWaitsForTheAnswerOrTheWorkersStopWhicheverComesFirst) {
  enum class Ending { Answered, Stopped, TargetGone };
  for (Ending ending : {Ending::Answered, Ending::Stopped, Ending::TargetGone}) {
    SCOPED_TRACE(static_cast<int>(ending));
    UiQueue queue;
    Target target;
    UiPoster<Target> poster(queue, target.token.Watch(&target));
    AskingWorker worker(poster);
    worker.Start();
    ASSERT_TRUE(WaitUntil([&] { return queue.Size() == 1; }));
    EXPECT_FALSE(worker.finished);  // waiting for the UI thread
    switch (ending) {
      case Ending::Answered:
        ASSERT_TRUE(RunUntil(queue, [&] { return worker.finished.load(); }));
        worker.Stop();
        EXPECT_EQ(worker.answer, "C:\\plik.trv");
        EXPECT_EQ(target.calls, std::vector<std::string>{"pytanie"});
        break;
      case Ending::Stopped:
        // The UI thread stops the worker without running the queue: Stop must not wait for it.
        EndsWithin(30, [&] { worker.Stop(); });
        EXPECT_FALSE(worker.answer);
        queue.RunPending();
        EXPECT_TRUE(target.calls.empty());  // an abandoned question is not asked any more
        break;
      case Ending::TargetGone:
        target.token.Revoke();
        ASSERT_TRUE(RunUntil(queue, [&] { return worker.finished.load(); }));
        worker.Stop();
        EXPECT_FALSE(worker.answer);
        EXPECT_TRUE(target.calls.empty());
        break;
    }
  }
}

}  // namespace
