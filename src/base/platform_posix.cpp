#include "base/platform.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

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

bool ReplaceFileAtomically(const std::string& utf8Source, const std::string& utf8Target) {
  return std::rename(utf8Source.c_str(), utf8Target.c_str()) == 0;
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
