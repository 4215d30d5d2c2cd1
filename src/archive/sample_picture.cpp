#include "archive/sample_picture.h"

#include "archive/avi.h"
#include "archive/synthetic_road.h"

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
  std::string file(54 + pixelBytes, '\0');
  auto* p = reinterpret_cast<std::uint8_t*>(file.data());
  p[0] = 'B';
  p[1] = 'M';
  WriteLe32(p + 2, static_cast<std::uint32_t>(file.size()));
  WriteLe32(p + 10, 54);  // pixel data offset
  WriteLe32(p + 14, 40);  // BITMAPINFOHEADER
  WriteLe32(p + 18, kSampleWidth);
  WriteLe32(p + 22, kSampleHeight);  // positive: bottom row first
  WriteLe16(p + 26, 1);
  WriteLe16(p + 28, 24);
  WriteLe32(p + 34, pixelBytes);
  WriteLe32(p + 38, 2835);  // 72 dpi
  WriteLe32(p + 42, 2835);
  const SampleImage& image = SamplePicture();
  for (std::uint32_t y = 0; y < kSampleHeight; ++y) {
    std::uint8_t* row = p + 54 + std::size_t{kSampleHeight - 1 - y} * stride;
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
