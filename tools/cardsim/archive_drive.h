// The card's archive drive (/mnt/usbdrive): on a card's first start, its folder is filled
// with a few day folders of short recordings (MJPEG AVI of the synthetic road, 180 x 144
// grey, 6.25 frames per second) and the archive settings file "archcfg.txt".
#pragma once

#include <filesystem>

namespace cardsim {

// Fills `drive` unless it exists already; returns the number of recordings written.
int PrepareArchiveDrive(const std::filesystem::path& drive);

}  // namespace cardsim
