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

PartialFile::PartialFile(std::string path) : path_(std::move(path)), temporary_(path_ + ".part~") {
  try {
    file_ = std::make_unique<File>(temporary_, "wb");
  } catch (const std::runtime_error&) {
    throw std::runtime_error(OpenFailedText(path_));
  }
}

PartialFile::~PartialFile() {
  if (!committed_) {
    file_.reset();
    platform::RemoveFile(Utf8FromCp1250(temporary_));
  }
}

void PartialFile::Write(const void* data, std::size_t size) {
  if (size == 0) return;
  try {
    file_->Write(data, size);
  } catch (const std::runtime_error&) {
    throw std::runtime_error(WriteFailedText(path_));
  }
}

void PartialFile::Commit() {
  try {
    file_->Sync();
    file_->Close();
  } catch (const std::runtime_error&) {
    throw std::runtime_error(WriteFailedText(path_));
  }
  file_.reset();
  if (!platform::ReplaceFileAtomically(Utf8FromCp1250(temporary_), Utf8FromCp1250(path_))) {
    throw std::runtime_error(WriteFailedText(path_));
  }
  committed_ = true;
}

void WriteWholeFile(const std::string& path, const std::string& data) {
  PartialFile file(path);
  file.Write(data.data(), data.size());
  file.Commit();
}

}  // namespace device
