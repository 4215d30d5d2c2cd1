// A small crafted document must not make the reader build something huge or undefined.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "base/chunk.h"
#include "base/text.h"
#include "doc/document_file.h"

namespace {

std::string Chunk(std::uint32_t tag, const std::string& payload) {
  std::string out;
  AppendChunk(out, tag, payload);
  return out;
}

std::string MainFields(std::int32_t x0, std::int32_t y0) {
  std::string out;
  const std::int32_t values[18] = {x0, y0, 70, 40, 80, 80, 40, 80, 1, 1, 0, 0, 0, 1, 880, 0, 0, 0};
  for (std::int32_t v : values) AppendI32(out, v);
  return out;
}

// `count` detectors, each with one erased pixel (a 2-byte pair that needs a mask of its own).
std::string Document(std::size_t count, std::int32_t x0 = 50, std::int32_t y0 = 40) {
  std::string eraser;
  AppendU32(eraser, 0);
  eraser += std::string("\x05\x06", 2);
  const std::string detector = Chunk(1, Chunk(3, MainFields(x0, y0)) + Chunk(4, eraser));
  std::string state;
  for (std::size_t i = 0; i < count; ++i) state += detector;
  return Chunk(2, state);
}

TEST(HostileDocument, DetectorCountIsCappedWithTheLoadFailure) {
  const std::string failed = Cp1250FromUtf8("Nie udało sie wczytać dokumentu.");
  const struct {
    std::size_t count;
    bool loads;
  } cases[] = {{64, true}, {kMaxLoadedDetectors, true}, {kMaxLoadedDetectors + 1, false}, {20000, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count);
    const std::string bytes = Document(c.count);  // 20,000 detectors: under 3 MB of file
    try {
      const RenderState state = ParseDocument(bytes);
      EXPECT_TRUE(c.loads);
      EXPECT_EQ(state.detectors.size(), c.count);
    } catch (const std::runtime_error& e) {
      EXPECT_FALSE(c.loads);
      EXPECT_EQ(e.what(), failed);
    }
  }
}

TEST(HostileDocument, VerticesAreClampedOnLoad) {
  const struct {
    std::int32_t x, y, wantX, wantY;
  } cases[] = {{INT_MIN, INT_MAX, -kVertexLimit, kVertexLimit},
               {-5000, 5000, -kVertexLimit, kVertexLimit},
               {-30, 200, -30, 200},
               {kVertexLimit, -kVertexLimit, kVertexLimit, -kVertexLimit}};
  for (const auto& c : cases) {
    const RenderState state = ParseDocument(Document(1, c.x, c.y));
    ASSERT_EQ(state.detectors.size(), 1u);
    EXPECT_EQ(state.detectors[0].vertices[0], (CanvasPoint{c.wantX, c.wantY})) << c.x << "," << c.y;
    EXPECT_EQ(state.detectors[0].vertices[1], (CanvasPoint{70, 40}));
  }
}

}  // namespace
