// The chunk walker on untrusted bytes, nested as containers are: every payload lies inside the
// walked bytes, the chunks and the rest cover the input exactly, and a stop is explained.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "base/chunk.h"

// Compiled into this target for the fuzzer's coverage instrumentation (the core library of the
// fuzz build is not instrumented).
#include "base/chunk.cpp"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void WalkAll(std::string_view bytes) {
  // Containers nest a few levels at most in the system's files; walk four levels, iteratively.
  std::vector<std::pair<std::string_view, int>> pending{{bytes, 0}};
  while (!pending.empty()) {
    const auto [walked, level] = pending.back();
    pending.pop_back();
    ChunkWalker walker(walked);
    Chunk chunk;
    std::size_t consumed = 0;
    while (walker.Next(chunk)) {
      Check(chunk.payload.data() == walked.data() + consumed + 8);
      consumed += 8 + chunk.payload.size();
      Check(consumed <= walked.size());
      if (level < 4) pending.emplace_back(chunk.payload, level + 1);
      PayloadReader reader(chunk.payload);
      std::uint32_t value = 0;
      std::size_t values = 0;
      while (reader.U32(value)) ++values;
      Check(values == chunk.payload.size() / 4 && reader.Remaining() == chunk.payload.size() % 4);
    }
    Check(walker.Rest().data() == walked.data() + consumed);
    Check(walker.Rest().size() == walked.size() - consumed);
    const std::string_view rest = walker.Rest();
    switch (walker.Stop()) {
      case ChunkStop::End: Check(rest.size() < 4); break;
      case ChunkStop::ShortLength: Check(rest.size() >= 4 && rest.size() < 8); break;
      case ChunkStop::LengthTooSmall: Check(rest.size() >= 8 && LoadU32(rest.data() + 4) < 8); break;
      case ChunkStop::Truncated: Check(rest.size() >= 8 && LoadU32(rest.data() + 4) > rest.size()); break;
      case ChunkStop::None: Check(false); break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  WalkAll(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
