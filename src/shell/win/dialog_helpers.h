// Reading and setting dialog controls the way every dialog of the program does: texts as
// Windows-1250, IPv4 address controls as one number.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

// Up to `limit` characters of a dialog control as wide text.
std::wstring DialogItemWideText(HWND dialog, int id, int limit = 99);
// Up to `limit` characters of a dialog control as Windows-1250 text (a character the code page
// lacks becomes "?").
std::string DialogItemText(HWND dialog, int id, int limit = 99);
// Up to `limit` characters of a control whose text must reach its reader exactly as typed (a
// password): when a character is outside Windows-1250 the error box shows `refusal`, the
// control gets the focus and nothing is returned.
std::optional<std::string> DialogItemExactText(HWND dialog, int id, const std::string& refusal, int limit = 99);
// The value of an IPv4 address control (first octet highest; blank fields read 0).
std::uint32_t DialogItemAddress(HWND dialog, int id);
void SetDialogItemAddress(HWND dialog, int id, std::uint32_t address);
// The IPv4 address control class (and the standard controls), registered before a dialog that
// holds one is created.
void RegisterAddressControl();
