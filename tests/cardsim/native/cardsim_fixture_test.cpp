// The card fixture of the window tests (tests/support/cardsim-fixture.sh) and the reader of its
// info file: what the script starts is what the info says, per-card options reach that card
// alone, bad arguments are refused before anything starts, and stop ends every card.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cardsim_test_support.h"
#include "support/card_fixture.h"
#include "support/files.h"
#include "support/process.h"

namespace {

using cardsim_test::CanConnect;
using trevna_test::FixtureCards;

const std::string kScript = TREVNA_SOURCE_DIR "/tests/support/cardsim-fixture.sh";
const std::string kSimulator = TREVNA_BINARY_DIR "/trevna-cardsim";

trevna_test::ProcessResult Fixture(std::vector<std::string> args) {
  args.insert(args.begin(), kScript);
  return trevna_test::RunProcess(args, "", {}, 240);
}

const std::string kGoodInfo =
    "ssh=2222\nstream=25100\nannounce=40000\nuser=serwis\npassword=trevna22\nstate=/tmp/s\n"
    "card.normal=127.0.0.2\ncard.stalled=127.0.0.3\n";

TEST(CardFixtureInfo, ReadsEveryValue) {
  std::string problem;
  const auto cards = FixtureCards::Parse(kGoodInfo, &problem);
  ASSERT_TRUE(cards) << problem;
  EXPECT_EQ(cards->sshPort, 2222);
  EXPECT_EQ(cards->streamPort, 25100);
  EXPECT_EQ(cards->announcePort, 40000);
  EXPECT_EQ(cards->user, "serwis");
  EXPECT_EQ(cards->password, "trevna22");
  EXPECT_EQ(cards->Address("normal"), 0x7F000002u);
  EXPECT_EQ(cards->Address("stalled"), 0x7F000003u);
  EXPECT_EQ(cards->Address("other"), 0u);
  EXPECT_EQ(cards->LogPath(0x7F00000D), "/tmp/s/127.0.0.13/log.jsonl");
  EXPECT_TRUE(FixtureCards::Parse("\r\n" + kGoodInfo + "\r\n")) << "blank lines and CR line ends";
}

TEST(CardFixtureInfo, RefusesWhatItCannotUse) {
  const auto replace = [](const std::string& from, const std::string& to) {
    std::string text = kGoodInfo;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const struct {
    const char* name;
    std::string text;
    const char* problem;
  } cases[] = {
      {"no ssh port", replace("ssh=2222\n", ""), "ssh="},
      {"port not a number", replace("stream=25100", "stream=25x"), "stream=25x"},
      {"port zero", replace("announce=40000", "announce=0"), "announce=0"},
      {"port too large", replace("ssh=2222", "ssh=65536"), "ssh=65536"},
      {"no password", replace("password=trevna22", "password="), "password"},
      {"no state", replace("state=/tmp/s\n", ""), "state"},
      {"address of three parts", replace("card.normal=127.0.0.2", "card.normal=127.0.2"), "card.normal"},
      {"address part too large", replace("127.0.0.3", "127.0.0.300"), "card.stalled"},
      {"trailing text after address", replace("127.0.0.3", "127.0.0.3x"), "card.stalled"},
      {"no card", replace("card.normal=127.0.0.2\ncard.stalled=127.0.0.3\n", ""), "card"},
      {"line without =", kGoodInfo + "garbage\n", "garbage"},
  };
  for (const auto& c : cases) {
    std::string problem;
    EXPECT_FALSE(FixtureCards::Parse(c.text, &problem)) << c.name;
    EXPECT_NE(problem.find(c.problem), std::string::npos) << c.name << ": " << problem;
  }
}

TEST(CardFixtureInfo, ReadNamesTheMissingFile) {
  const char* saved = std::getenv("TREVNA_CARDSIM_INFO");
  const std::string keep = saved ? saved : "";
  std::string problem;
  unsetenv("TREVNA_CARDSIM_INFO");
  EXPECT_FALSE(FixtureCards::Read(&problem));
  EXPECT_NE(problem.find("TREVNA_CARDSIM_INFO is not set"), std::string::npos) << problem;
  setenv("TREVNA_CARDSIM_INFO", "/nonexistent/info", 1);
  EXPECT_FALSE(FixtureCards::Read(&problem));
  EXPECT_NE(problem.find("/nonexistent/info"), std::string::npos) << problem;
  if (saved) setenv("TREVNA_CARDSIM_INFO", keep.c_str(), 1);
  else unsetenv("TREVNA_CARDSIM_INFO");
}

TEST(CardFixtureScript, RefusesBadArgumentsBeforeStartingAnything) {
  trevna_test::TempFolder folder("fixture-args");
  const std::string dir = (folder.Path() / "cards").string();
  const struct {
    const char* name;
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {"no card", {"start", dir, kSimulator}, "no --card"},
      {"card without address", {"start", dir, kSimulator, "--card", "a"}, "expected --card NAME ADDRESS"},
      {"stray word", {"start", dir, kSimulator, "--alias", "x", "y"}, "expected --card NAME ADDRESS"},
      {"address not on loopback", {"start", dir, kSimulator, "--card", "a", "10.0.0.2"}, "not a loopback address"},
      {"name not a word", {"start", dir, kSimulator, "--card", "a b", "127.0.0.2"}, "is not a word"},
      {"one name twice", {"start", dir, kSimulator, "--card", "a", "127.0.0.2", "--card", "a", "127.0.0.3"}, "twice"},
      {"no simulator", {"start", dir, dir + "/none", "--card", "a", "127.0.0.2"}, "missing"},
      {"unknown action", {"restart", dir}, "start or stop"},
  };
  for (const auto& c : cases) {
    const auto r = Fixture(c.args);
    EXPECT_NE(r.exitCode, 0) << c.name;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.name << ": " << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir + "/info")) << c.name;
  }
}

TEST(CardFixtureScript, StartsEachCardWithItsOwnOptionsAndStopsThemAll) {
  trevna_test::TempFolder folder("fixture-cards");
  const std::string dir = (folder.Path() / "cards").string();
  const std::string alias = "Brama wjazdowa numer dwa";
  auto r = Fixture({"start", dir, kSimulator, "--card", "plain", "127.0.0.2", "--card", "quiet", "127.0.0.3",
                    "--alias", alias, "--announce-to", "127.0.0.1:9"});
  ASSERT_EQ(r.exitCode, 0) << r.err;

  setenv("TREVNA_CARDSIM_INFO", (dir + "/info").c_str(), 1);
  std::string problem;
  const auto cards = FixtureCards::Read(&problem);
  unsetenv("TREVNA_CARDSIM_INFO");
  ASSERT_TRUE(cards) << problem;
  EXPECT_EQ(cards->user, "serwis");
  EXPECT_EQ(cards->state, dir + "/state");
  ASSERT_EQ(cards->cards.size(), 2u);

  const struct {
    const char* name;
    std::uint32_t address;
    std::string alias, announceTo;
  } expected[] = {
      {"plain", 0x7F000002, "Symulator 1", "127.0.0.1:" + std::to_string(cards->announcePort)},
      {"quiet", 0x7F000003, alias, "127.0.0.1:9"},
  };
  for (const auto& e : expected) {
    EXPECT_EQ(cards->Address(e.name), e.address) << e.name;
    EXPECT_TRUE(CanConnect(FixtureCards::Dotted(e.address), cards->sshPort)) << e.name << ": SSH on the shared port";
    EXPECT_TRUE(CanConnect(FixtureCards::Dotted(e.address), cards->streamPort)) << e.name << ": stream on the shared port";
    const auto start = cards->LogLines(e.address, {"\"start\""});
    ASSERT_EQ(start.size(), 1u) << e.name;
    const auto entry = nlohmann::json::parse(start[0]);
    EXPECT_EQ(entry.value("alias", ""), e.alias) << e.name;
    EXPECT_EQ(entry.value("announce_to", ""), e.announceTo) << e.name;
    EXPECT_EQ(entry.value("ssh_port", 0), cards->sshPort) << e.name;
  }

  r = Fixture({"stop", dir});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  for (const auto& e : expected) {
    EXPECT_FALSE(CanConnect(FixtureCards::Dotted(e.address), cards->sshPort)) << e.name << " still answers after stop";
    EXPECT_FALSE(std::filesystem::exists(dir + "/" + e.name + ".pid")) << e.name;
    EXPECT_TRUE(std::filesystem::exists(cards->LogPath(e.address))) << e.name << ": the log stays for a look";
  }
}

}  // namespace
