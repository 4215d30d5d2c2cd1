#include "doc/editor_commands.h"
#include "support/recording_updates.h"

#include <gtest/gtest.h>

namespace {

struct Editor : ::testing::Test {
  RecordingUpdates updates;
  Document document{updates};
  DetectorEditor editor{document, updates};

  Detector& Add(std::int32_t track, std::uint32_t number) {
    RenderState& s = document.NewRenderState();
    Detector d;
    d.track = track;
    d.number = number;
    s.detectors.push_back(d);
    return s.detectors.back();
  }
};

// --- clipboard -------------------------------------------------------------

TEST_F(Editor, CopyPasteGivesASecondDetectorWithTheSameNameAndMask) {
  Detector& a = Add(0, 3);
  a.eraser.Write().SetBlack(60, 60);
  a.threshold = 7;
  editor.Select(0);
  editor.RunCommand(kCommandCopy);
  EXPECT_TRUE(editor.Clipboard().Full());
  EXPECT_TRUE(editor.IsEnabled(kCommandPaste));
  const std::size_t before = document.RevisionCount();
  editor.RunCommand(kCommandPaste);
  EXPECT_EQ(document.RevisionCount(), before + 1);
  const RenderState& s = document.Current();
  ASSERT_EQ(s.detectors.size(), 2u);
  EXPECT_EQ(s.selected, 1);
  EXPECT_EQ(s.detectors[1].number, 3u);
  EXPECT_EQ(s.detectors[1].threshold, 7);
  EXPECT_TRUE(s.detectors[1].eraser->IsBlack(60, 60));

  // Pasting onto another track moves the copy there.
  editor.SetCurrentTrack(1);
  editor.RunCommand(kCommandPaste);
  ASSERT_EQ(document.Current().detectors.size(), 3u);
  EXPECT_EQ(document.Current().detectors[2].track, 1);
}

TEST_F(Editor, ClipboardKeepsItsOwnCopy) {
  Add(0, 3);
  editor.Select(0);
  editor.RunCommand(kCommandCopy);
  document.Current().detectors[0].eraser.Write().SetBlack(1, 1);  // later change of the original
  document.SetNumber(9);
  EXPECT_EQ(editor.Clipboard().Held().number, 3u);
  EXPECT_FALSE(editor.Clipboard().Held().eraser->IsBlack(1, 1));
}

TEST_F(Editor, PasteWithEmptyClipboardOrNoTrackDoesNothing) {
  Add(0, 1);
  const std::size_t revisions = document.RevisionCount();
  EXPECT_FALSE(editor.IsEnabled(kCommandPaste));
  editor.RunCommand(kCommandPaste);
  EXPECT_EQ(document.RevisionCount(), revisions);

  editor.Select(0);
  editor.RunCommand(kCommandCopy);
  editor.SetCurrentTrack(-1);
  editor.RunCommand(kCommandPaste);
  EXPECT_EQ(document.RevisionCount(), revisions);
  EXPECT_EQ(document.Current().detectors.size(), 1u);
}

TEST_F(Editor, CopyWithNothingSelectedEmptiesTheClipboard) {
  Add(0, 1);
  editor.Select(0);
  editor.RunCommand(kCommandCopy);
  ASSERT_TRUE(editor.IsEnabled(kCommandPaste));
  editor.Select(-1);
  EXPECT_FALSE(editor.IsEnabled(kCommandCopy));
  EXPECT_FALSE(editor.IsEnabled(kCommandDelete));
  const std::size_t revisions = document.RevisionCount();
  editor.RunCommand(kCommandCopy);
  EXPECT_FALSE(editor.Clipboard().Full());
  EXPECT_FALSE(editor.IsEnabled(kCommandPaste));
  EXPECT_EQ(document.RevisionCount(), revisions);
}

TEST_F(Editor, DeleteRemovesTheSelectedDetectorOnly) {
  Add(0, 1);
  Add(0, 2);
  Add(1, 1);
  const std::size_t revisions = document.RevisionCount();
  editor.RunCommand(kCommandDelete);  // nothing selected
  EXPECT_EQ(document.RevisionCount(), revisions);
  editor.Select(1);
  editor.RunCommand(kCommandDelete);
  const RenderState& s = document.Current();
  ASSERT_EQ(s.detectors.size(), 2u);
  EXPECT_EQ(s.detectors[0].number, 1u);
  EXPECT_EQ(s.detectors[1].track, 1);
  EXPECT_EQ(s.selected, -1);
  EXPECT_EQ(document.RevisionCount(), revisions + 1);
  editor.RunCommand(kCommandUndo);
  EXPECT_EQ(document.Current().detectors.size(), 3u);
}

// --- inserting and settings ------------------------------------------------

TEST_F(Editor, InsertNumbersAfterTheHighestOnTheTrack) {
  Add(0, 1);
  Add(0, 2);
  Add(0, 7);
  Add(1, 12);
  editor.RunCommand(kCommandInsertQuadrilateral);
  const RenderState& s = document.Current();
  ASSERT_EQ(s.detectors.size(), 5u);
  const Detector& d = s.detectors.back();
  EXPECT_EQ(d.number, 8u);
  EXPECT_EQ(d.track, 0);
  EXPECT_EQ(s.selected, 4);
  EXPECT_EQ(d.ladderSteps, 2);  // the view's initial ladder setting
  EXPECT_EQ(d.lineWidth, 1);
  EXPECT_EQ(d.vertices[0], (CanvasPoint{50, 40}));

  editor.SetCurrentTrack(1);
  editor.RunCommand(kCommandInsertLine);
  EXPECT_EQ(document.Current().detectors.back().number, 13u);
  EXPECT_EQ(document.Current().detectors.back().kind, DetectorKind::Line);
}

TEST_F(Editor, InsertOnAnEmptyTrackGivesNumberOne) {
  editor.SetCurrentTrack(1);
  editor.RunCommand(kCommandInsertQuadrilateral);
  EXPECT_EQ(document.Current().detectors.back().number, 1u);
}

TEST_F(Editor, InsertWithoutCurrentTrackIsDisabledAndDoesNothing) {
  editor.SetCurrentTrack(-1);
  EXPECT_FALSE(editor.IsEnabled(kCommandInsertQuadrilateral));
  EXPECT_FALSE(editor.IsEnabled(kCommandBackgroundFromFile));
  EXPECT_TRUE(editor.IsEnabled(kCommandInsertQuadrilateral, /*contextMenu=*/true));
  editor.RunCommand(kCommandInsertQuadrilateralAtPoint, {100, 100});
  EXPECT_EQ(document.RevisionCount(), 1u);
}

TEST_F(Editor, InsertAtPointMovesTheBoundingBoxCornerThereAndClamps) {
  editor.RunCommand(kCommandInsertQuadrilateralAtPoint, {100, 20});
  const Detector& d = document.Current().detectors.back();
  // Default box starts at (40, 40): every vertex moves by (60, -20).
  EXPECT_EQ(d.vertices[0], (CanvasPoint{110, 20}));
  EXPECT_EQ(d.vertices[3], (CanvasPoint{100, 60}));

  editor.RunCommand(kCommandInsertQuadrilateralAtPoint, {200, 130});
  const Detector& e = document.Current().detectors.back();
  EXPECT_EQ(e.vertices[2], (CanvasPoint{209, 143}));  // clamped into the 180 visible columns
  EXPECT_EQ(e.vertices[0], (CanvasPoint{209, 130}));
}

TEST_F(Editor, SettingsCommandsChangeSettingsAndTheSelectedDetector) {
  editor.RunCommand(kCommandLineWidth1 + 2);
  EXPECT_EQ(editor.LineWidthSetting(), 3);
  EXPECT_EQ(document.RevisionCount(), 1u);  // nothing selected: no revision
  EXPECT_TRUE(editor.IsChecked(kCommandLineWidth1 + 2));
  EXPECT_FALSE(editor.IsChecked(kCommandLineWidth1));

  editor.RunCommand(kCommandInsertQuadrilateral);
  EXPECT_EQ(document.Current().detectors.back().lineWidth, 3);
  const std::size_t revisions = document.RevisionCount();
  editor.RunCommand(kCommandEvenFill);
  EXPECT_EQ(document.Current().detectors.back().fillPercent, 20);
  EXPECT_EQ(document.Current().detectors.back().ladderSteps, 0);
  EXPECT_TRUE(editor.IsChecked(kCommandEvenFill));
  EXPECT_FALSE(editor.IsChecked(kCommandNoFill));
  editor.RunCommand(kCommandEvenFill);  // same values: no second revision
  EXPECT_EQ(document.RevisionCount(), revisions + 1);
  editor.RunCommand(kCommandNoFill);
  EXPECT_TRUE(editor.IsChecked(kCommandNoFill));
  editor.RunCommand(kCommandLadder1 + 5);
  EXPECT_EQ(document.Current().detectors.back().ladderSteps, 6);
  EXPECT_TRUE(editor.IsChecked(kCommandLadder6));
}

TEST_F(Editor, SelectingADetectorTakesItsSettings) {
  Detector& d = Add(0, 1);
  d.lineWidth = 4;
  d.ladderSteps = 0;
  d.fillPercent = 20;
  editor.Select(0);
  EXPECT_EQ(editor.LineWidthSetting(), 4);
  EXPECT_EQ(editor.LadderSetting(), 0);
  EXPECT_EQ(editor.FillSetting(), 20);
}

TEST_F(Editor, ZoomStaysWithinOneToSix) {
  updates.Take();
  editor.RunCommand(kCommandZoomOut);
  EXPECT_EQ(editor.Zoom(), 1);
  EXPECT_EQ(updates.Take(), 0u);
  for (int i = 0; i < 10; ++i) editor.RunCommand(kCommandZoomIn);
  EXPECT_EQ(editor.Zoom(), 6);
  EXPECT_TRUE(updates.Take() & UpdateViewSize);
}

TEST_F(Editor, ToolsAreCheckedOneAtATime) {
  editor.RunCommand(kCommandMoveTool);
  EXPECT_EQ(editor.Tool(), EditorTool::Move);
  EXPECT_TRUE(editor.IsChecked(kCommandMoveTool));
  EXPECT_FALSE(editor.IsChecked(kCommandPointerTool));
  EXPECT_FALSE(editor.RunCommand(kCommandBackgroundFromFile));  // not the editor's own command
}

TEST_F(Editor, SwitchingTrackClearsTheSelectionWithoutARevision) {
  Add(0, 1);
  editor.Select(0);
  const std::size_t revisions = document.RevisionCount();
  editor.SetCurrentTrack(1);
  EXPECT_EQ(document.Current().selected, -1);
  EXPECT_EQ(document.RevisionCount(), revisions);
}

// --- gestures ----------------------------------------------------------------

TEST_F(Editor, VertexDragMovesClampsAndDropsErasures) {
  Detector& d = Add(0, 1);
  d.eraser.Write().SetBlack(60, 60);
  editor.Select(0);
  const std::size_t revisions = document.RevisionCount();
  EXPECT_FALSE(editor.MoveVertex(0, 0, 0));  // no movement, no revision
  EXPECT_EQ(document.RevisionCount(), revisions);
  ASSERT_TRUE(editor.MoveVertex(2, 500, 1));
  const Detector& moved = document.Current().detectors[0];
  EXPECT_EQ(moved.vertices[2], (CanvasPoint{209, 81}));
  EXPECT_EQ(moved.vertices[0], (CanvasPoint{50, 40}));
  EXPECT_FALSE(moved.eraser->HasBlack());
  EXPECT_TRUE(document.Revision(revisions - 1).detectors[0].eraser->IsBlack(60, 60));
}

TEST_F(Editor, MovingAgainstTheLeftEdgeStopsEachVertexAtTheFirstVisibleColumn) {
  Add(0, 1);
  editor.Select(0);
  ASSERT_TRUE(editor.MoveSelected(-15, 0));
  const Detector& d = document.Current().detectors[0];
  EXPECT_EQ(d.vertices[0].x, 35);
  EXPECT_EQ(d.vertices[3].x, 30);  // 40 - 15 clamped to column 30: the shape is squeezed
  EXPECT_EQ(d.vertices[2].x, 65);
  document.NewRenderState().pictureWidth = 240;
  ASSERT_TRUE(editor.MoveSelected(-100, -100));
  EXPECT_EQ(document.Current().detectors[0].vertices[3], (CanvasPoint{0, 0}));
}

TEST_F(Editor, DirectionAngles) {
  EXPECT_EQ(DirectionAngle(10, 10, 10, 20), 0);
  EXPECT_EQ(DirectionAngle(10, 10, 20, 10), 90);
  EXPECT_EQ(DirectionAngle(10, 10, 10, 0), 180);
  EXPECT_EQ(DirectionAngle(10, 10, 0, 10), 270);
  EXPECT_EQ(DirectionAngle(10, 10, 20, 0), 135);
  EXPECT_FALSE(DirectionAngle(5, 5, 5, 5).has_value());
  for (int dx = -7; dx <= 7; ++dx)
    for (int dy = -7; dy <= 7; ++dy)
      if (auto a = DirectionAngle(0, 0, dx, dy)) {
        EXPECT_GE(*a, 0);
        EXPECT_LT(*a, 360);
      }
}

TEST_F(Editor, DirectionDragStoresTheAngle) {
  Add(0, 1);
  editor.Select(0);
  ASSERT_TRUE(editor.EndDirectionDrag(0, 0, 10, -10));
  EXPECT_EQ(document.Current().detectors[0].angle, 135);
  ASSERT_TRUE(editor.EndDirectionDrag(3, 3, 3, 3));
  EXPECT_EQ(document.Current().detectors[0].angle, 135);
}

TEST_F(Editor, AnEraserStrokeIsOneRevision) {
  Add(0, 1);
  editor.Select(0);
  const std::size_t revisions = document.RevisionCount();
  editor.BeginEraseStroke();
  EXPECT_TRUE(editor.Erase({60, 50}));
  EXPECT_FALSE(editor.Erase({60, 50}));  // already black
  EXPECT_TRUE(editor.Erase({61, 50}));
  EXPECT_FALSE(editor.Erase({-1, 50}));
  editor.EndEraseStroke();
  EXPECT_FALSE(editor.Erase({62, 50}));
  EXPECT_EQ(document.RevisionCount(), revisions + 1);
  const Picture& mask = *document.Current().detectors[0].eraser;
  EXPECT_TRUE(mask.IsBlack(60, 50));
  EXPECT_TRUE(mask.IsBlack(61, 50));
  EXPECT_FALSE(mask.IsBlack(62, 50));
  EXPECT_FALSE(document.Revision(revisions - 1).detectors[0].eraser->HasBlack());
}

// The brush is 9 x 9 screen pixels around the pointer, each erasing the canvas pixel under it:
// 9 x 9 canvas pixels at zoom 1, fewer at larger zooms, and over the picture's edge it erases the
// edge (180-wide picture: columns 30..209).
TEST_F(Editor, TheEraserBrushCoversNineByNineScreenPixels) {
  struct Case {
    std::int32_t x, y;
    int zoom;
    int left, top, right, bottom;  // the erased canvas pixels, edges included
  } const cases[] = {
      {30, 50, 1, 56, 46, 64, 54},
      {30, 50, 3, 38, 15, 41, 18},
      {0, 0, 1, 30, 0, 34, 4},
      {181, 146, 1, 207, 142, 209, 143},
      {-20, 70, 2, 30, 33, 30, 37},
  };
  Add(0, 1);
  editor.Select(0);
  for (const Case& c : cases) {
    document.Current().detectors[0].eraser = SharedWhitePicture();
    editor.BeginEraseStroke();
    EXPECT_TRUE(editor.EraseBrush(c.x, c.y, c.zoom));
    EXPECT_FALSE(editor.EraseBrush(c.x, c.y, c.zoom)) << "already black";
    editor.EndEraseStroke();
    const Picture& mask = *document.Current().detectors[0].eraser;
    int black = 0;
    for (int y = 0; y < Picture::kCanvasHeight; ++y)
      for (int x = 0; x < Picture::kCanvasWidth; ++x)
        if (mask.IsBlack(x, y)) {
          ++black;
          EXPECT_TRUE(x >= c.left && x <= c.right && y >= c.top && y <= c.bottom) << c.x << "," << c.y << ": " << x << "," << y;
        }
    EXPECT_EQ(black, (c.right - c.left + 1) * (c.bottom - c.top + 1)) << c.x << "," << c.y << " at zoom " << c.zoom;
  }
  editor.SetCurrentTrack(-1);
  editor.Select(0);
  editor.BeginEraseStroke();
  EXPECT_FALSE(editor.EraseBrush(30, 50, 1)) << "no current track";
}

TEST_F(Editor, AStrokeStopsWritingOnceItsRevisionIsNoLongerCurrent) {
  Add(0, 1);
  editor.Select(0);
  editor.BeginEraseStroke();
  document.StepBack();
  EXPECT_FALSE(editor.Erase({60, 50}));
  EXPECT_FALSE(document.Current().detectors[0].eraser->HasBlack());
  // Also when another edit has replaced the stroke's revision.
  document.NewRenderState();
  EXPECT_FALSE(editor.Erase({60, 50}));
  EXPECT_FALSE(document.Current().detectors[0].eraser->HasBlack());
}

TEST_F(Editor, UndoAndRedoCommandsFollowTheHistory) {
  EXPECT_FALSE(editor.IsEnabled(kCommandUndo));
  editor.RunCommand(kCommandInsertQuadrilateral);
  EXPECT_TRUE(editor.IsEnabled(kCommandUndo));
  EXPECT_FALSE(editor.IsEnabled(kCommandRedo));
  editor.RunCommand(kCommandUndo);
  EXPECT_TRUE(document.Current().detectors.empty());
  EXPECT_TRUE(editor.IsEnabled(kCommandRedo));
  editor.RunCommand(kCommandRedo);
  EXPECT_EQ(document.Current().detectors.size(), 1u);
}

}  // namespace
