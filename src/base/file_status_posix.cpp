#include "base/file_status.h"

#include <sys/stat.h>

namespace platform {

std::optional<std::uint64_t> RegularFileSize(std::FILE* file) {
  struct stat status {};
  if (!file || ::fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < 0) {
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(status.st_size);
}

std::optional<FileIdentity> IdentityOf(const std::string& utf8Path) {
  struct stat status {};
  if (::stat(utf8Path.c_str(), &status) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

}  // namespace platform
