// Closing windows and stopping workers while the workers report, as the program does when the
// user closes a dialog or the program: the windows go first (their tokens with them), then each
// worker is stopped while its reports sit in a UI queue that nobody runs. Every stop must end
// promptly, and the reports must be dropped without touching the freed windows (ASan).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "base/socket.h"
#include "base/ui_queue.h"
#include "device/connection.h"
#include "device/discovery.h"
#include "device/live_stream.h"
#include "device/posted_sinks.h"
#include "support/cardsim.h"
#include "support/recording_device_sinks.h"

namespace {

using namespace device;
using trevna_test::CardSim;

// Runs `work` on its own thread; a hang ends the program (a stuck worker cannot be joined).
template <class Work>
void EndsWithin(int seconds, Work work, const char* what) {
  std::packaged_task<void()> task(work);
  auto done = task.get_future();
  std::thread runner(std::move(task));
  if (done.wait_for(std::chrono::seconds(seconds)) != std::future_status::ready) {
    std::fprintf(stderr, "%s did not end within %d s\n", what, seconds);
    std::_Exit(1);
  }
  runner.join();
}

using trevna_test::ReadBytes;

// The windows a Connection reports to, on the "UI thread" (the test thread).
struct Windows : StatusSink, MessageSink, ArchiveDialogSink, NetworkDialogSink, SaveFileQuestion {
  void ShowStatus(const std::string&) override { ++calls; }
  void ShowProgress(const std::string&, int) override { ++calls; }
  void ShowError(const std::string&) override { ++calls; }
  void ShowFolders(const std::vector<ArchiveEntry>&) override { ++calls; }
  void ShowFiles(const std::string&, const std::vector<ArchiveEntry>&) override { ++calls; }
  void MarkFileDownloaded(const std::string&, const std::string&) override { ++calls; }
  void MarkFolderDownloaded(const std::string&) override { ++calls; }
  void ShowAddresses(std::uint32_t, std::uint32_t, std::uint32_t) override { ++calls; }
  void ShowHardwareAddress(const std::string&) override { ++calls; }
  std::optional<std::string> AskSaveFileName() override {
    ++calls;
    return std::string("/nonexistent/never.trv");
  }
  int calls = 0;
  LifetimeToken token;
};

std::size_t CountEvents(const CardSim& sim, const std::string& event, const std::string& command = "") {
  std::size_t n = 0;
  for (const auto& e : sim.Events(event, "127.0.0.23")) n += command.empty() || e.value("command", "") == command;
  return n;
}

TEST(WorkerShutdownTest, ClosingTheWindowsThenStoppingTheConnectionMidRequestEndsPromptly) {
  // The card holds "ls" and "ifconfig" unanswered, so listings and the network read stay
  // inside their reads until the (3 s) call limit.
  CardSim sim({"127.0.0.23"}, {"stall-command=ls", "stall-command=ifconfig"});
  const auto& card = sim.Card("127.0.0.23");
  const trevna_test::TempFolder root("shutdown");
  const std::string program(200 * 1024, 'p');
  struct Row {
    const char* name;
    std::function<bool(Connection&, Windows&, UiQueue&)> post;
    std::function<bool(Connection&)> midway;  // the worker is inside the request (or past it)
  };
  const std::string rootText = Cp1250FromUtf8(root.Path().string()) + "/";
  std::size_t stalled = 0, fetched = 0, restarts = 0;
  const std::vector<Row> rows = {
      {"archive dialog filled by a listing",
       [&](Connection& c, Windows& w, UiQueue& q) {
         stalled = CountEvents(sim, "exec-stalled");
         return c.PostListArchiveFolders(
             std::make_shared<PostedArchiveDialogSink>(q, w.token.Watch<ArchiveDialogSink>(&w)), rootText);
       },
       [&](Connection&) { return CountEvents(sim, "exec-stalled") > stalled; }},
      {"network dialog filled by the network read",
       [&](Connection& c, Windows& w, UiQueue& q) {
         stalled = CountEvents(sim, "exec-stalled");
         return c.PostShowNetwork(std::make_shared<PostedNetworkDialogSink>(q, w.token.Watch<NetworkDialogSink>(&w)));
       },
       [&](Connection&) { return CountEvents(sim, "exec-stalled") > stalled; }},
      {"error box posted",
       [&](Connection& c, Windows& w, UiQueue& q) {
         return c.PostDownloadArchiveFiles(
             std::make_shared<PostedArchiveDialogSink>(q, w.token.Watch<ArchiveDialogSink>(&w)), "", {}, rootText);
       },
       [](Connection& c) { return c.SlotFree(); }},  // failed at once; the box waits on the queue
      {"save question of download program",
       [&](Connection& c, Windows& w, UiQueue& q) {
         fetched = CountEvents(sim, "scp-download");
         return c.PostDownloadProgram(
             std::make_shared<PostedSaveFileQuestion>(q, w.token.Watch<SaveFileQuestion>(&w)));
       },
       [&](Connection&) { return CountEvents(sim, "scp-download") > fetched; }},
      {"upload in its restart wait",
       [&](Connection& c, Windows&, UiQueue&) {
         restarts = CountEvents(sim, "exec", "sync && /vemo/restart");
         return c.PostUploadProgram(program);
       },
       [&](Connection&) { return CountEvents(sim, "exec", "sync && /vemo/restart") > restarts; }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    UiQueue queue;  // the UI thread is busy elsewhere: nothing runs it until the end
    auto windows = std::make_unique<Windows>();
    PostedStatusSink status(queue, windows->token.Watch<StatusSink>(windows.get()));
    PostedMessageSink messages(queue, windows->token.Watch<MessageSink>(windows.get()));
    ConnectionOptions options;
    options.sshPort = static_cast<std::uint16_t>(card.sshPort);
    options.limits.callTimeoutMs = 3000;
    options.probeEvery = 0;
    options.clockEvery = 0;
    auto connection = std::make_unique<Connection>(&status, &messages, options);
    connection->Start();
    std::uint32_t address = 0;
    net::ParseDottedAddress("127.0.0.23", &address);
    ASSERT_TRUE(connection->PostOpen(address, CardSim::kUser, CardSim::kPassword));
    ASSERT_TRUE(recording::WaitFor([&] { return connection->SlotFree(); }));
    ASSERT_TRUE(connection->IsConnected());
    ASSERT_TRUE(row.post(*connection, *windows, queue));
    ASSERT_TRUE(recording::WaitFor([&] { return row.midway(*connection); }));
    windows.reset();
    EndsWithin(20, [&] { connection->Stop(); }, row.name);
    EXPECT_FALSE(connection->IsConnected());
    EXPECT_GT(queue.RunPending(), 0u);  // every report was dropped, none reached freed memory
    connection.reset();
  }
  // The upload itself was complete before the restart command.
  EXPECT_EQ(ReadBytes(sim.CardFolder("127.0.0.23") / "program.doz"), program);
}

TEST(WorkerShutdownTest, StoppingScanAndLiveThreadsWhileTheyReport) {
  net::Socket probe = net::Socket::Udp();
  probe.Bind(0x7F000001, 0);
  const std::uint16_t port = probe.LocalPort();
  probe.Close();
  trevna_test::CardSimOptions options;
  options.addresses = {"127.0.0.24"};
  options.announcePort = port;
  CardSim sim(options);

  struct ListWindow : DeviceListSink {
    void AddItem(const std::string&) override { ++items; }
    int items = 0;
    LifetimeToken token;
  };
  UiQueue queue;
  auto listWindow = std::make_unique<ListWindow>();
  PostedDeviceListSink listSink(queue, listWindow->token.Watch<DeviceListSink>(listWindow.get()));
  DeviceList list(&listSink);
  ScanThread scan(&list, port);
  scan.Start();
  ASSERT_TRUE(recording::WaitFor([&] { return list.Count() >= 2; }));  // the card was heard and posted

  // The live view repaints through a thread-safe call that never waits.
  LivePictures pictures;
  std::atomic<int> invalidated{0};
  LiveTargets targets;
  targets.pictures = &pictures;
  targets.pictureArrived = [&](int, std::uint32_t) { ++invalidated; };
  LiveThread::Options liveOptions;
  liveOptions.port = static_cast<std::uint16_t>(sim.Card("127.0.0.24").streamPort);
  liveOptions.retryMs = 50;
  LiveThread live(targets, liveOptions);
  live.SetClearedCallback([&] { ++invalidated; });
  live.Start();
  live.SelectAddress(list.AddressAt(1));
  ASSERT_TRUE(recording::WaitFor([&] { return invalidated.load() >= 3; }));

  listWindow.reset();  // the device list window closes first
  EndsWithin(20, [&] { live.Stop(); }, "LiveThread");
  EndsWithin(20, [&] { scan.Stop(); }, "ScanThread");
  EXPECT_GE(queue.RunPending(), 2u);  // the no-card entry and the card: dropped
}

// The user's close, the worker's stop and the program's exit (the worker destroyed) in every
// state where a card can hold the worker: logging in to a silent card, a command the card
// never answers, a transfer start it never answers, an upload to and a download from a card
// that trickles its data, the restart wait. The call limit is two minutes, so a step that does
// not look at the request would hold the worker that long (the restart wait 40 s); each must
// end within 3 s, disconnected, with the cut operation reported in the status bar alone.
TEST(WorkerShutdownTest, CloseStopAndExitEndEveryStateAtOnce) {
  CardSim silent({"127.0.0.40"}, {"silent"});
  CardSim stalling({"127.0.0.41"}, {"stall-command=ls", "stall-command=scp"});
  CardSim trickling({"127.0.0.42"}, {"trickle=2000"});
  CardSim restarting({"127.0.0.43"});
  // A program on the trickling card that takes it a minute to send.
  std::ofstream(trickling.CardFolder("127.0.0.42") / "program.doz", std::ios::binary) << std::string(120 * 1024, 'd');
  const std::string bigProgram(4 * 1024 * 1024, 'u');
  const trevna_test::TempFolder root("interrupted");
  const std::string rootText = Cp1250FromUtf8(root.Path().string()) + "/";
  const auto question = std::make_shared<recording::SaveQuestion>();
  question->answer = Cp1250FromUtf8((root / "never.trv").string());
  const auto count = [](const CardSim& sim, const char* event, const char* address, const char* command = "") {
    std::size_t n = 0;
    for (const auto& e : sim.Events(event, address)) n += !*command || e.value("command", "") == command;
    return n;
  };
  const auto progressed = [](recording::Status& status, const char* text) {
    bool started = false;
    for (const auto& e : status.Events()) {
      if (!e.text.empty()) started = e.text == text;
      if (started && e.text.empty() && e.position >= 1) return true;
    }
    return false;
  };
  struct State {
    const char* name;
    const CardSim& sim;
    const char* address;
    std::function<bool(Connection&)> post;  // gets the worker there (nothing: the login itself)
    // Holds once the worker is there; `before` counts what the card had logged before.
    std::function<bool(recording::Status&, std::size_t before)> reached;
    std::function<std::size_t()> logged;
  };
  const std::vector<State> states = {
      {"login to a silent card", silent, "127.0.0.40", nullptr,
       [](recording::Status& status, std::size_t) { return status.Last() == "Negocjowanie sesji..."; },
       [] { return std::size_t{0}; }},
      {"command never answered", stalling, "127.0.0.41",
       [&](Connection& c) { return c.PostListArchiveFolders(std::make_shared<recording::ArchiveDialog>(), rootText); },
       [&](recording::Status&, std::size_t before) { return count(stalling, "exec-stalled", "127.0.0.41") > before; },
       [&] { return count(stalling, "exec-stalled", "127.0.0.41"); }},
      {"download start never answered", stalling, "127.0.0.41",
       [&](Connection& c) { return c.PostDownloadProgram(question); },
       [&](recording::Status&, std::size_t before) { return count(stalling, "exec-stalled", "127.0.0.41") > before; },
       [&] { return count(stalling, "exec-stalled", "127.0.0.41"); }},
      {"upload to a trickling card", trickling, "127.0.0.42",
       [&](Connection& c) { return c.PostUploadProgram(bigProgram); },
       [&](recording::Status& status, std::size_t) { return progressed(status, "Wysyłanie pliku..."); },
       [] { return std::size_t{0}; }},
      {"download from a trickling card", trickling, "127.0.0.42",
       [&](Connection& c) { return c.PostDownloadProgram(question); },
       [&](recording::Status& status, std::size_t) { return progressed(status, "Pobieranie pliku..."); },
       [] { return std::size_t{0}; }},
      {"restart wait", restarting, "127.0.0.43", [&](Connection& c) { return c.PostUploadProgram("program"); },
       [&](recording::Status&, std::size_t before) {
         return count(restarting, "exec", "127.0.0.43", "sync && /vemo/restart") > before;
       },
       [&] { return count(restarting, "exec", "127.0.0.43", "sync && /vemo/restart"); }},
  };
  enum Action { Close, Stop, Exit };
  for (const State& state : states) {
    for (Action action : {Close, Stop, Exit}) {
      SCOPED_TRACE(std::string(state.name) + (action == Close ? ": close" : action == Stop ? ": stop" : ": exit"));
      // The restarted card is back before it is logged into again.
      ASSERT_TRUE(recording::WaitFor([&] {
        return count(restarting, "restarted", "127.0.0.43") >=
               count(restarting, "exec", "127.0.0.43", "sync && /vemo/restart");
      }));
      recording::Status status;
      recording::Messages messages;
      ConnectionOptions options;
      options.sshPort = static_cast<std::uint16_t>(state.sim.Card(state.address).sshPort);
      options.limits.callTimeoutMs = 120000;
      options.passMs = 600000;  // woken by every request and the stop, never paced
      options.probeEvery = 0;
      options.clockEvery = 0;
      auto connection = std::make_unique<Connection>(&status, &messages, options);
      connection->Start();
      std::uint32_t address = 0;
      net::ParseDottedAddress(state.address, &address);
      if (state.post) {
        ASSERT_TRUE(recording::RunRequest(
            *connection, [&] { return connection->PostOpen(address, CardSim::kUser, CardSim::kPassword); }));
        ASSERT_TRUE(connection->IsConnected());
        const std::size_t before = state.logged();
        ASSERT_TRUE(state.post(*connection));
        ASSERT_TRUE(recording::WaitFor([&] { return state.reached(status, before); }));
      } else {
        ASSERT_TRUE(connection->PostOpen(address, CardSim::kUser, CardSim::kPassword));
        ASSERT_TRUE(recording::WaitFor([&] { return state.reached(status, 0); }));
      }
      const auto asked = std::chrono::steady_clock::now();
      if (action == Close) {
        ASSERT_TRUE(connection->Post(ConnectionRequest::Close));
        EXPECT_TRUE(recording::WaitFor([&] { return connection->SlotFree(); }, std::chrono::seconds(150)));
      } else if (action == Stop) {
        connection->Stop();
      } else {
        connection.reset();
      }
      EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(3));
      if (connection) {
        EXPECT_FALSE(connection->IsConnected());
      }
      if (action == Close) {
        EXPECT_EQ(status.Last(), "Nie połączony");
      }
      EXPECT_TRUE(messages.Errors().empty()) << messages.Errors().front();
      connection.reset();
    }
  }
  EXPECT_EQ(question->asked, 0);
}

}  // namespace
