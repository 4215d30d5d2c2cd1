// What every trevnactl card command shares: the card options (user, password source, ports,
// time limits, --json), the printed status of one or more cards, one SSH session run with the
// device operations and a printed status, and the per-card result (a text line or one JSON
// object per card: docs/cli-json.md).
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/registry.h"
#include "device/device_operations.h"
#include "device/sinks.h"
#include "device/ssh_session.h"

namespace cli {

struct CardOptions {
  std::string user;
  std::string passwordFile;
  int sshPort = 22;
  int streamPort = 25100;
  int restartStepMs = -1;  // -1: the card's own pacing
  int timeoutMs = device::SshLimits{}.callTimeoutMs;
  bool acceptNewKey = false;  // a card whose host key changed is trusted with its new key
  bool json = false;          // stdout carries one JSON object per card and nothing else
};

// --user, --password-file, --ssh-port, --stream-port, --timeout-ms, --accept-new-key, --json.
void AddCardOptions(CLI::App& app, CardOptions& options);
// --restart-step-ms, for the commands that restart the card.
void AddRestartOption(CLI::App& app, CardOptions& options);

// The first line of a file, without its line end; false when the file cannot be read.
bool ReadFirstLine(const std::string& path, std::string* line);
// A password read as UTF-8 (from `source`, named in the message) as Windows-1250 bytes; prints
// the reason and returns nothing when the code page cannot hold it (or it is no valid UTF-8):
// the card would get "?" where those characters were.
std::optional<std::string> PasswordText(const std::string& utf8, const std::string& source);
// The password (Windows-1250) from --password-file or TREVNA_PASSWORD; prints the reason and
// returns nothing when there is none or it cannot be sent as written.
std::optional<std::string> Password(const CardOptions& options);
// "a,b,,c" -> a, b, c.
std::vector<std::string> SplitHosts(const std::string& text);

// Status of one or more cards on stderr. On a terminal the latest state of every card is
// redrawn on one line; otherwise each new status text is printed on its own line (positions
// alone are not). Thread-safe: the fleet commands report from one thread per card.
class ConsoleStatus {
 public:
  explicit ConsoleStatus(std::vector<std::string> hosts);
  ~ConsoleStatus();
  void Show(const std::string& host, const std::string& cp1250Text, int position);
  // Ends the redrawn line before other output.
  void Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// One card's status sink over the console. It also follows the step the card has reached
// (connect, login, upload, rename, restart, download...) from the engine's status texts; the
// commands set the steps the engine does not announce.
class HostStatus : public device::StatusSink {
 public:
  HostStatus(ConsoleStatus& console, std::string host) : console_(console), host_(std::move(host)) {}
  void ShowStatus(const std::string& text) override;
  void ShowProgress(const std::string& text, int position) override;
  void SetStep(std::string step);
  std::string Step() const;

 private:
  void Follow(const std::string& text, int position);
  ConsoleStatus& console_;
  std::string host_;
  mutable std::mutex mutex_;
  std::string step_ = "connect";
};

// The steps a card's line can name as the last one reached.
inline const std::vector<std::string>& CardSteps() {
  static const std::vector<std::string> steps = {"connect", "hostkey", "login",   "read",    "compare", "upload",
                                                 "rename",  "restart", "command", "download", "done"};
  return steps;
}

// One card's result.
struct CardReport {
  std::string host;
  bool ok = false;
  bool changed = false;
  std::string step = "connect";
  std::string message;                                   // Windows-1250
  nlohmann::json found = nlohmann::json::object();       // what the command found (UTF-8)
  std::string textAfter;  // without --json: printed (UTF-8) after the card's line
};

// The object of a report: host, ok, changed, step, message, then the found keys.
nlohmann::ordered_json ReportJson(const CardReport& report);
// One line of JSON (invalid UTF-8 replaced) on stdout, flushed; safe from several threads.
void PrintJsonLine(const nlohmann::ordered_json& object);
// A usage error: the text on stderr and, with --json, the usage object on stdout. Returns
// kExitUsage.
int UsageError(bool json, const std::string& utf8Text);
// "--json" among the raw arguments (for errors found before the options are parsed).
bool JsonRequested(const std::vector<std::string>& arguments);

// One card session of a command.
struct CardSession {
  std::string host;
  device::SshSession session;
  std::unique_ptr<HostStatus> status;
  device::DeviceTiming timing;
  bool json = false;
  // The host key the card offered and how it compares with the remembered one: "known", "new"
  // or "changed" (empty when the opening did not get that far).
  std::string hostKeyFingerprint;
  std::string hostKey;
};

// Opens a session with the status steps. On failure fills the report (step connect, hostkey
// or login, the message), prints the reason on stderr and returns false.
bool OpenCard(CardSession& card, const std::string& host, const CardOptions& options, const std::string& password,
              ConsoleStatus& console, CardReport& report);

using CardBody = std::function<void(device::OperationContext&, CardSession&, CardReport&)>;

// Runs `body` on every host at once, each with its own session and status. A body that
// returns succeeded (step done; `successCp1250` is its message unless the body set one); a
// failure it throws is that card's failure. With --json each card's object is printed as it
// finishes. Otherwise, with `fleetLines`, "HOST: OK: <message>" or "HOST: FAILED: <reason>"
// per host in the given order; without, a failure's reason goes to stderr (the body prints
// what it found). Returns 0 when every card succeeded, else 1 (2 when there is no password).
int OnCards(const std::vector<std::string>& hosts, const CardOptions& options, bool fleetLines,
            const std::string& successCp1250, const CardBody& body);

// OnCards with fleet lines that also reports, for every card, whether it answered at all and
// the host key it offered ("reachable", "host_key_fingerprint", "host_key"); the keys the body
// would add are null when the card could not be asked.
int OnCardsWithFacts(const std::vector<std::string>& hosts, const CardOptions& options, const CardBody& body);

// OnCards for one card without fleet lines.
int WithCard(const std::string& host, const CardOptions& options, const CardBody& body);

}  // namespace cli
