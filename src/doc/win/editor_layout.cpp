#include "doc/win/editor_layout.h"

#include <algorithm>

#include "doc/render_state.h"

POINT PaneGeometry::Origin(int pane) const {
  return {pane % 2 == 0 ? 0 : zoom * pictureWidth + 16, (pane / 2) * (zoom * Picture::kCanvasHeight + 16)};
}

RECT PaneGeometry::Content(int pane) const {
  const POINT origin = Origin(pane);
  return {origin.x + 1, origin.y + 1, origin.x + 1 + zoom * pictureWidth,
          origin.y + 1 + zoom * Picture::kCanvasHeight};
}

RECT PaneGeometry::Extent(int pane) const {
  const POINT origin = Origin(pane);
  return {origin.x, origin.y, origin.x + zoom * pictureWidth + 7, origin.y + zoom * Picture::kCanvasHeight + 7};
}

SIZE PaneGeometry::ViewSize() const {
  const int height = pictures < 3 ? zoom * Picture::kCanvasHeight + 16 : zoom * 2 * Picture::kCanvasHeight + 32;
  return {zoom * pictureWidth * 2 + 32, height};
}

int PaneGeometry::PaneAt(POINT client) const {
  for (int pane = 0; pane < pictures; ++pane) {
    const RECT content = Content(pane);
    if (PtInRect(&content, client)) return pane;
  }
  return -1;
}

CanvasPoint PaneGeometry::ToCanvas(POINT client, int track) const {
  const int row = track < 0 ? 0 : track / 2;
  const int offset = track >= 0 && track % 2 == 1 ? zoom * pictureWidth + 17 : 1;
  const int y = (client.y - (zoom * Picture::kCanvasHeight + 16) * row - 1) / zoom;
  const int x = (client.x - offset) / zoom;
  return {std::clamp(x, 0, pictureWidth - 1) + (Picture::kCanvasWidth - pictureWidth) / 2,
          std::clamp(y, 0, Picture::kCanvasHeight - 1)};
}

int VertexAt(const RenderState& state, CanvasPoint at) {
  const Detector* detector = state.SelectedDetector();
  if (!detector) return -1;
  for (int i = 0; i < detector->UsedVertices(); ++i) {
    const CanvasPoint& v = detector->vertices[static_cast<std::size_t>(i)];
    if (v.x - 3 <= at.x && at.x < v.x + 3 && v.y - 3 <= at.y && at.y < v.y + 3) return i;
  }
  return -1;
}

std::vector<std::int32_t> DetectorsAt(const RenderState& state, int track, CanvasPoint at) {
  std::vector<std::int32_t> hits;
  if (track < 0) return hits;
  for (std::size_t i = 0; i < state.detectors.size(); ++i) {
    const Detector& d = state.detectors[i];
    if (d.track == track && BoundingBox(d).Contains(at.x, at.y)) hits.push_back(static_cast<std::int32_t>(i));
  }
  return hits;
}

std::int32_t NextSelection(const std::vector<std::int32_t>& hits, std::int32_t selected) {
  if (hits.empty()) return -1;
  const auto it = std::find(hits.begin(), hits.end(), selected);
  if (it == hits.end()) return hits.front();
  return std::next(it) == hits.end() ? hits.front() : *std::next(it);
}
