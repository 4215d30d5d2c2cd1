#include "device/live_stream.h"

#include <cstring>

#include "base/bytes.h"
#include "base/socket.h"
#include "base/trace.h"

namespace device {

StreamHeader ParseStreamHeader(const std::uint8_t* b) {
  return {LoadU32(b), LoadU32(b + 4), b[8], b[9], LoadU32(b + 12)};
}

bool PictureAcceptable(const StreamHeader& header, const std::uint8_t* h) {
  return header.track < 4 && header.payloadLength == stream::kPicturePayload && LoadU16(h + 16) == 0 &&
         LoadU16(h + 18) == 0 && LoadU16(h + 20) == 180 && LoadU16(h + 22) == 144 && h[24] == 0;
}

bool TuningAcceptable(const StreamHeader& header, const std::uint8_t* h) {
  return header.payloadLength == stream::kTuningPayload && LoadU16(h + 16) == 250 && LoadU16(h + 18) == 16;
}

std::array<std::uint8_t, stream::kReplySize> BuildReply(std::uint32_t frameNumber, std::uint8_t track,
                                                        const ReplySettings& settings) {
  std::array<std::uint8_t, stream::kReplySize> reply{};
  StoreU32(reply.data(), 64);
  StoreU32(reply.data() + 4, frameNumber);
  reply[9] = track;
  std::uint8_t flags = 0;
  if (!settings.detectionPreview) flags |= 1;
  if (settings.outputTest.open) {
    flags |= 2;
    reply[17] = settings.outputTest.mask;
  }
  if (settings.tuning) {
    flags |= 4;
    if (settings.tuning->reset) flags |= 8;
    reply[18] = static_cast<std::uint8_t>(settings.tuning->index);
    reply[19] = static_cast<std::uint8_t>(settings.tuning->track);
  }
  reply[16] = flags;
  return reply;
}

bool SocketStreamPort::ReceiveExact(void* data, std::size_t size) {
  auto* out = static_cast<std::uint8_t*>(data);
  while (size > 0) {
    const long n = socket_.Receive(out, size);
    if (n > 0) {
      out += n;
      size -= static_cast<std::size_t>(n);
      continue;
    }
    if (n == 0) return false;  // the card closed the stream
    if (!net::LastErrorWouldBlock()) return false;
    // Wait for data in slices, so that a stop is seen soon.
    int waited = 0;
    for (;;) {
      if (Stopped()) return false;
      const int slice = silenceMs_ - waited < 250 ? silenceMs_ - waited : 250;
      const int ready = socket_.WaitReadable(slice > 0 ? slice : 0);
      if (ready == 1) break;
      waited += slice;
      if (ready < 0 || waited >= silenceMs_) return false;
    }
  }
  return true;
}

bool SocketStreamPort::Skip(std::size_t size) {
  std::uint8_t scratch[256];
  while (size > 0) {
    const std::size_t piece = size < sizeof scratch ? size : sizeof scratch;
    if (Stopped() || !ReceiveExact(scratch, piece)) return false;
    size -= piece;
  }
  return true;
}

bool SocketStreamPort::Send(const void* data, std::size_t size) {
  const auto* in = static_cast<const std::uint8_t*>(data);
  while (size > 0) {
    const long n = socket_.Send(in, size);
    if (n > 0) {
      in += n;
      size -= static_cast<std::size_t>(n);
      continue;
    }
    // A card that takes no more data: wait for room in slices, so that a stop is seen soon.
    if (n < 0 && net::LastErrorWouldBlock() &&
        net::detail::WaitInSlices([this](int slice) { return socket_.WaitWritable(slice); }, silenceMs_, stop_)) {
      continue;
    }
    return false;
  }
  return true;
}

bool HandleStreamMessage(StreamPort& port, LiveTargets& targets) {
  std::uint8_t header64[stream::kExtendedHeaderSize] = {};
  if (!port.ReceiveExact(header64, stream::kHeaderSize)) return false;
  const StreamHeader header = ParseStreamHeader(header64);
  if (header.headerLength < stream::kHeaderSize || header.headerLength > stream::kMaxHeaderLength) return false;
  if (header.payloadLength > stream::kMaxPayload) return false;

  if (header.type == stream::kPicture || header.type == stream::kTuning) {
    if (header.headerLength < stream::kExtendedHeaderSize) return false;
    if (!port.ReceiveExact(header64 + stream::kHeaderSize, stream::kExtendedHeaderSize - stream::kHeaderSize) ||
        !port.Skip(header.headerLength - stream::kExtendedHeaderSize)) {
      return false;
    }
    if (header.type == stream::kPicture) {
      if (!PictureAcceptable(header, header64)) {
        if (!port.Skip(header.payloadLength)) return false;
      } else {
        Trace("%s: Frame %u\n", "LiveThread::Run", header.frameNumber);
        std::uint8_t grey[stream::kPicturePayload];
        if (!port.ReceiveExact(grey, sizeof grey)) return false;
        if (targets.pictures) targets.pictures->PutGrey(header.track, grey);
        if (targets.pictureArrived) targets.pictureArrived(header.track, header.frameNumber);
      }
    } else {
      if (!TuningAcceptable(header, header64)) {
        if (!port.Skip(header.payloadLength)) return false;
      } else {
        std::uint8_t raw[stream::kTuningPayload];
        if (!port.ReceiveExact(raw, sizeof raw)) return false;
        if (targets.tuning) {
          const auto [track, index] = targets.tuning->TunedDetector();
          if (track >= 0 && index >= 0 && header.track == track && header64[36] == index) {
            std::uint16_t counts[stream::kTuningPayload / 2];
            for (std::size_t i = 0; i < std::size(counts); ++i) counts[i] = LoadU16(raw + 2 * i);
            targets.tuning->SetCounts(counts);
          }
        }
      }
    }
  } else {
    if (!port.Skip(header.headerLength - stream::kHeaderSize) || !port.Skip(header.payloadLength)) return false;
  }

  ReplySettings settings;
  settings.detectionPreview = targets.detectionPreview ? targets.detectionPreview->load() : true;
  if (targets.outputTest) settings.outputTest = targets.outputTest->Read();
  if (targets.tuning) settings.tuning = targets.tuning->TakeTuningRequest();
  const auto reply = BuildReply(header.frameNumber, header.track, settings);
  return port.Send(reply.data(), reply.size());
}

LiveThread::LiveThread(LiveTargets targets, Options options)
    : Thread("Live"), targets_(std::move(targets)), options_(options) {}

LiveThread::~LiveThread() { Stop(); }

int LiveThread::Run() {
  net::NetworkStartup network;
  if (!network.Ok()) return 1;
  while (!WaitForStop(options_.retryMs)) {
    const std::uint32_t address = selectedAddress_.load();
    if (address == 0) continue;
    net::Socket socket = net::Socket::Tcp();
    if (!socket.Valid()) continue;
    Trace("%s: Opening connection with %u.%u.%u.%u\n", "LiveThread::Run", (address >> 24) & 0xFFu,
          (address >> 16) & 0xFFu, (address >> 8) & 0xFFu, address & 0xFFu);
    // A card that does not answer the connection holds it up to the limit; a stop ends it.
    if (!socket.Connect(address, options_.port, options_.connectTimeoutMs, [this] { return StopRequested(); }) ||
        !socket.SetNonBlocking(true)) {
      continue;
    }
    SocketStreamPort port(socket, options_.silenceMs, [this] { return StopRequested(); });
    while (!WaitForStop(0) && selectedAddress_.load() == address) {
      if (!HandleStreamMessage(port, targets_)) break;
    }
    Trace("%s: Closing connection\n", "LiveThread::Run");
    socket.ShutdownBoth();
    socket.Close();
    if (targets_.pictures) targets_.pictures->ClearStreamArea();
    if (cleared_) cleared_();
  }
  return 0;
}

}  // namespace device

