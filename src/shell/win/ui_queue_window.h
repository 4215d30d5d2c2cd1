// The UI thread's end of a UiQueue (base/ui_queue.h): a message-only window. Posting to the
// queue posts it a private message; its window procedure runs the queued tasks. Because the
// message is dispatched by whatever loop is running, reports from workers arrive from the main
// loop and from any modal loop (dialog boxes, message boxes, menus) alike.
#pragma once

#include <windows.h>

#include "base/ui_queue.h"

class UiQueueWindow {
 public:
  // The private message that asks the window to run the queue.
  static constexpr UINT kRunQueue = WM_APP + 0x51;

  // Creates the window on the calling (UI) thread and makes it the queue's waker; tasks
  // already queued are run soon after. Throws std::runtime_error when the window cannot be
  // created. `queue` outlives this object.
  explicit UiQueueWindow(UiQueue& queue);
  // Stops waking and destroys the window; tasks left in the queue stay there.
  ~UiQueueWindow();
  UiQueueWindow(const UiQueueWindow&) = delete;
  UiQueueWindow& operator=(const UiQueueWindow&) = delete;

  HWND Handle() const { return window_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  UiQueue& queue_;
  HWND window_ = nullptr;
};
