// Runs a program for a test and collects what it did. Native (POSIX) only: include it from
// tests/<name>/native/ alone.
//
//   auto r = trevna_test::RunProcess({TREVNA_BINARY_DIR "/trevnactl", "check", path});
//   EXPECT_EQ(r.exitCode, 0) << r.err;
//   r = trevna_test::RunProcess({"cat"}, "abc", {"LANG=C", "TREVNA_PASSWORD"}, 30);
//
// The argument vector goes to the program as it stands (no shell, no quoting). Standard output
// and error are kept apart. A child that outlives the deadline is killed with its process group,
// and the result says so: a hung program fails its test instead of hanging it.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace trevna_test {

struct ProcessResult {
  int exitCode = -1;  // exit status, or 128 + signal number, or -1 when it could not run
  std::string out;
  std::string err;
  bool timedOut = false;  // killed at the deadline
};

namespace detail {

inline std::vector<char*> CStrings(std::vector<std::string>& strings) {
  std::vector<char*> result;
  for (std::string& s : strings) result.push_back(s.data());
  result.push_back(nullptr);
  return result;
}

inline int StatusCode(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// The current environment with `changes` applied (see RunProcess).
inline std::vector<std::string> Environment(const std::vector<std::string>& changes) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  for (const std::string& change : changes) {
    const std::string name = change.substr(0, change.find('=')) + "=";
    std::erase_if(env, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
    if (change.find('=') != std::string::npos) env.push_back(change);
  }
  return env;
}

// Starts `argv` (searched in PATH) in a session of its own, so that it has no controlling
// terminal (ssh then takes its password from SSH_ASKPASS) and its whole group can be killed.
// The descriptors become its standard input, output and error (-1: inherited); returns the pid
// or -1.
inline pid_t Spawn(std::vector<std::string> argv, const std::vector<std::string>& environment, int in, int out,
                   int err) {
  std::vector<std::string> env = Environment(environment);
  auto args = CStrings(argv);
  auto envp = CStrings(env);
  const pid_t pid = fork();
  if (pid == 0) {
    if (in >= 0) dup2(in, 0);
    if (out >= 0) dup2(out, 1);
    if (err >= 0) dup2(err, 2);
    setsid();
    execvpe(args[0], args.data(), envp.data());
    _exit(127);
  }
  return pid;
}

}  // namespace detail

// `input` goes to standard input (empty: closed at once). `environment`: "NAME=value" sets (or
// replaces) a variable of the inherited environment, "NAME" removes it.
inline ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input = "",
                                const std::vector<std::string>& environment = {}, int timeoutSeconds = 180) {
  ProcessResult result;
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0) return result;
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return result;
  }
  const pid_t pid = detail::Spawn(argv, environment, in[0], out[1], err[1]);
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
  int toChild = in[1];
  if (input.empty()) {
    close(toChild);
    toChild = -1;
  } else {
    fcntl(toChild, F_SETFL, O_NONBLOCK);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  bool outOpen = true, errOpen = true;
  while (outOpen || errOpen) {
    pollfd fds[3] = {{out[0], short(outOpen ? POLLIN : 0), 0}, {err[0], short(errOpen ? POLLIN : 0), 0},
                     {toChild, short(toChild >= 0 ? POLLOUT : 0), 0}};
    const int r = poll(fds, 3, 100);
    if (!result.timedOut && std::chrono::steady_clock::now() > deadline) {
      kill(-pid, SIGKILL);  // the group: children that hold the pipes go too
      result.timedOut = true;
    }
    if (result.timedOut && std::chrono::steady_clock::now() > deadline + std::chrono::seconds(10)) break;
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
    if (toChild >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      const ssize_t n = write(toChild, input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<std::size_t>(n);
      if (n < 0 || written == input.size()) {
        close(toChild);
        toChild = -1;
      }
    }
  }
  if (toChild >= 0) close(toChild);
  close(out[0]);
  close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitCode = detail::StatusCode(status);
  return result;
}

// trevnactl of this build with `args`.
inline ProcessResult RunTrevnactl(std::vector<std::string> args, const std::vector<std::string>& environment = {}) {
  args.insert(args.begin(), TREVNA_BINARY_DIR "/trevnactl");
  return RunProcess(args, "", environment);
}

}  // namespace trevna_test
