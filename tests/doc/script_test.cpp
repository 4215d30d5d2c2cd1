#include "doc/script.h"

#include <gtest/gtest.h>

#include "doc/expression.h"

namespace {

ExprNode Leaf(NodeKind kind, std::uint32_t number = 0) { return ExprNode(kind, number); }

TEST(PrintExpression, PrintsEveryKind) {
  EXPECT_EQ(PrintExpression(Leaf(NodeKind::Zero)), "0");
  EXPECT_EQ(PrintExpression(Leaf(NodeKind::One)), "1");
  EXPECT_EQ(PrintExpression(Leaf(NodeKind::DetectorA, 16)), "A16");
  EXPECT_EQ(PrintExpression(Leaf(NodeKind::DetectorB, 2)), "B2");
  EXPECT_EQ(PrintExpression(Leaf(NodeKind::DetectorC, 4294967295u)), "C4294967295");
  EXPECT_EQ(PrintExpression(Leaf(NodeKind::DetectorD, 0)), "D0");
  for (NodeKind k : {NodeKind::Undefined, NodeKind::OutputLabel, NodeKind::ZLabel, NodeKind::TrackLabel})
    EXPECT_EQ(PrintExpression(Leaf(k, 3)), "");
  const ExprNode tree(NodeKind::And, ExprNode(NodeKind::Or, Leaf(NodeKind::DetectorA, 1), Leaf(NodeKind::Zero)),
                      ExprNode(NodeKind::Xor, Leaf(NodeKind::DetectorD, 32), Leaf(NodeKind::One)));
  EXPECT_EQ(PrintExpression(tree), "((A1 | 0) & (D32 ^ 1))");
  EXPECT_EQ(PrintExpression(ExprNode(NodeKind::Assign, Leaf(NodeKind::OutputLabel, 1), Leaf(NodeKind::One))), "");
}

TEST(PrintScript, NewDocumentPrintsEightLines) {
  EXPECT_EQ(PrintScript(RenderState::New()),
            "Y1 = 1\nY2 = 1\nY3 = 1\nY4 = 1\nY5 = 1\nY6 = 1\nY7 = 1\nY8 = 1\n");
  EXPECT_EQ(PrintScript(RenderState{}), "");
}

TEST(PrintScript, SkipsUndefinedZAndOneTrackDefinitions) {
  RenderState s = RenderState::New();
  s.zDefinitions.assign(64, NewDefinitionRoot(NodeKind::Undefined));
  s.zDefinitions[4].Assign(Leaf(NodeKind::One));
  s.zDefinitions[63].Assign(ExprNode(NodeKind::And, Leaf(NodeKind::DetectorB, 1), Leaf(NodeKind::One)));
  s.trackDefinitions[0].Assign(Leaf(NodeKind::Zero));
  s.trackDefinitions.push_back(NewDefinitionRoot(NodeKind::One));
  s.trackDefinitions.push_back(NewDefinitionRoot(NodeKind::DetectorC));
  s.trackDefinitions[3].Write().number = 7;
  s.outputDefinitions[7].Assign(Leaf(NodeKind::DetectorA, 3));
  EXPECT_EQ(PrintScript(s),
            "Y1 = 1\nY2 = 1\nY3 = 1\nY4 = 1\nY5 = 1\nY6 = 1\nY7 = 1\nY8 = A3\n"
            "Z5 = 1\nZ64 = (B1 & 1)\n"
            "Ac = 0\nDc = C7\n");
}

}  // namespace
