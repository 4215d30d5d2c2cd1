// Opening a file or an address with the system's default handler (the manual, the maker's
// page). The Win32 implementation calls the shell; tests record what would be opened.
#pragma once

#include <windows.h>

#include <string>

class ShellLauncher {
 public:
  virtual ~ShellLauncher() = default;
  // Default verb, normal show state, owned by `owner`. Nothing is reported when it fails.
  virtual void Open(HWND owner, const std::wstring& target) = 0;
};

class Win32ShellLauncher : public ShellLauncher {
 public:
  void Open(HWND owner, const std::wstring& target) override;
};

// The manual beside the program: the program's own path cut at its last "\", + "\Help.pdf".
std::wstring ManualPath();
