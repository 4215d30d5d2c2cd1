#include "app/win/tab_view.h"

#include <commctrl.h>

#include <stdexcept>
#include <string>

#include "base/text.h"
#include "doc/update_sink.h"
#include "resource_ids.h"

int TabFontHeight(int dpi) {
  return -(8 * dpi) / 72;
}

TabView::~TabView() {
  if (window_ && IsWindow(window_)) DestroyWindow(window_);
}

void TabView::Create(HWND parent, const RECT& area) {
  window_ = CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, area.left, area.top,
                            area.right - area.left, area.bottom - area.top, parent, nullptr, frame_.Instance(),
                            nullptr);
  if (!window_) throw std::runtime_error(Cp1250FromUtf8("Nie udało się utworzyć okna zakładek."));
  const int dpi = GetDeviceCaps(WindowDc(nullptr).Get(), LOGPIXELSY);
  // Central European character set: the bitmap "MS Sans Serif" of the Western set has no "ą".
  font_.Reset(CreateFontW(TabFontHeight(dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, EASTEUROPE_CHARSET,
                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"MS Sans Serif"));
  SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), TRUE);
  const char* titles[2] = {"Podgląd wideo", "Konfiguracja detektorów"};
  for (int i = 0; i < 2; ++i) {
    std::wstring text = WideFromUtf8(titles[i]);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text.data();
    SendMessageW(window_, TCM_INSERTITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
  }
  const RECT display = DisplayArea();
  live_.Create(frame_, parent, display);
  editor_.Create(frame_, parent, display);
  SelectionChanged();
}

RECT TabView::DisplayArea() const {
  RECT client{};
  GetClientRect(window_, &client);
  SendMessageW(window_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&client));
  MapWindowPoints(window_, GetParent(window_), reinterpret_cast<POINT*>(&client), 2);
  return client;
}

void TabView::Layout(const RECT& area) {
  MoveWindow(window_, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
  const RECT display = DisplayArea();
  editor_.Layout(display);
  live_.Layout(display);
}

void TabView::SelectionChanged() {
  const auto selected = static_cast<int>(SendMessageW(window_, TCM_GETCURSEL, 0, 0));
  current_ = selected == 1 ? 1 : 0;
  editor_.Show(current_ == 1);
  live_.Show(current_ == 0);
  frame_.Updates().RequestUpdate(UpdatePanels);
}

bool TabView::Command(UINT id) {
  if (id != IDM_ZOOM_IN && id != IDM_ZOOM_OUT) return false;
  TabPart& view = current_ == 1 ? static_cast<TabPart&>(editor_) : static_cast<TabPart&>(live_);
  if (id == IDM_ZOOM_IN) {
    view.ZoomIn();
  } else {
    view.ZoomOut();
  }
  return true;
}
