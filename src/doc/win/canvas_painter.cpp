#include "doc/win/canvas_painter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "doc/area_mask.h"
#include "doc/editor_commands.h"
#include "doc/render_state.h"

namespace {

// The arrow of a directional detector, pointing down at angle 0.
constexpr POINT kArrow[7] = {{3, -10}, {-3, -10}, {-3, 5}, {-6, 5}, {0, 11}, {6, 5}, {3, 5}};

constexpr COLORREF kArrowFill = RGB(255, 242, 0);
constexpr COLORREF kCurrentFrame = RGB(255, 0, 0);

std::uint32_t Pixel32(const std::uint8_t* bgr) {
  return static_cast<std::uint32_t>(bgr[0]) | static_cast<std::uint32_t>(bgr[1]) << 8 |
         static_cast<std::uint32_t>(bgr[2]) << 16;
}

// The arrow's polygon for a detector at `angle`, in view pixels of a picture whose canvas
// column 0 lies at `shift` and row 0 at `top`.
void ArrowPolygon(const Detector& detector, int angle, int zoom, int shift, int top, POINT (&points)[7]) {
  float cx = 0, cy = 0;
  const int used = detector.UsedVertices();
  for (int v = 0; v < used; ++v) {
    cx += static_cast<float>(detector.vertices[static_cast<std::size_t>(v)].x);
    cy += static_cast<float>(detector.vertices[static_cast<std::size_t>(v)].y);
  }
  cx /= static_cast<float>(used);
  cy /= static_cast<float>(used);
  const double a = -(angle * 0.01745328);
  const double c = std::cos(a), s = std::sin(a);
  for (int k = 0; k < 7; ++k) {
    const double x = (kArrow[k].x * c - kArrow[k].y * s + cx) * zoom;
    const double y = (kArrow[k].x * s + kArrow[k].y * c + cy) * zoom;
    points[k] = {static_cast<LONG>(std::floor(x + 0.5)) + shift, static_cast<LONG>(std::floor(y + 0.5)) + top};
  }
}

}  // namespace

CanvasPainter::CanvasPainter() : surface_(std::make_unique<raster::Surface>()) {}
CanvasPainter::~CanvasPainter() = default;

void CanvasPainter::DrawAll(OffscreenBitmap& picture, const RenderState& state, const PaneGeometry& geometry,
                            const CanvasPreview& preview, bool clear) {
  if (clear) {
    GdiFlush();
    for (int y = 0; y < picture.Height(); ++y) std::fill_n(picture.Row(y), picture.Width(), 0xFFFFFFu);
  }
  for (int pane = 0; pane < geometry.pictures; ++pane) DrawPane(picture, state, geometry, pane, preview);
}

void CanvasPainter::DrawPane(OffscreenBitmap& picture, const RenderState& state, const PaneGeometry& geometry,
                             int pane, const CanvasPreview& preview) {
  const int z = geometry.zoom;
  const int w = geometry.pictureWidth;
  const int h = Picture::kCanvasHeight;
  const POINT origin = geometry.Origin(pane);
  HDC dc = picture.Dc();
  GdiFlush();

  // Shadow, then the one-pixel frame (red around the current track).
  const RECT shadowRight{origin.x + z * w + 2, origin.y + 5, origin.x + z * w + 7, origin.y + z * h + 7};
  const RECT shadowBelow{origin.x + 5, origin.y + z * h + 2, origin.x + z * w + 2, origin.y + z * h + 7};
  FillRect(dc, &shadowRight, GetSysColorBrush(COLOR_3DDKSHADOW));
  FillRect(dc, &shadowBelow, GetSysColorBrush(COLOR_3DDKSHADOW));
  const RECT frame{origin.x, origin.y, origin.x + z * w + 2, origin.y + z * h + 2};
  {
    BrushHandle red(CreateSolidBrush(kCurrentFrame));
    FrameRect(dc, &frame, pane == preview.currentTrack ? red.Get() : GetSysColorBrush(COLOR_BTNSHADOW));
  }
  DrawDetectors(state, pane, preview);
  GdiFlush();
  Stretch(picture, geometry, pane);
  DrawArrows(dc, state, geometry, pane, preview);
}

// The picture and the detectors of the track, drawn on the canvas as the masks are.
void CanvasPainter::DrawDetectors(const RenderState& state, int pane, const CanvasPreview& preview) {
  raster::Surface& surface = *surface_;
  const ::Picture& background = state.pictures[static_cast<std::size_t>(pane)].Read();
  if (background.pixels.size() == Picture::kBytes && background.width == Picture::kCanvasWidth &&
      background.height == Picture::kCanvasHeight) {
    std::memcpy(surface.Bytes(), background.pixels.data(), Picture::kBytes);
  } else {
    surface.Fill(raster::kWhite);
  }
  const bool dragging = pane == preview.currentTrack && (preview.dragVertex >= 0 || preview.moving);
  for (std::size_t i = 0; i < state.detectors.size(); ++i) {
    const Detector& detector = state.detectors[i];
    if (detector.track != pane) continue;
    const bool selected = static_cast<std::int32_t>(i) == state.selected;
    if (selected && dragging) {
      Detector moved = detector;
      for (int v = 0; v < 4; ++v) {
        if (!preview.moving && v != preview.dragVertex) continue;
        CanvasPoint& p = moved.vertices[static_cast<std::size_t>(v)];
        p = ClampVertex(state, {p.x + preview.delta.x, p.y + preview.delta.y});
      }
      RenderDetector(moved, surface, preview.highlighted, true, false);
    } else {
      RenderDetector(detector, surface, selected ? preview.highlighted : -1, selected, false);
    }
  }
}

// Stretched z times into the content rectangle: each canvas row once, then copied z - 1 times.
void CanvasPainter::Stretch(OffscreenBitmap& picture, const PaneGeometry& geometry, int pane) const {
  const int z = geometry.zoom;
  const int w = geometry.pictureWidth;
  const RECT content = geometry.Content(pane);
  const int left = (Picture::kCanvasWidth - w) / 2;
  for (int y = 0; y < Picture::kCanvasHeight; ++y) {
    std::uint32_t* row = picture.Row(content.top + y * z) + content.left;
    const std::uint8_t* source = surface_->PixelAt(left, y);
    std::uint32_t* out = row;
    for (int x = 0; x < w; ++x, source += 3) {
      const std::uint32_t colour = Pixel32(source);
      for (int k = 0; k < z; ++k) *out++ = colour;
    }
    for (int k = 1; k < z; ++k)
      std::memcpy(picture.Row(content.top + y * z + k) + content.left, row, sizeof(std::uint32_t) * z * w);
  }
}

// Direction arrows and the line of a direction drag, clipped to the picture.
void CanvasPainter::DrawArrows(HDC dc, const RenderState& state, const PaneGeometry& geometry, int pane,
                               const CanvasPreview& preview) const {
  const RECT content = geometry.Content(pane);
  const int z = geometry.zoom;
  const int left = (Picture::kCanvasWidth - geometry.pictureWidth) / 2;
  const bool dragging = preview.directionDrag && pane == preview.currentTrack;
  const int saved = SaveDC(dc);
  IntersectClipRect(dc, content.left, content.top, content.right, content.bottom);
  {
    BrushHandle fill(CreateSolidBrush(kArrowFill));
    SelectObjectScope brush(dc, fill.Get());
    SelectObjectScope pen(dc, GetStockObject(BLACK_PEN));
    for (std::size_t i = 0; i < state.detectors.size(); ++i) {
      const Detector& detector = state.detectors[i];
      if (detector.track != pane || !detector.directional) continue;
      int angle = detector.angle;
      if (dragging && static_cast<std::int32_t>(i) == state.selected && preview.angle) angle = *preview.angle;
      POINT points[7];
      ArrowPolygon(detector, angle, z, content.left - z * left, content.top, points);
      Polygon(dc, points, 7);
    }
  }
  if (dragging) {
    PenHandle red(CreatePen(PS_SOLID, 1, kCurrentFrame));
    SelectObjectScope pen(dc, red.Get());
    MoveToEx(dc, content.left + (preview.lineFrom.x - left) * z, content.top + preview.lineFrom.y * z, nullptr);
    LineTo(dc, content.left + (preview.lineTo.x - left) * z, content.top + preview.lineTo.y * z);
  }
  RestoreDC(dc, saved);
}
