// Files for tests: a temporary folder of the test's own, and whole-file reads and writes.
// Portable (native and MinGW under Wine): std::filesystem only.
//
//   trevna_test::TempFolder folder("export");     // trevna-export-<process>-<n> in the temp folder
//   trevna_test::WriteBytes(folder / "a.avi", bytes);
//   Load(folder.File("a.trv"));                   // the same path as a std::string
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>

namespace trevna_test {

// A new, empty folder under the system's temporary folder, removed with everything in it when
// the object goes. Its name is unique per process and per instance, so test programs that run at
// the same time (natively and under Wine) never share one.
class TempFolder {
 public:
  explicit TempFolder(const std::string& tag) {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
      path_ = base / ("trevna-" + tag + "-" + ProcessToken() + "-" + std::to_string(counter++));
      if (std::filesystem::create_directory(path_)) return;
    }
    throw std::runtime_error("no new temporary folder under " + base.string());
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  operator const std::filesystem::path&() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  // Random per process (no process id without POSIX or Win32 calls).
  static const std::string& ProcessToken() {
    static const std::string token = [] {
      std::random_device random;
      const auto now = static_cast<std::uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
      std::mt19937_64 mix((static_cast<std::uint64_t>(random()) << 32) ^ now);
      return std::to_string(mix() % 1000000000u);
    }();
    return token;
  }

  std::filesystem::path path_;
};

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace trevna_test
