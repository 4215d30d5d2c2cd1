// Feeds an arbitrary byte stream to the live stream's message handling through an in-memory
// port: every message handled sends exactly one 64-byte reply that echoes its frame number and
// track, nothing is read past the input, and oversized lengths end the stream unread.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/bytes.h"
#include "device/live_state.h"
#include "device/live_stream.h"

namespace {

struct MemoryPort : device::StreamPort {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t position = 0;
  std::vector<std::uint8_t> replies;
  bool ReceiveExact(void* out, std::size_t n) override {
    if (size - position < n) return false;
    std::memcpy(out, data + position, n);
    position += n;
    return true;
  }
  bool Skip(std::size_t n) override {
    if (size - position < n) return false;
    position += n;
    return true;
  }
  bool Send(const void* in, std::size_t n) override {
    replies.insert(replies.end(), static_cast<const std::uint8_t*>(in), static_cast<const std::uint8_t*>(in) + n);
    return true;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MemoryPort port;
  port.data = data;
  port.size = size;
  device::LivePictures pictures;
  device::TuningState tuning;
  tuning.Bind(size % 4, static_cast<int>(size % 7));
  device::OutputTestState outputs;
  if (size % 2) outputs.Open();
  device::LiveTargets targets;
  targets.pictures = &pictures;
  targets.tuning = &tuning;
  targets.outputTest = &outputs;
  for (int messages = 0; messages < 64; ++messages) {
    const std::size_t start = port.position;
    const std::size_t repliesBefore = port.replies.size();
    const bool goesOn = device::HandleStreamMessage(port, targets);
    if (port.position > size) std::abort();
    if (!goesOn) {
      if (port.replies.size() != repliesBefore) std::abort();
      break;
    }
    if (port.replies.size() != repliesBefore + device::stream::kReplySize) std::abort();
    const std::uint8_t* reply = port.replies.data() + repliesBefore;
    if (LoadU32(reply) != 64 || LoadU32(reply + 4) != LoadU32(data + start + 4) || reply[9] != data[start + 9]) {
      std::abort();
    }
    if (LoadU32(data + start) > device::stream::kMaxHeaderLength ||
        LoadU32(data + start + 12) > device::stream::kMaxPayload) {
      std::abort();
    }
  }
  return 0;
}
