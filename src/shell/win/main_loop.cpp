#include "shell/win/main_loop.h"

#include <cwchar>

namespace {

bool IsWheel(UINT message) { return message == WM_MOUSEWHEEL || message == WM_MOUSEHWHEEL; }

// The window under the wheel message's screen point when it is one of this thread's.
HWND WheelTarget(const MSG& message) {
  const POINT at{static_cast<short>(LOWORD(message.lParam)), static_cast<short>(HIWORD(message.lParam))};
  HWND under = WindowFromPoint(at);
  if (!under || GetWindowThreadProcessId(under, nullptr) != GetCurrentThreadId()) return nullptr;
  return under;
}

bool IsEditBox(HWND window) {
  wchar_t name[16] = L"";
  return window && GetClassNameW(window, name, 16) && _wcsicmp(name, L"Edit") == 0;
}

// Ctrl+C, Ctrl+V, Ctrl+X or Ctrl+Z pressed while the caret is in an edit box of a floating
// window with boxes: the box's own clipboard and undo keys.
bool IsEditKeyOfABox(const LoopClient& client, const MSG& message) {
  if (message.message != WM_KEYDOWN || GetKeyState(VK_CONTROL) >= 0) return false;
  switch (message.wParam) {
    case 'C': case 'V': case 'X': case 'Z': break;
    default: return false;
  }
  return IsEditBox(message.hwnd) && client.IsDialogTarget(GetAncestor(message.hwnd, GA_ROOT));
}

}  // namespace

LoopStep DispatchLoopMessage(LoopClient& client, MSG& message) {
  if (IsWheel(message.message)) {
    if (HWND target = WheelTarget(message)) message.hwnd = target;
  } else if (!IsEditKeyOfABox(client, message) && client.Accelerators() &&
             TranslateAcceleratorW(client.MainWindow(), client.Accelerators(), &message)) {
    return LoopStep::Accelerator;
  }
  HWND active = GetActiveWindow();
  if (active && client.IsDialogTarget(active) && IsDialogMessageW(active, &message)) return LoopStep::DialogNavigation;
  TranslateMessage(&message);
  DispatchMessageW(&message);
  return LoopStep::Dispatched;
}

int RunMainLoop(LoopClient& client, PendingUpdates& updates) {
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) return static_cast<int>(message.wParam);
      DispatchLoopMessage(client, message);
    }
    const std::uint32_t bits = updates.Take();
    if (bits) client.ServeUpdates(bits);
    WaitMessage();
  }
}
