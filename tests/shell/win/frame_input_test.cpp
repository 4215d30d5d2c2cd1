// The mouse wheel and the keyboard as the main loop hands them on, in the frame the program
// builds: the wheel scrolls the view under the pointer (detector editor, live view, output
// definitions), Shift+wheel and the tilt wheel sideways; Tab moves between the tuning window's
// boxes; Ctrl+C, Ctrl+V, Ctrl+X and Ctrl+Z typed into a box of a floating window edit that box's
// text, and elsewhere act on the document.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "device/win/live_view.h"
#include "doc/document.h"
#include "doc/win/main_view.h"
#include "logic/win/composer_frame.h"
#include "logic/win/tuning_frame.h"
#include "resource_ids.h"
#include "frame_test_support.h"

using namespace frame_test;

namespace {

int Position(HWND viewport, int bar) {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_POS;
  GetScrollInfo(viewport, bar, &info);
  return info.nPos;
}

std::wstring Text(HWND window) {
  wchar_t text[64] = L"";
  SendMessageW(window, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(text));
  return text;
}

std::wstring ClipboardText() {
  std::wstring text;
  if (!OpenClipboard(nullptr)) return L"(clipboard not open)";
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
      text = chars;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

TEST(FrameInput, TheWheelScrollsTheViewUnderThePointer) {
  FrameRig rig(ApplicationParts);
  UINT lines = 3, chars = 3;
  SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
  SystemParametersInfoW(SPI_GETWHEELSCROLLCHARS, 0, &chars, 0);
  const int down = static_cast<int>(lines) * 20, side = static_cast<int>(chars) * 20;
  ASSERT_GT(down, 0);
  ASSERT_GT(side, 0);
  auto& definitions = dynamic_cast<ComposerFrame&>(rig.frame->Definitions());
  struct View {
    const char* name;
    int tab;  // -1: a floating window
    std::function<HWND()> viewport;
  };
  const View views[] = {
      {"live view", 0, [&] { return dynamic_cast<LiveView&>(rig.frame->Live()).Scroller().window; }},
      {"detector editor", 1, [&] { return dynamic_cast<MainView&>(rig.frame->Editor()).Scroller(); }},
      {"output definitions", -1, [&] { return definitions.View().Scroller().window; }},
  };
  // A notch towards the user scrolls down; Shift+wheel and tilting right scroll right; half a
  // notch (a fine-grained wheel) scrolls half as far.
  struct Turn {
    int delta;
    bool tilt;
    WPARAM keys;
    int x, y;  // the positions after the turn, in half notches
  };
  const Turn turns[] = {{-WHEEL_DELTA, false, 0, 0, 2},     {-WHEEL_DELTA, false, 0, 0, 4},
                        {WHEEL_DELTA, false, 0, 0, 2},      {-WHEEL_DELTA, false, MK_SHIFT, 2, 2},
                        {WHEEL_DELTA, true, 0, 4, 2},       {-WHEEL_DELTA / 2, false, 0, 4, 3},
                        {-WHEEL_DELTA / 2, false, 0, 4, 4}, {WHEEL_DELTA, false, MK_SHIFT, 2, 4}};
  // A definition wide enough to scroll sideways in a small window.
  ExprNode wide(NodeKind::One);
  for (int i = 0; i < 8; ++i) wide = ExprNode(NodeKind::Or, wide, ExprNode(NodeKind::DetectorA, 1));
  rig.frame->Doc().NewRenderState().outputDefinitions[0] = Cow<ExprNode>(wide);
  definitions.Invalidate(rig.frame->Doc().Current());
  for (const View& view : views) {
    SCOPED_TRACE(view.name);
    if (view.tab >= 0) {
      rig.ClickTab(view.tab);
      for (int i = 0; i < 5; ++i) rig.Command(IDM_ZOOM_IN);  // zoom 6: far larger than the window
    } else {
      SetWindowPos(definitions.window, HWND_TOP, 0, 0, 150, 150, SWP_NOMOVE | SWP_NOACTIVATE);
      rig.Idle();
    }
    HWND viewport = view.viewport();
    RECT area{};
    GetWindowRect(viewport, &area);
    const POINT over{area.left + 40, area.top + 40};
    ASSERT_EQ(Position(viewport, SB_HORZ), 0);
    ASSERT_EQ(Position(viewport, SB_VERT), 0);
    for (const Turn& t : turns) {
      // The system posts the wheel to the window with the focus: the main window here.
      rig.Wheel(rig.frame->window, over, t.delta, t.tilt, t.keys);
      EXPECT_EQ(Position(viewport, SB_HORZ), t.x * side / 2) << t.delta << (t.tilt ? " tilt" : "") << " keys " << t.keys;
      EXPECT_EQ(Position(viewport, SB_VERT), t.y * down / 2) << t.delta << (t.tilt ? " tilt" : "") << " keys " << t.keys;
    }
    // The wheel with the pointer outside every window of the program scrolls nothing.
    rig.Wheel(rig.frame->window, {area.left - 3000, area.top}, -WHEEL_DELTA);
    EXPECT_EQ(Position(viewport, SB_VERT), 2 * down);
  }
}

// The floating windows' boxes as the user reaches them: a normal detector selected (its boxes and
// "Resetuj" enabled), the tuning window shown with F12, each window clicked into. Tab goes from
// box to button to box in the tuning window; in a box Ctrl+Z undoes the typing and Ctrl+C,
// Ctrl+X and Ctrl+V copy, cut and paste the box's text, never the document's.
TEST(FrameInput, TabAndTheEditKeysInTheFloatingWindowsBoxes) {
  struct {
    FrameRig rig{ApplicationParts};
    TuningFrame& tuning = dynamic_cast<TuningFrame&>(rig.frame->Tuning());
    HWND Enter(HWND window, int box) {
      SetActiveWindow(window);
      SetFocus(GetDlgItem(window, box));
      return GetDlgItem(window, box);
    }
  } t;
  t.rig.ClickTab(1);
  t.rig.Command(IDM_INSERT_QUAD);
  t.rig.Key(t.rig.frame->Tabs().Handle(), VK_F12);
  ASSERT_TRUE(IsWindowVisible(t.tuning.window));
  t.Enter(t.tuning.window, IDC_TUNING_FEATURE);
  struct Press {
    bool shift;
    int focus;
  };
  const Press presses[] = {{false, IDC_TUNING_RESET}, {false, IDC_TUNING_THRESHOLD}, {false, IDC_TUNING_FEATURE},
                           {true, IDC_TUNING_THRESHOLD}, {true, IDC_TUNING_RESET}, {true, IDC_TUNING_FEATURE}};
  for (const Press& p : presses) {
    EXPECT_EQ(t.rig.Loop(GetFocus(), VK_TAB, false, p.shift), LoopStep::DialogNavigation);
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), p.focus) << (p.shift ? "Shift+Tab" : "Tab");
  }

  Document& doc = t.rig.frame->Doc();
  // Each box, a digit typed over its text, and what it shows once cut empty (the tuning box shows
  // the threshold that became 0).
  struct Box {
    const char* name;
    HWND window;
    int id;
    UINT typed;
    const wchar_t* cut;
  };
  const Box boxes[] = {{"tuning", t.tuning.window, IDC_TUNING_FEATURE, '5', L"0"},
                       {"parameters", t.rig.frame->Parameters().Handle(), IDC_PARAMETERS_DELAY, '2', L""}};
  for (const Box& box : boxes) {
    SCOPED_TRACE(box.name);
    HWND edit = t.Enter(box.window, box.id);
    ASSERT_EQ(GetFocus(), edit);
    const std::wstring original = Text(edit);
    ASSERT_FALSE(original.empty());
    SendMessageW(edit, EM_SETSEL, 0, -1);
    t.rig.Loop(edit, box.typed);
    ASSERT_EQ(Text(edit), std::wstring(1, static_cast<wchar_t>(box.typed)));
    // The typing undone, then copy, cut and paste over the whole text.
    struct Key {
      UINT vk;
      bool all;
      std::wstring text;
    };
    const Key keys[] = {{'Z', false, original}, {'C', true, original}, {'X', true, box.cut}, {'V', true, original}};
    for (const Key& k : keys) {
      if (k.all) SendMessageW(edit, EM_SETSEL, 0, -1);
      const std::size_t step = doc.CurrentIndex();
      EXPECT_NE(t.rig.Loop(edit, k.vk, true), LoopStep::Accelerator) << char(k.vk);
      EXPECT_EQ(Text(edit), k.text) << "Ctrl+" << char(k.vk);
      EXPECT_GE(doc.CurrentIndex(), step) << "Ctrl+" << char(k.vk) << " stepped the document back";
      EXPECT_EQ(doc.Current().detectors.size(), 1u);
      if (k.vk != 'Z') {
        EXPECT_EQ(ClipboardText(), original) << "Ctrl+" << char(k.vk);
      }
    }
    // The document's clipboard was never filled: its paste stays greyed.
    EXPECT_TRUE(t.rig.MenuState(IDM_EDIT_PASTE) & MF_GRAYED);
  }
  // Outside a box the keys are the document's: in the tuning window on "Resetuj", Ctrl+Z undoes
  // the last edit; on the main window Ctrl+C copies the detector.
  const std::size_t step = doc.CurrentIndex();
  HWND reset = t.Enter(t.tuning.window, IDC_TUNING_RESET);
  EXPECT_EQ(t.rig.Loop(reset, 'Z', true), LoopStep::Accelerator);
  EXPECT_EQ(doc.CurrentIndex(), step - 1);
  SetActiveWindow(t.rig.frame->window);
  EXPECT_EQ(t.rig.Loop(t.rig.frame->Tabs().Handle(), 'C', true), LoopStep::Accelerator);
  EXPECT_FALSE(t.rig.MenuState(IDM_EDIT_PASTE) & MF_GRAYED);
}

}  // namespace
