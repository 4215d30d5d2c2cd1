// Small helpers shared by the document file tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "base/chunk.h"
#include "doc/area_mask.h"
#include "doc/detector.h"

namespace docfile_test {

inline std::uint32_t U32At(const std::string& bytes, std::size_t at) { return LoadU32(bytes.data() + at); }

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A fresh folder under the system's temporary folder, removed with the object.
class TempFolder {
 public:
  explicit TempFolder(const std::string& name) {
    path_ = std::filesystem::temp_directory_path() /
            ("docfile-" + name + "-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& Path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// A detector as the editor inserts it: default vertices, width 1, no ladder, no fill.
inline Detector NewQuadrilateral() {
  Detector d;
  d.ladderSteps = 0;
  d.lineWidth = 1;
  return d;
}

inline AreaMask MaskOnWhite(const Detector& d) {
  raster::Surface background;
  background.Fill(raster::kWhite);
  ToGrey(background);
  return BuildAreaMask(d, background);
}

}  // namespace docfile_test
