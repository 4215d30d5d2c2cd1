#include "device/win/save_program_question.h"

#include <commdlg.h>

#include <memory>

#include "base/text.h"
#include "device/connection.h"
#include "device/posted_sinks.h"

std::optional<std::string> SaveProgramQuestion::AskSaveFileName() {
  wchar_t path[MAX_PATH] = L"Pobrany dokument.trv";
  static const wchar_t kFilter[] = L"Dokument Trevna (*.trv)\0*.trv\0";
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.lpstrFilter = kFilter;
  dialog.lpstrFile = path;
  dialog.nMaxFile = MAX_PATH;
  dialog.lpstrInitialDir = L"C:\\";
  dialog.lpstrDefExt = L"trv";
  dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
  if (!GetSaveFileNameW(&dialog)) return std::nullopt;
  return Cp1250FromWide(path);
}

bool PostDownloadProgram(FrameContext& frame) {
  // The question keeps no state, so one for the whole run serves every request.
  static const auto question = std::make_shared<SaveProgramQuestion>();
  return frame.CardConnection().PostDownloadProgram(
      std::make_shared<device::PostedSaveFileQuestion>(frame.Queue(), question));
}
