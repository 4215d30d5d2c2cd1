// The windows at the screen's resolution. shell_win_tests runs at 96 dots per inch; ctest runs
// these tests once more in a prefix whose screen has 144 (tests/shell/win/dpi-prefix.sh, with
// TREVNA_EXPECT_DPI). At either, no text may be clipped and no two controls may overlap, and the
// main window with a document is saved as main_window_<tab>_<dpi>dpi.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cwctype>
#include <string>
#include <vector>

#include "archive/synthetic_road.h"
#include "base/text.h"
#include "doc/document.h"
#include "logic/win/tuning_frame.h"
#include "app/win/tab_view.h"
#include "resource_ids.h"
#include "support/win_artifacts.h"
#include "frame_test_support.h"

using namespace frame_test;

namespace {

const auto Text = WindowTitle;

std::wstring ClassOf(HWND window) {
  wchar_t name[32] = L"";
  GetClassNameW(window, name, 32);
  for (wchar_t& c : name) c = static_cast<wchar_t>(std::towlower(c));
  return name;
}

std::string Name(HWND window) { return Utf8FromWide(ClassOf(window) + L" \"" + Text(window) + L"\""); }

// Whether `text`, drawn in the font of `window`, fits `width` by `height`; when not, what it needs.
std::string Overflow(HWND window, std::wstring text, int width, int height) {
  if (const auto amp = text.find(L'&'); amp != std::wstring::npos) text.erase(amp, 1);  // a mnemonic
  SIZE size{};
  HDC dc = GetDC(window);
  auto font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
  HGDIOBJ old = SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  if (size.cx <= width && size.cy <= height) return "";
  return Utf8FromWide(text) + " needs " + std::to_string(size.cx) + "x" + std::to_string(size.cy) + ", has " +
         std::to_string(width) + "x" + std::to_string(height) + "\n";
}

// What a user would see wrong among the visible children of `parent`: a text wider or higher
// than the room its control gives it, two controls overlapping (group boxes hold others), a
// control reaching out of the parent's client area.
std::string LayoutProblems(HWND parent) {
  std::vector<HWND> children;
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    if (IsWindowVisible(c)) children.push_back(c);
  const auto rectOf = [parent](HWND c) {
    RECT r{};
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
  };
  const auto type = [](HWND c) { return GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK; };
  const auto isGroup = [&](HWND c) { return ClassOf(c) == L"button" && type(c) == BS_GROUPBOX; };
  RECT client{};
  GetClientRect(parent, &client);
  std::string problems;
  for (std::size_t i = 0; i < children.size(); ++i) {
    HWND c = children[i];
    const RECT r = rectOf(c);
    if (r.left < 0 || r.top < 0 || r.right > client.right || r.bottom > client.bottom)
      problems += Name(c) + " reaches out of its window\n";
    const std::wstring cls = ClassOf(c);
    if (!Text(c).empty() && !isGroup(c) && (cls == L"static" || cls == L"button" || cls == L"edit")) {
      RECT inner{};
      GetClientRect(c, &inner);
      int room = inner.right;
      const LONG t = type(c);
      if (cls == L"button" && (t == BS_CHECKBOX || t == BS_AUTOCHECKBOX || t == BS_RADIOBUTTON || t == BS_AUTORADIOBUTTON))
        room -= GetSystemMetrics(SM_CXMENUCHECK) + GetSystemMetrics(SM_CXEDGE);  // the box or circle
      else if (cls == L"button")
        room -= 2 * GetSystemMetrics(SM_CXEDGE);
      else if (cls == L"edit")
        room -= LOWORD(SendMessageW(c, EM_GETMARGINS, 0, 0)) + HIWORD(SendMessageW(c, EM_GETMARGINS, 0, 0));
      problems += Overflow(c, Text(c), room, inner.bottom);
    }
    for (std::size_t j = i + 1; j < children.size(); ++j) {
      RECT other = rectOf(children[j]), common{};
      if (!isGroup(c) && !isGroup(children[j]) && IntersectRect(&common, &r, &other))
        problems += Name(c) + " overlaps " + Name(children[j]) + "\n";
    }
  }
  return problems;
}

// A document as a technician has it: four tracks of road under the road detectors.
RenderState RoadDocument() {
  RenderState state = RenderState::New();
  state.pictures.clear();
  for (std::uint32_t track = 0; track < 4; ++track) {
    const std::vector<std::uint8_t> grey = synthetic::RoadScene(track, 240, 144).Render(1.0);
    Picture picture;
    for (int i = 0; i < 240 * 144; ++i) picture.SetGrey(i % 240, i / 240, grey[static_cast<std::size_t>(i)]);
    state.pictures.emplace_back(std::move(picture));
  }
  frame_test::AddRoadDetectors(state);
  return state;
}

TEST(ScreenDpi, TheMainWindowWithADocumentHasNothingClippedOrOverlapping) {
  const int dpi = ScreenDpi();
  if (const char* expected = std::getenv("TREVNA_EXPECT_DPI")) {
    ASSERT_EQ(dpi, std::atoi(expected)) << "the prefix's screen does not have the resolution this run is for";
  }
  FrameRig rig(ApplicationParts);
  HWND frame = rig.frame->window;
  SetWindowPos(frame, nullptr, 0, 0, ScaledPixels(820), ScaledPixels(620), SWP_NOZORDER);
  rig.frame->Doc().Replace(RoadDocument(), "");
  rig.frame->Editor().DocumentReplaced();
  rig.Key(rig.frame->Tabs().Handle(), VK_F12);  // the tuning window too
  for (int tab : {0, 1}) {
    SCOPED_TRACE(tab);
    rig.ClickTab(tab);
    RedrawWindow(frame, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    rig.Idle();

    // The floating windows shown on this tab: every control and its text fit.
    RECT shot{};
    GetWindowRect(frame, &shot);
    for (HWND floating : {rig.frame->Parameters().Handle(), rig.frame->Definitions().Handle(),
                          rig.frame->DeviceList().Handle(), rig.frame->Tuning().Handle()}) {
      if (!IsWindowVisible(floating)) continue;
      // Above the main window on the screen too (Xvfb runs no window manager to stack them).
      SetWindowPos(floating, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      EXPECT_EQ(LayoutProblems(floating), "") << Utf8FromWide(Text(floating));
      RECT r{};
      GetWindowRect(floating, &r);
      UnionRect(&shot, &shot, &r);
    }
    rig.Idle();
    OffscreenBitmap picture;
    ASSERT_TRUE(trevna_test::CaptureScreen(shot, picture));
    EXPECT_FALSE(trevna_test::SaveArtifact(picture, "main_window_" + std::string(tab == 0 ? "video" : "detectors") + "_" +
                                                        std::to_string(dpi) + "dpi")
                     .empty());
  }

  // The main window's own strips: the toolbar's buttons inside it, status texts inside their
  // part, a diagnostics row below the list's header.
  HWND toolbar = rig.frame->Toolbar();
  RECT bar{};
  GetClientRect(toolbar, &bar);
  for (int i = 0; i < static_cast<int>(SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0)); ++i) {
    RECT button{};
    SendMessageW(toolbar, TB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&button));
    EXPECT_TRUE(button.bottom <= bar.bottom && button.right <= bar.right) << "button " << i;
  }
  HWND status = rig.frame->StatusView().Handle();
  RECT part{};
  SendMessageW(status, SB_GETRECT, 0, reinterpret_cast<LPARAM>(&part));
  for (const char* text : {"Nie połączony", "Konfigurowanie ustawień sieciowych...", "Nie udało się otworzyć połączenia"})
    EXPECT_EQ(Overflow(status, WideFromUtf8(text), part.right - part.left - 2 * GetSystemMetrics(SM_CXEDGE),
                       part.bottom - part.top), "");
  // The tabs' font is 8 points at the screen's resolution, and their titles fit.
  EXPECT_EQ(TabFontHeight(96), -10);
  EXPECT_EQ(TabFontHeight(120), -13);
  LOGFONTW font{};
  ASSERT_TRUE(GetObjectW(rig.frame->Tabs().Font(), sizeof font, &font));
  EXPECT_EQ(font.lfHeight, TabFontHeight(dpi));
  HWND tabs = rig.frame->Tabs().Handle();
  for (int i = 0; i < 2; ++i) {
    wchar_t title[64] = L"";
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = title;
    item.cchTextMax = 64;
    SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(Utf8FromWide(title), i == 0 ? "Podgląd wideo" : "Konfiguracja detektorów");
    RECT r{};
    SendMessageW(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
    EXPECT_EQ(Overflow(tabs, title, r.right - r.left, r.bottom - r.top), "");
  }
  HWND list = rig.frame->Problems().List();
  RECT row{}, listArea{};
  row.left = LVIR_BOUNDS;
  ASSERT_TRUE(SendMessageW(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row))) << "no diagnostics row";
  GetClientRect(list, &listArea);
  EXPECT_LE(row.bottom, listArea.bottom) << "no diagnostics row fits below the header";
  // The row shows the error mark: red pixels at its start.
  OffscreenBitmap shown;
  ASSERT_TRUE(RenderClient(list, shown));
  row.left = LVIR_ICON;
  SendMessageW(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
  int red = 0;
  for (int y = row.top; y < row.bottom; ++y)
    for (int x = row.left; x < row.right; ++x)
      if (const std::uint32_t p = shown.Pixel(x, y); (p >> 16) > 150 && ((p >> 8) & 0xFF) < 80 && (p & 0xFF) < 80) ++red;
  EXPECT_GT(red, 40) << "no error mark in the diagnostics row";
}

}  // namespace
