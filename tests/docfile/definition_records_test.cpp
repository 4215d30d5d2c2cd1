#include "doc/definition_records.h"

#include <gtest/gtest.h>

#include "base/chunk.h"
#include "doc/script.h"

namespace {

std::string Node(std::uint32_t kind, std::uint32_t number, std::uint32_t childCount, const std::string& children = "",
                 const std::string& extra = "") {
  std::string payload;
  AppendU32(payload, kind);
  AppendU32(payload, number);
  AppendU32(payload, childCount);
  payload += children + extra;
  std::string out;
  AppendChunk(out, kNodeRecordTag, payload);
  return out;
}

std::string Definition(std::uint32_t family, std::uint32_t index, const std::string& node) {
  std::string payload;
  AppendU32(payload, family);
  AppendU32(payload, index);
  payload += node;
  std::string out;
  AppendChunk(out, kDefinitionRecordTag, payload);
  return out;
}

const std::string kOne = Node(1, 0, 0);

TEST(DefinitionRecords, NewDocumentLayout) {
  std::string out;
  WriteDefinitions(RenderState::New(), out);
  // 8 outputs + 2 tracks, each 16 + a 20-byte node.
  ASSERT_EQ(out.size(), 10u * 36);
  EXPECT_EQ(out.substr(0, 36), Definition(4, 1, kOne));
  EXPECT_EQ(out.substr(8 * 36, 36), Definition(13, 0, kOne));
  EXPECT_EQ(out.substr(9 * 36, 36), Definition(13, 1, kOne));
}

TEST(DefinitionRecords, NodeRecordsCarryNumbersOnlyForNumberedKinds) {
  RenderState s;
  s.outputDefinitions.assign(8, NewDefinitionRoot(NodeKind::One));
  ExprNode zero(NodeKind::Zero);
  zero.number = 99;  // a stray number of a constant is not written
  s.outputDefinitions[0].Assign(ExprNode(NodeKind::Or, ExprNode(NodeKind::DetectorB, 2), zero));
  std::string out;
  WriteDefinitions(s, out);
  EXPECT_EQ(out.substr(0, 76), Definition(4, 1, Node(6, 0, 2, Node(3, 2, 0) + Node(0, 0, 0))));
}

TEST(DefinitionRecords, RoundTripKeepsEveryDefinition) {
  RenderState s = RenderState::New();
  s.zDefinitions.assign(64, NewDefinitionRoot(NodeKind::Undefined));
  s.zDefinitions[10].Assign(ExprNode(NodeKind::Xor, ExprNode(NodeKind::DetectorD, 16), ExprNode(NodeKind::One)));
  s.outputDefinitions[7].Assign(ExprNode(NodeKind::And, ExprNode(NodeKind::DetectorA, 1),
                                         ExprNode(NodeKind::Or, ExprNode(NodeKind::DetectorC, 3), ExprNode(NodeKind::Zero))));
  s.outputDefinitions[7].Write().rect = {1, 2, 3, 4};
  s.trackDefinitions.resize(4, NewDefinitionRoot(NodeKind::One));
  s.trackDefinitions[3].Assign(ExprNode(NodeKind::Zero));
  std::string out;
  WriteDefinitions(s, out);
  RenderState read;
  ASSERT_TRUE(ReadDefinitions(out, read));
  EXPECT_EQ(PrintScript(read), PrintScript(s));
  ASSERT_EQ(read.zDefinitions.size(), 64u);
  ASSERT_EQ(read.trackDefinitions.size(), 4u);
  for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(*read.outputDefinitions[i], *s.outputDefinitions[i]);
  for (std::size_t i = 0; i < 64; ++i) EXPECT_EQ(*read.zDefinitions[i], *s.zDefinitions[i]);
  EXPECT_EQ(read.outputDefinitions[7]->rect, NodeRect{});  // rectangles are not stored
}

TEST(DefinitionRecords, ListsAreSizedByTheRecordsThatArrive) {
  RenderState s;
  ASSERT_TRUE(ReadDefinitions(Definition(13, 3, Node(0, 0, 0)), s));
  ASSERT_EQ(s.trackDefinitions.size(), 4u);
  EXPECT_EQ(s.trackDefinitions[0]->kind, NodeKind::One);
  EXPECT_EQ(s.trackDefinitions[2]->kind, NodeKind::One);
  EXPECT_EQ(s.trackDefinitions[3]->kind, NodeKind::Zero);
  EXPECT_TRUE(s.outputDefinitions.empty());
  EXPECT_TRUE(s.zDefinitions.empty());
  EXPECT_EQ(PrintScript(s), "Dc = 0\n");

  RenderState t;
  ASSERT_TRUE(ReadDefinitions(Definition(4, 3, Node(2, 5, 0)) + Definition(8, 64, kOne), t));
  ASSERT_EQ(t.outputDefinitions.size(), 8u);
  EXPECT_EQ(t.outputDefinitions[0]->kind, NodeKind::One);
  EXPECT_EQ(PrintExpression(*t.outputDefinitions[2]), "A5");
  ASSERT_EQ(t.zDefinitions.size(), 64u);
  EXPECT_EQ(t.zDefinitions[0]->kind, NodeKind::Undefined);
  EXPECT_EQ(t.zDefinitions[63]->kind, NodeKind::One);
  EXPECT_TRUE(t.trackDefinitions.empty());
  EXPECT_EQ(PrintScript(t), "Y1 = 1\nY2 = 1\nY3 = A5\nY4 = 1\nY5 = 1\nY6 = 1\nY7 = 1\nY8 = 1\nZ64 = 1\n");
}

TEST(DefinitionRecords, OuterSequenceStopsQuietly) {
  const std::string good = Definition(4, 1, Node(0, 0, 0));
  for (std::size_t cut = 1; cut < good.size(); ++cut) {
    RenderState s;
    EXPECT_TRUE(ReadDefinitions(good + good.substr(0, cut), s)) << cut;
    ASSERT_EQ(s.outputDefinitions.size(), 8u);
    EXPECT_EQ(s.outputDefinitions[0]->kind, NodeKind::Zero);
  }
  std::string small = good;
  AppendU32(small, 8);
  AppendU32(small, 7);  // length below 8
  small += Definition(4, 2, Node(0, 0, 0));
  RenderState s;
  EXPECT_TRUE(ReadDefinitions(small, s));
  EXPECT_EQ(s.outputDefinitions[1]->kind, NodeKind::One);  // nothing after the stop is read

  std::string other;
  AppendChunk(other, 77, "anything");
  RenderState t;
  EXPECT_TRUE(ReadDefinitions(other + good, t));
  EXPECT_EQ(t.outputDefinitions[0]->kind, NodeKind::Zero);
  RenderState u;
  EXPECT_TRUE(ReadDefinitions("", u));
}

TEST(DefinitionRecords, MalformedRecordsFail) {
  const std::vector<std::pair<const char*, std::string>> bad = {
      {"empty payload", [] { std::string o; AppendChunk(o, 8, ""); return o; }()},
      {"no index", [] { std::string p, o; AppendU32(p, 4); AppendChunk(o, 8, p); return o; }()},
      {"no node", [] { std::string p, o; AppendU32(p, 4); AppendU32(p, 1); AppendChunk(o, 8, p); return o; }()},
      {"family 5", Definition(5, 1, kOne)},
      {"output 0", Definition(4, 0, kOne)},
      {"output 9", Definition(4, 9, kOne)},
      {"z 0", Definition(8, 0, kOne)},
      {"z 65", Definition(8, 65, kOne)},
      {"track 4", Definition(13, 4, kOne)},
      {"kind 14", Definition(4, 1, Node(14, 0, 0))},
      {"child count 1", Definition(4, 1, Node(5, 0, 1, kOne))},
      {"child count 3", Definition(4, 1, Node(5, 0, 3, kOne + kOne + kOne))},
      {"operator without children", Definition(4, 1, Node(6, 0, 0))},
      {"leaf with children", Definition(4, 1, Node(1, 0, 2, kOne + kOne))},
      {"left-over bytes in leaf", Definition(4, 1, Node(1, 0, 0, "", "x"))},
      {"left-over bytes in operator", Definition(4, 1, Node(6, 0, 2, kOne + kOne, "abcd"))},
      {"missing second child", Definition(4, 1, Node(6, 0, 2, kOne))},
      {"node tag 8", [] { std::string n = kOne; n[0] = 8; return Definition(4, 1, n); }()},
      {"node without child count", [] { std::string p, n; AppendU32(p, 1); AppendU32(p, 0); AppendChunk(n, 9, p); return Definition(4, 1, n); }()},
      {"node length below 8", [] { std::string n; AppendU32(n, 9); AppendU32(n, 4); return Definition(4, 1, n); }()},
      {"node longer than record", [] { std::string n = kOne; n[4] = 40; return Definition(4, 1, n); }()},
      {"short node header", Definition(4, 1, std::string("\x09\0\0\0\x14\0", 6))},
  };
  for (const auto& [name, bytes] : bad) {
    RenderState s;
    EXPECT_FALSE(ReadDefinitions(bytes, s)) << name;
  }
}

TEST(DefinitionRecords, NumbersOfUnnumberedKindsReadAsZero) {
  RenderState s;
  ASSERT_TRUE(ReadDefinitions(Definition(4, 1, Node(6, 7, 2, Node(0, 5, 0) + Node(10, 12, 0))), s));
  const ExprNode& root = *s.outputDefinitions[0];
  EXPECT_EQ(root.number, 0u);
  EXPECT_EQ(root.children[0].number, 0u);
  EXPECT_EQ(root.children[1].number, 12u);
}

TEST(DefinitionRecords, BytesAfterTheRootNodeAreIgnored) {
  RenderState s;
  EXPECT_TRUE(ReadDefinitions(Definition(4, 2, Node(0, 0, 0) + "trailing"), s));
  EXPECT_EQ(s.outputDefinitions[1]->kind, NodeKind::Zero);
}

TEST(DefinitionRecords, AFailureKeepsWhatWasReadBefore) {
  RenderState s;
  EXPECT_FALSE(ReadDefinitions(Definition(4, 2, Node(0, 0, 0)) + Definition(4, 9, kOne), s));
  ASSERT_EQ(s.outputDefinitions.size(), 8u);
  EXPECT_EQ(s.outputDefinitions[1]->kind, NodeKind::Zero);
}

std::string Chain(int depth) {
  std::string node = kOne;
  for (int i = 1; i < depth; ++i) node = Node(5, 0, 2, node + kOne);
  return Definition(4, 1, node);
}

TEST(DefinitionRecords, NestingIsBounded) {
  RenderState s;
  ASSERT_TRUE(ReadDefinitions(Chain(kMaxExpressionDepth), s));
  EXPECT_EQ(TreeDepth(*s.outputDefinitions[0]), kMaxExpressionDepth);
  std::string written;
  WriteDefinitions(s, written);
  RenderState again;
  EXPECT_TRUE(ReadDefinitions(written, again));

  RenderState deep;
  EXPECT_FALSE(ReadDefinitions(Chain(kMaxExpressionDepth + 1), deep));
  // A crafted chain far deeper than any stack could hold fails the same way: every level is
  // an And whose record runs to the end of the buffer (headers first, the leaves last).
  const std::size_t depth = 200000;
  std::string body;
  for (std::size_t i = 0; i < depth; ++i) {
    AppendU32(body, 9);
    AppendU32(body, 0);  // patched below
    AppendU32(body, 5);
    AppendU32(body, 0);
    AppendU32(body, 2);
  }
  body += kOne + kOne;
  for (std::size_t i = 0; i < depth; ++i) {
    std::string length;
    AppendU32(length, static_cast<std::uint32_t>(body.size() - i * 20));
    body.replace(i * 20 + 4, 4, length);
  }
  RenderState crafted;
  EXPECT_FALSE(ReadDefinitions(Definition(4, 1, body), crafted));
}

}  // namespace
