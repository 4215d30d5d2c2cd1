// trevnactl --json against trevna-cardsim: the documented keys of every command, programming
// only what differs, facts, failures that stay on their own card's line, and archive downloads
// that skip what is already there.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/socket.h"
#include "base/text.h"
#include "doc/document.h"
#include "doc/document_file.h"
#include "doc/package.h"
#include "doc/render_state.h"
#include "support/cardsim.h"
#include "support/files.h"
#include "support/recording_updates.h"
#include "cli_support.h"

namespace {

using nlohmann::json;
using trevna_test::CardSim;
using trevna_test::ReadBytes;
using trevna_test::TempFolder;

const std::string kReads = "127.0.0.40";    // commands that change nothing on the card
const std::string kChanges = "127.0.0.41";  // commands that restart the card, one after another
const std::string kCompare = "127.0.0.42";  // programming only what differs
const std::string kRekeyed = "127.0.0.43";  // its remembered key is not the one it offers
const std::string kStopped = "127.0.0.59";  // nothing listens there

using cli_test::Join;
using cli_test::SaveDocumentWith;

// The output script stored in a program file, as UTF-8.
std::string StoredScript(const std::string& program) {
  std::string_view package;
  if (!FindStoredPackage(program, package)) return "";
  for (const PackageEntry& entry : ReadProgramPackage(package)) {
    if (entry.name == "compose.txt") return Utf8FromCp1250(entry.data);
  }
  return "";
}

// sha256sum's answer for a file.
std::string Sha256Of(const std::filesystem::path& file) {
  const auto run = trevna_test::RunProcess({"sha256sum", file.string()});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  return run.out.substr(0, run.out.find(' '));
}

// ssh-keygen's fingerprint of a private host key file (copied: it refuses keys others can read).
std::string KeygenFingerprint(const std::filesystem::path& key, const std::filesystem::path& folder) {
  const auto copy = folder / key.filename();
  std::filesystem::copy_file(key, copy, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(copy, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  const auto run = trevna_test::RunProcess({"ssh-keygen", "-lf", copy.string()});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  std::istringstream words(run.out);
  std::string bits, fingerprint;
  words >> bits >> fingerprint;
  return fingerprint;
}

// The rows of the key table in docs/cli-json.md: command -> keys.
std::map<std::string, std::set<std::string>> DocumentedKeys() {
  std::ifstream in(TREVNA_SOURCE_DIR "/docs/cli-json.md");
  EXPECT_TRUE(in) << "docs/cli-json.md";
  std::map<std::string, std::set<std::string>> rows;
  std::string line;
  bool inKeys = false;
  while (std::getline(in, line)) {
    if (line.rfind("## ", 0) == 0) inKeys = line == "## Keys";
    if (!inKeys || line.rfind("| ", 0) != 0 || line.rfind("| command", 0) == 0) continue;
    const std::size_t bar = line.find('|', 2);
    std::string command = line.substr(2, bar - 2);
    while (!command.empty() && command.back() == ' ') command.pop_back();
    std::set<std::string> keys;
    const std::string cell = line.substr(bar);
    for (std::size_t open = cell.find('`'); open != std::string::npos; open = cell.find('`', open)) {
      const std::size_t close = cell.find('`', open + 1);
      if (close == std::string::npos) break;
      keys.insert(cell.substr(open + 1, close - open - 1));
      open = close + 1;
    }
    rows[command] = keys;
  }
  return rows;
}

struct JsonRun {
  int exitCode = -1;
  std::vector<json> lines;
  std::string out, err;
  // The line of `host`; null when there is none.
  json Of(const std::string& host) const {
    for (const json& line : lines) {
      if (line.value("host", "") == host) return line;
    }
    return json();
  }
};

class CliJsonTest : public trevna_test::CardSimSuite<CliJsonTest> {
 public:
  static trevna_test::CardSimOptions Options() {
    trevna_test::CardSimOptions options;
    options.addresses = {kReads, kChanges, kCompare, kRekeyed};
    options.sshPort = trevna_test::FreeTcpPort();
    net::Socket probe = net::Socket::Udp();
    probe.Bind(0x7F000001, 0);
    options.announcePort = announcePort_ = probe.LocalPort();
    probe.Close();
    return options;
  }
  static void SetUpTestSuite() {
    CardSimSuite::SetUpTestSuite();
    folder_ = std::make_unique<TempFolder>("cli-json");
    doc_ = *folder_ / "brama.trv";
    SaveDocumentWith(doc_, {{0, 1}, {1, 2}});
    trevna_test::WriteBytes(*folder_ / "pw", std::string(CardSim::kPassword) + "\n");
  }
  static void TearDownTestSuite() {
    folder_.reset();
    CardSimSuite::TearDownTestSuite();
  }

 protected:

  // trevnactl `args` --json with the card options and a known-cards file of the suite; every
  // stdout line must be one JSON object.
  static JsonRun Trevnactl(const std::vector<std::string>& args, const std::string& password = CardSim::kPassword) {
    std::vector<std::string> full = Join(args, {"--json"});
    if (args[0] != "discover") full = Join(full, {"--user", CardSim::kUser, "--ssh-port", std::to_string(card_->SshPort())});
    const auto result = trevna_test::RunTrevnactl(
        full, {password.empty() ? "TREVNA_PASSWORD" : "TREVNA_PASSWORD=" + password,
               "TREVNA_KNOWN_CARDS=" + (*folder_ / "known_cards").string()});
    JsonRun run{result.exitCode, {}, result.out, result.err};
    std::istringstream lines(result.out);
    std::string line;
    while (std::getline(lines, line)) {
      json object = json::parse(line, nullptr, false);
      EXPECT_TRUE(object.is_object()) << "not a JSON object: " << line;
      run.lines.push_back(object);
    }
    return run;
  }

  // Runs `args` on `host` and, when it restarts the card, waits (bounded) until it is back.
  static JsonRun RunAndSettle(const std::vector<std::string>& args, const std::string& host, bool restarts) {
    const std::size_t before = card_->Events("restarted", host).size();
    JsonRun run = Trevnactl(args);
    if (restarts) {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
      while (card_->Events("restarted", host).size() <= before && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      EXPECT_GT(card_->Events("restarted", host).size(), before) << host << " did not come back";
    }
    return run;
  }

  static std::string FirstDay() {
    std::set<std::string> days;
    for (const auto& entry : std::filesystem::directory_iterator(card_->CardFolder(kReads) / "usbdrive")) {
      if (entry.is_directory()) days.insert(entry.path().filename().string());
    }
    return days.empty() ? "" : *days.begin();
  }

  static inline int announcePort_ = 0;
  static inline std::unique_ptr<TempFolder> folder_;
  static inline std::filesystem::path doc_;
};

// Every row of the documented key table is run against the simulated card, and its objects
// carry exactly the documented keys: a key added, dropped or renamed on either side fails.
TEST_F(CliJsonTest, EveryCommandPrintsTheDocumentedKeys) {
  const std::string day = FirstDay();
  ASSERT_FALSE(day.empty());
  // download-program needs a card that holds a program.
  std::filesystem::copy_file(doc_, card_->CardFolder(kReads) / "program.doz",
                             std::filesystem::copy_options::overwrite_existing);
  const std::string file = std::filesystem::directory_iterator(card_->CardFolder(kReads) / "usbdrive" / day)
                               ->path()
                               .filename()
                               .string();
  const std::string out = (*folder_ / "keys").string();
  const std::string doc = doc_.string();
  const std::string pw = (*folder_ / "pw").string();
  const std::vector<std::string> fast = {"--restart-step-ms", "0"};
  const struct {
    std::string row;
    std::vector<std::string> args;
    std::string host;  // empty: discover
    bool restarts;
  } commands[] = {
      {"program", Join({"program", kChanges, doc}, fast), kChanges, true},
      {"program --if-different", Join({"program", kChanges, doc, "--if-different"}, fast), kChanges, false},
      {"program --diff", Join({"program", kChanges, doc, "--diff"}, fast), kChanges, true},
      {"network --set", Join({"network", kChanges, "--set", kChanges, "255.0.0.0", "127.0.0.1"}, fast), kChanges, true},
      {"restart", Join({"restart", kChanges}, fast), kChanges, true},
      {"facts", {"facts", kReads}, kReads, false},
      {"time", {"time", kReads}, kReads, false},
      {"network", {"network", kReads}, kReads, false},
      {"archive", {"archive", kReads}, kReads, false},
      {"archive FOLDER", {"archive", kReads, day + "/"}, kReads, false},
      {"archive-get", {"archive-get", kReads, day + "/", file, "-o", out}, kReads, false},
      {"download-program", {"download-program", kReads, out + "/back.trv"}, kReads, false},
      {"passwd", {"passwd", kReads, "--new-password-file", pw}, kReads, false},
      {"discover", {"discover", "--seconds", "4", "--port", std::to_string(announcePort_)}, "", false},
  };
  auto documented = DocumentedKeys();
  ASSERT_EQ(documented.count("every"), 1u);
  const std::set<std::string> every = documented["every"];
  EXPECT_EQ(every, (std::set<std::string>{"host", "ok", "changed", "step", "message"}));
  documented.erase("every");
  std::set<std::string> tested;
  for (const auto& command : commands) {
    SCOPED_TRACE(command.row);
    tested.insert(command.row);
    ASSERT_EQ(documented.count(command.row), 1u) << "not in docs/cli-json.md";
    std::set<std::string> expected = documented[command.row];
    expected.insert(every.begin(), every.end());
    const JsonRun run = RunAndSettle(command.args, command.host, command.restarts);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    ASSERT_FALSE(run.lines.empty()) << run.err;
    if (!command.host.empty()) {
      EXPECT_EQ(run.lines.size(), 1u) << run.out;
    }
    for (const json& line : run.lines) {
      std::set<std::string> keys;
      for (const auto& [key, value] : line.items()) keys.insert(key);
      EXPECT_EQ(keys, expected) << line.dump();
      EXPECT_EQ(line.value("ok", false), true) << line.dump();
      EXPECT_EQ(line.value("step", ""), "done") << line.dump();
      EXPECT_FALSE(line.value("message", "").empty()) << line.dump();
      if (!command.host.empty()) {
        EXPECT_EQ(line.value("host", ""), command.host);
      }
    }
  }
  for (const auto& [row, keys] : documented) EXPECT_EQ(tested.count(row), 1u) << "documented, not tested: " << row;
  // The card's own facts in those objects.
  const JsonRun back = Trevnactl({"archive-get", kReads, day + "/", file, "-o", out});
  ASSERT_EQ(back.lines.size(), 1u);
  EXPECT_EQ(back.lines[0]["files"][0]["size"],
            std::filesystem::file_size(card_->CardFolder(kReads) / "usbdrive" / day / file));
  EXPECT_EQ(ReadBytes(out + "/back.trv"), ReadBytes(doc_));
}

// The key, clock, network and program that facts reports are the card's: the fingerprint is
// ssh-keygen's for the card's host key, the program digest sha256sum's for the file it holds.
TEST_F(CliJsonTest, FactsAreTheCardsOwn) {
  std::filesystem::remove(card_->CardFolder(kCompare) / "program.doz");
  const JsonRun none = Trevnactl({"facts", kCompare});
  ASSERT_EQ(none.lines.size(), 1u) << none.err;
  EXPECT_EQ(none.exitCode, 0) << none.err;
  EXPECT_TRUE(none.lines[0]["program_sha256"].is_null()) << "a card without a program";
  EXPECT_TRUE(none.lines[0]["program_size"].is_null());
  std::filesystem::copy_file(doc_, card_->CardFolder(kCompare) / "program.doz");

  const JsonRun run = Trevnactl({"facts", kCompare + "," + kReads});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  ASSERT_EQ(run.lines.size(), 2u) << run.out;
  const json facts = run.Of(kCompare);
  ASSERT_TRUE(facts.is_object()) << run.out;
  std::set<std::string> fingerprints;
  for (const char* key : {"ssh_host_ed25519_key", "ssh_host_rsa_key"}) {
    fingerprints.insert(KeygenFingerprint(card_->CardFolder(kCompare) / key, folder_->Path()));
  }
  EXPECT_EQ(fingerprints.count(facts.value("host_key_fingerprint", "")), 1u) << facts.dump();
  EXPECT_EQ(facts["reachable"], true);
  EXPECT_EQ(facts["host_key"], "known");  // the first facts remembered it
  EXPECT_EQ(facts["program_sha256"], Sha256Of(card_->CardFolder(kCompare) / "program.doz"));
  EXPECT_EQ(facts["program_size"], std::filesystem::file_size(doc_));
  std::string time = facts.value("time", "");
  for (char& c : time) c = std::isdigit(static_cast<unsigned char>(c)) ? '9' : c;
  EXPECT_EQ(time, "9999-99-99T99:99:99Z") << facts;
  ASSERT_TRUE(facts["offset_seconds"].is_number());
  EXPECT_LT(std::abs(facts["offset_seconds"].get<double>()), 3600.0) << "the simulator runs the PC's clock";
  EXPECT_EQ(facts["network"]["ipaddr"], kCompare);
  EXPECT_EQ(facts["network"]["proto"], "static");
  const auto ifconfig = card_->Ssh("ifconfig eth0", "", "", kCompare);
  EXPECT_NE(ifconfig.out.find(facts.value("hwaddr", "?")), std::string::npos) << ifconfig.out << facts;
  EXPECT_NE(run.Of(kReads)["hwaddr"], facts["hwaddr"]) << "each card's own";
}

// --if-different reads the card's program back: the first run uploads, the second does not
// (the card's log shows no second upload); --check never uploads; --diff gives both scripts.
TEST_F(CliJsonTest, ProgramOnlyWhatDiffers) {
  std::filesystem::remove(card_->CardFolder(kCompare) / "program.doz");
  const auto other = folder_->Path() / "inna.trv";
  SaveDocumentWith(other, {{2, 3}}, NodeKind::Zero);
  const std::string docSha = Sha256Of(doc_);
  const struct {
    const char* what;
    std::string doc;
    std::vector<std::string> flags;
    bool changed, uploaded;
    json cardSha;  // null: the card held no program
  } rows[] = {
      {"check against no program", doc_.string(), {"--if-different", "--check"}, true, false, nullptr},
      {"first run uploads", doc_.string(), {"--if-different"}, true, true, nullptr},
      {"second run does not", doc_.string(), {"--if-different"}, false, false, docSha},
      {"check when the same", doc_.string(), {"--if-different", "--check", "--diff"}, false, false, docSha},
      {"check when different", other.string(), {"--if-different", "--check", "--diff"}, true, false, docSha},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const std::size_t uploads = card_->Events("scp-upload", kCompare).size();
    const JsonRun run =
        RunAndSettle(Join({"program", kCompare, row.doc, "--restart-step-ms", "0"}, row.flags), kCompare, row.uploaded);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(run.lines.size(), 1u) << run.out << run.err;
    const json& line = run.lines[0];
    EXPECT_EQ(line["changed"], row.changed) << line;
    EXPECT_EQ(line["uploaded"], row.uploaded) << line;
    EXPECT_EQ(line["card_sha256"], row.cardSha) << line;
    EXPECT_EQ(line["program_sha256"], Sha256Of(row.doc));
    EXPECT_EQ(card_->Events("scp-upload", kCompare).size(), uploads + (row.uploaded ? 1 : 0));
    if (line.contains("diff")) {
      EXPECT_EQ(line["diff"]["before"], StoredScript(ReadBytes(doc_)));
      EXPECT_EQ(line["diff"]["after"], StoredScript(ReadBytes(row.doc)));
      EXPECT_EQ(line["diff"]["before"] != line["diff"]["after"], row.changed) << line;
    }
  }
  EXPECT_EQ(Sha256Of(card_->CardFolder(kCompare) / "program.doz"), docSha) << "--check left the card as it was";
  // Without --json the scripts are shown as a line diff, the card's lines first.
  const auto text = trevna_test::RunTrevnactl(
      {"program", kCompare, other.string(), "--if-different", "--check", "--diff", "--user", CardSim::kUser,
       "--ssh-port", std::to_string(card_->SshPort())},
      {std::string("TREVNA_PASSWORD=") + CardSim::kPassword, "TREVNA_KNOWN_CARDS=" + (*folder_ / "known_cards").string()});
  EXPECT_EQ(text.exitCode, 0) << text.err;
  EXPECT_NE(text.out.find("--- " + kCompare + "\n+++ " + other.string() + "\n-Y1 = 1\n+Y1 = 0\n Y2 = 1\n"),
            std::string::npos)
      << text.out;
}

// The step of a failure is the one the card failed at: a card that refuses to put the new
// program in place fails at the rename (its old program stays), a wrong password at the login.
TEST(CliJsonStepTest, FailuresNameTheirStep) {
  CardSim sim({"127.0.0.44"}, {"fail-command=mv"});
  const TempFolder folder("cli-json-steps");
  const auto doc = folder / "brama.trv";
  SaveDocumentWith(doc, {{0, 1}});
  const struct {
    std::vector<std::string> args;
    std::string password;
    std::string step, message;
  } rows[] = {
      {{"program", doc.string()}, CardSim::kPassword, "rename", "Nie powiodło się wysłanie pliku."},
      {{"time"}, "zle-haslo", "login", "Nie powiodło się uwierzytelnienie użytkownika."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.step);
    std::vector<std::string> args = row.args;
    args.insert(args.begin() + 1, sim.Address());
    const auto run = trevna_test::RunTrevnactl(
        Join(args, {"--json", "--user", CardSim::kUser, "--ssh-port", std::to_string(sim.SshPort())}),
        {"TREVNA_PASSWORD=" + row.password, "TREVNA_KNOWN_CARDS=" + (folder / "known_cards").string()});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    const json line = json::parse(run.out, nullptr, false);
    ASSERT_TRUE(line.is_object()) << run.out;
    EXPECT_EQ(line["step"], row.step) << line;
    EXPECT_EQ(line["message"], row.message) << line;
    EXPECT_EQ(line["ok"], false);
  }
  EXPECT_FALSE(std::filesystem::exists(sim.CardFolder() / "program.doz")) << "no program was put in place";
}

// A card that does not answer or offers another key fails its own line only, at its step, with
// exit 1; usage errors give one usage object and exit 2 without reaching a card.
TEST_F(CliJsonTest, FailuresStayOnTheirOwnLine) {
  {
    // The remembered key of kRekeyed is not the one it offers.
    std::ofstream known(*folder_ / "known_cards", std::ios::app);
    known << kRekeyed << ":" << card_->SshPort() << " SHA256:AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA\n";
  }
  const std::string hosts = kReads + "," + kStopped + "," + kRekeyed;
  const struct {
    std::vector<std::string> args;
  } fleets[] = {
      {{"facts", hosts}},
      {{"program", hosts, doc_.string(), "--if-different", "--check"}},
      {{"restart", kStopped + "," + kRekeyed}},
  };
  for (const auto& fleet : fleets) {
    SCOPED_TRACE(fleet.args[0]);
    const std::size_t passwords = card_->Events("login", kRekeyed).size();
    const JsonRun run = Trevnactl(Join(fleet.args, {"--timeout-ms", "3000"}));
    EXPECT_EQ(run.exitCode, 1) << run.err;
    const json stopped = run.Of(kStopped), rekeyed = run.Of(kRekeyed);
    ASSERT_TRUE(stopped.is_object()) << run.out;
    ASSERT_TRUE(rekeyed.is_object()) << run.out;
    EXPECT_EQ(stopped["ok"], false);
    EXPECT_EQ(stopped["step"], "connect");
    EXPECT_EQ(stopped["message"], "Nie powiodła się inicjacja połączenia.");
    EXPECT_EQ(rekeyed["ok"], false);
    EXPECT_EQ(rekeyed["step"], "hostkey");
    EXPECT_EQ(rekeyed.value("message", "").rfind("Klucz karty się zmienił...", 0), 0u) << rekeyed;
    EXPECT_NE(rekeyed.value("message", "").find("SHA256:AAAA"), std::string::npos) << rekeyed;
    EXPECT_EQ(card_->Events("login", kRekeyed).size(), passwords) << "no password went to the changed key";
    if (fleet.args[0] == "facts") {
      EXPECT_EQ(stopped["reachable"], false);
      EXPECT_EQ(rekeyed["reachable"], true);
      EXPECT_EQ(rekeyed["host_key"], "changed");
      EXPECT_EQ(run.Of(kReads)["ok"], true) << run.out;
    }
  }
  const JsonRun accepted = Trevnactl({"facts", kRekeyed, "--accept-new-key"});
  EXPECT_EQ(accepted.exitCode, 0) << accepted.err;
  ASSERT_EQ(accepted.lines.size(), 1u);
  EXPECT_EQ(accepted.lines[0]["host_key"], "changed");
  EXPECT_EQ(Trevnactl({"facts", kRekeyed}).Of(kRekeyed)["host_key"], "known") << "the new key was remembered";

  const std::size_t connections = card_->Events("ssh-connect", kReads).size();
  const std::string invalid = (folder_->Path() / "zly.trv").string();
  SaveDocumentWith(invalid, {{0, 3}, {0, 3}});
  const struct {
    std::vector<std::string> args;
    std::string password;
    std::string message;
  } usages[] = {
      {{"program", kReads, doc_.string(), "--check"}, CardSim::kPassword, "--check needs --if-different"},
      {{"program", kReads, invalid}, CardSim::kPassword, "Program zawiera błędy. Usuń je i spróbuj ponownie."},
      {{"facts", kReads, "--no-such-option"}, CardSim::kPassword, "--no-such-option"},
      {{"facts", kReads}, "", "TREVNA_PASSWORD"},
      {{"passwd", kReads}, CardSim::kPassword, "TREVNA_NEW_PASSWORD"},
      {{"archive-get", kReads, "-o", folder_->Path().string()}, CardSim::kPassword, "no archive folder given"},
  };
  for (const auto& usage : usages) {
    SCOPED_TRACE(usage.args[0] + " " + usage.message);
    const JsonRun run = Trevnactl(usage.args, usage.password);
    EXPECT_EQ(run.exitCode, 2) << run.err;
    ASSERT_EQ(run.lines.size(), 1u) << run.out;
    EXPECT_EQ(run.lines[0]["step"], "usage");
    EXPECT_EQ(run.lines[0]["ok"], false);
    EXPECT_EQ(run.lines[0]["host"], "");
    EXPECT_NE(run.lines[0].value("message", "").find(usage.message), std::string::npos) << run.lines[0];
    EXPECT_NE(run.err.find(usage.message), std::string::npos) << run.err;
  }
  EXPECT_EQ(card_->Events("ssh-connect", kReads).size(), connections) << "a usage error reached the card";
}

// archive-get --all-folders --missing-only takes what is not on the disk yet, and only that.
TEST_F(CliJsonTest, ArchiveGetSkipsWhatIsThere) {
  const TempFolder out("cli-json-archive");
  std::set<std::string> onCard;
  for (const auto& day : std::filesystem::directory_iterator(card_->CardFolder(kReads) / "usbdrive")) {
    if (!day.is_directory()) continue;
    for (const auto& file : std::filesystem::directory_iterator(day.path())) {
      onCard.insert(day.path().filename().string() + "/" + file.path().filename().string());
    }
  }
  ASSERT_FALSE(onCard.empty());
  const std::string day = FirstDay();
  const std::string shortened = *onCard.begin();
  std::set<std::string> ofDay;
  for (const auto& name : onCard) {
    if (name.rfind(day + "/", 0) == 0) ofDay.insert(name);
  }
  const struct {
    const char* what;
    std::vector<std::string> args;
    std::function<void()> before;
    std::set<std::string> downloaded;  // the rest of the files listed are skipped
  } rows[] = {
      {"every folder", {"--all-folders", "--missing-only"}, [] {}, onCard},
      {"again: nothing", {"--all-folders", "--missing-only"}, [] {}, {}},
      {"a file cut short comes again",
       {day + "/", "--all", "--missing-only"},
       [&] { std::filesystem::resize_file(out / shortened, 10); },
       {shortened}},
      {"without --missing-only every file of the folder", {day + "/", "--all"}, [] {}, ofDay},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    row.before();
    const JsonRun run = Trevnactl(Join(Join({"archive-get", kReads}, row.args), {"-o", out.Path().string()}));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(run.lines.size(), 1u) << run.out;
    std::set<std::string> downloaded, listed;
    for (const json& file : run.lines[0]["files"]) {
      listed.insert(file.value("name", ""));
      if (!file.value("skipped", true)) downloaded.insert(file.value("name", ""));
      EXPECT_EQ(file["path"], (out / file.value("name", "")).string());
    }
    EXPECT_EQ(downloaded, row.downloaded);
    EXPECT_EQ(run.lines[0]["changed"], !row.downloaded.empty());
    for (const auto& name : listed) {
      EXPECT_TRUE(ReadBytes(out / name) == ReadBytes(card_->CardFolder(kReads) / "usbdrive" / name)) << name;
    }
  }
}

}  // namespace
