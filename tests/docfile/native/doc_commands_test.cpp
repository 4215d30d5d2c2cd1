// trevnactl's document commands, run as a user's script runs them.
#include <gtest/gtest.h>

#include "base/text.h"
#include "doc/document.h"
#include "doc/document_file.h"
#include "doc/package.h"
#include "doc/script.h"
#include "support/process.h"
#include "support/recording_updates.h"
#include "../docfile_test_support.h"

using docfile_test::ReadBytes;
using docfile_test::TempFolder;
using docfile_test::WriteBytes;

namespace {

using Result = trevna_test::ProcessResult;
using trevna_test::RunTrevnactl;

// A document that uses every part of the format.
RenderState RichState() {
  RenderState state = RenderState::New();
  state.pictureWidth = 240;
  state.pictures.resize(4, SharedWhitePicture());
  for (std::size_t t = 0; t < 4; ++t) {
    Picture& p = state.pictures[t].Write();
    for (int y = 0; y < 144; ++y)
      for (int x = 0; x < 240; ++x) p.SetGrey(x, y, static_cast<std::uint8_t>((x * 7 + y * 3 + static_cast<int>(t) * 50) & 0xFF));
  }
  for (int i = 0; i < 6; ++i) {
    Detector d;
    d.track = i % 4;
    d.number = static_cast<std::uint32_t>(i + 1);
    d.kind = i % 3 == 2 ? DetectorKind::Line : DetectorKind::Quadrilateral;
    d.ladderSteps = i % 4;
    d.lineWidth = 1 + i % 4;
    d.fillPercent = i == 1 ? 20 : i == 3 ? 100 : 0;
    d.vertices = {{{40 + i * 10, 20}, {90 + i * 10, 25}, {100 + i * 10, 90}, {35 + i * 10, 100}}};
    d.contrast = i == 4;
    d.directional = i == 2 || i == 5;
    d.angle = i == 5 ? 180 : 0;
    d.featureThreshold = 800 + i;
    d.threshold = -1 + i;
    d.delay = i * 100;
    d.extension = i * 250;
    if (i == 0) {
      d.eraser.Write().SetBlack(60, 30);
      d.eraser.Write().SetBlack(30, 0);
      d.eraser.Write().SetBlack(209, 143);
    }
    state.detectors.push_back(d);
  }
  state.detectors[5].contrast = true;  // both flags: only a damaged file has that
  state.outputDefinitions[0].Assign(
      ExprNode(NodeKind::Or, ExprNode(NodeKind::DetectorA, 1), ExprNode(NodeKind::Xor, ExprNode(NodeKind::DetectorB, 2), ExprNode(NodeKind::One))));
  state.outputDefinitions[3].Assign(ExprNode(NodeKind::DetectorC, 3));
  state.zDefinitions.assign(64, NewDefinitionRoot(NodeKind::Undefined));
  state.zDefinitions[4].Assign(ExprNode(NodeKind::One));
  state.zDefinitions[63].Assign(ExprNode(NodeKind::And, ExprNode(NodeKind::DetectorD, 32), ExprNode(NodeKind::Zero)));
  state.trackDefinitions.resize(4, NewDefinitionRoot(NodeKind::One));
  state.trackDefinitions[1].Assign(ExprNode(NodeKind::Undefined));
  state.trackDefinitions[3].Assign(ExprNode(NodeKind::Zero));
  return state;
}

std::string SaveState(RenderState state, const std::string& path) {
  RecordingUpdates updates;
  Document document(updates);
  document.Replace(std::move(state), std::string());
  SaveDocument(document, path);
  return ReadBytes(path);
}

TEST(DocCommands, JsonRoundTripIsByteIdentical) {
  TempFolder folder("json");
  struct Case {
    const char* name;
    RenderState state;
  };
  RenderState noDefinitions;  // as read from a file without chunk 7
  noDefinitions.pictures.assign(1, SharedWhitePicture());
  Case cases[] = {{"nowy.trv", RenderState::New()}, {"most.nowy.trv", RichState()}, {"bez", noDefinitions}};
  for (Case& c : cases) {
    const std::string original = folder.File(c.name);
    const std::string bytes = SaveState(c.state, original);
    const std::string json = folder.File(std::string("export-") + c.name + ".json");
    Result exported = RunTrevnactl({"export-json", original, json});
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    const std::string again = (folder.Path() / "again").string();
    std::filesystem::create_directories(again);
    const std::string copy = again + "/" + c.name;
    Result imported = RunTrevnactl({"import-json", json, copy});
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    EXPECT_EQ(ReadBytes(copy), bytes) << c.name;
  }
}

TEST(DocCommands, ImportJsonReportsFieldsAndPositions) {
  TempFolder folder("jsonerr");
  const std::string json = folder.File("in.json");
  const std::string out = folder.File("out.trv");
  WriteBytes(json, R"js({"format":"trevna-document","version":1,"outputs":["1","1","(A1 & B2)","(A1 # B2)","1","1","1","1"]})js");
  Result r = RunTrevnactl({"import-json", json, out});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("outputs[3]"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("pozycji 5"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(out));

  WriteBytes(json, R"js({"format":"trevna-document","version":1,"detectors":[{"track":"A","angle":360}]})js");
  r = RunTrevnactl({"import-json", json, out});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("detectors[0].angle"), std::string::npos) << r.err;

  WriteBytes(json, R"js({"format":"trevna-document","version":1,"tracks":1,"backgrounds":{"A":"brak.bmp"}})js");
  r = RunTrevnactl({"import-json", json, out});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Nie udało się otworzyć pliku"), std::string::npos) << r.err;

  WriteBytes(folder.File("zly.bmp"), "BM short");
  WriteBytes(json, R"js({"format":"trevna-document","version":1,"tracks":1,"backgrounds":{"A":"zly.bmp"}})js");
  r = RunTrevnactl({"import-json", json, out});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "Niepoprawny plik bitmapy.\n");

  WriteBytes(json, "{ not json");
  EXPECT_EQ(RunTrevnactl({"import-json", json, out}).exitCode, 1);
  EXPECT_EQ(RunTrevnactl({"import-json", json}).exitCode, 2);
  EXPECT_EQ(RunTrevnactl({"export-json"}).exitCode, 2);
}

// Only the script syntax comes in: every refusal names the field and the character position,
// exits 1 and leaves the target as it was.
TEST(DocCommands, ImportJsonAcceptsOnlyTheScriptSyntax) {
  TempFolder folder("syntax");
  const std::string json = folder.File("in.json");
  const std::string target = folder.File("cel.trv");
  WriteBytes(target, "poprzedni");
  auto import = [&](const std::string& members) {
    WriteBytes(json, R"js({"format":"trevna-document","version":1,)js" + members + "}");
    return RunTrevnactl({"import-json", json, target});
  };
  auto outputs = [](const std::string& third) {
    return R"js("outputs":["1","1",)js" + third + R"js(,"1","1","1","1","1"])js";
  };
  struct Refused {
    std::string members;
    const char* field;
    int position;
  };
  const Refused refused[] = {
      {outputs(R"x("(A1 & )")x"), "outputs[2]", 7},
      {outputs(R"x("(A1 &)")x"), "outputs[2]", 6},
      {outputs(R"x("(& A1)")x"), "outputs[2]", 2},
      {outputs(R"x("Y1")x"), "outputs[2]", 1},
      {R"x("z":{"5":"(1 & )"})x", "z.5", 6},
      {R"x("trackDefinitions":["1","(  | 1)"])x", "trackDefinitions[1]", 4},
  };
  for (const Refused& r : refused) {
    const Result result = import(r.members);
    EXPECT_EQ(result.exitCode, 1) << r.members;
    EXPECT_NE(result.err.find(std::string("`") + r.field + "'"), std::string::npos) << r.members << ": " << result.err;
    EXPECT_NE(result.err.find("pozycji " + std::to_string(r.position) + ":"), std::string::npos)
        << r.members << ": " << result.err;
    EXPECT_TRUE(ReadBytes(target) == "poprzedni") << r.members;  // no byte dump on failure
  }

  // Spaces are optional; "" is Undefined for a whole Z or track definition.
  const Result accepted = import(outputs(R"x("(A1&( B2|0 ))")x") + R"x(,"z":{"5":""},"trackDefinitions":["","D32"])x");
  ASSERT_EQ(accepted.exitCode, 0) << accepted.err;
  const RenderState read = ParseDocument(ReadBytes(target));
  EXPECT_EQ(PrintExpression(*read.outputDefinitions[2]), "(A1 & (B2 | 0))");
  EXPECT_EQ(read.zDefinitions[4]->kind, NodeKind::Undefined);
  EXPECT_EQ(read.trackDefinitions[0]->kind, NodeKind::Undefined);
  EXPECT_EQ(PrintExpression(*read.trackDefinitions[1]), "D32");
}

// A definition the script syntax cannot say is refused by name; nothing is written.
TEST(DocCommands, ExportJsonRefusesTreesTheSyntaxCannotSay) {
  TempFolder folder("inexpressible");
  struct Case {
    const char* name;
    void (*change)(RenderState&);
  };
  const Case cases[] = {
      {"Y3", [](RenderState& s) { s.outputDefinitions[2].Assign(ExprNode(NodeKind::OutputLabel, 1)); }},
      {"Z5", [](RenderState& s) {
         s.zDefinitions.assign(64, NewDefinitionRoot(NodeKind::Undefined));
         s.zDefinitions[4].Assign(ExprNode(NodeKind::And, ExprNode(NodeKind::Undefined), ExprNode(NodeKind::One)));
       }},
  };
  for (const Case& c : cases) {
    RenderState state = RenderState::New();
    c.change(state);
    const std::string path = folder.File("zly.trv");
    SaveState(state, path);
    const std::string json = folder.File(std::string("zly-") + c.name + ".json");
    const Result r = RunTrevnactl({"export-json", path, json});
    EXPECT_EQ(r.exitCode, 1) << c.name;
    EXPECT_NE(r.err.find(std::string("Definicji ") + c.name + " "), std::string::npos) << c.name << ": " << r.err;
    EXPECT_FALSE(std::filesystem::exists(json)) << c.name;
  }
}

// Import stores erased pixels the way Save does: any pixel of the 240 x 144 canvas is accepted,
// only columns 30..209 reach the file.
TEST(DocCommands, ImportJsonErasesLikeTheEditor) {
  TempFolder folder("erased");
  const std::string json = folder.File("in.json");
  const std::string target = folder.File("cel.trv");
  WriteBytes(json, R"js({"format":"trevna-document","version":1,"pictureWidth":240,"tracks":1,
      "detectors":[{"track":"A","erased":[[0,0],[29,5],[30,5],[209,143],[210,7],[239,143]]}]})js");
  const Result r = RunTrevnactl({"import-json", json, target});
  ASSERT_EQ(r.exitCode, 0) << r.err;

  RenderState expected;
  expected.pictureWidth = 240;
  expected.pictures.assign(1, SharedWhitePicture());
  Detector d;
  for (auto [x, y] : {std::pair{0, 0}, {29, 5}, {30, 5}, {209, 143}, {210, 7}, {239, 143}}) d.eraser.Write().SetBlack(x, y);
  expected.detectors.push_back(d);
  std::filesystem::create_directories(folder.Path() / "zapis");
  EXPECT_TRUE(ReadBytes(target) == SaveState(expected, folder.File("zapis/cel.trv")));  // same name, same alias
  EXPECT_EQ(ParseDocument(ReadBytes(target)).detectors.at(0).eraser->HasBlack(), true);

  for (const char* point : {"[240,0]", "[-1,3]", "[5,144]"}) {
    WriteBytes(json, std::string(R"js({"format":"trevna-document","version":1,"detectors":[{"track":"A","erased":[)js") +
                         point + "]}]}");
    const Result refused = RunTrevnactl({"import-json", json, target});
    EXPECT_EQ(refused.exitCode, 1) << point;
    EXPECT_NE(refused.err.find("detectors[0].erased[0]"), std::string::npos) << refused.err;
  }
}

TEST(DocCommands, CheckListsSortedRowsAndSetsTheExitCode) {
  TempFolder folder("check");
  const std::string clean = folder.File("czysty.trv");
  SaveState(RenderState::New(), clean);
  Result r = RunTrevnactl({"check", clean});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "");

  RenderState state = RenderState::New();
  Detector a;
  a.number = 17;
  a.track = 1;
  state.detectors = {a, a};
  state.outputDefinitions[1].Assign(ExprNode(NodeKind::And, ExprNode(NodeKind::DetectorA, 1), ExprNode(NodeKind::DetectorA, 5)));
  const std::string bad = folder.File("bledy.trv");
  SaveState(state, bad);
  r = RunTrevnactl({"check", bad});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out,
            "Definicja wyjścia Y2 odnosi się do nieistniejącego detektora A1.\n"
            "Detektor B17 ma numer spoza zakresu 1-16.\n"
            "Detektor B17 ma numer spoza zakresu 1-16.\n"
            "Dwa detektory mają zadeklarowaną taką samą nazwę B17.\n");

  EXPECT_EQ(RunTrevnactl({"check", folder.File("brak.trv")}).exitCode, 1);
  WriteBytes(folder.File("pusty.trv"), "");
  r = RunTrevnactl({"check", folder.File("pusty.trv")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "Nie udało się odczytać pliku `" + folder.File("pusty.trv") + "'.\n");
  WriteBytes(folder.File("zly.trv"), "xxxxxxxxxxxx");
  r = RunTrevnactl({"check", folder.File("zly.trv")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "Nie udało sie wczytać dokumentu.\n");
}

TEST(DocCommands, ScriptAndInfo) {
  TempFolder folder("script");
  const std::string path = folder.File("rich.trv");
  const RenderState state = RichState();
  SaveState(state, path);
  Result r = RunTrevnactl({"script", path});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, PrintScript(state));
  EXPECT_NE(r.out.find("Y1 = (A1 | (B2 ^ 1))\n"), std::string::npos);

  r = RunTrevnactl({"info", path});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("picture width: 240\ntracks: 4\ndetectors: 6\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  A1: quadrilateral, normal\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("    erased pixels: 3\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  C3: line, directional\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  Z64 = (D32 & 0)\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  Bc = \n"), std::string::npos) << r.out;
}

TEST(DocCommands, PackageWritesTheStoredEntriesUnchanged) {
  TempFolder folder("package");
  const std::string path = folder.File("most.nowy.trv");
  const std::string bytes = SaveState(RichState(), path);
  std::string_view stored;
  ASSERT_TRUE(FindStoredPackage(bytes, stored));
  const auto entries = ReadProgramPackage(stored);
  ASSERT_EQ(entries.size(), 8u);

  const std::string out = folder.File("pakiet");
  Result r = RunTrevnactl({"package", path, out});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  for (const PackageEntry& entry : entries) EXPECT_EQ(ReadBytes(out + "/" + entry.name), entry.data) << entry.name;
  EXPECT_NE(entries[6].data.find("alias = most.nowy\n"), std::string::npos);

  // --rebuild takes the alias from the document's own name.
  const std::string renamed = folder.File("inny.trv");
  std::filesystem::copy_file(path, renamed);
  r = RunTrevnactl({"package", renamed, folder.File("odbudowany"), "--rebuild"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadBytes(folder.File("odbudowany/config.txt")).substr(0, 13), "alias = inny\n");
  EXPECT_EQ(ReadBytes(folder.File("odbudowany/det1.bmp")), entries[0].data);
  // Without --rebuild the stored package counts, even when it differs from the content.
  r = RunTrevnactl({"package", renamed, folder.File("zapisany")});
  EXPECT_EQ(ReadBytes(folder.File("zapisany/config.txt")), entries[6].data);

  // A file without chunk 11 has no stored package.
  WriteBytes(folder.File("bez.trv"), bytes.substr(0, bytes.size() - stored.size() - 8));
  r = RunTrevnactl({"package", folder.File("bez.trv"), folder.File("x")});
  EXPECT_EQ(r.exitCode, 1);

  // Entry names that leave the folder are refused.
  std::string evil;
  const std::size_t entry = BeginChunk(evil, 12);
  AppendChunk(evil, 13, "../ucieczka.txt");
  AppendChunk(evil, 14, "x");
  EndChunk(evil, entry);
  std::string file = bytes.substr(0, bytes.size() - stored.size() - 8);
  AppendChunk(file, 11, evil);
  WriteBytes(folder.File("zly.trv"), file);
  r = RunTrevnactl({"package", folder.File("zly.trv"), folder.File("y")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_FALSE(std::filesystem::exists(folder.File("ucieczka.txt")));
}

}  // namespace
