#include "base/file_status.h"

#include <windows.h>
#include <sys/stat.h>
#include <sys/types.h>

#include "base/text.h"

namespace platform {

std::optional<std::uint64_t> RegularFileSize(std::FILE* file) {
  struct _stat64 status {};
  if (!file || ::_fstat64(_fileno(file), &status) != 0 || (status.st_mode & _S_IFMT) != _S_IFREG ||
      status.st_size < 0) {
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(status.st_size);
}

std::optional<FileIdentity> IdentityOf(const std::string& utf8Path) {
  // Only the attributes are asked for, with every sharing mode, so a file that another
  // program holds open is still found; folders need the backup flag to be opened at all.
  const HANDLE handle = CreateFileW(WideFromUtf8(utf8Path).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION information{};
  const bool known = GetFileInformationByHandle(handle, &information) != FALSE;
  CloseHandle(handle);
  if (!known) return std::nullopt;
  return FileIdentity{information.dwVolumeSerialNumber,
                      std::uint64_t{information.nFileIndexHigh} << 32 | information.nFileIndexLow};
}

}  // namespace platform
