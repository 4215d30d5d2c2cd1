// Bounded waits for tests that watch another thread: look at a condition until it holds or the
// time is up, doing a step between looks (running a queue's pending tasks, say). Portable.
//
//   ASSERT_TRUE(trevna_test::WaitUntil([&] { return slot.Free(); }));
//   ASSERT_TRUE(trevna_test::WaitUntil([&] { return done; }, [&] { queue.RunPending(); }));
#pragma once

#include <chrono>
#include <thread>

namespace trevna_test {

template <class Done, class Step>
bool WaitUntil(Done done, Step step, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    step();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

template <class Done>
bool WaitUntil(Done done, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
  return WaitUntil(done, [] {}, limit);
}

}  // namespace trevna_test
