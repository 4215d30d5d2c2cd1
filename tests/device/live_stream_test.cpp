#include "device/live_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/bytes.h"
#include "base/socket.h"
#include "base/trace.h"
#include "support/recording_device_sinks.h"

namespace {

using namespace device;

// A stream held in memory: reads come from `input`, replies go to `output`.
struct MemoryPort : StreamPort {
  std::vector<std::uint8_t> input;
  std::size_t position = 0;
  std::vector<std::uint8_t> output;
  bool ReceiveExact(void* data, std::size_t size) override {
    if (input.size() - position < size) return false;
    std::memcpy(data, input.data() + position, size);
    position += size;
    return true;
  }
  bool Skip(std::size_t size) override {
    if (input.size() - position < size) return false;
    position += size;
    return true;
  }
  bool Send(const void* data, std::size_t size) override {
    output.insert(output.end(), static_cast<const std::uint8_t*>(data), static_cast<const std::uint8_t*>(data) + size);
    return true;
  }
};

std::vector<std::uint8_t> Message(std::uint32_t headerLength, std::uint32_t frame, std::uint8_t type, std::uint8_t track,
                                  std::uint32_t payloadLength) {
  std::vector<std::uint8_t> m(std::max<std::uint32_t>(headerLength, 16) + payloadLength, 0);
  StoreU32(m.data(), headerLength);
  StoreU32(m.data() + 4, frame);
  m[8] = type;
  m[9] = track;
  StoreU32(m.data() + 12, payloadLength);
  return m;
}

std::vector<std::uint8_t> PictureMessage(std::uint32_t frame, std::uint8_t track, std::uint16_t width = 180,
                                         std::uint32_t headerLength = 64) {
  auto m = Message(headerLength, frame, 1, track, 25920);
  StoreU16(m.data() + 20, width);
  StoreU16(m.data() + 22, 144);
  for (std::size_t i = 0; i < 25920; ++i) m[headerLength + i] = static_cast<std::uint8_t>(i % 251);
  return m;
}

std::vector<std::uint8_t> TuningMessage(std::uint32_t frame, std::uint8_t track, std::uint8_t detector) {
  auto m = Message(64, frame, 2, track, 500);
  StoreU16(m.data() + 16, 250);
  StoreU16(m.data() + 18, 16);
  m[36] = detector;
  for (std::size_t i = 0; i < 250; ++i) StoreU16(m.data() + 64 + 2 * i, static_cast<std::uint16_t>(i + 1));
  return m;
}

void Append(MemoryPort& port, const std::vector<std::uint8_t>& m) { port.input.insert(port.input.end(), m.begin(), m.end()); }

struct Fixture {
  LivePictures pictures;
  TuningState tuning;
  OutputTestState outputs;
  std::atomic<bool> preview{true};
  std::vector<std::pair<int, std::uint32_t>> arrived;
  LiveTargets Targets() {
    LiveTargets t;
    t.pictures = &pictures;
    t.tuning = &tuning;
    t.outputTest = &outputs;
    t.detectionPreview = &preview;
    t.pictureArrived = [this](int track, std::uint32_t frame) { arrived.emplace_back(track, frame); };
    return t;
  }
};

TEST(StreamTest, PictureIsStoredCentredAndAnswered) {
  Fixture f;
  MemoryPort port;
  Append(port, PictureMessage(77, 2));
  auto targets = f.Targets();
  ASSERT_TRUE(HandleStreamMessage(port, targets));
  EXPECT_EQ(port.position, port.input.size());
  ASSERT_EQ(f.arrived.size(), 1u);
  EXPECT_EQ(f.arrived[0], std::make_pair(2, 77u));
  const auto picture = f.pictures.Copy(2).pixels;
  // Row 1, stream column 5 -> picture column 35; grey value (180 + 5) % 251.
  const std::size_t at = (1 * 240 + 35) * 3;
  EXPECT_EQ(picture[at], 185);
  EXPECT_EQ(picture[at + 1], 185);
  EXPECT_EQ(picture[at + 2], 185);
  EXPECT_EQ(picture[(1 * 240 + 29) * 3], 0xFF);   // left margin stays white
  EXPECT_EQ(picture[(1 * 240 + 210) * 3], 0xFF);  // right margin too
  EXPECT_EQ(f.pictures.Copy(0).pixels[at], 0xFF);         // other tracks untouched
  ASSERT_EQ(port.output.size(), 64u);
  EXPECT_EQ(port.output[0], 64);
  EXPECT_EQ(port.output[4], 77);
  EXPECT_EQ(port.output[9], 2);
  EXPECT_EQ(port.output[16], 0);
  f.pictures.ClearStreamArea();
  EXPECT_EQ(f.pictures.Copy(2).pixels[at], 0xFF);
}

// The painter reads the stored canvas picture itself, never a copy, and never sees a picture the
// worker is half-way through writing.
TEST(LivePicturesTest, ReadLockedSeesTheStoredPictureWhole) {
  LivePictures pictures;
  const Picture* first = nullptr;
  pictures.ReadLocked(1, [&](const Picture& p) { first = &p; });
  std::vector<std::uint8_t> grey(std::size_t{LivePictures::kStreamWidth} * LivePictures::kHeight, 9);
  pictures.PutGrey(1, grey.data());
  pictures.ReadLocked(1, [&](const Picture& p) {
    EXPECT_EQ(&p, first) << "a copy was handed out";
    EXPECT_EQ(p.width, Picture::kCanvasWidth);
    EXPECT_EQ(p.Grey(LivePictures::kFirstColumn, 0), 9);
    EXPECT_EQ(p.Grey(LivePictures::kFirstColumn - 1, 0), 255);
  });
  for (int track : {-5, 9}) {  // out of range: the nearest track, as Copy reads it
    const Picture copy = pictures.Copy(track);
    pictures.ReadLocked(track, [&](const Picture& p) { EXPECT_EQ(p, copy); });
  }

  // A writer alternates all-black and all-white stream areas; every read sees one of the two.
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    const std::vector<std::uint8_t> black(grey.size(), 0), white(grey.size(), 255);
    for (int i = 0; !stop.load(); ++i) pictures.PutGrey(2, (i % 2 ? white : black).data());
  });
  int torn = 0;
  for (int read = 0; read < 300; ++read) {
    pictures.ReadLocked(2, [&](const Picture& p) {
      const std::uint8_t top = p.Grey(LivePictures::kFirstColumn, 0);
      for (int y = 0; y < LivePictures::kHeight; y += 7) {
        if (p.Grey(LivePictures::kFirstColumn + LivePictures::kStreamWidth - 1, y) != top) ++torn;
      }
    });
  }
  stop = true;
  writer.join();
  EXPECT_EQ(torn, 0);
}

TEST(StreamTest, TrackFourAndWidth176AreSkippedButAnswered) {
  Fixture f;
  MemoryPort port;
  Append(port, PictureMessage(1, 4));
  Append(port, PictureMessage(2, 0, 176));
  Append(port, PictureMessage(3, 1));
  auto targets = f.Targets();
  ASSERT_TRUE(HandleStreamMessage(port, targets));
  ASSERT_TRUE(HandleStreamMessage(port, targets));
  ASSERT_TRUE(HandleStreamMessage(port, targets));
  EXPECT_EQ(port.position, port.input.size());
  ASSERT_EQ(f.arrived.size(), 1u);
  EXPECT_EQ(f.arrived[0].second, 3u);
  ASSERT_EQ(port.output.size(), 3 * 64u);
  EXPECT_EQ(port.output[4], 1);
  EXPECT_EQ(port.output[9], 4);
  EXPECT_EQ(port.output[64 + 4], 2);
}

TEST(StreamTest, HeaderLengths) {
  Fixture f;
  auto targets = f.Targets();
  {
    MemoryPort port;
    Append(port, Message(15, 1, 3, 0, 0));
    EXPECT_FALSE(HandleStreamMessage(port, targets));
    EXPECT_TRUE(port.output.empty());
  }
  {
    MemoryPort port;
    auto m = PictureMessage(9, 3, 180, 80);
    for (std::size_t i = 64; i < 80; ++i) m[i] = 0xEE;  // extra header bytes, not picture data
    Append(port, m);
    ASSERT_TRUE(HandleStreamMessage(port, targets));
    EXPECT_EQ(port.position, port.input.size());
    EXPECT_EQ(f.pictures.Copy(3).pixels[(0 * 240 + 30) * 3], 0);  // first grey value (0 % 251)
  }
  {
    MemoryPort port;  // a picture whose header is shorter than 64 ends the stream
    Append(port, Message(32, 1, 1, 0, 0));
    EXPECT_FALSE(HandleStreamMessage(port, targets));
  }
  {
    MemoryPort port;  // other types: the rest of the header and the payload are skipped
    Append(port, Message(20, 5, 9, 1, 7));
    Append(port, PictureMessage(6, 1));
    ASSERT_TRUE(HandleStreamMessage(port, targets));
    ASSERT_TRUE(HandleStreamMessage(port, targets));
    EXPECT_EQ(port.position, port.input.size());
  }
  {
    MemoryPort port;  // a truncated payload ends the stream without a reply
    auto m = PictureMessage(1, 0);
    m.pop_back();
    Append(port, m);
    EXPECT_FALSE(HandleStreamMessage(port, targets));
    EXPECT_TRUE(port.output.empty());
  }
}

TEST(StreamTest, ReplyBitsForPreviewOutputsAndTuning) {
  Fixture f;
  auto targets = f.Targets();
  MemoryPort port;
  f.preview = false;
  f.outputs.Open();
  f.outputs.SetMask(0x81);
  f.tuning.Bind(1, 5);
  f.tuning.RequestReset();
  Append(port, PictureMessage(10, 1));
  Append(port, PictureMessage(11, 1));
  ASSERT_TRUE(HandleStreamMessage(port, targets));
  ASSERT_TRUE(HandleStreamMessage(port, targets));
  EXPECT_EQ(port.output[16], 1 | 2 | 4 | 8);
  EXPECT_EQ(port.output[17], 0x81);
  EXPECT_EQ(port.output[18], 5);
  EXPECT_EQ(port.output[19], 1);
  EXPECT_EQ(port.output[64 + 16], 1 | 2 | 4);  // the reset goes out once
  for (std::size_t i = 20; i < 64; ++i) EXPECT_EQ(port.output[i], 0) << i;

  f.outputs.Close();
  f.tuning.Bind(-1, -1);
  f.preview = true;
  Append(port, PictureMessage(12, 1));
  ASSERT_TRUE(HandleStreamMessage(port, targets));
  EXPECT_EQ(port.output[128 + 16], 0);
  EXPECT_EQ(port.output[128 + 17], 0);
  EXPECT_EQ(port.output[128 + 18], 0);
}

TEST(StreamTest, TuningCountsReachOnlyTheTunedDetector) {
  Fixture f;
  auto targets = f.Targets();
  MemoryPort port;
  f.tuning.Bind(0, 3);
  Append(port, TuningMessage(1, 0, 4));  // other detector
  Append(port, TuningMessage(2, 1, 3));  // other track
  ASSERT_TRUE(HandleStreamMessage(port, targets));
  ASSERT_TRUE(HandleStreamMessage(port, targets));
  EXPECT_EQ(f.tuning.Sums()[249], 0u);
  Append(port, TuningMessage(3, 0, 3));
  ASSERT_TRUE(HandleStreamMessage(port, targets));
  const auto sums = f.tuning.Sums();
  EXPECT_EQ(sums[0], 1u);
  EXPECT_EQ(sums[249], 250u * 251u / 2u);
  EXPECT_EQ(port.output.size(), 3 * 64u);
}

TEST(OutputTestStateTest, MaskOnlyWhileOpen) {
  OutputTestState state;
  state.SetMask(0xFF);
  EXPECT_FALSE(state.Read().open);
  EXPECT_EQ(state.Read().mask, 0);
  state.Open();
  EXPECT_TRUE(state.Read().open);
  EXPECT_EQ(state.Read().mask, 0);
  state.SetMask(0x81);
  state.SetMask(0x80);
  EXPECT_EQ(state.Read().mask, 0x80);
  state.Close();
  EXPECT_FALSE(state.Read().open);
  EXPECT_EQ(state.Read().mask, 0);
}

// --- stopping the live worker -----------------------------------------------------------------

constexpr std::uint32_t kLoopback = 0x7F000001;

// A card at the other end of the stream, on loopback, run by its own thread.
class StreamPeer {
 public:
  enum Kind {
    Unanswered,  // its queue of connections is full: a new connection is never answered
    Silent,      // takes the connection and never sends
    Deaf,        // sends messages without end and never reads a reply
  };

  explicit StreamPeer(Kind kind) : kind_(kind) {
    listener_ = net::Socket::Tcp();
    ok_ = network_.Ok() && listener_.Bind(kLoopback, 0) && listener_.Listen(kind == Unanswered ? 0 : 4);
    port_ = listener_.LocalPort();
    if (!ok_) return;
    if (kind == Unanswered) {
      // Connections fill the queue until one is not answered (a few at most).
      for (int i = 0; i < 64 && !full_; ++i) {
        net::Socket filler = net::Socket::Tcp();
        if (filler.Connect(kLoopback, port_, 500)) {
          queued_.push_back(std::move(filler));
        } else {
          full_ = true;
        }
      }
      ok_ = full_;
      return;
    }
    ok_ = listener_.SetNonBlocking(true);
    thread_ = std::thread([this] { Serve(); });
  }
  ~StreamPeer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool Ok() const { return ok_; }
  std::uint16_t Port() const { return port_; }
  // The worker is where the test wants it: connected (Silent), or no longer reading (Deaf:
  // nothing more could be sent for a while).
  bool Holding() const { return holding_.load(); }

 private:
  void Serve() {
    net::Socket client;
    while (!stop_ && !client.Valid()) {
      if (listener_.WaitReadable(50) == 1) client = listener_.Accept();
    }
    if (kind_ == Silent) holding_ = true;
    if (kind_ != Deaf) {
      while (!stop_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      return;
    }
    // Messages of an unknown type without payload, each answered by the worker with 64 bytes.
    client.SetNonBlocking(true);
    std::vector<std::uint8_t> messages(4096);
    for (std::size_t at = 0; at < messages.size(); at += 16) {
      StoreU32(&messages[at], 16);
      messages[at + 8] = 7;
    }
    std::size_t offset = 0;
    auto lastSent = std::chrono::steady_clock::now();
    while (!stop_) {
      const long n = client.Send(messages.data() + offset, messages.size() - offset);
      if (n > 0) {
        offset = (offset + static_cast<std::size_t>(n)) % messages.size();
        lastSent = std::chrono::steady_clock::now();
        continue;
      }
      client.WaitWritable(20);
      if (std::chrono::steady_clock::now() - lastSent > std::chrono::milliseconds(500)) holding_ = true;
    }
  }

  Kind kind_;
  net::NetworkStartup network_;
  net::Socket listener_;
  std::vector<net::Socket> queued_;
  bool ok_ = false;
  bool full_ = false;
  std::uint16_t port_ = 0;
  std::atomic<bool> holding_{false};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Stop while the worker waits for a card in each way a card can leave it waiting. The limits
// are two minutes: a wait that does not look at the stop signal would hold Stop that long.
TEST(LiveThreadStopTest, StopEndsEveryWaitForTheCard) {
  struct Row {
    const char* name;
    StreamPeer::Kind kind;
  } rows[] = {
      {"connection never answered", StreamPeer::Unanswered},
      {"card silent after the connection", StreamPeer::Silent},
      {"card that takes no replies", StreamPeer::Deaf},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    StreamPeer peer(row.kind);
    ASSERT_TRUE(peer.Ok());
    std::atomic<bool> connecting{false};
    SetTraceSink([&](const std::string& line) {
      if (line == "LiveThread::Run: Opening connection with 127.0.0.1\n") connecting = true;
    });
    LiveThread::Options options;
    options.port = peer.Port();
    options.connectTimeoutMs = 120000;
    options.silenceMs = 120000;
    options.retryMs = 10;
    LivePictures pictures;
    LiveTargets targets;
    targets.pictures = &pictures;
    LiveThread live(targets, options);
    live.Start();
    live.SelectAddress(kLoopback);
    const bool reached = recording::WaitFor(
        [&] { return row.kind == StreamPeer::Unanswered ? connecting.load() : peer.Holding(); });
    SetTraceSink({});
    ASSERT_TRUE(reached);
    const auto asked = std::chrono::steady_clock::now();
    live.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(3));
  }
}

}  // namespace
