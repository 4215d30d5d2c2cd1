#include "shell/win/main_loop.h"

int RunMainLoop(LoopClient& client, PendingUpdates& updates) {
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) return static_cast<int>(message.wParam);
      if (client.Accelerators() &&
          TranslateAcceleratorW(client.MainWindow(), client.Accelerators(), &message)) {
        continue;
      }
      HWND active = GetActiveWindow();
      if (active && client.IsDialogTarget(active) && IsDialogMessageW(active, &message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    const std::uint32_t bits = updates.Take();
    if (bits) client.ServeUpdates(bits);
    WaitMessage();
  }
}
