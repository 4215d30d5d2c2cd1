#include "archive/archive_medium.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "archive_test_util.h"
#include "base/text.h"

using archive_test::ReadBytes;
using archive_test::TempFolder;

namespace {

struct Labels {
  std::string bitRate, time;
};

Labels Compute(ArchiveMediumState& state) {
  const ArchiveLabels labels = RecomputeArchiveLabels(state);
  return {Utf8FromWide(labels.bitRate), Utf8FromWide(labels.recordingTime)};
}

class FakeMediumUi : public ArchiveMediumUi {
 public:
  Answer AskFormat() override {
    ++questions;
    return answer;
  }
  std::uint32_t FormatDrive(int drive) override {
    formatted.push_back(drive);
    return formatResult;
  }
  void ShowPrepared(const std::wstring& text) override { prepared.push_back(Utf8FromWide(text)); }

  Answer answer = Answer::No;
  std::uint32_t formatResult = 0;
  int questions = 0;
  std::vector<int> formatted;
  std::vector<std::string> prepared;
};

std::string SaveError(const ArchiveMediumState& state, ArchiveMediumUi& ui) {
  try {
    SaveArchiveConfiguration(state, ui);
  } catch (const std::runtime_error& e) {
    return Utf8FromCp1250(e.what());
  }
  return "(no error)";
}

}  // namespace

// Each row recomputes the labels of a fresh state; archiveDays is what the state held before
// and what the computation leaves in it.
TEST(ArchiveLabels, BitRateRecordingTimeAndDays) {
  const struct {
    const char* what;
    std::uint32_t sampleSize, cameras, capacity, daysBefore;
    const char* bitRate;
    const char* time;
    std::uint32_t daysAfter;
  } cases[] = {
      {"two cameras on 32 GB", 10000, 2, 32, 0, "1152 kbps", "2 dni", 2},
      {"one camera on 4 GB shows hours", 10000, 1, 4, 9, "576 kbps", "15 godz.", 0},
      {"b = 57 is rounded up; no medium yet", 1, 1, 0, 0, "1 kbps", "0 godz.", 0},
      {"no sample: endless, days kept", 0, 1, 0, 7, "0 kbps", "∞", 7},
      // 518,400,000 bytes per hour: the unit changes at 48 hours.
      {"48.2 hours", 10000, 2, 25, 0, "1152 kbps", "2 dni", 2},
      {"46.3 hours", 10000, 2, 24, 0, "1152 kbps", "46 godz.", 1},
      // 2,000,000,000,000 / 518,400,000 = 3858 hours needs 64-bit arithmetic.
      {"2 TB medium", 10000, 2, 2000, 0, "1152 kbps", "160 dni", 160},
  };
  for (const auto& c : cases) {
    ArchiveMediumState state;
    state.sampleSize = c.sampleSize;
    state.cameras = c.cameras;
    state.capacity = c.capacity;
    state.archiveDays = c.daysBefore;
    const Labels labels = Compute(state);
    EXPECT_EQ(labels.bitRate, std::string("Przepływność: ") + c.bitRate) << c.what;
    EXPECT_EQ(labels.time, std::string("Czas zapisu: ") + c.time) << c.what;
    EXPECT_EQ(state.archiveDays, c.daysAfter) << c.what;
  }
}

TEST(ArchiveLabels, SampleSizeFollowsQuality) {
  SampleImage decoded{};
  const std::uint32_t q95 = CompressSample(SamplePicture(), 95, &decoded);
  const std::uint32_t q50 = CompressSample(SamplePicture(), 50);
  const std::uint32_t q10 = CompressSample(SamplePicture(), 10);
  EXPECT_GT(q95, q50 * 2);
  EXPECT_GT(q50, q10 * 2);
  EXPECT_EQ(CompressSample(SamplePicture(), 0), CompressSample(SamplePicture(), 1));
  long difference = 0;
  for (std::size_t i = 0; i < decoded.size(); ++i) difference += std::abs(decoded[i] - SamplePicture()[i]);
  EXPECT_LT(difference / long(decoded.size()), 3);
}

TEST(ArchiveMediumSave, DriveLetters) {
  EXPECT_EQ(DriveNumberFromPath(L"a:\\"), 0);
  EXPECT_EQ(DriveNumberFromPath(L"E:\\"), 4);
  EXPECT_EQ(DriveNumberFromPath(L"z"), 25);
  for (const wchar_t* bad : {L"\\\\server\\share", L"1:\\", L"", L"\u0141:\\"}) {
    try {
      DriveNumberFromPath(bad);
      ADD_FAILURE() << "accepted " << Utf8FromWide(bad);
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(Utf8FromCp1250(e.what()), "Niepoprawna ścieżka dostępu do nośnika");
    }
  }
}

class ArchiveMediumSaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The medium path must start with a drive letter: use a relative folder "medium".
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(folder_.Path());
    std::filesystem::create_directory("medium");
    state_.mediumPath = L"medium";
    state_.sampleSize = 10000;
    state_.capacity = 32;
    RecomputeArchiveLabels(state_);
  }
  void TearDown() override { std::filesystem::current_path(previous_); }
  std::filesystem::path Config() const { return folder_.Path() / "medium" / "archcfg.txt"; }

  TempFolder folder_{"medium"};
  std::filesystem::path previous_;
  ArchiveMediumState state_;
  FakeMediumUi ui_;
};

TEST_F(ArchiveMediumSaveTest, NoFormatWritesTwoCrLfLines) {
  ui_.answer = FakeMediumUi::Answer::No;
  EXPECT_TRUE(SaveArchiveConfiguration(state_, ui_));
  EXPECT_EQ(ReadBytes(Config()), "archive_days = 2\r\narchive_quality = 95\r\n");
  EXPECT_TRUE(ui_.formatted.empty());
  EXPECT_EQ(ui_.prepared, std::vector<std::string>{"Nośnik został przygotowany."});
}

TEST_F(ArchiveMediumSaveTest, FormatsTheDriveOfThePathFirst) {
  ui_.answer = FakeMediumUi::Answer::Yes;
  ui_.formatResult = 0;
  EXPECT_TRUE(SaveArchiveConfiguration(state_, ui_));
  EXPECT_EQ(ui_.formatted, std::vector<int>{12});  // "m"
  EXPECT_TRUE(std::filesystem::exists(Config()));
}

TEST_F(ArchiveMediumSaveTest, FailedOrCancelledFormatWritesNothing) {
  ui_.answer = FakeMediumUi::Answer::Yes;
  for (std::uint32_t result : {kFormatError, kFormatCancel, kFormatNoFormat}) {
    ui_.formatResult = result;
    EXPECT_EQ(SaveError(state_, ui_), "Formatowanie nie powiodło się");
  }
  EXPECT_FALSE(std::filesystem::exists(Config()));
  EXPECT_TRUE(ui_.prepared.empty());
}

TEST_F(ArchiveMediumSaveTest, CancelledQuestionWritesNothing) {
  ui_.answer = FakeMediumUi::Answer::Cancel;
  EXPECT_FALSE(SaveArchiveConfiguration(state_, ui_));
  EXPECT_FALSE(std::filesystem::exists(Config()));
  EXPECT_TRUE(ui_.formatted.empty());
}

TEST_F(ArchiveMediumSaveTest, PathChecksComeBeforeTheQuestion) {
  state_.mediumPath.clear();
  EXPECT_EQ(SaveError(state_, ui_), "Nie wybrano nośnika");
  state_.mediumPath = L"\\\\server\\archive";
  EXPECT_EQ(SaveError(state_, ui_), "Niepoprawna ścieżka dostępu do nośnika");
  state_.mediumPath = L"missing-folder";
  const std::string expected = "Nie udało się otworzyć pliku `" + Utf8FromWide(ArchiveConfigPath(L"missing-folder")) + "'.";
  EXPECT_EQ(SaveError(state_, ui_), expected);
  EXPECT_EQ(ui_.questions, 1);
}
