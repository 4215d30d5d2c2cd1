// trevnactl join and medium, checked from outside: ffprobe must read what join writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "archive/avi_builder.h"

namespace {

struct Result {
  int status = -1;
  std::string out;
};

// Runs a shell command; stdout (and stderr with 2>&1 in the command) is captured.
Result Shell(const std::string& command) {
  Result result;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  std::size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

const std::string kCtl = TREVNA_BINARY_DIR "/trevnactl";

class ArchiveCli : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() / ("trevna-archive-cli-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string Write(const std::string& name, const std::string& bytes) {
    const auto path = folder_ / name;
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }
  std::string Path(const std::string& name) const { return (folder_ / name).string(); }

  // Frame count, frame rate, codec and size as ffprobe reads them.
  std::string Probe(const std::string& file) {
    return Shell("ffprobe -v error -select_streams v:0 -count_frames -show_entries "
               "stream=codec_name,width,height,r_frame_rate,nb_read_frames -of default=noprint_wrappers=1 '" +
               file + "'")
        .out;
  }

  std::filesystem::path folder_;
};

}  // namespace

TEST_F(ArchiveCli, JoinedFileIsReadByFfprobe) {
  const std::string a = Write("a.avi", BuildArchiveAvi(SyntheticJpegFrames(0, 10, 0.0), 180, 144));
  const std::string b = Write("b.avi", BuildArchiveAvi(SyntheticJpegFrames(1, 5, 0.0), 180, 144));
  for (const char* mode : {"", "--recompress "}) {
    const std::string out = Path("joined.avi");
    const Result join = Shell(kCtl + " join " + mode + "-o '" + out + "' '" + a + "' '" + b + "' 2>&1");
    ASSERT_EQ(join.status, 0) << join.out;
    EXPECT_EQ(join.out, "");  // no progress line when stderr is not a terminal
    EXPECT_EQ(Probe(out),
              "codec_name=mjpeg\nwidth=180\nheight=144\nr_frame_rate=25/4\nnb_read_frames=15\n")
        << mode;
    // ffmpeg decodes every frame without complaint.
    const Result decode = Shell("ffmpeg -v error -i '" + out + "' -f null - 2>&1");
    EXPECT_EQ(decode.status, 0);
    EXPECT_EQ(decode.out, "") << mode;
  }
}

TEST_F(ArchiveCli, JoinFailuresExitWithOneAndTheSystemText) {
  std::string broken = BuildArchiveAvi(SyntheticJpegFrames(0, 2, 0.0), 180, 144);
  broken[0] = 'X';
  const std::string bad = Write("zły.avi", broken);
  const Result result = Shell(kCtl + " join -o '" + Path("o.avi") + "' '" + bad + "' 2>&1");
  EXPECT_EQ(result.status, 1);
  // The narrow name keeps each UTF-8 byte of the path (all below 256), shown in UTF-8.
  EXPECT_NE(result.out.find("Nie udało się wczytać pliku `"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("'.\nNieoczekiwany znacznik głównego bloku RIFF.\n"), std::string::npos) << result.out;

  EXPECT_EQ(Shell(kCtl + " join -o '" + Path("o.avi") + "' 2>&1").status, 2);

  // A folder or a device as a source: the read message naming it, and no output left behind.
  for (const std::string& source : {folder_.string() + "/", std::string("/dev/zero")}) {
    const Result odd = Shell(kCtl + " join -o '" + Path("p.avi") + "' '" + source + "' 2>&1");
    EXPECT_EQ(odd.status, 1) << source;
    EXPECT_EQ(odd.out, "Nie udało się odczytać pliku `" + source + "'.\n") << source;
    EXPECT_FALSE(std::filesystem::exists(Path("p.avi"))) << source;
  }
}

TEST_F(ArchiveCli, MediumPrintsTheLabelsAndWritesTheSettings) {
  const Result result = Shell(kCtl + " medium --capacity-gb 32 --cameras 1 --quality 90 --write '" +
                            folder_.string() + "'");
  ASSERT_EQ(result.status, 0) << result.out;
  EXPECT_EQ(result.out.rfind("Przepływność: ", 0), 0u) << result.out;
  EXPECT_NE(result.out.find(" kbps\nCzas zapisu: "), std::string::npos) << result.out;
  EXPECT_NE(result.out.find(" dni\n"), std::string::npos) << result.out;
  std::ifstream in(folder_ / "archcfg.txt", std::ios::binary);
  const std::string config((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(config.find("archive_days = "), 0u);
  EXPECT_NE(config.find("\r\narchive_quality = 90\r\n"), std::string::npos) << config;

  const Result none = Shell(kCtl + " medium --capacity-gb 0");
  EXPECT_NE(none.out.find("Czas zapisu: 0 godz.\n"), std::string::npos) << none.out;
  EXPECT_EQ(Shell(kCtl + " medium --capacity-gb 8 --quality 100 2>&1").status, 2);
}
