#include "base/picture.h"

bool Picture::IsBlack(int x, int y) const {
  const std::size_t at = Offset(x, y);
  return pixels[at] == 0 && pixels[at + 1] == 0 && pixels[at + 2] == 0;
}

void Picture::SetGrey(int x, int y, std::uint8_t grey) {
  const std::size_t at = Offset(x, y);
  pixels[at] = pixels[at + 1] = pixels[at + 2] = grey;
}

std::uint8_t Picture::Grey(int x, int y) const {
  const std::size_t at = Offset(x, y);
  return static_cast<std::uint8_t>((unsigned{pixels[at]} + pixels[at + 1] + pixels[at + 2]) / 3);
}

bool Picture::HasBlack() const {
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (IsBlack(x, y)) return true;
  return false;
}
