// The main window's toolbar: 30 entries (buttons and separators) with images from the strip
// 103 (25 images of 16 x 16, magenta transparent); each button's text is its tooltip. The
// buttons are plain push buttons; the frame sets them enabled and pressed as their menu items.
#pragma once

#include <windows.h>

#include <array>

#include "shell/win/command_state.h"

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

// Sets every button enabled or greyed, pressed (TBSTATE_CHECKED) or not, as `states` says;
// only buttons whose state differs are changed.
void ApplyToolbarStates(HWND toolbar, const CommandStates& states);
