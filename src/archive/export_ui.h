// What the export job, its worker and the export dialog's logic may do to the screen.
// The Win32 export dialog (dialog 113) implements these; tests implement them as recorders.
//
// Texts are narrow Windows-1250 strings unless the type says wide. The dialog implements these
// on the UI thread; the worker reaches it only through PostedExportView (archive/export_thread.h),
// by the rule in device/sinks.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Status and progress of a running join (the CLI prints them; the dialog shows them).
class ExportStatusSink {
 public:
  virtual ~ExportStatusSink() = default;
  // Status text (control 1017), e.g. "Eksportowanie..." or "Zrobione".
  virtual void SetStatusText(const std::string& text) = 0;
  // Progress bar (control 1016), 0 to 100.
  virtual void SetProgress(std::uint32_t position) = 0;
};

// Everything the export worker touches, on the worker thread.
class ExportView : public ExportStatusSink {
 public:
  // Enables or disables the four controls of a job: 1019 (choose sources), 1012 (source
  // list), 1022 ("Połącz...") and 1023 ("Połącz i konwertuj...").
  virtual void EnableJobControls(bool enabled) = 0;
  // Save-file dialog owned by the export dialog: initial name "Nagranie archiwum.avi", filter
  // "Film wideo (*.avi)" / "*.avi", default extension "avi", prompt before overwriting.
  // Returns false when the user cancels.
  virtual bool AskOutputPath(std::wstring& path) = 0;
  // Error message box owned by the export dialog: error icon, the system's default caption.
  virtual void ShowError(const std::string& text) = 0;
};

// The rest of the dialog, used on the main thread by ExportController.
class ExportDialogUi : public ExportView {
 public:
  // Open-file dialog owned by the export dialog (filter "Film wideo (*.avi)" / "*.avi",
  // default extension "avi", several files, files must exist). On success `strings` holds
  // what the dialog returned: the folder followed by the names, or one full path.
  // Returns false when the user cancels.
  virtual bool AskSourceFiles(std::vector<std::wstring>& strings) = 0;
  // Refills list box 1012 with the names, in export order.
  virtual void ShowSourceNames(const std::vector<std::wstring>& names) = 0;
  // Sets the command link notes of buttons 1022 and 1023.
  virtual void SetNotes(const std::wstring& copyNote, const std::wstring& recompressNote) = 0;
};
