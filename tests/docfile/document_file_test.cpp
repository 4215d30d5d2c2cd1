#include "doc/document_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <initializer_list>
#include <stdexcept>

#include "base/chunk.h"
#include "base/file.h"
#include "base/text.h"
#include "doc/definition_records.h"
#include "doc/document.h"
#include "docfile_test_support.h"
#include "support/recording_updates.h"

using docfile_test::ReadBytes;
using docfile_test::TempFolder;
using docfile_test::U32At;
using docfile_test::WriteBytes;

namespace {

const std::string kLoadFailed = Cp1250FromUtf8("Nie udało sie wczytać dokumentu.");

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(no error)";
}

// Chunk 3 of a default detector, with the values at the given indexes replaced.
std::string MainFields(std::initializer_list<std::pair<std::size_t, std::int32_t>> changes) {
  std::int32_t values[18] = {50, 40, 70, 40, 80, 80, 40, 80, 0, 1, 0, 0, 0, 1, 880, 0, 0, 0};
  for (const auto& [index, value] : changes) values[index] = value;
  std::string out;
  for (std::int32_t v : values) AppendI32(out, v);
  return out;
}
std::string MainFieldsWith(std::size_t index, std::int32_t value) { return MainFields({{index, value}}); }

std::string Chunk(std::uint32_t tag, const std::string& payload) {
  std::string out;
  AppendChunk(out, tag, payload);
  return out;
}

std::string WidthChunk(std::int32_t width) {
  std::string payload;
  AppendI32(payload, width);
  return Chunk(6, payload);
}

std::string StateWithDetector(const std::string& detectorPayload) {
  return Chunk(2, WidthChunk(180) + Chunk(1, detectorPayload));
}

TEST(DocumentFile, NewDocumentChunkLengths) {
  const DocumentChunks chunks = SerializeDocument(RenderState::New(), "nowy.trv");
  EXPECT_EQ(U32At(chunks.state, 0), 2u);
  EXPECT_EQ(U32At(chunks.state, 4), 51916u);
  EXPECT_EQ(chunks.state.size(), 51916u);
  EXPECT_EQ(U32At(chunks.state, 8), 6u);
  EXPECT_EQ(U32At(chunks.state, 12), 12u);
  EXPECT_EQ(U32At(chunks.state, 16), 180u);
  EXPECT_EQ(U32At(chunks.state, 20), 5u);
  EXPECT_EQ(U32At(chunks.state, 24), 25948u);
  EXPECT_EQ(U32At(chunks.state, 28), 0u);  // index
  EXPECT_EQ(U32At(chunks.state, 32), 180u);
  EXPECT_EQ(U32At(chunks.state, 36), 144u);
  EXPECT_EQ(U32At(chunks.state, 40), 1u);
  EXPECT_EQ(U32At(chunks.state, 44), 0u);
  EXPECT_EQ(U32At(chunks.definitions, 0), 7u);
  EXPECT_EQ(U32At(chunks.package, 0), 11u);
}

TEST(DocumentFile, DetectorChunkLayout) {
  RenderState state = RenderState::New();
  Detector d = docfile_test::NewQuadrilateral();
  d.number = 9;
  d.track = 2;
  d.angle = 45;
  d.directional = true;
  d.fillPercent = 20;
  d.threshold = -4;
  d.delay = 100;
  d.extension = 200;
  state.detectors = {d};
  std::string bytes = SerializeDocument(state, "x.trv").state;
  const std::size_t at = 8 + 12;  // after the chunk 2 header and chunk 6
  EXPECT_EQ(U32At(bytes, at), 1u);
  EXPECT_EQ(U32At(bytes, at + 4), 128u);
  EXPECT_EQ(U32At(bytes, at + 8), 3u);
  EXPECT_EQ(U32At(bytes, at + 12), 80u);
  const std::size_t fields = at + 16;
  const std::uint32_t expected[18] = {50, 40, 70, 40, 80, 80, 40, 80, 0, 1, 0, 0, 2, 9, 880, 1, 45, 20};
  for (std::size_t i = 0; i < 18; ++i) EXPECT_EQ(U32At(bytes, fields + i * 4), expected[i]) << i;
  EXPECT_EQ(U32At(bytes, at + 88), 10u);
  EXPECT_EQ(U32At(bytes, at + 92), 12u);
  EXPECT_EQ(U32At(bytes, at + 96), static_cast<std::uint32_t>(-4));
  EXPECT_EQ(U32At(bytes, at + 100), 15u);
  EXPECT_EQ(U32At(bytes, at + 104), 16u);
  EXPECT_EQ(U32At(bytes, at + 108), 100u);
  EXPECT_EQ(U32At(bytes, at + 112), 200u);
  EXPECT_EQ(U32At(bytes, at + 116), 4u);
  EXPECT_EQ(U32At(bytes, at + 120), 12u);
  EXPECT_EQ(U32At(bytes, at + 124), 0u);

  // Erased pixels: pairs (x - 30, y) in row order; outside columns 30..209 not stored.
  state.detectors[0].eraser.Write().SetBlack(31, 7);
  state.detectors[0].eraser.Write().SetBlack(30, 8);
  state.detectors[0].eraser.Write().SetBlack(215, 1);
  bytes = SerializeDocument(state, "x.trv").state;
  EXPECT_EQ(U32At(bytes, at + 4), 132u);
  EXPECT_EQ(bytes.substr(at + 128, 4), std::string("\x01\x07\x00\x08", 4));
}

TEST(DocumentFile, SaveAndLoadKeepContent) {
  TempFolder folder("roundtrip");
  RecordingUpdates updates;
  Document document(updates);
  RenderState& state = document.NewRenderState();
  state.pictureWidth = 240;
  Detector d = docfile_test::NewQuadrilateral();
  d.number = 3;
  d.kind = DetectorKind::Line;
  d.lineWidth = 3;
  d.eraser.Write().SetBlack(100, 100);
  d.eraser.Write().SetBlack(5, 5);  // outside the stored columns
  state.detectors = {d};
  Picture& picture = state.pictures[1].Write();
  picture.SetGrey(30, 0, 17);
  picture.SetGrey(209, 143, 99);
  picture.SetGrey(10, 10, 5);  // outside the stored columns
  state.outputDefinitions[1].Assign(ExprNode(NodeKind::Or, ExprNode(NodeKind::DetectorA, 3), ExprNode(NodeKind::Zero)));

  const std::string path = folder.File("most.nowy.trv");
  SaveDocument(document, path);
  EXPECT_EQ(document.Path(), path);
  EXPECT_FALSE(document.Modified());

  Document loaded(updates);
  LoadDocument(loaded, path);
  const RenderState& back = loaded.Current();
  EXPECT_EQ(loaded.RevisionCount(), 1u);
  EXPECT_EQ(loaded.Path(), path);
  EXPECT_EQ(back.pictureWidth, 240);
  ASSERT_EQ(back.detectors.size(), 1u);
  EXPECT_EQ(back.detectors[0].kind, DetectorKind::Line);
  EXPECT_EQ(back.detectors[0].lineWidth, 3);
  EXPECT_EQ(back.detectors[0].number, 3u);
  EXPECT_TRUE(back.detectors[0].eraser->IsBlack(100, 100));
  EXPECT_FALSE(back.detectors[0].eraser->IsBlack(5, 5));
  ASSERT_EQ(back.pictures.size(), 2u);
  EXPECT_EQ(back.pictures[1]->Grey(30, 0), 17);
  EXPECT_EQ(back.pictures[1]->Grey(209, 143), 99);
  EXPECT_EQ(back.pictures[1]->Grey(10, 10), 255);
  EXPECT_EQ(back.outputDefinitions[1].Read(), state.outputDefinitions[1].Read());
  EXPECT_TRUE(back.zDefinitions.empty());
  EXPECT_EQ(back.selected, -1);

  // The package carries the alias of the name saved to.
  std::string_view package;
  const std::string bytes = ReadBytes(path);
  ASSERT_TRUE(FindStoredPackage(bytes, package));
  EXPECT_NE(package.find("alias = most.nowy\n"), std::string_view::npos);
  // Saving the loaded document again gives the same bytes.
  const std::string again = folder.File("again.trv");
  SaveDocument(loaded, path);
  EXPECT_EQ(ReadBytes(path), bytes);
  (void)again;
}

TEST(DocumentFile, RejectedMainFields) {
  const std::pair<std::size_t, std::int32_t> bad[] = {
      {10, 2}, {11, 2}, {12, 4}, {12, -1}, {14, 1000}, {14, -1}, {15, 2}, {16, 360}, {16, -1}, {17, 101}, {17, -1}};
  for (const auto& [index, value] : bad) {
    const std::string file = StateWithDetector(Chunk(3, MainFieldsWith(index, value)));
    EXPECT_EQ(ErrorOf([&] { ParseDocument(file); }), kLoadFailed) << index << "=" << value;
  }
  // The largest accepted values load.
  std::string ok = MainFieldsWith(14, 999);
  const RenderState state = ParseDocument(StateWithDetector(Chunk(3, ok) + Chunk(3, MainFieldsWith(16, 359))));
  EXPECT_EQ(state.detectors[0].angle, 359);
  // Missing values fail; extra bytes are ignored.
  EXPECT_EQ(ErrorOf([&] { ParseDocument(StateWithDetector(Chunk(3, ok.substr(0, 71)))); }), kLoadFailed);
  EXPECT_NO_THROW(ParseDocument(StateWithDetector(Chunk(3, ok + "xyz"))));
}

TEST(DocumentFile, DetectorDefaultsAndSubChunkRules) {
  // Without chunks 10, 15 and 4 the defaults stay.
  RenderState state = ParseDocument(StateWithDetector(Chunk(3, MainFieldsWith(13, 12))));
  ASSERT_EQ(state.detectors.size(), 1u);
  EXPECT_EQ(state.detectors[0].threshold, 3);
  EXPECT_EQ(state.detectors[0].delay, 0);
  EXPECT_EQ(state.detectors[0].extension, 0);
  EXPECT_FALSE(state.detectors[0].eraser->HasBlack());
  // A detector chunk without chunk 3 has the file defaults (ladder 1).
  state = ParseDocument(StateWithDetector(""));
  EXPECT_EQ(state.detectors[0].ladderSteps, 1);
  EXPECT_EQ(state.detectors[0].vertices[2], (CanvasPoint{80, 80}));

  std::string eraser;
  AppendU32(eraser, 0);
  eraser += std::string("\xC8\x0A\x05\x06", 4);  // (200, 10) is ignored, (5, 6) erased
  state = ParseDocument(StateWithDetector(Chunk(4, eraser)));
  EXPECT_TRUE(state.detectors[0].eraser->IsBlack(35, 6));
  EXPECT_FALSE(state.detectors[0].eraser->IsBlack(230, 10));
  EXPECT_EQ(ErrorOf([&] { ParseDocument(StateWithDetector(Chunk(4, eraser + "\x01"))); }), kLoadFailed);
  std::string nonZero;
  AppendU32(nonZero, 1);
  EXPECT_EQ(ErrorOf([&] { ParseDocument(StateWithDetector(Chunk(4, nonZero))); }), kLoadFailed);
  EXPECT_EQ(ErrorOf([&] { ParseDocument(StateWithDetector(Chunk(10, "abc"))); }), kLoadFailed);
  EXPECT_EQ(ErrorOf([&] { ParseDocument(StateWithDetector(Chunk(15, "abcdefg"))); }), kLoadFailed);
}

TEST(DocumentFile, PicturesAndWidth) {
  const std::string picture = SerializeDocument(RenderState::New(), "x").state.substr(20, 25948);
  std::string payload = picture.substr(8);
  // Only chunk 5 with index 2: three pictures, the first two white.
  payload.replace(0, 4, std::string("\x02\0\0\0", 4));
  RenderState state = ParseDocument(Chunk(2, Chunk(5, payload)));
  EXPECT_EQ(state.pictures.size(), 3u);
  EXPECT_EQ(state.pictureWidth, 180);
  // Index 4, wrong stored values, a byte too many or too few: failure.
  std::string bad = payload;
  bad[0] = 4;
  EXPECT_EQ(ErrorOf([&] { ParseDocument(Chunk(2, Chunk(5, bad))); }), kLoadFailed);
  bad = payload;
  bad[16] = 2;
  EXPECT_EQ(ErrorOf([&] { ParseDocument(Chunk(2, Chunk(5, bad))); }), kLoadFailed);
  EXPECT_EQ(ErrorOf([&] { ParseDocument(Chunk(2, Chunk(5, payload + "x"))); }), kLoadFailed);
  EXPECT_EQ(ErrorOf([&] { ParseDocument(Chunk(2, Chunk(5, payload.substr(1)))); }), kLoadFailed);
  for (std::int32_t width : {181, 0, -180}) {
    EXPECT_EQ(ErrorOf([&] { ParseDocument(Chunk(2, WidthChunk(width))); }), kLoadFailed) << width;
  }
  EXPECT_EQ(ParseDocument(Chunk(2, WidthChunk(192))).pictureWidth, 192);
  EXPECT_EQ(ErrorOf([&] { ParseDocument(Chunk(2, Chunk(6, "ab"))); }), kLoadFailed);
}

TEST(DocumentFile, ChunkOrderTruncationAndRepeats) {
  RenderState original = RenderState::New();
  original.detectors = {docfile_test::NewQuadrilateral()};
  const DocumentChunks chunks = SerializeDocument(original, "x.trv");
  const std::string file = chunks.Joined();

  // Truncated in chunk 11: what came before counts.
  RenderState state = ParseDocument(file.substr(0, file.size() - 5));
  EXPECT_EQ(state.detectors.size(), 1u);
  EXPECT_EQ(state.outputDefinitions.size(), 8u);
  // Truncated in chunk 7's header: no definitions.
  state = ParseDocument(file.substr(0, chunks.state.size() + 6));
  EXPECT_TRUE(state.outputDefinitions.empty());
  // Truncated inside chunk 2: nothing read.
  EXPECT_EQ(ErrorOf([&] { ParseDocument(file.substr(0, chunks.state.size() - 1)); }), kLoadFailed);
  EXPECT_EQ(ErrorOf([&] { ParseDocument(file.substr(0, 3)); }), kLoadFailed);
  // Chunk 7 before chunk 2 is skipped.
  state = ParseDocument(chunks.definitions + chunks.state);
  EXPECT_TRUE(state.outputDefinitions.empty());
  EXPECT_EQ(state.detectors.size(), 1u);
  // A second chunk 2 is ignored.
  RenderState other = RenderState::New();
  const std::string second = SerializeDocument(other, "x.trv").state;
  state = ParseDocument(chunks.state + second + chunks.definitions);
  EXPECT_EQ(state.detectors.size(), 1u);
  EXPECT_EQ(state.outputDefinitions.size(), 8u);
  // A broken definitions chunk fails the load.
  std::string broken;
  AppendU32(broken, 8);
  AppendU32(broken, 12);
  AppendU32(broken, 4);
  EXPECT_EQ(ErrorOf([&] { ParseDocument(chunks.state + Chunk(7, broken)); }), kLoadFailed);
  // Nothing at all.
  EXPECT_EQ(ErrorOf([&] { ParseDocument(Chunk(11, "")); }), kLoadFailed);
}

TEST(DocumentFile, LoadFailuresLeaveTheDocument) {
  TempFolder folder("loadfail");
  RecordingUpdates updates;
  Document document(updates);
  document.NewRenderState().pictureWidth = 192;
  const std::size_t revisions = document.RevisionCount();

  const std::string empty = folder.File("pusty.trv");
  WriteBytes(empty, "");
  EXPECT_EQ(ErrorOf([&] { LoadDocument(document, empty); }), ReadFailedText(empty));
  const std::string missing = folder.File("brak.trv");
  EXPECT_EQ(ErrorOf([&] { LoadDocument(document, missing); }), OpenFailedText(missing));
  const std::string junk = folder.File("smieci.trv");
  WriteBytes(junk, "not a document at all");
  EXPECT_EQ(ErrorOf([&] { LoadDocument(document, junk); }), kLoadFailed);
  EXPECT_EQ(document.RevisionCount(), revisions);
  EXPECT_TRUE(document.Modified());
  EXPECT_EQ(document.Current().pictureWidth, 192);
}

TEST(DocumentFile, FailedSaveKeepsThePreviousFile) {
  TempFolder folder("savefail");
  RecordingUpdates updates;
  Document document(updates);
  const std::string path = folder.File("dokument.trv");
  SaveDocument(document, path);
  const std::string before = ReadBytes(path);

  document.NewRenderState().detectors = {docfile_test::NewQuadrilateral()};
  // The disk fills up during the second chunk.
  int calls = 0;
  const ChunkWriter failing = [&](File& file, std::string_view chunk) {
    if (++calls == 2) {
      file.Write(chunk.substr(0, chunk.size() / 2));
      file.FailWrite();
    }
    file.Write(chunk);
  };
  EXPECT_EQ(ErrorOf([&] { SaveDocument(document, path, failing); }), WriteFailedText(path));
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_TRUE(document.Modified());
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) (void)entry, ++files;
  EXPECT_EQ(files, 1u) << "the temporary file must be removed";

  // A folder that does not exist: nothing written, the open text names the target.
  const std::string nowhere = folder.File("brak/dokument.trv");
  EXPECT_EQ(ErrorOf([&] { SaveDocument(document, nowhere); }), OpenFailedText(nowhere));
  EXPECT_EQ(document.Path(), path);

  // A directory in the target's place cannot be replaced; the directory stays.
  const std::string blocked = folder.File("katalog.trv");
  std::filesystem::create_directory(blocked);
  EXPECT_EQ(ErrorOf([&] { SaveDocument(document, blocked); }), WriteFailedText(blocked));
  EXPECT_TRUE(std::filesystem::is_directory(blocked));
  std::size_t left = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) (void)entry, ++left;
  EXPECT_EQ(left, 2u) << "the document and the folder, no temporary file";

  SaveDocument(document, path);
  EXPECT_NE(ReadBytes(path), before);
  EXPECT_FALSE(document.Modified());
}

TEST(DocumentFile, TwoSavesOfOneFileAndAPlantedLinkNeverMix) {
  TempFolder folder("savetwo");
  RecordingUpdates updates;
  Document first(updates), second(updates);
  first.NewRenderState().detectors = {docfile_test::NewQuadrilateral()};
  second.NewRenderState().detectors = {docfile_test::NewQuadrilateral(), docfile_test::NewQuadrilateral()};
  // The bytes of each save alone (same file name: the package names its alias after it).
  TempFolder alone("savetwo-alone");
  const std::string firstAlone = alone.File("a/dokument.trv"), secondAlone = alone.File("b/dokument.trv");
  std::filesystem::create_directories(alone / "a");
  std::filesystem::create_directories(alone / "b");
  SaveDocument(first, firstAlone);
  SaveDocument(second, secondAlone);

  const std::string path = folder.File("dokument.trv");
  WriteBytes(path, "old");
  // Someone who may write the folder links the name saves used for their temporary file.
  const std::string victim = folder.File("victim");
  WriteBytes(victim, "keep me");
  std::error_code noLinks;
  std::filesystem::create_symlink(victim, path + ".zapis~", noLinks);
  // The second program saves while the first is between two chunks: each file is whole.
  int chunks = 0;
  const ChunkWriter interrupted = [&](File& file, std::string_view chunk) {
    if (++chunks == 2) {
      SaveDocument(second, path);
      EXPECT_EQ(ReadBytes(path), ReadBytes(secondAlone));
    }
    file.Write(chunk);
  };
  SaveDocument(first, path, interrupted);
  EXPECT_EQ(ReadBytes(path), ReadBytes(firstAlone));
  EXPECT_EQ(ReadBytes(victim), "keep me");
  EXPECT_EQ(first.Path(), path);
  EXPECT_EQ(second.Path(), path);
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) (void)entry, ++files;
  EXPECT_EQ(files, noLinks ? 2u : 3u);
}

TEST(DocumentFile, NewDocumentResets) {
  RecordingUpdates updates;
  Document document(updates);
  document.NewRenderState().detectors = {docfile_test::NewQuadrilateral()};
  document.MarkSaved("C:\\x.trv");
  document.NewRenderState();
  updates.Take();
  NewDocument(document);
  EXPECT_EQ(document.RevisionCount(), 1u);
  EXPECT_TRUE(document.Path().empty());
  EXPECT_FALSE(document.Modified());
  EXPECT_TRUE(document.Current().detectors.empty());
  EXPECT_EQ(document.Current().pictures.size(), 2u);
  EXPECT_NE(updates.Take() & (UpdateCommands | UpdateViewSize), 0u);
}

// A small crafted document must not make the reader build something huge or undefined:
// `count` detectors, each with one erased pixel (a 2-byte pair that needs a mask of its own).
std::string CraftedDocument(std::size_t count, std::int32_t x0 = 50, std::int32_t y0 = 40) {
  std::string eraser;
  AppendU32(eraser, 0);
  eraser += std::string("\x05\x06", 2);
  const std::string detector = Chunk(1, Chunk(3, MainFields({{0, x0}, {1, y0}, {8, 1}})) + Chunk(4, eraser));
  std::string state;
  for (std::size_t i = 0; i < count; ++i) state += detector;
  return Chunk(2, state);
}

TEST(HostileDocument, DetectorCountIsCappedWithTheLoadFailure) {
  const struct {
    std::size_t count;
    bool loads;
  } cases[] = {{64, true}, {kMaxLoadedDetectors, true}, {kMaxLoadedDetectors + 1, false}, {20000, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count);
    const std::string bytes = CraftedDocument(c.count);  // 20,000 detectors: under 3 MB of file
    try {
      const RenderState state = ParseDocument(bytes);
      EXPECT_TRUE(c.loads);
      EXPECT_EQ(state.detectors.size(), c.count);
    } catch (const std::runtime_error& e) {
      EXPECT_FALSE(c.loads);
      EXPECT_EQ(e.what(), kLoadFailed);
    }
  }
}

TEST(HostileDocument, VerticesAreClampedOnLoad) {
  const struct {
    std::int32_t x, y, wantX, wantY;
  } cases[] = {{INT_MIN, INT_MAX, -kVertexLimit, kVertexLimit},
               {-5000, 5000, -kVertexLimit, kVertexLimit},
               {-30, 200, -30, 200},
               {kVertexLimit, -kVertexLimit, kVertexLimit, -kVertexLimit}};
  for (const auto& c : cases) {
    const RenderState state = ParseDocument(CraftedDocument(1, c.x, c.y));
    ASSERT_EQ(state.detectors.size(), 1u);
    EXPECT_EQ(state.detectors[0].vertices[0], (CanvasPoint{c.wantX, c.wantY})) << c.x << "," << c.y;
    EXPECT_EQ(state.detectors[0].vertices[1], (CanvasPoint{70, 40}));
  }
}

}  // namespace
