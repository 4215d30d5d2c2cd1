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

std::optional<std::string> Password(const CardOptions& options) {
  std::string password;
  if (!options.passwordFile.empty()) {
    if (!ReadFirstLine(options.passwordFile, &password)) {
      std::fprintf(stderr, "cannot read the password file '%s'\n", options.passwordFile.c_str());
      return std::nullopt;
    }
    return PasswordText(password, "--password-file " + options.passwordFile);
  }
  // Read as wide text on Windows: the narrow copy of the environment is in the ANSI code page,
  // with "?" already in place of what that lacks. Set but empty is an empty password.
  if (std::getenv("TREVNA_PASSWORD")) {
    return PasswordText(platform::EnvironmentVariable("TREVNA_PASSWORD"), "TREVNA_PASSWORD");
  }
  std::fprintf(stderr, "no password: use --password-file F or the TREVNA_PASSWORD environment variable\n");
  return std::nullopt;
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

bool OpenCard(CardSession& card, const std::string& host, const CardOptions& options, const std::string& password,
              ConsoleStatus& console) {
  card.host = host;
  card.status = std::make_unique<HostStatus>(console, host);
  if (options.restartStepMs >= 0) {
    const unsigned step = static_cast<unsigned>(options.restartStepMs);
    card.timing.sleep = [step](unsigned) { std::this_thread::sleep_for(std::chrono::milliseconds(step)); };
  }
  std::uint32_t address = 0;
  if (!net::ResolveIPv4(host, &address)) {
    console.Finish();
    std::fprintf(stderr, "%s: unknown host\n", host.c_str());
    return false;
  }
  device::SshLimits limits;
  limits.callTimeoutMs = options.timeoutMs;
  try {
    device::HostKeyPolicy hostKeys;
    hostKeys.acceptNewKey = options.acceptNewKey;
    card.session.Open(address, static_cast<std::uint16_t>(options.sshPort), Cp1250FromUtf8(options.user), password,
                      limits, card.status.get(), hostKeys);
    card.status->ShowStatus(Cp1250FromUtf8("Połączony"));
    return true;
  } catch (const device::HostKeyChanged& e) {
    card.status->ShowStatus(Cp1250FromUtf8("Nie udało się otworzyć połączenia"));
    console.Finish();
    std::fprintf(stderr,
                 "%s: the card's SSH host key has changed; the password was not sent.\n"
                 "  remembered: %s\n  offered:    %s\n"
                 "  If the card was replaced or re-installed, run again with --accept-new-key (known cards: %s).\n",
                 host.c_str(), e.stored.c_str(), e.offered.c_str(), device::DefaultKnownCardsPath().c_str());
    return false;
  } catch (const std::exception& e) {
    card.status->ShowStatus(Cp1250FromUtf8("Nie udało się otworzyć połączenia"));
    console.Finish();
    std::fprintf(stderr, "%s: %s\n", host.c_str(), Utf8FromCp1250(e.what()).c_str());
    return false;
  }
}

int WithCard(const std::string& host, const CardOptions& options,
             const std::function<void(device::OperationContext&, CardSession&)>& body) {
  const auto password = Password(options);
  if (!password) return kExitUsage;
  ConsoleStatus console({host});
  CardSession card;
  if (!OpenCard(card, host, options, *password, console)) return kExitFailure;
  device::OperationContext ctx{card.session, *card.status, device::RealFiles(), card.timing};
  try {
    body(ctx, card);
  } catch (const std::exception& e) {
    console.Finish();
    PrintError(e.what());
    return kExitFailure;
  }
  console.Finish();
  return kExitOk;
}

}  // namespace cli
