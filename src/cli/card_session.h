// What every trevnactl card command shares: the card options (user, password source, ports,
// time limits), the printed status of one or more cards, and one SSH session run with the
// device operations and a printed status.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
};

// --user, --password-file, --ssh-port, --stream-port, --timeout-ms, --accept-new-key.
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

// One card's status sink over the console.
class HostStatus : public device::StatusSink {
 public:
  HostStatus(ConsoleStatus& console, std::string host) : console_(console), host_(std::move(host)) {}
  void ShowStatus(const std::string& text) override { console_.Show(host_, text, -1); }
  void ShowProgress(const std::string& text, int position) override { console_.Show(host_, text, position); }

 private:
  ConsoleStatus& console_;
  std::string host_;
};

// One card session of a command.
struct CardSession {
  std::string host;
  device::SshSession session;
  std::unique_ptr<HostStatus> status;
  device::DeviceTiming timing;
};

// Opens a session with the status steps; prints the failure and returns false.
bool OpenCard(CardSession& card, const std::string& host, const CardOptions& options, const std::string& password,
              ConsoleStatus& console);

// Runs `body` on one card with a printed status; a failure it throws is printed. Returns the
// exit code.
int WithCard(const std::string& host, const CardOptions& options,
             const std::function<void(device::OperationContext&, CardSession&)>& body);

}  // namespace cli
