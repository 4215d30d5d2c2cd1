// trevna-cardsim: simulates one or more Trevna-2.2 detection cards on loopback addresses.
//
//   trevna-cardsim --address 127.0.0.2 [--address 127.0.0.3 ...] --state DIR --user U --password P
//                  [--alias NAME]... [--ssh-port N] [--stream-port N] [--announce-to HOST:PORT]
//                  [--restart-seconds N] [--clock-offset SECONDS] [--fps N] [--log-stdout]
//                  [--new-host-key] [--fault KIND[=VALUE]]...
//
// Each card keeps its files in DIR/<address>/ (host keys, program.doz, usbdrive/, state.json,
// log.jsonl); --new-host-key replaces the host keys kept there, as a re-installed (or a
// foreign) card would offer. Once every card listens, one line per card is printed:
//   ready 127.0.0.2 ssh=22 stream=25100
// The process runs until SIGINT or SIGTERM and then stops every card and exits with 0.
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <CLI/CLI.hpp>

#include "card.h"
#include "net.h"

namespace {

using cardsim::Card;
using cardsim::CardConfig;
using cardsim::Faults;

bool ParseFault(const std::string& text, Faults* faults, std::string* error) {
  const std::size_t eq = text.find('=');
  const std::string kind = text.substr(0, eq);
  const std::string value = eq == std::string::npos ? "" : text.substr(eq + 1);
  if (kind == "silent" && value.empty()) {
    faults->silent = true;
  } else if (kind == "refuse-password" && value.empty()) {
    faults->refusePassword = true;
  } else if (kind == "bad-announce" && value.empty()) {
    faults->badAnnouncements = true;
  } else if (kind == "drop-after") {
    try {
      std::size_t used = 0;
      faults->dropAfterBytes = std::stoll(value, &used);
      if (used != value.size() || faults->dropAfterBytes < 0) throw std::invalid_argument(value);
    } catch (const std::exception&) {
      *error = "--fault drop-after needs a byte count, e.g. drop-after=1000";
      return false;
    }
  } else if (kind == "trickle") {
    try {
      std::size_t used = 0;
      faults->trickleBytesPerSecond = std::stoll(value, &used);
      if (used != value.size() || faults->trickleBytesPerSecond < 1) throw std::invalid_argument(value);
    } catch (const std::exception&) {
      *error = "--fault trickle needs a rate in bytes per second, e.g. trickle=2000";
      return false;
    }
  } else if (kind == "stall-command" || kind == "fail-command") {
    if (value.empty() || value.find_first_of(" \t/") != std::string::npos) {
      *error = "--fault " + kind + " needs one command word, e.g. " + kind + "=ls";
      return false;
    }
    (kind == "stall-command" ? faults->stallCommands : faults->failCommands).push_back(value);
  } else if (kind == "bad-stream-header") {
    const std::string mode = value.empty() ? "short" : value;
    if (mode != "short" && mode != "width" && mode != "track" && mode != "long" && mode != "type") {
      *error = "--fault bad-stream-header takes short, width, track, long or type";
      return false;
    }
    faults->badStreamHeader = mode;
  } else {
    *error = "unknown fault '" + text +
             "' (silent, drop-after=N, trickle=N, refuse-password, stall-command=WORD, fail-command=WORD, "
             "bad-stream-header[=short|width|track|long|type], bad-announce)";
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"trevna-cardsim: simulated Trevna-2.2 detection cards on loopback addresses", "trevna-cardsim"};
  std::vector<std::string> addresses;
  std::vector<std::string> aliases;
  std::vector<std::string> faultTexts;
  std::string state, user, password, announceTo = "127.0.0.1:21060";
  int sshPort = 22, streamPort = 25100, restartSeconds = 5;
  long long clockOffset = 0;
  double fps = 4;
  bool logStdout = false;
  bool newHostKey = false;
  app.add_option("--address", addresses, "loopback address of a card (repeat for more cards)")->required();
  app.add_option("--state", state, "folder for the cards' files (DIR/<address>/)")->required();
  app.add_option("--user", user, "SSH user name of the cards")->required();
  app.add_option("--password", password, "SSH password at start")->required();
  app.add_option("--alias", aliases, "announced name, in the order of --address (default \"Symulator N\")");
  app.add_option("--ssh-port", sshPort, "SSH port (0: a free port)")->check(CLI::Range(0, 65535));
  app.add_option("--stream-port", streamPort, "live stream port (0: a free port)")->check(CLI::Range(0, 65535));
  app.add_option("--announce-to", announceTo, "HOST:PORT that announcements go to");
  app.add_option("--restart-seconds", restartSeconds, "seconds a card stays down after a restart")
      ->check(CLI::Range(0, 3600));
  app.add_option("--clock-offset", clockOffset, "seconds the cards' clocks are ahead of the PC (negative: behind)");
  app.add_option("--fps", fps, "live pictures per second and track")->check(CLI::Range(0.1, 25.0));
  app.add_option("--fault", faultTexts,
                 "fault to inject: silent, drop-after=N, trickle=N, refuse-password, stall-command=WORD, "
                 "fail-command=WORD, bad-stream-header[=short|width|track|long|type], bad-announce");
  app.add_flag("--log-stdout", logStdout, "also print every log line on stdout");
  app.add_flag("--new-host-key", newHostKey, "make new SSH host keys instead of the ones in the state folder");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }

  Faults faults;
  for (const std::string& text : faultTexts) {
    std::string error;
    if (!ParseFault(text, &faults, &error)) {
      std::fprintf(stderr, "trevna-cardsim: %s\n", error.c_str());
      return 2;
    }
  }
  const std::size_t colon = announceTo.rfind(':');
  std::uint32_t announceAddress = 0;
  int announcePort = 0;
  try {
    announcePort = colon == std::string::npos ? -1 : std::stoi(announceTo.substr(colon + 1));
  } catch (const std::exception&) {
    announcePort = -1;
  }
  const std::string announceHost = colon == std::string::npos ? "" : announceTo.substr(0, colon);
  if (announcePort <= 0 || announcePort > 65535 || !cardsim::ParseIpv4(announceHost, &announceAddress)) {
    std::fprintf(stderr, "trevna-cardsim: --announce-to needs IPv4:PORT, got '%s'\n", announceTo.c_str());
    return 2;
  }
  for (const std::string& a : addresses) {
    std::uint32_t dummy = 0;
    if (!cardsim::ParseIpv4(a, &dummy)) {
      std::fprintf(stderr, "trevna-cardsim: '%s' is not an IPv4 address\n", a.c_str());
      return 2;
    }
    if (std::count(addresses.begin(), addresses.end(), a) > 1) {
      std::fprintf(stderr, "trevna-cardsim: address %s given twice\n", a.c_str());
      return 2;
    }
  }
  if (aliases.size() > addresses.size()) {
    std::fprintf(stderr, "trevna-cardsim: more --alias than --address options\n");
    return 2;
  }

  // Default aliases are numbered in address order.
  std::vector<std::string> sorted = addresses;
  std::sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) {
    std::uint32_t x = 0, y = 0;
    cardsim::ParseIpv4(a, &x);
    cardsim::ParseIpv4(b, &y);
    return __builtin_bswap32(x) < __builtin_bswap32(y);
  });

  // Signals are taken by sigwait below; every thread inherits the mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  cardsim::PrintLine("trevna-cardsim: user " + user + ", password " + password);
  std::vector<std::unique_ptr<Card>> cards;
  try {
    for (std::size_t i = 0; i < addresses.size(); ++i) {
      CardConfig config;
      config.address = addresses[i];
      const auto rank = std::find(sorted.begin(), sorted.end(), addresses[i]) - sorted.begin();
      config.alias = i < aliases.size() ? aliases[i] : "Symulator " + std::to_string(rank + 1);
      config.user = user;
      config.password = password;
      config.sshPort = sshPort;
      config.streamPort = streamPort;
      config.announceHost = announceHost;
      config.announcePort = announcePort;
      config.restartSeconds = restartSeconds;
      config.clockOffsetSeconds = clockOffset;
      config.framesPerSecond = fps;
      config.folder = std::filesystem::path(state) / addresses[i];
      config.faults = faults;
      config.newHostKey = newHostKey;
      config.logToStdout = logStdout;
      cards.push_back(std::make_unique<Card>(config));
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "trevna-cardsim: %s\n", e.what());
    return 1;
  }
  // A first start generates host keys and recordings: start the cards side by side.
  std::vector<std::string> errors(cards.size());
  {
    std::vector<std::thread> starters;
    for (std::size_t i = 0; i < cards.size(); ++i) {
      starters.emplace_back([&, i] {
        try {
          cards[i]->Start();
        } catch (const std::exception& e) {
          errors[i] = cards[i]->Config().address + ": " + e.what();
        }
      });
    }
    for (auto& t : starters) t.join();
  }
  bool failed = false;
  for (const std::string& error : errors) {
    if (error.empty()) continue;
    std::fprintf(stderr, "trevna-cardsim: %s\n", error.c_str());
    failed = true;
  }
  if (failed) {
    for (auto& card : cards) card->Stop();
    return 1;
  }
  for (const auto& card : cards) {
    cardsim::PrintLine("ready " + card->Config().address + " ssh=" + std::to_string(card->SshPort()) +
                       " stream=" + std::to_string(card->StreamPort()) + " alias=\"" + card->Config().alias + "\"");
  }

  int received = 0;
  sigwait(&signals, &received);
  for (auto& card : cards) card->Stop();
  cardsim::PrintLine("trevna-cardsim: stopped");
  return 0;
}
