// The program's answer to a changed card key on Windows: a Yes/No box with the card and both
// fingerprints, No the default. It runs on the UI thread: the Connection gets it wrapped in a
// PostedHostKeyQuestion (device/posted_sinks.h).
#pragma once

#include <windows.h>

#include <memory>

#include "device/sinks.h"

namespace device {

// The box is owned by `owner` (or by no window).
std::shared_ptr<HostKeyQuestion> MakeHostKeyMessageBox(HWND owner);

}  // namespace device
