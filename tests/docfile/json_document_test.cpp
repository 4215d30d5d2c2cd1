#include "doc/json_document.h"

#include <gtest/gtest.h>

namespace {

ExprNode Leaf(NodeKind kind, std::uint32_t number = 0) { return ExprNode(kind, number); }

std::size_t ErrorPosition(const std::string& text) {
  try {
    ParseExpressionText(text);
  } catch (const ExpressionSyntaxError& e) {
    return e.Position();
  }
  return 0;
}

TEST(ExpressionText, ScriptSyntaxParses) {
  EXPECT_EQ(ParseExpressionText("0"), Leaf(NodeKind::Zero));
  EXPECT_EQ(ParseExpressionText(" 1 "), Leaf(NodeKind::One));
  EXPECT_EQ(ParseExpressionText(""), Leaf(NodeKind::Undefined));
  EXPECT_EQ(ParseExpressionText("D32"), Leaf(NodeKind::DetectorD, 32));
  EXPECT_EQ(ParseExpressionText("(A1|(B2^1))"),
            ExprNode(NodeKind::Or, Leaf(NodeKind::DetectorA, 1),
                     ExprNode(NodeKind::Xor, Leaf(NodeKind::DetectorB, 2), Leaf(NodeKind::One))));
  EXPECT_EQ(ParseExpressionText("( C7 &0 )"), ExprNode(NodeKind::And, Leaf(NodeKind::DetectorC, 7), Leaf(NodeKind::Zero)));
}

TEST(ExpressionText, EveryKindRoundTrips) {
  const ExprNode trees[] = {
      ExprNode(NodeKind::And, Leaf(NodeKind::Undefined), Leaf(NodeKind::DetectorA, 4294967295u)),
      ExprNode(NodeKind::Assign, Leaf(NodeKind::OutputLabel, 3), Leaf(NodeKind::ZLabel, 64)),
      ExprNode(NodeKind::Or, Leaf(NodeKind::TrackLabel, 3), Leaf(NodeKind::DetectorB, 0)),
      Leaf(NodeKind::Undefined),
  };
  for (const ExprNode& tree : trees) {
    const std::string text = ExpressionText(tree);
    EXPECT_EQ(ParseExpressionText(text), tree) << text;
  }
  // What the script holds prints as PrintExpression prints it.
  const ExprNode script = ExprNode(NodeKind::Or, Leaf(NodeKind::DetectorA, 1),
                                   ExprNode(NodeKind::Xor, Leaf(NodeKind::DetectorB, 2), Leaf(NodeKind::One)));
  EXPECT_EQ(ExpressionText(script), PrintExpression(script));
  EXPECT_EQ(ExpressionText(script), "(A1 | (B2 ^ 1))");
}

TEST(ExpressionText, ErrorsNameThePosition) {
  EXPECT_EQ(ErrorPosition("(A1 # B2)"), 5u);
  EXPECT_EQ(ErrorPosition("(A1 & B2"), 9u);
  EXPECT_EQ(ErrorPosition("A"), 2u);
  EXPECT_EQ(ErrorPosition("E1"), 1u);
  EXPECT_EQ(ErrorPosition("1 1"), 3u);
  EXPECT_EQ(ErrorPosition("12"), 2u);
  EXPECT_EQ(ErrorPosition("A99999999999"), 11u);  // the digit that overflows
  EXPECT_EQ(ErrorPosition(")"), 1u);
  std::string deep;
  for (int i = 0; i < 300; ++i) deep += "(1 & ";
  EXPECT_GT(ErrorPosition(deep), 0u);
}

TEST(ExpressionText, DetectorFieldChecksMatchTheReader) {
  Detector d;
  EXPECT_EQ(InvalidDetectorField(d), "");
  d.angle = 360;
  EXPECT_EQ(InvalidDetectorField(d), "angle");
  d.angle = 0;
  d.fillPercent = 101;
  EXPECT_EQ(InvalidDetectorField(d), "fillPercent");
  d.fillPercent = 0;
  d.track = 4;
  EXPECT_EQ(InvalidDetectorField(d), "track");
  d.track = 0;
  d.featureThreshold = 1000;
  EXPECT_EQ(InvalidDetectorField(d), "featureThreshold");
}

}  // namespace
