// The export dialog's worker: runs one join request at a time.
//
// Request protocol. The requested mode is one word: the dialog's main thread writes a mode
// (1 copy, 2 recompress) only while it is 0, and the worker sets it back to 0 after the job.
// The worker looks at the word every 400 ms, and a request also wakes it at once. After a
// job (done or failed) the worker sets the status text "Zrobione", the progress bar to 0 and
// enables the job controls again.
//
// Close rule: the dialog may close only while CanClose() is true: no job requested, none
// running, and the worker no longer talking to the dialog. (The worker's calls into the
// dialog are synchronous; stopping the worker while it still makes one would hang both.)
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "archive/export_job.h"
#include "device/thread.h"

class ExportThread : public Thread {
 public:
  // `view` and `sources` belong to the dialog and outlive the worker. The sources are
  // changed only while no job is requested (their button is disabled during a job).
  ExportThread(ExportView& view, const std::vector<std::wstring>& sources, ExportOptions options = {});
  ~ExportThread() override;

  // Main thread: asks for a job in `mode` unless one is already requested. Returns whether
  // the request was taken.
  bool Request(ExportMode mode);
  // Main thread: whether the dialog may close now (see the close rule above).
  bool CanClose() const;
  ExportMode RequestedMode() const { return static_cast<ExportMode>(mode_.load()); }

  static constexpr unsigned kPollMilliseconds = 400;

 protected:
  int Run() override;

 private:
  ExportView& view_;
  const std::vector<std::wstring>& sources_;
  ExportOptions options_;
  std::atomic<std::uint32_t> mode_{kExportNone};
  std::atomic<bool> busy_{false};
  std::mutex wakeMutex_;
  std::condition_variable wake_;
};
