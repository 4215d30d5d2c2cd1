// trevnactl join and medium, checked from outside: ffprobe must read what join writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/avi_builder.h"
#include "base/bytes.h"
#include "support/files.h"
#include "support/process.h"

namespace {

using trevna_test::ProcessResult;
using trevna_test::RunProcess;
using trevna_test::RunTrevnactl;

class ArchiveCli : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    trevna_test::WriteBytes(folder_ / name, bytes);
    return folder_.File(name);
  }
  std::string Path(const std::string& name) const { return folder_.File(name); }

  // Frame count, frame rate, codec and size as ffprobe reads them.
  std::string Probe(const std::string& file) {
    return RunProcess({"ffprobe", "-v", "error", "-select_streams", "v:0", "-count_frames", "-show_entries",
                       "stream=codec_name,width,height,r_frame_rate,nb_read_frames", "-of", "default=noprint_wrappers=1",
                       file})
        .out;
  }

  trevna_test::TempFolder folder_{"archive-cli"};
};

}  // namespace

TEST_F(ArchiveCli, JoinedFileIsReadByFfprobe) {
  const std::string a = Write("a.avi", BuildArchiveAvi(SyntheticJpegFrames(0, 10, 0.0), 180, 144));
  const std::string b = Write("b.avi", BuildArchiveAvi(SyntheticJpegFrames(1, 5, 0.0), 180, 144));
  for (const bool recompress : {false, true}) {
    const std::string out = Path("joined.avi");
    std::vector<std::string> args = {"join", "-o", out, a, b};
    if (recompress) args.insert(args.begin() + 1, "--recompress");
    const ProcessResult join = RunTrevnactl(args);
    ASSERT_EQ(join.exitCode, 0) << join.err;
    EXPECT_EQ(join.out + join.err, "");  // no progress line when stderr is not a terminal
    EXPECT_EQ(Probe(out),
              "codec_name=mjpeg\nwidth=180\nheight=144\nr_frame_rate=25/4\nnb_read_frames=15\n")
        << recompress;
    // ffmpeg decodes every frame without complaint.
    const ProcessResult decode = RunProcess({"ffmpeg", "-v", "error", "-i", out, "-f", "null", "-"});
    EXPECT_EQ(decode.exitCode, 0);
    EXPECT_EQ(decode.out + decode.err, "") << recompress;
  }
}

TEST_F(ArchiveCli, JoinFailuresExitWithOneAndTheSystemText) {
  std::string broken = BuildArchiveAvi(SyntheticJpegFrames(0, 2, 0.0), 180, 144);
  broken[0] = 'X';
  const std::string bad = Write("zły.avi", broken);
  const ProcessResult result = RunTrevnactl({"join", "-o", Path("o.avi"), bad});
  EXPECT_EQ(result.exitCode, 1);
  // The narrow name keeps each UTF-8 byte of the path (all below 256), shown in UTF-8.
  EXPECT_NE(result.err.find("Nie udało się wczytać pliku `"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("'.\nNieoczekiwany znacznik głównego bloku RIFF.\n"), std::string::npos) << result.err;

  EXPECT_EQ(RunTrevnactl({"join", "-o", Path("o.avi")}).exitCode, 2);

  // A folder or a device as a source: the read message naming it, and no output left behind.
  for (const std::string& source : {folder_.Path().string() + "/", std::string("/dev/zero")}) {
    const ProcessResult odd = RunTrevnactl({"join", "-o", Path("p.avi"), source});
    EXPECT_EQ(odd.exitCode, 1) << source;
    EXPECT_EQ(odd.out, "") << source;
    EXPECT_EQ(odd.err, "Nie udało się odczytać pliku `" + source + "'.\n") << source;
    EXPECT_FALSE(std::filesystem::exists(Path("p.avi"))) << source;
  }
}

// `join -o a.avi a.avi b.avi`, run in the recordings' folder, and other spellings of a source
// as the output (a hard link included) are refused before anything is written; a join that fails
// midway leaves the earlier output as it was. No source and no earlier file is cut short, and
// no temporary file is left.
TEST_F(ArchiveCli, JoinNeverCutsShortASourceOrAnEarlierOutput) {
  const std::string aBytes = BuildArchiveAvi(SyntheticJpegFrames(0, 10, 0.0), 180, 144);
  const std::string a = Write("a.avi", aBytes);
  const std::string b = Write("b.avi", BuildArchiveAvi(SyntheticJpegFrames(1, 5, 0.0), 180, 144));
  std::filesystem::create_hard_link(a, Path("hard.avi"));
  const std::string refused = "Połączone nagranie nie może zastąpić pliku źródłowego `";
  const std::string trevnactl = TREVNA_BINARY_DIR "/trevnactl";
  const std::string folder = folder_.Path().string();
  const struct {
    std::vector<std::string> command;
    std::string output;
  } cases[] = {
      {{"env", "-C", folder, trevnactl, "join", "-o", "a.avi", "a.avi", "b.avi"}, "a.avi"},
      {{"env", "-C", folder, trevnactl, "join", "--recompress", "-o", "./b.avi", "a.avi", b}, "./b.avi"},
      {{trevnactl, "join", "-o", folder + "/./a.avi", b, a}, folder + "/./a.avi"},
      {{trevnactl, "join", "-o", Path("hard.avi"), b, a}, Path("hard.avi")},
  };
  for (const auto& c : cases) {
    const ProcessResult result = RunProcess(c.command);
    EXPECT_EQ(result.exitCode, 1) << c.output;
    EXPECT_EQ(result.err, refused + c.output + "'.\n");
  }
  EXPECT_EQ(trevna_test::ReadBytes(a), aBytes);

  // The second source breaks after its frames were joined.
  std::string cut = BuildArchiveAvi(SyntheticJpegFrames(1, 3, 0.0), 180, 144);
  cut += "JUNK" + std::string("\x40\0\0\0xx", 6);
  auto* riffSize = reinterpret_cast<std::uint8_t*>(cut.data()) + 4;
  StoreU32(riffSize, LoadU32(riffSize) + 10);
  const std::string cutPath = Write("cut.avi", cut);
  Write("out.avi", "an earlier recording");
  const ProcessResult failed = RunTrevnactl({"join", "-o", Path("out.avi"), a, cutPath});
  EXPECT_EQ(failed.exitCode, 1);
  EXPECT_NE(failed.err.find("Niepoprawny nagłówek bloku RIFF."), std::string::npos) << failed.err;
  EXPECT_EQ(trevna_test::ReadBytes(Path("out.avi")), "an earlier recording");
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder_.Path())) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.avi", "b.avi", "cut.avi", "hard.avi", "out.avi"}));
}

TEST_F(ArchiveCli, MediumPrintsTheLabelsAndWritesTheSettings) {
  const ProcessResult result =
      RunTrevnactl({"medium", "--capacity-gb", "32", "--cameras", "1", "--quality", "90", "--write", folder_.Path().string()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out.rfind("Przepływność: ", 0), 0u) << result.out;
  EXPECT_NE(result.out.find(" kbps\nCzas zapisu: "), std::string::npos) << result.out;
  EXPECT_NE(result.out.find(" dni\n"), std::string::npos) << result.out;
  const std::string config = trevna_test::ReadBytes(folder_ / "archcfg.txt");
  EXPECT_EQ(config.find("archive_days = "), 0u);
  EXPECT_NE(config.find("\r\narchive_quality = 90\r\n"), std::string::npos) << config;

  const ProcessResult none = RunTrevnactl({"medium", "--capacity-gb", "0"});
  EXPECT_NE(none.out.find("Czas zapisu: 0 godz.\n"), std::string::npos) << none.out;
  EXPECT_EQ(RunTrevnactl({"medium", "--capacity-gb", "8", "--quality", "100"}).exitCode, 2);
}
