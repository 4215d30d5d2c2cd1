#include "base/platform.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace platform {

void DebugOutput(const char* text) {
  static const bool enabled = std::getenv("TREVNA_TRACE") != nullptr;
  if (enabled) std::fputs(text, stderr);
}

std::uint32_t TickMilliseconds() {
  using namespace std::chrono;
  return static_cast<std::uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::FILE* OpenFile(const std::string& utf8Path, const char* mode) {
  return std::fopen(utf8Path.c_str(), mode);
}

std::FILE* CreateNewFile(const std::string& utf8Path, bool ownerOnly) {
  const int fd = ::open(utf8Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        ownerOnly ? 0600 : 0666);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, "wb");
  if (!file) {
    const int error = errno;
    ::close(fd);
    ::unlink(utf8Path.c_str());
    errno = error;
  }
  return file;
}

std::uint32_t ProcessId() { return static_cast<std::uint32_t>(::getpid()); }

FileLock::FileLock(const std::string& utf8Path, bool exclusive, std::uint32_t timeoutMs) {
  const int fd = ::open(utf8Path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return;
  handle_ = fd;
  // flock belongs to the open file, so two objects of one process exclude each other too.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::chrono::milliseconds pause(1);
  for (;;) {
    if (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) {
      locked_ = true;
      return;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) return;
    if (std::chrono::steady_clock::now() >= deadline) return;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(20));
  }
}

FileLock::~FileLock() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));  // releases the lock
}

std::string EnvironmentVariable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : std::string();
}

std::string UserSettingsFolder() {
  const std::string config = EnvironmentVariable("XDG_CONFIG_HOME");
  if (!config.empty()) return config + "/trevnaconf";
  return EnvironmentVariable("HOME") + "/.config/trevnaconf";
}

bool ReplaceFileAtomically(const std::string& utf8Source, const std::string& utf8Target) {
  if (std::rename(utf8Source.c_str(), utf8Target.c_str()) != 0) return false;
  // The new name reaches the disk with the folder's own entry.
  const std::string::size_type slash = utf8Target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : utf8Target.substr(0, slash);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
  return true;
}

bool RemoveFile(const std::string& utf8Path) {
  return ::unlink(utf8Path.c_str()) == 0 || access(utf8Path.c_str(), F_OK) != 0;
}

bool SyncFile(std::FILE* file) {
  return std::fflush(file) == 0 && ::fsync(fileno(file)) == 0;
}

bool Seek(std::FILE* file, std::int64_t offset, int origin) {
  return fseeko(file, static_cast<off_t>(offset), origin) == 0;
}

std::int64_t Tell(std::FILE* file) { return static_cast<std::int64_t>(ftello(file)); }

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

void SetBinaryMode(std::FILE*) {}

wchar_t PathSeparator() { return L'/'; }

std::filesystem::path PathFromUtf8(const std::string& utf8Path) { return std::filesystem::path(utf8Path); }

std::string Utf8FromPath(const std::filesystem::path& path) { return path.string(); }

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) arguments.emplace_back(argv[i] ? argv[i] : "");
  return arguments;
}

}  // namespace platform
