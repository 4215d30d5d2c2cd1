// Maps the card's file paths onto its state folder: "/etc/vemo/program.doz" is
// DIR/<address>/program.doz, "/etc/vemo/program.doz.new" DIR/<address>/program.doz.new, and
// everything under "/mnt/usbdrive" lives in DIR/<address>/usbdrive. Other paths, and paths
// that climb out with "..", are not on the card.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace cardsim {

class Card;

std::optional<std::filesystem::path> CardPath(const Card& card, const std::string& path);

}  // namespace cardsim
