#include "logic/definition_commands.h"

#include <gtest/gtest.h>

#include "doc/document.h"
#include "doc/selection.h"
#include "doc/script.h"
#include "support/recording_updates.h"

namespace {

std::string FirstLine(const RenderState& s) {
  const std::string script = PrintScript(s);
  return script.substr(0, script.find('\n'));
}

TEST(DefinitionCommands, TheWorkedExample) {
  RenderState s = RenderState::New();
  s.selectionPath = "Y0X";
  ASSERT_TRUE(ApplyDefinitionCommand(s, kCommandMakeOr));
  EXPECT_EQ(FirstLine(s), "Y1 = (1 | 0)");
  s.selectionPath = "Y0AX";
  ASSERT_TRUE(ApplyDefinitionCommand(s, DetectorCommand(0, 1)));
  s.selectionPath = "Y0BX";
  ASSERT_TRUE(ApplyDefinitionCommand(s, DetectorCommand(1, 2)));
  ASSERT_TRUE(ApplyDefinitionCommand(s, kCommandMakeXor));
  EXPECT_EQ(FirstLine(s), "Y1 = (A1 | (B2 ^ 1))");
  EXPECT_EQ(s.selectionPath, "Y0BX");  // the selection text is kept
  EXPECT_EQ(ResolvePath(s)->kind, NodeKind::Xor);
}

TEST(DefinitionCommands, OperatorOnOperatorKeepsOperands) {
  RenderState s = RenderState::New();
  s.outputDefinitions[1].Assign(
      ExprNode(NodeKind::Or, ExprNode(NodeKind::DetectorA, 1), ExprNode(NodeKind::DetectorB, 2)));
  s.selectionPath = "Y1X";
  ApplyDefinitionCommand(s, kCommandMakeAnd);
  EXPECT_EQ(PrintExpression(*s.outputDefinitions[1]), "(A1 & B2)");
  ApplyDefinitionCommand(s, kCommandMakeXor);
  EXPECT_EQ(PrintExpression(*s.outputDefinitions[1]), "(A1 ^ B2)");
}

TEST(DefinitionCommands, LeafBecomesOperatorWithNeutralOperand) {
  for (auto [command, text] : std::vector<std::pair<std::uint32_t, std::string>>{
           {kCommandMakeOr, "(C5 | 0)"}, {kCommandMakeAnd, "(C5 & 1)"}, {kCommandMakeXor, "(C5 ^ 1)"}}) {
    RenderState s = RenderState::New();
    s.selectionPath = "Ca";
    s.selectionPath += "X";
    ApplyDefinitionCommand(s, DetectorCommand(2, 5));
    ApplyDefinitionCommand(s, command);
    EXPECT_EQ(PrintExpression(*s.trackDefinitions[0]), text);
  }
}

TEST(DefinitionCommands, OperatorOnUndefinedZRoot) {
  for (auto [command, text] : std::vector<std::pair<std::uint32_t, std::string>>{
           {kCommandMakeOr, "(0 | 0)"}, {kCommandMakeAnd, "(1 & 1)"}, {kCommandMakeXor, "(1 ^ 1)"}}) {
    RenderState s = RenderState::New();
    s.zDefinitions.assign(64, NewDefinitionRoot(NodeKind::Undefined));
    s.selectionPath = MakeSelectionPath(DefinitionFamily::Z, 63, "X");
    EXPECT_EQ(s.selectionPath, std::string("Z") + static_cast<char>('0' + 63) + "X");
    ApplyDefinitionCommand(s, command);
    EXPECT_EQ(PrintExpression(*s.zDefinitions[63]), text);
    EXPECT_EQ(s.zDefinitions[62]->kind, NodeKind::Undefined);
  }
}

TEST(DefinitionCommands, LeafCommandsDropChildren) {
  RenderState s = RenderState::New();
  s.selectionPath = "Y2X";
  ApplyDefinitionCommand(s, kCommandMakeAnd);
  // In this order: each leaf replaces the one before; commands outside the lists change nothing.
  const struct {
    std::uint32_t command;
    bool applies;
    const char* printed;
  } steps[] = {{kCommandMakeZero, true, "0"},      {kCommandMakeOne, true, "1"},  {kCommandDetectorFirst, true, "A1"},
               {40062, true, "A32"},               {40063, true, "B1"},           {40095, true, "C1"},
               {kCommandDetectorLast, true, "D32"}, {40160, false, "D32"},        {40026, false, "D32"}};
  for (const auto& step : steps) {
    EXPECT_EQ(ApplyDefinitionCommand(s, step.command), step.applies) << step.command;
    EXPECT_EQ(PrintExpression(*s.outputDefinitions[2]), step.printed) << step.command;
    EXPECT_TRUE(s.outputDefinitions[2]->children.empty()) << step.command;
  }
}

TEST(DefinitionCommands, ResetResetsTheRootAndKeepsTheSelection) {
  RenderState s = RenderState::New();
  s.zDefinitions.assign(64, NewDefinitionRoot(NodeKind::Undefined));
  s.selectionPath = "Y0X";
  ApplyDefinitionCommand(s, kCommandMakeOr);
  s.selectionPath = "Y0AX";
  ApplyDefinitionCommand(s, kCommandReset);
  EXPECT_EQ(s.outputDefinitions[0]->kind, NodeKind::One);
  EXPECT_TRUE(s.outputDefinitions[0]->children.empty());
  EXPECT_EQ(s.selectionPath, "Y0AX");

  s.selectionPath = "Z3X";
  ApplyDefinitionCommand(s, kCommandMakeAnd);
  ApplyDefinitionCommand(s, kCommandReset);
  EXPECT_EQ(s.zDefinitions[3]->kind, NodeKind::Undefined);

  // A reset track definition is One, as a new one is, so the script stays well formed.
  s.selectionPath = "CbX";
  ApplyDefinitionCommand(s, kCommandMakeZero);
  ApplyDefinitionCommand(s, kCommandReset);
  EXPECT_EQ(s.trackDefinitions[1]->kind, NodeKind::One);
  EXPECT_EQ(PrintScript(s).find("Bc"), std::string::npos);
}

TEST(DefinitionCommands, UndefinedOnlyOnAZRoot) {
  RenderState s = RenderState::New();
  s.zDefinitions.assign(64, NewDefinitionRoot(NodeKind::Undefined));
  s.selectionPath = "Y0X";
  EXPECT_FALSE(ApplyDefinitionCommand(s, kCommandMakeUndefined));
  EXPECT_EQ(s.outputDefinitions[0]->kind, NodeKind::One);
  s.selectionPath = "Z0X";
  ApplyDefinitionCommand(s, kCommandMakeOr);
  s.selectionPath = "Z0AX";
  EXPECT_FALSE(ApplyDefinitionCommand(s, kCommandMakeUndefined));
  s.selectionPath = "Z0X";
  EXPECT_TRUE(ApplyDefinitionCommand(s, kCommandMakeUndefined));
  EXPECT_EQ(s.zDefinitions[0]->kind, NodeKind::Undefined);
  EXPECT_TRUE(s.zDefinitions[0]->children.empty());
}

TEST(DefinitionCommands, SelectionPathsResolve) {
  RenderState s = RenderState::New();
  s.outputDefinitions[0].Assign(ExprNode(NodeKind::And,
                                         ExprNode(NodeKind::Or, ExprNode(NodeKind::DetectorA, 1), ExprNode(NodeKind::DetectorA, 2)),
                                         ExprNode(NodeKind::One)));
  s.selectionPath = "Y0ABX";
  EXPECT_EQ(PrintExpression(*ResolvePath(s)), "A2");
  EXPECT_EQ(ResolvedDepth(s), 2u);
  s.selectionPath = "Y0BAX";  // a step below a leaf stops at the leaf
  EXPECT_EQ(PrintExpression(*ResolvePath(s)), "1");
  s.selectionPath = "Y0";
  EXPECT_EQ(ResolvePath(s)->kind, NodeKind::And);
  s.selectionPath = "Y8X";  // no ninth output
  EXPECT_EQ(ResolvePath(s), nullptr);
  EXPECT_FALSE(ApplyDefinitionCommand(s, kCommandMakeZero));
  s.selectionPath = "Z0X";  // no Z definitions in a new document
  EXPECT_EQ(ResolvePath(s), nullptr);
  s.selectionPath = "CcX";  // track C has no definition
  EXPECT_EQ(ResolvePath(s), nullptr);
  s.selectionPath = "Y";
  EXPECT_EQ(ResolvePath(s), nullptr);
  EXPECT_EQ(SelectionFamily("Y0X"), DefinitionFamily::Output);
  EXPECT_EQ(SelectionFamily("Z0X"), DefinitionFamily::Z);
  EXPECT_EQ(SelectionFamily("Q0X"), DefinitionFamily::Track);
  EXPECT_EQ(MakeSelectionPath(DefinitionFamily::Track, 3, "AX"), "CdAX");
}

TEST(DefinitionCommands, EveryCommandIsOneUndoStepWhenSomethingIsSelected) {
  RecordingUpdates updates;
  Document document(updates);
  EXPECT_FALSE(RunDefinitionCommand(document, kCommandMakeOr));  // nothing selected
  EXPECT_EQ(document.RevisionCount(), 1u);
  document.Current().selectionPath = "Y0X";
  EXPECT_EQ(document.RevisionCount(), 1u);  // selecting is no edit
  ASSERT_TRUE(RunDefinitionCommand(document, kCommandMakeOne));  // already One: still a step
  EXPECT_EQ(document.RevisionCount(), 2u);
  ASSERT_TRUE(RunDefinitionCommand(document, kCommandMakeOr));
  EXPECT_EQ(PrintExpression(*document.Current().outputDefinitions[0]), "(1 | 0)");
  EXPECT_EQ(PrintExpression(*document.Revision(1).outputDefinitions[0]), "1");
  ASSERT_TRUE(RunDefinitionCommand(document, 12345));
  EXPECT_EQ(document.RevisionCount(), 4u);
  // Unchanged definitions stay shared between the revisions.
  EXPECT_TRUE(document.Revision(2).outputDefinitions[1].Shares(document.Revision(3).outputDefinitions[1]));
  document.StepBack();
  document.StepBack();
  EXPECT_EQ(PrintExpression(*document.Current().outputDefinitions[0]), "1");
  EXPECT_EQ(document.Current().selectionPath, "Y0X");
}

TEST(DefinitionCommands, OperatorsStopAtTheDepthLimit) {
  RenderState s = RenderState::New();
  std::string path = "Y0";
  for (int i = 0; i < kMaxExpressionDepth + 10; ++i) {
    s.selectionPath = path + "X";
    ApplyDefinitionCommand(s, kCommandMakeAnd);
    path += "A";
  }
  EXPECT_EQ(TreeDepth(*s.outputDefinitions[0]), kMaxExpressionDepth);
}

}  // namespace
