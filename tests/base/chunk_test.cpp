#include "base/chunk.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

std::vector<std::pair<std::uint32_t, std::string>> Walk(std::string_view bytes, ChunkStop* stop = nullptr) {
  std::vector<std::pair<std::uint32_t, std::string>> chunks;
  ChunkWalker walker(bytes);
  Chunk chunk;
  while (walker.Next(chunk)) chunks.emplace_back(chunk.tag, std::string(chunk.payload));
  if (stop) *stop = walker.Stop();
  EXPECT_FALSE(walker.Next(chunk));  // a stopped walk stays stopped
  return chunks;
}

TEST(Chunk, WritesLittleEndianHeaderCountingItself) {
  std::string out;
  AppendChunk(out, 0x01020304, "abc");
  EXPECT_EQ(out, std::string("\x04\x03\x02\x01\x0b\0\0\0abc", 11));
  std::string nested;
  const std::size_t outer = BeginChunk(nested, 2);
  AppendChunk(nested, 6, std::string("\xb4\0\0\0", 4));
  const std::size_t inner = BeginChunk(nested, 1);
  EndChunk(nested, inner);
  EndChunk(nested, outer);
  ASSERT_EQ(nested.size(), 8u + 12 + 8);
  EXPECT_EQ(LoadU32(nested.data() + 4), 28u);
  EXPECT_EQ(LoadU32(nested.data() + 12), 12u);
  EXPECT_EQ(LoadU32(nested.data() + 24), 8u);
  ChunkStop stop{};
  const auto outerChunks = Walk(nested, &stop);
  ASSERT_EQ(outerChunks.size(), 1u);
  EXPECT_EQ(stop, ChunkStop::End);
  const auto innerChunks = Walk(outerChunks[0].second);
  ASSERT_EQ(innerChunks.size(), 2u);
  EXPECT_EQ(innerChunks[0].first, 6u);
  EXPECT_EQ(LoadU32(innerChunks[0].second.data()), 180u);
  EXPECT_EQ(innerChunks[1].first, 1u);
  EXPECT_TRUE(innerChunks[1].second.empty());
}

TEST(Chunk, StoppingRules) {
  std::string two;
  AppendChunk(two, 1, "x");
  AppendChunk(two, 2, "yz");
  ChunkStop stop{};
  EXPECT_EQ(Walk(two, &stop).size(), 2u);
  EXPECT_EQ(stop, ChunkStop::End);

  EXPECT_TRUE(Walk("", &stop).empty());
  EXPECT_EQ(stop, ChunkStop::End);
  EXPECT_TRUE(Walk("abc", &stop).empty());
  EXPECT_EQ(stop, ChunkStop::End);
  EXPECT_EQ(Walk(two + "abc", &stop).size(), 2u);  // fewer than 4 bytes left: the normal end
  EXPECT_EQ(stop, ChunkStop::End);
  EXPECT_EQ(Walk(two + "abcd", &stop).size(), 2u);  // a tag without a length
  EXPECT_EQ(stop, ChunkStop::ShortLength);
  EXPECT_EQ(Walk(two + "abcdefg", &stop).size(), 2u);
  EXPECT_EQ(stop, ChunkStop::ShortLength);

  for (std::uint32_t length : {0u, 7u}) {
    std::string bad = two;
    AppendU32(bad, 3);
    AppendU32(bad, length);
    AppendChunk(bad, 4, "after");
    EXPECT_EQ(Walk(bad, &stop).size(), 2u) << length;
    EXPECT_EQ(stop, ChunkStop::LengthTooSmall);
  }

  std::string truncated = two;
  AppendChunk(truncated, 5, "12345");
  truncated.pop_back();
  EXPECT_EQ(Walk(truncated, &stop).size(), 2u);
  EXPECT_EQ(stop, ChunkStop::Truncated);

  std::string huge = two;
  AppendU32(huge, 5);
  AppendU32(huge, 0xFFFFFFFFu);
  EXPECT_EQ(Walk(huge, &stop).size(), 2u);
  EXPECT_EQ(stop, ChunkStop::Truncated);

  std::string empty;
  AppendChunk(empty, 9, "");
  const auto chunks = Walk(empty + empty, &stop);
  EXPECT_EQ(chunks.size(), 2u);
  EXPECT_EQ(stop, ChunkStop::End);
}

TEST(Chunk, RestIsWhatTheChunksDidNotUse) {
  std::string bytes;
  AppendChunk(bytes, 1, "x");
  bytes += "tail";
  ChunkWalker walker(bytes);
  Chunk chunk;
  ASSERT_TRUE(walker.Next(chunk));
  EXPECT_FALSE(walker.Next(chunk));
  EXPECT_EQ(walker.Rest(), "tail");
}

TEST(Chunk, PayloadReaderReportsShortages) {
  std::string bytes;
  AppendU32(bytes, 0xFFFFFFFEu);
  AppendI32(bytes, -5);
  bytes += "\x07zz";
  PayloadReader reader(bytes);
  std::uint32_t u = 0;
  std::int32_t i = 0;
  std::uint8_t b = 0;
  std::string_view view;
  ASSERT_TRUE(reader.U32(u));
  EXPECT_EQ(u, 0xFFFFFFFEu);
  ASSERT_TRUE(reader.I32(i));
  EXPECT_EQ(i, -5);
  EXPECT_FALSE(reader.U32(u));  // 3 bytes left: nothing consumed
  EXPECT_EQ(reader.Remaining(), 3u);
  ASSERT_TRUE(reader.U8(b));
  EXPECT_EQ(b, 7);
  EXPECT_FALSE(reader.Bytes(3, view));
  ASSERT_TRUE(reader.Bytes(2, view));
  EXPECT_EQ(view, "zz");
  EXPECT_FALSE(reader.U8(b));
}

}  // namespace
