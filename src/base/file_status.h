// What kind of thing an open file handle refers to, asked of the file system.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>

namespace platform {

// The size of the open file when it is a regular file; nothing for a folder, a device, a
// pipe or anything whose size the system cannot tell.
std::optional<std::uint64_t> RegularFileSize(std::FILE* file);

}  // namespace platform
