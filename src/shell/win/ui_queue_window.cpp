#include "shell/win/ui_queue_window.h"

#include <stdexcept>

#include "base/text.h"

namespace {

constexpr wchar_t kClassName[] = L"TrevnaUiQueue";

}  // namespace

UiQueueWindow::UiQueueWindow(UiQueue& queue) : queue_(queue) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &UiQueueWindow::WindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kClassName;
  RegisterClassExW(&windowClass);  // "already registered" is fine
  window_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                            nullptr);
  if (!window_) throw std::runtime_error(Cp1250FromUtf8("Nie udało się utworzyć okna kolejki komunikatów."));
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&queue_));
  HWND target = window_;
  queue_.SetWaker([target] { PostMessageW(target, kRunQueue, 0, 0); });
}

UiQueueWindow::~UiQueueWindow() {
  queue_.SetWaker({});  // from here on no worker posts to the window
  SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
  DestroyWindow(window_);
}

LRESULT CALLBACK UiQueueWindow::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kRunQueue) {
    if (auto* queue = reinterpret_cast<UiQueue*>(GetWindowLongPtrW(window, GWLP_USERDATA))) queue->RunPending();
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}
