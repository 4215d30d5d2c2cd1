#include "program_package.h"

#include <cstdio>
#include <map>
#include <stdexcept>

#include "base/bytes.h"

namespace cardsim {
namespace {

constexpr std::uint32_t kTagPackage = 11;
constexpr std::uint32_t kTagFileEntry = 12;
constexpr std::uint32_t kTagFileName = 13;
constexpr std::uint32_t kTagFileData = 14;
constexpr std::size_t kMaskFileSize = 3366;
constexpr std::size_t kMaskRowBytes = 23;

struct Chunk {
  std::uint32_t tag;
  const std::uint8_t* data;
  std::size_t size;
};

// Walks a sequence of chunks. A header or payload cut short ends the walk, as the document
// reader does: what came before counts.
std::vector<Chunk> Chunks(const std::uint8_t* data, std::size_t size) {
  std::vector<Chunk> chunks;
  std::size_t pos = 0;
  while (size - pos >= 8) {
    const std::uint32_t tag = LoadU32(data + pos);
    const std::uint32_t length = LoadU32(data + pos + 4);
    if (length < 8 || length - 8 > size - pos - 8) break;
    chunks.push_back({tag, data + pos + 8, length - 8u});
    pos += length;
  }
  return chunks;
}

// "key = value" lines of config.txt; ';' starts a comment.
std::map<std::string, std::string> ConfigValues(const std::string& text) {
  std::map<std::string, std::string> values;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (const std::size_t semi = line.find(';'); semi != std::string::npos) line.resize(semi);
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    auto trim = [](std::string s) {
      const char* blanks = " \t\r";
      const std::size_t b = s.find_first_not_of(blanks);
      if (b == std::string::npos) return std::string();
      return s.substr(b, s.find_last_not_of(blanks) - b + 1);
    };
    values[trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
  }
  return values;
}

unsigned Number(const std::map<std::string, std::string>& values, const std::string& key, unsigned fallback) {
  const auto it = values.find(key);
  if (it == values.end()) return fallback;
  unsigned value = 0;
  char extra = 0;
  if (std::sscanf(it->second.c_str(), "%u%c", &value, &extra) != 1) {
    throw std::runtime_error("config.txt: bad value of " + key + ": " + it->second);
  }
  return value;
}

}  // namespace

std::vector<std::uint8_t> DecodeMaskBitmap(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() != kMaskFileSize) throw std::runtime_error("mask of " + std::to_string(bytes.size()) + " bytes");
  const std::uint8_t* p = bytes.data();
  if (p[0] != 'B' || p[1] != 'M' || LoadU32(p + 10) != 54 || LoadU32(p + 18) != kPictureWidth ||
      LoadU32(p + 22) != kPictureHeight || LoadU16(p + 26) != 1 || LoadU16(p + 28) != 1 || LoadU32(p + 30) != 0) {
    throw std::runtime_error("mask is not a 1-bit 180 x 144 bitmap");
  }
  std::vector<std::uint8_t> mask(kPictureWidth * kPictureHeight);
  for (int fileRow = 0; fileRow < kPictureHeight; ++fileRow) {
    const int y = kPictureHeight - 1 - fileRow;  // rows are stored bottom-up
    const std::uint8_t* row = p + 54 + fileRow * kMaskRowBytes;
    for (int x = 0; x < kPictureWidth; ++x) {
      mask[y * kPictureWidth + x] = (row[x / 8] >> (7 - x % 8)) & 1;
    }
  }
  return mask;
}

Program ParseProgramFile(const std::vector<std::uint8_t>& bytes) {
  const Chunk* package = nullptr;
  const std::vector<Chunk> top = Chunks(bytes.data(), bytes.size());
  for (const Chunk& chunk : top) {
    if (chunk.tag == kTagPackage) {
      package = &chunk;
      break;
    }
  }
  if (!package) throw std::runtime_error("no program package (chunk 11) in the program file");

  std::map<std::string, std::vector<std::uint8_t>> files;
  for (const Chunk& entry : Chunks(package->data, package->size)) {
    if (entry.tag != kTagFileEntry) continue;
    const std::vector<Chunk> parts = Chunks(entry.data, entry.size);
    if (parts.size() != 2 || parts[0].tag != kTagFileName || parts[1].tag != kTagFileData) {
      throw std::runtime_error("malformed file entry in the program package");
    }
    files[std::string(reinterpret_cast<const char*>(parts[0].data), parts[0].size)] =
        std::vector<std::uint8_t>(parts[1].data, parts[1].data + parts[1].size);
  }
  const auto config = files.find("config.txt");
  if (config == files.end()) throw std::runtime_error("config.txt missing from the program package");
  const std::map<std::string, std::string> values =
      ConfigValues(std::string(config->second.begin(), config->second.end()));

  Program program;
  if (const auto alias = values.find("alias"); alias != values.end()) program.alias = alias->second;
  const unsigned count = Number(values, "det_count", 0);
  if (count > 64 * 4) throw std::runtime_error("det_count " + std::to_string(count) + " is too large");
  for (unsigned i = 1; i <= count; ++i) {
    const std::string prefix = "det" + std::to_string(i);
    ProgramDetector detector;
    detector.position = i;
    detector.track = Number(values, prefix + "_card", 0);
    detector.number = Number(values, prefix + "_number", 1);
    detector.contrast = Number(values, prefix + "_contrast", 0) != 0;
    if (detector.track > 3) throw std::runtime_error(prefix + "_card is not 0..3");
    std::string area = prefix + ".bmp";
    if (const auto it = values.find(prefix + "_area"); it != values.end()) area = it->second;
    const auto file = files.find(area);
    if (file == files.end()) throw std::runtime_error(area + " missing from the program package");
    try {
      detector.mask = DecodeMaskBitmap(file->second);
    } catch (const std::exception& e) {
      throw std::runtime_error(area + ": " + e.what());
    }
    for (std::uint8_t bit : detector.mask) detector.areaPixels += bit;
    program.detectors.push_back(std::move(detector));
  }
  return program;
}

}  // namespace cardsim
