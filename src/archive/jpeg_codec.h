// In-memory JPEG coding of archive frames: thin wrappers over libjpeg (jpeg62 interface).
//
// Both helpers are re-entrant: every call has its own codec object, error state and
// memory source or destination, so calls on different threads may overlap. A codec error
// never ends the program and never reaches the user: it makes the call return false.
#pragma once

#include <cstddef>
#include <cstdint>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>

// A raw picture: rows top to bottom, samples left to right, components interleaved.
// Stride is exactly width * components bytes (no row padding). components is 1 (grey) or
// 3 (the codec's RGB order, never reordered).
struct RawImage {
  std::uint8_t* pixels = nullptr;  // plain heap block (malloc); the caller frees it with free()
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t components = 0;
};

// Largest picture DecodeJpeg builds by default: a damaged header may claim up to
// 65,500 x 65,500 pixels, and no archive frame is anywhere near this size.
constexpr std::size_t kMaxDecodedBytes = 100u * 1024u * 1024u;

// The most the codec itself may allocate while decoding one picture (its working memory,
// beyond the pixel buffer).
constexpr std::size_t kJpegCodecMemory = 64u * 1024u * 1024u;

// Size of the fixed compression buffer: the largest JPEG that EncodeJpeg can produce.
constexpr std::size_t kJpegDestinationSize = 0x40000;

// Decodes `length` bytes of JPEG. On success `image` holds a new buffer of
// width * height * components bytes; on failure it is left with a null pixel pointer.
// Bytes outside [data, data + length) are never read: a truncated stream is ended with an
// end-of-image marker of our own and decodes with the missing part filled in.
// A picture larger than `maxBytes` fails the call.
bool DecodeJpeg(const std::uint8_t* data, std::size_t length, RawImage& image,
                std::size_t maxBytes = kMaxDecodedBytes);

// Encodes a raw picture (components 1 or 3) at `quality` (libjpeg's 1..100 scale; values
// outside are clamped by the library). On success `*jpeg` is a new heap block (malloc) of
// exactly `*length` bytes; on failure `*jpeg` stays null. Images whose compressed form
// exceeds kJpegDestinationSize fail.
bool EncodeJpeg(const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                std::uint32_t components, int quality, std::uint8_t** jpeg, std::uint32_t* length);

// Owner of a malloc'd block returned by the helpers.
struct FreeDeleter {
  void operator()(void* block) const { std::free(block); }
};
using HeapBytes = std::unique_ptr<std::uint8_t, FreeDeleter>;

// The pixel bytes (width x height x components) a JPEG's header claims, without decoding;
// false when the header cannot be read.
bool JpegPictureBytes(const std::uint8_t* data, std::size_t length, std::uint64_t* bytes, std::uint32_t* components);

// Memory shared by every thread that decodes pictures: a reservation waits until its bytes
// fit under the total. A reservation larger than the total takes the whole budget (it then
// runs alone).
class MemoryBudget {
 public:
  explicit MemoryBudget(std::uint64_t total) : total_(total) {}
  class Reservation {
   public:
    Reservation(MemoryBudget& budget, std::uint64_t bytes);
    ~Reservation();
    Reservation(const Reservation&) = delete;
    Reservation& operator=(const Reservation&) = delete;

   private:
    MemoryBudget& budget_;
    std::uint64_t bytes_;
  };
  std::uint64_t Used() const;

 private:
  const std::uint64_t total_;
  mutable std::mutex mutex_;
  std::condition_variable freed_;
  std::uint64_t used_ = 0;
};

// The budget of the export's recompressing threads together: a grey picture of the largest
// size (kMaxDecodedBytes, then three times that in colour) fits, two do not.
constexpr std::uint64_t kDecodeMemoryBudget = 6u * std::uint64_t{kMaxDecodedBytes};
MemoryBudget& DecodeMemoryBudget();
