// AVI files of JPEG frames ("00dc" chunks, Motion-JPEG): the reader that walks a source file
// held whole in memory, and the low-level steps of the writer (header block, frame chunk
// headers, index). All integers are little-endian; sizes in the format are 32-bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// The header block at the start of every file we write: RIFF/AVI header, "hdrl" with
// "avih", one "strl" (strh + strf), "odml"/"dmlh", a JUNK filler and the "movi" list header.
constexpr std::uint32_t kAviHeaderSize = 524;
// Buffer sizes used by the export job.
constexpr std::size_t kAviHeaderBufferSize = 1024;
constexpr std::size_t kAviIndexInitialSize = 4096;
constexpr std::size_t kAviIndexEntrySize = 16;
// A frame chunk (8 header bytes + frame + padding) must fit in this many bytes, so the
// largest frame is 1,048,568 bytes.
constexpr std::size_t kAviChunkBufferSize = 1048576;
// Offsets of the fields that change while frames are added.
constexpr std::size_t kAviRiffSizeOffset = 4;
constexpr std::size_t kAviTotalFramesOffset = 48;
constexpr std::size_t kAviWidthOffset = 64;
constexpr std::size_t kAviHeightOffset = 68;
constexpr std::size_t kAviStreamLengthOffset = 140;
constexpr std::size_t kAviFrameRightOffset = 160;
constexpr std::size_t kAviFrameBottomOffset = 162;
constexpr std::size_t kAviFormatWidthOffset = 176;
constexpr std::size_t kAviFormatHeightOffset = 180;
constexpr std::size_t kAviImageSizeOffset = 192;
constexpr std::size_t kAviOdmlFramesOffset = 232;
constexpr std::size_t kAviMoviSizeOffset = 516;
// Index entry offsets count from the "movi" list type, which sits at this file offset.
constexpr std::uint32_t kAviMoviTypeOffset = 520;

// Fills the header block (at least 524 bytes) with its initial values (6.25 fps, no
// frames, picture size 0) and starts the index ("idx1", size 0). Returns the number of
// header bytes to write (524), or 0 when the index capacity is below 8 bytes.
std::uint32_t InitMjpegAvi(std::uint8_t* header, std::uint8_t* index, std::size_t indexCapacity);

// Prepares the chunk header of one frame of `frameLength` bytes at `chunkStart` and records
// the frame in the index and the header counters. Returns 8 (the chunk header length), or 0
// when the padded chunk does not fit in [chunkStart, chunkEnd) or the index capacity lacks
// room for the entry. The caller then copies the frame after the 8 header bytes and writes
// MjpegChunkLength(frameLength) bytes from chunkStart (any padding byte zero).
std::uint32_t AddMjpegFrame(std::uint8_t* header, std::uint8_t* chunkStart, const std::uint8_t* chunkEnd,
                            std::uint8_t* index, std::size_t indexCapacity, std::uint32_t frameLength);

// 8 + frameLength rounded up to even: the bytes a frame occupies in the file.
constexpr std::uint64_t MjpegChunkLength(std::uint32_t frameLength) {
  return (std::uint64_t{frameLength} + 9) & ~std::uint64_t{1};
}

// The checks and header update made after the last frame. Returns the number of index
// bytes (8 + index size) to append, after which the header block is written again over
// the start of the file; returns 0 when the buffers are too small to hold what they claim.
std::uint32_t FinalizeMjpegAvi(std::uint8_t* header, std::size_t headerCapacity, const std::uint8_t* index,
                               std::size_t indexCapacity);

// Number of index entry bytes recorded so far (the "idx1" size field).
std::uint32_t MjpegIndexSize(const std::uint8_t* index);

// The first checks of the walk, in its order, over the start of a file of `length` bytes:
// `start` holds its first min(length, kAviStartSize) bytes. Throws what ScanAviFile throws for
// a file that starts so (too short, a RIFF size beyond the file, not "RIFF", a RIFF size
// below 4, not "AVI "); returns the RIFF size.
constexpr std::size_t kAviStartSize = 12;
std::uint32_t CheckAviStart(const std::uint8_t* start, std::uint64_t length);

// Called with the data and length of every "00dc" chunk, in file order.
using AviFrameHandler = std::function<void(const std::uint8_t* frame, std::uint32_t length)>;

// Walks one source AVI file held whole in memory: stores the picture size of its "avih"
// chunk into `header` (the writer's header block) and hands every "00dc" chunk of its
// "movi" lists to `onFrame`. Throws std::runtime_error with the Polish (Windows-1250) text
// of the first check that fails; frames before that point have been handed on.
void ScanAviFile(const std::uint8_t* data, std::size_t length, std::uint8_t* header, const AviFrameHandler& onFrame);

// A source file read front to back for ScanAviSource.
class AviSource {
 public:
  virtual ~AviSource() = default;
  // The `count` bytes at `offset`, valid until the next call. The walk asks for at most 40
  // bytes at a time, only for bytes inside the file, and never for an offset below an
  // earlier one.
  virtual const std::uint8_t* Bytes(std::uint64_t offset, std::size_t count) = 0;
};

// Called with the file offset and length of every "00dc" chunk's data, in file order.
using AviFrameAtHandler = std::function<void(std::uint64_t offset, std::uint32_t length)>;

// ScanAviFile over a source that is not held in memory: the same checks and messages, in
// the same order; frames are handed on as offsets (the handler may ask the source for their
// bytes, at offsets no lower than the frame's chunk header).
void ScanAviSource(AviSource& source, std::uint64_t length, std::uint8_t* header, const AviFrameAtHandler& onFrame);
