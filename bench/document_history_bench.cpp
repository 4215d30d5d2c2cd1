// Memory and time of the edit history: copy-on-write revisions against literal deep copies.
//
// A document with 64 detectors (16 per track on 4 tracks, every eraser mask partly erased),
// 4 background pictures and every definition set receives 100 single-parameter edits. The run
// reports the bytes the history holds and the median time of one NewRenderState, next to a
// baseline that keeps each revision as a full deep copy, measured in the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <unordered_set>
#include <vector>

#include "doc/document.h"

namespace {

constexpr int kEdits = 100;

class NoUpdates : public UpdateSink {
 public:
  void RequestUpdate(std::uint32_t) override {}
};

ExprNode Tree(int seed, int depth) {
  if (depth == 0) return ExprNode(DetectorKindOfTrack(seed % 4), static_cast<std::uint32_t>(seed % 16 + 1));
  static constexpr NodeKind ops[] = {NodeKind::And, NodeKind::Or, NodeKind::Xor};
  return ExprNode(ops[seed % 3], Tree(seed * 7 + 1, depth - 1), Tree(seed * 5 + 2, depth - 1));
}

RenderState MakeState() {
  RenderState state = RenderState::New();
  state.pictures.clear();
  for (int t = 0; t < 4; ++t) {
    Picture picture;
    for (int y = 0; y < Picture::kCanvasHeight; ++y)
      for (int x = 0; x < Picture::kCanvasWidth; ++x) picture.SetGrey(x, y, static_cast<std::uint8_t>(x + y + t));
    state.pictures.emplace_back(std::move(picture));
  }
  for (int t = 0; t < 4; ++t) {
    for (int n = 1; n <= 16; ++n) {
      Detector d;
      d.track = t;
      d.number = static_cast<std::uint32_t>(n);
      Picture& mask = d.eraser.Write();
      for (int i = 0; i < 20; ++i) mask.SetBlack(40 + n + i, 40 + t + i);
      state.detectors.push_back(std::move(d));
    }
  }
  for (std::size_t i = 0; i < state.outputDefinitions.size(); ++i)
    state.outputDefinitions[i].Assign(Tree(static_cast<int>(i), 3));
  state.zDefinitions.clear();
  for (int i = 0; i < 64; ++i) state.zDefinitions.emplace_back(Tree(100 + i, 2));
  state.trackDefinitions.clear();
  for (int i = 0; i < 4; ++i) state.trackDefinitions.emplace_back(Tree(200 + i, 2));
  return state;
}

// --- byte accounting ---------------------------------------------------------

constexpr std::size_t kSharedBlock = 16;  // control block of a shared value

std::size_t TreeBytes(const ExprNode& node) {
  std::size_t bytes = node.children.capacity() * sizeof(ExprNode);
  for (const ExprNode& child : node.children) bytes += TreeBytes(child);
  return bytes;
}

std::size_t PictureBytes(const Picture& picture) { return picture.pixels.capacity(); }

// Bytes of a copy-on-write revision; shared values are counted once across the history.
std::size_t RevisionBytes(const RenderState& state, std::unordered_set<const void*>& seen) {
  std::size_t bytes = sizeof(RenderState) + state.pictures.capacity() * sizeof(Cow<Picture>) +
                      state.detectors.capacity() * sizeof(Detector) + state.selectionPath.capacity();
  auto shared = [&](const void* identity, std::size_t size) {
    if (seen.insert(identity).second) bytes += kSharedBlock + size;
  };
  for (const auto& picture : state.pictures) shared(picture.Identity(), sizeof(Picture) + PictureBytes(*picture));
  for (const Detector& d : state.detectors) shared(d.eraser.Identity(), sizeof(Picture) + PictureBytes(*d.eraser));
  for (const auto* list : {&state.outputDefinitions, &state.zDefinitions, &state.trackDefinitions}) {
    bytes += list->capacity() * sizeof(Cow<ExprNode>);
    for (const auto& root : *list) shared(root.Identity(), sizeof(ExprNode) + TreeBytes(*root));
  }
  return bytes;
}

std::size_t HistoryBytes(const Document& document) {
  std::unordered_set<const void*> seen;
  std::size_t bytes = document.RevisionCount() * sizeof(std::unique_ptr<RenderState>);
  for (std::size_t i = 0; i < document.RevisionCount(); ++i) bytes += RevisionBytes(document.Revision(i), seen);
  return bytes;
}

// --- the deep-copy baseline ------------------------------------------------

struct DeepDetector {
  Detector fields;  // its eraser handle is left unused
  Picture eraser;
};

struct DeepRevision {
  std::vector<Picture> pictures;
  std::int32_t selected = -1;
  std::vector<DeepDetector> detectors;
  std::int32_t pictureWidth = 180;
  std::vector<ExprNode> trackDefinitions, outputDefinitions, zDefinitions;
  std::string selectionPath;
};

DeepRevision Deep(const RenderState& state) {
  DeepRevision deep;
  for (const auto& p : state.pictures) deep.pictures.push_back(*p);
  deep.selected = state.selected;
  for (const Detector& d : state.detectors) deep.detectors.push_back({d, *d.eraser});
  deep.pictureWidth = state.pictureWidth;
  for (const auto& r : state.trackDefinitions) deep.trackDefinitions.push_back(*r);
  for (const auto& r : state.outputDefinitions) deep.outputDefinitions.push_back(*r);
  for (const auto& r : state.zDefinitions) deep.zDefinitions.push_back(*r);
  deep.selectionPath = state.selectionPath;
  return deep;
}

std::size_t DeepBytes(const DeepRevision& r) {
  std::size_t bytes = sizeof(DeepRevision) + r.pictures.capacity() * sizeof(Picture) +
                      r.detectors.capacity() * sizeof(DeepDetector) + r.selectionPath.capacity();
  for (const Picture& p : r.pictures) bytes += PictureBytes(p);
  for (const DeepDetector& d : r.detectors) bytes += PictureBytes(d.eraser);
  for (const auto* list : {&r.outputDefinitions, &r.zDefinitions, &r.trackDefinitions}) {
    bytes += list->capacity() * sizeof(ExprNode);
    for (const ExprNode& root : *list) bytes += TreeBytes(root);
  }
  return bytes;
}

// The baseline history: the same rules as the document, each revision a full deep copy.
class DeepHistory {
 public:
  explicit DeepHistory(DeepRevision first) { history_.push_back(std::make_unique<DeepRevision>(std::move(first))); }
  DeepRevision& NewRevision() {
    history_.push_back(std::make_unique<DeepRevision>(*history_.back()));
    if (history_.size() > Document::kHistoryCapacity) history_.erase(history_.begin());
    return *history_.back();
  }
  std::size_t Bytes() const {
    std::size_t bytes = history_.size() * sizeof(std::unique_ptr<DeepRevision>);
    for (const auto& r : history_) bytes += DeepBytes(*r);
    return bytes;
  }
  std::size_t Size() const { return history_.size(); }

 private:
  std::vector<std::unique_ptr<DeepRevision>> history_;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

using Clock = std::chrono::steady_clock;
double Microseconds(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

void ReportHistory() {
  const RenderState start = MakeState();

  NoUpdates updates;
  Document document(updates);
  document.Replace(start, "");
  std::vector<double> cowTimes;
  for (int i = 0; i < kEdits; ++i) {
    document.Current().selected = i % 64;
    const auto begin = Clock::now();
    RenderState& state = document.NewRenderState();
    cowTimes.push_back(Microseconds(Clock::now() - begin));
    state.SelectedDetector()->angle = i + 1;  // the one parameter of this edit
  }

  DeepHistory deep(Deep(start));
  std::vector<double> deepTimes;
  for (int i = 0; i < kEdits; ++i) {
    const auto begin = Clock::now();
    DeepRevision& state = deep.NewRevision();
    deepTimes.push_back(Microseconds(Clock::now() - begin));
    state.detectors[static_cast<std::size_t>(i % 64)].fields.angle = i + 1;
  }

  const std::size_t cowBytes = HistoryBytes(document);
  const std::size_t deepBytes = deep.Bytes();
  const double cowMedian = Median(cowTimes);
  const double deepMedian = Median(deepTimes);
  std::printf("document history, %d single-parameter edits, %zu revisions kept (baseline %zu)\n", kEdits,
              document.RevisionCount(), deep.Size());
  std::printf("  bytes held:               copy-on-write %zu, deep copy %zu, ratio 1/%.1f (goal at least 1/40)\n",
              cowBytes, deepBytes, static_cast<double>(deepBytes) / static_cast<double>(cowBytes));
  std::printf("  median NewRenderState:    copy-on-write %.2f us, deep copy %.2f us, ratio 1/%.1f (goal at most 50 us)\n",
              cowMedian, deepMedian, deepMedian / cowMedian);
  // A second round on the full history, where the allocator reuses the memory of dropped
  // revisions instead of taking fresh pages from the system.
  std::vector<double> steadyTimes;
  for (int i = 0; i < kEdits; ++i) {
    document.Current().selected = i % 64;
    const auto begin = Clock::now();
    RenderState& state = document.NewRenderState();
    steadyTimes.push_back(Microseconds(Clock::now() - begin));
    state.SelectedDetector()->angle = i + 200;
  }
  std::printf("  median NewRenderState on a full history: copy-on-write %.2f us\n", Median(steadyTimes));
  Document single(updates);
  single.Replace(start, "");
  std::printf("  bytes per edit revision:  copy-on-write %zu, deep copy %zu\n",
              (cowBytes - HistoryBytes(single)) / (document.RevisionCount() - 1), deepBytes / deep.Size());
  std::fflush(stdout);
}

void BM_NewRenderState(benchmark::State& bench) {
  NoUpdates updates;
  Document document(updates);
  document.Replace(MakeState(), "");
  int i = 0;
  for (auto _ : bench) {
    document.Current().selected = i % 64;
    document.NewRenderState().SelectedDetector()->angle = ++i % 360;
  }
}
BENCHMARK(BM_NewRenderState);

void BM_DeepCopyRevision(benchmark::State& bench) {
  DeepHistory history(Deep(MakeState()));
  int i = 0;
  for (auto _ : bench) {
    const std::size_t index = static_cast<std::size_t>(i % 64);
    ++i;
    history.NewRevision().detectors[index].fields.angle = i % 360;
  }
}
BENCHMARK(BM_DeepCopyRevision);

}  // namespace

int main(int argc, char** argv) {
  ReportHistory();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
