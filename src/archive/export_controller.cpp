#include "archive/export_controller.h"

#include <exception>

#include "base/platform.h"
#include "base/text.h"

void ExportSources::Assign(const std::vector<std::wstring>& strings) {
  names.clear();
  folder.clear();
  if (strings.empty()) return;
  if (strings.size() > 1) {
    folder = strings[0];
    names.assign(strings.begin() + 1, strings.end());
    return;
  }
  const std::wstring& path = strings[0];
  const auto slash = path.find_last_of(platform::PathSeparator());
  if (slash == std::wstring::npos) {
    names.push_back(path);
  } else {
    folder = path.substr(0, slash);
    names.push_back(path.substr(slash + 1));
  }
}

std::vector<std::wstring> ExportSources::Paths() const {
  std::vector<std::wstring> paths;
  paths.reserve(names.size());
  for (const auto& name : names) paths.push_back(folder + platform::PathSeparator() + name);
  return paths;
}

std::pair<std::wstring, std::wstring> ExportNotes(bool noSources) {
  if (noSources) {
    const std::wstring note = WideFromUtf8("Najpierw wybierz pliki źródłowe");
    return {note, note};
  }
  return {WideFromUtf8("Eksportuje pliki źródłowe do jednego nagrania bez ingerencji w obraz"),
          WideFromUtf8("Eksportuje pliki źródłowe do jednego nagrania i rekompresuje obrazy")};
}

ExportController::ExportController(ExportDialogUi& ui, UiQueue& queue, ExportOptions options)
    : ui_(ui), posted_(queue, token_.Watch<ExportView>(&ui)), worker_(posted_, options) {}

bool ExportController::OnInit() {
  UpdateNotes();
  try {
    worker_.Start();
  } catch (const std::exception& e) {
    ui_.ShowError(e.what());
    return false;
  }
  return true;
}

void ExportController::OnChooseSources() {
  std::vector<std::wstring> strings;
  if (!ui_.AskSourceFiles(strings)) return;
  sources_.Assign(strings);
  ui_.ShowSourceNames(sources_.names);
  UpdateNotes();
}

void ExportController::OnStartJob(ExportMode mode) {
  if (!worker_.Started()) return;
  ui_.EnableJobControls(false);
  worker_.Request(mode, sources_.Paths());
}

bool ExportController::OnClose() {
  if (!worker_.CanClose()) return false;
  worker_.Stop();
  return true;
}

void ExportController::UpdateNotes() {
  const auto notes = ExportNotes(sources_.names.empty());
  ui_.SetNotes(notes.first, notes.second);
}
