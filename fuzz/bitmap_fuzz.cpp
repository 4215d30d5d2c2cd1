// Feeds arbitrary bytes to the bitmap checks; an accepted file is imported into a picture.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "doc/background.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  AcceptedBitmap bitmap;
  try {
    bitmap = CheckBitmap(file);
  } catch (const std::runtime_error&) {
    return 0;
  }
  if (bitmap.pixels.size() != static_cast<std::size_t>(bitmap.width) * 432) std::abort();
  Picture picture;
  ImportBitmap(picture, reinterpret_cast<const std::uint8_t*>(bitmap.pixels.data()), bitmap.width);
  for (std::size_t i = 0; i < picture.pixels.size(); i += 3)
    if (picture.pixels[i] != picture.pixels[i + 1] || picture.pixels[i] != picture.pixels[i + 2]) std::abort();
  return 0;
}
