#include "device/local_files.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "base/platform.h"
#include "base/text.h"

namespace device {

namespace {

std::filesystem::path PathOf(const std::string& narrow) { return platform::PathFromUtf8(Utf8FromCp1250(narrow)); }

class FileSystem : public LocalFiles {
 public:
  bool IsDirectory(const std::string& path) override {
    std::error_code error;
    return std::filesystem::is_directory(PathOf(path), error);
  }
  bool Exists(const std::string& path) override {
    std::error_code error;
    return std::filesystem::exists(PathOf(path), error);
  }
  void CreateFolder(const std::string& path) override {
    std::error_code error;
    std::filesystem::create_directory(PathOf(path), error);
  }
  std::optional<std::uint64_t> FreeSpace(const std::string& folder) override {
    std::error_code error;
    const std::filesystem::space_info space = std::filesystem::space(PathOf(folder.empty() ? "." : folder), error);
    if (error || space.available == static_cast<std::uintmax_t>(-1)) return std::nullopt;
    return static_cast<std::uint64_t>(space.available);
  }
};

}  // namespace

LocalFiles& RealFiles() {
  static FileSystem files;
  return files;
}

void WriteWholeFile(const std::string& path, const std::string& data) {
  PartialFile file(path);
  file.Write(data.data(), data.size());
  file.Commit();
}

}  // namespace device
