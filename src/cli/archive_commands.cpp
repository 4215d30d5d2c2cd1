// trevnactl join: the export job without its dialog.
// trevnactl medium: the archive medium's labels and settings file without its dialog.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_medium.h"
#include "archive/export_job.h"
#include "archive/sample_picture.h"
#include "base/text.h"
#include "cli/registry.h"

namespace {

// Shows the job's status and progress on one terminal line; silent when stderr is a file.
class TerminalProgress : public ExportStatusSink {
 public:
  TerminalProgress() : enabled_(cli::IsTerminal(stderr)) {}
  ~TerminalProgress() override {
    if (enabled_ && shown_) std::fputs("\n", stderr);
  }
  void SetStatusText(const std::string& text) override { status_ = Utf8FromCp1250(text); }
  void SetProgress(std::uint32_t position) override {
    if (!enabled_) return;
    std::fprintf(stderr, "\r%s %3u%%", status_.c_str(), position);
    std::fflush(stderr);
    shown_ = true;
  }
  void Finish(const std::string& text) {
    if (!enabled_) return;
    std::fprintf(stderr, "\r%s %3u%%\n%s", status_.c_str(), 100u, Utf8FromCp1250(text).c_str());
    shown_ = true;
  }

 private:
  bool enabled_;
  bool shown_ = false;
  std::string status_;
};

struct JoinOptions {
  bool recompress = false;
  std::string output;
  std::vector<std::string> sources;
};

int RunJoin(const JoinOptions& options) {
  std::vector<std::wstring> sources;
  for (const auto& source : options.sources) sources.push_back(WideFromUtf8(source));
  TerminalProgress progress;
  JoinAviFiles(options.recompress ? kExportRecompress : kExportCopy, sources, WideFromUtf8(options.output), progress);
  progress.Finish(ExportDoneText());
  return cli::kExitOk;
}

const bool joinRegistered = cli::RegisterCommand(
    "join", "Joins archive recordings (AVI files of JPEG frames) into one AVI file", [](CLI::App& app) -> cli::Run {
      auto options = std::make_shared<JoinOptions>();
      app.add_flag("--recompress", options->recompress,
                   "Decode every frame and compress it again at quality 98 (grey frames become colour)");
      app.add_option("-o", options->output, "Output AVI file")->required();
      app.add_option("IN", options->sources, "Source AVI files, joined in this order")->required();
      return [options] { return RunJoin(*options); };
    });

struct MediumOptions {
  unsigned capacity = 0;
  unsigned cameras = 2;
  unsigned quality = 95;
  std::string writeFolder;
};

int RunMedium(const MediumOptions& options) {
  ArchiveMediumState state;
  state.capacity = options.capacity;
  state.cameras = options.cameras;
  state.quality = options.quality;
  state.sampleSize = CompressSample(SamplePicture(), state.quality);
  const ArchiveLabels labels = RecomputeArchiveLabels(state);
  std::printf("%s\n%s\n", Utf8FromWide(labels.bitRate).c_str(), Utf8FromWide(labels.recordingTime).c_str());
  if (!options.writeFolder.empty()) {
    WriteArchiveConfig(ArchiveConfigPath(WideFromUtf8(options.writeFolder)), state.archiveDays, state.quality);
  }
  return cli::kExitOk;
}

const bool mediumRegistered = cli::RegisterCommand(
    "medium", "Shows the archive medium's bit rate and recording time; can write archcfg.txt",
    [](CLI::App& app) -> cli::Run {
      auto options = std::make_shared<MediumOptions>();
      app.add_option("--capacity-gb", options->capacity, "Medium size in whole decimal gigabytes")->required();
      app.add_option("--cameras", options->cameras, "Cameras that record (1 or 2)")
          ->check(CLI::IsMember({1u, 2u}));
      app.add_option("--quality", options->quality, "JPEG quality, 0 to 99 (default 95)")->check(CLI::Range(0u, 99u));
      app.add_option("--write", options->writeFolder, "Write DIR/archcfg.txt");
      return [options] { return RunMedium(*options); };
    });

}  // namespace
