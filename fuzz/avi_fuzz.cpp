// Fuzzes the AVI walk of a source recording: any bytes must end in frames handed on or a
// clear error, never a read outside the file or a crash.
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "archive/avi.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::uint8_t header[kAviHeaderBufferSize];
  std::uint8_t index[kAviIndexInitialSize];
  InitMjpegAvi(header, index, sizeof index);
  std::size_t frames = 0, bytes = 0;
  try {
    ScanAviFile(data, size, header, [&](const std::uint8_t* frame, std::uint32_t length) {
      // Every frame lies inside the input.
      if (frame < data || frame + length > data + size) __builtin_trap();
      if (length) bytes += frame[0] + frame[length - 1];
      ++frames;
    });
  } catch (const std::runtime_error&) {
  }
  // The header block keeps its shape whatever the source said.
  if (std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 520, "movi", 4) != 0) __builtin_trap();
  return frames > size ? 1 : 0;
}
