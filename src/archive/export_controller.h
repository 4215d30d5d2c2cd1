// ExportController: what the export dialog "Eksportuj archiwum" (dialog 113) decides, apart from
// any window: the chosen sources, the button notes, starting jobs and the close rule. The Win32 dialog procedure
// forwards its messages here and implements ExportDialogUi.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "archive/export_thread.h"
#include "archive/export_ui.h"
#include "base/ui_queue.h"

// The source files: a folder and names inside it, in export order.
struct ExportSources {
  std::wstring folder;
  std::vector<std::wstring> names;

  // Takes what the open-file dialog returned: the folder followed by the names (kept in the
  // dialog's order, not sorted), or a single full path that is split at its last backslash
  // (natively: slash).
  void Assign(const std::vector<std::wstring>& strings);
  // folder + "\" + name for every name (natively with "/").
  std::vector<std::wstring> Paths() const;
};

// The notes of buttons 1022 and 1023 for a source list that is or is not empty.
std::pair<std::wstring, std::wstring> ExportNotes(bool noSources);

class ExportController {
 public:
  // `queue` is the UI thread's queue; the worker reports to `ui` through it.
  ExportController(ExportDialogUi& ui, UiQueue& queue, ExportOptions options = {});

  // WM_INITDIALOG: sets the notes and starts the worker. When the worker cannot be started
  // its message is shown (ShowError) and false is returned: the dialog can run no job, so
  // its window ends at once.
  bool OnInit();
  // Button 1019: choose the sources.
  void OnChooseSources();
  // Buttons 1022 (copy) and 1023 (recompress): disables the job controls and requests the
  // mode unless a job is already requested. Without a running worker nothing is requested
  // (it would hold the dialog open for ever).
  void OnStartJob(ExportMode mode);
  // WM_CLOSE: false while a job is requested or running (the close is ignored); otherwise
  // stops the worker and returns true (the dialog ends with result 2).
  bool OnClose();

  const ExportSources& Sources() const { return sources_; }
  ExportThread& Worker() { return worker_; }

 private:
  void UpdateNotes();

  ExportDialogUi& ui_;
  ExportSources sources_;
  LifetimeToken token_;  // goes with the controller: reports still queued for `ui` are dropped
  PostedExportView posted_;
  ExportThread worker_;
};
