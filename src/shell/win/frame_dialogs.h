// The program's modal dialogs opened by the main frame's commands, each owned by the main
// window: the About dialog here, the others in the windows of their subsystems.
#pragma once

#include <memory>

#include "shell/win/frame_parts.h"
#include "shell/win/shell_launcher.h"

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
