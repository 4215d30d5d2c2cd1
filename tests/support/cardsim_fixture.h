// Test support for native tests that need a detection card: starts trevna-cardsim on free
// ports, waits until it listens, and stops it when the test ends. Also runs OpenSSH's ssh
// and scp against it with a non-interactive password. Native (POSIX) only.
//
//   trevna_test::CardSim card;                    // one card on 127.0.0.2, fresh state folder
//   auto r = card.Ssh("date -u -Iseconds");       // r.exitCode, r.out, r.err
//   card.ScpUpload(local, "/etc/vemo/program.doz");
//   card.WaitForLog([](const nlohmann::json& e) { return e["event"] == "restarted"; }, 10000);
//
// Options choose addresses, user, password, faults and extra arguments; a state folder
// given in the options is kept, an empty one is a temporary folder removed at the end.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

namespace trevna_test {

struct ProcessResult {
  int exitCode = -1;  // exit status, or 128 + signal number, or -1 when it could not run
  std::string out;
  std::string err;
};

namespace detail {

inline std::vector<char*> CStrings(const std::vector<std::string>& strings) {
  std::vector<char*> result;
  for (const std::string& s : strings) result.push_back(const_cast<char*>(s.c_str()));
  result.push_back(nullptr);
  return result;
}

inline int StatusCode(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace detail

// Runs a program (searched in PATH) with `input` on its standard input and `environment`
// entries ("NAME=value") added to the current environment; kills it after timeoutSeconds.
inline ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input = "",
                                const std::vector<std::string>& environment = {}, int timeoutSeconds = 60) {
  ProcessResult result;
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return result;
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  for (const std::string& e : environment) env.push_back(e);
  auto args = detail::CStrings(argv);
  auto envp = detail::CStrings(env);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    setsid();  // no controlling terminal: ssh takes the password from SSH_ASKPASS
    execvpe(args[0], args.data(), envp.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  if (pid < 0) {
    close(in[1]);
    close(out[0]);
    close(err[0]);
    return result;
  }
  signal(SIGPIPE, SIG_IGN);
  std::size_t written = 0;
  if (input.empty()) {
    close(in[1]);
    in[1] = -1;
  } else {
    fcntl(in[1], F_SETFL, O_NONBLOCK);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  bool outOpen = true, errOpen = true, killed = false;
  while (outOpen || errOpen) {
    pollfd fds[3] = {{out[0], short(outOpen ? POLLIN : 0), 0}, {err[0], short(errOpen ? POLLIN : 0), 0},
                     {in[1], short(in[1] >= 0 ? POLLOUT : 0), 0}};
    const int r = poll(fds, 3, 100);
    if (std::chrono::steady_clock::now() > deadline && !killed) {
      kill(pid, SIGKILL);
      killed = true;
    }
    if (r <= 0) continue;
    char buffer[65536];
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
      } else {
        (i == 0 ? outOpen : errOpen) = false;
      }
    }
    if (in[1] >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      const ssize_t n = write(in[1], input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<std::size_t>(n);
      if (n < 0 || written == input.size()) {
        close(in[1]);
        in[1] = -1;
      }
    }
  }
  if (in[1] >= 0) close(in[1]);
  close(out[0]);
  close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitCode = detail::StatusCode(status);
  return result;
}

struct CardSimOptions {
  std::vector<std::string> addresses{"127.0.0.2"};
  std::string user = "serwis";
  std::string password = "trevna22";
  std::vector<std::string> aliases;
  int sshPort = 0;     // 0: a free port per card (reported by the ready line)
  int streamPort = 0;  // 0: a free port per card
  int announcePort = 0;  // 0: announcements go to 127.0.0.1:21060
  int restartSeconds = 1;
  std::vector<std::string> faults;           // e.g. "drop-after=1000"
  std::vector<std::string> extraArguments;   // e.g. {"--clock-offset", "-3600"}
  std::filesystem::path stateFolder;         // empty: a temporary folder, removed at the end
  std::filesystem::path program = TREVNA_BINARY_DIR "/trevna-cardsim";
  int startTimeoutSeconds = 120;
};

class CardSim {
 public:
  explicit CardSim(CardSimOptions options = {}) : options_(std::move(options)) {
    if (options_.stateFolder.empty()) {
      std::random_device random;
      state_ = std::filesystem::temp_directory_path() /
               ("trevna-cardsim-" + std::to_string(getpid()) + "-" + std::to_string(random()));
      removeState_ = true;
    } else {
      state_ = options_.stateFolder;
    }
    std::filesystem::create_directories(state_);
    askpass_ = state_ / "askpass.sh";
    {
      std::ofstream script(askpass_);
      script << "#!/bin/sh\nprintf '%s\\n' \"$TREVNA_TEST_PASSWORD\"\n";
    }
    std::filesystem::permissions(askpass_, std::filesystem::perms::owner_all);
    Start();
  }

  ~CardSim() {
    Stop();
    if (removeState_) {
      std::error_code ignored;
      std::filesystem::remove_all(state_, ignored);
    }
  }

  CardSim(const CardSim&) = delete;
  CardSim& operator=(const CardSim&) = delete;

  const std::string& Address() const { return options_.addresses.front(); }
  const std::string& User() const { return options_.user; }
  const std::string& Password() const { return options_.password; }
  int SshPort(const std::string& address = "") const { return ports_.at(Pick(address)).first; }
  int StreamPort(const std::string& address = "") const { return ports_.at(Pick(address)).second; }
  std::filesystem::path StateFolder() const { return state_; }
  std::filesystem::path CardFolder(const std::string& address = "") const { return state_ / Pick(address); }
  bool Running() const { return pid_ > 0; }

  // Everything the simulator printed on stdout so far.
  std::string Output() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return output_;
  }

  // The card's log (DIR/<address>/log.jsonl), one JSON object per line.
  std::vector<nlohmann::json> Log(const std::string& address = "") const {
    std::vector<nlohmann::json> lines;
    std::ifstream in(CardFolder(address) / "log.jsonl");
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty()) lines.push_back(nlohmann::json::parse(line, nullptr, false));
    }
    return lines;
  }

  // Log lines of one event.
  std::vector<nlohmann::json> Events(const std::string& event, const std::string& address = "") const {
    std::vector<nlohmann::json> result;
    for (auto& line : Log(address)) {
      if (line.is_object() && line.value("event", "") == event) result.push_back(line);
    }
    return result;
  }

  // Waits until a log line satisfies `predicate`; returns it (null json on time-out).
  nlohmann::json WaitForLog(const std::function<bool(const nlohmann::json&)>& predicate, int timeoutMs,
                            const std::string& address = "") const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
      for (auto& line : Log(address)) {
        if (line.is_object() && predicate(line)) return line;
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
    if (options_.announcePort > 0) {
      argv.insert(argv.end(), {"--announce-to", "127.0.0.1:" + std::to_string(options_.announcePort)});
    }
    argv.insert(argv.end(), options_.extraArguments.begin(), options_.extraArguments.end());

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    auto args = detail::CStrings(argv);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      execv(args[0], args.data());
      _exit(127);
    }
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
  std::filesystem::path state_;
  std::filesystem::path askpass_;
  bool removeState_ = false;
  pid_t pid_ = -1;
  std::thread reader_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::string output_;
  bool ended_ = false;
  std::map<std::string, std::pair<int, int>> ports_;
};

}  // namespace trevna_test
