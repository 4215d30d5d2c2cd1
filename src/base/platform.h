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
