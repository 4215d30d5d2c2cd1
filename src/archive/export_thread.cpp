#include "archive/export_thread.h"

#include <exception>
#include <optional>

ExportThread::ExportThread(ExportView& view, ExportOptions options)
    : Thread("Export"), view_(view), options_(options), slot_(StopEvent()) {}

ExportThread::~ExportThread() { Stop(); }

bool ExportThread::Request(ExportMode mode, std::vector<std::wstring> sources) {
  if (mode != kExportCopy && mode != kExportRecompress) return false;
  return slot_.Post(static_cast<int>(mode), Job{std::move(sources)});
}

int ExportThread::Run() {
  for (;;) {
    Job job;
    const int mode = slot_.Wait(kPollMilliseconds, &job);
    if (StopRequested()) return 0;
    if (mode == 0) continue;
    try {
      RunExport(static_cast<ExportMode>(mode), job.sources, view_, options_);
    } catch (const std::exception& e) {
      view_.ShowError(e.what());
    }
    view_.SetStatusText(ExportDoneText());
    view_.SetProgress(0);
    slot_.Release();
    view_.EnableJobControls(true);
  }
}

void PostedExportView::SetStatusText(const std::string& text) {
  ui_.Post([text](ExportView& v) { v.SetStatusText(text); });
}

void PostedExportView::SetProgress(std::uint32_t position) {
  ui_.Post([position](ExportView& v) { v.SetProgress(position); });
}

void PostedExportView::EnableJobControls(bool enabled) {
  ui_.Post([enabled](ExportView& v) { v.EnableJobControls(enabled); });
}

bool PostedExportView::AskOutputPath(std::wstring& path) {
  const auto answer = ui_.Ask<std::optional<std::wstring>>([](ExportView& v) -> std::optional<std::wstring> {
    std::wstring chosen;
    if (!v.AskOutputPath(chosen)) return std::nullopt;
    return chosen;
  });
  if (!answer || !*answer) return false;
  path = **answer;
  return true;
}

void PostedExportView::ShowError(const std::string& text) {
  ui_.Post([text](ExportView& v) { v.ShowError(text); });
}
