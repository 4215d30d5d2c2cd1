// The file of remembered card keys: many processes writing at once keep every pin, a file that
// cannot be read refuses the login and stays as it is, and lines the program does not
// understand survive every write.
//
// The writers are this test program started again: with TREVNA_TEST_PIN_FILE set it does the
// writer's work before main (see WriterMain) and ends.
#include "device/known_cards.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <process.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

#include "base/file.h"
#include "base/text.h"
#include "support/files.h"

namespace {

namespace fs = std::filesystem;
using trevna_test::ReadBytes;
using trevna_test::WriteBytes;

constexpr int kRounds = 5;
constexpr int kRefused = 3;  // a writer's exit code: refused with the read text naming the file

std::string Card(int writer) { return "10.0.0." + std::to_string(writer + 1); }
std::string Key(int writer, int round) {
  return "SHA256:writer" + std::to_string(writer) + "round" + std::to_string(round);
}

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

void SetVariable(const char* name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name, value.c_str());
#else
  if (value.empty()) unsetenv(name);
  else setenv(name, value.c_str(), 1);
#endif
}

// One writer: waits until the go file appears, so that all start together, then logs in to its
// own card kRounds times, each time with a new key that it accepts.
int WriterMain() {
  const std::string path = Variable("TREVNA_TEST_PIN_FILE");
  const std::string go = Variable("TREVNA_TEST_PIN_GO");
  const int writer = std::atoi(Variable("TREVNA_TEST_PIN_WRITER").c_str());
#ifndef _WIN32
  if (!Variable("TREVNA_TEST_PIN_AS_NOBODY").empty() && geteuid() == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) return 5;
  }
#endif
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!go.empty() && !fs::exists(go)) {
    if (std::chrono::steady_clock::now() > deadline) return 4;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  device::HostKeyPolicy policy;
  policy.knownCardsPath = path;
  policy.acceptNewKey = true;
  try {
    for (int round = 0; round < kRounds; ++round) device::CheckHostKey(policy, Card(writer), Key(writer, round));
  } catch (const std::runtime_error& e) {
    if (e.what() == ReadFailedText(Cp1250FromUtf8(path))) return kRefused;
    std::fprintf(stderr, "writer %d: %s\n", writer, Utf8FromCp1250(e.what()).c_str());
    return 2;
  }
  return 0;
}

[[maybe_unused]] const bool kStartedAsWriter = [] {
  if (Variable("TREVNA_TEST_PIN_FILE").empty()) return false;
  const int code = WriterMain();
  std::fflush(stderr);
  std::_Exit(code);
}();

// Starts this program as writer `writer` (the variables set above reach it); returns its exit
// code through Wait.
struct Writer {
#ifdef _WIN32
  intptr_t handle = -1;
#else
  pid_t pid = -1;
#endif
};

Writer StartWriter(int writer) {
  SetVariable("TREVNA_TEST_PIN_WRITER", std::to_string(writer));
  Writer started;
#ifdef _WIN32
  const char* self = _pgmptr;
  started.handle = _spawnl(_P_NOWAIT, self, self, nullptr);
#else
  char self[] = "/proc/self/exe";
  char* argv[] = {self, nullptr};
  if (posix_spawn(&started.pid, self, nullptr, nullptr, argv, environ) != 0) started.pid = -1;
#endif
  return started;
}

int Wait(const Writer& writer) {
#ifdef _WIN32
  if (writer.handle == -1) return -1;
  int code = -1;
  _cwait(&code, writer.handle, _WAIT_CHILD);
  return code;
#else
  if (writer.pid < 0) return -1;
  int status = 0;
  if (waitpid(writer.pid, &status, 0) != writer.pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
#endif
}

// Runs `count` writers at once on `path`; their exit codes.
std::vector<int> RunWriters(const std::string& path, const std::string& go, int count, bool asNobody = false) {
  SetVariable("TREVNA_TEST_PIN_FILE", path);
  SetVariable("TREVNA_TEST_PIN_GO", go);
  SetVariable("TREVNA_TEST_PIN_AS_NOBODY", asNobody ? "1" : "");
  std::vector<Writer> writers;
  for (int i = 0; i < count; ++i) writers.push_back(StartWriter(i));
  for (const char* name : {"TREVNA_TEST_PIN_FILE", "TREVNA_TEST_PIN_GO", "TREVNA_TEST_PIN_WRITER",
                           "TREVNA_TEST_PIN_AS_NOBODY"}) {
    SetVariable(name, "");
  }
  if (!go.empty()) WriteBytes(go, "");
  std::vector<int> codes;
  for (const Writer& w : writers) codes.push_back(Wait(w));
  return codes;
}

// Lines that are no "name fingerprint" pair, or that belong to someone else: all stay.
const std::string kForeignLines =
    "# karty serwisu\n"
    "10.9.9.9 SHA256:old extra-word\r\n"
    "\n"
    "10.8.8.8 SHA256:someone-else\n";

TEST(KnownCards, TwentyProcessesAtOnceKeepEveryPin) {
  const trevna_test::TempFolder folder("pins");
  const std::string path = folder.File("known_cards");
  WriteBytes(path, kForeignLines);
  constexpr int kWriters = 20;
  const std::vector<int> codes = RunWriters(path, folder.File("go"), kWriters);
  for (int i = 0; i < kWriters; ++i) EXPECT_EQ(codes[i], 0) << "writer " << i;

  const std::string text = ReadBytes(path);
  EXPECT_EQ(text.substr(0, kForeignLines.size()), kForeignLines);
  const device::KnownCards known(path);
  for (int i = 0; i < kWriters; ++i) EXPECT_EQ(known.Find(Card(i)), Key(i, kRounds - 1)) << Card(i);
  EXPECT_EQ(known.Find("10.8.8.8"), "SHA256:someone-else");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4 + kWriters) << text;
  // Nothing but the file, its lock file and the go file: no temporary file stays.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.Path()), {}), 3);
}

TEST(KnownCards, AFileThatCannotBeReadRefusesTheLoginAndStays) {
  const trevna_test::TempFolder folder("pins-unreadable");
  device::HostKeyPolicy accepting;
  accepting.acceptNewKey = true;
  const auto refusal = [](const std::string& path) { return ReadFailedText(Cp1250FromUtf8(path)); };

  // A folder in the file's place (a read error natively, an open error on Windows).
  accepting.knownCardsPath = folder.File("folder/known_cards");
  fs::create_directories(accepting.knownCardsPath);
  WriteBytes(fs::path(accepting.knownCardsPath) / "inside", "x");
  try {
    device::CheckHostKey(accepting, "10.0.0.1", "SHA256:any");
    ADD_FAILURE() << "a key was accepted without the file";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(e.what(), refusal(accepting.knownCardsPath));
  }
  EXPECT_TRUE(fs::is_directory(accepting.knownCardsPath));
  EXPECT_EQ(ReadBytes(fs::path(accepting.knownCardsPath) / "inside"), "x");
  try {
    device::KnownCards(accepting.knownCardsPath).Remember("10.0.0.3", "SHA256:any");
    ADD_FAILURE() << "remembered over a file that could not be read";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(e.what(), refusal(accepting.knownCardsPath));
  }

#ifndef _WIN32
  // A file its user may not read, in a folder the user may write: a writer started as another
  // user (nobody, when the test runs as root) is refused and the file stays byte for byte.
  const fs::path shared = folder / "shared";
  fs::create_directory(shared);
  fs::permissions(shared, fs::perms::all);
  const std::string path = (shared / "known_cards").string();
  WriteBytes(path, kForeignLines);
  fs::permissions(path, fs::perms::none);
  EXPECT_EQ(RunWriters(path, "", 1, true), std::vector<int>{kRefused});
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(ReadBytes(path), kForeignLines);
#endif
}

TEST(KnownCards, AMissingFileIsAnEmptyListAndTheOldTemporaryNameIsNoLink) {
  const trevna_test::TempFolder folder("pins-new");
  const std::string path = folder.File("nowy/folder/known_cards");
  const device::KnownCards known(path);
  EXPECT_EQ(known.Find("10.0.0.1"), std::nullopt);
  // Someone who may write the folder plants a link where the file's temporary file used to go.
  fs::create_directories(folder / "nowy/folder");
  const fs::path victim = folder / "victim";
  WriteBytes(victim, "keep me");
  std::error_code linkError;
  fs::create_symlink(victim, path + ".new", linkError);
  known.Remember("10.0.0.1", "SHA256:first");
  known.Remember("10.0.0.2", "SHA256:second");
  known.Remember("10.0.0.1", "SHA256:replaced");
  EXPECT_EQ(ReadBytes(path), "10.0.0.1 SHA256:replaced\n10.0.0.2 SHA256:second\n");
  EXPECT_EQ(ReadBytes(victim), "keep me");
}

}  // namespace
