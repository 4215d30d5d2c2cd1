#include "archive/mjpeg_avi_writer.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "base/bytes.h"
#include "base/file.h"
#include "base/text.h"

namespace {

// Frames are gathered here and written when less than one chunk buffer of room is left,
// so a chunk can always be prepared in place with the full chunk buffer behind it.
constexpr std::size_t kOutputBufferSize = 4u * 1024u * 1024u + kAviChunkBufferSize;

}  // namespace

std::string MjpegInitFailedText() { return Cp1250FromUtf8("Nie udało się zainicjować enkodera MJPEG."); }
std::string MjpegAddFrameFailedText() { return Cp1250FromUtf8("Nie udało się dodać ramki MJPEG."); }
std::string MjpegFinalizeFailedText() { return Cp1250FromUtf8("Nie udało się zfinalizować enkoder MJPEG."); }
std::string AviTooLargeText() {
  return Cp1250FromUtf8("Połączone nagranie przekroczyłoby 4 GB, największy rozmiar pliku AVI.");
}

MjpegAviWriter::MjpegAviWriter(File& output, std::uint64_t sizeLimit, std::string shownName)
    : output_(output),
      shownName_(shownName.empty() ? output.Name() : std::move(shownName)),
      sizeLimit_(sizeLimit),
      header_(kAviHeaderBufferSize, 0),
      index_(kAviIndexInitialSize, 0),
      buffer_(new std::uint8_t[kOutputBufferSize]) {
  const std::uint32_t headerLength = InitMjpegAvi(header_.data(), index_.data(), index_.size());
  if (headerLength == 0) throw std::runtime_error(MjpegInitFailedText());
  std::memcpy(buffer_.get(), header_.data(), headerLength);
  used_ = headerLength;
  length_ = headerLength;
}

std::uint32_t MjpegAviWriter::Frames() const { return LoadU32(header_.data() + kAviTotalFramesOffset); }

std::uint64_t MjpegAviWriter::Record(std::uint32_t length) {
  const std::uint64_t chunk = MjpegChunkLength(length);
  if (chunk > kAviChunkBufferSize) throw std::runtime_error(MjpegAddFrameFailedText());
  // The file at the end: what is there, this chunk, and the index with this frame's entry.
  const std::uint64_t indexBytes = 8 + std::uint64_t{MjpegIndexSize(index_.data())} + kAviIndexEntrySize;
  if (length_ + chunk + indexBytes > sizeLimit_) throw AviFileTooLarge(AviTooLargeText());

  index_.resize(index_.size() + kAviIndexEntrySize, 0);
  if (kOutputBufferSize - used_ < kAviChunkBufferSize) Flush();
  std::uint8_t* chunkStart = buffer_.get() + used_;
  if (AddMjpegFrame(header_.data(), chunkStart, chunkStart + kAviChunkBufferSize, index_.data(), index_.size(),
                    length) == 0)
    throw std::runtime_error(MjpegAddFrameFailedText());
  length_ += chunk;
  return chunk;
}

void MjpegAviWriter::AddFrame(const std::uint8_t* frame, std::uint32_t length) {
  if (runStart_) WriteRun();
  const std::uint64_t chunk = Record(length);
  std::uint8_t* chunkStart = buffer_.get() + used_;
  std::memcpy(chunkStart + 8, frame, length);
  if (length & 1) chunkStart[8 + length] = 0;
  used_ += static_cast<std::size_t>(chunk);
}

void MjpegAviWriter::AddSourceFrame(const std::uint8_t* frame, std::uint32_t length, const std::uint8_t* sourceEnd) {
  const bool padded = (length & 1) == 0 || (frame + length < sourceEnd && frame[length] == 0);
  if (!padded) return AddFrame(frame, length);
  const std::uint8_t* chunkStart = frame - 8;
  const std::uint64_t chunk = Record(length);  // the source's chunk header is the same bytes
  if (runStart_ && runEnd_ == chunkStart) {
    runEnd_ += chunk;
    return;
  }
  Flush();
  runStart_ = chunkStart;
  runEnd_ = chunkStart + chunk;
}

void MjpegAviWriter::EndSource() { Flush(); }

void MjpegAviWriter::WriteRun() {
  const std::uint8_t* start = runStart_;
  const std::uint8_t* end = runEnd_;
  runStart_ = runEnd_ = nullptr;
  Write(start, static_cast<std::size_t>(end - start));
}

void MjpegAviWriter::Write(const void* data, std::size_t size) {
  if (size != 0 && std::fwrite(data, 1, size, output_.Handle()) != size) {
    throw std::runtime_error(WriteFailedText(shownName_));
  }
}

void MjpegAviWriter::Flush() {
  if (runStart_) WriteRun();
  if (used_) Write(buffer_.get(), used_);
  used_ = 0;
}

void MjpegAviWriter::Finish() {
  const std::uint32_t indexBytes = FinalizeMjpegAvi(header_.data(), header_.size(), index_.data(), index_.size());
  if (indexBytes == 0) throw std::runtime_error(MjpegFinalizeFailedText());
  Flush();
  Write(index_.data(), indexBytes);
  if (std::fseek(output_.Handle(), 0, SEEK_SET) != 0) throw std::runtime_error(WriteFailedText(shownName_));
  Write(header_.data(), kAviHeaderSize);
}
