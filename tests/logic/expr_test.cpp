#include "logic/expr.h"

#include <gtest/gtest.h>

#include "doc/render_state.h"
#include "logic/script.h"

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

// Lays out (0,0)-(100,20) with the first child at (0,0)-(40,20) and the second at (60,0)-(100,20).
ExprNode LaidOutPair() {
  ExprNode node(NodeKind::Or, Leaf(NodeKind::DetectorA, 1), Leaf(NodeKind::Zero));
  node.rect = {0, 0, 100, 20};
  node.children[0].rect = {0, 0, 40, 20};
  node.children[1].rect = {60, 0, 100, 20};
  return node;
}

TEST(HitTest, FindsTheDeepestNodeAndHonoursHalfOpenEdges) {
  ExprNode node = LaidOutPair();
  EXPECT_EQ(HitTest(node, 0, 0), "AX");
  EXPECT_EQ(HitTest(node, 39, 19), "AX");
  EXPECT_EQ(HitTest(node, 40, 5), "X");  // between the operands: the operator itself
  EXPECT_EQ(HitTest(node, 60, 5), "BX");
  EXPECT_EQ(HitTest(node, 100, 5), "");
  EXPECT_EQ(HitTest(node, 5, 20), "");
  EXPECT_EQ(HitTest(node, -1, 5), "");
  node.children[1] = LaidOutPair();
  OffsetNode(node.children[1], 60, 0);
  node.children[1].rect = {60, 0, 160, 20};
  node.rect.right = 160;
  EXPECT_EQ(HitTest(node, 125, 3), "BBX");
}

TEST(OffsetNode, MovesTheWholeSubtree) {
  ExprNode node = LaidOutPair();
  OffsetNode(node, 4, -3);
  EXPECT_EQ(node.rect, (NodeRect{4, -3, 104, 17}));
  EXPECT_EQ(node.children[0].rect, (NodeRect{4, -3, 44, 17}));
  EXPECT_EQ(node.children[1].rect, (NodeRect{64, -3, 104, 17}));
}

TEST(ExprNode, CopyIsDeep) {
  ExprNode a = LaidOutPair();
  ExprNode b = a;
  b.children[0].number = 9;
  b.children[1].rect.left = 1;
  EXPECT_EQ(a.children[0].number, 1u);
  EXPECT_EQ(a.children[1].rect.left, 60);
}

}  // namespace
