#include "app/win/application.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "shell/win/error_box.h"
#include "shell/win/main_loop.h"
#include "win_test_support.h"

namespace {

// True when this process has a window of class "MainFrame" (other programs may show theirs).
bool OwnMainFrameExists() {
  bool found = false;
  EnumWindows(
      [](HWND hwnd, LPARAM found) -> BOOL {
        wchar_t name[32];
        DWORD process = 0;
        GetWindowThreadProcessId(hwnd, &process);
        if (process == GetCurrentProcessId() && GetClassNameW(hwnd, name, 32) && std::wstring(name) == L"MainFrame") {
          *reinterpret_cast<bool*>(found) = true;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

TEST(Application, FailingSelfTestStopsStartUpWithTheMessageAndExitCodeOne) {
  std::vector<std::string> shown;
  SetErrorBoxHook([&](HWND owner, const std::string& text) {
    EXPECT_EQ(owner, nullptr);
    shown.push_back(text);
  });
  StartupOptions options;
  options.selfTest = [] { return false; };
  EXPECT_EQ(RunApplication(GetModuleHandleW(nullptr), options), 1);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], Cp1250FromUtf8("Nie powiodło się zainicjowanie aplikacji.\nFunkcja MD5 jest niepoprawna."));
  EXPECT_FALSE(OwnMainFrameExists());  // the main window never appeared
  SetErrorBoxHook(nullptr);
  PumpMessages();
}

// A loop client that counts the updates it serves.
class CountingClient : public LoopClient {
 public:
  HWND window = nullptr;
  std::vector<std::uint32_t> served;
  HWND MainWindow() const override { return window; }
  HACCEL Accelerators() const override { return nullptr; }
  bool IsDialogTarget(HWND) const override { return false; }
  void ServeUpdates(std::uint32_t bits) override { served.push_back(bits); }
};

// A window that raises an update request for every message it is posted, then quits.
class Requester : public RecordingWindow {
 public:
  PendingUpdates* updates = nullptr;
  LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override {
    if (message == WM_APP) {
      updates->RequestUpdate(static_cast<std::uint32_t>(wparam));
      return 0;
    }
    if (message == WM_APP + 1) {
      PostQuitMessage(5);
      return 0;
    }
    return RecordingWindow::WindowProc(hwnd, message, wparam, lparam);
  }
};

TEST(Application, UpdateRequestsAreMergedUntilTheQueueIsEmpty) {
  PumpMessages();
  PendingUpdates updates;
  Requester window;
  window.updates = &updates;
  HWND hwnd = window.Create(WS_OVERLAPPEDWINDOW, 0, 0, 100, 100);
  ASSERT_NE(hwnd, nullptr);
  for (int i = 0; i < 20; ++i) PostMessageW(hwnd, WM_APP, UpdateView, 0);
  PostMessageW(hwnd, WM_APP, UpdateCommands, 0);

  CountingClient client;
  client.window = hwnd;
  // A timer message ends the loop after the first idle moment.
  SetTimer(hwnd, 1, 50, [](HWND target, UINT, UINT_PTR id, DWORD) {
    KillTimer(target, id);
    PostMessageW(target, WM_APP + 1, 0, 0);
  });
  EXPECT_EQ(RunMainLoop(client, updates), 5);
  ASSERT_EQ(client.served.size(), 1u);
  EXPECT_EQ(client.served[0], static_cast<std::uint32_t>(UpdateView | UpdateCommands));
  EXPECT_EQ(updates.Peek(), 0u);
  DestroyWindow(hwnd);
}

}  // namespace
