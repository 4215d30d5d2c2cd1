#include "archive/export_job.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "archive/avi.h"
#include "archive/avi_builder.h"
#include "archive/export_controller.h"
#include "archive/export_thread.h"
#include "archive/jpeg_codec.h"
#include "archive_test_util.h"
#include "base/bytes.h"
#include "base/file.h"
#include "base/platform.h"
#include "base/text.h"
#include "base/thread.h"
#include "base/ui_queue.h"

using archive_test::Bytes;
using archive_test::ReadBytes;
using archive_test::TempFolder;
using archive_test::WriteBytes;

namespace {

// Records what the job shows; the save dialog answers with `output` (empty = cancel).
class RecordingView : public ExportDialogUi {
 public:
  void SetStatusText(const std::string& text) override {
    std::lock_guard lock(mutex);
    statuses.push_back(text);
    changed.notify_all();
  }
  void SetProgress(std::uint32_t position) override {
    std::lock_guard lock(mutex);
    progress.push_back(position);
  }
  void EnableJobControls(bool enabled) override {
    std::lock_guard lock(mutex);
    enables.push_back(enabled);
  }
  bool AskOutputPath(std::wstring& path) override {
    std::lock_guard lock(mutex);
    ++saveDialogs;
    path = output;
    return !output.empty();
  }
  void ShowError(const std::string& text) override {
    std::lock_guard lock(mutex);
    errors.push_back(Utf8FromCp1250(text));
  }
  bool AskSourceFiles(std::vector<std::wstring>& strings) override {
    strings = sourceAnswer;
    return !sourceAnswer.empty();
  }
  void ShowSourceNames(const std::vector<std::wstring>& names) override { shownNames = names; }
  void SetNotes(const std::wstring& copy, const std::wstring& recompress) override {
    notes.emplace_back(copy, recompress);
  }

  // Waits until the status text has been set `count` times to "Zrobione".
  bool WaitForDone(std::size_t count) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(20), [&] {
      return std::count(statuses.begin(), statuses.end(), ExportDoneText()) >= std::ptrdiff_t(count);
    });
  }

  std::mutex mutex;
  std::condition_variable changed;
  std::wstring output;
  int saveDialogs = 0;
  std::vector<std::string> statuses;
  std::vector<std::uint32_t> progress;
  std::vector<bool> enables;
  std::vector<std::string> errors;
  std::vector<std::wstring> sourceAnswer;
  std::vector<std::wstring> shownNames;
  std::vector<std::pair<std::wstring, std::wstring>> notes;
};

// Runs the UI queue (as the dialog's message loop would) until `done` holds, at most 20 s.
template <class Done>
bool RunQueueUntil(UiQueue& queue, Done done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (;;) {
    queue.RunPending();
    if (done()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

std::size_t DoneCount(RecordingView& view) {
  std::lock_guard lock(view.mutex);
  return static_cast<std::size_t>(std::count(view.statuses.begin(), view.statuses.end(), ExportDoneText()));
}

std::wstring Wide(const std::filesystem::path& p) { return WideFromUtf8(p.string()); }

std::vector<std::string> FramesOf(const std::string& avi) {
  std::vector<std::string> frames;
  std::vector<std::uint8_t> header(kAviHeaderBufferSize);
  ScanAviFile(Bytes(avi), avi.size(), header.data(),
              [&](const std::uint8_t* d, std::uint32_t n) { frames.emplace_back(reinterpret_cast<const char*>(d), n); });
  return frames;
}

std::string JoinError(ExportMode mode, const std::vector<std::wstring>& sources, const std::wstring& out,
                      const ExportOptions& options = {}) {
  RecordingView view;
  try {
    JoinAviFiles(mode, sources, out, view, options);
  } catch (const std::exception& e) {
    return Utf8FromCp1250(e.what());
  }
  return "(no error)";
}

class ExportJobTest : public ::testing::Test {
 protected:
  std::wstring Source(const std::string& name, const std::vector<std::string>& frames, std::uint32_t width = 180,
                      std::uint32_t height = 144) {
    const auto path = folder / name;
    WriteBytes(path, BuildArchiveAvi(frames, width, height));
    return Wide(path);
  }
  std::wstring Out() const { return Wide(folder / "joined.avi"); }
  std::string OutBytes() const { return ReadBytes(folder / "joined.avi"); }
  // The names in the folder, sorted: shows a temporary file left behind.
  std::vector<std::string> FolderListing() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  TempFolder folder{"job"};
};

}  // namespace

TEST_F(ExportJobTest, CopyJoinsFramesInOrder) {
  const auto ten = SyntheticJpegFrames(0, 10, 0.0);
  const auto five = SyntheticJpegFrames(1, 5, 3.0, 70, 192, 144);
  RecordingView view;
  JoinAviFiles(kExportCopy, {Source("a.avi", ten), Source("b.avi", five, 192, 144)}, Out(), view);
  const std::string out = OutBytes();
  std::vector<std::string> expected = ten;
  expected.insert(expected.end(), five.begin(), five.end());
  EXPECT_EQ(FramesOf(out), expected);
  EXPECT_EQ(LoadU32(Bytes(out) + 48), 15u);
  EXPECT_EQ(LoadU32(Bytes(out) + 140), 15u);
  EXPECT_EQ(LoadU32(Bytes(out) + 232), 15u);
  EXPECT_EQ(LoadU32(Bytes(out) + 4), out.size() - 8);
  // The last source with a picture size decides it.
  EXPECT_EQ(LoadU32(Bytes(out) + 64), 192u);
  EXPECT_EQ(LoadU32(Bytes(out) + 68), 144u);
  // Every index entry points at its chunk.
  const std::size_t index = out.size() - 8 - 15 * 16;
  ASSERT_EQ(out.substr(index, 4), "idx1");
  for (std::size_t i = 0; i < 15; ++i) {
    const std::uint32_t offset = LoadU32(Bytes(out) + index + 8 + 16 * i + 8);
    EXPECT_EQ(out.substr(520 + offset, 4), "00dc");
    EXPECT_EQ(LoadU32(Bytes(out) + 520 + offset + 4), expected[i].size());
  }
  EXPECT_EQ(view.statuses, std::vector<std::string>(2, "Eksportowanie..."));
  EXPECT_EQ(view.progress, (std::vector<std::uint32_t>{0, 50}));
}

// The copy join reads its sources in blocks; its file must be the one made by walking each
// source held whole and adding every frame. The sources put chunks across block edges,
// frames longer than a block (up to the largest), odd frames whose padding byte is not zero,
// chunks that are skipped (junk, audio, a nested list, the index) and a last frame without
// its padding byte.
TEST_F(ExportJobTest, CopyJoinGivesTheFileOfAddingEveryFrame) {
  auto chunk = [](const std::string& id, const std::string& body, char pad = '\0', bool padded = true) {
    std::string s = id;
    AppendU32(s, static_cast<std::uint32_t>(body.size()));
    s += body;
    if (padded && body.size() % 2) s.push_back(pad);
    return s;
  };
  auto frame = [](std::size_t size, unsigned seed) {
    std::string f(size, '\0');
    for (std::size_t i = 0; i < size; ++i) f[i] = static_cast<char>((i * 131 + seed * 7919) >> 3);
    return f;
  };
  auto avi = [&](std::uint32_t width, const std::vector<std::string>& movis, const std::string& tail) {
    std::string avih(56, '\0');
    StoreU32(reinterpret_cast<std::uint8_t*>(avih.data()) + 32, width);
    StoreU32(reinterpret_cast<std::uint8_t*>(avih.data()) + 36, 144);
    std::string body = "AVI " + chunk("LIST", "hdrl" + chunk("avih", avih)) + chunk("JUNK", std::string(301, 'j'));
    for (const auto& movi : movis) body += chunk("LIST", "movi" + movi);
    return chunk("RIFF", body + tail, '\0', false);
  };
  std::string many, mixed, odd;
  for (unsigned i = 0; i < 90; ++i) many += chunk("00dc", frame(9001 + 2 * (i % 3), i), static_cast<char>(i));
  mixed = chunk("00dc", frame(300001, 1), 'p') + chunk("01wb", frame(77, 2)) +
          chunk("LIST", "rec " + chunk("00dc", frame(5, 3))) + chunk("00dc", frame(1048568, 4)) +
          chunk("00dc", frame(262139, 5), 'q') + chunk("00dc", frame(262144, 6));
  for (unsigned i = 0; i < 40; ++i) odd += chunk("00dc", frame(12345 + i, 7 + i), 'z');
  const std::vector<std::string> sources = {
      avi(180, {many, mixed}, chunk("idx1", frame(1600, 9))),
      avi(192, {odd}, ""),
      avi(200, {mixed + chunk("00dc", frame(3, 8), 'x', false)}, ""),
  };
  std::vector<std::wstring> paths;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    WriteBytes(folder / ("s" + std::to_string(i) + ".avi"), sources[i]);
    paths.push_back(Wide(folder / ("s" + std::to_string(i) + ".avi")));
  }
  for (const auto& list : std::vector<std::vector<std::wstring>>{paths, {paths[2], paths[0]}, {paths[1]}}) {
    const auto expectedPath = folder / "expected.avi";
    {
      File out(expectedPath.string(), "wb");
      MjpegAviWriter writer(out);
      for (const auto& path : list) {
        const std::string bytes = ReadBytes(std::filesystem::path(Utf8FromWide(path)));
        ScanAviFile(Bytes(bytes), bytes.size(), writer.Header(),
                    [&](const std::uint8_t* f, std::uint32_t n) { writer.AddFrame(f, n); });
      }
      writer.Finish();
    }
    RecordingView view;
    JoinAviFiles(kExportCopy, list, Out(), view);
    const std::string expected = ReadBytes(expectedPath);
    ASSERT_GT(expected.size(), 400'000u);
    EXPECT_TRUE(OutBytes() == expected) << "the joined file differs from the frame-by-frame one";
  }
}

TEST_F(ExportJobTest, ProgressShowsTheShareOfFilesStarted) {
  const auto frames = SyntheticJpegFrames(2, 1, 0.0);
  RecordingView view;
  JoinAviFiles(kExportCopy, {Source("1.avi", frames), Source("2.avi", frames), Source("3.avi", frames)}, Out(), view);
  EXPECT_EQ(view.progress, (std::vector<std::uint32_t>{0, 33, 66}));
  EXPECT_EQ(FramesOf(OutBytes()).size(), 3u);
}

TEST_F(ExportJobTest, RecompressTurnsGreyIntoColourAtQuality98) {
  const auto grey = SyntheticJpegFrames(0, 3, 5.0, 80);
  RecordingView view;
  JoinAviFiles(kExportRecompress, {Source("g.avi", grey)}, Out(), view);
  const auto frames = FramesOf(OutBytes());
  ASSERT_EQ(frames.size(), 3u);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    RawImage decoded;
    ASSERT_TRUE(DecodeJpeg(Bytes(frames[i]), frames[i].size(), decoded));
    HeapBytes own(decoded.pixels);
    EXPECT_EQ(decoded.components, 3u);
    // The same bytes as decoding, widening grey to RGB and encoding at 98 by hand.
    RawImage source;
    ASSERT_TRUE(DecodeJpeg(Bytes(grey[i]), grey[i].size(), source));
    HeapBytes ownSource(source.pixels);
    std::vector<std::uint8_t> rgb(std::size_t{source.width} * source.height * 3);
    for (std::size_t p = 0; p < rgb.size(); ++p) rgb[p] = source.pixels[p / 3];
    EXPECT_EQ(frames[i], archive_test::Encode(rgb, source.width, source.height, 3, 98));
  }
}

TEST_F(ExportJobTest, RecompressOutputDoesNotDependOnThreads) {
  // More frames than one batch of parallel work, so batches follow each other.
  const auto unique = SyntheticJpegFrames(3, 20, 0.0, 85);
  std::vector<std::string> frames;
  for (int i = 0; i < 8; ++i) frames.insert(frames.end(), unique.begin(), unique.end());
  const auto a = Source("a.avi", frames), b = Source("b.avi", SyntheticJpegFrames(1, 7, 2.0));
  RecordingView view;
  ExportOptions one;
  one.threads = 1;
  JoinAviFiles(kExportRecompress, {a, b}, Out(), view, one);
  const std::string sequential = OutBytes();
  ExportOptions four;
  four.threads = 4;
  JoinAviFiles(kExportRecompress, {a, b}, Out(), view, four);
  EXPECT_EQ(OutBytes(), sequential);
  EXPECT_EQ(FramesOf(sequential).size(), 167u);
}

// Joins that fail at each stage: before the output is made (a missing source), in a source's
// walk after frames were written (copy), at a frame that cannot be recompressed (on one or
// several threads) and at the size limit. Each names its cause, and the file that was at the
// output's name before keeps every byte, with no temporary file left beside it.
TEST_F(ExportJobTest, FailedJoinsNameTheirCauseAndLeaveTheEarlierOutput) {
  auto frames = SyntheticJpegFrames(0, 9, 0.0);
  frames[5] = "garbage";
  const auto first = Source("first.avi", SyntheticJpegFrames(1, 2, 0.0));
  const auto broken = Source("broken.avi", frames);
  // A recording whose last chunk, after its frames, claims more bytes than the file holds.
  std::string cut = BuildArchiveAvi(SyntheticJpegFrames(0, 4, 0.0), 180, 144);
  cut += "JUNK" + std::string("\x40\0\0\0", 4) + "xx";
  StoreU32(reinterpret_cast<std::uint8_t*>(cut.data()) + 4, LoadU32(Bytes(cut) + 4) + 10);
  WriteBytes(folder / "cut.avi", cut);
  const auto cutPath = Wide(folder / "cut.avi");
  const auto six = Source("six.avi", SyntheticJpegFrames(0, 6, 0.0));
  std::uint64_t threeFrames = 524 + 8 + 3 * 16;
  for (const auto& f : SyntheticJpegFrames(0, 3, 0.0)) threeFrames += 8 + ((f.size() + 1) & ~std::size_t{1});
  const std::string named = "Nie udało się wczytać pliku `";
  const std::string tooLarge =
      "Połączone nagranie przekroczyłoby 4 GB, największy rozmiar pliku AVI. Eksport zatrzymano przy pliku `" +
      Utf8FromWide(six) + "'.";
  const struct {
    const char* what;
    ExportMode mode;
    std::vector<std::wstring> sources;
    unsigned threads;
    std::uint64_t sizeLimit;
    std::string message;
  } cases[] = {
      {"missing source", kExportCopy, {first, Wide(folder / "missing.avi")}, 0, kMaxAviFileLength,
       "Nie udało się otworzyć pliku `" + Utf8FromWide(Wide(folder / "missing.avi")) + "'."},
      {"cut chunk", kExportCopy, {first, cutPath}, 0, kMaxAviFileLength,
       named + Utf8FromWide(cutPath) + "'.\nNiepoprawny nagłówek bloku RIFF."},
      {"bad frame, 1 thread", kExportRecompress, {first, broken}, 1, kMaxAviFileLength,
       named + Utf8FromWide(broken) + "'.\nNie powiodła się dekompresja JPEG."},
      {"bad frame, 4 threads", kExportRecompress, {first, broken}, 4, kMaxAviFileLength,
       named + Utf8FromWide(broken) + "'.\nNie powiodła się dekompresja JPEG."},
      {"size limit, copy", kExportCopy, {six}, 0, threeFrames, tooLarge},
      {"size limit, recompress", kExportRecompress, {six}, 0, threeFrames * 2, tooLarge},
  };
  const std::string earlier = "an earlier recording the user keeps";
  WriteBytes(folder / "joined.avi", earlier);
  const auto listing = FolderListing();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ExportOptions options;
    options.threads = c.threads;
    options.sizeLimit = c.sizeLimit;
    EXPECT_EQ(JoinError(c.mode, c.sources, Out(), options), c.message);
    EXPECT_EQ(OutBytes(), earlier);
    EXPECT_EQ(FolderListing(), listing);
  }
}

TEST_F(ExportJobTest, FileFailuresCarryNoPrefix) {
  WriteBytes(folder / "empty.avi", "");
  const auto empty = Wide(folder / "empty.avi");
  EXPECT_EQ(JoinError(kExportCopy, {empty}, Out()), "Nie udało się odczytać pliku `" + Utf8FromWide(empty) + "'.");
  const auto missing = Wide(folder / "missing.avi");
  EXPECT_EQ(JoinError(kExportCopy, {missing}, Out()),
            "Nie udało się otworzyć pliku `" + Utf8FromWide(missing) + "'.");
  const auto noFolder = Wide(folder / "no" / "out.avi");
  EXPECT_EQ(JoinError(kExportCopy, {Source("ok.avi", SyntheticJpegFrames(0, 1, 0.0))}, noFolder),
            "Nie udało się otworzyć pliku `" + Utf8FromWide(noFolder) + "'.");
}

// A source that can never be read ends the job before the output exists, wherever it stands
// in the list, with the file's own text naming it (never a huge allocation or a crash).
TEST_F(ExportJobTest, UnreadableSourcesLeaveNoOutput) {
  const auto good = Source("good.avi", SyntheticJpegFrames(0, 2, 0.0));
  std::filesystem::create_directory(folder / "sub.avi");
  const auto dir = Wide(folder / "sub.avi");
  WriteBytes(folder / "empty.avi", "");
  const auto empty = Wide(folder / "empty.avi");
  const std::string name = Utf8FromWide(dir);
  const std::vector<std::string> folderTexts = {"Nie udało się odczytać pliku `" + name + "'.",
                                                "Nie udało się otworzyć pliku `" + name + "'."};
  struct Case {
    std::vector<std::wstring> sources;
    std::vector<std::string> expected;  // any of these
  } cases[] = {
      // A folder opens on some systems and not on others; either way its own text names it.
      {{dir}, folderTexts},
      {{good, dir}, folderTexts},
      {{good, empty}, {"Nie udało się odczytać pliku `" + Utf8FromWide(empty) + "'."}},
      {{good, Wide(folder / "missing.avi")},
       {"Nie udało się otworzyć pliku `" + Utf8FromWide(Wide(folder / "missing.avi")) + "'."}},
  };
  for (const auto& c : cases) {
    const std::string message = JoinError(kExportCopy, c.sources, Out());
    EXPECT_NE(std::find(c.expected.begin(), c.expected.end(), message), c.expected.end()) << message;
    EXPECT_FALSE(std::filesystem::exists(folder / "joined.avi")) << message;
  }
}

TEST_F(ExportJobTest, PathBeyondLatin1ShowsQuestionMarks) {
  const std::wstring path = Wide(folder.Path()) + L"/nagranie_\u0142\u00f3.avi";
  const std::string message = JoinError(kExportCopy, {path}, Out());
  EXPECT_NE(message.find("nagranie_?\xC3\xB3.avi'."), std::string::npos) << message;
}

// An output that is one of the sources, however it is spelled, or a link to one, is refused
// before anything is written, in both modes and wherever the source stands in the list: the
// sources keep every byte and no temporary file is left.
TEST_F(ExportJobTest, AnOutputThatIsOneOfTheSourcesIsRefused) {
  const auto a = Source("a.avi", SyntheticJpegFrames(0, 4, 0.0));
  const auto b = Source("b.avi", SyntheticJpegFrames(1, 3, 0.0));
  const std::string aBytes = ReadBytes(folder / "a.avi"), bBytes = ReadBytes(folder / "b.avi");
  std::filesystem::create_directory(folder / "sub");
  std::filesystem::create_hard_link(folder / "a.avi", folder / "hard.avi");
  std::vector<std::wstring> outputs = {a, Wide(folder.Path()) + L"/./a.avi", Wide(folder / "sub") + L"/../b.avi",
                                       Wide(folder / "hard.avi")};
  std::error_code noLinks;
  std::filesystem::create_symlink(folder / "b.avi", folder / "soft.avi", noLinks);
  if (!noLinks) outputs.push_back(Wide(folder / "soft.avi"));
  // Where names ignore letter case, another case names the same file.
  if (std::filesystem::exists(folder / "A.AVI")) outputs.push_back(Wide(folder / "A.AVI"));
  const auto listing = FolderListing();
  for (const auto& output : outputs) {
    for (const ExportMode mode : {kExportCopy, kExportRecompress}) {
      for (const auto& sources : std::vector<std::vector<std::wstring>>{{a, b}, {b, a}}) {
        EXPECT_EQ(JoinError(mode, sources, output),
                  "Połączone nagranie nie może zastąpić pliku źródłowego `" + Utf8FromWide(output) + "'.");
      }
    }
  }
  EXPECT_EQ(ReadBytes(folder / "a.avi"), aBytes);
  EXPECT_EQ(ReadBytes(folder / "b.avi"), bBytes);
  EXPECT_EQ(FolderListing(), listing);
  // Another file of the same content is no source: the join replaces it, also under a name
  // that Windows-1250 cannot spell.
  const auto copy = folder.Path() / std::filesystem::u8path("kopia_\u0416.avi");
  WriteBytes(copy, aBytes);
  EXPECT_EQ(JoinError(kExportCopy, {a, b}, Wide(folder.Path()) + L"/kopia_\u0416.avi"), "(no error)");
  EXPECT_EQ(FramesOf(ReadBytes(copy)).size(), 7u);
}

TEST_F(ExportJobTest, OversizedFrameFailsWithThePath) {
  const auto big = Source("big.avi", {std::string(1048569, 'x')});
  EXPECT_EQ(JoinError(kExportCopy, {big}, Out()),
            "Nie udało się wczytać pliku `" + Utf8FromWide(big) + "'.\nNie udało się dodać ramki MJPEG.");
  const auto largest = Source("largest.avi", {std::string(1048568, 'y')});
  EXPECT_EQ(JoinError(kExportCopy, {largest}, Out()), "(no error)");
}

TEST_F(ExportJobTest, RunExportAsksForTheOutputOnlyWithSources) {
  RecordingView view;
  RunExport(kExportCopy, {}, view);
  EXPECT_EQ(view.saveDialogs, 0);
  const auto source = Source("x.avi", SyntheticJpegFrames(0, 2, 0.0));
  RunExport(kExportCopy, {source}, view);  // cancelled save dialog
  EXPECT_EQ(view.saveDialogs, 1);
  EXPECT_FALSE(std::filesystem::exists(folder / "joined.avi"));
  view.output = Out();
  RunExport(kExportCopy, {source}, view);
  EXPECT_EQ(FramesOf(OutBytes()).size(), 2u);
}

TEST(ExportSources, OpenDialogResults) {
  ExportSources sources;
  sources.Assign({L"C:\\rec", L"b.avi", L"a.avi"});
  EXPECT_EQ(sources.folder, L"C:\\rec");
  EXPECT_EQ(sources.names, (std::vector<std::wstring>{L"b.avi", L"a.avi"}));
  // One chosen file comes back as a whole path in the system's own form.
  const std::wstring separator(1, platform::PathSeparator());
  const std::wstring folder = L"rec" + separator + L"day";
  sources.Assign({folder + separator + L"one.avi"});
  EXPECT_EQ(sources.folder, folder);
  EXPECT_EQ(sources.names, std::vector<std::wstring>{L"one.avi"});
  EXPECT_EQ(sources.Paths(), std::vector<std::wstring>{folder + separator + L"one.avi"});
}

TEST_F(ExportJobTest, DialogRunsJobsOnTheWorkerAndRefusesToCloseMeanwhile) {
  UiQueue queue;
  RecordingView view;
  ExportController controller(view, queue);
  controller.OnInit();
  ASSERT_EQ(view.notes.size(), 1u);
  EXPECT_EQ(Utf8FromWide(view.notes[0].first), "Najpierw wybierz pliki źródłowe");

  // No sources: no save dialog, straight to "Zrobione".
  controller.OnStartJob(kExportCopy);
  ASSERT_TRUE(RunQueueUntil(queue, [&] { return DoneCount(view) == 1 && controller.Worker().CanClose(); }));
  queue.RunPending();
  EXPECT_EQ(view.saveDialogs, 0);
  EXPECT_EQ(view.enables, (std::vector<bool>{false, true}));

  const auto a = Source("a.avi", SyntheticJpegFrames(0, 3, 0.0));
  view.sourceAnswer = {Wide(folder.Path()), L"a.avi", L"a.avi"};
  controller.OnChooseSources();
  EXPECT_EQ(view.shownNames, (std::vector<std::wstring>{L"a.avi", L"a.avi"}));
  EXPECT_EQ(Utf8FromWide(view.notes.back().second),
            "Eksportuje pliki źródłowe do jednego nagrania i rekompresuje obrazy");

  // The save question waits on the UI queue, which nobody runs yet: closing is refused and a
  // second request is dropped.
  view.output = Out();
  controller.OnStartJob(kExportRecompress);
  EXPECT_FALSE(controller.OnClose());
  controller.OnStartJob(kExportCopy);
  EXPECT_EQ(controller.Worker().RequestedMode(), kExportRecompress);
  ASSERT_TRUE(RunQueueUntil(queue, [&] { return DoneCount(view) == 2 && controller.Worker().CanClose(); }));
  queue.RunPending();
  EXPECT_EQ(view.saveDialogs, 1);
  EXPECT_TRUE(controller.OnClose());
  EXPECT_EQ(FramesOf(OutBytes()).size(), 6u);
  EXPECT_TRUE(view.errors.empty());
  EXPECT_EQ(view.progress, (std::vector<std::uint32_t>{0, 0, 50, 0}));
  EXPECT_EQ(view.enables.back(), true);
}

// The dialog goes away (its controller with it) while the worker waits for the answer to its
// save question: the worker ends at once as if cancelled, and nothing reaches the dialog.
TEST_F(ExportJobTest, ClosingTheDialogWhileTheJobAsksStopsTheWorkerAndDropsItsReports) {
  UiQueue queue;
  RecordingView view;
  view.output = Out();
  const auto a = Source("a.avi", SyntheticJpegFrames(0, 3, 0.0));
  {
    ExportController controller(view, queue);
    controller.OnInit();
    view.sourceAnswer = {Wide(folder.Path()), L"a.avi"};
    controller.OnChooseSources();
    controller.OnStartJob(kExportCopy);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (queue.Size() == 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_EQ(queue.Size(), 1u);  // the question, posted and waited for
  }
  EXPECT_EQ(queue.RunPending(), 4u);  // the question, "Zrobione", 0 and the controls: all dropped
  EXPECT_EQ(view.saveDialogs, 0);
  EXPECT_TRUE(view.statuses.empty());
  EXPECT_TRUE(view.progress.empty());
  EXPECT_EQ(view.enables, std::vector<bool>{false});
  EXPECT_FALSE(std::filesystem::exists(folder / "joined.avi"));
}

// A worker that cannot be started (at either step) is reported once through the dialog's error
// box and the opening fails; a job button then requests nothing, so nothing holds the dialog
// open: it closes at once.
TEST(ExportController, AWorkerThatCannotStartIsReportedAndNeverHoldsTheDialog) {
  const struct {
    int step;
    const char* message;
  } cases[] = {{1, "Nie udało się utworzyć kontrolera nowego wątku."}, {2, "Nie udało się utworzyć nowego wątku."}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.step);
    UiQueue queue;
    RecordingView view;
    ExportController controller(view, queue);
    thread_testing::FailNextStart(c.step);
    EXPECT_FALSE(controller.OnInit());
    EXPECT_EQ(view.errors, std::vector<std::string>{c.message});
    controller.OnStartJob(kExportCopy);
    EXPECT_EQ(controller.Worker().RequestedMode(), kExportNone);
    EXPECT_TRUE(view.enables.empty()) << "the job controls stay enabled";
    EXPECT_TRUE(controller.OnClose());
  }
}

TEST_F(ExportJobTest, WorkerShowsAFailedJobOnceAndGoesBackToIdle) {
  RecordingView view;
  view.output = Out();
  std::vector<std::wstring> sources = {Wide(folder / "missing.avi")};
  ExportThread worker(view);  // the recorder is thread-safe: the worker calls it directly
  worker.Start();
  EXPECT_FALSE(worker.Request(kExportNone, sources));
  EXPECT_TRUE(worker.Request(kExportCopy, sources));
  ASSERT_TRUE(view.WaitForDone(1));
  worker.Stop();
  ASSERT_EQ(view.errors.size(), 1u);
  EXPECT_EQ(view.errors[0], "Nie udało się otworzyć pliku `" + Utf8FromWide(sources[0]) + "'.");
  EXPECT_EQ(worker.RequestedMode(), kExportNone);
  EXPECT_TRUE(worker.CanClose());
}
