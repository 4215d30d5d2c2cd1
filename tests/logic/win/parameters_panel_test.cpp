// The detector parameters panel (dialog 106) bound by a real detector editor: what it shows
// and enables for each kind of detector, and the edits typed or clicked into it.
#include "logic/win/parameters_panel.h"

#include <gtest/gtest.h>

#include <string>

#include "doc/win/editor_view_support.h"
#include "resource_ids.h"
#include "support/win_artifacts.h"

namespace trevna_test {
namespace {

class InspectorTest : public EditorFixture {
 protected:
  void SetUp() override {
    EditorFixture::SetUp();
    if (HasFatalFailure()) return;  // no host window, so no frame to build on
    frame->parameters = &panel;
    panel.Create(*frame, 100);
    panel.Show(true);
    Serve();
  }
  void TearDown() override {
    if (panel.dialog) DestroyWindow(panel.dialog);
    EditorFixture::TearDown();
  }
  std::wstring Text(int id) {
    wchar_t text[64] = {};
    GetDlgItemTextW(panel.dialog, id, text, 64);
    return text;
  }
  bool Enabled(int id) { return IsWindowEnabled(GetDlgItem(panel.dialog, id)) != FALSE; }
  bool Checked(int id) { return IsDlgButtonChecked(panel.dialog, id) == BST_CHECKED; }
  // Replaces the box's text keystroke by keystroke, as typing over a selection does.
  void Type(int id, const std::wstring& text) {
    HWND box = GetDlgItem(panel.dialog, id);
    SendMessageW(box, EM_SETSEL, 0, -1);
    SendMessageW(box, WM_CHAR, VK_BACK, 0);
    for (wchar_t c : text) SendMessageW(box, WM_CHAR, c, 0);
    Serve();
  }
  void Press(int id) {
    SendMessageW(panel.dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(panel.dialog, id)));
    Serve();
  }

  Inspector panel;
};

TEST_F(InspectorTest, ShowsAndEnablesByKindOfDetector) {
  struct Case {
    const char* name;
    int track;
    int kind;  // 0 none selected, 1 normal, 2 directional, 3 contrast
    const wchar_t *trackText, *number, *delay, *angle;
    int checked;
  };
  const Case cases[] = {
      {"normal on A", 0, 1, L"A", L"1", L"2.5", L"", IDC_PARAMETERS_NORMAL},
      {"directional on C", 2, 2, L"C", L"1", nullptr, L"135", IDC_PARAMETERS_DIRECTIONAL},
      {"contrast on B", 1, 3, L"B", L"1", nullptr, L"", IDC_PARAMETERS_CONTRAST},
      {"nothing", 0, 0, L"", L"", L"", L"", 0},
  };
  FourTracks();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Click(At(c.track, 35, 5));
    if (c.kind) {
      Run(kCommandInsertQuadrilateral);
      Doc().SetDelay(2500);
      if (c.kind == 2) Doc().SetDirectional(), Doc().SetAngle(135);
      if (c.kind == 3) Doc().SetContrast();
      Serve();
    } else {
      Click(At(c.track, 200, 130));
    }
    EXPECT_EQ(Text(IDC_PARAMETERS_TRACK), c.trackText);
    EXPECT_EQ(Text(IDC_PARAMETERS_NUMBER), c.number);
    EXPECT_EQ(Text(IDC_PARAMETERS_ANGLE), c.angle);
    if (c.delay) {
      EXPECT_EQ(Text(IDC_PARAMETERS_DELAY), c.delay);
      EXPECT_EQ(Text(IDC_PARAMETERS_EXTENSION), c.kind ? L"0.0" : L"");
    }
    for (int id : {IDC_PARAMETERS_NORMAL, IDC_PARAMETERS_DIRECTIONAL, IDC_PARAMETERS_CONTRAST})
      EXPECT_EQ(Checked(id), id == c.checked) << id;
    EXPECT_EQ(Enabled(IDC_PARAMETERS_NUMBER), c.kind != 0);
    EXPECT_EQ(Enabled(IDC_PARAMETERS_NORMAL), c.kind != 0);
    EXPECT_EQ(Enabled(IDC_PARAMETERS_DELAY), c.kind == 1);
    EXPECT_EQ(Enabled(IDC_PARAMETERS_EXTENSION_LABEL), c.kind == 1);
    EXPECT_EQ(Enabled(IDC_PARAMETERS_ANGLE), c.kind == 2);
    EXPECT_FALSE(Enabled(IDC_PARAMETERS_TRACK));
    if (c.kind) {
      const char* names[] = {"", "normal", "directional", "contrast"};
      EXPECT_TRUE(SaveScreenArtifact(panel.dialog, std::string("parameters_") + names[c.kind]));
    }
  }
}

TEST_F(InspectorTest, SecondsFieldsTakeValidTextsAndUndoInvalidKeystrokes) {
  Run(kCommandInsertQuadrilateral);
  struct Case {
    int box;
    const wchar_t* typed;
    const wchar_t* shown;
    std::int32_t milliseconds;
  };
  for (const Case& c : {Case{IDC_PARAMETERS_DELAY, L"0,5", L"0,5", 500}, Case{IDC_PARAMETERS_DELAY, L"12.25", L"12.2", 12200},
                        Case{IDC_PARAMETERS_EXTENSION, L"123", L"12", 12000}, Case{IDC_PARAMETERS_EXTENSION, L"7.", L"7.", 7000},
                        Case{IDC_PARAMETERS_DELAY, L"", L"", 0}, Case{IDC_PARAMETERS_DELAY, L"a1", L"1", 1000}}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.typed)));
    Type(c.box, c.typed);
    EXPECT_EQ(Text(c.box), c.shown);
    const Detector& d = *State().SelectedDetector();
    EXPECT_EQ(c.box == IDC_PARAMETERS_DELAY ? d.delay : d.extension, c.milliseconds);
  }
}

TEST_F(InspectorTest, EachChangeIsOneUndoStepAndNoChangeMakesNone) {
  Run(kCommandInsertQuadrilateral);
  struct Step {
    const char* name;
    int control;
    const wchar_t* typed;  // null: a click
    int revisions;
  };
  for (const Step& s : {Step{"same type", IDC_PARAMETERS_NORMAL, nullptr, 0},
                        Step{"directional", IDC_PARAMETERS_DIRECTIONAL, nullptr, 1},
                        Step{"angle 90", IDC_PARAMETERS_ANGLE, L"90", 2},  // "9", then "90"
                        Step{"number 12", IDC_PARAMETERS_NUMBER, L"12", 1},  // "1" is the number already
                        Step{"back to normal", IDC_PARAMETERS_NORMAL, nullptr, 1},
                        Step{"delay 0.0 again", IDC_PARAMETERS_DELAY, L"0", 0}}) {
    SCOPED_TRACE(s.name);
    const std::size_t before = Doc().RevisionCount();
    if (s.typed) {
      Type(s.control, s.typed);
    } else {
      Press(s.control);
    }
    EXPECT_EQ(Doc().RevisionCount(), before + static_cast<std::size_t>(s.revisions));
  }
  const Detector& d = *State().SelectedDetector();
  EXPECT_EQ(d.number, 12u);
  EXPECT_EQ(d.angle, 90);
  EXPECT_TRUE(d.IsNormal());
  // Undo brings the previous value back into the panel.
  Run(kCommandUndo);
  EXPECT_EQ(Text(IDC_PARAMETERS_ANGLE), L"90");
  EXPECT_TRUE(Checked(IDC_PARAMETERS_DIRECTIONAL));
}

TEST_F(InspectorTest, TabMovesThroughTheEnabledBoxesAndClosingOnlyHides) {
  Run(kCommandInsertQuadrilateral);
  HWND number = GetDlgItem(panel.dialog, IDC_PARAMETERS_NUMBER);
  std::vector<int> order;
  for (HWND at = number; order.size() < 8;) {
    order.push_back(GetDlgCtrlID(at));
    at = GetNextDlgTabItem(panel.dialog, at, FALSE);
    if (at == number) break;
  }
  // Disabled boxes (track, angle) are skipped; of the type buttons only the checked one is a stop.
  EXPECT_EQ(order, (std::vector<int>{IDC_PARAMETERS_NUMBER, IDC_PARAMETERS_NORMAL, IDC_PARAMETERS_DELAY,
                                     IDC_PARAMETERS_EXTENSION}));
  SendMessageW(panel.dialog, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindowVisible(panel.dialog));
  ASSERT_EQ(frame->closed.size(), 1u);
  EXPECT_EQ(frame->closed[0], Panel::Parameters);
  EXPECT_TRUE(IsWindow(panel.dialog));
}

}  // namespace
}  // namespace trevna_test
