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

namespace {

struct Payload {
  std::string text;
  std::vector<int> numbers;
};

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

bool WaitUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

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
