#include "cli/card_session.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "base/socket.h"
#include "base/platform.h"
#include "base/text.h"
#include "device/card_text.h"
#include "device/known_cards.h"

namespace cli {

void AddCardOptions(CLI::App& app, CardOptions& options) {
  app.add_option("--user", options.user, "SSH user name")->required();
  app.add_option("--password-file", options.passwordFile,
                 "file whose first line is the password (else the TREVNA_PASSWORD environment variable)");
  app.add_option("--ssh-port", options.sshPort, "SSH port of the card")->check(CLI::Range(1, 65535));
  app.add_option("--stream-port", options.streamPort, "live stream port of the card")->check(CLI::Range(1, 65535));
  app.add_option("--timeout-ms", options.timeoutMs,
                 "longest wait for one answer of the card; a card that does not answer in time fails the step")
      ->check(CLI::Range(100, 600000));
  app.add_flag("--accept-new-key", options.acceptNewKey,
               "log in even when the card's SSH host key is not the one remembered for it, and remember the new key");
  app.add_flag("--json", options.json, "print one JSON object per card (JSON Lines) and nothing else on stdout");
}

void AddRestartOption(CLI::App& app, CardOptions& options) {
  app.add_option("--restart-step-ms", options.restartStepMs,
                 "pause per step of the 75-step restart wait (default 533 ms after programming, 1000 ms otherwise)")
      ->check(CLI::Range(0, 10000));
}

bool ReadFirstLine(const std::string& path, std::string* line) {
  std::ifstream in(platform::PathFromUtf8(path), std::ios::binary);
  if (!in) return false;
  std::getline(in, *line);
  while (!line->empty() && (line->back() == '\r' || line->back() == '\n')) line->pop_back();
  return true;
}

std::optional<std::string> PasswordText(const std::string& utf8, const std::string& source) {
  std::optional<std::string> password = Cp1250FromUtf8Exact(utf8);
  if (!password) {
    std::fprintf(stderr, "%s: %s\n", source.c_str(), Utf8FromCp1250(card::PasswordOutsideCodePageText()).c_str());
  }
  return password;
}

namespace {

// The password, or the reason there is none (UTF-8).
std::optional<std::string> FindPassword(const CardOptions& options, std::string* problem) {
  std::string password;
  if (!options.passwordFile.empty()) {
    if (!ReadFirstLine(options.passwordFile, &password)) {
      *problem = "cannot read the password file '" + options.passwordFile + "'";
      return std::nullopt;
    }
    const std::string source = "--password-file " + options.passwordFile;
    if (auto text = Cp1250FromUtf8Exact(password)) return text;
    *problem = source + ": " + Utf8FromCp1250(card::PasswordOutsideCodePageText());
    return std::nullopt;
  }
  // Read as wide text on Windows: the narrow copy of the environment is in the ANSI code page,
  // with "?" already in place of what that lacks. Set but empty is an empty password.
  if (std::getenv("TREVNA_PASSWORD")) {
    if (auto text = Cp1250FromUtf8Exact(platform::EnvironmentVariable("TREVNA_PASSWORD"))) return text;
    *problem = "TREVNA_PASSWORD: " + Utf8FromCp1250(card::PasswordOutsideCodePageText());
    return std::nullopt;
  }
  *problem = "no password: use --password-file F or the TREVNA_PASSWORD environment variable";
  return std::nullopt;
}

}  // namespace

std::optional<std::string> Password(const CardOptions& options) {
  std::string problem;
  std::optional<std::string> password = FindPassword(options, &problem);
  if (!password) std::fprintf(stderr, "%s\n", problem.c_str());
  return password;
}

std::vector<std::string> SplitHosts(const std::string& text) {
  std::vector<std::string> hosts;
  std::stringstream in(text);
  std::string host;
  while (std::getline(in, host, ',')) {
    if (!host.empty()) hosts.push_back(host);
  }
  return hosts;
}

struct ConsoleStatus::State {
  std::vector<std::string> hosts;
  bool terminal = false;
  bool dirty = false;
  std::mutex mutex;
  std::map<std::string, std::pair<std::string, int>> latest;
};

ConsoleStatus::ConsoleStatus(std::vector<std::string> hosts) : state_(std::make_unique<State>()) {
  state_->hosts = std::move(hosts);
  state_->terminal = IsTerminal(stderr);
  for (const auto& host : state_->hosts) state_->latest[host] = {"", -1};
}

ConsoleStatus::~ConsoleStatus() = default;

void ConsoleStatus::Show(const std::string& host, const std::string& cp1250Text, int position) {
  State& s = *state_;
  std::lock_guard lock(s.mutex);
  auto& entry = s.latest[host];
  const bool newText = !cp1250Text.empty() && cp1250Text != entry.first;
  if (!cp1250Text.empty()) entry.first = cp1250Text;
  entry.second = position;
  if (s.terminal) {
    std::string line;
    for (const auto& h : s.hosts) {
      const auto& e = s.latest[h];
      if (!line.empty()) line += " | ";
      line += h + ": " + Utf8FromCp1250(e.first);
      if (e.second >= 0) line += " " + std::to_string(e.second) + "%";
    }
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    s.dirty = true;
  } else if (newText) {
    std::fprintf(stderr, "%s: %s\n", host.c_str(), Utf8FromCp1250(cp1250Text).c_str());
  }
  std::fflush(stderr);
}

void ConsoleStatus::Finish() {
  std::lock_guard lock(state_->mutex);
  if (state_->terminal && state_->dirty) std::fputc('\n', stderr);
  state_->dirty = false;
}

void HostStatus::ShowStatus(const std::string& text) {
  Follow(text, -1);
  console_.Show(host_, text, -1);
}

void HostStatus::ShowProgress(const std::string& text, int position) {
  Follow(text, position);
  console_.Show(host_, text, position);
}

void HostStatus::SetStep(std::string step) {
  std::lock_guard lock(mutex_);
  step_ = std::move(step);
}

std::string HostStatus::Step() const {
  std::lock_guard lock(mutex_);
  return step_;
}

void HostStatus::Follow(const std::string& text, int position) {
  static const std::vector<std::pair<std::string, const char*>> steps = {
      {Cp1250FromUtf8("Łączenie..."), "connect"},
      {Cp1250FromUtf8("Negocjowanie sesji..."), "connect"},
      {Cp1250FromUtf8("Uwierzytelnianie użytkownika..."), "login"},
      {Cp1250FromUtf8("Wysyłanie pliku..."), "upload"},
      {Cp1250FromUtf8("Restartowanie..."), "restart"},
      {Cp1250FromUtf8("Restartowanie Trevna..."), "restart"},
      {Cp1250FromUtf8("Pobieranie pliku..."), "download"},
      {Cp1250FromUtf8("Pobieranie '"), "download"},
  };
  std::lock_guard lock(mutex_);
  // The program's upload ends at 25 %; what follows before the restart is the rename.
  if (text.empty() && step_ == "upload" && position == 25) step_ = "rename";
  for (const auto& [prefix, step] : steps) {
    // Reading a program back for a comparison stays the read step.
    if (step_ == "read" && std::string_view(step) == "download") continue;
    if (!text.empty() && text.compare(0, prefix.size(), prefix) == 0) step_ = step;
  }
}

nlohmann::ordered_json ReportJson(const CardReport& report) {
  nlohmann::ordered_json object = {{"host", report.host},
                           {"ok", report.ok},
                           {"changed", report.changed},
                           {"step", report.step},
                           {"message", Utf8FromCp1250(report.message)}};
  for (const auto& [key, value] : report.found.items()) object[key] = nlohmann::ordered_json(value);
  return object;
}

void PrintJsonLine(const nlohmann::ordered_json& object) {
  static std::mutex mutex;
  const std::string line = object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
  std::lock_guard lock(mutex);
  std::fputs(line.c_str(), stdout);
  std::fflush(stdout);
}

int UsageError(bool json, const std::string& utf8Text) {
  std::fprintf(stderr, "%s\n", utf8Text.c_str());
  if (json) {
    PrintJsonLine({{"host", ""}, {"ok", false}, {"changed", false}, {"step", "usage"}, {"message", utf8Text}});
  }
  return kExitUsage;
}

bool JsonRequested(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (argument == "--") break;
    if (argument == "--json") return true;
  }
  return false;
}

namespace {

// The changed-key text of the program without its question: what changed, for the card's line.
std::string ChangedKeyText(const device::HostKeyChanged& e) {
  std::string text = device::HostKeyQuestionText(e.card, e.stored, e.offered);
  const std::size_t question = text.rfind("\n\n");
  if (question != std::string::npos) text.resize(question);
  return text;
}

}  // namespace

bool OpenCard(CardSession& card, const std::string& host, const CardOptions& options, const std::string& password,
              ConsoleStatus& console, CardReport& report) {
  card.host = host;
  card.json = options.json;
  card.status = std::make_unique<HostStatus>(console, host);
  report.host = host;
  report.step = "connect";
  if (options.restartStepMs >= 0) {
    const unsigned step = static_cast<unsigned>(options.restartStepMs);
    card.timing.sleep = [step](unsigned) { std::this_thread::sleep_for(std::chrono::milliseconds(step)); };
  }
  auto failed = [&](const std::string& step, const std::string& cp1250Message) {
    card.status->ShowStatus(Cp1250FromUtf8("Nie udało się otworzyć połączenia"));
    console.Finish();
    report.step = step;
    report.message = cp1250Message;
    return false;
  };
  std::uint32_t address = 0;
  if (!net::ResolveIPv4(host, &address)) {
    std::fprintf(stderr, "%s: unknown host\n", host.c_str());
    return failed("connect", Cp1250FromUtf8("Nie powiodła się inicjacja połączenia."));
  }
  device::SshLimits limits;
  limits.callTimeoutMs = options.timeoutMs;
  const std::uint16_t port = static_cast<std::uint16_t>(options.sshPort);
  device::HostKeyPolicy hostKeys;
  hostKeys.acceptNewKey = options.acceptNewKey;
  // What was remembered before this login (the login itself remembers a new key).
  std::optional<std::string> remembered;
  try {
    remembered = device::KnownCards(device::DefaultKnownCardsPath()).Find(device::KnownCardName(address, port));
  } catch (const std::exception&) {
    // An unreadable file refuses the login below with its own message.
  }
  auto noteKey = [&] {
    card.hostKeyFingerprint = card.session.OfferedHostKey();
    if (card.hostKeyFingerprint.empty()) return;
    card.hostKey = !remembered ? "new" : *remembered == card.hostKeyFingerprint ? "known" : "changed";
  };
  try {
    card.session.Open(address, port, Cp1250FromUtf8(options.user), password, limits, card.status.get(), hostKeys);
    noteKey();
    card.status->ShowStatus(Cp1250FromUtf8("Połączony"));
    return true;
  } catch (const device::HostKeyChanged& e) {
    noteKey();
    std::fprintf(stderr,
                 "%s: the card's SSH host key has changed; the password was not sent.\n"
                 "  remembered: %s\n  offered:    %s\n"
                 "  If the card was replaced or re-installed, run again with --accept-new-key (known cards: %s).\n",
                 host.c_str(), e.stored.c_str(), e.offered.c_str(), device::DefaultKnownCardsPath().c_str());
    return failed("hostkey", ChangedKeyText(e));
  } catch (const std::exception& e) {
    noteKey();
    // A failure between the key's arrival and the password is the key check's (the list of
    // known cards could not be read).
    std::string step = card.status->Step();
    if (step == "connect" && !card.hostKeyFingerprint.empty() &&
        e.what() != Cp1250FromUtf8("Nie powiodła się negocjacja sesji.")) {
      step = "hostkey";
    }
    std::fprintf(stderr, "%s: %s\n", host.c_str(), Utf8FromCp1250(e.what()).c_str());
    return failed(step, e.what());
  }
}

namespace {

// The keys facts give for a card, null until found.
const char* const kFactKeys[] = {"time", "offset_seconds", "network", "hwaddr", "program_sha256", "program_size"};

int RunCards(const std::vector<std::string>& hosts, const CardOptions& options, bool fleetLines, bool facts,
             const std::string& successCp1250, const CardBody& body) {
  std::string problem;
  const auto password = FindPassword(options, &problem);
  if (!password) return UsageError(options.json, problem);
  ConsoleStatus console(hosts);
  std::vector<CardReport> reports(hosts.size());
  std::vector<std::thread> workers;
  // The socket library stays started while the sessions come and go.
  net::NetworkStartup network;
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    workers.emplace_back([&, i] {
      CardReport& report = reports[i];
      CardSession card;
      const bool open = OpenCard(card, hosts[i], options, *password, console, report);
      if (facts) {
        report.found["reachable"] = !card.hostKeyFingerprint.empty();
        report.found["host_key_fingerprint"] =
            card.hostKeyFingerprint.empty() ? nlohmann::json() : nlohmann::json(card.hostKeyFingerprint);
        report.found["host_key"] = card.hostKey.empty() ? nlohmann::json() : nlohmann::json(card.hostKey);
        for (const char* key : kFactKeys) report.found[key] = nullptr;
      }
      if (open) {
        card.status->SetStep("command");
        device::OperationContext ctx{card.session, *card.status, device::RealFiles(), card.timing};
        try {
          body(ctx, card, report);
          report.ok = true;
          report.step = "done";
          if (report.message.empty()) report.message = successCp1250;
        } catch (const std::exception& e) {
          report.step = card.status->Step();
          report.message = e.what();
        }
      }
      if (options.json) PrintJsonLine(ReportJson(report));
    });
  }
  for (auto& worker : workers) worker.join();
  console.Finish();
  bool all = true;
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    const CardReport& report = reports[i];
    all = all && report.ok;
    if (options.json) continue;
    if (fleetLines) {
      std::printf("%s: %s: %s\n%s", hosts[i].c_str(), report.ok ? "OK" : "FAILED",
                  Utf8FromCp1250(report.message).c_str(), report.textAfter.c_str());
    } else if (!report.ok && report.step != "connect" && report.step != "hostkey" && report.step != "login") {
      PrintError(report.message);  // the opening printed its own reason
    }
  }
  std::fflush(stdout);
  return all ? kExitOk : kExitFailure;
}

}  // namespace

int OnCards(const std::vector<std::string>& hosts, const CardOptions& options, bool fleetLines,
            const std::string& successCp1250, const CardBody& body) {
  return RunCards(hosts, options, fleetLines, false, successCp1250, body);
}

int OnCardsWithFacts(const std::vector<std::string>& hosts, const CardOptions& options, const CardBody& body) {
  return RunCards(hosts, options, true, true, "", body);
}

int WithCard(const std::string& host, const CardOptions& options, const CardBody& body) {
  return OnCards({host}, options, false, "", body);
}

}  // namespace cli
