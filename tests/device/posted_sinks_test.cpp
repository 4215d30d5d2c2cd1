#include "device/posted_sinks.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <memory>
#include <string>
#include <vector>

#include "device/device_operations.h"

namespace {

using namespace device;

// A window implementing every sink on the UI thread: it logs what it was told.
class LoggingWindow : public StatusSink,
                      public MessageSink,
                      public ArchiveDialogSink,
                      public NetworkDialogSink,
                      public SaveFileQuestion,
                      public DeviceListSink {
 public:
  void ShowStatus(const std::string& text) override { Log("status", text); }
  void ShowProgress(const std::string& text, int position) override { Log("progress", text, position); }
  void ShowError(const std::string& text) override { Log("error", text); }
  void ShowFolders(const std::vector<ArchiveEntry>& folders) override { Log("folders", Items(folders)); }
  void ShowFiles(const std::string& folder, const std::vector<ArchiveEntry>& files) override {
    Log("files", folder, Items(files));
  }
  void MarkFileDownloaded(const std::string& folder, const std::string& file) override {
    Log("marked", folder, file);
  }
  void MarkFolderDownloaded(const std::string& folder) override { Log("marked", folder); }
  void ShowAddresses(std::uint32_t a, std::uint32_t m, std::uint32_t g) override { Log("addresses", a, m, g); }
  void ShowHardwareAddress(const std::string& text) override { Log("hwaddr", text); }
  std::optional<std::string> AskSaveFileName() override {
    Log("save?");
    return std::string("C:\\x.trv");
  }
  void AddItem(const std::string& text) override { Log("item", text); }

  std::vector<std::string> log;
  LifetimeToken token;

 private:
  static std::string Items(const std::vector<ArchiveEntry>& entries) {
    std::string text;
    for (const auto& e : entries) text.append("[").append(ArchiveItemText(e)).append("]");
    return text;
  }
  // Words separated by single spaces.
  template <class... Words>
  void Log(const Words&... words) {
    std::ostringstream line;
    const char* separator = "";
    ((line << separator << words, separator = " "), ...);
    log.push_back(line.str());
  }
};

// Every adapter, every call: nothing reaches the window on the calling thread, everything
// arrives unchanged and in order when the UI queue runs, and nothing after the window's token
// was revoked.
TEST(PostedSinksTest, EveryCallArrivesInOrderOnTheUiThreadAndNothingAfterTheWindowWent) {
  UiQueue queue;
  LoggingWindow window;
  PostedStatusSink status(queue, window.token.Watch<StatusSink>(&window));
  PostedMessageSink messages(queue, window.token.Watch<MessageSink>(&window));
  PostedArchiveDialogSink archive(queue, window.token.Watch<ArchiveDialogSink>(&window));
  PostedNetworkDialogSink network(queue, window.token.Watch<NetworkDialogSink>(&window));
  PostedDeviceListSink list(queue, window.token.Watch<DeviceListSink>(&window));
  const std::vector<std::pair<std::function<void()>, std::string>> calls = {
      {[&] { status.ShowStatus("Połączony"); }, "status Połączony"},
      {[&] { status.ShowProgress("", 26); }, "progress  26"},
      {[&] { messages.ShowError("Nie powiodło się otwarcie sesji."); }, "error Nie powiodło się otwarcie sesji."},
      {[&] { archive.ShowFolders({{"2026-12-01/", true}, {"archcfg.txt", false}}); },
       "folders [2026-12-01/  [S]][archcfg.txt]"},
      {[&] { archive.ShowFiles("2026-12-01/", {{"A_080000.avi", false}}); }, "files 2026-12-01/ [A_080000.avi]"},
      {[&] { archive.MarkFileDownloaded("2026-12-01/", "A_080000.avi"); }, "marked 2026-12-01/ A_080000.avi"},
      {[&] { archive.MarkFolderDownloaded("2026-12-01/"); }, "marked 2026-12-01/"},
      {[&] { network.ShowAddresses(0xC0A80114, 0xFFFFFF00, 0); }, "addresses 3232235796 4294967040 0"},
      // An unknown value reaches a window without its own handling as 0.0.0.0.
      {[&] { network.ShowReadAddresses(0xC0A80114, std::nullopt, 0); }, "addresses 3232235796 0 0"},
      {[&] { network.ShowHardwareAddress("00:1A:2B:3C:4D:5E"); }, "hwaddr 00:1A:2B:3C:4D:5E"},
      {[&] { list.AddItem("Brama 1 (10.0.0.7)"); }, "item Brama 1 (10.0.0.7)"},
  };
  std::vector<std::string> expected;
  for (const auto& [call, line] : calls) {
    call();
    expected.push_back(line);
  }
  EXPECT_TRUE(window.log.empty());
  EXPECT_EQ(queue.RunPending(), calls.size());
  EXPECT_EQ(window.log, expected);

  for (const auto& [call, line] : calls) call();
  window.token.Revoke();
  EXPECT_EQ(queue.RunPending(), calls.size());
  EXPECT_EQ(window.log, expected);
}

}  // namespace
