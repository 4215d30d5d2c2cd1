#include "doc/document.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/trace.h"
#include "doc/script.h"
#include "support/recording_updates.h"

namespace {

class RecordingObserver : public DocumentObserver {
 public:
  void SelectRevision(const RenderState& state) override { selections.push_back(state.selected); }
  void ShowDefinitions(const RenderState&) override { ++shownDefinitions; }
  void PathChanged(const std::string& path) override { paths.push_back(path); }
  std::vector<std::int32_t> selections;
  int shownDefinitions = 0;
  std::vector<std::string> paths;
};

Detector MakeDetector(std::int32_t track, std::uint32_t number) {
  Detector d;
  d.track = track;
  d.number = number;
  return d;
}

// A new document and the updates it asks for.
struct DocumentTest : ::testing::Test {
  RecordingUpdates updates;
  Document document{updates};
};

// A document with one selected detector A1.
struct DocumentWithDetector : DocumentTest {
  void SetUp() override {
    RenderState state = RenderState::New();
    state.detectors.push_back(MakeDetector(0, 1));
    state.selected = 0;
    document.Replace(std::move(state), "");
    updates.Take();
  }
};

TEST_F(DocumentTest, DefaultsOfANewDocumentAReadRevisionAndADetector) {
  ASSERT_EQ(document.RevisionCount(), 1u);
  EXPECT_EQ(document.CurrentIndex(), 0u);
  EXPECT_FALSE(document.Modified());
  EXPECT_TRUE(document.Path().empty());
  const RenderState& state = document.Current();
  ASSERT_EQ(state.pictures.size(), 2u);
  for (const auto& picture : state.pictures) {
    EXPECT_EQ(picture->width, 240);
    EXPECT_EQ(picture->height, 144);
    ASSERT_EQ(picture->pixels.size(), 240u * 144 * 3);
    EXPECT_EQ(picture->pixels.front(), 255);
    EXPECT_EQ(picture->pixels.back(), 255);
    EXPECT_FALSE(picture->HasBlack());
  }
  EXPECT_TRUE(state.detectors.empty());
  EXPECT_EQ(state.selected, -1);
  EXPECT_EQ(state.pictureWidth, 180);
  EXPECT_EQ(state.outputDefinitions.size(), 8u);
  EXPECT_EQ(state.trackDefinitions.size(), 2u);
  EXPECT_TRUE(state.zDefinitions.empty());
  EXPECT_TRUE(state.selectionPath.empty());
  EXPECT_FALSE(document.CanStepBack());
  EXPECT_FALSE(document.CanStepForward());
  EXPECT_EQ(PrintScript(state), "Y1 = 1\nY2 = 1\nY3 = 1\nY4 = 1\nY5 = 1\nY6 = 1\nY7 = 1\nY8 = 1\n");

  // A revision for a reader to fill has nothing in it.
  const RenderState empty;
  EXPECT_TRUE(empty.pictures.empty());
  EXPECT_TRUE(empty.detectors.empty());
  EXPECT_EQ(empty.pictureWidth, 180);
  EXPECT_EQ(empty.selected, -1);
  EXPECT_TRUE(empty.outputDefinitions.empty());
  EXPECT_TRUE(empty.trackDefinitions.empty());

  const Detector d;
  EXPECT_EQ(d.vertices[0], (CanvasPoint{50, 40}));
  EXPECT_EQ(d.vertices[1], (CanvasPoint{70, 40}));
  EXPECT_EQ(d.vertices[2], (CanvasPoint{80, 80}));
  EXPECT_EQ(d.vertices[3], (CanvasPoint{40, 80}));
  EXPECT_EQ(d.featureThreshold, 880);
  EXPECT_EQ(d.threshold, 3);
  EXPECT_EQ(d.number, 1u);
  EXPECT_TRUE(d.IsNormal());
  EXPECT_FALSE(d.eraser->HasBlack());
}

TEST_F(DocumentTest, NewRenderStateCopiesSetsModifiedRequestsUpdatesAndTraces) {
  RecordingObserver observer;
  document.SetObserver(&observer);
  std::vector<std::string> traces;
  SetTraceSink([&](const std::string& text) { traces.push_back(text); });
  RenderState& edited = document.NewRenderState();
  SetTraceSink({});
  EXPECT_EQ(&edited, &document.Current());
  EXPECT_EQ(document.RevisionCount(), 2u);
  EXPECT_EQ(document.CurrentIndex(), 1u);
  EXPECT_TRUE(document.Modified());
  EXPECT_EQ(updates.Take(), std::uint32_t{UpdateView | UpdateCommands});
  EXPECT_EQ(observer.selections.size(), 1u);
  ASSERT_EQ(traces.size(), 1u);
  EXPECT_EQ(traces[0].rfind("Document::NewRenderState: ", 0), 0u);
  EXPECT_EQ(traces[0].substr(traces[0].size() - 3), "ms\n");

  // Every later edit also asks for the command refresh (validation runs after each change).
  document.NewRenderState();
  EXPECT_EQ(updates.Take(), std::uint32_t{UpdateView | UpdateCommands});
}

TEST_F(DocumentTest, HundredAndOneEditsKeepHundredRevisionsAndNinetyNineUndoSteps) {
  for (int i = 1; i <= 101; ++i) document.NewRenderState().pictureWidth = 1000 + i;
  EXPECT_EQ(document.RevisionCount(), 100u);
  EXPECT_EQ(document.CurrentIndex(), 99u);
  EXPECT_EQ(document.Current().pictureWidth, 1101);
  // The oldest kept revision is the one of edit 2: the new document and edit 1 are gone.
  EXPECT_EQ(document.Revision(0).pictureWidth, 1002);
  int steps = 0;
  while (document.StepBack()) ++steps;
  EXPECT_EQ(steps, 99);
  EXPECT_EQ(document.Current().pictureWidth, 1002);
}

TEST_F(DocumentTest, UndoRestoresEverythingAndRedoBringsTheEditBack) {
  RecordingObserver observer;
  document.SetObserver(&observer);
  {
    RenderState& s = document.NewRenderState();
    s.detectors.push_back(MakeDetector(1, 4));
    s.selected = 0;
    s.selectionPath = "Y0X";
  }
  {
    RenderState& s = document.NewRenderState();
    s.detectors[0].number = 9;
    s.detectors[0].eraser.Write().SetBlack(100, 50);
    s.pictures[1].Write().SetGrey(3, 3, 77);
    s.outputDefinitions[0].Write().kind = NodeKind::Zero;
    s.selected = -1;
    s.selectionPath = "Y1X";
  }
  updates.Take();
  ASSERT_TRUE(document.StepBack());
  EXPECT_EQ(updates.Take(), std::uint32_t{UpdateView | UpdateCommands});
  EXPECT_EQ(observer.shownDefinitions, 1);
  const RenderState& before = document.Current();
  ASSERT_EQ(before.detectors.size(), 1u);
  EXPECT_EQ(before.detectors[0].number, 4u);
  EXPECT_FALSE(before.detectors[0].eraser->HasBlack());
  EXPECT_EQ(before.pictures[1]->Grey(3, 3), 255);
  EXPECT_EQ(before.outputDefinitions[0]->kind, NodeKind::One);
  EXPECT_EQ(before.selected, 0);
  EXPECT_EQ(before.selectionPath, "Y0X");
  EXPECT_TRUE(document.CanStepForward());

  ASSERT_TRUE(document.StepForward());
  const RenderState& after = document.Current();
  EXPECT_EQ(after.detectors[0].number, 9u);
  EXPECT_TRUE(after.detectors[0].eraser->IsBlack(100, 50));
  EXPECT_EQ(after.pictures[1]->Grey(3, 3), 77);
  EXPECT_EQ(after.outputDefinitions[0]->kind, NodeKind::Zero);
  EXPECT_EQ(after.selectionPath, "Y1X");
  EXPECT_FALSE(document.StepForward());
}

TEST_F(DocumentTest, EditAfterUndoDropsTheRedoBranch) {
  document.NewRenderState().pictureWidth = 192;
  document.NewRenderState().pictureWidth = 240;
  document.StepBack();
  document.StepBack();
  document.NewRenderState().pictureWidth = 180;
  EXPECT_EQ(document.RevisionCount(), 2u);
  EXPECT_FALSE(document.CanStepForward());
  EXPECT_FALSE(document.StepForward());
  EXPECT_EQ(document.Current().pictureWidth, 180);
}

TEST_F(DocumentTest, UndoWithOneRevisionDoesNothing) {
  updates.Take();
  EXPECT_FALSE(document.StepBack());
  EXPECT_FALSE(document.Modified());
  EXPECT_EQ(updates.Take(), 0u);
  document.MarkSaved("x.trv");
  document.NewRenderState();
  document.StepBack();
  document.MarkSaved("x.trv");
  EXPECT_FALSE(document.StepBack());
  EXPECT_FALSE(document.Modified());
}

TEST_F(DocumentTest, UndoAndRedoSetModified) {
  document.NewRenderState();
  document.MarkSaved("a.trv");
  EXPECT_FALSE(document.Modified());
  document.StepBack();
  EXPECT_TRUE(document.Modified());
  document.MarkSaved("a.trv");
  document.StepForward();
  EXPECT_TRUE(document.Modified());
}

TEST_F(DocumentTest, ReplaceAndMarkSavedManagePathModifiedAndUpdates) {
  RecordingObserver observer;
  document.SetObserver(&observer);
  document.NewRenderState();
  document.NewRenderState();
  updates.Take();
  RenderState loaded;
  loaded.pictureWidth = 240;
  document.Replace(std::move(loaded), "C:\\a.trv");
  EXPECT_EQ(document.RevisionCount(), 1u);
  EXPECT_EQ(document.CurrentIndex(), 0u);
  EXPECT_EQ(document.Current().pictureWidth, 240);
  EXPECT_EQ(document.Path(), "C:\\a.trv");
  EXPECT_FALSE(document.Modified());
  const std::uint32_t bits = updates.Take();
  EXPECT_TRUE(bits & UpdateCommands);
  EXPECT_TRUE(bits & UpdateViewSize);
  EXPECT_EQ(observer.paths, std::vector<std::string>{"C:\\a.trv"});
  EXPECT_EQ(observer.shownDefinitions, 1);

  document.NewRenderState();
  document.MarkSaved("C:\\b.trv");
  EXPECT_FALSE(document.Modified());
  EXPECT_EQ(document.Path(), "C:\\b.trv");
  EXPECT_TRUE(updates.Take() & UpdateCommands);
  EXPECT_EQ(document.RevisionCount(), 2u);  // saving keeps the history
}

TEST_F(DocumentWithDetector, SettingTheStoredValueMakesNoRevision) {
  EXPECT_FALSE(document.SetNumber(1));
  EXPECT_FALSE(document.SetAngle(0));
  EXPECT_FALSE(document.SetDelay(0));
  EXPECT_FALSE(document.SetExtension(0));
  EXPECT_FALSE(document.SetThresholds(880, 3));
  EXPECT_FALSE(document.SetLineWidth(1));
  EXPECT_FALSE(document.SetLadderAndFill(1, 0));
  EXPECT_FALSE(document.SetNormal());
  EXPECT_EQ(document.RevisionCount(), 1u);
  EXPECT_FALSE(document.Modified());
  EXPECT_EQ(updates.Take(), 0u);
}

TEST_F(DocumentWithDetector, EachChangedValueIsOneRevisionOfTheSelectedDetector) {
  EXPECT_TRUE(document.SetNumber(5));
  EXPECT_TRUE(document.SetAngle(90));
  EXPECT_TRUE(document.SetDelay(300));
  EXPECT_TRUE(document.SetExtension(200));
  EXPECT_TRUE(document.SetThresholds(500, 3));  // one of the two differs
  EXPECT_TRUE(document.SetLineWidth(3));
  EXPECT_TRUE(document.SetLadderAndFill(1, 20));
  EXPECT_EQ(document.RevisionCount(), 8u);
  const Detector& d = document.Current().detectors[0];
  EXPECT_EQ(d.number, 5u);
  EXPECT_EQ(d.angle, 90);
  EXPECT_EQ(d.delay, 300);
  EXPECT_EQ(d.extension, 200);
  EXPECT_EQ(d.featureThreshold, 500);
  EXPECT_EQ(d.lineWidth, 3);
  EXPECT_EQ(d.fillPercent, 20);
  EXPECT_EQ(document.Revision(0).detectors[0].number, 1u);
  EXPECT_TRUE(document.Modified());
}

TEST_F(DocumentWithDetector, TypeSettersSetBothFlags) {
  EXPECT_TRUE(document.SetContrast());
  EXPECT_TRUE(document.Current().detectors[0].contrast);
  EXPECT_FALSE(document.Current().detectors[0].directional);
  EXPECT_FALSE(document.SetContrast());
  EXPECT_TRUE(document.SetDirectional());
  EXPECT_FALSE(document.Current().detectors[0].contrast);
  EXPECT_TRUE(document.Current().detectors[0].directional);
  EXPECT_TRUE(document.SetNormal());
  EXPECT_TRUE(document.Current().detectors[0].IsNormal());
  EXPECT_EQ(document.RevisionCount(), 4u);
}

TEST_F(DocumentWithDetector, SettersWithoutSelectionDoNothing) {
  document.Current().selected = -1;
  EXPECT_FALSE(document.SetNumber(7));
  EXPECT_FALSE(document.SetContrast());
  document.Current().selected = 5;  // out of range counts as none
  EXPECT_FALSE(document.SetAngle(10));
  EXPECT_EQ(document.RevisionCount(), 1u);
}

TEST_F(DocumentTest, UsedNumbersSetsBitsForNumbersOneToThirtyTwo) {
  RenderState& s = document.NewRenderState();
  for (auto [track, number] : std::vector<std::pair<int, unsigned>>{{0, 0}, {0, 1}, {0, 32}, {0, 33}, {1, 3}, {3, 16}, {4, 1}, {-1, 2}})
    s.detectors.push_back(MakeDetector(track, number));
  const auto used = document.UsedNumbers();
  EXPECT_EQ(used[0], 0x80000001u);
  EXPECT_EQ(used[1], 0x4u);
  EXPECT_EQ(used[2], 0u);
  EXPECT_EQ(used[3], 0x8000u);
}

TEST_F(DocumentTest, BoundingBoxUsesTheVerticesInUse) {
  Detector d;
  d.vertices = {{{10, 20}, {30, 5}, {200, 140}, {0, 0}}};
  const DetectorBounds quad = BoundingBox(d);
  EXPECT_EQ(quad.minX, 0);
  EXPECT_EQ(quad.minY, 0);
  EXPECT_EQ(quad.maxX, 200);
  EXPECT_EQ(quad.maxY, 140);
  d.kind = DetectorKind::Line;
  const DetectorBounds line = BoundingBox(d);
  EXPECT_EQ(line.minX, 10);
  EXPECT_EQ(line.minY, 5);
  EXPECT_EQ(line.maxX, 30);
  EXPECT_EQ(line.maxY, 20);
  EXPECT_TRUE(line.Contains(10, 20));
  EXPECT_FALSE(line.Contains(31, 20));
}

TEST_F(DocumentTest, RevisionsShareWhatDidNotChange) {
  {
    RenderState& s = document.NewRenderState();
    s.detectors.push_back(MakeDetector(0, 1));
    s.detectors.push_back(MakeDetector(0, 2));
    s.detectors[0].eraser.Write().SetBlack(40, 40);
    s.detectors[1].eraser.Write().SetBlack(41, 41);
    s.selected = 0;
  }
  document.SetNumber(3);
  const RenderState& a = document.Revision(1);
  const RenderState& b = document.Revision(2);
  EXPECT_TRUE(a.pictures[0].Shares(b.pictures[0]));
  EXPECT_TRUE(a.detectors[0].eraser.Shares(b.detectors[0].eraser));
  EXPECT_TRUE(a.detectors[1].eraser.Shares(b.detectors[1].eraser));
  EXPECT_TRUE(a.outputDefinitions[3].Shares(b.outputDefinitions[3]));
  EXPECT_FALSE(a.detectors[0].eraser.Shares(a.detectors[1].eraser));

  // Writing one revision's mask gives it its own copy; the other keeps its pixels.
  document.NewRenderState().detectors[0].eraser.Write().SetBlack(42, 42);
  EXPECT_FALSE(document.Revision(2).detectors[0].eraser->IsBlack(42, 42));
  EXPECT_TRUE(document.Revision(3).detectors[0].eraser->IsBlack(42, 42));
  EXPECT_TRUE(document.Revision(3).detectors[0].eraser->IsBlack(40, 40));
  EXPECT_FALSE(document.Revision(2).detectors[0].eraser.Shares(document.Revision(3).detectors[0].eraser));
  EXPECT_TRUE(document.Revision(2).detectors[1].eraser.Shares(document.Revision(3).detectors[1].eraser));
}

TEST_F(DocumentTest, WritingTheSharedWhitePictureLeavesItWhite) {
  RenderState state = RenderState::New();
  state.pictures[0].Write().SetBlack(0, 0);
  EXPECT_FALSE(WhitePicture()->HasBlack());
  EXPECT_FALSE(state.pictures[1]->HasBlack());
  Detector fresh;
  EXPECT_FALSE(fresh.eraser->HasBlack());
}

}  // namespace
