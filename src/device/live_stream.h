// The live stream from a card (TCP port 25100): message headers, the 64-byte reply, the
// handling of one message, and LiveThread, the worker that keeps one stream to the card chosen
// in the device list. All integers on the wire are little-endian.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "device/live_state.h"
#include "base/thread.h"

namespace net {
class Socket;
}

namespace device {

namespace stream {
constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kExtendedHeaderSize = 64;
constexpr std::size_t kReplySize = 64;
constexpr std::uint8_t kPicture = 1;
constexpr std::uint8_t kTuning = 2;
constexpr std::uint32_t kPicturePayload = 180 * 144;
constexpr std::uint32_t kTuningPayload = 500;
// What a card may send at most: a header a little longer than the 64 bytes of the format, and
// a payload up to a few pictures. A message beyond these ends the stream unread.
constexpr std::uint32_t kMaxHeaderLength = 1024;
constexpr std::uint32_t kMaxPayload = 4 * kPicturePayload;
}  // namespace stream

struct StreamHeader {
  std::uint32_t headerLength;
  std::uint32_t frameNumber;
  std::uint8_t type;
  std::uint8_t track;
  std::uint32_t payloadLength;
};

StreamHeader ParseStreamHeader(const std::uint8_t* bytes);
// The picture checks of header bytes 16..63 (`header` holds all 64 bytes) and the payload.
bool PictureAcceptable(const StreamHeader& header, const std::uint8_t* header64);
// The tuning checks: 250 values of 16 bits, payload 500.
bool TuningAcceptable(const StreamHeader& header, const std::uint8_t* header64);

// What the program tells the card in every reply.
struct ReplySettings {
  bool detectionPreview = true;
  OutputTestState::Snapshot outputTest{false, 0};
  std::optional<TuningRequest> tuning;
};
std::array<std::uint8_t, stream::kReplySize> BuildReply(std::uint32_t frameNumber, std::uint8_t track,
                                                        const ReplySettings& settings);

// Byte transport of one stream. ReceiveExact and Skip fail when the stream ends, errs or stays
// silent for the receive limit.
class StreamPort {
 public:
  virtual ~StreamPort() = default;
  virtual bool ReceiveExact(void* data, std::size_t size) = 0;
  virtual bool Skip(std::size_t size) = 0;
  virtual bool Send(const void* data, std::size_t size) = 0;
};

// A non-blocking socket as a StreamPort: on "would block" it waits up to `silenceMs` for data
// (or for room to send). `stop` (may be empty) is asked several times a second while it waits
// and between the pieces of a skip; true makes the receive or send fail.
class SocketStreamPort : public StreamPort {
 public:
  SocketStreamPort(net::Socket& socket, int silenceMs, std::function<bool()> stop = {})
      : socket_(socket), silenceMs_(silenceMs), stop_(std::move(stop)) {}
  bool ReceiveExact(void* data, std::size_t size) override;
  bool Skip(std::size_t size) override;
  bool Send(const void* data, std::size_t size) override;

 private:
  net::Socket& socket_;
  int silenceMs_;
  std::function<bool()> stop_;
  bool Stopped() const { return stop_ && stop_(); }
};

// Where the messages of a stream go, and what the replies say.
struct LiveTargets {
  LivePictures* pictures = nullptr;
  TuningTarget* tuning = nullptr;
  OutputTestState* outputTest = nullptr;
  const std::atomic<bool>* detectionPreview = nullptr;  // null: on
  // After a picture has been stored, on the worker. The view invalidates itself here
  // (InvalidateRect, which never waits); like every call a worker makes, it must not wait
  // for the UI thread (device/sinks.h).
  std::function<void(int track, std::uint32_t frameNumber)> pictureArrived;
};

// Receives one message, acts on it and sends its reply. False ends the stream (a receive or
// send failed, or the header is malformed: shorter than the format needs, or a header or
// payload length above stream::kMaxHeaderLength / kMaxPayload).
bool HandleStreamMessage(StreamPort& port, LiveTargets& targets);

// Keeps one stream open to the selected card and reconnects every second.
class LiveThread : public Thread {
 public:
  struct Options {
    std::uint16_t port = 25100;
    int connectTimeoutMs = 10000;
    int silenceMs = 10000;
    unsigned retryMs = 1000;
  };

  LiveThread(LiveTargets targets, Options options);
  explicit LiveThread(LiveTargets targets) : LiveThread(std::move(targets), Options{}) {}
  ~LiveThread() override;

  // The card chosen in the device list; 0 = none. Written by the UI thread.
  void SelectAddress(std::uint32_t address) { selectedAddress_.store(address); }
  std::uint32_t SelectedAddress() const { return selectedAddress_.load(); }
  // Runs (on the worker) after the pictures were cleared at the end of a stream; the same
  // rule as for LiveTargets::pictureArrived. Set before Start.
  void SetClearedCallback(std::function<void()> cleared) { cleared_ = std::move(cleared); }

 protected:
  int Run() override;

 private:
  LiveTargets targets_;
  Options options_;
  std::atomic<std::uint32_t> selectedAddress_{0};
  std::function<void()> cleared_;
};

}  // namespace device
