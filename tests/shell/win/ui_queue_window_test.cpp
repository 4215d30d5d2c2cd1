// Workers reporting to real windows through the UI queue and its message-only window: reports
// arrive while a modal loop runs; closing the program while the workers report and an error
// box is up ends in bounded time, and the reports to the destroyed window are dropped.
#include "shell/win/ui_queue_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "archive/export_thread.h"
#include "base/socket.h"
#include "base/text.h"
#include "device/connection.h"
#include "device/discovery.h"
#include "device/live_stream.h"
#include "device/posted_sinks.h"
#include "shell/win/window.h"
#include "support/free_port.h"

namespace {

using namespace device;

// Ends the test program when the guarded part has not ended in time (a hang cannot be undone).
class Watchdog {
 public:
  Watchdog(int seconds, const char* what) {
    thread_ = std::thread([this, seconds, what] {
      std::unique_lock lock(mutex_);
      if (!changed_.wait_for(lock, std::chrono::seconds(seconds), [this] { return done_; })) {
        std::fprintf(stderr, "%s did not end within %d s\n", what, seconds);
        std::fflush(stderr);
        std::_Exit(1);
      }
    });
  }
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
  std::thread thread_;
};

// Dispatches messages until `done` holds (at most 20 s); WM_QUIT is noted, not dispatched.
bool PumpUntil(const std::function<bool()>& done, bool* quit = nullptr) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > 20000) return false;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        if (quit) *quit = true;
        continue;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

// A worker that runs `body` once.
class ScriptedWorker : public Thread {
 public:
  explicit ScriptedWorker(std::function<void()> body) : Thread("Scripted"), body_(std::move(body)) {}
  ~ScriptedWorker() override { Stop(); }

 protected:
  int Run() override {
    body_();
    return 0;
  }

 private:
  std::function<void()> body_;
};

// The network dialog, shown modally from an in-memory template; its title shows the address.
struct NetworkDialog : NetworkDialogSink {
  void ShowAddresses(std::uint32_t address, std::uint32_t, std::uint32_t) override {
    seen.push_back("addresses");
    SetWindowTextW(dialog, WideFromUtf8(net::DottedAddress(address)).c_str());
  }
  void ShowHardwareAddress(const std::string& text) override {
    seen.push_back(std::string("hwaddr ").append(text));
    EndDialog(dialog, 1);
  }
  HWND dialog = nullptr;
  std::vector<std::string> seen;
  std::wstring title;
  LifetimeToken token;
  std::unique_ptr<ScriptedWorker> worker;
};

INT_PTR CALLBACK NetworkDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<NetworkDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      self = reinterpret_cast<NetworkDialog*>(lparam);
      self->dialog = dialog;
      SetTimer(dialog, 1, 20000, nullptr);  // a dialog never filled ends as a failure
      self->worker->Start();                // the worker fills the dialog while it is open
      return TRUE;
    case WM_SETTEXT:
      if (self) self->title = reinterpret_cast<const wchar_t*>(lparam);
      return FALSE;
    case WM_TIMER:
      EndDialog(dialog, 2);
      return TRUE;
    default:
      (void)wparam;
      return FALSE;
  }
}

TEST(UiQueueWindowTest, ReportsReachAModalDialogFromItsOwnLoop) {
  UiQueue queue;
  UiQueueWindow queueWindow(queue);
  NetworkDialog dialog;
  auto sink = std::make_shared<PostedNetworkDialogSink>(queue, dialog.token.Watch<NetworkDialogSink>(&dialog));
  dialog.worker = std::make_unique<ScriptedWorker>([sink] {
    sink->ShowAddresses(0xC0A80114, 0xFFFFFF00, 0xC0A80101);
    sink->ShowHardwareAddress("00:1A:2B:3C:4D:5E");
  });
  // A dialog template with no controls: style, counts, position, size, no menu, class, title.
  alignas(4) WORD templ[16] = {};
  auto* header = reinterpret_cast<DLGTEMPLATE*>(templ);
  header->style = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
  header->cx = 120;
  header->cy = 60;
  Watchdog watchdog(60, "the modal dialog");
  const INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), header, nullptr, NetworkDialogProc,
                                                 reinterpret_cast<LPARAM>(&dialog));
  dialog.worker->Stop();
  EXPECT_EQ(result, 1);  // ended by the last report, delivered from the dialog's own loop
  EXPECT_EQ(dialog.seen, (std::vector<std::string>{"addresses", "hwaddr 00:1A:2B:3C:4D:5E"}));
  EXPECT_EQ(dialog.title, L"192.168.1.20");
}

HWND CreateTestWindow(Window& object, const wchar_t* className, HWND owner = nullptr) {
  WNDCLASSEXW windowClass{};
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = className;
  RegisterWindowClass(windowClass);
  return CreateFrameworkWindow(object, 0, className, L"test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200,
                               owner, nullptr, GetModuleHandleW(nullptr));
}

// What the main window was told; it outlives the window object.
struct Seen {
  std::atomic<int> reports{0};
  int boxes = 0;
  bool boxReturned = false, destroyed = false;
};

// The program's main window as far as the workers see it: status bar, error box, device list
// and the export dialog's view. Its object goes with its HWND (token revoked at WM_DESTROY,
// object deleted at WM_NCDESTROY). Its error box is a real message box owned by the window;
// a timer started with the box closes the window, as a user closing the program meanwhile.
class MainWindow : public Window,
                   public StatusSink,
                   public MessageSink,
                   public DeviceListSink,
                   public ExportView {
 public:
  explicit MainWindow(Seen& seen) : seen_(seen) {}
  void ShowStatus(const std::string&) override { ++seen_.reports; }
  void ShowProgress(const std::string&, int) override { ++seen_.reports; }
  void ShowError(const std::string& text) override {
    ++seen_.boxes;
    SetTimer(window, 1, 200, nullptr);
    Seen& seen = seen_;  // the box returns after this object is gone
    MessageBoxW(window, WideFromCp1250(text).c_str(), nullptr, MB_ICONERROR);
    seen.boxReturned = true;
  }
  void AddItem(const std::string&) override { ++seen_.reports; }
  void SetStatusText(const std::string&) override { ++seen_.reports; }
  void SetProgress(std::uint32_t) override { ++seen_.reports; }
  void EnableJobControls(bool) override { ++seen_.reports; }
  bool AskOutputPath(std::wstring&) override {
    ++seen_.reports;
    return false;
  }
  LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override {
    switch (message) {
      case WM_TIMER:
        KillTimer(hwnd, 1);
        DestroyWindow(hwnd);
        return 0;
      case WM_DESTROY:
        token.Revoke();
        seen_.destroyed = true;
        PostQuitMessage(0);
        return 0;
      case WM_NCDESTROY: {
        const LRESULT result = Window::WindowProc(hwnd, message, wparam, lparam);
        delete this;
        return result;
      }
      default:
        return Window::WindowProc(hwnd, message, wparam, lparam);
    }
  }
  LifetimeToken token;

 private:
  Seen& seen_;
};

TEST(UiQueueWindowTest, ClosingTheProgramWhileWorkersReportAndAnErrorBoxIsUpEndsPromptly) {
  net::NetworkStartup network;
  ASSERT_TRUE(network.Ok());
  UiQueue queue;
  auto queueWindow = std::make_unique<UiQueueWindow>(queue);
  Seen seen;
  auto* main = new MainWindow(seen);
  ASSERT_NE(CreateTestWindow(*main, L"MainWindowTest"), nullptr);
  PostedStatusSink status(queue, main->token.Watch<StatusSink>(main));
  PostedMessageSink messages(queue, main->token.Watch<MessageSink>(main));
  PostedDeviceListSink listSink(queue, main->token.Watch<DeviceListSink>(main));
  PostedExportView exportView(queue, main->token.Watch<ExportView>(main));

  // Connection: an opening that fails (nothing listens) reports its steps and an error box.
  ConnectionOptions options;
  options.sshPort = trevna_test::FreeLoopbackTcpPort();
  Connection connection(&status, &messages, options);
  // Discovery: a datagram it hears is posted to the device list.
  DeviceList list(&listSink);
  net::Socket udp = net::Socket::Udp();
  udp.Bind(0x7F000001, 0);
  const std::uint16_t scanPort = udp.LocalPort();
  udp.Close();
  ScanThread scan(&list, scanPort);
  // Live stream: keeps trying a card that is not there; repaints never wait.
  LiveTargets targets;
  HWND mainWindow = main->window;
  targets.pictureArrived = [mainWindow](int, std::uint32_t) { InvalidateRect(mainWindow, nullptr, FALSE); };
  LiveThread::Options liveOptions;
  liveOptions.port = trevna_test::FreeLoopbackTcpPort();
  liveOptions.retryMs = 100;
  LiveThread live(targets, liveOptions);
  // Export: a job whose output question waits on the UI queue.
  ExportThread exporter(exportView);

  connection.Start();
  live.Start();
  scan.Start();
  exporter.Start();
  live.SelectAddress(0x7F000001);
  ASSERT_TRUE(PumpUntil([&] { return scan.Listening(); }));
  net::Socket sender = net::Socket::Udp();
  const std::string datagram = "DARIRE\nalias `Brama 1`\n";
  sender.SendTo(datagram.data(), datagram.size(), 0x7F000001, scanPort);
  ASSERT_TRUE(PumpUntil([&] { return list.Count() == 2; }));
  ASSERT_TRUE(exporter.Request(kExportCopy, {L"C:\\nie-ma.avi"}));
  ASSERT_TRUE(connection.PostOpen(0x7F000001, "serwis", "haslo"));

  // The error box comes up; while it is up the program is closed.
  bool quit = false;
  {
    Watchdog watchdog(60, "closing the program with an error box up");
    ASSERT_TRUE(PumpUntil([&] { return quit; }, &quit));
  }
  EXPECT_EQ(seen.boxes, 1);
  EXPECT_TRUE(seen.boxReturned);  // the box went with its owner
  EXPECT_TRUE(seen.destroyed);
  EXPECT_GT(seen.reports.load(), 0);

  // The program's shut-down: the workers stop in order, each promptly, with their reports
  // still in the queue; then the queue's window goes and what is left is dropped.
  {
    Watchdog watchdog(60, "stopping the workers");
    connection.Stop();
    live.Stop();
    scan.Stop();
    exporter.Stop();
  }
  // Everything the workers said after the window went is dropped, never delivered to the
  // freed object.
  const int reports = seen.reports;
  queueWindow.reset();
  queue.RunPending();
  EXPECT_EQ(seen.reports.load(), reports);
  EXPECT_EQ(seen.boxes, 1);
}

}  // namespace
