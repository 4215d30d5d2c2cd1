#include "base/bytes.h"

#include <gtest/gtest.h>

#include "base/bitmap_file.h"

namespace {

TEST(Bytes, LittleEndianBothWays) {
  const unsigned char bytes[8] = {0x01, 0x02, 0x03, 0x84, 0xF5, 0x06, 0x07, 0x08};
  EXPECT_EQ(LoadU16(bytes), 0x0201u);
  EXPECT_EQ(LoadU32(bytes), 0x84030201u);  // the top bit comes through unsigned
  EXPECT_EQ(LoadU32(reinterpret_cast<const char*>(bytes) + 4), 0x080706F5u);

  unsigned char out[8] = {};
  StoreU64(out, 0x08070605'84030201ull);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 8), std::string("\x01\x02\x03\x84\x05\x06\x07\x08", 8));
  StoreU32(out, 0xFFFFFFFEu);
  StoreU16(out + 4, 0xABCD);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 6), std::string("\xFE\xFF\xFF\xFF\xCD\xAB", 6));

  std::string appended;
  AppendU16(appended, 0x0102);
  AppendU32(appended, 0x03040506);
  AppendI32(appended, -2);
  EXPECT_EQ(appended, std::string("\x02\x01\x06\x05\x04\x03\xFE\xFF\xFF\xFF", 10));
}

// The headers of the formats the system writes, field by field.
TEST(BitmapFile, HeaderFields) {
  struct Case {
    BitmapFormat format;
    std::uint32_t pixelBytes;
    std::uint32_t imageSizeField;
  };
  const Case cases[] = {
      {{180, 144, 1, 0, true}, 23 * 144, 23 * 144},       // area mask: 23-byte rows, 3366 bytes
      {{240, 144, 24, 0, false}, 240 * 432, 0},           // exported background
      {{180, 144, 24, 2835, true}, 180 * 432, 180 * 432}  // live picture, sample picture
  };
  for (const Case& c : cases) {
    const std::string file = BitmapFile(c.format, std::string(c.pixelBytes, '\x5A'));
    ASSERT_EQ(file.size(), kBitmapHeaderSize + c.pixelBytes);
    const char* h = file.data();
    EXPECT_EQ(file.substr(0, 2), "BM");
    EXPECT_EQ(LoadU32(h + 2), file.size());
    EXPECT_EQ(LoadU32(h + 6), 0u);  // reserved
    EXPECT_EQ(LoadU32(h + 10), 54u);
    EXPECT_EQ(LoadU32(h + 14), 40u);
    EXPECT_EQ(LoadU32(h + 18), c.format.width);
    EXPECT_EQ(LoadU32(h + 22), c.format.height);
    EXPECT_EQ(LoadU16(h + 26), 1u);
    EXPECT_EQ(LoadU16(h + 28), c.format.bitsPerPixel);
    EXPECT_EQ(LoadU32(h + 30), 0u);  // no compression
    EXPECT_EQ(LoadU32(h + 34), c.imageSizeField);
    EXPECT_EQ(LoadU32(h + 38), c.format.pixelsPerMetre);
    EXPECT_EQ(LoadU32(h + 42), c.format.pixelsPerMetre);
    EXPECT_EQ(LoadU32(h + 46), 0u);  // no colour table
    EXPECT_EQ(LoadU32(h + 50), 0u);
    EXPECT_EQ(file.substr(kBitmapHeaderSize), std::string(c.pixelBytes, '\x5A'));
  }
}

}  // namespace
