// "Zaloguj się" (dialog 118): the card's address (pre-filled from the device list), user name and
// password. Nothing is remembered between logins. The one check here is that the password can
// be sent as typed (Windows-1250); everything else the connection worker reports.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "shell/win/dialog_helpers.h"  // the helpers its fields are read with
#include "shell/win/frame_parts.h"
#include "shell/win/window.h"

class LoginDialog final : public Dialog {
 public:
  explicit LoginDialog(std::uint32_t address) : address(address) {}
  // Runs modally, owned by `owner`; IDOK or IDCANCEL.
  INT_PTR Run(HINSTANCE instance, HWND owner);
  INT_PTR DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) override;

  std::uint32_t address;  // first octet highest
  std::string userName;   // Windows-1250
  std::string password;
};

// "&Otwórz połączenie": the dialog, then, on OK with the request slot free, request Open.
void RunLoginDialog(FrameContext& frame);
