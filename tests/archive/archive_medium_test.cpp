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

TEST(ArchiveLabels, TwoCamerasOn32Gigabytes) {
  ArchiveMediumState state;
  state.sampleSize = 10000;
  state.cameras = 2;
  state.capacity = 32;
  const Labels labels = Compute(state);
  EXPECT_EQ(labels.bitRate, "Przepływność: 1152 kbps");
  EXPECT_EQ(labels.time, "Czas zapisu: 2 dni");
  EXPECT_EQ(state.archiveDays, 2u);
}

TEST(ArchiveLabels, OneCameraOn4GigabytesShowsHours) {
  ArchiveMediumState state;
  state.sampleSize = 10000;
  state.cameras = 1;
  state.capacity = 4;
  state.archiveDays = 9;
  const Labels labels = Compute(state);
  EXPECT_EQ(labels.bitRate, "Przepływność: 576 kbps");
  EXPECT_EQ(labels.time, "Czas zapisu: 15 godz.");
  EXPECT_EQ(state.archiveDays, 0u);
}

TEST(ArchiveLabels, EdgesOfTheArithmetic) {
  ArchiveMediumState state;
  state.sampleSize = 1;
  state.cameras = 1;
  EXPECT_EQ(Compute(state).bitRate, "Przepływność: 1 kbps");  // b = 57, rounded up
  EXPECT_EQ(Compute(state).time, "Czas zapisu: 0 godz.");     // no medium yet

  state.sampleSize = 0;
  state.archiveDays = 7;
  EXPECT_EQ(Compute(state).bitRate, "Przepływność: 0 kbps");
  EXPECT_EQ(Compute(state).time, "Czas zapisu: ∞");
  EXPECT_EQ(state.archiveDays, 7u);

  // 47 and 48 hours: the unit changes at 48.
  state.sampleSize = 10000;
  state.cameras = 2;  // 518,400,000 bytes per hour
  state.capacity = 25;  // 48.2 hours
  EXPECT_EQ(Compute(state).time, "Czas zapisu: 2 dni");
  state.capacity = 24;  // 46.3 hours
  EXPECT_EQ(Compute(state).time, "Czas zapisu: 46 godz.");

  // A 2 TB medium needs 64-bit arithmetic: 2,000,000,000,000 / 518,400,000 = 3858 hours.
  state.capacity = 2000;
  EXPECT_EQ(Compute(state).time, "Czas zapisu: 160 dni");
  EXPECT_EQ(state.archiveDays, 160u);
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
