// Feeds arbitrary bytes to the document reader. A refused file must throw the load failure
// text and nothing else; an accepted one keeps the reader's bounds (detector count, vertex
// range), writes and reads back to the same chunks, validates within the rows its detectors
// and definitions can give, and its program package builds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include "base/text.h"
#include "doc/document_file.h"
#include "doc/package.h"
#include "logic/validation.h"

namespace {

// Drawing is bounded but not free: only documents of editor-like size are compiled, so each
// run stays fast while the rasteriser still sees arbitrary vertices and fields.
bool SmallEnoughToCompile(const RenderState& state) {
  if (state.detectors.size() > 24) return false;
  for (const Detector& d : state.detectors)
    if (d.ladderSteps > 16 || d.lineWidth > 16) return false;
  return true;
}

struct CountingProblems : ProblemSink {
  std::size_t rows = 0;
  void ClearProblems() override { rows = 0; }
  void AddProblem(const std::wstring& text) override {
    if (text.empty()) std::abort();
    ++rows;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string kLoadFailed = Cp1250FromUtf8("Nie udało sie wczytać dokumentu.");
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  RenderState state;
  try {
    state = ParseDocument(bytes);
  } catch (const std::runtime_error& e) {
    if (e.what() != kLoadFailed) std::abort();
    return 0;
  }
  if (state.detectors.size() > kMaxLoadedDetectors) std::abort();
  for (const Detector& d : state.detectors)
    for (const CanvasPoint& v : d.vertices)
      if (v.x < -kVertexLimit || v.x > kVertexLimit || v.y < -kVertexLimit || v.y > kVertexLimit) std::abort();
  CountingProblems problems;
  const bool errors = ValidateProgram(state, problems);
  const std::size_t n = state.detectors.size();
  const std::size_t definitions =
      state.outputDefinitions.size() + state.zDefinitions.size() + state.trackDefinitions.size();
  if (errors != (problems.rows > 0) || problems.rows > n + n * (n - (n ? 1 : 0)) / 2 + definitions) std::abort();
  const std::string written = SerializeStateChunk(state) + SerializeDefinitionsChunk(state);
  const RenderState back = ParseDocument(written);
  if (SerializeStateChunk(back) + SerializeDefinitionsChunk(back) != written) std::abort();
  if (SmallEnoughToCompile(state)) {
    const std::string package = BuildProgramPackage(state, "C:\\fuzz\\most.nowy.trv");
    if (ReadProgramPackage(package).size() != state.detectors.size() + 2) std::abort();
  }
  std::string_view stored;
  if (FindStoredPackage(bytes, stored)) (void)ReadProgramPackage(stored);
  return 0;
}
