// Our own small rasteriser for the 240 x 144 canvas. It follows the drawing conventions of
// the Windows GDI calls that detectors were always drawn with, so what the editor shows is
// what the card's area masks hold:
//   - a solid pen of width 1..n: width 1 is a thin line whose end point is not drawn,
//     wider pens stroke the segment with round ends and joins;
//   - a polygon outline is closed (the last vertex joins the first);
//   - a polygon interior is filled in alternate (even-odd) mode, pixels whose centre lies
//     inside, left and top edges inclusive, right and bottom edges exclusive;
//   - surfaces combine with a bytewise AND, and a layer is copied with black transparent.
// Everything works on fixed buffers; nothing allocates.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

namespace raster {

constexpr int kWidth = 240;
constexpr int kHeight = 144;
constexpr int kBytes = kWidth * kHeight * 3;

struct Colour {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  bool operator==(const Colour&) const = default;
};

constexpr Colour kBlack{0, 0, 0};
constexpr Colour kWhite{255, 255, 255};

struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point&) const = default;
};

// Rows of pixels that a drawing touched; empty when top > bottom.
struct Bounds {
  int left = kWidth;
  int top = kHeight;
  int right = -1;   // inclusive
  int bottom = -1;  // inclusive
  bool Empty() const { return left > right || top > bottom; }
  void Add(int x, int y) {
    if (x < left) left = x;
    if (x > right) right = x;
    if (y < top) top = y;
    if (y > bottom) bottom = y;
  }
  void Add(const Bounds& other) {
    if (other.Empty()) return;
    Add(other.left, other.top);
    Add(other.right, other.bottom);
  }
};

// A 240 x 144 surface, three bytes per pixel (blue, green, red), rows top first: the same
// layout as a canvas `Picture`, so pictures copy in and out with one memcpy.
class Surface {
 public:
  std::uint8_t* Bytes() { return bytes_.data(); }
  const std::uint8_t* Bytes() const { return bytes_.data(); }
  std::uint8_t* PixelAt(int x, int y) { return bytes_.data() + (y * kWidth + x) * 3; }
  const std::uint8_t* PixelAt(int x, int y) const { return bytes_.data() + (y * kWidth + x) * 3; }

  void Fill(Colour colour);
  void Set(int x, int y, Colour colour) {
    if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) return;
    std::uint8_t* p = PixelAt(x, y);
    p[0] = colour.blue;
    p[1] = colour.green;
    p[2] = colour.red;
  }
  Colour Get(int x, int y) const {
    const std::uint8_t* p = PixelAt(x, y);
    return Colour{p[2], p[1], p[0]};
  }

 private:
  std::array<std::uint8_t, kBytes> bytes_{};
};

// A solid pen: colour and width in pixels (below 1 draws as 1).
struct Pen {
  Colour colour;
  int width = 1;
};

// Draws the segment from `from` to `to` with the pen. A thin pen leaves out the end point.
// Returns the pixels touched (clipped to the surface).
Bounds DrawLine(Surface& surface, Point from, Point to, const Pen& pen);

// Draws the closed outline through the points.
Bounds DrawPolygonOutline(Surface& surface, const Point* points, int count, const Pen& pen);

// Fills the interior of the closed polygon in alternate (even-odd) mode.
Bounds FillPolygon(Surface& surface, const Point* points, int count, Colour colour);

// Frames the rectangle [left, right) x [top, bottom) with a one-pixel border.
void FrameRect(Surface& surface, int left, int top, int right, int bottom, Colour colour);

// The ordered dither of fill densities: entry [y mod 4][x mod 4].
extern const int kDitherMatrix[4][4];

// Clears (paints black) every pixel of `surface` inside `area` whose dither value is above
// the density threshold t = percent x 16 / 100: the same as AND-combining a white picture
// on which those pixels are black.
void ApplyDither(Surface& surface, int fillPercent, const Bounds& area);

// Bytewise AND of `mask` into `surface` (black pixels of the mask clear the surface),
// limited to `area`.
void AndCombine(Surface& surface, const std::uint8_t* maskBytes, const Bounds& area);

// Copies every non-black pixel of `layer` inside `area` onto `target`.
void CopyTransparent(Surface& target, const Surface& layer, const Bounds& area);

// Rounds half away from zero the way the ladder needs it: below 0 the ceiling of
// value - 0.5, otherwise the floor of value + 0.5 (single precision).
int RoundLadder(float value);

}  // namespace raster
