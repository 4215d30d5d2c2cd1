// Restart of the simulated card: the restart command returns, the card then refuses
// connections for the configured time and comes back with the program sent before; a
// program it cannot read is logged and the previous one kept. Also the announcements.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "cardsim_test_support.h"
#include "support/cardsim.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using cardsim_test::CanConnect;
using cardsim_test::ProgramFile;
using cardsim_test::RectangleMask;
using cardsim_test::WriteBytes;
using trevna_test::CardSim;
using trevna_test::CardSimOptions;

nlohmann::json LastProgramEvent(const CardSim& card) {
  nlohmann::json last;
  for (auto& e : card.Log()) {
    if (e["event"] == "program" || e["event"] == "program-error") last = e;
  }
  return last;
}

TEST(CardSimRestart, GoesDownForTheRestartTimeAndComesBackWithTheNewProgram) {
  CardSimOptions options;
  options.addresses = {"127.0.0.9"};
  options.restartSeconds = 3;
  CardSim card(options);
  const fs::path work = card.StateFolder() / "work";
  fs::create_directories(work);
  EXPECT_EQ(LastProgramEvent(card)["detectors"], 0) << "a new card has no program";

  WriteBytes(work / "p.trv", ProgramFile({{0, 1, RectangleMask(10, 10, 20, 20)}, {2, 4, RectangleMask(0, 0, 5, 5)}}));
  ASSERT_EQ(card.ScpUpload(work / "p.trv", "/etc/vemo/program.doz").exitCode, 0);
  EXPECT_EQ(LastProgramEvent(card)["detectors"], 0) << "the program takes effect only after a restart";
  // A program still waiting in "program.doz.new" is not loaded by the restart.
  WriteBytes(work / "waiting.trv", ProgramFile({{1, 3, RectangleMask(0, 0, 3, 3)}}));
  ASSERT_EQ(card.ScpUpload(work / "waiting.trv", "/etc/vemo/program.doz.new").exitCode, 0);

  const auto r = card.Ssh("sync && /vemo/restart");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto restartAnswered = Clock::now();
  // Down: both services refuse connections.
  Clock::time_point firstRefusal{}, backAgain{};
  while (Clock::now() - restartAnswered < std::chrono::seconds(15)) {
    const bool up = CanConnect("127.0.0.9", card.SshPort());
    if (!up && firstRefusal == Clock::time_point{}) {
      firstRefusal = Clock::now();
      EXPECT_FALSE(CanConnect("127.0.0.9", card.StreamPort()));
    }
    if (up && firstRefusal != Clock::time_point{}) {
      backAgain = Clock::now();
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_NE(firstRefusal, Clock::time_point{}) << "the card never went down";
  ASSERT_NE(backAgain, Clock::time_point{}) << "the card never came back";
  const double down = std::chrono::duration<double>(backAgain - firstRefusal).count();
  // At least the restart time; how much longer depends on the machine's load, and the loop's
  // bound already says it came back.
  EXPECT_GT(down, 2.5);

  const auto program = LastProgramEvent(card);
  EXPECT_EQ(program["event"], "program");
  ASSERT_EQ(program["detectors"], 2);
  EXPECT_EQ(program["areas"][0]["pixels"], 100);
  EXPECT_EQ(program["areas"][1]["track"], 2);
  EXPECT_EQ(program["areas"][1]["number"], 4);
  EXPECT_EQ(program["alias"], "test");
  EXPECT_EQ(card.Ssh("date -u -Iseconds").exitCode, 0);

  // A file that holds no program package: logged, previous program kept.
  WriteBytes(work / "bad.trv", "to nie jest program");
  ASSERT_EQ(card.ScpUpload(work / "bad.trv", "/etc/vemo/program.doz").exitCode, 0);
  ASSERT_EQ(card.Ssh("sync && /vemo/restart").exitCode, 0);
  const auto restarted = card.WaitForLog([](const nlohmann::json& e) { return e["event"] == "program-error"; }, 15000);
  ASSERT_FALSE(restarted.is_null());
  EXPECT_EQ(restarted["kept_previous"], true);
  EXPECT_FALSE(restarted["error"].get<std::string>().empty());
  ASSERT_FALSE(card.WaitForLog([](const nlohmann::json& e) { return e["event"] == "restarted"; }, 15000).is_null());
  // A mask of the wrong size is refused the same way.
  std::string broken = ProgramFile({{0, 1, RectangleMask(0, 0, 1, 1)}});
  broken.replace(broken.find("BM"), 2, "XX");
  WriteBytes(work / "broken.trv", broken);
  ASSERT_EQ(card.ScpUpload(work / "broken.trv", "/etc/vemo/program.doz").exitCode, 0);
  ASSERT_EQ(card.Ssh("sync && /vemo/restart").exitCode, 0);
  ASSERT_FALSE(card.WaitForLog([&](const nlohmann::json&) { return card.Events("restarted").size() == 3; }, 15000)
                   .is_null());
  const auto errors = card.Events("program-error");
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_NE(errors[1]["error"].get<std::string>().find("det1.bmp"), std::string::npos) << errors[1].dump();
  EXPECT_EQ(card.Events("program").back()["detectors"], 2) << "still the last good program";
}

TEST(CardSimRestart, ProgramFileIsReadAgainAtStartAndStateSurvives) {
  const trevna_test::TempFolder kept("cardsim-keep");
  const fs::path state = kept.Path() / "state";
  std::string hostKey;
  {
    CardSimOptions options;
    options.addresses = {"127.0.0.10"};
    options.stateFolder = state;
    CardSim card(options);
    WriteBytes(state / "p.trv", ProgramFile({{1, 2, RectangleMask(50, 50, 60, 70)}}));
    ASSERT_EQ(card.ScpUpload(state / "p.trv", "/etc/vemo/program.doz").exitCode, 0);
    hostKey = cardsim_test::ReadBytes(card.CardFolder() / "ssh_host_ed25519_key");
    EXPECT_EQ(card.Stop(), 0);
  }
  {
    CardSimOptions options;
    options.addresses = {"127.0.0.10"};
    options.stateFolder = state;
    CardSim card(options);
    EXPECT_EQ(LastProgramEvent(card)["detectors"], 1);
    EXPECT_EQ(cardsim_test::ReadBytes(card.CardFolder() / "ssh_host_ed25519_key"), hostKey) << "same host key";
    EXPECT_EQ(card.Events("archive-prepared").size(), 1u) << "the drive is filled only on the first start";
  }
}

TEST(CardSimAnnouncements, DatagramsFromTheCardAddressWithItsAlias) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  inet_pton(AF_INET, "127.0.0.1", &sa.sin_addr);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
  socklen_t len = sizeof sa;
  getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
  timeval timeout{3, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);

  auto receive = [&](std::string* from) {
    char buffer[1024];
    sockaddr_in peer{};
    socklen_t peerLen = sizeof peer;
    const ssize_t n = recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&peer), &peerLen);
    char text[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
    *from = text;
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
  };
  {
    CardSimOptions options;
    options.addresses = {"127.0.0.11"};
    options.aliases = {"Brama 1"};
    options.announcePort = ntohs(sa.sin_port);
    CardSim card(options);
    std::string from;
    EXPECT_EQ(receive(&from), "DARIRE\nalias `Brama 1`\n");
    EXPECT_EQ(from, "127.0.0.11");
    const auto t0 = Clock::now();
    EXPECT_EQ(receive(&from), "DARIRE\nalias `Brama 1`\n");
    const double gap = std::chrono::duration<double>(Clock::now() - t0).count();
    EXPECT_GT(gap, 0.5);
    EXPECT_LT(gap, 2.0);
  }
  {
    std::string from;
    while (!receive(&from).empty()) {  // drain what is left from the first card
    }
    CardSimOptions options;
    options.addresses = {"127.0.0.12"};
    options.announcePort = ntohs(sa.sin_port);
    options.faults = {"bad-announce"};
    CardSim card(options);
    const std::string garbage = receive(&from);
    EXPECT_FALSE(garbage.empty());
    EXPECT_NE(garbage.rfind("DARIRE\n", 0), 0u);
    EXPECT_EQ(from, "127.0.0.12");
  }
  close(fd);
}

}  // namespace
