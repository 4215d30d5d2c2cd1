#include "archive/avi.h"

#include <cstring>
#include <stdexcept>
#include <string>

#include "base/bytes.h"
#include "base/text.h"

namespace {

void PutTag(std::uint8_t* p, const char (&tag)[5]) { std::memcpy(p, tag, 4); }

bool IsTag(const std::uint8_t* p, const char (&tag)[5]) { return std::memcmp(p, tag, 4) == 0; }

void Add32(std::uint8_t* p, std::uint32_t delta) { StoreU32(p, LoadU32(p) + delta); }

[[noreturn]] void Fail(const char* utf8) { throw std::runtime_error(Cp1250FromUtf8(utf8)); }

constexpr const char* kTooSmall = "Zbyt mały rozmiar bloku RIFF.";
constexpr const char* kBadChunkHeader = "Niepoprawny nagłówek bloku RIFF.";

// The walk reads through a source: Bytes(offset, count) gives `count` bytes at `offset`.
// Offsets asked for never decrease, so a source may read the file front to back.
struct MemorySource {
  const std::uint8_t* data;
  const std::uint8_t* Bytes(std::uint64_t offset, std::size_t) const { return data + offset; }
};

struct StreamSource {
  AviSource& source;
  const std::uint8_t* Bytes(std::uint64_t offset, std::size_t count) const { return source.Bytes(offset, count); }
};

constexpr std::uint32_t Tag(const char (&tag)[5]) {
  return std::uint32_t{static_cast<std::uint8_t>(tag[0])} | std::uint32_t{static_cast<std::uint8_t>(tag[1])} << 8 |
         std::uint32_t{static_cast<std::uint8_t>(tag[2])} << 16 | std::uint32_t{static_cast<std::uint8_t>(tag[3])} << 24;
}

// Walks the chunks of one level: `remaining` bytes from file offset `at`. `visit` gets the
// id, the offset of the data and the size of each chunk whose size fits what is left.
template <typename Source, typename Visit>
void WalkChunks(const Source& source, std::uint64_t at, std::uint32_t remaining, Visit visit) {
  while (remaining >= 8) {
    const std::uint8_t* chunk = source.Bytes(at, 8);
    const std::uint32_t id = LoadU32(chunk);
    const std::uint32_t size = LoadU32(chunk + 4);
    if (size > remaining - 8) Fail(kBadChunkHeader);
    visit(id, at + 8, size);
    // The last chunk of a level may lack its padding byte; never step past the level.
    const std::uint64_t step = 8 + ((std::uint64_t{size} + 1) & ~std::uint64_t{1});
    if (step >= remaining) break;
    at += step;
    remaining -= static_cast<std::uint32_t>(step);
  }
}

void StorePictureSize(std::uint8_t* header, const std::uint8_t* avih) {
  const std::uint32_t width = LoadU32(avih + 32);
  const std::uint32_t height = LoadU32(avih + 36);
  StoreU32(header + kAviWidthOffset, width);
  StoreU32(header + kAviFormatWidthOffset, width);
  StoreU16(header + kAviFrameRightOffset, static_cast<std::uint16_t>(width));
  StoreU32(header + kAviHeightOffset, height);
  StoreU32(header + kAviFormatHeightOffset, height);
  StoreU16(header + kAviFrameBottomOffset, static_cast<std::uint16_t>(height));
  StoreU32(header + kAviImageSizeOffset, width * height * 3);
}

}  // namespace

std::uint32_t InitMjpegAvi(std::uint8_t* header, std::uint8_t* index, std::size_t indexCapacity) {
  if (indexCapacity < 8) return 0;
  std::uint8_t* h = header;
  std::memset(h, 0, kAviHeaderSize);
  PutTag(h + 0, "RIFF");
  StoreU32(h + 4, kAviHeaderSize - 8);
  PutTag(h + 8, "AVI ");
  PutTag(h + 12, "LIST");
  StoreU32(h + 16, 492);
  PutTag(h + 20, "hdrl");
  PutTag(h + 24, "avih");
  StoreU32(h + 28, 56);
  StoreU32(h + 32, 160000);   // microseconds per frame: 6.25 frames per second
  StoreU32(h + 36, 1000000);  // maximum bytes per second
  StoreU32(h + 44, 0x10);     // has an index
  StoreU32(h + 56, 1);        // streams
  PutTag(h + 88, "LIST");
  StoreU32(h + 92, 116);
  PutTag(h + 96, "strl");
  PutTag(h + 100, "strh");
  StoreU32(h + 104, 56);
  PutTag(h + 108, "vids");
  PutTag(h + 112, "vemo");
  StoreU32(h + 128, 160000);   // scale
  StoreU32(h + 132, 1000000);  // rate
  StoreU32(h + 148, 10000);    // quality
  PutTag(h + 164, "strf");
  StoreU32(h + 168, 40);
  StoreU32(h + 172, 40);
  StoreU16(h + 184, 1);   // planes
  StoreU16(h + 186, 24);  // bits per pixel
  PutTag(h + 188, "MJPG");
  PutTag(h + 212, "LIST");
  StoreU32(h + 216, 260);
  PutTag(h + 220, "odml");
  PutTag(h + 224, "dmlh");
  StoreU32(h + 228, 248);
  PutTag(h + 480, "JUNK");
  StoreU32(h + 484, 24);
  PutTag(h + 512, "LIST");
  StoreU32(h + 516, 4);
  PutTag(h + 520, "movi");

  PutTag(index, "idx1");
  StoreU32(index + 4, 0);
  return kAviHeaderSize;
}

std::uint32_t AddMjpegFrame(std::uint8_t* header, std::uint8_t* chunkStart, const std::uint8_t* chunkEnd,
                            std::uint8_t* index, std::size_t indexCapacity, std::uint32_t frameLength) {
  if (indexCapacity < 8 || chunkStart > chunkEnd) return 0;
  const std::uint64_t padded = MjpegChunkLength(frameLength);
  if (padded > static_cast<std::uint64_t>(chunkEnd - chunkStart)) return 0;
  const std::uint32_t indexSize = MjpegIndexSize(index);
  if (std::uint64_t{indexSize} + 24 > indexCapacity) return 0;

  PutTag(chunkStart, "00dc");
  StoreU32(chunkStart + 4, frameLength);

  const std::uint32_t fileLength = LoadU32(header + kAviRiffSizeOffset) + 8;
  std::uint8_t* entry = index + 8 + (indexSize & ~std::uint32_t{15});
  PutTag(entry, "00dc");
  StoreU32(entry + 4, 0x10);  // key frame
  StoreU32(entry + 8, fileLength - kAviMoviTypeOffset);
  StoreU32(entry + 12, frameLength);
  StoreU32(index + 4, indexSize + 16);

  Add32(header + kAviTotalFramesOffset, 1);
  Add32(header + kAviStreamLengthOffset, 1);
  Add32(header + kAviOdmlFramesOffset, 1);
  Add32(header + kAviMoviSizeOffset, static_cast<std::uint32_t>(padded));
  Add32(header + kAviRiffSizeOffset, static_cast<std::uint32_t>(padded));
  return 8;
}

std::uint32_t MjpegIndexSize(const std::uint8_t* index) { return LoadU32(index + 4); }

std::uint32_t FinalizeMjpegAvi(std::uint8_t* header, std::size_t headerCapacity, const std::uint8_t* index,
                               std::size_t indexCapacity) {
  if (headerCapacity < kAviHeaderSize || indexCapacity < 8) return 0;
  const std::uint32_t indexSize = MjpegIndexSize(index);
  if (indexCapacity < std::uint64_t{indexSize} + 8) return 0;
  Add32(header + kAviRiffSizeOffset, 8 + indexSize);
  return 8 + indexSize;
}

std::uint32_t CheckAviStart(const std::uint8_t* start, std::uint64_t length) {
  if (length < 8) Fail(kTooSmall);
  const std::uint32_t riffSize = LoadU32(start + 4);
  if (length < std::uint64_t{riffSize} + 8) Fail(kBadChunkHeader);
  if (!IsTag(start, "RIFF")) Fail("Nieoczekiwany znacznik głównego bloku RIFF.");
  if (riffSize < 4) Fail(kTooSmall);
  // The file holds riffSize + 8 bytes, so the form type is within it.
  if (!IsTag(start + 8, "AVI ")) Fail("Nieoczekiwany znacznik bloku AVI.");
  return riffSize;
}

namespace {

template <typename Source, typename OnFrame>
void Scan(const Source& source, std::uint64_t length, std::uint8_t* header, OnFrame onFrame) {
  const std::uint32_t riffSize =
      CheckAviStart(length < 8 ? nullptr : source.Bytes(0, length < kAviStartSize ? 8 : kAviStartSize), length);

  WalkChunks(source, 12, riffSize - 4, [&](std::uint32_t id, std::uint64_t body, std::uint32_t size) {
    if (id != Tag("LIST")) return;
    if (size < 4) Fail(kTooSmall);
    const std::uint32_t type = LoadU32(source.Bytes(body, 4));
    if (type == Tag("hdrl")) {
      WalkChunks(source, body + 4, size - 4, [&](std::uint32_t c, std::uint64_t b, std::uint32_t s) {
        if (c != Tag("avih")) return;
        if (s < 56) Fail("Zbyt mały rozmiar bloku AVIH.");
        StorePictureSize(header, source.Bytes(b, 40));
      });
    } else if (type == Tag("movi")) {
      WalkChunks(source, body + 4, size - 4, [&](std::uint32_t c, std::uint64_t b, std::uint32_t s) {
        if (c == Tag("00dc")) onFrame(b, s);
      });
    }
  });
}

}  // namespace

void ScanAviFile(const std::uint8_t* data, std::size_t length, std::uint8_t* header, const AviFrameHandler& onFrame) {
  Scan(MemorySource{data}, length, header,
       [&](std::uint64_t offset, std::uint32_t size) { onFrame(data + offset, size); });
}

void ScanAviSource(AviSource& source, std::uint64_t length, std::uint8_t* header, const AviFrameAtHandler& onFrame) {
  Scan(StreamSource{source}, length, header, onFrame);
}
