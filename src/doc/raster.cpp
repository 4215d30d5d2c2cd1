#include "doc/raster.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace raster {

const int kDitherMatrix[4][4] = {
    {1, 9, 3, 11},
    {13, 5, 15, 7},
    {4, 12, 2, 10},
    {16, 8, 14, 6},
};

namespace {

// Coordinates beyond this are far outside the canvas; such segments are clipped first so
// that a damaged document cannot make a line walk billions of pixels.
constexpr int kFar = 4096;

Bounds ClipBounds(double left, double top, double right, double bottom) {
  Bounds b;
  const double l = std::max(left, 0.0), t = std::max(top, 0.0);
  const double r = std::min(right, static_cast<double>(kWidth - 1));
  const double bo = std::min(bottom, static_cast<double>(kHeight - 1));
  if (l > r || t > bo) return b;
  b.left = static_cast<int>(std::floor(l));
  b.top = static_cast<int>(std::floor(t));
  b.right = static_cast<int>(std::ceil(r));
  b.bottom = static_cast<int>(std::ceil(bo));
  return b;
}

// Liang-Barsky clip of the segment to a rectangle a little larger than the surface.
bool ClipFarSegment(double& x0, double& y0, double& x1, double& y1) {
  const double minX = -8, minY = -8, maxX = kWidth + 8, maxY = kHeight + 8;
  const double dx = x1 - x0, dy = y1 - y0;
  double t0 = 0, t1 = 1;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x0 - minX, maxX - x0, y0 - minY, maxY - y0};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double r = q[i] / p[i];
    if (p[i] < 0) {
      if (r > t1) return false;
      t0 = std::max(t0, r);
    } else {
      if (r < t0) return false;
      t1 = std::min(t1, r);
    }
  }
  const double nx0 = x0 + t0 * dx, ny0 = y0 + t0 * dy;
  const double nx1 = x0 + t1 * dx, ny1 = y0 + t1 * dy;
  x0 = nx0;
  y0 = ny0;
  x1 = nx1;
  y1 = ny1;
  return true;
}

bool IsFar(Point p) { return std::abs(p.x) > kFar || std::abs(p.y) > kFar; }

// Bresenham from `from` towards `to`, leaving out `to` itself.
Bounds ThinLine(Surface& surface, Point from, Point to, Colour colour) {
  if (IsFar(from) || IsFar(to)) {
    double x0 = from.x, y0 = from.y, x1 = to.x, y1 = to.y;
    if (!ClipFarSegment(x0, y0, x1, y1)) return Bounds{};
    from = Point{static_cast<int>(std::lround(x0)), static_cast<int>(std::lround(y0))};
    to = Point{static_cast<int>(std::lround(x1)), static_cast<int>(std::lround(y1))};
  }
  Bounds touched = ClipBounds(std::min(from.x, to.x), std::min(from.y, to.y), std::max(from.x, to.x),
                              std::max(from.y, to.y));
  const int dx = std::abs(to.x - from.x), dy = std::abs(to.y - from.y);
  const int sx = from.x < to.x ? 1 : -1, sy = from.y < to.y ? 1 : -1;
  int x = from.x, y = from.y;
  if (dx >= dy) {
    int error = 2 * dy - dx;
    for (int i = 0; i < dx; ++i) {
      surface.Set(x, y, colour);
      if (error > 0) {
        y += sy;
        error -= 2 * dx;
      }
      error += 2 * dy;
      x += sx;
    }
  } else {
    int error = 2 * dx - dy;
    for (int i = 0; i < dy; ++i) {
      surface.Set(x, y, colour);
      if (error > 0) {
        x += sx;
        error -= 2 * dy;
      }
      error += 2 * dx;
      y += sy;
    }
  }
  return touched;
}

// A wide pen: every pixel whose sample point lies closer than width / 2 to the segment.
// Odd widths sample pixel centres on the integer grid, even widths half a pixel down and
// right, so a horizontal stroke of width w covers exactly w rows.
Bounds ThickLine(Surface& surface, Point from, Point to, const Pen& pen) {
  const double half = pen.width / 2.0;
  const double offset = (pen.width % 2 == 0) ? 0.5 : 0.0;
  double x0 = from.x, y0 = from.y, x1 = to.x, y1 = to.y;
  if ((IsFar(from) || IsFar(to)) && !ClipFarSegment(x0, y0, x1, y1)) return Bounds{};
  const Bounds box = ClipBounds(std::min(x0, x1) - half - 1, std::min(y0, y1) - half - 1,
                                std::max(x0, x1) + half + 1, std::max(y0, y1) + half + 1);
  if (box.Empty()) return box;
  const double dx = x1 - x0, dy = y1 - y0;
  const double lengthSquared = dx * dx + dy * dy;
  const double limit = half * half;
  Bounds touched;
  for (int y = box.top; y <= box.bottom; ++y) {
    for (int x = box.left; x <= box.right; ++x) {
      const double px = x + offset - x0, py = y + offset - y0;
      double t = lengthSquared > 0 ? (px * dx + py * dy) / lengthSquared : 0.0;
      t = std::clamp(t, 0.0, 1.0);
      const double ex = px - t * dx, ey = py - t * dy;
      if (ex * ex + ey * ey < limit - 1e-9) {
        surface.Set(x, y, pen.colour);
        touched.Add(x, y);
      }
    }
  }
  return touched;
}

}  // namespace

void Surface::Fill(Colour colour) {
  if (colour.red == colour.green && colour.green == colour.blue) {
    std::memset(bytes_.data(), colour.red, bytes_.size());
    return;
  }
  for (int i = 0; i < kWidth * kHeight; ++i) {
    bytes_[i * 3] = colour.blue;
    bytes_[i * 3 + 1] = colour.green;
    bytes_[i * 3 + 2] = colour.red;
  }
}

Bounds DrawLine(Surface& surface, Point from, Point to, const Pen& pen) {
  if (pen.width <= 1) return ThinLine(surface, from, to, pen.colour);
  return ThickLine(surface, from, to, pen);
}

Bounds DrawPolygonOutline(Surface& surface, const Point* points, int count, const Pen& pen) {
  Bounds touched;
  for (int i = 0; i < count; ++i) touched.Add(DrawLine(surface, points[i], points[(i + 1) % count], pen));
  return touched;
}

Bounds FillPolygon(Surface& surface, const Point* points, int count, Colour colour) {
  Bounds touched;
  if (count < 3) return touched;
  double crossings[16];
  const int maxCrossings = static_cast<int>(sizeof crossings / sizeof crossings[0]);
  for (int y = 0; y < kHeight; ++y) {
    int found = 0;
    for (int i = 0; i < count && found < maxCrossings; ++i) {
      const Point a = points[i], b = points[(i + 1) % count];
      if (a.y == b.y) continue;
      const Point& upper = a.y < b.y ? a : b;
      const Point& lower = a.y < b.y ? b : a;
      if (y < upper.y || y >= lower.y) continue;
      const double t = (static_cast<double>(y) - upper.y) / (static_cast<double>(lower.y) - upper.y);
      crossings[found++] = upper.x + t * (static_cast<double>(lower.x) - upper.x);
    }
    std::sort(crossings, crossings + found);
    for (int i = 0; i + 1 < found; i += 2) {
      const double from = std::max(std::ceil(crossings[i]), 0.0);
      const double to = std::min(std::ceil(crossings[i + 1]) - 1, static_cast<double>(kWidth - 1));
      if (from > to) continue;
      const int left = static_cast<int>(from), right = static_cast<int>(to);
      for (int x = left; x <= right; ++x) surface.Set(x, y, colour);
      touched.Add(left, y);
      touched.Add(right, y);
    }
  }
  return touched;
}

void FrameRect(Surface& surface, int left, int top, int right, int bottom, Colour colour) {
  if (left >= right || top >= bottom) return;
  for (int x = left; x < right; ++x) {
    surface.Set(x, top, colour);
    surface.Set(x, bottom - 1, colour);
  }
  for (int y = top; y < bottom; ++y) {
    surface.Set(left, y, colour);
    surface.Set(right - 1, y, colour);
  }
}

void ApplyDither(Surface& surface, int fillPercent, const Bounds& area) {
  if (area.Empty()) return;
  const int threshold = fillPercent * 16 / 100;
  for (int y = area.top; y <= area.bottom; ++y) {
    const int* row = kDitherMatrix[y & 3];
    std::uint8_t* p = surface.PixelAt(area.left, y);
    for (int x = area.left; x <= area.right; ++x, p += 3) {
      if (row[x & 3] > threshold) p[0] = p[1] = p[2] = 0;
    }
  }
}

void AndCombine(Surface& surface, const std::uint8_t* maskBytes, const Bounds& area) {
  if (area.Empty()) return;
  const int length = (area.right - area.left + 1) * 3;
  for (int y = area.top; y <= area.bottom; ++y) {
    std::uint8_t* p = surface.PixelAt(area.left, y);
    const std::uint8_t* m = maskBytes + (y * kWidth + area.left) * 3;
    for (int i = 0; i < length; ++i) p[i] &= m[i];
  }
}

void CopyTransparent(Surface& target, const Surface& layer, const Bounds& area) {
  if (area.Empty()) return;
  for (int y = area.top; y <= area.bottom; ++y) {
    const std::uint8_t* s = layer.PixelAt(area.left, y);
    std::uint8_t* d = target.PixelAt(area.left, y);
    for (int x = area.left; x <= area.right; ++x, s += 3, d += 3) {
      if (s[0] | s[1] | s[2]) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
      }
    }
  }
}

int RoundLadder(float value) {
  const float rounded = value < 0 ? std::ceil(value - 0.5f) : std::floor(value + 0.5f);
  // Far-off values only come from damaged documents; keep them representable.
  return static_cast<int>(std::clamp(rounded, -1.0e8f, 1.0e8f));
}

}  // namespace raster
