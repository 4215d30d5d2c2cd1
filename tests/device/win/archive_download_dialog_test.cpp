// "Archiwum" against a simulated card: folder and file lists, downloads into a folder typed
// without a trailing separator, the markers, one request for two quick presses, and the dialog
// closed while the worker lists or downloads.
#include "device/win/archive_download_dialog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "device/win/device_win_support.h"
#include "resource_ids.h"
#include "support/files.h"
#include "support/win_artifacts.h"

namespace {

using device_win::Cards;
using device_win::ModalDriver;
using device_win::PumpUntil;
namespace fs = std::filesystem;

class NoFolderChosen final : public TargetFolderQuestion {
 public:
  std::optional<std::string> AskTargetFolder(HWND) override { return std::nullopt; }
};

ModalDriver::Step Do(std::string what, std::function<void(HWND)> action) {
  return {std::move(what), [action](HWND d) {
            action(d);
            return true;
          }};
}
ModalDriver::Step Until(std::string what, std::function<bool(HWND)> done) { return {std::move(what), std::move(done)}; }

HWND Folders(HWND d) { return GetDlgItem(d, IDC_ARCHIVE_FOLDERS); }
HWND Files(HWND d) { return GetDlgItem(d, IDC_ARCHIVE_FILES); }
void ChooseFolder(HWND d, int index) {
  SendMessageW(Folders(d), LB_SETCURSEL, index, 0);
  SendMessageW(d, WM_COMMAND, MAKEWPARAM(IDC_ARCHIVE_FOLDERS, LBN_SELCHANGE), reinterpret_cast<LPARAM>(Folders(d)));
}
bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}
std::size_t Lists(const Cards& cards) { return cards.LogLines(Cards::kFirst, {"\"list\""}).size(); }

struct ArchiveRun {
  explicit ArchiveRun(const Cards& cards) : frame(cards.sshPort), target("archive") {
    EXPECT_TRUE(frame.Login(Cards::kFirst, cards.user, cards.password));
  }
  std::string Run(std::vector<ModalDriver::Step> steps) {
    ArchiveDownloadDialog dialog(frame.CardConnection(), frame.Queue(), folders);
    return ModalDriver::Run([&] { dialog.Run(frame.Instance(), frame.MainWindow()); }, std::move(steps));
  }
  device_win::FakeFrame frame;
  NoFolderChosen folders;
  trevna_test::TempFolder target;
};

TEST(ArchiveTargetFolderTest, SeparatorRule) {
  const struct {
    std::string typed, handed;
  } cases[] = {{"C:\\Archiwum", "C:\\Archiwum\\"}, {"C:\\Archiwum\\", "C:\\Archiwum\\"},
               {"D:/nagrania/", "D:/nagrania/"}, {"", ""}, {std::string(300, 'a'), std::string(259, 'a') + "\\"}};
  for (const auto& c : cases) EXPECT_EQ(ArchiveTargetFolder(c.typed), c.handed) << c.typed;
}

TEST(ArchiveDownloadDialogTest, ListsAndDownloadsThreeFilesWithMarkers) {
  REQUIRE_CARDS();
  ArchiveRun run(*cards);
  const std::string root = run.target.Path().string();  // no trailing separator
  std::vector<std::string> folderItems, fileItems;
  std::vector<std::pair<std::string, std::string>> wanted;  // folder, file
  const auto downloadFirstFiles = [&](int folderIndex, int count) {
    std::vector<ModalDriver::Step> steps;
    steps.push_back(Do("choose folder", [=](HWND d) { ChooseFolder(d, folderIndex); }));
    steps.push_back(Until("files listed", [](HWND d) { return SendMessageW(Files(d), LB_GETCOUNT, 0, 0) >= 2; }));
    steps.push_back(Until("slot free", [&](HWND) { return run.frame.connection->SlotFree(); }));
    steps.push_back(Do("download", [&, folderIndex, count](HWND d) {
      const auto folders = device_win::ListItems(Folders(d));
      const auto files = device_win::ListItems(Files(d));
      for (int i = 0; i < count; ++i) {
        SendMessageW(Files(d), LB_SETSEL, TRUE, i);
        wanted.emplace_back(folders[folderIndex], files[i]);
      }
      device_win::Press(d, IDC_ARCHIVE_DOWNLOAD);
    }));
    steps.push_back(Until("folder marked", [=](HWND d) {
      return EndsWith(device_win::ListItems(Folders(d))[folderIndex], "  [S]");
    }));
    return steps;
  };
  std::vector<ModalDriver::Step> steps = {
      Do("type the target, refresh", [&](HWND d) {
        device_win::SetText(d, IDC_ARCHIVE_TARGET, root);
        device_win::Press(d, IDC_ARCHIVE_REFRESH);
      }),
      Until("folders listed", [](HWND d) { return SendMessageW(Folders(d), LB_GETCOUNT, 0, 0) >= 2; }),
      Until("slot free", [&](HWND) { return run.frame.connection->SlotFree(); })};
  for (auto& s : downloadFirstFiles(0, 2)) steps.push_back(std::move(s));
  for (auto& s : downloadFirstFiles(1, 1)) steps.push_back(std::move(s));
  steps.push_back(Do("look", [&](HWND d) {
    folderItems = device_win::ListItems(Folders(d));
    fileItems = device_win::ListItems(Files(d));
    device_win::SaveScreenArtifact(d, "archive_dialog");
    device_win::Press(d, IDCANCEL);
  }));
  ASSERT_EQ(run.Run(std::move(steps)), "") << "status: " << run.frame.status.Last();
  ASSERT_EQ(wanted.size(), 3u);
  EXPECT_TRUE(EndsWith(folderItems[0], "/  [S]")) << folderItems[0];
  EXPECT_TRUE(EndsWith(folderItems[1], "/  [S]")) << folderItems[1];
  EXPECT_FALSE(EndsWith(folderItems[2], "[S]")) << folderItems[2];
  EXPECT_TRUE(EndsWith(fileItems[0], "  [S]")) << fileItems[0];
  EXPECT_FALSE(EndsWith(fileItems[1], "[S]")) << fileItems[1];
  for (const auto& [folder, file] : wanted) {
    const fs::path local = run.target.Path() / folder / file;
    const fs::path card = fs::path(cards->CardFolder(Cards::kFirst)) / "usbdrive" / folder / file;
    ASSERT_TRUE(fs::exists(local)) << local;
    EXPECT_EQ(fs::file_size(local), fs::file_size(card)) << local;
  }
  EXPECT_TRUE(run.frame.messages.Errors().empty());
}

TEST(ArchiveDownloadDialogTest, TwoQuickRefreshesMakeOneRequest) {
  REQUIRE_CARDS();
  ArchiveRun run(*cards);
  const std::size_t before = Lists(*cards);
  ASSERT_EQ(run.Run({Do("refresh twice", [](HWND d) {
                       device_win::Press(d, IDC_ARCHIVE_REFRESH);
                       device_win::Press(d, IDC_ARCHIVE_REFRESH);
                     }),
                     Until("folders listed", [](HWND d) { return SendMessageW(Folders(d), LB_GETCOUNT, 0, 0) > 0; }),
                     Until("slot free", [&](HWND) { return run.frame.connection->SlotFree(); }),
                     Do("close", [](HWND d) { device_win::Press(d, IDCANCEL); })}),
            "");
  EXPECT_EQ(Lists(*cards), before + 1);
}

// Closing while the worker lists or downloads: the reports after the close are dropped, and a
// file is either complete under its name or absent.
TEST(ArchiveDownloadDialogTest, ClosingDuringAListingOrADownloadIsSafe) {
  REQUIRE_CARDS();
  ArchiveRun run(*cards);
  std::vector<std::string> folders, files;
  // Listing: close right after asking.
  const std::size_t before = Lists(*cards);
  ASSERT_EQ(run.Run({Do("refresh, close", [](HWND d) {
              device_win::Press(d, IDC_ARCHIVE_REFRESH);
              device_win::Press(d, IDCANCEL);
            })}),
            "");
  ASSERT_TRUE(PumpUntil([&] { return run.frame.connection->SlotFree() && run.frame.Queue().Size() == 0; }));
  EXPECT_EQ(Lists(*cards), before + 1);
  EXPECT_EQ(run.frame.status.Last(), "Lista folderów pobrana");

  // Download: list, choose both files of the first folder, press and close at once.
  ASSERT_EQ(run.Run({Do("target, refresh",
                        [&](HWND d) {
                          device_win::SetText(d, IDC_ARCHIVE_TARGET, run.target.Path().string() + "\\");
                          device_win::Press(d, IDC_ARCHIVE_REFRESH);
                        }),
                     Until("folders", [](HWND d) { return SendMessageW(Folders(d), LB_GETCOUNT, 0, 0) > 0; }),
                     Until("slot free", [&](HWND) { return run.frame.connection->SlotFree(); }),
                     Do("choose", [](HWND d) { ChooseFolder(d, 2); }),
                     Until("files", [](HWND d) { return SendMessageW(Files(d), LB_GETCOUNT, 0, 0) >= 2; }),
                     Until("slot free", [&](HWND) { return run.frame.connection->SlotFree(); }),
                     Do("download, close",
                        [&](HWND d) {
                          folders = device_win::ListItems(Folders(d));
                          files = device_win::ListItems(Files(d));
                          SendMessageW(Files(d), LB_SETSEL, TRUE, -1);
                          device_win::Press(d, IDC_ARCHIVE_DOWNLOAD);
                          device_win::Press(d, IDCANCEL);
                        })}),
            "");
  ASSERT_TRUE(PumpUntil([&] { return run.frame.connection->SlotFree() && run.frame.Queue().Size() == 0; }, 60000));
  EXPECT_EQ(run.frame.status.Last(), "Pliki pobrane");
  for (const std::string& file : files) {
    const fs::path local = run.target.Path() / folders[2] / file;
    const fs::path card = fs::path(cards->CardFolder(Cards::kFirst)) / "usbdrive" / folders[2] / file;
    ASSERT_TRUE(fs::exists(local)) << local;
    EXPECT_EQ(fs::file_size(local), fs::file_size(card)) << local;
  }
  // Nothing but the downloaded files under the target folder.
  std::size_t entries = 0;
  for (const auto& e : fs::recursive_directory_iterator(run.target.Path())) entries += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(entries, files.size());
}

}  // namespace
