// Recompress-mode join (decode, grey to RGB, encode at quality 98) on every processor,
// against ffmpeg re-encoding the same recordings to MJPEG at its best quality scale, in
// the same run. Reported as frames per second; one-thread join for reference.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <thread>

#include "archive/export_job.h"
#include "archive_bench_data.h"
#include "base/text.h"

namespace {

archive_bench::Recordings& Data() {
  // 4 recordings of 750 frames: 3,000 frames.
  static archive_bench::Recordings data = archive_bench::MakeRecordings("recompress", 4, 750);
  return data;
}

std::map<std::string, double>& FramesPerSecond() {
  static std::map<std::string, double> fps;
  return fps;
}

class NoStatus : public ExportStatusSink {
 public:
  void SetStatusText(const std::string&) override {}
  void SetProgress(std::uint32_t) override {}
};

template <typename Body>
void Timed(benchmark::State& state, const std::string& name, Body body) {
  const auto out = Data().folder / "out.avi";
  double total = 0;
  for (auto _ : state) {
    std::filesystem::remove(out);
    const auto start = std::chrono::steady_clock::now();
    if (!body(out.string())) state.SkipWithError("command failed");
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(s);
    total += s;
  }
  const double frames = static_cast<double>(Data().frames * state.iterations());
  FramesPerSecond()[name] = frames / total;
  state.counters["frames/s"] = benchmark::Counter(frames / total);
  std::filesystem::remove(out);
}

void Join(benchmark::State& state, unsigned threads, const std::string& name) {
  std::vector<std::wstring> sources;
  for (const auto& file : Data().files) sources.push_back(WideFromUtf8(file));
  Timed(state, name, [&](const std::string& out) {
    NoStatus status;
    ExportOptions options;
    options.threads = threads;
    JoinAviFiles(kExportRecompress, sources, WideFromUtf8(out), status, options);
    return true;
  });
}

void BM_JoinRecompress(benchmark::State& state) { Join(state, 0, "join"); }
void BM_JoinRecompressOneThread(benchmark::State& state) { Join(state, 1, "join-1"); }

void BM_FfmpegMjpeg(benchmark::State& state) {
  const std::string list = archive_bench::ConcatList(Data());
  Timed(state, "ffmpeg", [&](const std::string& out) {
    return archive_bench::Shell("ffmpeg -nostdin -loglevel error -y -f concat -safe 0 -i '" + list +
                                "' -c:v mjpeg -q:v 1 '" + out + "'");
  });
}

BENCHMARK(BM_JoinRecompress)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FfmpegMjpeg)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JoinRecompressOneThread)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::printf("Input: %zu files, %.1f MB, %llu frames; %u processors\n", Data().files.size(), Data().bytes / 1e6,
              static_cast<unsigned long long>(Data().frames), std::thread::hardware_concurrency());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  auto& f = FramesPerSecond();
  if (f.count("join") && f.count("ffmpeg"))
    std::printf("recompress: join %.0f frames/s, ffmpeg %.0f frames/s, ratio %.2f (goal >= 1.00)\n", f["join"],
                f["ffmpeg"], f["join"] / f["ffmpeg"]);
  if (f.count("join-1")) std::printf("recompress on one thread: %.0f frames/s\n", f["join-1"]);
  std::filesystem::remove_all(Data().folder);
  return 0;
}
