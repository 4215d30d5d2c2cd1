// The PC's file system as the device operations see it: existence checks for the "  [S]"
// markers, creating archive folders, and writing downloads so that a file appears under its
// final name only when it is complete. Paths are narrow (Windows-1250).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/file.h"

namespace device {

class LocalFiles {
 public:
  virtual ~LocalFiles() = default;
  virtual bool IsDirectory(const std::string& path) = 0;
  // Any kind of file-system object.
  virtual bool Exists(const std::string& path) = 0;
  // Creates one folder; an existing folder (or any failure) is ignored.
  virtual void CreateFolder(const std::string& path) = 0;
  // Bytes free for a file written into `folder` (an existing folder); none when unknown.
  virtual std::optional<std::uint64_t> FreeSpace(const std::string& folder) {
    (void)folder;
    return std::nullopt;
  }
};

// The real file system.
LocalFiles& RealFiles();

// A download in progress: bytes go to a temporary file beside `path` under a unique name,
// created new; Commit renames it into place. Destroyed without Commit, it removes the temporary
// file and `path` stays untouched. Open and write failures carry the file texts with the final
// name.
using PartialFile = ReplacingFile;

// Writes `data` to `path` through a PartialFile.
void WriteWholeFile(const std::string& path, const std::string& data);

}  // namespace device
