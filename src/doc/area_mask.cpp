#include "doc/area_mask.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "base/bitmap_file.h"
#include "doc/render_state.h"

namespace {

// Ladders beyond this many rungs only come from damaged documents: the rungs already cover
// every row, and the cap keeps a save from drawing billions of lines.
constexpr int kMaxLadderSteps = 1024;
// Pens wider than this already cover the whole canvas.
constexpr int kMaxPenWidth = 1024;

raster::Point ToPoint(const CanvasPoint& p) { return raster::Point{p.x, p.y}; }

// The drawing layer, black between uses (each use clears what it drew).
raster::Surface& Layer() {
  thread_local raster::Surface layer;  // zero-initialised: black
  return layer;
}

raster::Surface& MaskTarget() {
  thread_local raster::Surface target;
  return target;
}

void ClearArea(raster::Surface& surface, const raster::Bounds& area) {
  if (area.Empty()) return;
  const std::size_t length = static_cast<std::size_t>(area.right - area.left + 1) * 3;
  for (int y = area.top; y <= area.bottom; ++y) std::memset(surface.PixelAt(area.left, y), 0, length);
}

// RenderDetector, returning the part of the target it may have changed (handles excluded).
raster::Bounds RenderInto(const Detector& detector, raster::Surface& target, int highlightedVertex, bool selected,
                          bool forMask) {
  raster::Surface& layer = Layer();
  const raster::Colour colour = (selected || forMask) ? kSelectedColour
                                : detector.contrast   ? kContrastColour
                                                      : kDetectorColour;
  const raster::Pen pen{colour, std::clamp(detector.lineWidth, 1, kMaxPenWidth)};

  raster::Bounds drawn;
  if (detector.kind == DetectorKind::Line) {
    drawn.Add(raster::DrawLine(layer, ToPoint(detector.vertices[0]), ToPoint(detector.vertices[1]), pen));
  } else {
    raster::Point points[4];
    for (int i = 0; i < 4; ++i) points[i] = ToPoint(detector.vertices[static_cast<std::size_t>(i)]);
    if (detector.fillPercent >= 1) drawn.Add(raster::FillPolygon(layer, points, 4, colour));
    drawn.Add(raster::DrawPolygonOutline(layer, points, 4, pen));
    if (detector.ladderSteps > 0) drawn.Add(DrawLadder(layer, detector, detector.ladderSteps, pen));
  }

  if (detector.fillPercent > 0 && detector.fillPercent < 100) raster::ApplyDither(layer, detector.fillPercent, drawn);

  const Picture& eraser = detector.eraser.Read();
  if (detector.eraser.Identity() != WhitePicture().get() && eraser.pixels.size() == Picture::kBytes &&
      eraser.width == Picture::kCanvasWidth && eraser.height == Picture::kCanvasHeight) {
    raster::AndCombine(layer, eraser.pixels.data(), drawn);
  }

  raster::CopyTransparent(target, layer, drawn);
  ClearArea(layer, drawn);

  if (selected && !forMask) {
    for (int i = 0; i < detector.UsedVertices(); ++i) {
      const CanvasPoint& v = detector.vertices[static_cast<std::size_t>(i)];
      raster::FrameRect(target, v.x - 3, v.y - 3, v.x + 3, v.y + 3,
                        i == highlightedVertex ? kHighlightedHandle : kHandleColour);
    }
  }
  return drawn;
}

}  // namespace

raster::Bounds DrawLadder(raster::Surface& surface, const Detector& detector, int steps, const raster::Pen& pen) {
  raster::Bounds drawn;
  const int n = std::min(steps, kMaxLadderSteps);
  const auto& v = detector.vertices;
  const float parts = static_cast<float>(n + 1);
  // ((a - b) / (n + 1)) x i + b in single precision, rounded half away from zero.
  auto at = [parts](std::int32_t a, std::int32_t b, int i) {
    const float fa = static_cast<float>(a), fb = static_cast<float>(b);
    return raster::RoundLadder((fa - fb) / parts * static_cast<float>(i) + fb);
  };
  for (int i = 1; i <= n; ++i) {
    const raster::Point start{at(v[0].x, v[3].x, i), at(v[0].y, v[3].y, i)};
    const raster::Point end{at(v[1].x, v[2].x, i), at(v[1].y, v[2].y, i)};
    drawn.Add(raster::DrawLine(surface, start, end, pen));
  }
  return drawn;
}

void RenderDetector(const Detector& detector, raster::Surface& target, int highlightedVertex, bool selected,
                    bool forMask) {
  RenderInto(detector, target, highlightedVertex, selected, forMask);
}

void ToGrey(raster::Surface& surface) {
  std::uint8_t* p = surface.Bytes();
  for (int i = 0; i < raster::kWidth * raster::kHeight; ++i, p += 3) {
    const unsigned grey = (183u * p[1] + 53u * p[2] + 19u * p[0]) / 255u;
    p[0] = p[1] = p[2] = static_cast<std::uint8_t>(grey);
  }
}

void GreyBackground(const RenderState& state, std::int32_t track, raster::Surface& out) {
  if (track < 0 || static_cast<std::size_t>(track) >= state.pictures.size()) {
    out.Fill(raster::kWhite);
    return;
  }
  const Picture& picture = state.pictures[static_cast<std::size_t>(track)].Read();
  if (picture.pixels.size() == Picture::kBytes && picture.width == Picture::kCanvasWidth &&
      picture.height == Picture::kCanvasHeight) {
    std::memcpy(out.Bytes(), picture.pixels.data(), Picture::kBytes);
  } else {
    // A picture of another shape: take what overlaps, white elsewhere.
    out.Fill(raster::kWhite);
    for (int y = 0; y < std::min(picture.height, Picture::kCanvasHeight); ++y)
      for (int x = 0; x < std::min(picture.width, Picture::kCanvasWidth); ++x) {
        const std::size_t at = picture.Offset(x, y);
        if (at + 2 < picture.pixels.size())
          out.Set(x, y, raster::Colour{picture.pixels[at + 2], picture.pixels[at + 1], picture.pixels[at]});
      }
  }
  ToGrey(out);
}

int AreaMask::Count() const {
  int count = 0;
  for (std::uint8_t byte : rows_) count += std::popcount(static_cast<unsigned>(byte));
  return count;
}

AreaMask BuildAreaMask(const Detector& detector, const raster::Surface& greyBackground) {
  raster::Surface& target = MaskTarget();
  std::memcpy(target.Bytes(), greyBackground.Bytes(), raster::kBytes);
  raster::Bounds drawn = RenderInto(detector, target, -1, false, true);

  AreaMask mask;
  // Outside the drawn area the target is the grey background, which never reads as red.
  const int left = std::max(drawn.left, AreaMask::kFirstColumn);
  const int right = std::min(drawn.right, AreaMask::kFirstColumn + AreaMask::kWidth - 1);
  for (int y = drawn.top; y <= drawn.bottom && left <= right; ++y) {
    const std::uint8_t* p = target.PixelAt(left, y);
    for (int x = left; x <= right; ++x, p += 3) {
      if (p[2] >= 192 && p[1] < 64 && p[0] < 64) mask.Set(x - AreaMask::kFirstColumn, y);
    }
  }
  return mask;
}

std::string EncodeAreaMask(const AreaMask& mask) {
  constexpr std::uint32_t kImageSize = AreaMask::kRowBytes * AreaMask::kHeight;
  std::string out(kMaskFileSize, '\0');
  WriteBitmapHeader(out.data(), BitmapFormat{AreaMask::kWidth, AreaMask::kHeight, 1, 0, true}, kImageSize);
  for (int y = 0; y < AreaMask::kHeight; ++y) {
    // The first row in the file is picture row 143.
    std::memcpy(out.data() + kBitmapHeaderSize + static_cast<std::size_t>(AreaMask::kHeight - 1 - y) * AreaMask::kRowBytes,
                mask.Row(y), AreaMask::kRowBytes);
  }
  return out;
}
