// Draws the detector editor's picture: each track of a revision as a pane of the editor's layout
// (drop shadow, frame, the background with its detectors stretched zoom times, the direction
// arrows) into the view's off-screen bitmap, plus the preview of a drag on the current track.
// It knows nothing of the window: MainView decides what to draw when, and the paint benchmark
// calls it directly.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>

#include "doc/detector.h"
#include "doc/raster.h"
#include "doc/win/editor_layout.h"
#include "shell/win/gdi.h"

struct RenderState;

// What the current track's pane shows beyond the revision: the selected detector's vertex under
// the pointer and a mouse gesture in progress.
struct CanvasPreview {
  int currentTrack = 0;  // -1: none (no red frame)
  int highlighted = -1;  // vertex of the selected detector drawn highlighted
  // Vertex drag (`dragVertex` >= 0) or move (`dragVertex` -1 with `moving`): the selected
  // detector is drawn moved by `delta` canvas pixels, each moved vertex clamped.
  bool moving = false;
  int dragVertex = -1;
  CanvasPoint delta{};
  // Direction drag: the selected detector's arrow at `angle` (when the drag has one) and the
  // drag's line between two canvas points.
  bool directionDrag = false;
  std::optional<int> angle;
  CanvasPoint lineFrom{}, lineTo{};
};

class CanvasPainter {
 public:
  CanvasPainter();
  ~CanvasPainter();

  // Draws pane `pane` of `state` into `picture` (sized for `geometry`'s view).
  void DrawPane(OffscreenBitmap& picture, const RenderState& state, const PaneGeometry& geometry, int pane,
                const CanvasPreview& preview);
  // Draws every pane. The panes cover their own places; the white between them is laid when
  // `clear` is set (after a change of size or of the number of panes).
  void DrawAll(OffscreenBitmap& picture, const RenderState& state, const PaneGeometry& geometry,
               const CanvasPreview& preview, bool clear);

 private:
  void DrawDetectors(const RenderState& state, int pane, const CanvasPreview& preview);
  void Stretch(OffscreenBitmap& picture, const PaneGeometry& geometry, int pane) const;
  void DrawArrows(HDC dc, const RenderState& state, const PaneGeometry& geometry, int pane,
                  const CanvasPreview& preview) const;

  std::unique_ptr<raster::Surface> surface_;  // one track drawn at canvas size (100 KB)
};
