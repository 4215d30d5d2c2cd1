#include "base/platform.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <shellapi.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "base/text.h"

namespace platform {

void DebugOutput(const char* text) {
  OutputDebugStringA(text);
}

std::uint32_t TickMilliseconds() {
  return static_cast<std::uint32_t>(GetTickCount64());
}

std::FILE* OpenFile(const std::string& utf8Path, const char* mode) {
  const std::wstring wideMode = WideFromUtf8(mode);
  return _wfopen(WideFromUtf8(utf8Path).c_str(), wideMode.c_str());
}

namespace {

int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    default:
      return EACCES;
  }
}

}  // namespace

std::FILE* CreateNewFile(const std::string& utf8Path, bool) {
  // CREATE_NEW fails on any existing name, a link included. The ACL of the folder decides who
  // else may read the file.
  const std::wstring path = WideFromUtf8(utf8Path);
  const HANDLE handle =
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = ErrnoOf(GetLastError());
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  std::FILE* file = fd < 0 ? nullptr : _fdopen(fd, "wb");
  if (!file) {
    if (fd < 0) CloseHandle(handle);
    else _close(fd);
    DeleteFileW(path.c_str());
    errno = EMFILE;
  }
  return file;
}

std::uint32_t ProcessId() { return static_cast<std::uint32_t>(GetCurrentProcessId()); }

FileLock::FileLock(const std::string& utf8Path, bool exclusive, std::uint32_t timeoutMs) {
  const HANDLE handle = CreateFileW(WideFromUtf8(utf8Path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  handle_ = reinterpret_cast<std::intptr_t>(handle);
  // Byte 0 of the lock file, per handle: two objects of one process exclude each other too.
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  DWORD pause = 1;
  for (;;) {
    OVERLAPPED at = {};
    const DWORD flags = (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | LOCKFILE_FAIL_IMMEDIATELY;
    if (LockFileEx(handle, flags, 0, 1, 0, &at)) {
      locked_ = true;
      return;
    }
    if (GetLastError() != ERROR_LOCK_VIOLATION || GetTickCount64() >= deadline) return;
    Sleep(pause);
    pause = pause * 2 > 20 ? 20 : pause * 2;
  }
}

FileLock::~FileLock() {
  if (handle_ == -1) return;
  const auto handle = reinterpret_cast<HANDLE>(handle_);
  if (locked_) {
    OVERLAPPED at = {};
    UnlockFileEx(handle, 0, 1, 0, &at);
  }
  CloseHandle(handle);
}

std::string EnvironmentVariable(const char* name) {
  const std::wstring wide = WideFromUtf8(name);
  const wchar_t* value = _wgetenv(wide.c_str());
  return value ? Utf8FromWide(value) : std::string();
}

std::string UserSettingsFolder() { return EnvironmentVariable("APPDATA") + "\\TrevnaConf"; }

bool ReplaceFileAtomically(const std::string& utf8Source, const std::string& utf8Target) {
  const std::wstring source = WideFromUtf8(utf8Source), target = WideFromUtf8(utf8Target);
  // A target that someone has open for reading (another program, a virus scanner looking at
  // the new file) cannot be replaced until it is closed: such readers go within moments, so
  // the rename is tried again for a second before it counts as failed.
  for (DWORD waited = 0;; waited += 20) {
    if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    const DWORD error = GetLastError();
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) || waited >= 1000) return false;
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    Sleep(20);
  }
}

bool RemoveFile(const std::string& utf8Path) {
  const std::wstring path = WideFromUtf8(utf8Path);
  return DeleteFileW(path.c_str()) != 0 || GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool SyncFile(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) != 0;
}

bool Seek(std::FILE* file, std::int64_t offset, int origin) { return _fseeki64(file, offset, origin) == 0; }

std::int64_t Tell(std::FILE* file) { return _ftelli64(file); }

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

void SetBinaryMode(std::FILE* stream) { _setmode(_fileno(stream), _O_BINARY); }

wchar_t PathSeparator() { return L'\\'; }

std::filesystem::path PathFromUtf8(const std::string& utf8Path) { return std::filesystem::path(WideFromUtf8(utf8Path)); }

std::string Utf8FromPath(const std::filesystem::path& path) { return Utf8FromWide(path.wstring()); }

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) {
    // Without the wide command line the narrow arguments are all there is.
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) arguments.emplace_back(argv[i] ? argv[i] : "");
    return arguments;
  }
  std::vector<std::string> arguments = Utf8FromWideArguments(count, wide);
  LocalFree(wide);
  return arguments;
}

}  // namespace platform
