#include "base/chunk.h"

#include <cstring>
#include <stdexcept>

bool ChunkWalker::Next(Chunk& chunk) {
  if (stop_ != ChunkStop::None) return false;
  if (rest_.size() < 4) {
    stop_ = ChunkStop::End;
    return false;
  }
  if (rest_.size() < 8) {
    stop_ = ChunkStop::ShortLength;
    return false;
  }
  const std::uint32_t tag = LoadU32(rest_.data());
  const std::uint32_t length = LoadU32(rest_.data() + 4);
  if (length < 8) {
    stop_ = ChunkStop::LengthTooSmall;
    return false;
  }
  const std::size_t payloadSize = std::size_t{length} - 8;
  if (rest_.size() - 8 < payloadSize) {
    stop_ = ChunkStop::Truncated;
    return false;
  }
  chunk.tag = tag;
  chunk.payload = rest_.substr(8, payloadSize);
  rest_.remove_prefix(8 + payloadSize);
  return true;
}

bool PayloadReader::U32(std::uint32_t& value) {
  if (rest_.size() < 4) return false;
  value = LoadU32(rest_.data());
  rest_.remove_prefix(4);
  return true;
}

bool PayloadReader::I32(std::int32_t& value) {
  std::uint32_t raw = 0;
  if (!U32(raw)) return false;
  value = static_cast<std::int32_t>(raw);
  return true;
}

bool PayloadReader::U8(std::uint8_t& value) {
  if (rest_.empty()) return false;
  value = static_cast<std::uint8_t>(rest_[0]);
  rest_.remove_prefix(1);
  return true;
}

bool PayloadReader::Bytes(std::size_t size, std::string_view& bytes) {
  if (rest_.size() < size) return false;
  bytes = rest_.substr(0, size);
  rest_.remove_prefix(size);
  return true;
}

void AppendChunk(std::string& out, std::uint32_t tag, std::string_view payload) {
  const std::size_t begin = BeginChunk(out, tag);
  out.append(payload);
  EndChunk(out, begin);
}

std::size_t BeginChunk(std::string& out, std::uint32_t tag) {
  const std::size_t begin = out.size();
  AppendU32(out, tag);
  AppendU32(out, 0);
  return begin;
}

void EndChunk(std::string& out, std::size_t begin) {
  const std::size_t length = out.size() - begin;
  if (length > 0xFFFFFFFFu) throw std::length_error("chunk larger than 4 GiB");
  std::string patched;
  AppendU32(patched, static_cast<std::uint32_t>(length));
  std::memcpy(out.data() + begin + 4, patched.data(), 4);
}
