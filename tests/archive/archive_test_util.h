// Helpers shared by the archive tests: temporary folders and files, JPEG frames.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/jpeg_codec.h"

namespace archive_test {

// A fresh folder under the system's temporary folder, removed when the object goes.
class TempFolder {
 public:
  explicit TempFolder(const std::string& name) {
    path_ = std::filesystem::temp_directory_path() / ("trevna-archive-" + name + "-" + std::to_string(Counter()++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  static int& Counter() {
    static int counter = 0;
    return counter;
  }
  std::filesystem::path path_;
};

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string Encode(const std::vector<std::uint8_t>& pixels, std::uint32_t width, std::uint32_t height,
                          std::uint32_t components, int quality) {
  std::uint8_t* jpeg = nullptr;
  std::uint32_t length = 0;
  if (!EncodeJpeg(pixels.data(), width, height, components, quality, &jpeg, &length)) return {};
  HeapBytes owned(jpeg);
  return std::string(reinterpret_cast<const char*>(jpeg), length);
}

inline const std::uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

}  // namespace archive_test
