// The card's archive drive (/mnt/usbdrive): on a card's first start, its folder is filled
// with a few day folders of short recordings (MJPEG AVI of the synthetic road, 180 x 144
// grey, 6.25 frames per second) and the archive settings file "archcfg.txt".
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace cardsim {

// Fills `drive` unless it exists already; returns the number of recordings written.
int PrepareArchiveDrive(const std::filesystem::path& drive);

// One MJPEG AVI file of the given JPEG frames (180 x 144, 6.25 frames per second).
std::vector<std::uint8_t> BuildMjpegAvi(const std::vector<std::vector<std::uint8_t>>& frames, int width, int height);

// A grey picture as a baseline JPEG.
std::vector<std::uint8_t> EncodeGreyJpeg(const std::uint8_t* grey, int width, int height, int quality);

}  // namespace cardsim
