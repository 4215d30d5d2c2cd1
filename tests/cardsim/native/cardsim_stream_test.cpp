// The simulated card's live stream through a small client: pictures of tracks A..D each
// waiting for its reply, tuning counts only for the detector asked for, the detector areas
// marked after programming (dumped as a bitmap to look at), forced outputs, and malformed
// headers on request.
#include <gtest/gtest.h>

#include <numeric>

#include "cardsim_test_support.h"
#include "support/cardsim.h"

namespace {

namespace fs = std::filesystem;
using cardsim_test::ProgramFile;
using cardsim_test::RectangleMask;
using cardsim_test::StreamClient;
using cardsim_test::StreamMessage;
using trevna_test::CardSim;
using trevna_test::CardSimOptions;

constexpr std::uint8_t kPreviewOff = 1, kForcing = 2, kTuning = 4, kReset = 8;

// A card programmed with a band across the road on track A (detector A1) and two small
// detectors on track B (B3 and B4), restarted so that it runs that program.
class CardSimStream : public trevna_test::CardSimSuite<CardSimStream> {
 public:
  static CardSimOptions Options() {
    CardSimOptions options;
    options.addresses = {"127.0.0.13"};
    options.extraArguments = {"--fps", "12"};
    options.restartSeconds = 0;
    return options;
  }
  static void SetUpTestSuite() {
    CardSimSuite::SetUpTestSuite();
    const fs::path program = card_->StateFolder() / "program.trv";
    cardsim_test::WriteBytes(program, ProgramFile({{0, 1, RectangleMask(12, 100, 168, 110)},
                                                  {1, 3, RectangleMask(60, 90, 120, 130)},
                                                  {1, 4, RectangleMask(0, 0, 4, 4)}}));
    ASSERT_EQ(card_->ScpUpload(program, "/etc/vemo/program.doz").exitCode, 0);
    ASSERT_EQ(card_->Ssh("sync && /vemo/restart").exitCode, 0);
    ASSERT_FALSE(
        card_->WaitForLog([](const nlohmann::json& e) { return e["event"] == "restarted"; }, 20000).is_null());
  }
};

bool InArea(int x, int y) { return x >= 12 && x < 168 && y >= 100 && y < 110; }

TEST_F(CardSimStream, PicturesOfTheFourTracksEachWaitForTheReply) {
  StreamClient client(card_->Address(), card_->StreamPort());
  ASSERT_TRUE(client.Connected());
  StreamMessage m;
  std::uint32_t lastFrame = 0;
  for (int i = 0; i < 8; ++i) {
    ASSERT_TRUE(client.Read(m)) << i;
    EXPECT_EQ(m.headerLength, 64u);
    EXPECT_EQ(m.type, 1);
    EXPECT_EQ(m.track, i % 4) << "tracks A..D in turn";
    EXPECT_EQ(m.payloadLength, 25920u);
    EXPECT_EQ(m.Header16(16), 0);
    EXPECT_EQ(m.Header16(18), 0);
    EXPECT_EQ(m.Header16(20), 180);
    EXPECT_EQ(m.Header16(22), 144);
    EXPECT_EQ(m.header[24], 0);
    EXPECT_GT(m.frame, lastFrame);
    lastFrame = m.frame;
    ASSERT_TRUE(client.Reply(m, kPreviewOff));
  }
  // Without a reply nothing more comes.
  ASSERT_TRUE(client.Read(m));
  StreamMessage next;
  EXPECT_FALSE(client.Read(next, 1500));
  const auto replies = card_->Events("stream-reply");
  ASSERT_GE(replies.size(), 8u);
  EXPECT_EQ(replies.back()["frame"], lastFrame);
  EXPECT_EQ(replies.back()["flags"], kPreviewOff);
  EXPECT_EQ(replies.back()["matches"], true);
}

TEST_F(CardSimStream, DetectorAreaIsMarkedAfterProgrammingBrighterWithAVehicleInside) {
  StreamClient client(card_->Address(), card_->StreamPort());
  ASSERT_TRUE(client.Connected());
  StreamMessage m;
  bool sawFree = false, sawOccupied = false, sawUnmarked = false;
  std::vector<std::uint8_t> dump;
  // The replies of one round of four pictures set the preview for the next round: off in
  // every fifth round, on otherwise.
  auto previewOff = [](int round) { return round % 5 == 3; };
  for (int i = 0; i < 4 * 200 && !(sawFree && sawOccupied && sawUnmarked); ++i) {
    ASSERT_TRUE(client.Read(m));
    const int round = i / 4;
    if (round >= 1 && m.track == 0) {
      int area = 0, free = 0, occupied = 0;
      for (int y = 0; y < 144; ++y) {
        for (int x = 0; x < 180; ++x) {
          if (!InArea(x, y)) continue;
          ++area;
          free += m.payload[y * 180 + x] == 160;
          occupied += m.payload[y * 180 + x] == 255;
        }
      }
      if (previewOff(round - 1)) {
        EXPECT_LT(free + occupied, area / 2) << "no marks with the preview off";
        sawUnmarked = true;
      } else {
        EXPECT_TRUE(free == area || occupied == area) << free << " " << occupied << " of " << area;
        if (free == area && !sawFree) {
          sawFree = true;
          if (dump.empty()) dump = m.payload;
        }
        if (occupied == area && !sawOccupied) {
          sawOccupied = true;
          dump = m.payload;
        }
      }
    }
    // Track A's picture follows the last reply of the round before, the others the reply
    // to the picture before them in this round.
    if (round >= 1 && m.track == 1 && !previewOff(round)) {
      EXPECT_NE(m.payload[105 * 180 + 14], 160) << "track B does not show track A's area";
      EXPECT_EQ(m.payload[100 * 180 + 80], m.payload[100 * 180 + 80] == 255 ? 255 : 160) << "B3 is marked";
    }
    ASSERT_TRUE(client.Reply(m, previewOff(round) ? kPreviewOff : 0));
  }
  EXPECT_TRUE(sawFree);
  EXPECT_TRUE(sawOccupied) << "a vehicle crossed the band";
  EXPECT_TRUE(sawUnmarked);
  ASSERT_FALSE(dump.empty());
  const fs::path artifacts = fs::path(TREVNA_BINARY_DIR) / "artifacts";
  fs::create_directories(artifacts);
  cardsim_test::WriteGreyBmp(artifacts / "cardsim-live-detector.bmp", dump);
  std::printf("live picture with the detector area: %s\n", (artifacts / "cardsim-live-detector.bmp").c_str());
}

TEST_F(CardSimStream, TuningCountsOnlyForTheDetectorAskedForAndResetClearsThem) {
  StreamClient client(card_->Address(), card_->StreamPort());
  ASSERT_TRUE(client.Connected());
  StreamMessage m;
  // No tuning bit: pictures only.
  for (int i = 0; i < 8; ++i) {
    ASSERT_TRUE(client.Read(m));
    EXPECT_EQ(m.type, 1);
    ASSERT_TRUE(client.Reply(m));
  }
  // Ask for B3 (track 1, index 2).
  std::vector<std::uint32_t> totals;
  int tuningMessages = 0;
  for (int i = 0; i < 60; ++i) {
    ASSERT_TRUE(client.Read(m));
    if (m.type == 2) {
      ++tuningMessages;
      EXPECT_EQ(m.track, 1);
      EXPECT_EQ(m.header[36], 2) << "only the detector asked for";
      EXPECT_EQ(m.headerLength, 64u);
      EXPECT_EQ(m.Header16(16), 250);
      EXPECT_EQ(m.Header16(18), 16);
      ASSERT_EQ(m.payloadLength, 500u);
      std::uint32_t total = 0;
      for (int b = 0; b < 250; ++b) total += m.Count(b);
      totals.push_back(total);
    }
    ASSERT_TRUE(client.Reply(m, kTuning, 0, 2, 1));
  }
  EXPECT_GE(tuningMessages, 8);
  ASSERT_GE(totals.size(), 3u);
  EXPECT_GT(totals.back(), totals.front()) << "counts add up while the card measures";
  EXPECT_GT(totals.front(), 0u);

  // Reset, then keep asking: the counts start again from nothing.
  const std::uint32_t before = totals.back();
  bool resetSent = false;
  std::uint32_t after = 0;
  for (int i = 0; i < 30; ++i) {
    ASSERT_TRUE(client.Read(m));
    if (m.type == 2 && resetSent) {
      after = 0;
      for (int b = 0; b < 250; ++b) after += m.Count(b);
      ASSERT_TRUE(client.Reply(m, kTuning, 0, 2, 1));
      break;
    }
    const std::uint8_t flags = resetSent ? kTuning : kTuning | kReset;
    resetSent = true;
    ASSERT_TRUE(client.Reply(m, flags, 0, 2, 1));
  }
  EXPECT_LT(after, before);

  // A detector that the program does not have (B10) gets counts of zero; the tiny B4 in a
  // corner of the verge only ever sees the empty ground: low feature values only.
  int unknown = 0, corner = 0;
  for (int i = 0; i < 40; ++i) {
    ASSERT_TRUE(client.Read(m));
    if (m.type == 2 && m.header[36] == 9) {
      ++unknown;
      std::uint32_t total = 0;
      for (int b = 0; b < 250; ++b) total += m.Count(b);
      EXPECT_EQ(total, 0u);
    }
    if (m.type == 2 && m.header[36] == 3) {
      ++corner;
      std::uint32_t total = 0, high = 0;
      for (int b = 0; b < 250; ++b) {
        total += m.Count(b);
        if (b >= 20) high += m.Count(b);
      }
      EXPECT_GT(total, 0u);
      EXPECT_EQ(high, 0u) << "no vehicle drives over the verge";
    }
    ASSERT_TRUE(client.Reply(m, kTuning, 0, i < 20 ? 9 : 3, 1));
  }
  EXPECT_GE(unknown, 3);
  EXPECT_GE(corner, 3);
}

TEST_F(CardSimStream, ForcedOutputsShowAsAnOverlay) {
  StreamClient client(card_->Address(), card_->StreamPort());
  ASSERT_TRUE(client.Connected());
  StreamMessage m;
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(client.Read(m));
    ASSERT_TRUE(client.Reply(m, kForcing, 0x81));
  }
  ASSERT_TRUE(client.Read(m));
  auto px = [&](int x, int y) { return m.payload[y * 180 + x]; };
  EXPECT_EQ(px(4, 4), 255) << "Y1 lit";
  EXPECT_EQ(px(3 + 22 + 2, 4), 0) << "Y2 dark";
  EXPECT_EQ(px(3 + 7 * 22 + 2, 4), 255) << "Y8 lit";
  ASSERT_TRUE(client.Reply(m, kForcing, 0x02));
  ASSERT_TRUE(client.Read(m));
  EXPECT_EQ(px(4, 4), 0) << "Y1 no longer forced";
  EXPECT_EQ(px(3 + 22 + 2, 4), 255) << "Y2 lit";
  ASSERT_TRUE(client.Reply(m));
  ASSERT_TRUE(client.Read(m));
  EXPECT_NE(px(4, 4), 0);  // no overlay without bit 1: the sky
  EXPECT_NE(px(3 + 22 + 2, 4), 255);
  const auto replies = card_->Events("stream-reply");
  bool forcedLogged = false;
  for (const auto& r : replies) forcedLogged |= r["forced"] == 0x81 && r["flags"] == kForcing;
  EXPECT_TRUE(forcedLogged);
}

TEST(CardSimStreamFaults, ShortHeaderThenOtherMalformedMessagesKeepTheStreamGoing) {
  {
    CardSimOptions options;
    options.addresses = {"127.0.0.14"};
    options.faults = {"bad-stream-header"};
    CardSim card(options);
    StreamClient client(card.Address(), card.StreamPort());
    StreamMessage m;
    EXPECT_FALSE(client.Read(m));
    EXPECT_EQ(m.headerLength, 15u) << "a header length below 16";
  }
  {
    CardSimOptions options;
    options.addresses = {"127.0.0.14"};
    options.faults = {"bad-stream-header=width"};
    options.extraArguments = {"--fps", "12"};
    CardSim card(options);
    StreamClient client(card.Address(), card.StreamPort());
    StreamMessage m;
    int wrongWidth = 0;
    for (int i = 0; i < 12; ++i) {
      ASSERT_TRUE(client.Read(m));
      wrongWidth += m.Header16(20) == 176;
      ASSERT_TRUE(client.Reply(m));
    }
    EXPECT_EQ(wrongWidth, 3) << "every fourth picture";
    EXPECT_EQ(card.Events("stream-fault").size(), 3u);
  }
  {
    CardSimOptions options;
    options.addresses = {"127.0.0.14"};
    options.faults = {"bad-stream-header=long"};
    CardSim card(options);
    StreamClient client(card.Address(), card.StreamPort());
    StreamMessage m;
    ASSERT_TRUE(client.Read(m));
    EXPECT_EQ(m.headerLength, 80u);
    EXPECT_EQ(m.payloadLength, 25920u);
  }
}

}  // namespace
