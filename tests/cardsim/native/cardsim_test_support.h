// Helpers of the simulator's tests: a hand-built program file with detector masks, and a
// small live-stream client that reads the card's messages and answers them.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "base/bitmap_file.h"
#include "base/bytes.h"
#include "support/files.h"

namespace cardsim_test {

constexpr int kWidth = 180;
constexpr int kHeight = 144;

// Whether a TCP connection to address:port is accepted.
inline bool CanConnect(const std::string& address, int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<std::uint16_t>(port));
  inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
  close(fd);
  return ok;
}

inline std::string Chunk(std::uint32_t tag, const std::string& payload) {
  std::string s;
  AppendU32(s, tag);
  AppendU32(s, static_cast<std::uint32_t>(payload.size() + 8));
  return s + payload;
}

// A 180 x 144 mask, row 0 first, as the card's 1-bit bitmap (rows bottom-up, 23 bytes each).
inline std::string MaskBitmap(const std::vector<std::uint8_t>& mask) {
  std::string rows;
  for (int y = kHeight - 1; y >= 0; --y) {
    std::string row(23, '\0');
    for (int x = 0; x < kWidth; ++x) {
      if (mask[y * kWidth + x]) row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
    }
    rows += row;
  }
  return BitmapFile(BitmapFormat{kWidth, kHeight, 1, 0, true}, rows);
}

inline std::vector<std::uint8_t> RectangleMask(int left, int top, int right, int bottom) {
  std::vector<std::uint8_t> mask(kWidth * kHeight, 0);
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) mask[y * kWidth + x] = 1;
  }
  return mask;
}

struct TestDetector {
  unsigned track;
  unsigned number;
  std::vector<std::uint8_t> mask;
};

// A document file as the program writes it (chunks 2, 7, 11), with only what the card reads
// filled in: the package of det%u.bmp masks, config.txt and compose.txt.
inline std::string ProgramFile(const std::vector<TestDetector>& detectors, const std::string& alias = "test") {
  auto entry = [](const std::string& name, const std::string& data) {
    return Chunk(12, Chunk(13, name) + Chunk(14, data));
  };
  std::string config = "alias = " + alias + "\ncompose_script = compose.txt\ndet_count = " +
                       std::to_string(detectors.size()) + "\n";
  std::string package;
  for (std::size_t i = 0; i < detectors.size(); ++i) {
    const std::string n = std::to_string(i + 1);
    package += entry("det" + n + ".bmp", MaskBitmap(detectors[i].mask));
    config += "\ndet" + n + "_area = det" + n + ".bmp\n";
    if (detectors[i].track != 0) config += "det" + n + "_card = " + std::to_string(detectors[i].track) + "\n";
    config += "det" + n + "_number = " + std::to_string(detectors[i].number) + "\ndet" + n +
              "_feature_threshold = 880\ndet" + n + "_threshold = 3\n";
  }
  package += entry("config.txt", config) + entry("compose.txt", "Y1 = A1\n");
  std::string width;
  AppendU32(width, 180);
  return Chunk(2, Chunk(6, width)) + Chunk(7, "") + Chunk(11, package);
}

using trevna_test::ReadBytes;
using trevna_test::WriteBytes;

// A 24-bit bitmap of a grey picture, for looking at what the card streamed.
inline void WriteGreyBmp(const std::filesystem::path& path, const std::vector<std::uint8_t>& grey) {
  std::string rows;
  for (int y = kHeight - 1; y >= 0; --y) {
    for (int x = 0; x < kWidth; ++x) rows += std::string(3, static_cast<char>(grey[y * kWidth + x]));
  }
  WriteBytes(path, BitmapFile(BitmapFormat{kWidth, kHeight, 24, 0, true}, rows));
}

// One message of the live stream.
struct StreamMessage {
  std::uint32_t headerLength = 0;
  std::uint32_t frame = 0;
  std::uint8_t type = 0;
  std::uint8_t track = 0;
  std::uint32_t payloadLength = 0;
  std::vector<std::uint8_t> header;   // all header bytes
  std::vector<std::uint8_t> payload;

  std::uint16_t Header16(std::size_t at) const { return LoadU16(header.data() + at); }
  std::uint16_t Count(int i) const { return LoadU16(payload.data() + 2 * i); }
};

class StreamClient {
 public:
  StreamClient(const std::string& address, int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
  }
  ~StreamClient() { close(fd_); }
  StreamClient(const StreamClient&) = delete;
  StreamClient& operator=(const StreamClient&) = delete;

  bool Connected() const { return connected_; }

  // Reads one message: the 16-byte header, the rest of the header when its length says so,
  // and the payload. False when the stream ended, stalled for timeoutMs or the header
  // length is below 16 (then `message` holds the first 16 bytes).
  bool Read(StreamMessage& message, int timeoutMs = 10000) {
    message = StreamMessage();
    message.header.resize(16);
    if (!Exact(message.header.data(), 16, timeoutMs)) return false;
    auto u32 = [&](std::size_t at) { return LoadU32(message.header.data() + at); };
    message.headerLength = u32(0);
    message.frame = u32(4);
    message.type = message.header[8];
    message.track = message.header[9];
    message.payloadLength = u32(12);
    if (message.headerLength < 16 || message.payloadLength > 1000000) return false;
    message.header.resize(message.headerLength);
    if (!Exact(message.header.data() + 16, message.headerLength - 16, timeoutMs)) return false;
    message.payload.resize(message.payloadLength);
    return Exact(message.payload.data(), message.payloadLength, timeoutMs);
  }

  // The 64-byte reply to `message`.
  bool Reply(const StreamMessage& message, std::uint8_t flags = 0, std::uint8_t forced = 0, std::uint8_t detector = 0,
             std::uint8_t detectorTrack = 0) {
    std::uint8_t reply[64] = {};
    reply[0] = 64;
    std::memcpy(reply + 4, message.header.data() + 4, 4);
    reply[9] = message.track;
    reply[16] = flags;
    reply[17] = forced;
    reply[18] = detector;
    reply[19] = detectorTrack;
    return send(fd_, reply, sizeof reply, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof reply);
  }

 private:
  bool Exact(std::uint8_t* data, std::size_t size, int timeoutMs) {
    while (size > 0) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, timeoutMs) <= 0) return false;
      const ssize_t n = recv(fd_, data, size, 0);
      if (n <= 0) return false;
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }

  int fd_ = -1;
  bool connected_ = false;
};

}  // namespace cardsim_test
