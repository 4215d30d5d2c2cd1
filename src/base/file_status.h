// What kind of thing an open file handle or a path refers to, asked of the file system.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace platform {

// The size of the open file when it is a regular file; nothing for a folder, a device, a
// pipe or anything whose size the system cannot tell.
std::optional<std::uint64_t> RegularFileSize(std::FILE* file);

// Which file a path names, as the file system tells it: the device and inode natively, the
// volume serial number and file index on Windows. Two spellings of one path (relative and
// absolute, "./", another letter case where names ignore case), a link followed to its file
// and two hard links to one file all have the same identity.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  bool operator==(const FileIdentity&) const = default;
};

// The identity of the file at `utf8Path`; nothing when no file can be asked there (none
// exists, or it cannot be reached).
std::optional<FileIdentity> IdentityOf(const std::string& utf8Path);

}  // namespace platform
