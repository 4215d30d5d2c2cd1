// Save and load of a document with 64 detectors (16 per track on 4 tracks, mixed kinds,
// ladders and fills), against plain writes and reads of the same byte count measured in the
// same run. Run with --benchmark_counters_tabular=true.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "base/file.h"
#include "base/platform.h"
#include "doc/document.h"
#include "doc/document_file.h"
#include "shell/pending_updates.h"

namespace {

// Saving is bound by writing and flushing the file safely (a temporary file, then the rename),
// loading by parsing what one read brings in.
constexpr double kSaveGoal = 4.0;
constexpr double kLoadGoal = 20.0;

// Mean seconds per iteration of each benchmark's final run, for the ratios printed at the end.
std::map<std::string, double>& Seconds() {
  static std::map<std::string, double> seconds;
  return seconds;
}

// Runs `body` once per iteration and records the mean time under `name`.
template <typename Body>
void Timed(benchmark::State& s, const char* name, Body body) {
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : s) body();
  const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  Seconds()[name] = total / static_cast<double>(s.iterations());
}

RenderState BigState() {
  RenderState state = RenderState::New();
  state.pictures.resize(4, SharedWhitePicture());
  for (std::size_t t = 0; t < 4; ++t) {
    Picture& p = state.pictures[t].Write();
    for (int y = 0; y < 144; ++y)
      for (int x = 0; x < 240; ++x) p.SetGrey(x, y, static_cast<std::uint8_t>((x + y * 2 + static_cast<int>(t) * 40) & 0xFF));
  }
  for (int t = 0; t < 4; ++t) {
    for (int n = 1; n <= 16; ++n) {
      Detector d;
      d.track = t;
      d.number = static_cast<std::uint32_t>(n);
      d.kind = n % 4 == 0 ? DetectorKind::Line : DetectorKind::Quadrilateral;
      d.ladderSteps = n % 7;
      d.lineWidth = 1 + n % 4;
      d.fillPercent = n % 3 == 0 ? 20 : n % 5 == 0 ? 100 : 0;
      const int x = 30 + (n % 8) * 20, y = 10 + (n / 8) * 60;
      d.vertices = {{{x, y}, {x + 25, y + 3}, {x + 30, y + 50}, {x - 4, y + 45}}};
      if (n % 6 == 0)
        for (int k = 0; k < 40; ++k) d.eraser.Write().SetBlack(x + k % 10, y + k / 10);
      state.detectors.push_back(d);
    }
  }
  return state;
}

std::string Folder() {
  const auto folder = std::filesystem::temp_directory_path() / "docfile-bench";
  std::filesystem::create_directories(folder);
  return folder.string();
}

void BM_Serialize(benchmark::State& s) {
  const RenderState state = BigState();
  for (auto _ : s) benchmark::DoNotOptimize(SerializeDocument(state, "C:\\bench\\most.trv"));
}

void BM_SaveDocument(benchmark::State& s) {
  PendingUpdates updates;
  Document document(updates);
  document.Replace(BigState(), std::string());
  const std::string path = Folder() + "/save.trv";
  Timed(s, "save", [&] { SaveDocument(document, path); });
  s.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
}

// Baseline: the same number of bytes written, flushed to the disk and closed in place.
void BM_PlainWriteSameBytes(benchmark::State& s) {
  const std::string bytes = SerializeDocument(BigState(), "x").Joined();
  const std::string path = Folder() + "/plain.bin";
  Timed(s, "write", [&] {
    File file(path, "wb");
    file.Write(bytes);
    file.Sync();
    file.Close();
  });
  s.counters["bytes"] = static_cast<double>(bytes.size());
}

void BM_LoadDocument(benchmark::State& s) {
  PendingUpdates updates;
  Document document(updates);
  document.Replace(BigState(), std::string());
  const std::string path = Folder() + "/load.trv";
  SaveDocument(document, path);
  Timed(s, "load", [&] { LoadDocument(document, path); });
  s.counters["detectors"] = static_cast<double>(document.Current().detectors.size());
}

// Baseline: reading the same file whole.
void BM_PlainReadSameBytes(benchmark::State& s) {
  PendingUpdates updates;
  Document document(updates);
  document.Replace(BigState(), std::string());
  const std::string path = Folder() + "/read.trv";
  SaveDocument(document, path);
  Timed(s, "read", [&] { benchmark::DoNotOptimize(ReadWholeFile(path)); });
}

BENCHMARK(BM_Serialize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveDocument)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainWriteSameBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadDocument)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainReadSameBytes)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  auto& t = Seconds();
  if (t.count("save") && t.count("write"))
    std::printf("save 64 detectors: %.2f ms, %.2f x a plain write of the same bytes (goal <= %.2f)\n", t["save"] * 1e3,
                t["save"] / t["write"], kSaveGoal);
  if (t.count("load") && t.count("read"))
    std::printf("load 64 detectors: %.3f ms, %.2f x a plain read of the same file (goal <= %.2f)\n", t["load"] * 1e3,
                t["load"] / t["read"], kLoadGoal);
  return 0;
}
