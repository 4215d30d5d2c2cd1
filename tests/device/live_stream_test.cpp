#include "device/live_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/bytes.h"

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
  const auto picture = f.pictures.Copy(2);
  // Row 1, stream column 5 -> picture column 35; grey value (180 + 5) % 251.
  const std::size_t at = (1 * 240 + 35) * 3;
  EXPECT_EQ(picture[at], 185);
  EXPECT_EQ(picture[at + 1], 185);
  EXPECT_EQ(picture[at + 2], 185);
  EXPECT_EQ(picture[(1 * 240 + 29) * 3], 0xFF);   // left margin stays white
  EXPECT_EQ(picture[(1 * 240 + 210) * 3], 0xFF);  // right margin too
  EXPECT_EQ(f.pictures.Copy(0)[at], 0xFF);         // other tracks untouched
  ASSERT_EQ(port.output.size(), 64u);
  EXPECT_EQ(port.output[0], 64);
  EXPECT_EQ(port.output[4], 77);
  EXPECT_EQ(port.output[9], 2);
  EXPECT_EQ(port.output[16], 0);
  f.pictures.ClearStreamArea();
  EXPECT_EQ(f.pictures.Copy(2)[at], 0xFF);
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
    EXPECT_EQ(f.pictures.Copy(3)[(0 * 240 + 30) * 3], 0);  // first grey value (0 % 251)
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
    m.resize(m.size() - 1);
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

}  // namespace
