// Fuzzes JPEG decoding of archive frames: damaged or hostile data must fail the call or
// give a picture of the stated size, never read outside the input or end the program.
// Decoded pictures are encoded again as the recompressing export does.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "archive/jpeg_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  RawImage image;
  // The real cap: the size a header claims is refused before the codec allocates for it.
  std::uint64_t claimed = 0;
  std::uint32_t components = 0;
  const bool readable = JpegPictureBytes(data, size, &claimed, &components);
  if (!DecodeJpeg(data, size, image)) {
    if (image.pixels) __builtin_trap();
    return 0;
  }
  HeapBytes pixels(image.pixels);
  const std::size_t count = std::size_t{image.width} * image.height * image.components;
  if (count == 0 || count > kMaxDecodedBytes || !readable || count != claimed) __builtin_trap();
  unsigned sum = 0;
  for (std::size_t i = 0; i < count; i += 61) sum += pixels.get()[i];
  if ((image.components == 1 || image.components == 3) && count <= (1u << 22)) {
    std::uint8_t* jpeg = nullptr;
    std::uint32_t length = 0;
    if (EncodeJpeg(pixels.get(), image.width, image.height, image.components, 98, &jpeg, &length)) std::free(jpeg);
  }
  return sum == 0xFFFFFFFF ? 1 : 0;
}
