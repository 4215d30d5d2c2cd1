// The small platform layer of the core: the only place that talks to Win32 (platform_win.cpp)
// or POSIX (platform_posix.cpp) directly. Everything above it is portable.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace platform {

// Writes a line to the debugger output (OutputDebugStringA on Windows; natively to stderr
// when the environment variable TREVNA_TRACE is set, otherwise nowhere).
void DebugOutput(const char* text);

// Milliseconds of a monotonic clock, for timing traces.
std::uint32_t TickMilliseconds();

// Opens a file by a path given in UTF-8 (wide APIs on Windows); null on failure, errno kept.
std::FILE* OpenFile(const std::string& utf8Path, const char* mode);

// Creates a new file for writing ("wb") by a UTF-8 path: fails when anything is there already,
// a link included, so that it never writes through a planted link or over another writer's
// file. `ownerOnly` makes it readable by its owner alone where the platform has modes. Null on
// failure with errno set (EEXIST when something is there); a failure leaves nothing behind.
std::FILE* CreateNewFile(const std::string& utf8Path, bool ownerOnly = false);

// The calling process's id.
std::uint32_t ProcessId();

// A lock that other processes, and other FileLock objects of this one, respect: taken on the
// lock file `utf8Path`, which is created when missing (never through a link, readable by its
// owner alone) and left in place. Exclusive locks wait for every other holder, shared ones only
// for an exclusive holder. The wait is bounded, so a hung holder makes the caller fail instead
// of hanging it. The lock goes with the object (or with the process, however it ends).
class FileLock {
 public:
  FileLock(const std::string& utf8Path, bool exclusive, std::uint32_t timeoutMs);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // False when the lock file could not be opened or the wait ran out.
  bool Locked() const { return locked_; }

 private:
  std::intptr_t handle_ = -1;
  bool locked_ = false;
};

// An environment variable as UTF-8 (read as wide text on Windows); empty when it is not set.
std::string EnvironmentVariable(const char* name);

// The folder of this program's per-user files (UTF-8, no separator at the end):
//   Windows  %APPDATA%\TrevnaConf
//   Linux    $XDG_CONFIG_HOME/trevnaconf, else ~/.config/trevnaconf
std::string UserSettingsFolder();

// Replaces `target` with `source` in one step, flushed to disk where the platform can.
// Returns false on failure and leaves both files as they were.
bool ReplaceFileAtomically(const std::string& utf8Source, const std::string& utf8Target);

// Removes a file; a missing file is not an error. Returns false when it stays.
bool RemoveFile(const std::string& utf8Path);

// Flushes the file's written data to the disk (fflush + fsync / FlushFileBuffers).
bool SyncFile(std::FILE* file);

// 64-bit file positions (_fseeki64 / fseeko); Seek returns false and Tell -1 on failure.
bool Seek(std::FILE* file, std::int64_t offset, int origin);
std::int64_t Tell(std::FILE* file);

// Whether the stream is a terminal (progress lines are shown only there).
bool IsTerminal(std::FILE* stream);

// Puts the stream in binary mode, so that the bytes written reach it unchanged (no CR LF
// translation on Windows; nothing to do natively).
void SetBinaryMode(std::FILE* stream);

// The separator of path components in the paths this system's dialogs hand over: '\\' on
// Windows, '/' natively.
wchar_t PathSeparator();

// A file system path from UTF-8 text and back (through the wide form on Windows; the bytes
// themselves natively).
std::filesystem::path PathFromUtf8(const std::string& utf8Path);
std::string Utf8FromPath(const std::filesystem::path& path);

// The program's arguments in UTF-8, converted once at entry. On Windows they are read from the
// wide command line (GetCommandLineW, CommandLineToArgvW), so that a path with Polish letters
// arrives whole whatever the ANSI code page; natively `argv` already is UTF-8 and is returned
// as it is.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace platform
