// The export dialog "Eksportuj archiwum" (dialog 113): the Win32 face of ExportController.
// The dialog shows the chosen sources and the job's status and progress; the worker
// (ExportThread) reaches it only through the UI queue.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "archive/export_dialog.h"
#include "archive/export_ui.h"
#include "shell/win/window.h"

class UiQueue;

// The common dialogs of the export dialog. The Win32 implementation shows the real ones;
// tests answer with a fake.
class ExportFileDialogs {
 public:
  virtual ~ExportFileDialogs() = default;
  // Multi-select open dialog for "*.avi" files. On success `strings` holds the folder followed
  // by the names, or one full path when one file was chosen. False when cancelled.
  virtual bool AskSourceFiles(HWND owner, std::vector<std::wstring>& strings) = 0;
  // Save dialog with the initial name "Nagranie archiwum.avi". False when cancelled.
  virtual bool AskOutputPath(HWND owner, std::wstring& path) = 0;
};

// GetOpenFileNameW / GetSaveFileNameW.
class Win32ExportFileDialogs final : public ExportFileDialogs {
 public:
  bool AskSourceFiles(HWND owner, std::vector<std::wstring>& strings) override;
  bool AskOutputPath(HWND owner, std::wstring& path) override;
};

// The strings of an open dialog's multi-select result: zero-terminated strings ended by an
// empty one, within `capacity` characters.
std::vector<std::wstring> SplitOpenFileResult(const wchar_t* buffer, std::size_t capacity);

class ExportDialog final : public Dialog, public ExportDialogUi {
 public:
  // `queue` is run on this thread (by the program's UiQueueWindow); `files` outlives the dialog.
  ExportDialog(ExportFileDialogs& files, UiQueue& queue, ExportOptions options = {});

  // Runs dialog 113 modally; returns its result (2).
  INT_PTR RunModal(HWND owner);
  // Creates it modeless (tests drive it with messages); closing it then destroys it.
  HWND CreateModeless(HWND owner);

  INT_PTR DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) override;

  ExportController& Controller() { return controller_; }

  // ExportView and ExportDialogUi, on the UI thread.
  void SetStatusText(const std::string& text) override;
  void SetProgress(std::uint32_t position) override;
  void EnableJobControls(bool enabled) override;
  bool AskOutputPath(std::wstring& path) override;
  void ShowError(const std::string& text) override;
  bool AskSourceFiles(std::vector<std::wstring>& strings) override;
  void ShowSourceNames(const std::vector<std::wstring>& names) override;
  void SetNotes(const std::wstring& copyNote, const std::wstring& recompressNote) override;

 private:
  void OnInit();
  void OnClose();

  ExportFileDialogs& files_;
  ExportController controller_;
  bool modal_ = false;
};

// What the main frame calls: opens "Eksportuj archiwum" owned by `owner` and returns when it
// is closed. `queue` is the frame's UI queue.
void RunExportDialog(HWND owner, UiQueue& queue, ExportFileDialogs& files);
void RunExportDialog(HWND owner, UiQueue& queue);  // with the real open and save dialogs
