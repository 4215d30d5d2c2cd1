// Drawing one detector (the same routine serves the editor and the card's area masks, so the
// technician sees exactly the pixels the card gets), reading the area mask off the drawing and
// encoding it as the card's 1-bit "det%u.bmp".
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "doc/detector.h"
#include "doc/picture.h"
#include "doc/raster.h"

struct RenderState;

// Colours of detectors and handles.
constexpr raster::Colour kSelectedColour{255, 0, 0};      // selected, and every mask drawing
constexpr raster::Colour kContrastColour{0, 0, 128};      // unselected contrast detector
constexpr raster::Colour kDetectorColour{0, 128, 0};      // unselected other detector
constexpr raster::Colour kHighlightedHandle{0, 0, 255};
constexpr raster::Colour kHandleColour{128, 128, 128};

// Draws the detector onto `target`: outline with its pen, ladder rungs, solid or dithered
// fill, minus its erased pixels; black parts of the drawing leave the target as it was.
// With `selected` set and `forMask` clear the vertex handles are framed too, blue for
// `highlightedVertex` (any other value highlights none).
void RenderDetector(const Detector& detector, raster::Surface& target, int highlightedVertex, bool selected,
                    bool forMask);

// The rungs of a ladder: n lines joining the edge from vertex 3 to vertex 0 with the edge from
// vertex 2 to vertex 1 at equal steps, in single precision with half-away-from-zero rounding.
raster::Bounds DrawLadder(raster::Surface& surface, const Detector& detector, int steps, const raster::Pen& pen);

// Each pixel becomes (183 x green + 53 x red + 19 x blue) / 255 in all three bytes.
void ToGrey(raster::Surface& surface);

// The grey surface a track's masks are drawn on: the track's background through ToGrey, or
// white when the revision has no picture for it.
void GreyBackground(const RenderState& state, std::int32_t track, raster::Surface& out);

// 180 x 144 bits, bit (x, y) for canvas pixel (x + 30, y), kept in the card's row layout:
// 23 bytes per row, x = 0 in the top bit of byte 0, rows top first.
class AreaMask {
 public:
  static constexpr int kWidth = 180;
  static constexpr int kHeight = 144;
  static constexpr int kRowBytes = 23;
  static constexpr int kFirstColumn = 30;

  bool Test(int x, int y) const { return (rows_[y * kRowBytes + x / 8] >> (7 - x % 8)) & 1; }
  void Set(int x, int y) { rows_[y * kRowBytes + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8)); }
  int Count() const;
  const std::uint8_t* Row(int y) const { return rows_.data() + y * kRowBytes; }

 private:
  std::array<std::uint8_t, kRowBytes * kHeight> rows_{};
};

// The mask of one detector drawn on `greyBackground` (a surface from GreyBackground): the
// pixels of columns 30..209 that came out red (red >= 192, green < 64, blue < 64).
AreaMask BuildAreaMask(const Detector& detector, const raster::Surface& greyBackground);

// The 3366-byte "det%u.bmp": 54-byte header, no colour table, 144 rows of 23 bytes bottom-up.
constexpr std::size_t kMaskFileSize = 3366;
std::string EncodeAreaMask(const AreaMask& mask);
