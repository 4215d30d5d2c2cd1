// Test support for native tests that need a detection card: starts trevna-cardsim on free
// ports, waits for its "ready" lines, and stops it when the test ends. Also runs OpenSSH's ssh
// and scp against it with a non-interactive password. Native (POSIX) only.
//
//   trevna_test::CardSim card;                    // one card on 127.0.0.2, fresh state folder
//   auto r = card.Ssh("date -u -Iseconds");       // r.exitCode, r.out, r.err
//   card.ScpUpload(local, "/etc/vemo/program.doz");
//   card.WaitForLog([](const nlohmann::json& e) { return e["event"] == "restarted"; }, 10000);
//   trevna_test::CardSim cards({"127.0.0.2", "127.0.0.3"}, {"drop-after=1000"});  // addresses, faults
//   cards.Card("127.0.0.3").sshPort;
//
// Options choose addresses, user, password, faults and extra arguments; a state folder
// given in the options is kept, an empty one is a temporary folder removed at the end.
// $TREVNA_CARDSIM names another simulator program than the one of this build.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/files.h"
#include "support/process.h"

namespace trevna_test {

struct CardEndpoints {
  std::string address;
  int sshPort = 0;
  int streamPort = 0;
};

// A TCP port free on every address at the time of the call.
inline int FreeTcpPort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  ::bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  socklen_t length = sizeof sa;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&sa), &length);
  ::close(s);
  return ntohs(sa.sin_port);
}

struct CardSimOptions {
  static constexpr const char* kUser = "serwis";
  static constexpr const char* kPassword = "trevna22";

  std::vector<std::string> addresses{"127.0.0.2"};
  std::string user = kUser;
  std::string password = kPassword;
  std::vector<std::string> aliases;
  int sshPort = 0;     // 0: a free port per card (reported by the ready line)
  int streamPort = 0;  // 0: a free port per card
  int announcePort = 0;  // 0: announcements go to the discard port, 127.0.0.1:9
  int restartSeconds = 1;
  std::vector<std::string> faults;           // e.g. "drop-after=1000"
  std::vector<std::string> extraArguments;   // e.g. {"--clock-offset", "-3600"}
  std::filesystem::path stateFolder;         // empty: a temporary folder, removed at the end
  std::filesystem::path program = DefaultProgram();
  int startTimeoutSeconds = 120;  // the first start makes host keys and recordings

  static std::filesystem::path DefaultProgram() {
    if (const char* path = std::getenv("TREVNA_CARDSIM")) return path;
    return TREVNA_BINARY_DIR "/trevna-cardsim";
  }
};

class CardSim {
 public:
  static constexpr const char* kUser = CardSimOptions::kUser;
  static constexpr const char* kPassword = CardSimOptions::kPassword;

  // Cards on `addresses` with simulator faults and further arguments; everything else as the
  // options default it.
  CardSim(std::vector<std::string> addresses, std::vector<std::string> faults = {},
          std::vector<std::string> extraArguments = {})
      : CardSim(WithAddresses(std::move(addresses), std::move(faults), std::move(extraArguments))) {}

  explicit CardSim(CardSimOptions options = {}) : options_(std::move(options)) {
    if (options_.stateFolder.empty()) {
      temporary_.emplace("cardsim");
      state_ = temporary_->Path();
    } else {
      state_ = options_.stateFolder;
      std::filesystem::create_directories(state_);
    }
    askpass_ = state_ / "askpass.sh";
    {
      std::ofstream script(askpass_);
      script << "#!/bin/sh\nprintf '%s\\n' \"$TREVNA_TEST_PASSWORD\"\n";
    }
    std::filesystem::permissions(askpass_, std::filesystem::perms::owner_all);
    Start();
  }

  ~CardSim() { Stop(); }

  CardSim(const CardSim&) = delete;
  CardSim& operator=(const CardSim&) = delete;

  const std::string& Address() const { return options_.addresses.front(); }
  const std::string& User() const { return options_.user; }
  const std::string& Password() const { return options_.password; }
  int SshPort(const std::string& address = "") const { return ports_.at(Pick(address)).first; }
  int StreamPort(const std::string& address = "") const { return ports_.at(Pick(address)).second; }
  CardEndpoints Card(const std::string& address = "") const {
    return {Pick(address), SshPort(address), StreamPort(address)};
  }
  std::filesystem::path StateFolder() const { return state_; }
  std::filesystem::path CardFolder(const std::string& address = "") const { return state_ / Pick(address); }
  bool Running() const { return pid_ > 0; }

  // Everything the simulator printed on stdout so far.
  std::string Output() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return output_;
  }

  // The card's log (DIR/<address>/log.jsonl), one JSON object per line (a line still being
  // written is left out).
  std::vector<nlohmann::json> Log(const std::string& address = "") const {
    std::vector<nlohmann::json> lines;
    std::ifstream in(CardFolder(address) / "log.jsonl");
    std::string line;
    while (std::getline(in, line)) {
      auto entry = nlohmann::json::parse(line, nullptr, false);
      if (entry.is_object()) lines.push_back(std::move(entry));
    }
    return lines;
  }

  // Log lines of one event.
  std::vector<nlohmann::json> Events(const std::string& event, const std::string& address = "") const {
    std::vector<nlohmann::json> result;
    for (auto& line : Log(address)) {
      if (line.value("event", "") == event) result.push_back(line);
    }
    return result;
  }

  // Waits until a log line satisfies `predicate`; returns it (null json on time-out).
  nlohmann::json WaitForLog(const std::function<bool(const nlohmann::json&)>& predicate, int timeoutMs,
                            const std::string& address = "") const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
      for (auto& line : Log(address)) {
        if (predicate(line)) return line;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < deadline);
    return nlohmann::json();
  }

  // ssh USER@ADDRESS COMMAND with the given (or the start) password.
  ProcessResult Ssh(const std::string& command, const std::string& input = "", const std::string& password = "",
                    const std::string& address = "", const std::string& user = "") const {
    std::vector<std::string> argv = {"ssh"};
    AddSshOptions(argv, "-p", address);
    argv.push_back((user.empty() ? options_.user : user) + "@" + Pick(address));
    argv.push_back(command);
    return RunProcess(argv, input, Environment(password));
  }

  // scp -O (classic protocol) of a local file to a path on the card, or back.
  ProcessResult ScpUpload(const std::filesystem::path& local, const std::string& remote, bool preserveTimes = false,
                          const std::string& password = "", const std::string& address = "") const {
    std::vector<std::string> argv = {"scp", "-O", "-q"};
    if (preserveTimes) argv.push_back("-p");
    AddSshOptions(argv, "-P", address);
    argv.push_back(local.string());
    argv.push_back(options_.user + "@" + Pick(address) + ":" + remote);
    return RunProcess(argv, "", Environment(password));
  }

  ProcessResult ScpDownload(const std::string& remote, const std::filesystem::path& local, bool preserveTimes = false,
                            const std::string& password = "", const std::string& address = "") const {
    std::vector<std::string> argv = {"scp", "-O", "-q"};
    if (preserveTimes) argv.push_back("-p");
    AddSshOptions(argv, "-P", address);
    argv.push_back(options_.user + "@" + Pick(address) + ":" + remote);
    argv.push_back(local.string());
    return RunProcess(argv, "", Environment(password));
  }

  // Sends SIGTERM and waits; returns the simulator's exit status (-1 if it was not running).
  int Stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pid_ = -1;
    if (reader_.joinable()) reader_.join();
    return detail::StatusCode(status);
  }

 private:
  static CardSimOptions WithAddresses(std::vector<std::string> addresses, std::vector<std::string> faults,
                                      std::vector<std::string> extraArguments) {
    CardSimOptions options;
    options.addresses = std::move(addresses);
    options.faults = std::move(faults);
    options.extraArguments = std::move(extraArguments);
    return options;
  }

  std::string Pick(const std::string& address) const { return address.empty() ? options_.addresses.front() : address; }

  std::vector<std::string> Environment(const std::string& password) const {
    return {"SSH_ASKPASS=" + askpass_.string(), "SSH_ASKPASS_REQUIRE=force", "DISPLAY=:0",
            "TREVNA_TEST_PASSWORD=" + (password.empty() ? options_.password : password)};
  }

  void AddSshOptions(std::vector<std::string>& argv, const char* portFlag, const std::string& address) const {
    for (const char* o : {"-F", "/dev/null", "-o", "StrictHostKeyChecking=no", "-o", "UserKnownHostsFile=/dev/null",
                          "-o", "LogLevel=ERROR", "-o", "PubkeyAuthentication=no", "-o",
                          "PreferredAuthentications=password", "-o", "NumberOfPasswordPrompts=1", "-o",
                          "ConnectTimeout=20", "-o", "BatchMode=no"}) {
      argv.push_back(o);
    }
    argv.push_back(portFlag);
    argv.push_back(std::to_string(SshPort(address)));
  }

  void Start() {
    std::vector<std::string> argv = {options_.program.string(), "--state", state_.string(), "--user", options_.user,
                                     "--password", options_.password, "--ssh-port",
                                     std::to_string(options_.sshPort), "--stream-port",
                                     std::to_string(options_.streamPort), "--restart-seconds",
                                     std::to_string(options_.restartSeconds)};
    for (const std::string& a : options_.addresses) argv.insert(argv.end(), {"--address", a});
    for (const std::string& a : options_.aliases) argv.insert(argv.end(), {"--alias", a});
    for (const std::string& f : options_.faults) argv.insert(argv.end(), {"--fault", f});
    argv.insert(argv.end(), {"--announce-to", "127.0.0.1:" + std::to_string(options_.announcePort > 0 ? options_.announcePort : 9)});
    argv.insert(argv.end(), options_.extraArguments.begin(), options_.extraArguments.end());

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    pid_ = detail::Spawn(argv, {}, -1, out[1], -1);
    close(out[1]);
    if (pid_ < 0) {
      close(out[0]);
      throw std::runtime_error("fork failed");
    }
    reader_ = std::thread([this, fd = out[0]] {
      char buffer[4096];
      for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        std::lock_guard<std::mutex> lock(mutex_);
        output_.append(buffer, static_cast<std::size_t>(n));
        changed_.notify_all();
      }
      close(fd);
      std::lock_guard<std::mutex> lock(mutex_);
      ended_ = true;
      changed_.notify_all();
    });

    std::unique_lock<std::mutex> lock(mutex_);
    const bool ready = changed_.wait_for(lock, std::chrono::seconds(options_.startTimeoutSeconds), [this] {
      ParseReadyLines();
      return ended_ || ports_.size() == options_.addresses.size();
    });
    if (!ready || ports_.size() != options_.addresses.size()) {
      lock.unlock();
      Stop();
      throw std::runtime_error("trevna-cardsim did not become ready; output:\n" + output_);
    }
  }

  void ParseReadyLines() {
    std::istringstream lines(output_);
    std::string line;
    while (std::getline(lines, line)) {
      char address[64] = "";
      int ssh = 0, stream = 0;
      if (std::sscanf(line.c_str(), "ready %63s ssh=%d stream=%d", address, &ssh, &stream) == 3) {
        ports_[address] = {ssh, stream};
      }
    }
  }

  CardSimOptions options_;
  std::optional<TempFolder> temporary_;
  std::filesystem::path state_;
  std::filesystem::path askpass_;
  pid_t pid_ = -1;
  std::thread reader_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::string output_;
  bool ended_ = false;
  std::map<std::string, std::pair<int, int>> ports_;
};

// A test suite whose tests share one card (starting one makes host keys and recordings). The
// suite says how to start it:
//   class CardSimScp : public trevna_test::CardSimSuite<CardSimScp> {
//    public:
//     static trevna_test::CardSimOptions Options() { ... }
//   };
template <class Suite>
class CardSimSuite : public ::testing::Test {
 public:
  static CardSimOptions Options() { return CardSimOptions(); }
  static void SetUpTestSuite() { card_ = std::make_unique<CardSim>(Suite::Options()); }
  static void TearDownTestSuite() { card_.reset(); }

 protected:
  static inline std::unique_ptr<CardSim> card_;
};

}  // namespace trevna_test
