// What the card takes from its program file (the saved document, kept as
// /etc/vemo/program.doz): the program package in top-level chunk 11, whose file entries hold
// one area mask per detector ("det%u.bmp"), "config.txt" and "compose.txt".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cardsim {

constexpr int kPictureWidth = 180;
constexpr int kPictureHeight = 144;

struct ProgramDetector {
  unsigned position = 0;  // i of det%u (1-based list position)
  unsigned track = 0;     // det%u_card, 0..3
  unsigned number = 1;    // det%u_number
  bool contrast = false;
  std::vector<std::uint8_t> mask;  // 180 x 144, row 0 first, 1 = pixel belongs to the area
  unsigned areaPixels = 0;
};

struct Program {
  std::string alias;  // config.txt "alias"
  std::vector<ProgramDetector> detectors;
};

// Reads the program package out of a document file. Throws std::runtime_error with a short
// English reason (logged by the card) when the file holds no usable package.
Program ParseProgramFile(const std::vector<std::uint8_t>& bytes);

// Decodes one 1-bit 180 x 144 mask file; throws std::runtime_error when it is not one.
std::vector<std::uint8_t> DecodeMaskBitmap(const std::vector<std::uint8_t>& bytes);

}  // namespace cardsim
