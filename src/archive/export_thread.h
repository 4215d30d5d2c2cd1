// The export dialog's worker: runs one join request at a time, and the posting adapter
// through which it reports to the dialog.
//
// Request protocol: the dialog posts a mode (1 copy, 2 recompress) with the source paths into
// the worker's request slot (base/request_slot.h); a request made while one is requested or
// running is dropped. The worker wakes at once (at the latest after 400 ms), runs the job and
// frees the slot; after a job (done or failed) it sets the status text "Zrobione", the progress
// bar to 0 and enables the job controls again.
//
// The worker reports only through its ExportView, which must follow the rule of
// device/sinks.h: in the program a PostedExportView, so the worker never waits for the dialog
// except for the output file question, which also ends when the worker is stopped (cancel).
// The dialog may close while CanClose() is true; stopping the worker is always safe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/export_job.h"
#include "archive/export_ui.h"
#include "base/request_slot.h"
#include "base/thread.h"
#include "base/ui_queue.h"

class ExportThread : public Thread {
 public:
  // `view` is thread-safe (a PostedExportView in the program) and outlives the worker.
  explicit ExportThread(ExportView& view, ExportOptions options = {});
  ~ExportThread() override;

  // Any thread: asks for a job in `mode` over `sources` (full paths, in export order) unless
  // one is already requested or running. Returns whether the request was taken.
  bool Request(ExportMode mode, std::vector<std::wstring> sources);
  // Whether the dialog may close now: no job requested or running.
  bool CanClose() const { return slot_.Free(); }
  ExportMode RequestedMode() const { return static_cast<ExportMode>(slot_.Pending()); }

  static constexpr unsigned kPollMilliseconds = 400;

 protected:
  int Run() override;

 private:
  struct Job {
    std::vector<std::wstring> sources;
  };

  ExportView& view_;
  ExportOptions options_;
  RequestSlot<Job> slot_;
};

// ExportView for the worker thread: posts each report to the dialog's own ExportView on the
// UI thread, dropped once the dialog is gone; the output file question waits for the answer
// or the worker's stop signal.
class PostedExportView final : public ExportView {
 public:
  PostedExportView(UiQueue& queue, std::weak_ptr<ExportView> dialog) : ui_(queue, std::move(dialog)) {}
  void SetStatusText(const std::string& text) override;
  void SetProgress(std::uint32_t position) override;
  void EnableJobControls(bool enabled) override;
  bool AskOutputPath(std::wstring& path) override;
  void ShowError(const std::string& text) override;

 private:
  UiPoster<ExportView> ui_;
};
