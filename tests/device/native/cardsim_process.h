// Runs trevna-cardsim for a test: starts it with a fresh state folder and free ports, waits
// for its "ready" lines, and stops it (SIGTERM) when destroyed.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

extern char** environ;

namespace testing_cardsim {

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

inline std::filesystem::path FreshFolder(const std::string& tag) {
  static std::mt19937_64 random{std::random_device{}()};
  const auto folder = std::filesystem::temp_directory_path() /
                      ("trevna-device-" + tag + "-" + std::to_string(::getpid()) + "-" + std::to_string(random() % 1000000));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

class Cardsim {
 public:
  static constexpr const char* kUser = "serwis";
  static constexpr const char* kPassword = "trevna-test";

  // The simulator program: $TREVNA_CARDSIM, else the one of this build.
  static std::string Program() {
    if (const char* path = std::getenv("TREVNA_CARDSIM")) return path;
    return TREVNA_BINARY_DIR "/trevna-cardsim";
  }

  // `addresses`: loopback addresses of the cards; `extra`: more options (faults, offsets).
  explicit Cardsim(std::vector<std::string> addresses, std::vector<std::string> extra = {},
                   int announcePort = 0, int sshPort = 0, int streamPort = 0)
      : state_(FreshFolder("sim")) {
    std::vector<std::string> args = {Program(), "--state", state_.string(), "--user", kUser,
                                     "--password", kPassword, "--ssh-port", std::to_string(sshPort),
                                     "--stream-port", std::to_string(streamPort),
                                     "--restart-seconds", "1"};
    for (const auto& a : addresses) {
      args.push_back("--address");
      args.push_back(a);
    }
    args.push_back("--announce-to");
    args.push_back("127.0.0.1:" + std::to_string(announcePort > 0 ? announcePort : 9));
    for (const auto& e : extra) args.push_back(e);
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
      throw std::runtime_error("cannot start trevna-cardsim");
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    output_ = out[0];
    // Wait for one ready line per card (60 s: the first start makes host keys and recordings).
    std::string buffer;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (cards_.size() < addresses.size()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
      if (left.count() <= 0) throw std::runtime_error("trevna-cardsim did not get ready");
      pollfd p{output_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      char chunk[512];
      const ssize_t n = ::read(output_, chunk, sizeof chunk);
      if (n <= 0) throw std::runtime_error("trevna-cardsim ended early");
      buffer.append(chunk, static_cast<std::size_t>(n));
      std::size_t end;
      while ((end = buffer.find('\n')) != std::string::npos) {
        const std::string line = buffer.substr(0, end);
        buffer.erase(0, end + 1);
        char address[64];
        int ssh = 0, stream = 0;
        if (std::sscanf(line.c_str(), "ready %63s ssh=%d stream=%d", address, &ssh, &stream) == 3) {
          cards_[address] = {address, ssh, stream};
        }
      }
    }
  }

  ~Cardsim() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
    if (output_ >= 0) ::close(output_);
    std::error_code error;
    std::filesystem::remove_all(state_, error);
  }

  Cardsim(const Cardsim&) = delete;
  Cardsim& operator=(const Cardsim&) = delete;

  const CardEndpoints& Card(const std::string& address) const { return cards_.at(address); }
  std::filesystem::path Folder(const std::string& address) const { return state_ / address; }

  // Every event of the card's log, optionally only those named `event`.
  std::vector<nlohmann::json> Events(const std::string& address, const std::string& event = "") const {
    std::vector<nlohmann::json> events;
    std::ifstream in(Folder(address) / "log.jsonl");
    std::string line;
    while (std::getline(in, line)) {
      if (line.empty()) continue;
      auto e = nlohmann::json::parse(line, nullptr, false);
      if (e.is_discarded()) continue;
      if (event.empty() || e.value("event", "") == event) events.push_back(e);
    }
    return events;
  }

 private:
  std::filesystem::path state_;
  pid_t pid_ = -1;
  int output_ = -1;
  std::map<std::string, CardEndpoints> cards_;
};

}  // namespace testing_cardsim
