#include "archive/sample_picture.h"

#include "archive/synthetic_road.h"
#include "base/bitmap_file.h"

namespace {

// Track 0 at a moment with vehicles in all three lanes, near and far.
constexpr double kSampleTime = 8.5;

SampleImage Generate() {
  SampleImage image{};
  synthetic::RoadScene(0, kSampleWidth, kSampleHeight).Render(kSampleTime, image.data());
  return image;
}

}  // namespace

const SampleImage& SamplePicture() {
  static const SampleImage image = Generate();
  return image;
}

std::string SampleBitmapFile() {
  const std::uint32_t stride = kSampleWidth * 3;  // 540, already a multiple of 4
  const std::uint32_t pixelBytes = stride * kSampleHeight;
  std::string file(kBitmapHeaderSize + pixelBytes, '\0');
  auto* p = reinterpret_cast<std::uint8_t*>(file.data());
  WriteBitmapHeader(p, BitmapFormat{kSampleWidth, kSampleHeight, 24, 2835, true}, pixelBytes);
  const SampleImage& image = SamplePicture();
  for (std::uint32_t y = 0; y < kSampleHeight; ++y) {
    std::uint8_t* row = p + kBitmapHeaderSize + std::size_t{kSampleHeight - 1 - y} * stride;
    for (std::uint32_t x = 0; x < kSampleWidth; ++x) {
      row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = image[y * kSampleWidth + x];
    }
  }
  return file;
}

SampleImage SampleFromBitmapBits(const std::uint8_t* bits, std::uint32_t bytesPerPixel, std::uint32_t stride,
                                 bool bottomUp) {
  SampleImage image{};
  for (std::uint32_t y = 0; y < kSampleHeight; ++y) {
    const std::uint8_t* row = bits + std::size_t{bottomUp ? kSampleHeight - 1 - y : y} * stride;
    for (std::uint32_t x = 0; x < kSampleWidth; ++x) image[y * kSampleWidth + x] = row[x * bytesPerPixel];
  }
  return image;
}
