#include "card_paths.h"

#include <cstdio>
#include <unistd.h>

#include "card.h"

namespace cardsim {

std::optional<std::filesystem::path> CardPath(const Card& card, const std::string& path) {
  if (path == "/etc/vemo/program.doz") return card.ProgramFile();
  static const std::string drive = "/mnt/usbdrive";
  if (path.compare(0, drive.size(), drive) != 0) return std::nullopt;
  if (path.size() > drive.size() && path[drive.size()] != '/') return std::nullopt;
  std::filesystem::path result = card.DriveFolder();
  std::size_t pos = drive.size();
  while (pos < path.size()) {
    std::size_t end = path.find('/', pos + 1);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(pos + 1, end - pos - 1);
    pos = end;
    if (part.empty() || part == ".") continue;
    if (part == "..") return std::nullopt;
    result /= part;
  }
  return result;
}

bool WriteFileAtomically(const std::filesystem::path& path, const std::string& bytes) {
  const std::filesystem::path temp = path.string() + ".part";
  std::FILE* file = std::fopen(temp.c_str(), "wb");
  if (!file) return false;
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = std::fflush(file) == 0 && ok;
  ok = ::fsync(fileno(file)) == 0 && ok;
  ok = std::fclose(file) == 0 && ok;
  std::error_code error;
  if (ok) std::filesystem::rename(temp, path, error);
  if (!ok || error) {
    std::filesystem::remove(temp, error);
    return false;
  }
  return true;
}

}  // namespace cardsim
