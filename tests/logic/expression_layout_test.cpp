#include "logic/expression_layout.h"

#include <gtest/gtest.h>

namespace {

ExprNode Leaf(NodeKind kind, std::uint32_t number = 0) { return ExprNode(kind, number); }

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
