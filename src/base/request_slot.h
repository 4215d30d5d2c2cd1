// A one-place request slot between posting threads (the UI thread) and one worker.
//
// The slot holds a request code (> 0) and the request's data. A poster takes the free slot,
// stores the data and wakes the worker; a request posted while the slot is busy (a request
// waits or is being carried out) is dropped and Post returns false (nothing is stored). The
// worker waits for "a request is posted, or the stop signal is raised, or the pacing time has
// passed", takes the data, carries the request out and frees the slot.
//
// One kind of request is never dropped: an overriding one (the connection's close). It takes
// the place of a request that waits and has not started (that one is dropped), and when the
// worker is busy (carrying a request out, or its own work between requests) the slot calls
// the interrupt function, so that the work ends soon. The worker takes the overriding request
// before anything else. While it waits or is being carried out, one ordinary request may be
// posted behind it and is carried out after it. A second overriding request while one waits
// is the same request.
//
//   RequestSlot<Job> slot(StopEvent());               // a member of the worker
//   slot.Post(1, Job{...});                             // UI thread
//   Job job;                                            // worker, once per pass
//   if (int code = slot.Wait(400, &job)) { Carry(code, job); slot.Release(); }
//
// Locking: the slot's own mutex is taken inside the wake signal's lock (the worker's wait
// evaluates the slot under it), never the other way round.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <utility>

#include "base/thread.h"

template <class Payload>
class RequestSlot {
 public:
  // `wake` is the worker's stop signal: the worker waits on it, posting notifies it.
  explicit RequestSlot(std::shared_ptr<StopSignal> wake) : wake_(std::move(wake)) {}
  RequestSlot(const RequestSlot&) = delete;
  RequestSlot& operator=(const RequestSlot&) = delete;

  // Set before the worker starts: called (with the slot's lock held, on the posting or
  // stopping thread) when the worker's current work must end. Must not block and must not
  // call the slot.
  void SetInterrupt(std::function<void()> interrupt) { interrupt_ = std::move(interrupt); }

  // Any thread. Stores an ordinary request for `code` (> 0) and wakes the worker. False when
  // the slot is busy or the code is not positive.
  bool Post(int code, Payload payload = {}) {
    if (code <= 0) return false;
    {
      std::lock_guard lock(mutex_);
      const bool behindOverriding = overriding_ != 0 || runningOverriding_;
      if (next_ != 0 || (running_ != 0 && !behindOverriding)) return false;
      next_ = code;
      nextPayload_ = std::move(payload);
    }
    wake_->Notify();
    return true;
  }

  // Any thread. Stores an overriding request for `code` (> 0): never dropped (see the top).
  void PostOverriding(int code, Payload payload = {}) {
    if (code <= 0) return;
    Payload dropped;
    {
      std::lock_guard lock(mutex_);
      if (next_ != 0) {
        // Posted before this one and not started: dropped (its data goes outside the lock).
        dropped = std::move(nextPayload_);
        nextPayload_ = Payload{};
        next_ = 0;
      }
      if (overriding_ == 0) {
        overriding_ = code;
        overridingPayload_ = std::move(payload);
      }
      if ((running_ != 0 && !runningOverriding_) || ownWork_) InterruptLocked();
    }
    wake_->Notify();
  }

  // Any thread: interrupts the worker's current work, if it has any (a request being carried
  // out, or its own work). The worker's stop uses this.
  void InterruptWork() {
    std::lock_guard lock(mutex_);
    if (running_ != 0 || ownWork_) InterruptLocked();
  }

  // Worker. Waits up to `milliseconds` for a request; returns early when the stop signal is
  // raised. Returns the code, with the data moved into `payload`, or 0 when there is none.
  // An overriding request comes first. The slot stays busy until Release.
  int Wait(unsigned milliseconds, Payload* payload) {
    wake_->WaitFor(milliseconds, [this] {
      std::lock_guard lock(mutex_);
      return running_ == 0 && (overriding_ != 0 || next_ != 0);
    });
    std::lock_guard lock(mutex_);
    if (running_ != 0) return 0;
    interrupted_ = false;
    if (overriding_ != 0) {
      running_ = overriding_;
      runningOverriding_ = true;
      overriding_ = 0;
      *payload = std::move(overridingPayload_);
      overridingPayload_ = Payload{};
    } else if (next_ != 0) {
      running_ = next_;
      runningOverriding_ = false;
      next_ = 0;
      *payload = std::move(nextPayload_);
      nextPayload_ = Payload{};
    }
    return running_;
  }

  // Worker: frees the slot after the request has been carried out (done or failed).
  void Release() {
    std::lock_guard lock(mutex_);
    running_ = 0;
    runningOverriding_ = false;
    interrupted_ = false;
  }

  // Worker: its own work between requests (the link housekeeping of the connection), which an
  // overriding request interrupts too. False, and nothing begun, while an overriding request
  // waits. Each true is matched by EndOwnWork.
  bool BeginOwnWork() {
    std::lock_guard lock(mutex_);
    if (overriding_ != 0) return false;
    ownWork_ = true;
    interrupted_ = false;
    return true;
  }
  void EndOwnWork() {
    std::lock_guard lock(mutex_);
    ownWork_ = false;
    interrupted_ = false;
  }

  // Worker: the current request (or own work) was interrupted since it began.
  bool Interrupted() const {
    std::lock_guard lock(mutex_);
    return interrupted_;
  }
  // An overriding request waits for the worker.
  bool OverridingWaits() const {
    std::lock_guard lock(mutex_);
    return overriding_ != 0;
  }

  // The code being carried out; else the one that waits (the overriding one first); 0 when
  // none.
  int Pending() const {
    std::lock_guard lock(mutex_);
    if (running_ != 0) return running_;
    return overriding_ != 0 ? overriding_ : next_;
  }
  // No request waits or is being carried out.
  bool Free() const {
    std::lock_guard lock(mutex_);
    return running_ == 0 && overriding_ == 0 && next_ == 0;
  }

 private:
  void InterruptLocked() {
    interrupted_ = true;
    if (interrupt_) interrupt_();
  }

  std::shared_ptr<StopSignal> wake_;
  std::function<void()> interrupt_;
  mutable std::mutex mutex_;
  int running_ = 0;          // taken by the worker, not yet released
  bool runningOverriding_ = false;
  bool ownWork_ = false;
  bool interrupted_ = false;
  int overriding_ = 0;       // waits; taken before `next_`
  Payload overridingPayload_{};
  int next_ = 0;             // waits
  Payload nextPayload_{};
};
