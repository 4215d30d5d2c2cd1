// SCP to and from the simulated card with OpenSSH's scp in its classic protocol (scp -O):
// the program file and archive recordings byte for byte, times kept with -p, refused
// paths, "mv" between the card's files, and a link that drops in the middle of a transfer.
#include <gtest/gtest.h>

#include <random>
#include <sys/stat.h>

#include "cardsim_test_support.h"
#include "support/cardsim.h"

namespace {

namespace fs = std::filesystem;
using cardsim_test::ReadBytes;
using cardsim_test::WriteBytes;
using trevna_test::CardSim;
using trevna_test::CardSimOptions;

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

class CardSimScp : public trevna_test::CardSimSuite<CardSimScp> {
 public:
  static CardSimOptions Options() {
    CardSimOptions options;
    options.addresses = {"127.0.0.3"};
    return options;
  }

 protected:
  void SetUp() override {
    work_ = card_->StateFolder() / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::create_directories(work_);
  }
  fs::path work_;
};

TEST_F(CardSimScp, ProgramFileGoesUpAndComesBackUnchanged) {
  // Every byte value, an odd size and more than one transfer window.
  const std::string program = RandomBytes(1234567, 1);
  WriteBytes(work_ / "program.trv", program);
  auto r = card_->ScpUpload(work_ / "program.trv", "/etc/vemo/program.doz");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadBytes(card_->CardFolder() / "program.doz"), program);

  r = card_->ScpDownload("/etc/vemo/program.doz", work_ / "back.trv");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadBytes(work_ / "back.trv"), program);

  const auto upload = card_->Events("scp-upload").back();
  EXPECT_EQ(upload["path"], "/etc/vemo/program.doz");
  EXPECT_EQ(upload["size"], program.size());
  EXPECT_EQ(upload["ok"], true);
  const auto download = card_->Events("scp-download").back();
  EXPECT_EQ(download["md5"], upload["md5"]);

  // A second upload replaces the first completely, also when it is shorter; an empty file
  // is a file too.
  WriteBytes(work_ / "short.trv", "abc");
  ASSERT_EQ(card_->ScpUpload(work_ / "short.trv", "/etc/vemo/program.doz").exitCode, 0);
  EXPECT_EQ(ReadBytes(card_->CardFolder() / "program.doz"), "abc");
  WriteBytes(work_ / "empty.trv", "");
  ASSERT_EQ(card_->ScpUpload(work_ / "empty.trv", "/etc/vemo/program.doz").exitCode, 0);
  ASSERT_EQ(card_->ScpDownload("/etc/vemo/program.doz", work_ / "empty-back.trv").exitCode, 0);
  EXPECT_TRUE(fs::exists(work_ / "empty-back.trv"));
  EXPECT_EQ(fs::file_size(work_ / "empty-back.trv"), 0u);
}

TEST_F(CardSimScp, TimesTravelWithDashP) {
  WriteBytes(work_ / "dated.trv", "program with a date");
  const struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (work_ / "dated.trv").c_str(), times, 0), 0);
  ASSERT_EQ(card_->ScpUpload(work_ / "dated.trv", "/etc/vemo/program.doz", true).exitCode, 0);
  struct stat st {};
  ASSERT_EQ(stat((card_->CardFolder() / "program.doz").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1000000000);

  ASSERT_EQ(card_->ScpDownload("/etc/vemo/program.doz", work_ / "dated-back.trv", true).exitCode, 0);
  ASSERT_EQ(stat((work_ / "dated-back.trv").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1000000000);
  EXPECT_EQ(ReadBytes(work_ / "dated-back.trv"), "program with a date");
}

TEST_F(CardSimScp, RecordingsComeDownByteExactAndAreMjpegAvi) {
  const auto folders = card_->Ssh("ls -p /mnt/usbdrive");
  ASSERT_EQ(folders.exitCode, 0);
  const std::string folder = folders.out.substr(0, folders.out.find('\n'));
  const auto files = card_->Ssh("ls -p /mnt/usbdrive/" + folder);
  const std::string file = files.out.substr(0, files.out.find('\n'));
  ASSERT_FALSE(file.empty());
  const auto r = card_->ScpDownload("/mnt/usbdrive/" + folder + file, work_ / file);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string avi = ReadBytes(work_ / file);
  EXPECT_EQ(avi, ReadBytes(card_->CardFolder() / "usbdrive" / folder / file));
  ASSERT_GT(avi.size(), 532u);
  EXPECT_EQ(avi.substr(0, 4), "RIFF");
  EXPECT_EQ(avi.substr(8, 4), "AVI ");
  EXPECT_EQ(avi.substr(188, 4), "MJPG");
  EXPECT_EQ(avi.substr(524, 4), "00dc");
  EXPECT_EQ(static_cast<unsigned char>(avi[532]), 0xFF);  // the first frame is a JPEG (SOI)
  EXPECT_EQ(static_cast<unsigned char>(avi[533]), 0xD8);
  // 160,000 microseconds per frame: 6.25 frames per second; 180 x 144.
  auto u32 = [&](std::size_t at) { return LoadU32(avi.data() + at); };
  EXPECT_EQ(u32(32), 160000u);
  EXPECT_EQ(u32(64), 180u);
  EXPECT_EQ(u32(68), 144u);
  EXPECT_EQ(u32(4), avi.size() - 8);
  EXPECT_GT(u32(48), 10u);

  const std::string cfg = ReadBytes(card_->CardFolder() / "usbdrive" / "archcfg.txt");
  EXPECT_EQ(cfg.rfind("archive_days = ", 0), 0u) << cfg;
  EXPECT_NE(cfg.find("\r\narchive_quality = "), std::string::npos);
}

TEST_F(CardSimScp, UploadsToTheDriveAndRefusedPaths) {
  WriteBytes(work_ / "notatka.txt", "na nosniku");
  auto r = card_->ScpUpload(work_ / "notatka.txt", "/mnt/usbdrive/");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadBytes(card_->CardFolder() / "usbdrive" / "notatka.txt"), "na nosniku");
  EXPECT_NE(card_->Ssh("ls -p /mnt/usbdrive").out.find("\nnotatka.txt\n"), std::string::npos);

  r = card_->ScpUpload(work_ / "notatka.txt", "/etc/passwd");
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
  r = card_->ScpUpload(work_ / "notatka.txt", "/mnt/usbdrive/../../escape.txt");
  EXPECT_NE(r.exitCode, 0);
  EXPECT_FALSE(fs::exists(card_->StateFolder() / "escape.txt"));
  r = card_->ScpDownload("/mnt/usbdrive/nie-ma.avi", work_ / "nie-ma.avi");
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(work_ / "nie-ma.avi"));
}

// "mv" between the card's files, as the program puts a new program in place; paths off the
// card and missing sources are refused with exit status 1.
TEST_F(CardSimScp, MvRenamesWithinTheCardsFiles) {
  WriteBytes(work_ / "nowy.trv", "nowy program");
  ASSERT_EQ(card_->ScpUpload(work_ / "nowy.trv", "/etc/vemo/program.doz.new").exitCode, 0);
  WriteBytes(card_->CardFolder() / "usbdrive" / "mv-notatka.txt", "notatka");
  fs::create_directories(card_->CardFolder() / "usbdrive" / "mv-folder");
  const struct {
    const char* command;
    bool ok;
    const char* error;  // on stderr when refused
  } rows[] = {
      {"mv -f /etc/vemo/program.doz.new /etc/vemo/program.doz", true, ""},
      {"mv -f /etc/vemo/program.doz.new /etc/vemo/program.doz", false, "No such file or directory"},
      {"mv /mnt/usbdrive/mv-notatka.txt /mnt/usbdrive/mv-folder/", true, ""},
      {"mv -f /etc/passwd /mnt/usbdrive/passwd", false, "Permission denied"},
      {"mv -f /mnt/usbdrive/mv-folder/mv-notatka.txt /tmp/x", false, "Permission denied"},
      {"mv -f /mnt/usbdrive /mnt/usbdrive/mv-folder", false, "Permission denied"},
      {"mv -x /etc/vemo/program.doz /mnt/usbdrive/", false, "unrecognized option"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.command);
    const auto r = card_->Ssh(row.command);
    EXPECT_EQ(r.exitCode == 0, row.ok) << r.err;
    EXPECT_NE(r.err.find(row.error), std::string::npos) << r.err;
  }
  EXPECT_EQ(ReadBytes(card_->CardFolder() / "program.doz"), "nowy program");
  EXPECT_FALSE(fs::exists(card_->CardFolder() / "program.doz.new"));
  EXPECT_EQ(ReadBytes(card_->CardFolder() / "usbdrive" / "mv-folder" / "mv-notatka.txt"), "notatka");
  const auto moves = card_->Events("mv");
  ASSERT_EQ(moves.size(), 6u);  // the bad option is refused before anything is tried
  EXPECT_EQ(moves[0]["from"], "/etc/vemo/program.doz.new");
  EXPECT_EQ(moves[0]["to"], "/etc/vemo/program.doz");
  EXPECT_EQ(moves[0]["ok"], true);
  EXPECT_EQ(moves[1]["ok"], false);
}

// The card's scp writes in place, as OpenSSH's and dropbear's do: a link that drops half-way
// leaves the new bytes that came over the start of the old file, and the old file's tail.
TEST(CardSimScpFaults, LinkDropsAfterTheGivenBytesAndTheTargetKeepsWhatCame) {
  CardSimOptions options;
  options.addresses = {"127.0.0.4"};
  options.faults = {"drop-after=100000"};
  CardSim card(options);
  const fs::path work = card.StateFolder() / "work";
  fs::create_directories(work);

  // Small transfers are not affected.
  WriteBytes(work / "small.trv", "small program");
  ASSERT_EQ(card.ScpUpload(work / "small.trv", "/etc/vemo/program.doz").exitCode, 0);
  EXPECT_EQ(ReadBytes(card.CardFolder() / "program.doz"), "small program");

  const std::string old = RandomBytes(300000, 4);
  WriteBytes(card.CardFolder() / "program.doz", old);
  const std::string big = RandomBytes(300000, 2);
  WriteBytes(work / "big.trv", big);
  auto r = card.ScpUpload(work / "big.trv", "/etc/vemo/program.doz");
  EXPECT_NE(r.exitCode, 0);
  const auto upload = card.Events("scp-upload").back();
  EXPECT_EQ(upload["ok"], false);
  EXPECT_EQ(upload["received"], 100000);
  EXPECT_TRUE(ReadBytes(card.CardFolder() / "program.doz") == big.substr(0, 100000) + old.substr(100000));

  WriteBytes(card.CardFolder() / "program.doz", RandomBytes(300000, 3));
  r = card.ScpDownload("/etc/vemo/program.doz", work / "down.trv");
  EXPECT_NE(r.exitCode, 0);
  const auto download = card.Events("scp-download").back();
  EXPECT_EQ(download["ok"], false);
  EXPECT_EQ(download["sent"], 100000);
}

}  // namespace
