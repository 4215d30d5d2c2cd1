#include "shell/win/frame_dialogs.h"

#include "shell/win/about_dialog.h"
#include "shell/win/application_parts.h"

void AppFrameDialogs::Login(FrameContext& frame) { PlaceholderLoginDialog(frame); }
void AppFrameDialogs::ChangePassword(FrameContext& frame) { PlaceholderPasswordDialog(frame); }
void AppFrameDialogs::Network(FrameContext& frame) { PlaceholderNetworkDialog(frame); }
void AppFrameDialogs::ArchiveDownload(FrameContext& frame) { PlaceholderArchiveDialog(frame); }
void AppFrameDialogs::Export(FrameContext& frame) { PlaceholderExportDialog(frame); }
void AppFrameDialogs::Medium(FrameContext& frame) { PlaceholderMediumDialog(frame); }
void AppFrameDialogs::OutputTest(FrameContext& frame) { PlaceholderOutputTestDialog(frame); }
void AppFrameDialogs::About(FrameContext& frame) { RunAboutDialog(frame.MainWindow(), *shell_); }
