#include "shell/win/window.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "shell/win/error_box.h"
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
