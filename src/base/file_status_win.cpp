#include "base/file_status.h"

#include <sys/stat.h>
#include <sys/types.h>

namespace platform {

std::optional<std::uint64_t> RegularFileSize(std::FILE* file) {
  struct _stat64 status {};
  if (!file || ::_fstat64(_fileno(file), &status) != 0 || (status.st_mode & _S_IFMT) != _S_IFREG ||
      status.st_size < 0) {
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(status.st_size);
}

}  // namespace platform
