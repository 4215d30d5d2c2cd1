// The card's SSH host key against trevna-cardsim: remembered at the first login, and a card
// that comes back with new keys (--new-host-key, as a re-installed or foreign card would) gets
// no password until its key is accepted. Also the bounds on what a card announces and on how
// long a silent card can hold the worker.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "base/socket.h"
#include "base/text.h"
#include "device/connection.h"
#include "device/device_operations.h"
#include "device/known_cards.h"
#include "support/cardsim.h"
#include "support/files.h"
#include "support/recording_device_sinks.h"

namespace {

using namespace device;
using trevna_test::CardSim;
using trevna_test::CardSimOptions;

std::uint32_t Loopback(const std::string& dotted) {
  std::uint32_t address = 0;
  net::ParseDottedAddress(dotted, &address);
  return address;
}

struct ScriptedQuestion : HostKeyQuestion {
  std::atomic<bool> answer{false};
  std::atomic<int> asked{0};
  bool AskReplaceHostKey(const std::string&, const std::string&, const std::string&) override {
    ++asked;
    return answer;
  }
};

std::size_t Logins(const CardSim& card) { return card.Events("login").size(); }

TEST(HostKeyNative, ANewKeyGetsNoPasswordUntilAccepted) {
  const trevna_test::TempFolder folder("host-key");
  const std::string known = (folder / "known_cards").string();
  CardSimOptions options;
  options.addresses = {"127.0.0.31"};
  options.sshPort = trevna_test::FreeTcpPort();
  options.stateFolder = folder / "state";
  std::string first;
  {
    CardSim card(options);
    SshSession session;
    HostKeyPolicy policy;
    policy.knownCardsPath = known;
    session.Open(Loopback(card.Address()), static_cast<std::uint16_t>(card.SshPort()), card.User(), card.Password(),
                 {}, nullptr, policy);
    const auto stored = KnownCards(known).Find(KnownCardName(Loopback(card.Address()), card.SshPort()));
    ASSERT_TRUE(stored);
    first = *stored;
    EXPECT_EQ(first.rfind("SHA256:", 0), 0u);
  }
  options.extraArguments = {"--new-host-key"};
  CardSim card(options);  // same address, port and folder; new keys
  const std::string name = KnownCardName(Loopback(card.Address()), card.SshPort());

  enum Way { Session, WorkerNo, WorkerYes };
  const struct {
    const char* name;
    Way way;
    bool opens;
  } cases[] = {{"session, nobody asked", Session, false},
               {"worker, user says No", WorkerNo, false},
               {"worker, user says Yes", WorkerYes, true},
               {"session, the accepted key again", Session, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t loginsBefore = Logins(card);
    bool opened = false;
    if (c.way == Session) {
      SshSession session;
      HostKeyPolicy policy;
      policy.knownCardsPath = known;
      try {
        session.Open(Loopback(card.Address()), static_cast<std::uint16_t>(card.SshPort()), card.User(),
                     card.Password(), {}, nullptr, policy);
        opened = true;
      } catch (const HostKeyChanged& e) {
        EXPECT_EQ(e.stored, first);
        EXPECT_NE(e.offered, first);
      }
    } else {
      recording::Status status;
      recording::Messages messages;
      auto question = std::make_shared<ScriptedQuestion>();
      question->answer = c.way == WorkerYes;
      ConnectionOptions o;
      o.sshPort = static_cast<std::uint16_t>(card.SshPort());
      o.knownCardsPath = known;
      o.hostKeyQuestion = question;
      Connection connection(&status, &messages, o);
      connection.Start();
      recording::RunRequest(connection,
                            [&] { return connection.PostOpen(Loopback(card.Address()), card.User(), card.Password()); });
      opened = connection.IsConnected();
      EXPECT_EQ(question->asked.load(), 1);
      if (!opened) {
        EXPECT_EQ(messages.Errors(), std::vector<std::string>{"Nie powiodła się negocjacja sesji."});
      }
      connection.Stop();
    }
    EXPECT_EQ(opened, c.opens);
    // The password went to the card only when its key was accepted.
    if (c.opens) {
      EXPECT_TRUE(card.WaitForLog([&](const nlohmann::json&) { return Logins(card) > loginsBefore; }, 10000).is_object());
    } else {
      EXPECT_EQ(Logins(card), loginsBefore);
    }
    EXPECT_EQ(KnownCards(known).Find(name) == first, !c.opens);
  }
}

trevna_test::ProcessResult Trevnactl(const std::vector<std::string>& args, const std::string& knownCards = "") {
  std::vector<std::string> env = {std::string("TREVNA_PASSWORD=") + CardSim::kPassword};
  if (!knownCards.empty()) env.push_back("TREVNA_KNOWN_CARDS=" + knownCards);
  return trevna_test::RunTrevnactl(args, env);
}

TEST(HostKeyNative, TrevnactlRefusesAChangedKeyUnlessAccepted) {
  const trevna_test::TempFolder folder("cli-host-key");
  CardSimOptions options;
  options.addresses = {"127.0.0.33"};
  options.sshPort = trevna_test::FreeTcpPort();
  options.stateFolder = folder / "state";
  auto time = [&](bool accept, const std::string& knownCards = "") {
    std::vector<std::string> args = {"time", "127.0.0.33", "--user", CardSim::kUser, "--ssh-port",
                                     std::to_string(options.sshPort)};
    if (accept) args.push_back("--accept-new-key");
    return Trevnactl(args, knownCards);
  };
  {
    CardSim card(options);
    const auto first = time(false);
    EXPECT_EQ(first.exitCode, 0) << first.err;
    // Card text goes to the terminal without control characters.
    std::filesystem::create_directories(card.CardFolder() / "usbdrive" / "evil\x1b[2J\x07");
    const auto listing = Trevnactl({"archive", "127.0.0.33", "--user", CardSim::kUser, "--ssh-port",
                                    std::to_string(options.sshPort)});
    EXPECT_EQ(listing.exitCode, 0) << listing.err;
    EXPECT_NE(listing.out.find("evil?[2J?/\n"), std::string::npos) << listing.out;
    EXPECT_EQ(listing.out.find('\x1b'), std::string::npos);
  }
  options.extraArguments = {"--new-host-key"};
  CardSim card(options);
  const struct {
    bool accept;
    int exitCode;
    const char* says;
  } runs[] = {{false, 1, "host key has changed"}, {true, 0, ""}, {false, 0, ""}};
  for (const auto& r : runs) {
    const std::size_t logins = Logins(card);
    const auto run = time(r.accept);
    EXPECT_EQ(run.exitCode, r.exitCode) << run.err;
    EXPECT_NE(run.err.find(r.says), std::string::npos) << run.err;
    if (r.exitCode) {
      EXPECT_EQ(Logins(card), logins);
    }
  }
  // A remembered-keys file that cannot be read (here a folder in its place) refuses the login,
  // naming the file, even with --accept-new-key; no password goes to the card.
  const std::string unreadable = (folder / "unreadable" / "known_cards").string();
  std::filesystem::create_directories(unreadable);
  const std::size_t logins = Logins(card);
  const auto run = time(true, unreadable);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("Nie udało się odczytać pliku `" + unreadable + "'."), std::string::npos) << run.err;
  EXPECT_EQ(Logins(card), logins);
  EXPECT_TRUE(std::filesystem::is_empty(unreadable));
}

class HostileCard : public trevna_test::CardSimSuite<HostileCard> {
 protected:
  void SetUp() override {
    session_.Open(Loopback(card_->Address()), static_cast<std::uint16_t>(card_->SshPort()), card_->User(),
                  card_->Password(), {}, nullptr);
  }
  SshSession session_;
  recording::Status status_;
};

struct SmallDisk : LocalFiles {
  std::uint64_t free = 0;
  bool IsDirectory(const std::string&) override { return false; }
  bool Exists(const std::string&) override { return false; }
  void CreateFolder(const std::string& path) override { RealFiles().CreateFolder(path); }
  std::optional<std::uint64_t> FreeSpace(const std::string&) override { return free; }
};

TEST_F(HostileCard, AnnouncedSizesAreCheckedBeforeTheData) {
  // A program file above the cap: refused, naming the file, before its bytes are read.
  {
    std::ofstream program(card_->CardFolder() / "program.doz", std::ios::binary);
    program.seekp(kMaxProgramBytes);
    program.put('x');
  }
  SmallDisk disk;
  OperationContext ctx{session_, status_, disk, {}};
  try {
    FetchProgram(ctx);
    ADD_FAILURE() << "a 16 MiB + 1 byte program was fetched";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(Utf8FromCp1250(e.what()), "Plik `/etc/vemo/program.doz' na karcie jest za duży (16777217 bajtów).");
  }
  std::filesystem::remove(card_->CardFolder() / "program.doz");

  // An archive file larger than the free space: refused, naming the file; nothing written.
  const std::vector<std::string> folders = ListArchiveFolders(ctx);
  ASSERT_FALSE(folders.empty());
  const std::vector<std::string> files = ListArchiveFiles(ctx, folders[0]);
  ASSERT_FALSE(files.empty());
  const trevna_test::TempFolder root("small-disk");
  const std::string rootText = Cp1250FromUtf8(root.Path().string()) + "/";
  const std::uint64_t size = std::filesystem::file_size(card_->CardFolder() / "usbdrive" / folders[0] / files[0]);
  for (const std::uint64_t free : {size - 1, size}) {
    SCOPED_TRACE(free);
    disk.free = free;
    try {
      DownloadArchiveFile(ctx, rootText, folders[0], files[0]);
      EXPECT_EQ(free, size);
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(free, size - 1);
      EXPECT_EQ(e.what(), Cp1250FromUtf8("Za mało miejsca na dysku na plik `") + rootText + folders[0] + files[0] + "'.");
    }
    EXPECT_EQ(std::filesystem::exists(root.Path() / folders[0] / files[0]), free == size);
  }
}

TEST(HostileCardStall, StoppingTheWorkerEndsAReadOfASilentCard) {
  CardSim card({"127.0.0.32"}, {"stall-command=ls"});
  recording::Status status;
  recording::Messages messages;
  ConnectionOptions o;
  o.sshPort = static_cast<std::uint16_t>(card.SshPort());
  o.limits.callTimeoutMs = 600000;  // the card may take ten minutes per answer
  Connection connection(&status, &messages, o);
  connection.Start();
  recording::RunRequest(connection,
                        [&] { return connection.PostOpen(Loopback(card.Address()), card.User(), card.Password()); });
  ASSERT_TRUE(connection.IsConnected());
  auto dialog = std::make_shared<recording::ArchiveDialog>();
  ASSERT_TRUE(connection.PostListArchiveFolders(dialog, ""));
  ASSERT_TRUE(card.WaitForLog([](const nlohmann::json& e) { return e.value("event", "") == "exec-stalled"; }, 20000)
                  .is_object());
  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    connection.Stop();
    stopped = true;
  });
  const bool soon = recording::WaitFor([&] { return stopped.load(); }, std::chrono::seconds(20));
  if (!soon) card.Stop();  // frees the worker so the thread can be joined
  stopper.join();
  EXPECT_TRUE(soon) << "Stop waited for the silent card";
}

}  // namespace
