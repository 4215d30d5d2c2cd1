// The export dialog "Eksportuj archiwum" (dialog 113): the Win32 face of ExportController.
// The dialog shows the chosen sources and the job's status and progress; the worker
// (ExportThread) reaches it only through the UI queue.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "archive/export_controller.h"
#include "archive/export_ui.h"
#include "doc/file_commands.h"
#include "shell/win/window.h"

class UiQueue;

class ExportDialog final : public Dialog, public ExportDialogUi {
 public:
  // `queue` is run on this thread (by the program's UiQueueWindow); `files` outlives the dialog
  // and shows its open and save dialogs (owned by the window the user works in: this one).
  ExportDialog(FileDialogs& files, UiQueue& queue, ExportOptions options = {});

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

  FileDialogs& files_;
  ExportController controller_;
  bool modal_ = false;
};

// What the main frame calls: opens "Eksportuj archiwum" owned by `owner` and returns when it
// is closed. `queue` is the frame's UI queue, `files` the frame's open and save dialogs.
void RunExportDialog(HWND owner, UiQueue& queue, FileDialogs& files);

// What the export dialog asks the open and save dialogs: "*.avi" files ("Film wideo (*.avi)",
// default extension "avi"), several at once to open, "Nagranie archiwum.avi" offered to save.
FileRequest ExportSourcesRequest();
FileRequest ExportOutputRequest();
