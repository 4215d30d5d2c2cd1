// The output definition editor as a user drives it: clicks on the drawn nodes, the pop-up menu
// (answered by a stand-in for the user), and the pixels of the drawn formulas.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/text.h"
#include "doc/script.h"
#include "doc/selection.h"
#include "logic/win/composer_frame.h"
#include "doc/win/fake_frame.h"
#include "support/win_artifacts.h"
#include "support/win_gestures.h"

namespace {


struct Detected {
  int track;
  std::uint32_t number;
};

using trevna_test::MenuUser;

class ComposerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const Detected& d : detectors_) {
      Detector detector;
      detector.track = d.track;
      detector.number = d.number;
      frame.Doc().Current().detectors.push_back(detector);
    }
    composer.Create(frame, 0);
    composer.View().SetMenuChooser(&MenuUser::Choose, &user);
    composer.Invalidate(frame.Doc().Current());
  }

  ComposerView& View() { return composer.View(); }
  // The laid-out node of row `row` at `path` ("A"/"B" steps from the formula's root).
  const ExprNode& Node(std::size_t row, const std::string& path) {
    const ExprNode* node = &View().Rows().at(row).root.children.at(1);
    for (char step : path) node = &node->children.at(step == 'A' ? 0 : 1);
    return *node;
  }
  static LPARAM Center(const NodeRect& r) { return MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2); }
  void Click(UINT message, LPARAM point) { SendMessageW(View().window, message, 0, point); }
  void RightClickAndPick(std::size_t row, const std::string& path, const char* utf8Item) {
    user.pick = WideFromUtf8(utf8Item);
    Click(WM_RBUTTONDOWN, Center(Node(row, path).rect));
  }

  std::vector<Detected> detectors_{{0, 1}, {1, 2}, {0, 3}};  // A1, B2, A3 in insertion order
  trevna_test::FakeFrame frame;
  ComposerFrame composer;
  MenuUser user;
};

TEST_F(ComposerTest, NewDocumentShowsEightOutputsAndTwoTracksInRowsFourPixelsApart) {
  const auto& rows = View().Rows();
  ASSERT_EQ(rows.size(), 10u);
  int top = 4;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const ExprNode& label = rows[i].root.children[0];
    const NodeKind expected = i < 8 ? NodeKind::OutputLabel : NodeKind::TrackLabel;
    EXPECT_EQ(label.kind, expected) << i;
    EXPECT_EQ(label.number, i < 8 ? i + 1 : i - 8) << i;
    EXPECT_EQ(rows[i].root.children[1].kind, NodeKind::One) << i;
    EXPECT_EQ(rows[i].root.rect.left, 4) << i;
    EXPECT_EQ(rows[i].root.rect.top, top) << i;
    top = rows[i].root.rect.bottom + 4;
  }
  EXPECT_EQ(View().Picture().Height(), top);
}

TEST_F(ComposerTest, ClicksSelectNodesOperatorsByTheirGlyphAndNothingBetweenRows) {
  RightClickAndPick(0, "", "&Suma");  // Y1 = (1 | 0)
  const std::size_t revisions = frame.Doc().RevisionCount();
  const ExprNode& op = Node(0, "");
  const ExprNode& second = Node(0, "B");
  const int glyphX = (op.children[0].rect.right + second.rect.left) / 2;
  const ExprNode& y2 = Node(1, "");
  struct Case {
    const char* what;
    UINT message;
    LPARAM point;
    const char* selection;
  };
  const Case cases[] = {
      {"second operand", WM_LBUTTONDOWN, Center(second.rect), "Y0BX"},
      {"operator glyph", WM_LBUTTONDOWN, MAKELPARAM(glyphX, (op.rect.top + op.rect.bottom) / 2), "Y0X"},
      {"Y2's formula", WM_LBUTTONDOWN, Center(y2.rect), "Y1X"},
      {"between rows", WM_LBUTTONDOWN, MAKELPARAM(y2.rect.left + 2, y2.rect.bottom + 2), ""},
      {"first track row", WM_LBUTTONDOWN, Center(Node(8, "").rect), "CaX"},
      {"right of everything", WM_RBUTTONDOWN, MAKELPARAM(View().Picture().Width() - 2, 6), ""},
  };
  for (const Case& c : cases) {
    user.opened = 0;
    Click(c.message, c.point);
    EXPECT_EQ(frame.Doc().Current().selectionPath, c.selection) << c.what;
  }
  EXPECT_EQ(user.opened, 0) << "a right click on empty space opened the menu";
  EXPECT_EQ(frame.Doc().RevisionCount(), revisions) << "a selection change made an undo step";
}

TEST_F(ComposerTest, ScriptBuiltWithClicksAndMenuChoices) {
  struct Step {
    const char* path;
    const char* item;
    const char* firstLine;
  };
  const Step steps[] = {
      {"", "&Suma", "Y1 = (1 | 0)\n"},
      {"A", "A1", "Y1 = (A1 | 0)\n"},
      {"B", "B2", "Y1 = (A1 | B2)\n"},
      {"B", "&Alternatywa wykluczająca", "Y1 = (A1 | (B2 ^ 1))\n"},
  };
  for (const Step& step : steps) {
    const std::size_t revisions = frame.Doc().RevisionCount();
    RightClickAndPick(0, step.path, step.item);
    const std::string script = PrintScript(frame.Doc().Current());
    EXPECT_EQ(script.substr(0, script.find('\n') + 1), step.firstLine) << step.item;
    EXPECT_EQ(frame.Doc().RevisionCount(), revisions + 1) << step.item;
    EXPECT_EQ(frame.Doc().Current().selectionPath, std::string("Y0") + step.path + "X") << step.item;
  }
  // The detectors come first in track and number order, then the operators; the node's own
  // kind is checked.
  const std::vector<std::wstring> expected = {L"A1", L"A3", L"B2", L"&Suma", L"&Iloczyn",
                                              WideFromUtf8("&Alternatywa wykluczająca"), L"&Zero", L"&Jeden", L"",
                                              WideFromUtf8("&Resetuj wyrażenie")};
  EXPECT_EQ(user.items, expected);
  EXPECT_TRUE(user.checked.at(2)) << "B2 was the selected node's kind";
  // After "Suma" on a leaf the selection frames the new operator: its frame is blue.
  RightClickAndPick(0, "A", "&Suma");
  const NodeRect r = Node(0, "A").rect;
  EXPECT_EQ(frame.Doc().Current().selectionPath, "Y0AX");
  EXPECT_EQ(View().Picture().Pixel(r.left, (r.top + r.bottom) / 2), 0x0000FFu);
  EXPECT_EQ(View().Picture().Pixel(Node(0, "AA").rect.left, Node(0, "AA").rect.top), 0x808080u);
  trevna_test::SaveScreenArtifact(composer.window, "composer_nested_selection");
  // Undo brings back the previous revision; the view shows it when asked.
  ASSERT_TRUE(frame.Doc().StepBack());
  composer.Invalidate(frame.Doc().Current());
  EXPECT_EQ(Node(0, "A").kind, NodeKind::DetectorA);
}

TEST_F(ComposerTest, UndefinedIsOfferedOnlyOnZRoots) {
  RenderState& state = frame.Doc().Current();
  state.zDefinitions.assign(RenderState::kZCount, NewDefinitionRoot(NodeKind::Undefined));
  composer.Invalidate(state);
  const std::wstring undefined = WideFromUtf8("Nieokreślony");
  RightClickAndPick(8, "", "&Iloczyn");  // Z1 = (1 & 1); Z rows follow the 8 outputs
  struct Case {
    std::size_t row;
    const char* path;
    bool offered;
  };
  const Case cases[] = {{8, "", true}, {8, "A", false}, {9, "", true}, {0, "", false}, {72, "", false}};
  for (const Case& c : cases) {
    user.pick.clear();
    Click(WM_RBUTTONDOWN, Center(Node(c.row, c.path).rect));
    const bool offered = std::find(user.items.begin(), user.items.end(), undefined) != user.items.end();
    EXPECT_EQ(offered, c.offered) << "row " << c.row << " path '" << c.path << "'";
    if (c.row == 9) {
      EXPECT_TRUE(user.checked.at(3)) << "Z2 is Undefined";  // after A1, A3, B2
    }
  }
  RightClickAndPick(8, "", "Nieokreślony");
  EXPECT_EQ(frame.Doc().Current().zDefinitions[0]->kind, NodeKind::Undefined);
}

TEST_F(ComposerTest, OperatorGlyphsAreRealGlyphsWhereTheLayoutPutsThem) {
  RenderState& state = frame.Doc().Current();
  state.outputDefinitions[0].Assign(
      ExprNode(NodeKind::Or, ExprNode(NodeKind::And, ExprNode(NodeKind::DetectorA, 1), ExprNode(NodeKind::DetectorB, 2)),
               ExprNode(NodeKind::Xor, ExprNode(NodeKind::DetectorA, 3), ExprNode(NodeKind::One))));
  state.selectionPath = "Y0AX";
  composer.Invalidate(state);
  const OffscreenBitmap& picture = View().Picture();
  // The dark pixels between an operator's two operands, as one string of 0/1 per row.
  auto glyph = [&](const ExprNode& op) {
    std::string pattern;
    int dark = 0;
    for (int y = op.rect.top + 1; y < op.rect.bottom - 1; ++y) {
      for (int x = op.children[0].rect.right; x < op.children[1].rect.left; ++x) {
        const std::uint32_t p = picture.Pixel(x, y);
        const bool on = ((p >> 16) & 0xFF) < 0x80 && ((p >> 8) & 0xFF) < 0x80 && (p & 0xFF) < 0x80;
        dark += on;
        pattern += on ? '1' : '0';
      }
      pattern += '\n';
    }
    EXPECT_GT(dark, 4) << pattern;
    return pattern;
  };
  const std::vector<std::string> glyphs = {glyph(View().Rows()[0].root), glyph(Node(0, "")), glyph(Node(0, "A")),
                                           glyph(Node(0, "B"))};  // assignment, or, and, exclusive or
  for (std::size_t i = 0; i < glyphs.size(); ++i) {
    for (std::size_t j = i + 1; j < glyphs.size(); ++j) {
      EXPECT_NE(glyphs[i], glyphs[j]) << "glyphs " << i << " and " << j << " look the same (a missing-glyph box?)";
    }
  }
  // The selected "and" is framed blue, the other nodes grey, rows have no frame.
  EXPECT_EQ(picture.Pixel(Node(0, "A").rect.left, Node(0, "A").rect.top + 3), 0x0000FFu);
  EXPECT_EQ(picture.Pixel(Node(0, "B").rect.left, Node(0, "B").rect.top + 3), 0x808080u);
  EXPECT_EQ(picture.Pixel(View().Rows()[0].root.rect.left, View().Rows()[0].root.rect.top + 3), 0xFFFFFFu);
  trevna_test::SaveArtifact(picture, "composer_glyphs");
}

TEST_F(ComposerTest, SixtyFourZRowsScrollAndCloseOnlyHides) {
  RenderState state = frame.Doc().Current();
  state.zDefinitions.assign(RenderState::kZCount, NewDefinitionRoot(NodeKind::Undefined));
  state.zDefinitions[4].Assign(ExprNode(NodeKind::Or, ExprNode(NodeKind::DetectorA, 1), ExprNode(NodeKind::Zero)));
  frame.Doc().Replace(state, "z.trv");
  composer.Invalidate(frame.Doc().Current());
  ASSERT_EQ(View().Rows().size(), 74u);
  composer.Show(true);
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE;
  ASSERT_TRUE(GetScrollInfo(View().Scroller().window, SB_VERT, &info));
  EXPECT_EQ(info.nMax + 1, View().Picture().Height());
  EXPECT_LT(static_cast<int>(info.nPage), info.nMax);
  // Scrolled down to Z5's row, the frame shows it.
  SendMessageW(View().Scroller().window, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, Node(14, "").rect.top - 40), 0);
  trevna_test::SaveScreenArtifact(composer.window, "composer_z_table");
  SendMessageW(composer.window, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(composer.window));
  EXPECT_FALSE(IsWindowVisible(composer.window));
  EXPECT_EQ(frame.closed, std::vector<Panel>{Panel::Definitions});
}

}  // namespace
