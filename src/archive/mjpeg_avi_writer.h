// Writes one MJPEG AVI file: the header block, the frame chunks in the order added, the
// index, and the header block again over the start of the file.
//
// Frames go through one large output buffer, so the file sees a few big writes instead of
// one per frame. Until Finish() the header on disk is the initial one (zero frames, no
// picture size). The owner of the file closes it (the export job writes a temporary file
// that replaces the output only once it is finished).
//
// No size in the format may wrap: a frame whose chunk (plus the index that will follow)
// would take the file past `sizeLimit` bytes (by default 0xFFFFFFFF, the most a RIFF size
// field can describe) is refused with AviFileTooLarge before anything of it is written.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/avi.h"

class File;

// Largest AVI file whose RIFF and list sizes are all representable.
constexpr std::uint64_t kMaxAviFileLength = 0xFFFFFFFFull;

// Thrown when the next frame would make the file too long for the format.
class AviFileTooLarge : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class MjpegAviWriter {
 public:
  // Starts the file: runs InitMjpegAvi and writes the 524 header bytes (through the buffer).
  // Write failures name the file `shownName` (empty: the output's own name), so that a
  // temporary file is reported under the name the user chose.
  explicit MjpegAviWriter(File& output, std::uint64_t sizeLimit = kMaxAviFileLength, std::string shownName = {});
  MjpegAviWriter(const MjpegAviWriter&) = delete;
  MjpegAviWriter& operator=(const MjpegAviWriter&) = delete;

  // The header block; ScanAviFile stores each source's picture size here.
  std::uint8_t* Header() { return header_.data(); }

  // Appends one frame. Throws "Nie udało się dodać ramki MJPEG." for a frame longer than
  // a chunk buffer holds, AviFileTooLarge (AviTooLargeText()) at the size limit, and
  // the output file's write failure text.
  void AddFrame(const std::uint8_t* frame, std::uint32_t length);

  // The same for a frame that sits inside a "00dc" chunk of a source file held in memory up
  // to `sourceEnd`. When its padding byte (if any) is zero the source's chunk is the very
  // chunk to write, so it is written straight from the source, and runs of such chunks
  // with one write. The source must stay in place until EndSource().
  void AddSourceFrame(const std::uint8_t* frame, std::uint32_t length, const std::uint8_t* sourceEnd);
  // Writes out what still points into the current source, before its memory is reused.
  void EndSource();

  // Adds the index and rewrites the header block at the start; the file stays open.
  void Finish();

  std::uint32_t Frames() const;
  // Bytes of the file as it stands with every added frame (buffered ones included).
  std::uint64_t Length() const { return length_; }

 private:
  void Flush();
  void WriteRun();
  void Write(const void* data, std::size_t size);
  // Checks size and chunk buffer limits and records the frame in header and index; the
  // chunk header is prepared at the free end of the output buffer.
  std::uint64_t Record(std::uint32_t length);

  File& output_;
  std::string shownName_;
  std::uint64_t sizeLimit_;
  std::vector<std::uint8_t> header_;
  std::vector<std::uint8_t> index_;
  std::unique_ptr<std::uint8_t[]> buffer_;  // kOutputBufferSize bytes, touched only as used
  std::size_t used_ = 0;
  // Chunks to be written straight from the source: [runStart_, runEnd_). While a run is
  // pending the output buffer is empty, so order is kept.
  const std::uint8_t* runStart_ = nullptr;
  const std::uint8_t* runEnd_ = nullptr;
  std::uint64_t length_ = 0;
};

// "Nie udało się zainicjować enkodera MJPEG." and friends (Windows-1250).
std::string MjpegInitFailedText();
std::string MjpegAddFrameFailedText();
std::string MjpegFinalizeFailedText();
// "Połączone nagranie przekroczyłoby 4 GB, największy rozmiar pliku AVI." (Windows-1250).
std::string AviTooLargeText();
