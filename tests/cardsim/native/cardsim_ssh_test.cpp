// The simulated card's SSH side driven by Debian's OpenSSH client: login, the output of
// every card command, the password change, quoting and the unknown-command answer.
#include <gtest/gtest.h>

#include <ctime>
#include <sstream>

#include "support/cardsim.h"

namespace {

using trevna_test::CardSim;
using trevna_test::CardSimOptions;

// One card for the whole suite: starting one generates host keys and recordings.
class CardSimSsh : public trevna_test::CardSimSuite<CardSimSsh> {
 public:
  static CardSimOptions Options() {
    CardSimOptions options;
    options.extraArguments = {"--clock-offset", "-3600"};
    return options;
  }
};

// Matches `text` against a pattern where '9' stands for a digit, 'X' for an upper-case
// hexadecimal digit, 'L' for a letter A..D and every other character for itself.
bool Matches(const std::string& text, const std::string& pattern) {
  if (text.size() != pattern.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    switch (pattern[i]) {
      case '9': if (c < '0' || c > '9') return false; break;
      case 'X': if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false; break;
      case 'L': if (c < 'A' || c > 'D') return false; break;
      default: if (c != pattern[i]) return false;
    }
  }
  return true;
}

long long ParseIsoUtc(const std::string& text) {
  std::tm tm{};
  int tzHours = 0, tzMinutes = 0;
  if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d+%d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                  &tm.tm_min, &tm.tm_sec, &tzHours, &tzMinutes) != 8) {
    return -1;
  }
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  return static_cast<long long>(timegm(&tm));
}

TEST_F(CardSimSsh, DateFollowsTheSimulatedClockAndSetdateMovesIt) {
  auto r = card_->Ssh("date -u -Iseconds");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(Matches(r.out, "9999-99-99T99:99:99+00:00\n")) << r.out;
  const long long now = std::time(nullptr);
  EXPECT_NEAR(ParseIsoUtc(r.out), now - 3600, 5);  // --clock-offset -3600

  r = card_->Ssh("/vemo/setdate \"2031-02-03 04:05:06\"");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  r = card_->Ssh("date -u -Iseconds");
  const long long set = ParseIsoUtc("2031-02-03T04:05:06+00:00");
  EXPECT_GE(ParseIsoUtc(r.out), set);
  EXPECT_LE(ParseIsoUtc(r.out), set + 5);

  r = card_->Ssh("/vemo/setdate \"2031-13-03 04:05:06\"");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("invalid date"), std::string::npos);
  card_->Ssh("/vemo/setdate \"" + [] {
    char text[32];
    const std::time_t t = std::time(nullptr);
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", std::gmtime(&t));
    return std::string(text);
  }() + "\"");
}

TEST_F(CardSimSsh, NetworkSettingsAreShownStoredAndKeptInTheStateFolder) {
  auto r = card_->Ssh("/vemo/ipconfig --show");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.rfind(";", 0), 0u) << "starts with a comment line: " << r.out;
  EXPECT_NE(r.out.find("\nipaddr = 127.0.0.2\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nnetmask = "), std::string::npos);
  EXPECT_NE(r.out.find("\ngateway = "), std::string::npos);

  r = card_->Ssh("/vemo/ipconfig --proto static --ipaddr 192.168.7.20 --netmask 255.255.255.0 --gateway 192.168.7.1");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  r = card_->Ssh("/vemo/ipconfig --show");
  EXPECT_NE(r.out.find("\nipaddr = 192.168.7.20\nnetmask = 255.255.255.0\ngateway = 192.168.7.1\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(trevna_test::RunProcess({"cat", (card_->CardFolder() / "state.json").string()}).out.find("192.168.7.20"),
            std::string::npos);

  r = card_->Ssh("/vemo/ipconfig --proto static --ipaddr 300.1.1.1 --netmask 255.255.255.0 --gateway 192.168.7.1");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(card_->Ssh("/vemo/ipconfig --show").out.find("ipaddr = 192.168.7.20"), std::string::npos)
      << "a refused setting changes nothing";

  r = card_->Ssh("ifconfig eth0");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::size_t hw = r.out.find("HWaddr ");
  ASSERT_NE(hw, std::string::npos) << r.out;
  EXPECT_TRUE(Matches(r.out.substr(hw + 7, 17), "XX:XX:XX:XX:XX:XX"))
      << r.out.substr(hw + 7, 17);
  EXPECT_NE(r.out.find("Base address:"), std::string::npos);
}

TEST_F(CardSimSsh, ArchiveDriveListsDayFoldersAndRecordings) {
  auto r = card_->Ssh("ls -p /mnt/usbdrive");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::vector<std::string> lines;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 4u) << r.out;  // three day folders and archcfg.txt
  EXPECT_TRUE(Matches(lines[0], "9999-99-99/")) << lines[0];
  EXPECT_EQ(lines.back(), "archcfg.txt");

  r = card_->Ssh("ls -p /mnt/usbdrive/" + lines[0]);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(Matches(r.out, "L_999999.avi\nL_999999.avi\n")) << r.out;

  // The client quotes names holding other characters than letters, digits and "._/-".
  r = card_->Ssh("ls -p '/mnt/usbdrive/" + lines[0] + "'");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_FALSE(r.out.empty());

  r = card_->Ssh("ls -p /mnt/usbdrive/nie-ma/");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("No such file or directory"), std::string::npos);
  r = card_->Ssh("ls -p /mnt/usbdrive/../../");
  EXPECT_EQ(r.exitCode, 1) << "nothing outside the drive is listed: " << r.out;
}

TEST_F(CardSimSsh, UnknownCommandsAreNotFound) {
  auto r = card_->Ssh("uname -a");
  EXPECT_EQ(r.exitCode, 127);
  EXPECT_EQ(r.err, "sh: uname: not found\n");
  EXPECT_EQ(r.out, "");
  r = card_->Ssh("date");  // only the exact clock query is known
  EXPECT_EQ(r.exitCode, 127);
  const auto exec = card_->WaitForLog(
      [](const nlohmann::json& e) { return e["event"] == "exec" && e["command"] == "uname -a"; }, 2000);
  ASSERT_FALSE(exec.is_null());
  EXPECT_EQ(exec["exit_status"], 127);
}

TEST_F(CardSimSsh, WrongPasswordIsRefusedAndLogged) {
  auto r = card_->Ssh("date -u -Iseconds", "", "zle-haslo");
  EXPECT_EQ(r.exitCode, 255);
  EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
  const auto login = card_->WaitForLog(
      [](const nlohmann::json& e) { return e["event"] == "login" && e["ok"] == false; }, 2000);
  ASSERT_FALSE(login.is_null());
  EXPECT_EQ(login["user"], "serwis");
  EXPECT_FALSE(login.contains("password")) << "passwords never reach the log";
  r = card_->Ssh("date -u -Iseconds", "", "", "", "root");
  EXPECT_EQ(r.exitCode, 255) << "only the configured user may log in";
}

TEST_F(CardSimSsh, ChpassPromptsTwiceAndTheNewPasswordLogsIn) {
  // Mismatching answers change nothing.
  auto r = card_->Ssh("/vemo/chpass serwis", "jeden\ndwa\n");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("New password:"), std::string::npos);
  EXPECT_NE(r.out.find("Retype password:"), std::string::npos);
  EXPECT_EQ(card_->Ssh("date -u -Iseconds").exitCode, 0);

  r = card_->Ssh("/vemo/chpass 'serwis'", "nowe haslo\nnowe haslo\n");
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_LT(r.out.find("New password:"), r.out.find("Retype password:"));
  EXPECT_EQ(card_->Ssh("date -u -Iseconds").exitCode, 255) << "the old password no longer works";
  EXPECT_EQ(card_->Ssh("date -u -Iseconds", "", "nowe haslo").exitCode, 0);

  r = card_->Ssh("/vemo/chpass serwis", "trevna22\ntrevna22\n", "nowe haslo");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(card_->Ssh("date -u -Iseconds").exitCode, 0);
  EXPECT_EQ(card_->Ssh("/vemo/chpass admin", "a\na\n").exitCode, 1);
}

TEST(CardSimFaults, RefusePasswordRefusesTheRightPassword) {
  CardSimOptions options;
  options.addresses = {"127.0.0.5"};
  options.faults = {"refuse-password"};
  CardSim card(options);
  const auto r = card.Ssh("date -u -Iseconds");
  EXPECT_EQ(r.exitCode, 255);
  EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
}

TEST(CardSimFaults, SilentCardNeverAnswers) {
  CardSimOptions options;
  options.addresses = {"127.0.0.6"};
  options.faults = {"silent"};
  CardSim card(options);
  const auto start = std::chrono::steady_clock::now();
  const auto r = trevna_test::RunProcess({"ssh", "-F", "/dev/null", "-o", "StrictHostKeyChecking=no", "-o",
                                          "UserKnownHostsFile=/dev/null", "-o", "ConnectTimeout=3", "-o",
                                          "BatchMode=yes", "-p", std::to_string(card.SshPort()),
                                          "serwis@127.0.0.6", "date -u -Iseconds"},
                                         "", {}, 8);
  EXPECT_NE(r.exitCode, 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << "it waited for a banner";
  EXPECT_EQ(r.out, "");
}

TEST(CardSimStart, TwoCardsOnTheirOwnAddressesWithDefaultAliasesAndCleanExit) {
  CardSimOptions options;
  options.addresses = {"127.0.0.8", "127.0.0.7"};
  CardSim card(options);
  const std::string output = card.Output();
  EXPECT_NE(output.find("ready 127.0.0.7 ssh="), std::string::npos);
  EXPECT_NE(output.find("alias=\"Symulator 1\""), std::string::npos);
  EXPECT_NE(output.find("ready 127.0.0.8 ssh=" + std::to_string(card.SshPort("127.0.0.8"))), std::string::npos);
  // "Symulator 1" is the lower address.
  EXPECT_NE(output.find("127.0.0.7 ssh=" + std::to_string(card.SshPort("127.0.0.7")) + " stream=" +
                        std::to_string(card.StreamPort("127.0.0.7")) + " alias=\"Symulator 1\""),
            std::string::npos)
      << output;
  EXPECT_EQ(card.Ssh("ls -p /mnt/usbdrive", "", "", "127.0.0.8").exitCode, 0);
  for (const char* key : {"ssh_host_ed25519_key", "ssh_host_rsa_key"}) {
    using std::filesystem::perms;
    const perms mode = std::filesystem::status(card.CardFolder("127.0.0.7") / key).permissions();
    EXPECT_EQ(mode & perms::all, perms::owner_read | perms::owner_write)
        << key << ": a private key readable by others is refused by ssh-keygen";
  }
  EXPECT_EQ(card.Stop(), 0);
  EXPECT_FALSE(card.Events("stop", "127.0.0.7").empty());
}

TEST(CardSimStart, BadOptionsAreRefusedWithUsageStatus) {
  const std::string program = TREVNA_BINARY_DIR "/trevna-cardsim";
  auto r = trevna_test::RunProcess({program, "--address", "127.0.0.2", "--state", "/tmp/x", "--user", "u",
                                    "--password", "p", "--fault", "explode"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("unknown fault"), std::string::npos);
  r = trevna_test::RunProcess({program, "--address", "nie-adres", "--state", "/tmp/x", "--user", "u", "--password", "p"});
  EXPECT_EQ(r.exitCode, 2);
  r = trevna_test::RunProcess({program, "--state", "/tmp/x", "--user", "u", "--password", "p"});
  EXPECT_EQ(r.exitCode, 2) << "an address is required";
}

}  // namespace
