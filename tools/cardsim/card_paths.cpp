#include "card_paths.h"

#include "card.h"

namespace cardsim {

std::optional<std::filesystem::path> CardPath(const Card& card, const std::string& path) {
  if (path == "/etc/vemo/program.doz") return card.ProgramFile();
  if (path == "/etc/vemo/program.doz.new") return card.NewProgramFile();
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

}  // namespace cardsim
