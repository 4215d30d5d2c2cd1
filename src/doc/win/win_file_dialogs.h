// The file commands' questions on Windows: a Yes / No / Cancel message box and the standard
// open and save dialogs, owned by one window (the main window; the active window when none is
// set).
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "doc/file_commands.h"

class Win32FileDialogs : public FileDialogs {
 public:
  explicit Win32FileDialogs(HWND owner = nullptr) : owner_(owner) {}
  void SetOwner(HWND owner) { owner_ = owner; }

  SaveAnswer AskYesNoCancel(const std::wstring& text, const std::wstring& title) override;
  bool ChooseFile(const FileRequest& request, std::string& path) override;
  bool ChooseFiles(const FileRequest& request, std::vector<std::wstring>& strings) override;

 private:
  HWND Owner() const { return owner_ ? owner_ : GetActiveWindow(); }
  // Runs the open or save dialog; the chosen name (or names) are left in `name`.
  bool Run(const FileRequest& request, std::vector<wchar_t>& name);
  HWND owner_;
};

// The strings of an open dialog's multi-select result: zero-terminated strings ended by an
// empty one, within `capacity` characters.
std::vector<std::wstring> SplitOpenFileResult(const wchar_t* buffer, std::size_t capacity);

// The filter text of the common dialogs: the name, then the pattern, each ended by a null, and
// one more null at the end.
std::wstring DialogFilter(const FileRequest& request);
