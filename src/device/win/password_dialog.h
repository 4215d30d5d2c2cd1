// "Zmień hasło" (dialog 119): checks the current password against the one the session was opened
// (or last changed) with and the confirmation of the new one, then asks the card to change it.
#pragma once

#include <windows.h>

#include "shell/win/frame_parts.h"
#include "shell/win/window.h"

class PasswordDialog final : public Dialog {
 public:
  explicit PasswordDialog(device::Connection& connection) : connection_(connection) {}
  INT_PTR Run(HINSTANCE instance, HWND owner);
  INT_PTR DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  void OnOk(HWND hwnd);
  device::Connection& connection_;
};

// "Zmień &hasło".
void RunPasswordDialog(FrameContext& frame);
