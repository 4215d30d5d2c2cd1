#include "base/ui_queue.h"

#include <exception>

#include "base/trace.h"

void UiQueue::Post(Task task) {
  std::lock_guard lock(mutex_);
  tasks_.push_back(std::move(task));
  if (!wakePending_ && waker_) {
    wakePending_ = true;
    waker_();
  }
}

std::size_t UiQueue::RunPending() {
  std::size_t ran = 0;
  {
    std::lock_guard lock(mutex_);
    wakePending_ = false;  // what is posted from now on wakes the UI thread again
  }
  for (;;) {
    Task task;
    {
      std::lock_guard lock(mutex_);
      if (tasks_.empty()) return ran;
      task = std::move(tasks_.front());
      tasks_.pop_front();
      // Should this task run a modal loop, the tasks behind it are run from there.
      if (!tasks_.empty() && !wakePending_ && waker_) {
        wakePending_ = true;
        waker_();
      }
    }
    ++ran;
    try {
      task();
    } catch (const std::exception& e) {
      Trace("UiQueue::RunPending: A task failed: %s\n", e.what());
    }
  }
}

void UiQueue::Clear() {
  std::deque<Task> dropped;
  {
    std::lock_guard lock(mutex_);
    dropped.swap(tasks_);
  }
}

void UiQueue::SetWaker(std::function<void()> waker) {
  std::lock_guard lock(mutex_);
  waker_ = std::move(waker);
  wakePending_ = false;
  if (waker_ && !tasks_.empty()) {
    wakePending_ = true;
    waker_();
  }
}

std::size_t UiQueue::Size() const {
  std::lock_guard lock(mutex_);
  return tasks_.size();
}
