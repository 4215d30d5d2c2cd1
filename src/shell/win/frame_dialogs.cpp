#include "shell/win/frame_dialogs.h"

#include "shell/win/about_dialog.h"

// The other entries open the windows of their subsystems (application_parts.cpp).
void AppFrameDialogs::About(FrameContext& frame) { RunAboutDialog(frame.MainWindow(), *shell_); }
