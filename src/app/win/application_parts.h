// The windows the program's main frame is built with.
#pragma once

#include "shell/pending_updates.h"
#include "shell/win/main_frame.h"

// Every part of the real program. `updates` is the main loop's word of update requests.
FrameParts MakeApplicationParts(PendingUpdates& updates);
