// The detector tuning window: binding to the selected detector, the graph's pixels, the
// pointer read-outs, the apply question, the edit boxes, "Resetuj", and the tuning request
// the live stream carries to the simulated card.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <sstream>
#include <string>

#include "device/ssh_session.h"
#include "doc/document_file.h"
#include "logic/win/card_stream.h"
#include "doc/win/fake_frame.h"
#include "logic/win/tuning_frame.h"
#include "support/win_artifacts.h"

namespace {

using namespace logic_test;

constexpr std::uint32_t kWhite = 0xFFFFFF, kGreen = 0x007F00, kRed = 0xC80000;

struct AnsweringQuestions : TuningQuestions {
  bool answer = true;
  int asked = 0;
  bool ConfirmApply(HWND) override {
    ++asked;
    return answer;
  }
};

class TuningTest : public ::testing::Test {
 protected:
  void SetUp() override {
    frame.Doc().Current().detectors.push_back(MakeDetector(0, 3, false));  // A3
    frame.Doc().Current().detectors.push_back(MakeDetector(1, 2, true));   // B2, contrast
    tuning.Create(frame, 0);
    tuning.SetQuestions(&questions);
  }
  static Detector MakeDetector(int track, std::uint32_t number, bool contrast) {
    Detector d;
    d.track = track;
    d.number = number;
    d.contrast = contrast;
    return d;
  }
  // Selects detector `index` (-1: none) and binds the window to it, as the frame's refresh does.
  void Select(int index) {
    frame.Doc().Current().selected = index;
    tuning.Bind(frame.Doc().Current().SelectedDetector());
  }
  HWND Item(int id) { return GetDlgItem(tuning.window, id); }
  std::wstring Text(int id) {
    wchar_t text[32] = L"";
    GetWindowTextW(Item(id), text, 32);
    return text;
  }
  void Counts(std::array<std::uint16_t, 250> counts) { tuning.Target().SetCounts(counts.data()); }
  SIZE ViewSize() {
    RECT r{};
    GetClientRect(tuning.View().window, &r);
    return {r.right, r.bottom};
  }

  trevna_test::FakeFrame frame;
  TuningFrame tuning;
  AnsweringQuestions questions;
};

TEST_F(TuningTest, BindingFollowsTheSelectedDetector) {
  struct Case {
    int selected;
    bool enabled;
    const wchar_t* feature;
    const wchar_t* threshold;
    std::optional<std::pair<int, int>> request;
  };
  const Case cases[] = {
      {-1, false, L"", L"", std::nullopt},
      {0, true, L"880", L"3", std::pair{0, 2}},
      {1, false, L"880", L"3", std::pair{1, 1}},  // contrast: still tuned
      {-1, false, L"", L"", std::nullopt},
  };
  for (const Case& c : cases) {
    Select(c.selected);
    for (int id : {TuningFrame::kFeatureLabel, TuningFrame::kFeatureEdit, TuningFrame::kReset,
                   TuningFrame::kThresholdLabel, TuningFrame::kThresholdEdit}) {
      EXPECT_EQ(IsWindowEnabled(Item(id)) != 0, c.enabled) << "selected " << c.selected << ", control " << id;
    }
    EXPECT_EQ(Text(TuningFrame::kFeatureEdit), c.feature) << c.selected;
    EXPECT_EQ(Text(TuningFrame::kThresholdEdit), c.threshold) << c.selected;
    const auto request = tuning.Target().TakeTuningRequest();
    ASSERT_EQ(request.has_value(), c.request.has_value()) << c.selected;
    if (request) {
      EXPECT_EQ(std::pair(request->track, request->index), *c.request);
    }
  }
}

TEST_F(TuningTest, GraphIsWhiteWithoutCountsAndFullWhenAllCountsAreInTheFirstBin) {
  Select(1);  // the contrast detector's counts are drawn with its markers too
  const SIZE size = ViewSize();
  OffscreenBitmap picture;
  ASSERT_TRUE(RenderClient(tuning.View().window, picture));
  for (int x = 0; x < size.cx; x += 7) {
    for (int y = 0; y < size.cy; y += 13) ASSERT_EQ(picture.Pixel(x, y), kWhite) << x << "," << y;
  }
  std::array<std::uint16_t, 250> counts{};
  counts[0] = 5;
  Counts(counts);
  ASSERT_TRUE(RenderClient(tuning.View().window, picture));
  const int markerX = (880 >> 2) * size.cx / 250;         // feature threshold 880
  const int markerY = size.cy - size.cy * 3 / 5;           // threshold 3 of total 5
  for (int x = 0; x < size.cx; x += 5) {
    if (std::abs(x - markerX) <= 2) continue;
    EXPECT_EQ(picture.Pixel(x, 1), kGreen) << x;
    EXPECT_EQ(picture.Pixel(x, size.cy - 1), kGreen) << x;
    EXPECT_EQ(picture.Pixel(x, markerY), kRed) << x;
  }
  int redInColumn = 0;
  for (int x = markerX - 2; x <= markerX + 2; ++x) redInColumn += picture.Pixel(x, 5) == kRed;
  EXPECT_GT(redInColumn, 0) << "no vertical marker near x " << markerX;
}

TEST_F(TuningTest, PointerReadsValuesAndAClickAppliesThemAfterYes) {
  Select(0);
  const SIZE size = ViewSize();
  const LPARAM point = MAKELPARAM(size.cx / 2, size.cy / 4);
  auto move = [&] { SendMessageW(tuning.View().window, WM_MOUSEMOVE, 0, point); };
  auto click = [&] { SendMessageW(tuning.View().window, WM_LBUTTONDOWN, MK_LBUTTON, point); };
  move();
  click();
  EXPECT_EQ(Text(TuningFrame::kHorizontalReadout), L"") << "no counts: the read-outs stay";
  EXPECT_EQ(questions.asked, 0) << "no counts: a click asks nothing";

  std::array<std::uint16_t, 250> counts{};  // a bell around bin 110, as a detector's counts look
  std::uint64_t total = 0;
  for (int i = 0; i < 250; ++i) {
    const int d = i - 110;
    total += counts[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(d * d < 3600 ? (3600 - d * d) / 100 : 0);
  }
  Counts(counts);
  move();
  const unsigned horizontal = static_cast<unsigned>(size.cx / 2 * 1000 / size.cx);
  const unsigned vertical = static_cast<unsigned>((size.cy - size.cy / 4) * total / static_cast<unsigned>(size.cy));
  EXPECT_EQ(Text(TuningFrame::kHorizontalReadout), std::to_wstring(horizontal));
  EXPECT_EQ(Text(TuningFrame::kVerticalReadout), std::to_wstring(vertical));

  struct Case {
    bool answer;
    std::size_t newRevisions;
  };
  for (const Case& c : {Case{false, 0}, Case{true, 1}, Case{true, 0}}) {  // the third: values already set
    questions.answer = c.answer;
    const std::size_t before = frame.Doc().RevisionCount();
    click();
    EXPECT_EQ(frame.Doc().RevisionCount() - before, c.newRevisions) << c.answer;
  }
  EXPECT_EQ(questions.asked, 3);
  const Detector& d = *frame.Doc().Current().SelectedDetector();
  EXPECT_EQ(d.featureThreshold, static_cast<int>(horizontal));
  EXPECT_EQ(d.threshold, static_cast<int>(vertical));
  Select(0);  // the frame's refresh binds the changed detector: the markers move to the pair
  trevna_test::SaveScreenArtifact(tuning.window, "tuning_counts_markers");
}

TEST_F(TuningTest, EditBoxesMakeOneEditOnlyForANewValue) {
  Select(0);
  struct Case {
    int id;
    const wchar_t* text;
    std::size_t newRevisions;
    int feature;
    int threshold;
  };
  const Case cases[] = {
      {TuningFrame::kFeatureEdit, L"880", 0, 880, 3},
      {TuningFrame::kFeatureEdit, L"700", 1, 700, 3},
      {TuningFrame::kThresholdEdit, L"3", 0, 700, 3},
      {TuningFrame::kThresholdEdit, L"42", 1, 700, 42},
  };
  for (const Case& c : cases) {
    const std::size_t before = frame.Doc().RevisionCount();
    SetWindowTextW(Item(c.id), c.text);  // sends EN_CHANGE as typing does
    EXPECT_EQ(frame.Doc().RevisionCount() - before, c.newRevisions) << c.text;
    const Detector& d = *frame.Doc().Current().SelectedDetector();
    EXPECT_EQ(std::pair(d.featureThreshold, d.threshold), std::pair(c.feature, c.threshold)) << c.text;
  }
}

TEST_F(TuningTest, CloseBoxOnlyHides) {
  SendMessageW(tuning.window, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(tuning.window));
  EXPECT_FALSE(IsWindowVisible(tuning.window));
  EXPECT_EQ(frame.closed, std::vector<Panel>{Panel::Tuning});
}

TEST_F(TuningTest, LiveStreamAsksTheCardForTheTunedDetectorAndResets) {
  logic_test::CardStream card;
  ASSERT_TRUE(card.Ready()) << card.Problem();
  device::LivePictures pictures;
  Select(-1);
  card.Start({&pictures, &tuning.Target(), &frame.outputTest, nullptr, {}});
  std::ostringstream seen;
  // Waits for a logged reply that matches; the view repaints meanwhile.
  auto await = [&](const char* what, auto match) {
    EXPECT_TRUE(logic_test::PollUntil([&] {
      for (const logic_test::CardReply& r : card.NewReplies()) {
        seen << " " << r.flags << "/" << r.detectorTrack << "/" << r.detector;
        if (match(r)) return true;
      }
      return false;
    })) << what << "; replies (flags/track/detector):" << seen.str();
  };
  await("replies without a tuning request", [](const auto& r) { return r.flags >= 0 && (r.flags & 4) == 0; });
  Select(1);  // B2: track 1, index 1
  await("a tuning request for B2", [](const auto& r) { return (r.flags & 4) && r.detectorTrack == 1 && r.detector == 1; });
  Select(0);
  SendMessageW(Item(TuningFrame::kReset), BM_CLICK, 0, 0);
  await("the reset bit for A3", [](const auto& r) { return (r.flags & 12) == 12 && r.detectorTrack == 0 && r.detector == 2; });
  // The window goes while the worker still delivers counts: they only reach the sums.
  DestroyWindow(tuning.window);
  await("counts delivered after the window closed", [](const auto& r) { return r.type == 2 && r.detector == 2; });
  card.Stop();
}

TEST_F(TuningTest, GraphShowsTheCardsCountsForAProgrammedDetector) {
  logic_test::CardStream card;
  ASSERT_TRUE(card.Ready()) << card.Problem();
  // Detector A1 over the road, programmed into the card as the upload command does it.
  RenderState& state = frame.Doc().Current();
  Detector road = MakeDetector(0, 1, false);
  road.vertices = {{{40, 30}, {200, 30}, {200, 120}, {40, 120}}};
  state.detectors = {road};
  card.NewLines();
  {
    device::SshSession session;
    session.Open(card.Address(), card.SshPort(), "serwis", "trevna22", {}, nullptr);
    session.Send("/etc/vemo/program.doz", SerializeDocument(state, "C:\\strojenie.trv").Joined(), {});
    session.StartCommand("sync && /vemo/restart", "restart");
    session.TearDown();
  }
  std::string log;
  ASSERT_TRUE(logic_test::PollUntil([&] {
    for (const std::string& line : card.NewLines()) {
      log += line + "\n";
      // The card reads its program during the restart and listens again once it is over.
      if (line.find("\"event\":\"restarted\"") != std::string::npos) return true;
    }
    return false;
  })) << "the card did not load the program; its log:\n" << log;

  Select(0);
  device::LivePictures pictures;
  card.Start({&pictures, &tuning.Target(), &frame.outputTest, nullptr, {}});
  const auto total = [&] { return tuning.State().Sums()[device::TuningState::kValues - 1]; };
  EXPECT_TRUE(logic_test::PollUntil([&] { return total() >= 2000; }, 30)) << "counts so far: " << total();
  card.Stop();
  // The road's low values fill the first bins: the bars at the left reach up from the bottom.
  OffscreenBitmap picture;
  ASSERT_TRUE(RenderClient(tuning.View().window, picture));
  EXPECT_EQ(picture.Pixel(picture.Width() - 1, picture.Height() - 1), kGreen);
  EXPECT_EQ(picture.Pixel(picture.Width() - 1, 0), kGreen) << "the last sum is the total";
  trevna_test::SaveScreenArtifact(tuning.window, "tuning_card_counts");
}

}  // namespace
