// trevnactl's card commands against trevna-cardsim.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/socket.h"
#include "base/text.h"
#include "doc/document.h"
#include "doc/document_file.h"
#include "support/cardsim.h"
#include "support/recording_updates.h"
#include "cli_support.h"

namespace {

using trevna_test::CardSim;

// trevnactl with `args`; TREVNA_PASSWORD holds `password` unless it is empty.
trevna_test::ProcessResult Trevnactl(const std::vector<std::string>& args, const std::string& password = CardSim::kPassword) {
  return trevna_test::RunTrevnactl(args, {password.empty() ? "TREVNA_PASSWORD" : "TREVNA_PASSWORD=" + password});
}

std::vector<std::string> CardArgs(const trevna_test::CardEndpoints& card) {
  return {"--user", CardSim::kUser, "--ssh-port", std::to_string(card.sshPort), "--stream-port",
          std::to_string(card.streamPort)};
}

using cli_test::Join;
using cli_test::SaveDocumentWith;
using trevna_test::ReadBytes;

class CliTest : public trevna_test::CardSimSuite<CliTest> {
 public:
  // Both cards on the same ports of their own addresses, as real cards would be.
  static trevna_test::CardSimOptions Options() {
    trevna_test::CardSimOptions options;
    options.addresses = {"127.0.0.2", "127.0.0.3"};
    options.sshPort = trevna_test::FreeTcpPort();
    options.streamPort = trevna_test::FreeTcpPort();
    return options;
  }

 protected:
  // Waits until `address` has come back from one restart more than `before` (bounded: the
  // simulated card is down for a second).
  static void WaitForRestarts(const std::string& address, std::size_t before) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (card_->Events("restarted", address).size() <= before && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_GT(card_->Events("restarted", address).size(), before) << address << " did not come back";
  }
};

TEST_F(CliTest, ProgramTwoCardsInParallelAndDownloadBack) {
  const trevna_test::TempFolder folder("cli-program");
  const auto doc = folder / "brama.trv";
  SaveDocumentWith(doc, {{0, 1}, {1, 2}});
  const auto& a = card_->Card("127.0.0.2");
  const auto& b = card_->Card("127.0.0.3");
  ASSERT_EQ(a.sshPort, b.sshPort);
  const auto restartsA = card_->Events("restarted", "127.0.0.2").size();
  const auto restartsB = card_->Events("restarted", "127.0.0.3").size();
  const auto run = Trevnactl(
      Join({"program", "127.0.0.2,127.0.0.3", doc.string(), "--restart-step-ms", "0"}, CardArgs(a)));
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("127.0.0.2: OK"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("127.0.0.3: OK"), std::string::npos) << run.out;
  for (const char* address : {"127.0.0.2", "127.0.0.3"}) {
    SCOPED_TRACE(address);
    // Sent beside the program, put in place by one rename, then the restart.
    EXPECT_EQ(ReadBytes(card_->CardFolder(address) / "program.doz"), ReadBytes(doc));
    EXPECT_FALSE(std::filesystem::exists(card_->CardFolder(address) / "program.doz.new"));
    ASSERT_FALSE(card_->Events("mv", address).empty());
    EXPECT_EQ(card_->Events("mv", address).back()["ok"], true);
  }
  // One reachable card and one that does not answer: exit 1, a line for each.
  WaitForRestarts("127.0.0.2", restartsA);
  WaitForRestarts("127.0.0.3", restartsB);
  const auto mixed = Trevnactl(
      Join({"program", "127.0.0.2,127.0.0.9", doc.string(), "--restart-step-ms", "0"}, CardArgs(a)));
  EXPECT_EQ(mixed.exitCode, 1);
  EXPECT_NE(mixed.out.find("127.0.0.2: OK"), std::string::npos) << mixed.out;
  EXPECT_NE(mixed.out.find("127.0.0.9: FAILED"), std::string::npos) << mixed.out;
  WaitForRestarts("127.0.0.2", restartsA + 1);
  const auto out = folder / "back.trv";
  const auto back = Trevnactl(Join({"download-program", "127.0.0.2", out.string()}, CardArgs(a)));
  EXPECT_EQ(back.exitCode, 0) << back.err;
  EXPECT_EQ(ReadBytes(out), ReadBytes(doc));
}

TEST_F(CliTest, ProgramRefusesInvalidDocument) {
  const trevna_test::TempFolder folder("cli-invalid");
  const auto doc = folder / "zly.trv";
  SaveDocumentWith(doc, {{0, 3}, {0, 3}});
  const auto before = card_->Events("scp-upload", "127.0.0.2").size();
  const auto run = Trevnactl(Join({"program", "127.0.0.2", doc.string()}, CardArgs(card_->Card("127.0.0.2"))));
  EXPECT_EQ(run.exitCode, 2);  // a document that cannot be programmed is a usage error
  EXPECT_NE(run.err.find("Program zawiera błędy. Usuń je i spróbuj ponownie."), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("A3"), std::string::npos) << run.err;
  EXPECT_EQ(card_->Events("scp-upload", "127.0.0.2").size(), before);
}

TEST_F(CliTest, PasswordIsRequiredOffTheCommandLine) {
  const auto run = Trevnactl(Join({"time", "127.0.0.2"}, CardArgs(card_->Card("127.0.0.2"))), "");
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.err.find("TREVNA_PASSWORD"), std::string::npos);
  const trevna_test::TempFolder folder("cli-pass");
  { std::ofstream(folder / "pw") << CardSim::kPassword << "\n"; }
  const auto withFile = Trevnactl(
      Join({"time", "127.0.0.2", "--password-file", (folder / "pw").string()}, CardArgs(card_->Card("127.0.0.2"))), "");
  EXPECT_EQ(withFile.exitCode, 0) << withFile.err;
  EXPECT_NE(withFile.out.find("card UTC: "), std::string::npos);
  EXPECT_NE(withFile.out.find("offset: "), std::string::npos);
}

TEST_F(CliTest, ArchiveListingAndDownload) {
  const auto& card = card_->Card("127.0.0.2");
  const auto folders = Trevnactl(Join({"archive", "127.0.0.2"}, CardArgs(card)));
  ASSERT_EQ(folders.exitCode, 0) << folders.err;
  const std::string first = folders.out.substr(0, folders.out.find('\n'));
  ASSERT_FALSE(first.empty());
  ASSERT_EQ(first.back(), '/');
  const auto files = Trevnactl(Join({"archive", "127.0.0.2", first}, CardArgs(card)));
  ASSERT_EQ(files.exitCode, 0) << files.err;
  const std::string file = files.out.substr(0, files.out.find('\n'));
  const trevna_test::TempFolder target("cli-archive");
  const auto get = Trevnactl(Join({"archive-get", "127.0.0.2", first, file, "-o", target.Path().string()}, CardArgs(card)));
  EXPECT_EQ(get.exitCode, 0) << get.err;
  EXPECT_EQ(ReadBytes(target / first / file), ReadBytes(card_->CardFolder("127.0.0.2") / "usbdrive" / first / file));
  // A recording, an empty file and a recording in one call: the empty one arrives with 0 bytes
  // and the next one still comes.
  const auto day = card_->CardFolder("127.0.0.2") / "usbdrive" / "2024-05-01";
  std::filesystem::create_directories(day);
  const std::vector<std::pair<std::string, std::string>> recordings = {
      {"rec_0800.avi", std::string(150000, 'a')}, {"empty.avi", ""}, {"rec_0900.avi", std::string(90001, 'b')}};
  for (const auto& [name, bytes] : recordings) trevna_test::WriteBytes(day / name, bytes);
  const auto three = Trevnactl(Join({"archive-get", "127.0.0.2", "2024-05-01/", "rec_0800.avi", "empty.avi",
                                     "rec_0900.avi", "-o", target.Path().string()},
                                    CardArgs(card)));
  EXPECT_EQ(three.exitCode, 0) << three.err;
  for (const auto& [name, bytes] : recordings) {
    EXPECT_TRUE(std::filesystem::exists(target / "2024-05-01" / name)) << name;
    EXPECT_TRUE(ReadBytes(target / "2024-05-01" / name) == bytes) << name;
  }
  const auto missing =
      Trevnactl(Join({"archive-get", "127.0.0.2", first, "nie-ma.avi", "-o", target.Path().string()}, CardArgs(card)));
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("Nie powiodła się próba pobrania pliku."), std::string::npos) << missing.err;
  EXPECT_FALSE(std::filesystem::exists(target / first / "nie-ma.avi"));
}

TEST_F(CliTest, NetworkShowsSettings) {
  const auto run = Trevnactl(Join({"network", "127.0.0.3"}, CardArgs(card_->Card("127.0.0.3"))));
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("ipaddr = "), std::string::npos);
  EXPECT_NE(run.out.find("netmask = "), std::string::npos);
  EXPECT_NE(run.out.find("hwaddr = "), std::string::npos);
}

TEST_F(CliTest, LiveWritesPicturesAndSendsTheSettings) {
  const auto& card = card_->Card("127.0.0.3");
  const trevna_test::TempFolder out("cli-live");
  const auto run = Trevnactl(Join({"live", "127.0.0.3", "--frames", "5", "-o", out.Path().string(), "--preview", "off",
                                   "--force-outputs", "0x81", "--tune", "B:2"},
                                  CardArgs(card)));
  ASSERT_EQ(run.exitCode, 0) << run.err;
  int bitmaps = 0;
  for (const auto& entry : std::filesystem::directory_iterator(out)) {
    if (entry.path().extension() == ".bmp") {
      ++bitmaps;
      EXPECT_EQ(entry.file_size(), 54u + 180u * 144u * 3u);
      const std::string bmp = ReadBytes(entry.path());
      EXPECT_EQ(bmp.substr(0, 2), "BM");
    }
  }
  EXPECT_EQ(bitmaps, 5);
  const auto replies = card_->Events("stream-reply", "127.0.0.3");
  ASSERT_GE(replies.size(), 5u);
  const auto& last = replies.back();
  EXPECT_EQ(last.value("flags", 0) & 7, 7);
  EXPECT_EQ(last.value("forced", 0), 0x81);
  EXPECT_EQ(last.value("detector", -1), 2);
  EXPECT_EQ(last.value("detector_track", -1), 1);
}

TEST(CliClockTest, SyncSetsAClockElevenSecondsOff) {
  CardSim sim({"127.0.0.4"}, {}, {"--clock-offset", "-11"});
  const auto& card = sim.Card("127.0.0.4");
  const auto look = Trevnactl(Join({"time", "127.0.0.4"}, CardArgs(card)));
  EXPECT_EQ(look.exitCode, 0) << look.err;
  EXPECT_NE(look.out.find("offset: -1"), std::string::npos) << look.out;
  EXPECT_TRUE(sim.Events("clock-set", "127.0.0.4").empty());
  const auto sync = Trevnactl(Join({"time", "127.0.0.4", "--sync"}, CardArgs(card)));
  EXPECT_EQ(sync.exitCode, 0) << sync.err;
  EXPECT_NE(sync.out.find("clock set"), std::string::npos) << sync.out;
  EXPECT_EQ(sim.Events("clock-set", "127.0.0.4").size(), 1u);
}

// A card that takes the login and then leaves a command unanswered: each command fails with
// its step's message and exit 1 once the time limit has passed, never with an empty answer.
TEST(CliFaultTest, CardThatStopsAnsweringFailsTheCommand) {
  CardSim sim({"127.0.0.22"}, {"stall-command=ls", "stall-command=scp", "stall-command=ipconfig", "stall-command=chpass", "stall-command=date"});
  const trevna_test::TempFolder folder("cli-stalled");
  { std::ofstream(folder / "pw") << "nowe\n"; }
  const auto doc = folder / "brama.trv";
  SaveDocumentWith(doc, {{0, 1}});
  const std::vector<std::pair<std::vector<std::string>, std::string>> rows = {
      {{"archive", "127.0.0.22"}, "Nie powiodła się próba wylistowania katalogu."},
      {{"archive", "127.0.0.22", "2026-01-01/"}, "Nie powiodła się próba wylistowania katalogu."},
      {{"archive-get", "127.0.0.22", "2026-01-01/", "A_080000.avi", "-o", folder.Path().string()},
       "Nie powiodła się próba pobrania pliku."},
      {{"download-program", "127.0.0.22", (folder / "back.trv").string()}, "Nie powiodła się próba pobrania pliku."},
      {{"network", "127.0.0.22"}, "Nie powiodła się próba wykonania polecenia."},
      {{"time", "127.0.0.22"}, "Nie powiodła się próba wykonania polecenia."},
      {{"passwd", "127.0.0.22", "--new-password-file", (folder / "pw").string()},
       "Nie powiodła się próba zmiany hasła."},
      {{"program", "127.0.0.22", doc.string()}, "127.0.0.22: FAILED: Nie powiodła się próba wysłania pliku."},
  };
  for (const auto& [args, message] : rows) {
    SCOPED_TRACE(args[0]);
    const auto run = Trevnactl(Join(Join(args, CardArgs(sim.Card("127.0.0.22"))), {"--timeout-ms", "2500"}));
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_NE((run.err + run.out).find(message), std::string::npos) << run.out << run.err;
    if (args[0] != "program") {
      EXPECT_EQ(run.out, "");
    }
  }
  EXPECT_FALSE(std::filesystem::exists(folder / "back.trv"));
  EXPECT_FALSE(std::filesystem::exists(folder / "2026-01-01" / "A_080000.avi"));
}

TEST(CliDiscoverTest, ListsEachCardOnce) {
  net::Socket probe = net::Socket::Udp();
  probe.Bind(0x7F000001, 0);
  const int port = probe.LocalPort();
  probe.Close();
  trevna_test::CardSimOptions options;
  options.addresses = {"127.0.0.5", "127.0.0.6"};
  options.announcePort = port;
  CardSim sim(options);
  const auto run = Trevnactl({"discover", "--seconds", "4", "--port", std::to_string(port)});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("Symulator 1 (127.0.0.5)\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Symulator 2 (127.0.0.6)\n"), std::string::npos) << run.out;
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2) << run.out;
}

}  // namespace
