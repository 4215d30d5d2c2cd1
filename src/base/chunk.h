// Chunks: a 32-bit little-endian tag, a 32-bit little-endian length that counts the 8 header
// bytes, then the payload. Files, containers and definition records are plain sequences of them.
//
// Reading follows one set of stopping rules for every sequence: while at least 4 bytes remain,
// read the tag; stop when fewer than 4 bytes remain for the length, when the length is below 8,
// or when fewer than length - 8 bytes remain. Stopping is not an error: the chunks read so far
// count. The walker never reads outside the bytes it was given and never allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/bytes.h"

struct Chunk {
  std::uint32_t tag = 0;
  std::string_view payload;  // points into the walked bytes
};

// Why a walk ended.
enum class ChunkStop {
  None,            // still walking
  End,             // fewer than 4 bytes left (0 included): the normal end
  ShortLength,     // the tag was there but fewer than 4 bytes for the length
  LengthTooSmall,  // a length below 8
  Truncated,       // fewer payload bytes than the length announces
};

class ChunkWalker {
 public:
  explicit ChunkWalker(std::string_view bytes) : rest_(bytes) {}

  // The next whole chunk; false when the walk stopped (see Stop()).
  bool Next(Chunk& chunk);
  ChunkStop Stop() const { return stop_; }
  // Bytes not consumed by the chunks read so far.
  std::string_view Rest() const { return rest_; }

 private:
  std::string_view rest_;
  ChunkStop stop_ = ChunkStop::None;
};

// Reads little-endian values from a payload, front to back. Each read reports whether the bytes
// were there; a failed read consumes nothing.
class PayloadReader {
 public:
  explicit PayloadReader(std::string_view bytes) : rest_(bytes) {}

  bool U32(std::uint32_t& value);
  bool I32(std::int32_t& value);
  bool U8(std::uint8_t& value);
  // Takes exactly `size` bytes.
  bool Bytes(std::size_t size, std::string_view& bytes);
  std::size_t Remaining() const { return rest_.size(); }
  std::string_view Rest() const { return rest_; }

 private:
  std::string_view rest_;
};

// Appends one whole chunk. Throws std::length_error when the chunk would not fit 32 bits.
void AppendChunk(std::string& out, std::uint32_t tag, std::string_view payload);

// Writes a chunk whose payload is appended in place: Begin writes the header with a
// placeholder length, End patches the length once the payload is there. Nested chunks may be
// begun and ended between them.
std::size_t BeginChunk(std::string& out, std::uint32_t tag);
void EndChunk(std::string& out, std::size_t begin);
