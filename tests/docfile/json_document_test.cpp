#include "doc/json_document.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <stdexcept>

#include "base/text.h"
#include "doc/document_file.h"

namespace {

ExprNode Leaf(NodeKind kind, std::uint32_t number = 0) { return ExprNode(kind, number); }

std::size_t ErrorPosition(const std::string& text, bool emptyIsUndefined = false) {
  try {
    ParseExpressionText(text, emptyIsUndefined);
  } catch (const ExpressionSyntaxError& e) {
    return e.Position();
  }
  return 0;
}

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::runtime_error& e) {
    return Utf8FromCp1250(e.what());
  }
  return "(no error)";
}

TEST(ExpressionText, ScriptSyntaxParsesAndPrintsBack) {
  const std::pair<const char*, const char*> accepted[] = {
      {"0", "0"},          {" 1 ", "1"},          {"D32", "D32"},   {"A1", "A1"},
      {"(A1|(B2^1))", "(A1 | (B2 ^ 1))"},         {"( C7 &0 )", "(C7 & 0)"},
      {"((A1 | 0) & (D32 ^ 1))", "((A1 | 0) & (D32 ^ 1))"},
  };
  for (const auto& [text, printed] : accepted) {
    const ExprNode tree = ParseExpressionText(text, false);
    EXPECT_EQ(PrintExpression(tree), printed) << text;
    EXPECT_EQ(ParseExpressionText(PrintExpression(tree), false), tree) << text;
  }
  EXPECT_EQ(ParseExpressionText("(A1|(B2^1))", false),
            ExprNode(NodeKind::Or, Leaf(NodeKind::DetectorA, 1),
                     ExprNode(NodeKind::Xor, Leaf(NodeKind::DetectorB, 2), Leaf(NodeKind::One))));
  EXPECT_EQ(ParseExpressionText("", true), Leaf(NodeKind::Undefined));
}

// Everything outside the script syntax is refused at the character where it goes wrong.
TEST(ExpressionText, RefusalsNameThePosition) {
  struct Case {
    const char* text;
    std::size_t position;
    bool emptyIsUndefined = false;
  };
  const Case cases[] = {
      {"(A1 & )", 7},  {"(A1 &)", 6},     {"(& A1)", 2},        {"Y1", 1},        {"Z3", 1},
      {"Ac", 2},       {"(A1 = B2)", 5},  {"", 1},              {"  ", 3, true},  {"A0", 2},
      {"A33", 2},      {"A01", 2},        {"A99999999999", 2},  {"A1c", 3},       {"(A1 &\tB2)", 6},
      {"(A1 # B2)", 5}, {"(A1 & B2", 9},  {"A", 2},             {"E1", 1},        {"1 1", 3},
      {"12", 2},       {")", 1},          {"(A1 & B2) 0", 11},  {"\xC5\xBC", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorPosition(c.text, c.emptyIsUndefined), c.position) << c.text;
  std::string deep;
  for (int i = 0; i < kMaxExpressionDepth; ++i) deep += "(1 & ";
  EXPECT_EQ(ErrorPosition(deep + "1"), 5u * (kMaxExpressionDepth - 1) + 1);  // the 256th bracket
  std::string deepest = "1";
  for (int i = 1; i < kMaxExpressionDepth; ++i) deepest = "(1 & " + deepest + ")";
  EXPECT_EQ(TreeDepth(ParseExpressionText(deepest, false)), kMaxExpressionDepth);  // as deep as a file may hold
}

TEST(ExpressionText, UnexpressibleNodes) {
  const ExprNode undefinedBelow(NodeKind::And, Leaf(NodeKind::Undefined), Leaf(NodeKind::One));
  ExprNode oneOperand(NodeKind::Or);
  oneOperand.children.push_back(Leaf(NodeKind::One));
  // Each tree with the child steps that lead to the node the syntax cannot say.
  const std::pair<ExprNode, std::vector<int>> refused[] = {
      {Leaf(NodeKind::Undefined), {}},
      {undefinedBelow, {0}},
      {ExprNode(NodeKind::Assign, Leaf(NodeKind::OutputLabel, 3), Leaf(NodeKind::One)), {}},
      {ExprNode(NodeKind::Or, Leaf(NodeKind::DetectorA, 1), Leaf(NodeKind::DetectorB, 40)), {1}},
      {Leaf(NodeKind::DetectorC, 0), {}},
      {Leaf(NodeKind::ZLabel, 7), {}},
      {Leaf(NodeKind::TrackLabel, 1), {}},
      {oneOperand, {}},
  };
  for (const auto& [tree, path] : refused) {
    const ExprNode* expected = &tree;
    for (int step : path) expected = &expected->children[static_cast<std::size_t>(step)];
    EXPECT_EQ(UnexpressibleNode(tree, false), expected) << static_cast<int>(tree.kind);
  }
  EXPECT_EQ(UnexpressibleNode(Leaf(NodeKind::Undefined), true), nullptr);
  EXPECT_EQ(UnexpressibleNode(undefinedBelow, true), &undefinedBelow.children[0]);
  EXPECT_EQ(UnexpressibleNode(ParseExpressionText("((A1 | 0) & (D32 ^ 1))", false), false), nullptr);
}

// A revision that uses every part of the JSON form, all of it in the script syntax.
RenderState RichState() {
  RenderState state = RenderState::New();
  state.pictureWidth = 240;
  state.pictures.resize(3, SharedWhitePicture());
  for (int y = 0; y < 144; ++y)
    for (int x = 0; x < 240; ++x) state.pictures[1].Write().SetGrey(x, y, static_cast<std::uint8_t>((x * 7 + y * 3) & 0xFF));
  for (int i = 0; i < 3; ++i) {
    Detector d;
    d.track = i;
    d.number = static_cast<std::uint32_t>(i + 1);
    d.kind = i == 2 ? DetectorKind::Line : DetectorKind::Quadrilateral;
    d.fillPercent = i == 1 ? 20 : 0;
    d.directional = i == 2;
    d.angle = i == 2 ? 180 : 0;
    d.threshold = -1 + i;
    d.delay = i * 100;
    state.detectors.push_back(d);
  }
  state.detectors[0].eraser.Write().SetBlack(30, 0);
  state.detectors[0].eraser.Write().SetBlack(209, 143);
  state.outputDefinitions[0].Assign(ParseExpressionText("(A1 | (B2 ^ 1))", false));
  state.zDefinitions.assign(64, NewDefinitionRoot(NodeKind::Undefined));
  state.zDefinitions[63].Assign(ParseExpressionText("(D32 & 0)", false));
  state.trackDefinitions.resize(4, NewDefinitionRoot(NodeKind::One));
  state.trackDefinitions[1].Assign(Leaf(NodeKind::Undefined));  // a reset track definition
  state.trackDefinitions[3].Assign(Leaf(NodeKind::Zero));
  return state;
}

RenderState RoundTrip(const RenderState& state) {
  const JsonDocument json = DocumentToJson(state, "most");
  std::map<std::string, std::string> files;
  for (const JsonDocument::Bitmap& bitmap : json.bitmaps) files[bitmap.name] = bitmap.bytes;
  return DocumentFromJson(json.text, [&files](const std::string& name) { return files.at(name); }, "most.json");
}

TEST(JsonDocument, EveryExpressibleRevisionComesBackByteIdentical) {
  RenderState noDefinitions;  // as read from a file without chunk 7
  noDefinitions.pictures.assign(1, SharedWhitePicture());
  for (const RenderState& state : {RenderState::New(), RichState(), noDefinitions}) {
    const RenderState again = RoundTrip(state);
    EXPECT_TRUE(SerializeDocument(again, "most.trv").Joined() == SerializeDocument(state, "most.trv").Joined());
  }
  const JsonDocument json = DocumentToJson(RichState(), "most");
  ASSERT_EQ(json.bitmaps.size(), 3u);
  EXPECT_EQ(json.bitmaps[2].name, "most-C.bmp");
  EXPECT_NE(json.text.find("\"outputs\": [\n    \"(A1 | (B2 ^ 1))\",\n"), std::string::npos) << json.text;
  EXPECT_NE(json.text.find("\"trackDefinitions\": [\n    \"1\",\n    \"\",\n"), std::string::npos) << json.text;
  EXPECT_NE(json.text.find("\"erased\": [\n        [30, 0],\n        [209, 143]\n      ]"), std::string::npos)
      << json.text;
}

TEST(JsonDocument, ExportNamesTheDefinitionItCannotWrite) {
  struct Case {
    const char* message;
    void (*change)(RenderState&);
  };
  const Case cases[] = {
      {"Definicji Y3 nie można zapisać w JSON: węzeł `Y1' nie należy do składni skryptu.",
       [](RenderState& s) { s.outputDefinitions[2].Assign(Leaf(NodeKind::OutputLabel, 1)); }},
      {"Definicji Y4 nie można zapisać w JSON: węzeł `Nieokreślony' nie należy do składni skryptu.",
       [](RenderState& s) { s.outputDefinitions[3].Assign(Leaf(NodeKind::Undefined)); }},
      {"Definicji Z5 nie można zapisać w JSON: węzeł `Nieokreślony' nie należy do składni skryptu.",
       [](RenderState& s) {
         s.zDefinitions.assign(64, NewDefinitionRoot(NodeKind::Undefined));
         s.zDefinitions[4].Assign(ExprNode(NodeKind::And, Leaf(NodeKind::Undefined), Leaf(NodeKind::One)));
       }},
      {"Definicji Bc nie można zapisać w JSON: węzeł `=' nie należy do składni skryptu.",
       [](RenderState& s) {
         s.trackDefinitions[1].Assign(ExprNode(NodeKind::Assign, Leaf(NodeKind::TrackLabel, 1), Leaf(NodeKind::One)));
       }},
      {"Definicji Y8 nie można zapisać w JSON: węzeł `B40' nie należy do składni skryptu.",
       [](RenderState& s) {
         s.outputDefinitions[7].Assign(ExprNode(NodeKind::Or, Leaf(NodeKind::DetectorA, 1), Leaf(NodeKind::DetectorB, 40)));
       }},
  };
  for (const Case& c : cases) {
    RenderState state = RenderState::New();
    c.change(state);
    EXPECT_EQ(ErrorOf([&] { DocumentToJson(state, "x"); }), c.message);
  }
}

// Only the script syntax comes in; "" is Undefined for a whole Z or track definition only.
TEST(JsonDocument, ImportNamesTheFieldAndPositionOfBadExpressions) {
  auto import = [](const std::string& members) {
    return DocumentFromJson(R"({"format":"trevna-document","version":1,)" + members + "}",
                            [](const std::string&) -> std::string { throw std::runtime_error("no files"); }, "x.json");
  };
  const std::pair<std::string, std::string> refused[] = {
      {R"x("outputs":["1","1","(A1 & )","1","1","1","1","1"])x", "`outputs[2]' na pozycji 7: \"(A1 & )\""},
      {R"x("outputs":["1","1","1","1","1","1","1","Y1"])x", "`outputs[7]' na pozycji 1: \"Y1\""},
      {R"x("outputs":["","1","1","1","1","1","1","1"])x", "`outputs[0]' na pozycji 1: \"\""},
      {R"x("z":{"5":"(1 & )"})x", "`z.5' na pozycji 6"},
      {R"x("z":{"5":"(B2 | Bc)"})x", "`z.5' na pozycji 8"},
      {R"x("trackDefinitions":["1","(  | 1)"])x", "`trackDefinitions[1]' na pozycji 4"},
  };
  for (const auto& [members, expected] : refused) {
    const std::string error = ErrorOf([&] { import(members); });
    EXPECT_EQ(error.rfind("Błąd składni w polu ", 0), 0u) << error;
    EXPECT_NE(error.find(expected), std::string::npos) << error;
  }
  const RenderState state = import(R"x("z":{"5":""},"trackDefinitions":["","D32"])x");
  EXPECT_EQ(state.zDefinitions.at(4)->kind, NodeKind::Undefined);
  EXPECT_EQ(state.trackDefinitions.at(0)->kind, NodeKind::Undefined);
  EXPECT_EQ(PrintExpression(*state.trackDefinitions.at(1)), "D32");
  EXPECT_EQ(ErrorOf([&] { import("\"outputs\":["); }).rfind("Niepoprawny plik JSON `x.json': ", 0), 0u);
}

// The editor erases on the whole canvas and Save keeps columns 30..209; import does the same.
TEST(JsonDocument, ErasedPixelsAnywhereOnTheCanvasAreStoredAsSaveStoresThem) {
  const std::string json = R"({"format":"trevna-document","version":1,"pictureWidth":240,"tracks":1,
      "detectors":[{"track":"A","erased":[[0,0],[29,5],[30,5],[209,143],[210,7],[239,143]]}]})";
  const RenderState imported = DocumentFromJson(json, {}, "x.json");
  RenderState erased;
  erased.pictureWidth = 240;
  erased.pictures.assign(1, SharedWhitePicture());
  Detector d;
  for (auto [x, y] : {std::pair{0, 0}, {29, 5}, {30, 5}, {209, 143}, {210, 7}, {239, 143}}) d.eraser.Write().SetBlack(x, y);
  erased.detectors.push_back(d);
  EXPECT_TRUE(SerializeDocument(imported, "x.trv").Joined() == SerializeDocument(erased, "x.trv").Joined());
  EXPECT_EQ(StoredErasedPixels(imported.detectors.at(0)), (std::vector<CanvasPoint>{{30, 5}, {209, 143}}));

  for (const char* point : {"[240,0]", "[-1,3]", "[5,144]"}) {
    const std::string error = ErrorOf([&] {
      DocumentFromJson(std::string(R"({"format":"trevna-document","version":1,"detectors":[{"track":"A","erased":[)") +
                           point + "]}]}",
                       {}, "x.json");
    });
    EXPECT_EQ(error.rfind("Niepoprawne pole `detectors[0].erased[0]' w pliku JSON: punkt poza obrazem", 0), 0u) << error;
  }
}

TEST(JsonDocument, DetectorFieldChecksMatchTheReader) {
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
