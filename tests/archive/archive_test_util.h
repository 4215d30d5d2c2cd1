// Helpers shared by the archive tests: JPEG frames (and the shared temporary folders and files).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/jpeg_codec.h"
#include "support/files.h"

namespace archive_test {

using trevna_test::ReadBytes;
using trevna_test::TempFolder;
using trevna_test::WriteBytes;

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
