#include "logic/validation.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "base/text.h"
#include "doc/document.h"
#include "support/recording_updates.h"

namespace {

class RecordingProblems : public ProblemSink {
 public:
  void ClearProblems() override {
    rows.clear();
    ++clears;
  }
  void AddProblem(const std::wstring& text) override { rows.push_back(text); }
  std::vector<std::wstring> Sorted() const {
    auto sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    return sorted;
  }
  std::vector<std::wstring> rows;
  int clears = 0;
};

Detector Named(std::int32_t track, std::uint32_t number) {
  Detector d;
  d.track = track;
  d.number = number;
  return d;
}

TEST(Validation, RunsOnTheCurrentRevisionOfADocument) {
  RecordingUpdates updates;
  Document document(updates);
  RecordingProblems problems;
  EXPECT_FALSE(ValidateProgram(document, problems));
  document.NewRenderState().detectors.push_back(Named(2, 0));
  EXPECT_TRUE(ValidateProgram(document, problems));
  EXPECT_EQ(problems.rows, std::vector<std::wstring>{L"Detektor C0 ma numer spoza zakresu 1-16."});
  document.StepBack();
  EXPECT_FALSE(ValidateProgram(document, problems));
  EXPECT_TRUE(problems.rows.empty());
}

TEST(Validation, NewDocumentHasNoProblems) {
  RecordingProblems problems;
  problems.rows.push_back(L"stale row");
  EXPECT_FALSE(ValidateProgram(RenderState::New(), problems));
  EXPECT_TRUE(problems.rows.empty());
  EXPECT_EQ(problems.clears, 1);
}

TEST(Validation, NumbersOutsideOneToSixteen) {
  RenderState s = RenderState::New();
  s.detectors = {Named(0, 0), Named(1, 17), Named(2, 16), Named(3, 1)};
  RecordingProblems problems;
  EXPECT_TRUE(ValidateProgram(s, problems));
  EXPECT_EQ(problems.Sorted(), (std::vector<std::wstring>{L"Detektor A0 ma numer spoza zakresu 1-16.",
                                                          L"Detektor B17 ma numer spoza zakresu 1-16."}));
}

TEST(Validation, EveryPairOfOneNameIsReported) {
  RenderState s = RenderState::New();
  s.detectors = {Named(1, 3), Named(1, 3)};
  RecordingProblems problems;
  EXPECT_TRUE(ValidateProgram(s, problems));
  const std::wstring row = WideFromUtf8("Dwa detektory mają zadeklarowaną taką samą nazwę B3.");
  EXPECT_EQ(problems.rows, std::vector<std::wstring>{row});

  s.detectors.push_back(Named(1, 3));
  EXPECT_TRUE(ValidateProgram(s, problems));
  EXPECT_EQ(problems.rows, (std::vector<std::wstring>{row, row, row}));

  s.detectors = {Named(0, 3), Named(1, 3)};
  EXPECT_FALSE(ValidateProgram(s, problems));
  EXPECT_TRUE(problems.rows.empty());
}

TEST(Validation, FirstMissingDetectorOfEachDefinition) {
  RenderState s = RenderState::New();
  s.detectors = {Named(0, 1)};
  s.outputDefinitions[1].Assign(ExprNode(NodeKind::And, ExprNode(NodeKind::DetectorA, 1), ExprNode(NodeKind::DetectorA, 5)));
  RecordingProblems problems;
  EXPECT_TRUE(ValidateProgram(s, problems));
  EXPECT_EQ(problems.rows,
            std::vector<std::wstring>{WideFromUtf8("Definicja wyjścia Y2 odnosi się do nieistniejącego detektora A5.")});

  s.outputDefinitions[1].Assign(ExprNode(NodeKind::And, ExprNode(NodeKind::DetectorA, 5), ExprNode(NodeKind::DetectorA, 6)));
  EXPECT_TRUE(ValidateProgram(s, problems));
  EXPECT_EQ(problems.rows,
            std::vector<std::wstring>{WideFromUtf8("Definicja wyjścia Y2 odnosi się do nieistniejącego detektora A5.")});
}

TEST(Validation, ZAndTrackDefinitionsAreNamedByTheirLabels) {
  RenderState s = RenderState::New();
  s.zDefinitions.assign(64, NewDefinitionRoot(NodeKind::Undefined));
  s.zDefinitions[63].Assign(ExprNode(NodeKind::Or, ExprNode(NodeKind::Zero), ExprNode(NodeKind::DetectorC, 2)));
  s.trackDefinitions[1].Assign(ExprNode(NodeKind::DetectorD, 1));
  RecordingProblems problems;
  EXPECT_TRUE(ValidateProgram(s, problems));
  EXPECT_EQ(problems.Sorted(),
            (std::vector<std::wstring>{
                WideFromUtf8("Definicja wyjścia Bc odnosi się do nieistniejącego detektora D1."),
                WideFromUtf8("Definicja wyjścia Z64 odnosi się do nieistniejącego detektora C2."),
            }));
}

TEST(Validation, ConstantsAndLabelsNeverCount) {
  RenderState s;
  s.outputDefinitions.assign(8, NewDefinitionRoot(NodeKind::Undefined));
  s.outputDefinitions[0].Assign(ExprNode(NodeKind::Assign, ExprNode(NodeKind::OutputLabel, 1), ExprNode(NodeKind::TrackLabel, 2)));
  RecordingProblems problems;
  EXPECT_FALSE(ValidateProgram(s, problems));
  const MissingDetector none = FindMissingDetector(*s.outputDefinitions[0], s);
  EXPECT_FALSE(none.found);
  const MissingDetector found = FindMissingDetector(
      ExprNode(NodeKind::Xor, ExprNode(NodeKind::One), ExprNode(NodeKind::DetectorB, 32)), s);
  EXPECT_TRUE(found.found);
  EXPECT_EQ(found.track, 1);
  EXPECT_EQ(found.number, 32u);
}

}  // namespace
