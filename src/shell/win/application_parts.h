// The windows the program's main frame is built with (MakeApplicationParts), and the entries of
// the frame's dialogs whose windows are still placeholders.
#pragma once

#include "shell/pending_updates.h"
#include "shell/win/main_frame.h"

// Every part of the real program. `updates` is the main loop's word of update requests.
FrameParts MakeApplicationParts(PendingUpdates& updates);

// Dialog entries not yet backed by their windows (see application_parts.cpp).
void PlaceholderLoginDialog(FrameContext& frame);
void PlaceholderPasswordDialog(FrameContext& frame);
void PlaceholderNetworkDialog(FrameContext& frame);
void PlaceholderArchiveDialog(FrameContext& frame);
void PlaceholderExportDialog(FrameContext& frame);
void PlaceholderMediumDialog(FrameContext& frame);
void PlaceholderOutputTestDialog(FrameContext& frame);
