// The composition root: the one place where the program's windows and dialogs are put together
// for the main frame.
#pragma once

#include <memory>

#include "app/win/main_frame.h"
#include "shell/pending_updates.h"
#include "shell/win/shell_launcher.h"

// The program's modal dialogs opened by the main frame's commands, each owned by the main
// window: the About dialog of the application, the others the windows of their subsystems.
class AppFrameDialogs : public FrameDialogs {
 public:
  explicit AppFrameDialogs(std::unique_ptr<ShellLauncher> shell) : shell_(std::move(shell)) {}
  void Login(FrameContext& frame) override;
  void ChangePassword(FrameContext& frame) override;
  void Network(FrameContext& frame) override;
  void ArchiveDownload(FrameContext& frame) override;
  void Export(FrameContext& frame) override;
  void Medium(FrameContext& frame) override;
  void OutputTest(FrameContext& frame) override;
  void About(FrameContext& frame) override;

 private:
  std::unique_ptr<ShellLauncher> shell_;
};

// Every part of the real program. `updates` is the main loop's word of update requests.
FrameParts MakeApplicationParts(PendingUpdates& updates);
