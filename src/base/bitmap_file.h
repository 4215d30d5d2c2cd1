// Uncompressed Windows bitmap files (".bmp") as the system writes them: the 14-byte file header
// and the 40-byte information header, no colour table, then the pixel rows as the caller lays
// them out (bottom row first). Every writer of a bitmap goes through here: area masks, exported
// backgrounds, live pictures, the sample picture and the tests' hand-made files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct BitmapFormat {
  std::uint32_t width = 0;
  std::uint32_t height = 0;          // positive: rows bottom-up
  std::uint16_t bitsPerPixel = 24;   // 24, or 1 for the card's area masks
  std::uint32_t pixelsPerMetre = 0;  // both resolutions; 2835 is 72 dpi
  bool recordsImageSize = true;      // the image size field holds the pixel bytes, or 0
};

constexpr std::size_t kBitmapHeaderSize = 54;

// Writes the 54 header bytes for `pixelBytes` bytes of rows at `out`: file size 54 + pixelBytes,
// pixel data at offset 54, one plane, no compression, no colour table.
void WriteBitmapHeader(void* out, const BitmapFormat& format, std::uint32_t pixelBytes);

// A whole file: the header, then `rows` unchanged.
std::string BitmapFile(const BitmapFormat& format, std::string_view rows);
