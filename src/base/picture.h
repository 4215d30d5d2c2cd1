// The canvas picture: background pictures, eraser masks and the card's live pictures all have
// this one form, so the editor, the live view and the stream worker share it without copies or
// conversions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// 240 x 144 pixels, three bytes per pixel (blue, green, red), top row first.
struct Picture {
  static constexpr std::int32_t kCanvasWidth = 240;
  static constexpr std::int32_t kCanvasHeight = 144;
  static constexpr std::size_t kBytes = std::size_t{kCanvasWidth} * kCanvasHeight * 3;

  std::int32_t width = kCanvasWidth;
  std::int32_t height = kCanvasHeight;
  std::vector<std::uint8_t> pixels = std::vector<std::uint8_t>(kBytes, 255);  // white

  // First byte of pixel (x, y); the caller keeps x and y inside the picture.
  std::size_t Offset(int x, int y) const { return (static_cast<std::size_t>(y) * width + x) * 3; }
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
  // Black means all three bytes 0 (an erased pixel of an eraser mask).
  bool IsBlack(int x, int y) const;
  void SetBlack(int x, int y) { SetGrey(x, y, 0); }
  void SetGrey(int x, int y, std::uint8_t grey);
  // (blue + green + red) / 3, integer division.
  std::uint8_t Grey(int x, int y) const;
  // True when some pixel is black; used to tell erased masks from untouched ones.
  bool HasBlack() const;

  bool operator==(const Picture&) const = default;
};
