#include "app/win/application_parts.h"

#include <memory>

#include "app/win/about_dialog.h"
#include "archive/win/archive_medium_dialog.h"
#include "archive/win/export_dialog.h"
#include "device/sinks.h"
#include "device/win/archive_download_dialog.h"
#include "device/win/explorer.h"
#include "device/win/host_key_question.h"
#include "device/win/live_view.h"
#include "device/win/login_dialog.h"
#include "device/win/network_dialog.h"
#include "device/win/password_dialog.h"
#include "doc/win/main_view.h"
#include "doc/win/win_file_dialogs.h"
#include "logic/win/composer_frame.h"
#include "logic/win/parameters_panel.h"
#include "logic/win/output_test_dialog.h"
#include "logic/win/tuning_frame.h"
#include "shell/win/shell_launcher.h"

void AppFrameDialogs::Login(FrameContext& frame) { RunLoginDialog(frame); }
void AppFrameDialogs::ChangePassword(FrameContext& frame) { RunPasswordDialog(frame); }
void AppFrameDialogs::Network(FrameContext& frame) { RunNetworkDialog(frame); }
void AppFrameDialogs::ArchiveDownload(FrameContext& frame) { RunArchiveDownloadDialog(frame); }
void AppFrameDialogs::Export(FrameContext& frame) { RunExportDialog(frame.MainWindow(), frame.Queue(), frame.Files()); }
void AppFrameDialogs::Medium(FrameContext& frame) { RunMediumDialog(frame.MainWindow()); }
void AppFrameDialogs::OutputTest(FrameContext& frame) { RunOutputTest(frame.MainWindow(), frame.OutputTest()); }
void AppFrameDialogs::About(FrameContext& frame) { RunAboutDialog(frame.MainWindow(), *shell_); }

FrameParts MakeApplicationParts(PendingUpdates&) {
  FrameParts parts;
  parts.editor = std::make_unique<MainView>();
  parts.live = std::make_unique<LiveView>();
  parts.parameters = std::make_unique<Inspector>();
  parts.definitions = std::make_unique<ComposerFrame>();
  parts.tuning = std::make_unique<TuningFrame>();
  parts.deviceList = std::make_unique<Explorer>();
  parts.dialogs = std::make_unique<AppFrameDialogs>(std::make_unique<Win32ShellLauncher>());
  parts.files = std::make_unique<Win32FileDialogs>();
  parts.shell = std::make_unique<Win32ShellLauncher>();
  parts.hostKeyQuestion = device::MakeHostKeyMessageBox(nullptr);
  return parts;
}
