#include "logic/validation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

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

// Each row changes a new document and names the rows reported, sorted; a stale row of the sink
// goes first.
TEST(Validation, ProblemsOfAProgram) {
  const auto range = [](const char* name) {
    return WideFromUtf8(std::string("Detektor ") + name + " ma numer spoza zakresu 1-16.");
  };
  const auto missing = [](const char* definition, const char* detector) {
    return WideFromUtf8(std::string("Definicja wyjścia ") + definition + " odnosi się do nieistniejącego detektora " +
                        detector + ".");
  };
  const std::wstring pairB3 = WideFromUtf8("Dwa detektory mają zadeklarowaną taką samą nazwę B3.");
  const auto andOf = [](std::uint32_t a, std::uint32_t b) {
    return ExprNode(NodeKind::And, ExprNode(NodeKind::DetectorA, a), ExprNode(NodeKind::DetectorA, b));
  };
  const struct {
    const char* what;
    std::function<void(RenderState&)> change;
    std::vector<std::wstring> rows;
  } cases[] = {
      {"new document", [](RenderState&) {}, {}},
      {"numbers outside 1-16",
       [](RenderState& s) { s.detectors = {Named(0, 0), Named(1, 17), Named(2, 16), Named(3, 1)}; },
       {range("A0"), range("B17")}},
      {"two of one name", [](RenderState& s) { s.detectors = {Named(1, 3), Named(1, 3)}; }, {pairB3}},
      {"three of one name: every pair",
       [](RenderState& s) { s.detectors = {Named(1, 3), Named(1, 3), Named(1, 3)}; },
       {pairB3, pairB3, pairB3}},
      {"one number on two tracks", [](RenderState& s) { s.detectors = {Named(0, 3), Named(1, 3)}; }, {}},
      {"a missing detector",
       [&](RenderState& s) {
         s.detectors = {Named(0, 1)};
         s.outputDefinitions[1].Assign(andOf(1, 5));
       },
       {missing("Y2", "A5")}},
      {"only the first missing detector of a definition",
       [&](RenderState& s) {
         s.detectors = {Named(0, 1)};
         s.outputDefinitions[1].Assign(andOf(5, 6));
       },
       {missing("Y2", "A5")}},
      {"Z and track definitions are named by their labels",
       [](RenderState& s) {
         s.zDefinitions.assign(64, NewDefinitionRoot(NodeKind::Undefined));
         s.zDefinitions[63].Assign(ExprNode(NodeKind::Or, ExprNode(NodeKind::Zero), ExprNode(NodeKind::DetectorC, 2)));
         s.trackDefinitions[1].Assign(ExprNode(NodeKind::DetectorD, 1));
       },
       {missing("Bc", "D1"), missing("Z64", "C2")}},
  };
  for (const auto& c : cases) {
    RenderState s = RenderState::New();
    c.change(s);
    RecordingProblems problems;
    problems.rows.push_back(L"stale row");
    EXPECT_EQ(ValidateProgram(s, problems), !c.rows.empty()) << c.what;
    EXPECT_EQ(problems.Sorted(), c.rows) << c.what;
    EXPECT_EQ(problems.clears, 1) << c.what;
  }
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
