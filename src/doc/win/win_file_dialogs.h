// The file commands' questions on Windows: a Yes / No / Cancel message box and the standard
// open and save dialogs, owned by one window (the main window; the active window when none is
// set).
#pragma once

#include <windows.h>

#include "doc/file_commands.h"

class Win32FileDialogs : public FileDialogs {
 public:
  explicit Win32FileDialogs(HWND owner = nullptr) : owner_(owner) {}
  void SetOwner(HWND owner) { owner_ = owner; }

  SaveAnswer AskYesNoCancel(const std::wstring& text, const std::wstring& title) override;
  bool ChooseFile(const FileRequest& request, std::string& path) override;

 private:
  HWND Owner() const { return owner_ ? owner_ : GetActiveWindow(); }
  HWND owner_;
};

// The filter text of the common dialogs: the name, then the pattern, each ended by a null, and
// one more null at the end.
std::wstring DialogFilter(const FileRequest& request);
