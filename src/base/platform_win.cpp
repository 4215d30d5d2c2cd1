#include "base/platform.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

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

bool ReplaceFileAtomically(const std::string& utf8Source, const std::string& utf8Target) {
  return MoveFileExW(WideFromUtf8(utf8Source).c_str(), WideFromUtf8(utf8Target).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
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
