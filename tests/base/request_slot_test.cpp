#include "base/request_slot.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "support/wait.h"

namespace {

struct Payload {
  std::string text;
  std::vector<int> numbers;
};

using trevna_test::WaitUntil;

TEST(RequestSlotTest, OneOfManyRacingPostersWinsAndItsDataArrivesWhole) {
  auto wake = std::make_shared<StopSignal>();
  RequestSlot<Payload> slot(wake);
  constexpr int kPosters = 6;
  for (int round = 0; round < 100; ++round) {
    std::atomic<int> ready{0};
    std::atomic<int> accepted{0};
    std::vector<std::thread> posters;
    for (int p = 1; p <= kPosters; ++p) {
      posters.emplace_back([&, p] {
        ++ready;
        while (ready.load() < kPosters) std::this_thread::yield();
        Payload payload{std::string(500, static_cast<char>('a' + p)), std::vector<int>(100, p)};
        if (slot.Post(p, std::move(payload))) ++accepted;
      });
    }
    for (auto& t : posters) t.join();
    ASSERT_EQ(accepted.load(), 1) << round;
    Payload taken;
    const int code = slot.Wait(0, &taken);
    ASSERT_GE(code, 1);
    EXPECT_EQ(slot.Pending(), code);  // busy until released
    EXPECT_EQ(taken.text, std::string(500, static_cast<char>('a' + code)));
    EXPECT_EQ(taken.numbers, std::vector<int>(100, code));
    slot.Release();
  }
}

TEST(RequestSlotTest, BusySlotRefusesAndKeepsTheFirstRequest) {
  RequestSlot<Payload> slot(std::make_shared<StopSignal>());
  Payload taken;
  EXPECT_EQ(slot.Wait(0, &taken), 0);
  EXPECT_FALSE(slot.Post(0, {"zero", {}}));
  EXPECT_FALSE(slot.Post(-3, {"minus", {}}));
  EXPECT_TRUE(slot.Free());
  EXPECT_TRUE(slot.Post(7, {"pierwsze", {1}}));
  EXPECT_FALSE(slot.Post(8, {"drugie", {2}}));
  EXPECT_EQ(slot.Pending(), 7);
  EXPECT_EQ(slot.Wait(0, &taken), 7);
  EXPECT_EQ(taken.text, "pierwsze");
  EXPECT_FALSE(slot.Post(8, {"trzecie", {3}}));  // taken but not released: still busy
  slot.Release();
  EXPECT_TRUE(slot.Free());
  EXPECT_TRUE(slot.Post(8, {"czwarte", {4}}));
  EXPECT_EQ(slot.Wait(0, &taken), 8);
  EXPECT_EQ(taken.text, "czwarte");
}

// The overriding request (the connection's close): never dropped, it takes the place of a
// request that waits, interrupts the work under way (a request or the worker's own) and is
// taken first; one ordinary request may follow it.
TEST(RequestSlotTest, OverridingRequestIsNeverDroppedAndInterruptsOnlyWork) {
  RequestSlot<Payload> slot(std::make_shared<StopSignal>());
  int interrupts = 0;
  slot.SetInterrupt([&] { ++interrupts; });
  Payload taken;

  // Idle: nothing to interrupt. A request that waits is dropped.
  EXPECT_TRUE(slot.Post(5, {"czeka", {}}));
  slot.PostOverriding(3, {"zamknij", {}});
  EXPECT_EQ(interrupts, 0);
  EXPECT_EQ(slot.Pending(), 3);
  EXPECT_FALSE(slot.BeginOwnWork());  // the close comes first
  EXPECT_TRUE(slot.Post(2, {"po", {}}));
  EXPECT_FALSE(slot.Post(6, {"drugie po", {}}));
  slot.PostOverriding(3, {"znowu", {}});  // the same close: the request behind it was posted before it
  EXPECT_EQ(slot.Wait(0, &taken), 3);
  EXPECT_EQ(taken.text, "zamknij");
  // While the close is carried out, one request may follow it; the close is not interrupted.
  EXPECT_TRUE(slot.Post(2, {"po zamknieciu", {}}));
  EXPECT_FALSE(slot.Post(6, {}));
  slot.PostOverriding(3, {});
  EXPECT_EQ(interrupts, 0);
  EXPECT_FALSE(slot.Interrupted());
  slot.Release();
  EXPECT_EQ(slot.Wait(0, &taken), 3);
  slot.Release();
  EXPECT_TRUE(slot.Free());

  // A request under way is interrupted, and the next one follows the close.
  EXPECT_TRUE(slot.Post(7, {"lista", {}}));
  EXPECT_EQ(slot.Wait(0, &taken), 7);
  EXPECT_FALSE(slot.Post(8, {}));
  slot.PostOverriding(3, {});
  EXPECT_EQ(interrupts, 1);
  EXPECT_TRUE(slot.Interrupted());
  EXPECT_EQ(slot.Pending(), 7);
  EXPECT_TRUE(slot.Post(2, {"otworz", {}}));
  EXPECT_EQ(slot.Wait(0, &taken), 0);  // still busy
  slot.Release();
  EXPECT_EQ(slot.Wait(0, &taken), 3);
  EXPECT_FALSE(slot.Interrupted());
  slot.Release();
  EXPECT_EQ(slot.Wait(0, &taken), 2);
  EXPECT_EQ(taken.text, "otworz");
  slot.Release();

  // The worker's own work and the stop's interruption.
  slot.InterruptWork();
  EXPECT_EQ(interrupts, 1);  // idle: nothing
  ASSERT_TRUE(slot.BeginOwnWork());
  EXPECT_TRUE(slot.Free());  // own work keeps no request out
  slot.InterruptWork();
  EXPECT_EQ(interrupts, 2);
  EXPECT_TRUE(slot.Interrupted());
  slot.EndOwnWork();
  EXPECT_FALSE(slot.Interrupted());
  ASSERT_TRUE(slot.BeginOwnWork());
  slot.PostOverriding(3, {});
  EXPECT_EQ(interrupts, 3);
  slot.EndOwnWork();
  EXPECT_EQ(slot.Wait(0, &taken), 3);
  slot.Release();
  EXPECT_TRUE(slot.Free());
}

// Posters racing with a worker that takes requests: an overriding request posted while a
// request runs always interrupts it (no interruption is lost between taking and running).
TEST(RequestSlotTest, OverridingRequestRacingTheWorkerAlwaysInterruptsTheRunningOne) {
  auto wake = std::make_shared<StopSignal>();
  RequestSlot<Payload> slot(wake);
  std::atomic<int> interrupts{0};
  std::atomic<bool> interrupted{false};
  slot.SetInterrupt([&] {
    ++interrupts;
    interrupted = true;
  });
  std::atomic<int> closes{0}, others{0}, missed{0};
  std::thread worker([&] {
    while (!wake->IsSet()) {
      Payload payload;
      const int code = slot.Wait(50, &payload);
      if (code == 0) continue;
      if (code == 3) {
        ++closes;
      } else {
        ++others;
        // Stands for a blocking step that only the interruption ends.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!interrupted && std::chrono::steady_clock::now() < until) std::this_thread::yield();
        if (!interrupted) ++missed;
      }
      interrupted = false;
      slot.Release();
    }
  });
  for (int round = 0; round < 300; ++round) {
    ASSERT_TRUE(WaitUntil([&] { return slot.Free(); }));
    ASSERT_TRUE(slot.Post(7, {}));
    if (round % 2) std::this_thread::yield();
    slot.PostOverriding(3, {});
  }
  ASSERT_TRUE(WaitUntil([&] { return slot.Free(); }));
  wake->Set();
  worker.join();
  EXPECT_EQ(missed.load(), 0);
  EXPECT_EQ(closes.load(), 300);
  EXPECT_EQ(interrupts.load(), others.load());
}

// A worker whose pacing is ten minutes: it can only carry requests out (and stop) in time
// when posting and stopping wake it.
class SlotWorker : public Thread {
 public:
  SlotWorker() : Thread("Slot"), slot(StopEvent()) {}
  ~SlotWorker() override { Stop(); }
  RequestSlot<Payload> slot;
  std::atomic<int> handled{0};
  std::atomic<int> timedOut{0};
  std::string last;  // read after `handled` changed

 protected:
  int Run() override {
    for (;;) {
      Payload payload;
      const int code = slot.Wait(600000, &payload);
      if (StopRequested()) return 0;
      if (code == 0) {
        ++timedOut;
        continue;
      }
      last = payload.text;
      slot.Release();
      ++handled;
    }
  }
};

TEST(RequestSlotTest, PostAndStopWakeTheWorkerWithoutWaitingForItsPacing) {
  SlotWorker worker;
  worker.Start();
  for (int i = 1; i <= 3; ++i) {
    ASSERT_TRUE(WaitUntil([&] { return worker.slot.Free(); }));
    ASSERT_TRUE(worker.slot.Post(i, {std::string("zadanie ").append(std::to_string(i)), {}}));
    ASSERT_TRUE(WaitUntil([&] { return worker.handled.load() == i; }));
    EXPECT_EQ(worker.last, std::string("zadanie ").append(std::to_string(i)));
  }
  std::packaged_task<void()> stop([&] { worker.Stop(); });
  auto stopped = stop.get_future();
  std::thread stopper(std::move(stop));
  if (stopped.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
    std::fprintf(stderr, "Stop waited for the worker's pacing\n");
    std::_Exit(1);
  }
  stopper.join();
  EXPECT_EQ(worker.timedOut.load(), 0);
}

}  // namespace
