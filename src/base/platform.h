// The small platform layer of the core: the only place that talks to Win32 (platform_win.cpp)
// or POSIX (platform_posix.cpp) directly. Everything above it is portable.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

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

}  // namespace platform
