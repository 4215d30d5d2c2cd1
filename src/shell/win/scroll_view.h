// A viewport that holds one content window as its child and scrolls it with its own scroll
// bars and the mouse wheel (Shift+wheel and the tilt wheel: sideways). The content keeps its
// full size; the viewport shows the part that fits. The content passes the wheel on to its
// parent (the system's default handling), so a wheel over the content scrolls its viewport.
#pragma once

#include "shell/win/window.h"

class ScrollView : public Window {
 public:
  // The content's native window is created later as a child of this viewport.
  explicit ScrollView(Window& content) : content_(content) {}

  // Creates the viewport as a visible child of `parent`. Throws on failure.
  void Create(HWND parent, HINSTANCE instance, const RECT& rectangle);

  // Recomputes both scroll bars after the viewport or the content changed size and moves the
  // content to the corrected position.
  void Update();

  LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override;

  int OffsetX() const { return offsetX_; }
  int OffsetY() const { return offsetY_; }

 private:
  void OnScroll(int bar, WPARAM wparam);
  // A turn of the wheel by `delta` (WHEEL_DELTA a notch; positive: towards the top or left).
  void OnWheel(int bar, int delta);
  // Moves bar `bar` to `position` as far as its limits allow and scrolls the content there.
  void ScrollBarTo(int bar, int position);
  void ScrollTo(int x, int y);

  Window& content_;
  int offsetX_ = 0;
  int offsetY_ = 0;
  int wheelX_ = 0;  // parts of a notch not yet scrolled (fine-grained wheels)
  int wheelY_ = 0;
};
