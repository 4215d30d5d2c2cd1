// Feeds arbitrary bytes to the document reader. A refused file must throw the load failure
// text and nothing else; an accepted one must write and read back to the same chunks, and its
// program package must build.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include "base/text.h"
#include "doc/document_file.h"
#include "doc/package.h"

namespace {

// Drawing is bounded but not free: only documents of editor-like size are compiled, so each
// run stays fast while the rasteriser still sees arbitrary vertices and fields.
bool SmallEnoughToCompile(const RenderState& state) {
  if (state.detectors.size() > 8) return false;
  for (const Detector& d : state.detectors)
    if (d.ladderSteps > 16 || d.lineWidth > 16) return false;
  return true;
}

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
