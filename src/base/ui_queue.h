// The road from workers to the UI thread: a queue of tasks that any thread posts to and the
// UI thread runs, a lifetime token that lets reports to a closed window be dropped, and
// UiPoster, the piece every posting adapter is built from (device/posted_sinks.h).
//
// In the program the queue is woken by a message-only window (shell/win/ui_queue_window.h)
// whose window procedure runs the tasks, so they run from the main loop and from any modal
// loop alike. Tests drain the queue on the test thread with RunPending.
#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "base/thread.h"

class UiQueue {
 public:
  using Task = std::function<void()>;

  UiQueue() = default;
  UiQueue(const UiQueue&) = delete;
  UiQueue& operator=(const UiQueue&) = delete;

  // Any thread; never waits for the UI thread. Queues the task and, unless a wake-up is
  // already on its way, calls the waker.
  void Post(Task task);
  // UI thread. Runs the queued tasks one at a time in posting order, including those posted
  // meanwhile, until the queue is empty. Before a task runs while others wait behind it, the
  // UI thread is woken again, so that a task running a modal loop (an error box) gets the
  // following tasks run from that loop by a nested RunPending; no task runs twice.
  // A task that throws is traced and skipped. Returns the number of tasks this call ran.
  std::size_t RunPending();
  // Drops every queued task (their captured data is released on the calling thread).
  void Clear();
  // Called (on the posting thread, under the queue's lock) when the UI thread should run
  // RunPending: it must only post a message. Empty: nobody is woken (tests poll).
  void SetWaker(std::function<void()> waker);
  std::size_t Size() const;

 private:
  mutable std::mutex mutex_;
  std::deque<Task> tasks_;
  std::function<void()> waker_;
  bool wakePending_ = false;
};

// Held by an object on the UI thread that receives posted reports (a window, a dialog).
// Watch gives the weak handle that posting adapters hold; every handle expires when the token
// is revoked or destroyed, so the reports still queued for the object are dropped.
class LifetimeToken {
 public:
  template <class T>
  std::weak_ptr<T> Watch(T* object) const {
    return std::shared_ptr<T>(anchor_, object);
  }
  // UI thread: expires the handles given so far (e.g. at WM_DESTROY).
  void Revoke() { anchor_ = std::make_shared<char>(); }

 private:
  std::shared_ptr<char> anchor_ = std::make_shared<char>();
};

// Delivers calls to a target of type T that lives on the UI thread, through a UiQueue.
// `queue` must outlive the poster and every worker that uses it.
template <class T>
class UiPoster {
 public:
  UiPoster(UiQueue& queue, std::weak_ptr<T> target) : queue_(&queue), target_(std::move(target)) {}

  // Any thread; returns at once. `call` (with everything it captured by value) becomes a task
  // that runs call(target) on the UI thread if the target is still alive then.
  template <class Call>
  void Post(Call call) const {
    queue_->Post([target = target_, call = std::move(call)]() mutable {
      if (auto alive = target.lock()) call(*alive);
    });
  }

  // Worker thread: asks call(target) -> R on the UI thread and waits for the answer or for
  // the stop signal of the worker that asks (Thread::CurrentStopSignal), whichever comes
  // first. Nothing when the worker is stopped first (the question is then not asked, or its
  // answer ignored) or when the target is gone.
  template <class R, class Call>
  std::optional<R> Ask(Call call) const {
    struct Answer {
      std::atomic<bool> done{false};
      std::atomic<bool> abandoned{false};
      std::optional<R> value;
    };
    auto answer = std::make_shared<Answer>();
    // Outside a worker nothing can stop the wait but the answer itself.
    std::shared_ptr<StopSignal> wake = Thread::CurrentStopSignal();
    if (!wake) wake = std::make_shared<StopSignal>();
    queue_->Post([target = target_, call = std::move(call), answer, wake]() mutable {
      if (!answer->abandoned.load(std::memory_order_acquire)) {
        if (auto alive = target.lock()) answer->value = call(*alive);
      }
      answer->done.store(true, std::memory_order_release);
      wake->Notify();
    });
    if (!wake->WaitFor(StopSignal::kForever, [&] { return answer->done.load(std::memory_order_acquire); })) {
      answer->abandoned.store(true, std::memory_order_release);
      return std::nullopt;
    }
    return std::move(answer->value);
  }

 private:
  UiQueue* queue_;
  std::weak_ptr<T> target_;
};
