#include "shell/win/scroll_view.h"

#include <climits>

#include "base/trace.h"

namespace {

constexpr int kLineStep = 20;
constexpr int kPageStep = 120;

SIZE ContentSize(HWND content) {
  RECT rect{};
  if (content) GetWindowRect(content, &rect);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

// Sets one bar's range and page for a content extent and client size; returns the position
// the bar should then have, given the current one.
int FitBar(HWND viewport, int bar, int extent, int client, int current, int& maximum) {
  maximum = extent - 1;
  int position = current;
  if (maximum < client) {
    position = 0;
  } else if (maximum - client < current) {
    position = maximum - client;
  }
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE;
  info.nMin = 0;
  info.nMax = maximum;
  info.nPage = static_cast<UINT>(client < 0 ? 0 : client);
  if (position != current) {
    info.fMask |= SIF_POS;
    info.nPos = position;
  }
  SetScrollInfo(viewport, bar, &info, TRUE);
  return position;
}

}  // namespace

void ScrollView::Create(HWND parent, HINSTANCE instance, const RECT& rectangle) {
  CreateDescribedWindow(*this, {.className = L"ScrollView",
                                .instance = instance,
                                .classStyle = CS_OWNDC,
                                .background = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)),
                                .style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                                .x = rectangle.left,
                                .y = rectangle.top,
                                .width = rectangle.right - rectangle.left,
                                .height = rectangle.bottom - rectangle.top,
                                .parent = parent,
                                .failure = "Nie udało się utworzyć okna przewijanego widoku."});
}

void ScrollView::Update() {
  const SIZE content = ContentSize(content_.window);
  int x = offsetX_;
  int y = offsetY_;
  // Showing or hiding one bar changes the client size the other sees: fit twice.
  for (int pass = 0; pass < 2; ++pass) {
    RECT client{};
    GetClientRect(window, &client);
    const int pageX = client.right;
    int maxX = 0;
    x = FitBar(window, SB_HORZ, content.cx, pageX, x, maxX);
    GetClientRect(window, &client);
    const int pageY = client.bottom;
    int maxY = 0;
    y = FitBar(window, SB_VERT, content.cy, pageY, y, maxY);
    Trace("%s: HORZ(nMax=%d nPage=%d) VERT(nMax=%d nPage=%d)\n", "ScrollView::Update", maxX, pageX, maxY, pageY);
  }
  ScrollTo(x, y);
}

void ScrollView::ScrollTo(int x, int y) {
  ScrollWindowEx(window, offsetX_ - x, offsetY_ - y, nullptr, nullptr, nullptr, nullptr,
                 SW_SCROLLCHILDREN | SW_INVALIDATE | SW_ERASE);
  UpdateWindow(window);
  Trace("%s: %d %d\n", "ScrollView::ScrollWindow", x, y);
  offsetX_ = x;
  offsetY_ = y;
}

void ScrollView::OnScroll(int bar, WPARAM wparam) {
  const int current = bar == SB_HORZ ? offsetX_ : offsetY_;
  int position = current;
  switch (LOWORD(wparam)) {
    case SB_LINEUP: position = current - kLineStep; break;
    case SB_LINEDOWN: position = current + kLineStep; break;
    case SB_PAGEUP: position = current - kPageStep; break;
    case SB_PAGEDOWN: position = current + kPageStep; break;
    case SB_TOP: position = 0; break;
    case SB_BOTTOM: position = INT_MAX; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: position = HIWORD(wparam); break;
    default: break;
  }
  ScrollBarTo(bar, position);
}

void ScrollView::ScrollBarTo(int bar, int position) {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_POS;
  info.nPos = position;
  SetScrollInfo(window, bar, &info, TRUE);
  GetScrollInfo(window, bar, &info);  // the bar's own limits clamp the request
  if (bar == SB_HORZ) {
    ScrollTo(info.nPos, offsetY_);
  } else {
    ScrollTo(offsetX_, info.nPos);
  }
}

void ScrollView::OnWheel(int bar, int delta) {
  // The user's setting: lines (or characters sideways) per notch, or a page.
  UINT perNotch = 3;
  SystemParametersInfoW(bar == SB_HORZ ? SPI_GETWHEELSCROLLCHARS : SPI_GETWHEELSCROLLLINES, 0, &perNotch, 0);
  const int step = perNotch == WHEEL_PAGESCROLL ? kPageStep : static_cast<int>(perNotch) * kLineStep;
  if (step <= 0) return;
  int& pending = bar == SB_HORZ ? wheelX_ : wheelY_;
  pending += delta;
  const int pixels = pending * step / WHEEL_DELTA;
  if (pixels == 0) return;
  pending -= pixels * WHEEL_DELTA / step;
  ScrollBarTo(bar, (bar == SB_HORZ ? offsetX_ : offsetY_) - pixels);
}

LRESULT ScrollView::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_HSCROLL:
      OnScroll(SB_HORZ, wparam);
      return 0;
    case WM_VSCROLL:
      OnScroll(SB_VERT, wparam);
      return 0;
    case WM_MOUSEWHEEL:  // forward: up; with Shift: sideways, forward to the left
      OnWheel((GET_KEYSTATE_WPARAM(wparam) & MK_SHIFT) ? SB_HORZ : SB_VERT, GET_WHEEL_DELTA_WPARAM(wparam));
      return 0;
    case WM_MOUSEHWHEEL:  // tilted right: to the right
      OnWheel(SB_HORZ, -GET_WHEEL_DELTA_WPARAM(wparam));
      return 0;
    default:
      return Window::WindowProc(hwnd, message, wparam, lparam);
  }
}
