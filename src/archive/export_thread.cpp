#include "archive/export_thread.h"

#include <chrono>
#include <exception>

ExportThread::ExportThread(ExportView& view, const std::vector<std::wstring>& sources, ExportOptions options)
    : Thread("Export"), view_(view), sources_(sources), options_(options) {}

ExportThread::~ExportThread() { Stop(); }

bool ExportThread::Request(ExportMode mode) {
  std::uint32_t expected = kExportNone;
  if (mode == kExportNone || !mode_.compare_exchange_strong(expected, mode)) return false;
  {
    std::lock_guard lock(wakeMutex_);
  }
  wake_.notify_one();
  return true;
}

bool ExportThread::CanClose() const { return mode_.load() == kExportNone && !busy_.load(); }

int ExportThread::Run() {
  while (!StopRequested()) {
    {
      std::unique_lock lock(wakeMutex_);
      wake_.wait_for(lock, std::chrono::milliseconds(kPollMilliseconds),
                     [this] { return mode_.load() != kExportNone; });
    }
    if (StopRequested()) break;
    const auto mode = static_cast<ExportMode>(mode_.load());
    if (mode == kExportNone) continue;

    busy_.store(true);
    try {
      RunExport(mode, sources_, view_, options_);
    } catch (const std::exception& e) {
      view_.ShowError(e.what());
    }
    view_.SetStatusText(ExportDoneText());
    view_.SetProgress(0);
    mode_.store(kExportNone);
    view_.EnableJobControls(true);
    busy_.store(false);
  }
  return 0;
}
