#include "base/platform.h"

#include <windows.h>
#include <io.h>

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

}  // namespace platform
