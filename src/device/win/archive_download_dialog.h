// "Archiwum" (dialog 112): the card's archive folders and files and the PC folder they are
// copied to. The dialog turns its buttons into requests to the connection worker, which fills
// the two lists and marks what has been downloaded while the dialog is open.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "base/ui_queue.h"
#include "device/sinks.h"
#include "shell/win/frame_parts.h"
#include "shell/win/window.h"

// The "..." folder browser, behind an interface so tests can answer it.
class TargetFolderQuestion {
 public:
  virtual ~TargetFolderQuestion() = default;
  // The chosen folder (Windows-1250), nothing when cancelled.
  virtual std::optional<std::string> AskTargetFolder(HWND owner) = 0;
};

// The shell's folder browser titled "Wybierz katalog docelowy" (file-system folders only).
class ShellTargetFolderQuestion final : public TargetFolderQuestion {
 public:
  std::optional<std::string> AskTargetFolder(HWND owner) override;
};

// The target folder as handed to the worker: at most 259 characters, with "\" appended unless
// empty or already ending in "\" or "/".
std::string ArchiveTargetFolder(std::string text);

class ArchiveDownloadDialog final : public Dialog, public device::ArchiveDialogSink {
 public:
  ArchiveDownloadDialog(device::Connection& connection, UiQueue& queue, TargetFolderQuestion& folders)
      : connection_(connection), queue_(queue), folderQuestion_(folders) {}
  ~ArchiveDownloadDialog() override { token_.Revoke(); }

  // Runs modally, owned by `owner`; ends with IDCANCEL (2).
  INT_PTR Run(HINSTANCE instance, HWND owner);
  INT_PTR DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) override;

  // UI thread, reached through the UI queue while the dialog is open.
  void ShowFolders(const std::vector<device::ArchiveEntry>& folders) override;
  void ShowFiles(const std::string& folder, const std::vector<device::ArchiveEntry>& files) override;
  void MarkFileDownloaded(const std::string& folder, const std::string& file) override;
  void MarkFolderDownloaded(const std::string& folder) override;

 private:
  std::shared_ptr<device::ArchiveDialogSink> Sink();
  std::string Root() const;
  std::string SelectedFolder() const;
  void OnBrowse();
  void OnRefresh();
  void OnFolderChange();
  void OnDownload();

  device::Connection& connection_;
  UiQueue& queue_;
  TargetFolderQuestion& folderQuestion_;
  LifetimeToken token_;  // revoked when the dialog goes: the worker's later reports are dropped
  std::vector<device::ArchiveEntry> folders_;  // as listed in control 1015
  std::string filesFolder_;                    // whose files control 1012 shows
  std::vector<device::ArchiveEntry> files_;
};

// "Pobierz &archiwum".
void RunArchiveDownloadDialog(FrameContext& frame);
