// The save dialog of "download program" (the common Save As dialog), and the command that asks
// the card for its program through it.
#pragma once

#include <optional>
#include <string>

#include "device/sinks.h"
#include "shell/win/frame_parts.h"

class SaveProgramQuestion final : public device::SaveFileQuestion {
 public:
  // "Pobrany dokument.trv" in "C:\", filter "Dokument Trevna (*.trv)", extension "trv",
  // overwrite prompt, no owner. Nothing when the user cancels.
  std::optional<std::string> AskSaveFileName() override;
};

// Posts "download program": the worker fetches the program, asks this question on the UI thread
// and writes the file. False when the request slot was busy.
bool PostDownloadProgram(FrameContext& frame);
