// "Zaloguj się" (dialog 118): the card's address (pre-filled from the device list), user name and
// password. Nothing is remembered between logins. The one check here is that the password can
// be sent as typed (Windows-1250); everything else the connection worker reports.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

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

// Reads up to `limit` characters of a dialog control as Windows-1250 text.
std::string DialogItemText(HWND dialog, int id, int limit = 99);
// Reads a password field (up to 99 characters) as Windows-1250 text. A character the code page
// lacks would reach the card as "?": then the error box says so, the field gets the focus and
// nothing is returned.
std::optional<std::string> DialogItemPassword(HWND dialog, int id);
// The value of an IPv4 address control (first octet highest; blank fields read 0).
std::uint32_t DialogItemAddress(HWND dialog, int id);
void SetDialogItemAddress(HWND dialog, int id, std::uint32_t address);
// The IPv4 address control class, registered once.
void RegisterAddressControl();
