// The archive medium dialog's sample picture: 180 x 144 grey samples of a road seen from an
// overhead traffic camera, rows top to bottom. Shipped with the program as bitmap resource
// 115 (24-bit, all channels equal), made by SampleBitmapFile() from the same generator.
#pragma once

#include <array>
#include <cstdint>
#include <string>

constexpr std::uint32_t kSampleWidth = 180;
constexpr std::uint32_t kSampleHeight = 144;
using SampleImage = std::array<std::uint8_t, kSampleWidth * kSampleHeight>;

// The sample picture, generated (the same bytes every time).
const SampleImage& SamplePicture();

// The sample as a 24-bit bottom-up Windows bitmap file (.bmp), for the resource script.
std::string SampleBitmapFile();

// Takes a sample from bitmap pixels (as GetBitmapBits or GetDIBits deliver them): each
// grey value from the blue channel, the first byte of a pixel. `bytesPerPixel` is 3 or 4,
// `stride` the bytes per row; `bottomUp` when the first row in memory is the bottom one.
SampleImage SampleFromBitmapBits(const std::uint8_t* bits, std::uint32_t bytesPerPixel, std::uint32_t stride,
                                 bool bottomUp);
