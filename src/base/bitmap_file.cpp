#include "base/bitmap_file.h"

#include <cstring>

#include "base/bytes.h"

void WriteBitmapHeader(void* out, const BitmapFormat& format, std::uint32_t pixelBytes) {
  auto* p = static_cast<unsigned char*>(out);
  std::memset(p, 0, kBitmapHeaderSize);
  p[0] = 'B';
  p[1] = 'M';
  StoreU32(p + 2, static_cast<std::uint32_t>(kBitmapHeaderSize) + pixelBytes);
  StoreU32(p + 10, static_cast<std::uint32_t>(kBitmapHeaderSize));
  StoreU32(p + 14, 40);
  StoreU32(p + 18, format.width);
  StoreU32(p + 22, format.height);
  StoreU16(p + 26, 1);
  StoreU16(p + 28, format.bitsPerPixel);
  StoreU32(p + 34, format.recordsImageSize ? pixelBytes : 0);
  StoreU32(p + 38, format.pixelsPerMetre);
  StoreU32(p + 42, format.pixelsPerMetre);
}

std::string BitmapFile(const BitmapFormat& format, std::string_view rows) {
  std::string file(kBitmapHeaderSize, '\0');
  WriteBitmapHeader(file.data(), format, static_cast<std::uint32_t>(rows.size()));
  file.append(rows);
  return file;
}
