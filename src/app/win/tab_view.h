// The two-tab area of the main window: "Podgląd wideo" with the live view and "Konfiguracja
// detektorów" with the detector editor. Only the active tab's view is visible; zoom commands go
// to the active tab's view.
#pragma once

#include <windows.h>

#include "shell/win/frame_parts.h"
#include "shell/win/gdi.h"

// The tab font's height for a screen of `dpi` pixels per inch: 8 points, integer division.
int TabFontHeight(int dpi);

class TabView {
 public:
  TabView(FrameContext& frame, LivePart& live, EditorPart& editor) : frame_(frame), live_(live), editor_(editor) {}
  ~TabView();
  TabView(const TabView&) = delete;
  TabView& operator=(const TabView&) = delete;

  // Creates the tab control at `area` (parent's client coordinates) and both views in its
  // display area, the views as children of `parent`. Throws on failure.
  void Create(HWND parent, const RECT& area);
  void Layout(const RECT& area);
  // TCN_SELCHANGE: shows the active tab's view and requests the panels' update.
  void SelectionChanged();
  // Zoom in / out (IDM_ZOOM_IN, IDM_ZOOM_OUT) for the active tab's view; false for other commands.
  bool Command(UINT id);

  HWND Handle() const { return window_; }
  int CurrentTab() const { return current_; }
  HFONT Font() const { return font_.Get(); }
  // The display area below the tabs, in the parent's client coordinates.
  RECT DisplayArea() const;

 private:
  FrameContext& frame_;
  LivePart& live_;
  EditorPart& editor_;
  HWND window_ = nullptr;
  FontHandle font_;  // outlives the tab control, which is destroyed first
  int current_ = 0;
};
