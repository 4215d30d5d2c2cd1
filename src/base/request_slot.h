// A one-place request slot between posting threads (the UI thread) and one worker.
//
// The slot holds a request code (> 0) and the request's data. A poster claims the free slot
// with one compare-and-exchange, writes the data, publishes the code and wakes the worker; a
// request posted while the slot is busy is dropped and Post returns false (nothing is written).
// The worker waits for "a request is published, or the stop signal is raised, or the pacing
// time has passed", takes the data, carries the request out and frees the slot. The worker
// reads the data only after it has seen the published code; posters write it only after they
// have claimed the slot, so the two never touch it at the same time.
//
//   RequestSlot<Job> slot(StopEvent());               // a member of the worker
//   slot.Post(1, Job{...});                             // UI thread
//   Job job;                                            // worker, once per pass
//   if (int code = slot.Wait(400, &job)) { Carry(code, job); slot.Release(); }
#pragma once

#include <atomic>
#include <memory>
#include <utility>

#include "base/thread.h"

template <class Payload>
class RequestSlot {
 public:
  // `wake` is the worker's stop signal: the worker waits on it, Post notifies it.
  explicit RequestSlot(std::shared_ptr<StopSignal> wake) : wake_(std::move(wake)) {}
  RequestSlot(const RequestSlot&) = delete;
  RequestSlot& operator=(const RequestSlot&) = delete;

  // Any thread. Claims the slot for `code` (> 0), stores `payload`, publishes the code and
  // wakes the worker. False when the slot is busy or the code is not positive.
  bool Post(int code, Payload payload = {}) {
    if (code <= 0) return false;
    int expected = 0;
    // Claimed, not yet published: the negative code.
    if (!state_.compare_exchange_strong(expected, -code, std::memory_order_acquire)) return false;
    payload_ = std::move(payload);
    state_.store(code, std::memory_order_release);
    wake_->Notify();
    return true;
  }

  // Worker. Waits up to `milliseconds` for a published request; returns early when the stop
  // signal is raised. Returns the code, with the data moved into `payload`, or 0 when there
  // is none. The slot stays busy until Release.
  int Wait(unsigned milliseconds, Payload* payload) {
    wake_->WaitFor(milliseconds, [this] { return state_.load(std::memory_order_acquire) > 0; });
    const int code = state_.load(std::memory_order_acquire);
    if (code <= 0) return 0;
    *payload = std::move(payload_);
    payload_ = Payload{};
    return code;
  }

  // Worker: frees the slot after the request has been carried out (done or failed).
  void Release() { state_.store(0, std::memory_order_release); }

  // The code that holds the slot (claimed or published), 0 when free.
  int Pending() const {
    const int state = state_.load(std::memory_order_acquire);
    return state < 0 ? -state : state;
  }
  bool Free() const { return state_.load(std::memory_order_acquire) == 0; }

 private:
  std::shared_ptr<StopSignal> wake_;
  std::atomic<int> state_{0};  // 0 free, -code claimed, code published
  Payload payload_{};
};
