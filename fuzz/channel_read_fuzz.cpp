// Drives the reads of command output and the SCP file receive through a fake channel whose
// behaviour (pieces, silences, failures, end of data, a stop) comes from the input: the output
// never passes its cap, a marker is found exactly when it is there, and a file receive hands
// over no more than the announced size.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "device/ssh_session.h"

namespace {

struct FuzzChannel : device::ChannelSource {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t position = 0;
  long Read(char* buffer, std::size_t want) override {
    if (position >= size) return 0;
    const std::uint8_t op = data[position++];
    switch (op % 8) {
      case 0:
        return kNothingYet;
      case 1:
        return op > 200 ? kFailed : 0;
      default: {
        // A piece of up to 32 bytes (or, repeated, up to 4 KiB of one byte).
        std::size_t n = std::min<std::size_t>({want, static_cast<std::size_t>(op / 8 + 1), size - position});
        if (op % 8 == 7 && position < size) {
          n = std::min<std::size_t>(want, 64u * op);
          std::memset(buffer, data[position++], n);
          return static_cast<long>(n);
        }
        if (n == 0) return 0;
        std::memcpy(buffer, data + position, n);
        position += n;
        return static_cast<long>(n);
      }
    }
  }
  bool AtEnd() override { return position >= size; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const std::uint8_t mode = data[0];
  const std::size_t stopAfter = data[1] * 4u + 1;
  std::size_t looks = 0;
  std::chrono::steady_clock::time_point now{};
  device::ReadBounds bounds;
  bounds.maxBytes = 1024 + data[2] * 256u;
  bounds.now = [&] { return now += std::chrono::milliseconds(1); };
  bounds.deadline = std::chrono::steady_clock::time_point{} + std::chrono::seconds(20);
  bounds.stop = [&] { return ++looks > stopAfter && mode & 0x80; };
  FuzzChannel channel;
  channel.data = data + 3;
  channel.size = size - 3;
  std::string text;
  switch (mode % 3) {
    case 0: {
      const auto outcome = device::ReadAllFrom(channel, text, bounds);
      if (text.size() > bounds.maxBytes) std::abort();
      (void)outcome;
      break;
    }
    case 1: {
      static const char* markers[] = {"New password:", "Retype password:", "Base address:", ":"};
      const std::string marker = markers[data[2] % 4];
      const auto outcome = device::ReadUntilFrom(channel, text, marker, bounds);
      if (text.size() > bounds.maxBytes) std::abort();
      if ((outcome == device::ReadOutcome::Done) != (text.find(marker) != std::string::npos)) std::abort();
      break;
    }
    default: {
      const std::uint64_t announced = (std::uint64_t{data[1]} << 8 | data[2]) * (mode & 0x40 ? 1000003u : 1u);
      std::uint64_t got = 0;
      int last = -1;
      bounds.silenceMs = 500;
      const auto outcome = device::ReceiveFileFrom(
          channel, announced, [&](const char*, std::size_t n) { got += n; },
          [&](int p) {
            if (p < last || p > 100) std::abort();
            last = p;
          },
          bounds);
      if (got > announced || (outcome == device::ReadOutcome::Done) != (got == announced)) std::abort();
      break;
    }
  }
  return 0;
}
