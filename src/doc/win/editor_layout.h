// Where the detector editor shows each track and what lies under a client point: the panes of
// the two-column grid, the conversion of client points to canvas points through a pane, and
// the vertex and detector hit tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "doc/detector.h"

struct RenderState;

struct PaneGeometry {
  int zoom = 1;           // screen pixels per canvas pixel, 1..6
  int pictureWidth = 180; // visible columns of every picture
  int pictures = 0;       // number of panes

  // Top-left corner of pane i with its frame and shadow: (0 or z W + 16, (i div 2)(z 144 + 16)).
  POINT Origin(int pane) const;
  // The picture's rectangle inside pane i, z W by z 144, one pixel inside the frame.
  RECT Content(int pane) const;
  // Everything pane i draws: frame and shadow.
  RECT Extent(int pane) const;
  // Scrollable size of the whole view.
  SIZE ViewSize() const;
  // The pane whose content rectangle holds the point, -1 when none.
  int PaneAt(POINT client) const;
  // The canvas point under a client point, taken through pane `track` and clamped to its picture.
  CanvasPoint ToCanvas(POINT client, int track) const;
};

// Index of the selected detector's vertex within 3 canvas pixels of `at`, -1 when none.
int VertexAt(const RenderState& state, CanvasPoint at);

// Indices of the detectors of `track` whose bounding box holds `at`, edges included.
std::vector<std::int32_t> DetectorsAt(const RenderState& state, int track, CanvasPoint at);

// The detector a click selects among `hits`: none, the first, or the one after the selected one
// when the selected one is among several (wrapping around).
std::int32_t NextSelection(const std::vector<std::int32_t>& hits, std::int32_t selected);
