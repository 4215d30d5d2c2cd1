// The detector editor driven through its window: mouse gestures at client points computed from
// the pane layout, commands as the frame routes them, menu states, and the pixels it draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "doc/win/editor_view_support.h"
#include "resource_ids.h"

namespace trevna_test {
namespace {

using MainViewTest = EditorFixture;

TEST_F(MainViewTest, PaneClicksSwitchTrackFirstAndOutsideEveryPaneDisablesInsertAndBackground) {
  Insert();
  ASSERT_EQ(State().selected, 0);
  const std::size_t revisions = Doc().RevisionCount();

  // A click into pane B only makes B current and clears the selection, without a revision.
  Click(At(1, 60, 60));
  EXPECT_EQ(Editor().CurrentTrack(), 1);
  EXPECT_EQ(State().selected, -1);
  EXPECT_EQ(Doc().RevisionCount(), revisions);
  // Back on A the first click only switches; the second one selects the detector under it.
  Click(At(0, 60, 60));
  EXPECT_EQ(State().selected, -1);
  Click(At(0, 60, 60));
  EXPECT_EQ(State().selected, 0);
  EXPECT_FALSE(frame->binder.last.contrast);
  EXPECT_TRUE(frame->binder.bound) << "the repaint binds the panels to the selection";

  // Between the panes: no current track; the main menu's insert and background items grey out,
  // the context menu's stay enabled, and inserting does nothing.
  const RECT a = view.Geometry().Content(0);
  Click({a.right + 8, a.top + 20});
  EXPECT_EQ(Editor().CurrentTrack(), -1);
  EXPECT_FALSE(frame->binder.bound);
  HMENU menu = CreatePopupMenu();
  for (UINT id : {kCommandInsertQuadrilateral, kCommandInsertLine, kCommandBackgroundFromFile, kCommandCopy,
                  kCommandPointerTool, kCommandEraserTool})
    AppendMenuW(menu, MF_STRING, id, L"x");
  ApplyMenuStates(menu, [&](UINT id) { return view.StateOf(id).value_or(CommandState{}); });
  for (UINT id : {kCommandInsertQuadrilateral, kCommandInsertLine, kCommandBackgroundFromFile, kCommandCopy})
    EXPECT_TRUE(GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) << id;
  EXPECT_TRUE(GetMenuState(menu, kCommandPointerTool, MF_BYCOMMAND) & MF_CHECKED);
  EXPECT_FALSE(GetMenuState(menu, kCommandEraserTool, MF_BYCOMMAND) & MF_CHECKED);
  DestroyMenu(menu);
  MenuHandle context(LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_EDITOR_CONTEXTMENU)));
  ASSERT_TRUE(context);
  ApplyMenuStates(context.Get(), [&](UINT id) { return view.StateOf(id, true).value_or(CommandState{}); });
  EXPECT_FALSE(GetMenuState(context.Get(), kCommandInsertQuadrilateralAtPoint, MF_BYCOMMAND) & MF_GRAYED);
  Run(kCommandInsertQuadrilateral);
  EXPECT_EQ(Doc().RevisionCount(), revisions);
}

TEST_F(MainViewTest, ZoomResizesTheViewInsideItsScrollViewBetweenOneAndSix) {
  struct Step {
    UINT command;
    int zoom;
  };
  for (const Step& s : {Step{kCommandZoomOut, 1}, Step{kCommandZoomIn, 2}, Step{kCommandZoomIn, 3}, Step{kCommandZoomIn, 4},
                        Step{kCommandZoomIn, 5}, Step{kCommandZoomIn, 6}, Step{kCommandZoomIn, 6}}) {
    Run(s.command);
    EXPECT_EQ(view.Geometry().zoom, s.zoom);
    RECT rect;
    GetWindowRect(view.window, &rect);
    EXPECT_EQ(rect.right - rect.left, s.zoom * 180 * 2 + 32);
    EXPECT_EQ(rect.bottom - rect.top, s.zoom * 144 + 16);
    SCROLLINFO bar{};
    bar.cbSize = sizeof bar;
    bar.fMask = SIF_RANGE;
    GetScrollInfo(view.Scroller(), SB_HORZ, &bar);
    EXPECT_EQ(bar.nMax, s.zoom * 180 * 2 + 31) << "the scroll range follows the view";
  }
  EXPECT_FALSE(view.Command(IDM_VIEW_PARAMETERS)) << "not an editor command";
}

TEST_F(MainViewTest, RepeatedClicksCycleThroughOverlappingDetectorsInListOrder) {
  for (int i = 0; i < 3; ++i) Insert();
  ASSERT_EQ(State().selected, 2);
  const std::size_t revisions = Doc().RevisionCount();
  for (int expected : {0, 1, 2, 0}) {
    Click(At(0, 60, 60));
    EXPECT_EQ(State().selected, expected);
  }
  EXPECT_EQ(Doc().RevisionCount(), revisions) << "selecting makes no revision";
  Click(At(0, 150, 120));
  EXPECT_EQ(State().selected, -1);
}

TEST_F(MainViewTest, VertexDragsAtZoomThreeMoveByWholeCanvasPixelsAndDropErasures) {
  Run(kCommandZoomIn);
  Run(kCommandZoomIn);
  ASSERT_EQ(view.Geometry().zoom, 3);
  Insert();
  // An erasure first, so the drag can show that it drops it.
  Run(kCommandEraserTool);
  Drag(At(0, 60, 60), At(0, 62, 60));
  ASSERT_TRUE(State().detectors[0].eraser->HasBlack());
  Run(kCommandPointerTool);

  struct Case {
    int screenDx;
    CanvasPoint vertex;
    bool revision;
  };
  for (const Case& c : {Case{5, {51, 40}, true}, Case{2, {51, 40}, false}, Case{-4, {50, 40}, true}}) {
    const std::size_t revisions = Doc().RevisionCount();
    const CanvasPoint v = State().detectors[0].vertices[0];
    const POINT from = At(0, v.x, v.y);
    Drag(from, {from.x + c.screenDx, from.y});
    EXPECT_EQ(State().detectors[0].vertices[0], c.vertex) << c.screenDx;
    EXPECT_EQ(Doc().RevisionCount(), revisions + (c.revision ? 1 : 0)) << c.screenDx;
    EXPECT_FALSE(State().detectors[0].eraser->HasBlack());
  }
  EXPECT_EQ(view.HighlightedVertex(), 0) << "the pointer rests on the dragged vertex";

  // The system cancelling the mouse mode mid-drag drops the drag without any change.
  const std::size_t revisions = Doc().RevisionCount();
  const POINT from = At(0, 50, 40);
  Send(WM_LBUTTONDOWN, from, MK_LBUTTON);
  Send(WM_MOUSEMOVE, {from.x + 30, from.y}, MK_LBUTTON);
  Send(WM_CANCELMODE, {0, 0}, 0);
  Send(WM_LBUTTONUP, {from.x + 30, from.y}, 0);
  Serve();
  EXPECT_EQ(Doc().RevisionCount(), revisions);
  EXPECT_EQ(State().detectors[0].vertices[0], (CanvasPoint{50, 40}));
}

// Each tool sets its cursor over the view; cursors missing from the resources fall back to the arrow.
TEST_F(MainViewTest, ToolsSetACursorOverTheView) {
  const HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  struct Case {
    UINT tool;
    int resource;
  };
  for (const Case& c : {Case{kCommandEraserTool, IDC_ERASER}, Case{kCommandMoveTool, IDC_MOVE},
                        Case{kCommandDirectionTool, IDC_DIRECTION}, Case{kCommandPointerTool, 0}}) {
    Run(c.tool);
    EXPECT_TRUE(Editor().IsChecked(c.tool));
    SetCursor(nullptr);
    SendMessageW(view.window, WM_SETCURSOR, reinterpret_cast<WPARAM>(view.window), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    HCURSOR own = c.resource ? LoadCursorW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(c.resource)) : nullptr;
    EXPECT_EQ(GetCursor(), own ? own : arrow) << c.tool;
  }
}

TEST_F(MainViewTest, MoveStopsEachVertexAtTheFirstVisibleColumn) {
  Insert();
  Run(kCommandMoveTool);
  Drag(At(0, 60, 60), At(0, 10, 62));  // the pointer leaves the pane; the delta is -50, +2
  const auto& v = State().detectors[0].vertices;
  const std::vector<CanvasPoint> expected{{30, 42}, {30, 42}, {30, 82}, {30, 82}};
  EXPECT_EQ(std::vector<CanvasPoint>(v.begin(), v.end()), expected);
}

TEST_F(MainViewTest, InsertNumbersAfterTheHighestOnTheTrackAndAtTheContextPoint) {
  for (std::uint32_t number : {1u, 2u, 7u}) {
    Insert();
    Doc().SetNumber(number);
    Serve();
  }
  Click(At(1, 35, 5));  // track B has none: its first is 1
  Run(kCommandInsertLine);
  EXPECT_EQ(State().detectors.back().number, 1u);
  Click(At(0, 35, 5));
  Run(kCommandInsertQuadrilateral);
  EXPECT_EQ(State().detectors.back().number, 8u);

  // The context menu at a point (closed again at once), then its insert command: the new
  // detector's bounding box starts at the clicked canvas point, in either column of panes.
  struct Case {
    int track;
    CanvasPoint at;
    std::uint32_t number;
  };
  for (const Case& c : {Case{0, {100, 30}, 9u}, Case{1, {30, 0}, 2u}, Case{1, {150, 100}, 3u}}) {
    Click(At(c.track, 35, 5));
    SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR id, DWORD) {
      KillTimer(nullptr, id);
      EndMenu();
    });
    Send(WM_RBUTTONDOWN, At(c.track, c.at.x, c.at.y), MK_RBUTTON);
    Run(kCommandInsertQuadrilateralAtPoint);
    const DetectorBounds box = BoundingBox(State().detectors.back());
    EXPECT_EQ((CanvasPoint{box.minX, box.minY}), c.at) << c.track;
    EXPECT_EQ(State().detectors.back().number, c.number);
  }
}

TEST_F(MainViewTest, DirectionDragsStoreTheAngleOfTheDrag) {
  Insert();
  Doc().SetDirectional();
  Run(kCommandDirectionTool);
  struct Case {
    int dx, dy, angle;
  };
  for (const Case& c : {Case{0, 40, 0}, Case{40, 0, 90}, Case{0, -40, 180}, Case{-40, 0, 270}, Case{40, -40, 135}}) {
    const POINT from = At(0, 60, 60);
    const std::size_t revisions = Doc().RevisionCount();
    Drag(from, {from.x + c.dx, from.y + c.dy});
    EXPECT_EQ(State().detectors[0].angle, c.angle) << c.dx << "," << c.dy;
    EXPECT_EQ(Doc().RevisionCount(), revisions + 1);
  }
}

TEST_F(MainViewTest, AnEraserStrokeIsOneRevisionThatUndoAndRedoTakeBackAndBring) {
  Insert();
  Run(kCommandEraserTool);
  const std::size_t revisions = Doc().RevisionCount();
  Drag(At(0, 45, 60), At(0, 75, 60), 10);
  EXPECT_EQ(Doc().RevisionCount(), revisions + 1);
  const Picture& mask = *State().detectors[0].eraser;
  for (int x : {41, 45, 60, 75, 79}) EXPECT_TRUE(mask.IsBlack(x, 60)) << x;  // the 9 x 9 brush
  for (CanvasPoint p : {CanvasPoint{40, 60}, CanvasPoint{80, 60}, CanvasPoint{60, 55}})
    EXPECT_FALSE(mask.IsBlack(p.x, p.y)) << p.x << "," << p.y;

  const int shown = frame->binder.definitionsShown;
  Run(kCommandUndo);
  EXPECT_FALSE(State().detectors[0].eraser->HasBlack());
  Run(kCommandRedo);
  EXPECT_TRUE(State().detectors[0].eraser->HasBlack());
  EXPECT_EQ(frame->binder.definitionsShown, shown + 2) << "undo and redo hand the revision to the definitions";
}

// The view at zoom 1 and 3: a line detector on track B shows where the layout puts it, the
// selected detector's handles are framed and the one under the pointer is blue.
TEST_F(MainViewTest, DetectorsSelectionAndHighlightedVertexShowWhereTheLayoutSays) {
  for (int zoom : {1, 3}) {
    SCOPED_TRACE(zoom);
    while (view.Geometry().zoom < zoom) Run(kCommandZoomIn);
    Click(At(1, 35, 5));
    if (State().detectors.empty()) {
      Run(kCommandInsertLine);
      Click(At(1, 150, 120));  // nothing selected: the editor colour
    }
    const Detector& line = State().detectors[0];
    const CanvasPoint mid{(line.vertices[0].x + line.vertices[1].x) / 2, line.vertices[0].y};
    auto picture = Render();
    const POINT p = At(1, mid.x, mid.y);
    EXPECT_EQ(picture->Pixel(p.x, p.y), 0x008000u);
    const POINT blank = At(1, mid.x, mid.y + 5);
    EXPECT_EQ(picture->Pixel(blank.x, blank.y), 0xFFFFFFu);
    const RECT b = view.Geometry().Content(1);
    EXPECT_EQ(picture->Pixel(b.left - 1, b.top - 1), 0xFF0000u) << "red frame around the current track";

    // Selected, with the pointer over vertex 1: red line, grey frame at vertex 0, blue at vertex 1.
    Click(p);
    const CanvasPoint v0 = State().detectors[0].vertices[0], v1 = State().detectors[0].vertices[1];
    Send(WM_MOUSEMOVE, At(1, v1.x, v1.y), 0);
    Serve();
    ASSERT_EQ(view.HighlightedVertex(), 1);
    picture = Render();
    EXPECT_EQ(picture->Pixel(p.x, p.y), 0xFF0000u);
    const POINT h0 = At(1, v0.x - 3, v0.y - 3), h1 = At(1, v1.x - 3, v1.y - 3);
    EXPECT_EQ(picture->Pixel(h0.x, h0.y), 0x808080u);
    EXPECT_EQ(picture->Pixel(h1.x, h1.y), 0x0000FFu);
    Click(At(1, 150, 120));
  }
}

// What the view draws for a detector is the pixel set of its area mask: both come from the same
// rasteriser. Compared over the whole visible picture at zoom 1 on a white background.
TEST_F(MainViewTest, DrawnPixelsAreTheAreaMask) {
  struct Case {
    const char* name;
    int ladder, fill;
    bool erase;
  };
  for (const Case& c : {Case{"ladder", 3, 0, false}, Case{"fill 20", 0, 20, false}, Case{"erased", 2, 0, true}}) {
    SCOPED_TRACE(c.name);
    Run(kCommandInsertQuadrilateral);
    Doc().SetLineWidth(2);
    Doc().SetLadderAndFill(c.ladder, c.fill);
    Serve();
    if (c.erase) {
      Run(kCommandEraserTool);
      Drag(At(0, 50, 40), At(0, 70, 80), 8);
      Run(kCommandPointerTool);
    }
    const Detector detector = *State().SelectedDetector();
    Click(At(0, 200, 130));  // deselect: no handles
    raster::Surface grey;
    GreyBackground(State(), 0, grey);
    const AreaMask mask = BuildAreaMask(detector, grey);
    ASSERT_GT(mask.Count(), 50);
    auto picture = Render();
    int differing = 0;
    for (int y = 0; y < 144; ++y)
      for (int x = 30; x < 210; ++x) {
        const POINT p = At(0, x, y);
        const bool drawn = picture->Pixel(p.x, p.y) != 0xFFFFFFu;
        if (drawn != mask.Test(x - 30, y)) ++differing;
      }
    EXPECT_EQ(differing, 0);
    Run(kCommandUndo);  // the next case starts on an empty track again
    while (!State().detectors.empty()) Run(kCommandUndo);
  }
}

}  // namespace
}  // namespace trevna_test
