#include "shell/win/window.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <utility>
#include <string>
#include <vector>

#include "base/text.h"
#include "shell/win/error_box.h"
#include "shell/win/gdi.h"
#include "support/win_artifacts.h"
#include "win_test_support.h"

namespace {

TEST(Window, MessagesBeforeNcCreateGoToTheDefaultProcedure) {
  RecordingWindow object;
  HWND hwnd = object.Create(WS_OVERLAPPEDWINDOW, 10, 10, 200, 150);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(object.window, hwnd);
  ASSERT_FALSE(object.messages.empty());
  // The system sends WM_GETMINMAXINFO before WM_NCCREATE: the object never sees it first.
  EXPECT_EQ(object.messages.front(), static_cast<UINT>(WM_NCCREATE));
  EXPECT_EQ(reinterpret_cast<RecordingWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)), &object);
  // Later messages reach the object.
  object.messages.clear();
  SendMessageW(hwnd, WM_USER + 7, 0, 0);
  ASSERT_EQ(object.messages.size(), 1u);
  EXPECT_EQ(object.messages[0], static_cast<UINT>(WM_USER + 7));
  DestroyWindow(hwnd);
}

// One call registers the class as described, creates the window bound to its object, and turns
// a failed creation into the described message; a second window of the class needs nothing more.
TEST(Window, CreateDescribedWindowRegistersCreatesBindsOrThrows) {
  const HCURSOR cross = LoadCursorW(nullptr, IDC_CROSS);
  const HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  const HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  struct Case {
    WindowDescription description;
    HCURSOR cursor;  // what the class holds
    bool created;
  };
  const Case cases[] = {
      {{.className = L"DescribedTool", .instance = GetModuleHandleW(nullptr), .classStyle = CS_OWNDC | CS_HREDRAW,
        .background = white, .cursor = cross, .exStyle = WS_EX_TOOLWINDOW, .style = WS_OVERLAPPEDWINDOW,
        .title = L"Definicja", .x = 20, .y = 30, .width = 210, .height = 160, .failure = "unused"},
       cross, true},
      {{.className = L"DescribedTool", .instance = GetModuleHandleW(nullptr), .style = WS_OVERLAPPEDWINDOW,
        .width = 180, .height = 120},
       cross, true},  // registered before: the class stays as it was
      {{.className = L"DescribedPlain", .instance = GetModuleHandleW(nullptr), .style = WS_POPUP, .width = 50,
        .height = 40},
       arrow, true},
      {{.className = L"DescribedChild", .instance = GetModuleHandleW(nullptr), .style = WS_CHILD, .width = 50,
        .height = 40, .parent = nullptr, .failure = "Nie udało się utworzyć okna widoku."},
       arrow, false},  // a child without a parent cannot be created
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.description.style);
    RecordingWindow object;
    if (!c.created) {
      try {
        CreateDescribedWindow(object, c.description);
        ADD_FAILURE() << "no exception";
      } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), Cp1250FromUtf8(c.description.failure));
      }
      EXPECT_EQ(object.window, nullptr);
      continue;
    }
    const HWND hwnd = CreateDescribedWindow(object, c.description);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(object.window, hwnd);
    EXPECT_EQ(reinterpret_cast<RecordingWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)), &object);
    EXPECT_EQ(object.messages.front(), static_cast<UINT>(WM_NCCREATE));
    WNDCLASSEXW registered{};
    registered.cbSize = sizeof registered;
    ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), c.description.className, &registered));
    EXPECT_EQ(registered.lpfnWndProc, &Window::SharedWindowProc);
    EXPECT_EQ(registered.hCursor, c.cursor);
    if (c.cursor == cross) {
      EXPECT_EQ(registered.style, static_cast<UINT>(CS_OWNDC | CS_HREDRAW));
      EXPECT_EQ(registered.hbrBackground, white);
    }
    EXPECT_EQ((GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0,
              (c.description.exStyle & WS_EX_TOOLWINDOW) != 0);
    wchar_t title[32] = L"";
    GetWindowTextW(hwnd, title, 32);
    EXPECT_EQ(std::wstring(title), c.description.title);
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    EXPECT_EQ(rect.right - rect.left, c.description.width);
    EXPECT_EQ(rect.bottom - rect.top, c.description.height);
    DestroyWindow(hwnd);
  }
}

TEST(Window, PaintTrueSkipsDefaultPaintingAndFalseLeavesItToTheSystem) {
  RecordingWindow painter;
  painter.paintResult = true;
  HWND painted = painter.Create(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 150);
  RecordingWindow idle;
  HWND defaulted = idle.Create(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 220, 0, 200, 150);
  ASSERT_TRUE(painted && defaulted);
  InvalidateRect(painted, nullptr, TRUE);
  InvalidateRect(defaulted, nullptr, TRUE);
  UpdateWindow(painted);
  UpdateWindow(defaulted);
  EXPECT_GE(painter.paintCalls, 1);
  EXPECT_GE(idle.paintCalls, 1);
  // The default handler validates the window; a Paint that claims the message leaves it as is.
  RECT rect;
  EXPECT_TRUE(GetUpdateRect(painted, &rect, FALSE));
  EXPECT_FALSE(GetUpdateRect(defaulted, &rect, FALSE));
  ValidateRect(painted, nullptr);
  DestroyWindow(painted);
  DestroyWindow(defaulted);
}

TEST(Window, ShowHidesWithoutDestroyingAndResizeKeepsThePosition) {
  RecordingWindow object;
  HWND hwnd = object.Create(WS_OVERLAPPEDWINDOW, 40, 30, 200, 150);
  ASSERT_NE(hwnd, nullptr);
  object.Show(true);
  EXPECT_TRUE(IsWindowVisible(hwnd));
  object.Show(false);
  EXPECT_FALSE(IsWindowVisible(hwnd));
  EXPECT_TRUE(IsWindow(hwnd));

  RECT before;
  GetWindowRect(hwnd, &before);
  object.Resize(320, 240);
  RECT after;
  GetWindowRect(hwnd, &after);
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.top, before.top);
  EXPECT_EQ(after.right - after.left, 320);
  EXPECT_EQ(after.bottom - after.top, 240);
  DestroyWindow(hwnd);
}

// A dialog built in memory, whose command handler fails.
class FailingDialog : public Dialog {
 public:
  int commands = 0;
  INT_PTR DialogProc(HWND, UINT message, WPARAM, LPARAM) override {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND) {
      ++commands;
      throw std::runtime_error("Nie można.");
    }
    return FALSE;
  }
};

HWND CreateEmptyDialog(Dialog& object) {
  struct {
    DLGTEMPLATE header;
    WORD menu, windowClass, title;
  } dialogTemplate{};
  dialogTemplate.header.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
  dialogTemplate.header.cx = 100;
  dialogTemplate.header.cy = 50;
  return CreateDialogIndirectParamW(GetModuleHandleW(nullptr), &dialogTemplate.header, nullptr,
                                    &Dialog::SharedDialogProc, reinterpret_cast<LPARAM>(&object));
}

TEST(Window, DialogFailureIsShownOnceOwnedByTheDialogAndTheDialogStays) {
  std::vector<std::pair<HWND, std::string>> shown;
  SetErrorBoxHook([&](HWND owner, const std::string& text) { shown.emplace_back(owner, text); });
  FailingDialog object;
  HWND dialog = CreateEmptyDialog(object);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(object.dialog, dialog);
  const LRESULT handled = SendMessageW(dialog, WM_COMMAND, IDOK, 0);
  (void)handled;
  EXPECT_EQ(object.commands, 1);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].first, dialog);
  EXPECT_EQ(shown[0].second, "Nie można.");
  EXPECT_TRUE(IsWindow(dialog));
  DestroyWindow(dialog);
  SetErrorBoxHook(nullptr);
}

}  // namespace

namespace {

// A window whose WindowProc throws for one chosen message.
class ThrowingWindow : public RecordingWindow {
 public:
  UINT failOn = 0;
  LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override {
    if (message == failOn) throw std::runtime_error("Błąd okna.");
    return RecordingWindow::WindowProc(hwnd, message, wparam, lparam);
  }
};

TEST(Window, FailuresAreShownOnceAndNeverCrossIntoTheSystem) {
  std::vector<std::string> shown;
  SetErrorBoxHook([&](HWND, const std::string& text) { shown.push_back(text); });
  {
    ThrowingWindow object;
    object.failOn = WM_USER + 1;
    HWND hwnd = object.Create(WS_OVERLAPPEDWINDOW, 0, 0, 100, 100);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(SendMessageW(hwnd, WM_USER + 1, 0, 0), 0);
    EXPECT_EQ(shown, std::vector<std::string>{"Błąd okna."});
    EXPECT_TRUE(IsWindow(hwnd));  // the window lives on
    DestroyWindow(hwnd);
  }
  shown.clear();
  {
    ThrowingWindow object;
    object.failOn = WM_NCCREATE;  // a failed creation message refuses the window
    EXPECT_EQ(object.Create(WS_OVERLAPPEDWINDOW, 0, 0, 100, 100), nullptr);
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_EQ(object.window, nullptr);
  }
  SetErrorBoxHook(nullptr);
}

// Records every message into a log that outlives the object.
class LoggingWindow : public RecordingWindow {
 public:
  explicit LoggingWindow(std::vector<UINT>& log) : log_(log) {}
  LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override {
    log_.push_back(message);
    return RecordingWindow::WindowProc(hwnd, message, wparam, lparam);
  }

 private:
  std::vector<UINT>& log_;
};

TEST(Window, DestroyedWindowsAndObjectsStayApart) {
  std::vector<UINT> log;
  // A destroyed window unbinds its object after WM_NCDESTROY.
  {
    LoggingWindow object(log);
    HWND hwnd = object.Create(WS_OVERLAPPEDWINDOW, 0, 0, 100, 100);
    ASSERT_NE(hwnd, nullptr);
    DestroyWindow(hwnd);
    EXPECT_EQ(object.window, nullptr);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), static_cast<UINT>(WM_NCDESTROY));
    const auto seen = log.size();
    SendMessageW(hwnd, WM_USER + 3, 0, 0);
    EXPECT_EQ(log.size(), seen);
  }
  // An object that goes first takes its window (and the window's children) with it.
  HWND orphan = nullptr;
  HWND child = nullptr;
  {
    LoggingWindow object(log);
    orphan = object.Create(WS_OVERLAPPEDWINDOW, 0, 0, 100, 100);
    RecordingWindow inner;
    child = inner.Create(WS_CHILD | WS_VISIBLE, 0, 0, 20, 20, orphan);
    ASSERT_TRUE(orphan && child);
  }
  EXPECT_FALSE(IsWindow(orphan));
  EXPECT_FALSE(IsWindow(child));
}

TEST(Window, ModelessDialogGoesWithItsObject) {
  HWND dialog = nullptr;
  {
    FailingDialog object;
    dialog = CreateEmptyDialog(object);
    ASSERT_NE(dialog, nullptr);
  }
  EXPECT_FALSE(IsWindow(dialog));
  // A dialog destroyed first leaves a harmless object.
  FailingDialog object;
  dialog = CreateEmptyDialog(object);
  DestroyWindow(dialog);
  EXPECT_EQ(object.dialog, nullptr);
}

TEST(Gdi, ScopesReleaseAndRestoreWhatTheyTook) {
  MemoryDc dc;
  ASSERT_TRUE(dc);
  HGDIOBJ original = GetCurrentObject(dc.Get(), OBJ_PEN);
  HPEN raw = nullptr;
  {
    PenHandle pen(CreatePen(PS_SOLID, 1, RGB(1, 2, 3)));
    raw = pen.Get();
    SelectObjectScope selected(dc.Get(), pen.Get());
    EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_PEN), raw);
  }
  EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_PEN), original);
  EXPECT_EQ(GetObjectType(raw), 0u);  // deleted
  BrushHandle moved(CreateSolidBrush(RGB(9, 9, 9)));
  HBRUSH brush = moved.Get();
  BrushHandle owner(std::move(moved));
  EXPECT_FALSE(moved);
  EXPECT_EQ(owner.Get(), brush);
}

// Paints its client area in one colour with a second colour in the top-left 10 x 10.
class ColourWindow : public RecordingWindow {
 public:
  LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override {
    if (message == WM_PRINTCLIENT) {
      Draw(reinterpret_cast<HDC>(wparam));
      return 0;
    }
    return RecordingWindow::WindowProc(hwnd, message, wparam, lparam);
  }
  void Draw(HDC dc) {
    RECT all{0, 0, 1000, 1000}, corner{0, 0, 10, 10};
    BrushHandle blue(CreateSolidBrush(RGB(0, 0, 255)));
    BrushHandle red(CreateSolidBrush(RGB(255, 0, 0)));
    FillRect(dc, &all, blue.Get());
    FillRect(dc, &corner, red.Get());
  }
};

TEST(Gdi, OffscreenBitmapReadsBackWhatAWindowDraws) {
  ColourWindow object;
  HWND hwnd = object.Create(WS_POPUP, 0, 0, 64, 48);
  ASSERT_NE(hwnd, nullptr);
  OffscreenBitmap picture;
  ASSERT_TRUE(RenderClient(hwnd, picture));
  EXPECT_EQ(picture.Width(), 64);
  EXPECT_EQ(picture.Height(), 48);
  EXPECT_EQ(picture.Pixel(5, 5), 0xFF0000u);
  EXPECT_EQ(picture.Pixel(10, 10), 0x0000FFu);
  EXPECT_EQ(picture.Pixel(63, 47), 0x0000FFu);
  // One block copy carries it to another picture unchanged.
  // As a bitmap file: bottom row first, blue-green-red, rows of 64 * 3 bytes.
  const std::string bmp = picture.BmpFile();
  ASSERT_EQ(bmp.size(), 54u + 64 * 3 * 48);
  EXPECT_EQ(bmp.substr(54, 3), std::string("\xFF\x00\x00", 3));
  EXPECT_EQ(bmp.substr(54 + 64 * 3 * 47, 3), std::string("\x00\x00\xFF", 3));
  // The runner turns saved pictures into PNG screenshots.
  const auto saved = trevna_test::SaveArtifact(picture, "window-render-check");
  ASSERT_FALSE(saved.empty());
  EXPECT_EQ(std::filesystem::file_size(saved), bmp.size());
  OffscreenBitmap copy;
  ASSERT_TRUE(copy.Create(64, 48));
  picture.CopyTo(copy.Dc());
  EXPECT_EQ(copy.Pixel(9, 9), 0xFF0000u);
  EXPECT_EQ(copy.Pixel(20, 20), 0x0000FFu);
  DestroyWindow(hwnd);
}

}  // namespace
