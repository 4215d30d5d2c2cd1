// The archive medium dialog "Przygotowanie nośnika archiwum" as a user drives it: the quality
// trackbar redraws the preview with the JPEG round trip at that quality and updates the labels,
// the medium's size and the cameras set the recording time, and "Zapisz konfigurację" asks,
// formats through the shell and writes "archcfg.txt", or shows why it could not.
#include "archive/win/archive_medium_dialog.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shellapi.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_medium.h"
#include "archive/sample_picture.h"
#include "base/text.h"
#include "export_medium_test_util.h"
#include "resource_ids.h"
#include "shell/win/gdi.h"
#include "support/files.h"

using namespace archive_win_test;

namespace {

// The shell, answered and recorded by the test.
class FakeShell : public MediumShell {
 public:
  std::optional<MediumChoice> choice;  // nothing: the browser is cancelled
  std::optional<std::uint64_t> total;  // nothing: the size query fails
  ArchiveMediumUi::Answer answer = ArchiveMediumUi::Answer::No;
  std::uint32_t formatResult = 0;
  int questions = 0;
  std::vector<int> formatted;
  std::vector<std::string> prepared;
  std::vector<HWND> owners;

  bool BrowseForMedium(HWND owner, MediumChoice& chosen) override {
    owners.push_back(owner);
    if (!choice) return false;
    chosen = *choice;
    return true;
  }
  std::optional<std::uint64_t> TotalBytes(const std::wstring&) override { return total; }
  ArchiveMediumUi::Answer AskFormat(HWND owner) override {
    owners.push_back(owner);
    ++questions;
    return answer;
  }
  std::uint32_t FormatDrive(HWND owner, int drive) override {
    owners.push_back(owner);
    formatted.push_back(drive);
    return formatResult;
  }
  void ShowPrepared(HWND owner, const std::wstring& text) override {
    owners.push_back(owner);
    prepared.push_back(Utf8FromWide(text));
  }
};

std::string Printf(const char* format, unsigned value) {
  char text[128];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

class ArchiveMediumDialogTest : public ::testing::Test {
 protected:
  HWND Open(ArchiveMediumDialog& dialog) {
    const HWND window = dialog.CreateModeless(nullptr);
    EXPECT_NE(window, nullptr);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);
    return window;
  }
  // The user drags the trackbar to `quality`; the preview repaints.
  static void SetQuality(HWND dialog, unsigned quality) {
    const HWND trackbar = GetDlgItem(dialog, IDC_MEDIUM_QUALITY);
    SendMessageW(trackbar, TBM_SETPOS, TRUE, quality);
    SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, quality), reinterpret_cast<LPARAM>(trackbar));
    UpdateWindow(dialog);
  }
  static void Click(HWND dialog, int id) { SendDlgItemMessageW(dialog, id, BM_CLICK, 0, 0); }

  // The labels the engine gives for this sample size, cameras and capacity.
  static ArchiveLabels EngineLabels(std::uint32_t sampleSize, std::uint32_t cameras, std::uint32_t capacity) {
    ArchiveMediumState state;
    state.sampleSize = sampleSize;
    state.cameras = cameras;
    state.capacity = capacity;
    return RecomputeArchiveLabels(state);
  }

  // The folder's entry in the system's image list, as the folder browser reports it.
  int FolderIcon() const {
    SHFILEINFOW info{};
    SHGetFileInfoW(folder.Path().wstring().c_str(), 0, &info, sizeof info, SHGFI_SYSICONINDEX);
    return info.iIcon;
  }

  trevna_test::TempFolder folder{"medium-dialog"};
  FakeShell shell;
  RecordedErrors errors;
};

}  // namespace

// Qualities 10, 50 and 95: the preview shows exactly the engine's JPEG round trip of the sample
// at that quality, three times enlarged, and the bit rate label follows the compressed size.
TEST_F(ArchiveMediumDialogTest, QualityRedrawsThePreviewAndTheLabels) {
  ArchiveMediumDialog dialog(shell);
  const HWND window = Open(dialog);
  // Without bitmap 115 in the program the generated picture is used; with it, the same picture.
  EXPECT_TRUE(dialog.Sample() == SamplePicture());
  const HWND trackbar = GetDlgItem(window, IDC_MEDIUM_QUALITY);
  EXPECT_EQ(SendMessageW(trackbar, TBM_GETRANGEMAX, 0, 0), 99);
  EXPECT_EQ(SendMessageW(trackbar, TBM_GETPOS, 0, 0), 95);
  EXPECT_EQ(IsDlgButtonChecked(window, IDC_MEDIUM_TWO_CAMERAS), BST_CHECKED);

  const HWND preview = GetDlgItem(window, IDC_MEDIUM_PREVIEW);
  RECT area;
  GetClientRect(preview, &area);
  EXPECT_EQ(area.right, 540);
  EXPECT_EQ(area.bottom, 432);
  POINT origin{0, 0};
  MapWindowPoints(preview, window, &origin, 1);

  std::vector<std::uint32_t> sizes;
  std::vector<std::vector<std::uint8_t>> shown;
  for (const unsigned quality : {10u, 50u, 95u}) {
    SCOPED_TRACE(quality);
    SetQuality(window, quality);
    SampleImage expected{};
    const std::uint32_t size = CompressSample(SamplePicture(), quality, &expected);
    ASSERT_GT(size, 0u);
    sizes.push_back(size);

    OffscreenBitmap picture;
    ASSERT_TRUE(CaptureClient(window, picture));
    std::vector<std::uint8_t> grey;
    int wrong = 0;
    std::string firstWrong;
    for (std::uint32_t y = 0; y < kSampleHeight; ++y) {
      for (std::uint32_t x = 0; x < kSampleWidth; ++x) {
        const std::uint32_t want = expected[y * kSampleWidth + x] * 0x010101u;
        const int left = origin.x + 3 * static_cast<int>(x), top = origin.y + 3 * static_cast<int>(y);
        // The three-by-three block of each sample: its first and last pixels.
        for (const int d : {0, 2}) {
          const std::uint32_t got = picture.Pixel(left + d, top + d);
          if (got != want && wrong++ == 0) {
            firstWrong = std::to_string(x) + "," + std::to_string(y) + ": " + std::to_string(got) +
                         " != " + std::to_string(want);
          }
        }
        grey.push_back(static_cast<std::uint8_t>(picture.Pixel(left + 1, top + 1)));
      }
    }
    EXPECT_EQ(wrong, 0) << firstWrong;
    shown.push_back(grey);

    const ArchiveLabels labels = EngineLabels(size, 2, 0);
    EXPECT_EQ(Text(GetDlgItem(window, IDC_MEDIUM_BIT_RATE)), labels.bitRate);
    EXPECT_EQ(Utf8Text(window, IDC_MEDIUM_BIT_RATE),
              Printf("Przepływność: %u kbps", (size * 2 * 5760 / 100 + 999) / 1000));
    EXPECT_EQ(Utf8Text(window, IDC_MEDIUM_TIME), "Czas zapisu: 0 godz.") << "no medium chosen yet";
    if (quality != 50) SaveDialogArtifact(window, "archive_medium_q" + std::to_string(quality));
  }
  EXPECT_LT(sizes[0], sizes[1]);
  EXPECT_LT(sizes[1], sizes[2]);
  EXPECT_TRUE(shown[0] != shown[1]) << "quality 10 and 50 look the same";
  EXPECT_TRUE(shown[1] != shown[2]) << "quality 50 and 95 look the same";
  DestroyWindow(window);
}

// The chosen medium's size (whole decimal gigabytes, 0 when the query fails) and one or two
// cameras set the recording time, as the engine computes it.
TEST_F(ArchiveMediumDialogTest, MediumSizeAndCamerasSetTheRecordingTime) {
  const std::uint32_t sampleSize = CompressSample(SamplePicture(), 95);
  const struct {
    std::optional<std::uint64_t> bytes;
    std::uint32_t gigabytes;
  } cases[] = {{std::nullopt, 0}, {4'000'000'000ull, 4}, {32'999'999'999ull, 32}, {256'000'000'000ull, 256}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.gigabytes);
    ArchiveMediumDialog dialog(shell);
    const HWND window = Open(dialog);
    shell.choice = MediumChoice{folder.Path().wstring(), WideFromUtf8("Pendrive archiwum (E:)"), FolderIcon()};
    shell.total = c.bytes;
    Click(window, IDC_MEDIUM_CHOOSE);
    EXPECT_EQ(Utf8Text(window, IDC_MEDIUM_NAME), "Pendrive archiwum (E:), " + std::to_string(c.gigabytes) + " GB");
    const std::wstring twoCameras = Text(GetDlgItem(window, IDC_MEDIUM_TIME));
    EXPECT_EQ(twoCameras, EngineLabels(sampleSize, 2, c.gigabytes).recordingTime);

    Click(window, IDC_MEDIUM_ONE_CAMERA);
    EXPECT_EQ(IsDlgButtonChecked(window, IDC_MEDIUM_ONE_CAMERA), BST_CHECKED);
    EXPECT_EQ(dialog.State().cameras, 1u);
    const ArchiveLabels one = EngineLabels(sampleSize, 1, c.gigabytes);
    EXPECT_EQ(Text(GetDlgItem(window, IDC_MEDIUM_TIME)), one.recordingTime);
    EXPECT_EQ(Text(GetDlgItem(window, IDC_MEDIUM_BIT_RATE)), one.bitRate);
    if (c.gigabytes > 0) {
      EXPECT_NE(Text(GetDlgItem(window, IDC_MEDIUM_TIME)), twoCameras);
    }

    Click(window, IDC_MEDIUM_TWO_CAMERAS);
    EXPECT_EQ(Text(GetDlgItem(window, IDC_MEDIUM_TIME)), twoCameras);
    if (c.gigabytes == 256) {
      // The medium's icon from the system's image list is drawn in control 1029.
      OffscreenBitmap picture;
      ASSERT_TRUE(CaptureClient(window, picture));
      const HWND icon = GetDlgItem(window, IDC_MEDIUM_ICON);
      RECT box;
      GetClientRect(icon, &box);
      MapWindowPoints(icon, window, reinterpret_cast<POINT*>(&box), 2);
      const std::uint32_t face = GetSysColor(COLOR_BTNFACE);
      const std::uint32_t faceRgb = (face & 0xFF) << 16 | (face & 0xFF00) | (face >> 16 & 0xFF);
      int drawn = 0;
      for (int y = box.top; y < box.bottom; ++y)
        for (int x = box.left; x < box.right; ++x) drawn += picture.Pixel(x, y) != faceRgb;
      EXPECT_GT(drawn, 20) << "no icon drawn";
      SaveDialogArtifact(window, "archive_medium_chosen");
    }
    DestroyWindow(window);
  }
  EXPECT_TRUE(errors.boxes.empty());
}

// "Zapisz konfigurację": what is asked, formatted, written and shown for each answer and path.
TEST_F(ArchiveMediumDialogTest, SavingAsksFormatsAndWritesArchcfg) {
  using Answer = ArchiveMediumUi::Answer;
  // Quality 40 and 2 cameras on a 64 GB medium, computed here as the card estimates it.
  const std::uint32_t size = CompressSample(SamplePicture(), 40);
  const std::uint64_t bitsPerSecond = std::uint64_t{size} * 2 * 5760 / 100;
  const std::uint64_t hours = 64'000'000'000ull / (bitsPerSecond / 8 * 3600);
  ASSERT_GE(hours, 48u) << "the case needs a time in days";
  const std::string settings = "archive_days = " + std::to_string(hours / 24) + "\r\narchive_quality = 40\r\n";

  const auto medium = folder / "nosnik";
  const auto missing = folder / "brak" / "nosnik";
  const std::string missingFile = Utf8FromWide((missing / "archcfg.txt").wstring());
  const struct {
    const char* what;
    std::optional<std::wstring> path;  // nothing: no medium chosen
    Answer answer;
    std::uint32_t formatResult;
    int questions;
    std::vector<int> formatted;
    bool written;
    std::vector<std::string> errors;
  } cases[] = {
      {"no medium", std::nullopt, Answer::No, 0, 0, {}, false, {"Nie wybrano nośnika"}},
      {"network path",
       L"\\\\serwer\\archiwum",
       Answer::No,
       0,
       0,
       {},
       false,
       {"Niepoprawna ścieżka dostępu do nośnika"}},
      {"question cancelled", medium.wstring(), Answer::Cancel, 0, 1, {}, false, {}},
      {"no format", medium.wstring(), Answer::No, 0, 1, {}, true, {}},
      {"formatted", medium.wstring(), Answer::Yes, 0, 1, {2}, true, {}},
      {"format cancelled",
       medium.wstring(),
       Answer::Yes,
       kFormatCancel,
       1,
       {2},
       false,
       {"Formatowanie nie powiodło się"}},
      {"unwritable folder",
       missing.wstring(),
       Answer::No,
       0,
       1,
       {},
       false,
       {"Nie udało się otworzyć pliku `" + missingFile + "'."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(medium);
    std::filesystem::create_directories(medium);
    errors.boxes.clear();
    shell = FakeShell{};
    shell.answer = c.answer;
    shell.formatResult = c.formatResult;
    shell.total = 64'000'000'000ull;
    ArchiveMediumDialog dialog(shell);
    const HWND window = Open(dialog);
    SetQuality(window, 40);
    if (c.path) {
      shell.choice = MediumChoice{*c.path, L"C:", 0};
      Click(window, IDC_MEDIUM_CHOOSE);
    }
    Click(window, IDC_MEDIUM_SAVE);
    EXPECT_EQ(shell.questions, c.questions);
    EXPECT_EQ(shell.formatted, c.formatted);
    EXPECT_EQ(errors.Texts(), c.errors);
    for (const auto& box : errors.boxes) EXPECT_EQ(box.owner, window);
    for (HWND owner : shell.owners) EXPECT_EQ(owner, window);
    EXPECT_EQ(shell.prepared,
              c.written ? std::vector<std::string>{"Nośnik został przygotowany."} : std::vector<std::string>{});
    if (c.written) {
      EXPECT_EQ(trevna_test::ReadBytes(medium / "archcfg.txt"), settings);
      EXPECT_EQ(Utf8Text(window, IDC_MEDIUM_TIME), "Czas zapisu: " + std::to_string(hours / 24) + " dni");
    } else {
      EXPECT_FALSE(std::filesystem::exists(medium / "archcfg.txt"));
      EXPECT_FALSE(std::filesystem::exists(folder / "brak"));
    }
    EXPECT_TRUE(IsWindow(window)) << "the dialog stays open";
    DestroyWindow(window);
  }
}

// What the main frame calls: the modal dialog, closed by the user, ends with result 2.
TEST_F(ArchiveMediumDialogTest, ModalDialogEndsWithTwo) {
  static HWND seen = nullptr;
  seen = nullptr;
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
    HWND found = FindWindowW(nullptr, WideFromUtf8("Przygotowanie nośnika archiwum").c_str());
    if (found && !seen) {
      seen = found;
      PostMessageW(found, WM_CLOSE, 0, 0);
    }
  });
  ArchiveMediumDialog dialog(shell);
  EXPECT_EQ(dialog.RunModal(nullptr), 2);
  KillTimer(nullptr, timer);
  EXPECT_NE(seen, nullptr);
}
