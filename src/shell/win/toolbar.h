// The main window's toolbar: 30 entries (buttons and separators) with images from the strip
// 103 (25 images of 16 x 16, magenta transparent); each button's text is its tooltip.
#pragma once

#include <windows.h>

#include <array>

struct ToolbarEntry {
  int image;    // -1: a separator
  UINT command;
  const char* tooltip;  // UTF-8
};

extern const std::array<ToolbarEntry, 30> kToolbarEntries;

// Creates the toolbar as a child of `parent` and moves the top of `layout` below it. Throws
// on failure. The image list is owned by the toolbar (destroyed with DestroyToolbarImages).
HWND CreateToolbar(HWND parent, RECT& layout);
void DestroyToolbarImages(HWND toolbar);
