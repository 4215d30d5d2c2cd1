// Backgrounds through the editor's commands: a bitmap file chosen in the open dialog (its checks
// and their messages), the live pictures, each one undo step; and the editor's screenshots.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "archive/synthetic_road.h"
#include "base/text.h"
#include "doc/win/editor_view_support.h"
#include "support/files.h"
#include "support/win_artifacts.h"

namespace trevna_test {
namespace {

using BackgroundViewTest = EditorFixture;

void Put16(std::string& s, std::size_t at, std::uint16_t v) { std::memcpy(&s[at], &v, 2); }
void Put32(std::string& s, std::size_t at, std::uint32_t v) { std::memcpy(&s[at], &v, 4); }

// A bottom-up 24-bit bitmap file of one colour (blue, green, red), header fields adjustable.
std::string BitmapFile(int width, std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
  std::string file(54 + static_cast<std::size_t>(width) * 432, '\0');
  file[0] = 'B';
  file[1] = 'M';
  Put32(file, 2, static_cast<std::uint32_t>(file.size()));
  Put32(file, 10, 54);
  Put32(file, 14, 40);
  Put32(file, 18, static_cast<std::uint32_t>(width));
  Put32(file, 22, 144);
  Put16(file, 26, 1);
  Put16(file, 28, 24);
  for (std::size_t at = 54; at + 2 < file.size(); at += 3) {
    file[at] = static_cast<char>(blue);
    file[at + 1] = static_cast<char>(green);
    file[at + 2] = static_cast<char>(red);
  }
  return file;
}

TEST_F(BackgroundViewTest, BitmapFilesFillTheCentredColumnsOfTheCurrentTrackAsOneUndoStep) {
  TempFolder folder("editor-bmp");
  struct Case {
    int width;
    int first, last;  // canvas columns filled
  };
  Click(At(1, 35, 5));  // track B
  for (const Case& c : {Case{192, 24, 215}, Case{240, 0, 239}}) {
    SCOPED_TRACE(c.width);
    const std::string path = folder.File("road" + std::to_string(c.width) + ".bmp");
    WriteBytes(path, BitmapFile(c.width, 100, 50, 200));  // grey (700 + 3600 + 4200) / 100 = 85
    frame->files.paths.push_back(path);
    const Picture before = *State().pictures[1];
    const std::size_t revisions = Doc().RevisionCount();
    Run(kCommandBackgroundFromFile);
    ASSERT_EQ(Doc().RevisionCount(), revisions + 1);
    ASSERT_FALSE(frame->files.requests.empty());
    EXPECT_EQ(frame->files.requests.back().pattern, L"*.bmp");
    const Picture& after = *State().pictures[1];
    for (int x : {c.first, c.last, 120}) EXPECT_EQ(after.Grey(x, 70), 85) << x;
    if (c.first > 0) {
      EXPECT_EQ(after.Grey(c.first - 1, 70), before.Grey(c.first - 1, 70));
    }
    EXPECT_EQ(*State().pictures[0], Picture()) << "track A keeps its picture";
    // The view shows the new grey in pane B.
    auto picture = Render();
    const POINT p = At(1, 100, 70);
    EXPECT_EQ(picture->Pixel(p.x, p.y), 0x555555u);
    Run(kCommandUndo);
    EXPECT_EQ(*State().pictures[1], before);
    Run(kCommandRedo);
  }
}

TEST_F(BackgroundViewTest, RefusedBitmapsShowTheirMessageAndChangeNothing) {
  TempFolder folder("editor-bad-bmp");
  struct Case {
    const char* name;
    std::string file;
    const char* message;
  };
  std::string compressed = BitmapFile(180, 1, 2, 3);
  Put16(compressed, 28, 8);
  Put32(compressed, 30, 1);
  std::string signature = BitmapFile(180, 1, 2, 3);
  signature[0] = 'X';
  std::string palette = BitmapFile(180, 1, 2, 3);
  Put32(palette, 10, 1078);
  const Case cases[] = {
      {"short", std::string(53, 'B'), "Niepoprawny plik bitmapy."},
      {"signature", signature, "Niepoprawna sygnatura nagłówka bitampy."},
      {"compressed 8-bit", compressed, "Niepoprawny format kodowania obrazu bitmapy."},
      {"200 wide", BitmapFile(200, 1, 2, 3),
       "Niepoprawne wymiary obrazu bitmapy (muszą wynosić 180x144, 192x144 lub 240x144)."},
      {"colour table", palette, "Niepoprawny plik bitmapy."},
      {"extra bytes", BitmapFile(180, 1, 2, 3) + "x", "Niepoprawny rozmiar pliku bitmapy."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder.File(std::string("bad") + std::to_string(&c - cases) + ".bmp");
    WriteBytes(path, c.file);
    frame->files.paths.push_back(path);
    const std::size_t revisions = Doc().RevisionCount();
    try {
      view.Command(kCommandBackgroundFromFile);
      ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(Utf8FromCp1250(e.what()), c.message);
    }
    EXPECT_EQ(Doc().RevisionCount(), revisions);
  }
  // Cancelling the dialog does nothing.
  Run(kCommandBackgroundFromFile);
  EXPECT_EQ(Doc().RevisionCount(), 1u);
}

TEST_F(BackgroundViewTest, LiveVideoReplacesEveryShownPictureAsOneUndoStep) {
  Picture dark;
  std::fill(dark.pixels.begin(), dark.pixels.end(), std::uint8_t{40});
  frame->live.pictures.assign(4, dark);
  Run(kCommandBackgroundFromLive);
  ASSERT_EQ(Doc().RevisionCount(), 2u);
  EXPECT_EQ(State().pictures.size(), 2u) << "only the tracks the revision shows";
  for (const auto& p : State().pictures) EXPECT_EQ(*p, dark);
  Run(kCommandUndo);
  for (const auto& p : State().pictures) EXPECT_EQ(*p, Picture());
}

// Four tracks of synthetic road pictures with detectors of every kind, at zoom 1 and 3; a
// selection with its handles, an eraser stroke and direction arrows. Saved for looking at.
TEST_F(BackgroundViewTest, Screenshots) {
  {
    RenderState& state = Doc().NewRenderState();
    state.pictures.clear();
    for (std::uint32_t track = 0; track < 4; ++track) {
      const std::vector<std::uint8_t> grey = synthetic::RoadScene(track, 240, 144).Render(3.0);
      Picture picture;
      for (int y = 0; y < 144; ++y)
        for (int x = 0; x < 240; ++x) picture.SetGrey(x, y, grey[static_cast<std::size_t>(y) * 240 + x]);
      state.pictures.push_back(Cow<Picture>(std::move(picture)));
    }
  }
  view.DocumentReplaced();
  Serve();
  for (int track = 0; track < 4; ++track) {
    Click(At(track, 35, 5));
    Run(kCommandInsertQuadrilateral);
    Doc().SetLadderAndFill(track == 1 ? 0 : 3, track == 1 ? 20 : 0);
    Run(kCommandInsertLine);
    Run(kCommandInsertQuadrilateral);
    Run(kCommandMoveTool);
    Drag(At(track, 60, 60), At(track, 140, 70));
    Run(kCommandPointerTool);
    if (track % 2 == 0) {
      Doc().SetDirectional();
      Doc().SetAngle(45 + 90 * track);
    } else {
      Doc().SetContrast();
    }
    Serve();
  }
  // Track A: an eraser stroke across the first detector, then it stays selected with a handle lit.
  Click(At(0, 35, 5));
  Click(At(0, 55, 45));
  Run(kCommandEraserTool);
  Drag(At(0, 45, 60), At(0, 85, 62), 8);
  Run(kCommandPointerTool);
  Send(WM_MOUSEMOVE, At(0, 70, 40), 0);
  Serve();
  ASSERT_GE(State().selected, 0);
  ASSERT_TRUE(State().SelectedDetector()->eraser->HasBlack());
  for (int zoom : {1, 3}) {
    while (view.Geometry().zoom < zoom) Run(kCommandZoomIn);
    Send(WM_MOUSEMOVE, At(0, 70, 40), 0);
    Serve();
    auto picture = Render();
    EXPECT_FALSE(SaveArtifact(*picture, "editor_zoom" + std::to_string(zoom)).empty());
  }
  // A direction drag in progress on track C: the arrow follows the drag, with the red drag line.
  Click(At(2, 35, 5));
  Click(At(2, 150, 70));
  ASSERT_TRUE(State().SelectedDetector() && State().SelectedDetector()->directional);
  Run(kCommandDirectionTool);
  const POINT from = At(2, 150, 70);
  Send(WM_LBUTTONDOWN, from, MK_LBUTTON);
  Send(WM_MOUSEMOVE, {from.x + 90, from.y - 40}, MK_LBUTTON);
  Serve();
  auto picture = Render();
  EXPECT_EQ(picture->Pixel(from.x + 60, from.y - 27), 0xFF0000u) << "on the drag line";
  EXPECT_FALSE(SaveArtifact(*picture, "editor_direction_drag").empty());
  Send(WM_LBUTTONUP, {from.x + 90, from.y - 40}, 0);
  Serve();
}

}  // namespace
}  // namespace trevna_test
