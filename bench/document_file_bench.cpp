// Save and load of a document with 64 detectors (16 per track on 4 tracks, mixed kinds,
// ladders and fills), against plain writes and reads of the same byte count measured in the
// same run. Run with --benchmark_counters_tabular=true.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "base/file.h"
#include "base/platform.h"
#include "doc/document.h"
#include "doc/document_file.h"
#include "shell/pending_updates.h"

namespace {

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
  for (auto _ : s) SaveDocument(document, path);
  s.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
}

// Baseline: the same number of bytes written, flushed to the disk and closed in place.
void BM_PlainWriteSameBytes(benchmark::State& s) {
  const std::string bytes = SerializeDocument(BigState(), "x").Joined();
  const std::string path = Folder() + "/plain.bin";
  for (auto _ : s) {
    File file(path, "wb");
    file.Write(bytes);
    file.Sync();
    file.Close();
  }
  s.counters["bytes"] = static_cast<double>(bytes.size());
}

void BM_LoadDocument(benchmark::State& s) {
  PendingUpdates updates;
  Document document(updates);
  document.Replace(BigState(), std::string());
  const std::string path = Folder() + "/load.trv";
  SaveDocument(document, path);
  for (auto _ : s) LoadDocument(document, path);
  s.counters["detectors"] = static_cast<double>(document.Current().detectors.size());
}

// Baseline: reading the same file whole.
void BM_PlainReadSameBytes(benchmark::State& s) {
  PendingUpdates updates;
  Document document(updates);
  document.Replace(BigState(), std::string());
  const std::string path = Folder() + "/read.trv";
  SaveDocument(document, path);
  for (auto _ : s) benchmark::DoNotOptimize(ReadWholeFile(path));
}

BENCHMARK(BM_Serialize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveDocument)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainWriteSameBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadDocument)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainReadSameBytes)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
