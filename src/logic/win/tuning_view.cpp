#include "logic/win/tuning_view.h"

#include <windowsx.h>

#include "shell/win/gdi.h"

namespace {

constexpr int kBars = device::TuningState::kValues;

int Scaled(int height, std::uint32_t value, std::uint32_t total) {
  return static_cast<int>(std::uint64_t{static_cast<std::uint32_t>(height)} * value / total);
}

}  // namespace

void TuningView::Create(HWND parent, HINSTANCE instance, const RECT& area) {
  CreateDescribedWindow(*this, {.className = L"TuningView",
                                .instance = instance,
                                .classStyle = CS_OWNDC | CS_HREDRAW | CS_VREDRAW,
                                .cursor = LoadCursorW(nullptr, IDC_CROSS),
                                .exStyle = WS_EX_CLIENTEDGE,
                                .style = WS_CHILD | WS_VISIBLE,
                                .x = area.left,
                                .y = area.top,
                                .width = area.right - area.left,
                                .height = area.bottom - area.top,
                                .parent = parent,
                                .failure = "Nie udało się utworzyć widoku Tuningu."});
}

void TuningView::SetMarkers(std::int32_t featureThreshold, std::int32_t threshold) {
  featureMarker_ = featureThreshold;
  thresholdMarker_ = threshold;
  if (window) InvalidateRect(window, nullptr, FALSE);
}

TuningView::Values TuningView::ValuesAt(int x, int y, int width, int height, std::uint32_t total) {
  Values values{0, 0};
  if (width > 0 && x >= 0) values.horizontal = static_cast<std::uint32_t>(std::uint64_t{static_cast<unsigned>(x)} * 1000 / static_cast<unsigned>(width));
  if (height > 0 && y <= height) {
    values.vertical = static_cast<std::uint32_t>(std::uint64_t{static_cast<unsigned>(height - y)} * total /
                                                 static_cast<unsigned>(height));
  }
  return values;
}

void TuningView::Draw(HDC target, int width, int height) const {
  if (width <= 0 || height <= 0) return;
  MemoryDc dc(target);
  BitmapHandle bitmap(CreateCompatibleBitmap(target, kBars, height));
  SelectObjectScope selected(dc.Get(), bitmap.Get());
  const RECT all{0, 0, kBars, height};
  FillRect(dc.Get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  const auto sums = state_.Sums();
  const std::uint32_t total = sums[kBars - 1];
  if (total != 0) {
    {
      PenHandle green(CreatePen(PS_SOLID, 1, RGB(0, 127, 0)));
      SelectObjectScope pen(dc.Get(), green.Get());
      for (int i = 0; i < kBars; ++i) {
        MoveToEx(dc.Get(), i, height - 1, nullptr);
        LineTo(dc.Get(), i, height - Scaled(height, sums[static_cast<std::size_t>(i)], total) - 1);
      }
    }
    if (featureMarker_ >= 0 && thresholdMarker_ >= 0) {
      PenHandle red(CreatePen(PS_SOLID, 1, RGB(200, 0, 0)));
      SelectObjectScope pen(dc.Get(), red.Get());
      const int x = featureMarker_ >> 2;
      MoveToEx(dc.Get(), x, height - 1, nullptr);
      LineTo(dc.Get(), x, -1);
      const int y = height - Scaled(height, static_cast<std::uint32_t>(thresholdMarker_), total);
      MoveToEx(dc.Get(), 0, y, nullptr);
      LineTo(dc.Get(), kBars, y);
    }
  }
  StretchBlt(target, 0, 0, width, height, dc.Get(), 0, 0, kBars, height, SRCCOPY);
}

bool TuningView::Paint() {
  PaintDc paint(window);
  RECT client{};
  GetClientRect(window, &client);
  Draw(paint.Get(), client.right, client.bottom);
  return true;
}

LRESULT TuningView::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_PRINTCLIENT) {
    RECT client{};
    GetClientRect(hwnd, &client);
    Draw(reinterpret_cast<HDC>(wparam), client.right, client.bottom);
    return 0;
  }
  if ((message == WM_MOUSEMOVE || message == WM_LBUTTONDOWN) && pointer) {
    pointer(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam), message == WM_LBUTTONDOWN);
    return 0;
  }
  return Window::WindowProc(hwnd, message, wparam, lparam);
}
