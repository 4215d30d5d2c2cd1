// Discovery and the live stream against trevna-cardsim.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "base/socket.h"
#include "device/discovery.h"
#include "device/live_stream.h"
#include "support/cardsim.h"
#include "support/recording_device_sinks.h"
#include "support/free_port.h"

namespace {

using namespace device;
using trevna_test::CardSim;

using trevna_test::FreeUdpPort;

TEST(DiscoveryNativeTest, TwoSimulatedCardsAreListedOnceEach) {
  const std::uint16_t port = FreeUdpPort();
  recording::DeviceList items;
  DeviceList list(&items);
  ScanThread scan(&list, port);
  scan.Start();
  ASSERT_TRUE(recording::WaitFor([&] { return scan.Listening(); }, std::chrono::seconds(5)));
  trevna_test::CardSimOptions options;
  options.addresses = {"127.0.0.2", "127.0.0.3"};
  options.announcePort = port;
  CardSim sim(options);
  ASSERT_TRUE(recording::WaitFor([&] { return items.Items().size() >= 3; }, std::chrono::seconds(30)));
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // more announcements add nothing
  scan.Stop();
  auto got = items.Items();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0], "0.0.0.0");
  std::sort(got.begin() + 1, got.end());
  EXPECT_EQ(got[1], "Symulator 1 (127.0.0.2)");
  EXPECT_EQ(got[2], "Symulator 2 (127.0.0.3)");
  EXPECT_NE(list.AddressAt(1), 0u);
}

// Runs a LiveThread against a card until `pictures` pictures arrived.
struct LiveRun {
  LivePictures pictures;
  TuningState tuning;
  OutputTestState outputs;
  std::atomic<bool> preview{true};
  std::atomic<int> arrived{0};
  std::atomic<int> cleared{0};

  void Run(const trevna_test::CardEndpoints& card, int count) {
    LiveTargets targets;
    targets.pictures = &pictures;
    targets.tuning = &tuning;
    targets.outputTest = &outputs;
    targets.detectionPreview = &preview;
    targets.pictureArrived = [this](int, std::uint32_t) { ++arrived; };
    LiveThread::Options options;
    options.port = static_cast<std::uint16_t>(card.streamPort);
    options.retryMs = 100;
    options.silenceMs = 3000;
    LiveThread live(targets, options);
    live.SetClearedCallback([this] { ++cleared; });
    live.Start();
    std::uint32_t address = 0;
    net::ParseDottedAddress(card.address, &address);
    live.SelectAddress(address);
    EXPECT_TRUE(recording::WaitFor([&] { return arrived >= count; }, std::chrono::seconds(60)));
    // Choosing no card ends the stream and clears the pictures.
    live.SelectAddress(0);
    EXPECT_TRUE(recording::WaitFor([&] { return cleared > 0; }, std::chrono::seconds(20)));
    live.Stop();
  }
};

TEST(LiveNativeTest, RepliesCarryPreviewForcingAndTuning) {
  CardSim sim({"127.0.0.2"}, {}, {"--fps", "20"});
  LiveRun run;
  run.preview = false;
  run.outputs.Open();
  run.outputs.SetMask(0x81);
  run.tuning.Bind(0, 0);
  run.tuning.RequestReset();
  run.Run(sim.Card("127.0.0.2"), 6);
  const auto replies = sim.Events("stream-reply", "127.0.0.2");
  ASSERT_GE(replies.size(), 6u);
  for (const auto& r : replies) {
    EXPECT_TRUE(r.value("matches", false));
    EXPECT_EQ(r.value("flags", 0) & 7, 7);
    EXPECT_EQ(r.value("forced", 0), 0x81);
    EXPECT_EQ(r.value("detector", -1), 0);
    EXPECT_EQ(r.value("detector_track", -1), 0);
  }
  // The reset went out exactly once.
  int resets = 0;
  for (const auto& r : replies) resets += (r.value("flags", 0) & 8) ? 1 : 0;
  EXPECT_EQ(resets, 1);
  EXPECT_EQ(sim.Events("stream-tuning-reset", "127.0.0.2").size(), 1u);
  // After the stream the pictures are white again.
  for (int track = 0; track < 4; ++track) {
    const auto picture = run.pictures.Copy(track).pixels;
    EXPECT_EQ(picture[(72 * 240 + 120) * 3], 0xFF);
  }
}

TEST(LiveNativeTest, PlainRepliesWithoutSettings) {
  CardSim sim({"127.0.0.3"}, {}, {"--fps", "20"});
  LiveRun run;
  run.Run(sim.Card("127.0.0.3"), 4);
  const auto replies = sim.Events("stream-reply", "127.0.0.3");
  ASSERT_GE(replies.size(), 4u);
  for (const auto& r : replies) {
    EXPECT_TRUE(r.value("matches", false));
    EXPECT_EQ(r.value("flags", -1), 0);
    EXPECT_EQ(r.value("forced", -1), 0);
  }
}

// Malformed pictures (track 4, width 176, header length 80) are read whole and answered; the
// stream goes on. A header length of 15 ends it.
class BadHeaderTest : public ::testing::TestWithParam<std::string> {};

TEST_P(BadHeaderTest, HandledAsDescribed) {
  const std::string mode = GetParam();
  CardSim sim({"127.0.0.2"}, {}, {"--fps", "20", "--fault", "bad-stream-header=" + mode});
  LiveRun run;
  if (mode == "short") {
    // Pictures never arrive; the stream is closed by the program and retried.
    LiveTargets targets;
    targets.pictures = &run.pictures;
    LiveThread::Options options;
    options.port = static_cast<std::uint16_t>(sim.Card("127.0.0.2").streamPort);
    options.retryMs = 100;
    LiveThread live(targets, options);
    std::atomic<int> cleared{0};
    live.SetClearedCallback([&] { ++cleared; });
    live.Start();
    live.SelectAddress(0x7F000002);
    EXPECT_TRUE(recording::WaitFor([&] { return cleared >= 2; }, std::chrono::seconds(30)));
    live.Stop();
    EXPECT_GE(sim.Events("stream-connect", "127.0.0.2").size(), 2u);
    return;
  }
  run.Run(sim.Card("127.0.0.2"), 4);
  EXPECT_FALSE(sim.Events("stream-fault", "127.0.0.2").empty());
  const auto replies = sim.Events("stream-reply", "127.0.0.2");
  // Every spoiled picture was answered besides the four accepted ones; a long header spoils none.
  ASSERT_GE(replies.size(), mode == "long" ? 4u : 5u);
  for (const auto& r : replies) EXPECT_TRUE(r.value("matches", false));
}

INSTANTIATE_TEST_SUITE_P(Modes, BadHeaderTest, ::testing::Values("track", "width", "long", "type", "short"));

}  // namespace
