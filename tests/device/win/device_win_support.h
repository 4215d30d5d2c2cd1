// Support for the device and archive window tests: a small FrameContext, the simulated cards that
// ctest started (tests/support/cardsim-fixture.sh), a driver for modal dialogs and waits
// that pump messages.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/text.h"
#include "base/ui_queue.h"
#include "device/connection.h"
#include "device/discovery.h"
#include "device/live_state.h"
#include "shell/win/error_box.h"
#include "shell/win/frame_parts.h"
#include "shell/win/ui_queue_window.h"
#include "support/card_fixture.h"
#include "support/modal_driver.h"
#include "support/recording_device_sinks.h"
#include "support/win_artifacts.h"

namespace device_win {

// Pumps messages until `done` holds or `ms` pass. Returns `done()` at the end.
inline bool PumpUntil(const std::function<bool()>& done, int ms = 30000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return done();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return true;
}

// The simulated cards of the fixture "cardsim_win": 127.0.0.2 "Symulator 1" and 127.0.0.3 with a
// 70-character alias, on one SSH port.
struct Cards : trevna_test::FixtureCards {
  static constexpr std::uint32_t kFirst = 0x7F000002, kSecond = 0x7F000003;
  static constexpr const char* kLongAlias = "Brama wjazdowa numer dwa przy ulicy Kolejowej 12 od strony parkingu XY";

  // Null outside ctest's fixture; a fixture whose info cannot be read or names other cards
  // fails the test as well.
  static const Cards* Get() {
    static const std::unique_ptr<Cards> cards = [] {
      if (!std::getenv("TREVNA_CARDSIM_INFO")) return std::unique_ptr<Cards>();
      std::string problem;
      auto info = trevna_test::FixtureCards::Read(&problem);
      if (info && (info->Address("first") != kFirst || info->Address("second") != kSecond)) {
        problem = "no cards \"first\" on 127.0.0.2 and \"second\" on 127.0.0.3";
      }
      if (!problem.empty()) {
        ADD_FAILURE() << "the card fixture: " << problem;
        return std::unique_ptr<Cards>();
      }
      auto found = std::make_unique<Cards>();
      static_cast<trevna_test::FixtureCards&>(*found) = *info;
      return found;
    }();
    return cards.get();
  }
};

#define REQUIRE_CARDS()                                                                \
  const device_win::Cards* cards = device_win::Cards::Get();                           \
  if (!cards) GTEST_SKIP() << "no simulated cards (run through ctest: cardsim fixture)"; \
  (void)cards

// What the frame gives its parts; everything the device windows do not use throws.
class FakeFrame : public FrameContext {
 public:
  class FakeTuning final : public TuningPart {
   public:
    void Create(FrameContext&, int) override {}
    void Show(bool) override {}
    HWND Handle() const override { return nullptr; }
    void Bind(const Detector*) override {}
    device::TuningTarget& Target() override { return state; }
    std::atomic<int> counts{0};  // tuning messages passed on by the stream worker
    device::TuningState state{[this] { ++counts; }};
  };
  class FakeLive final : public LivePart {
   public:
    void Create(FrameContext&, HWND, const RECT&) override {}
    void Layout(const RECT&) override {}
    void Show(bool) override {}
    void ZoomIn() override {}
    void ZoomOut() override {}
    bool DetectionPreview() const override { return true; }
    void SetDetectionPreview(bool) override {}
    void SelectAddress(std::uint32_t address) override { selected.push_back(address); }
    std::vector<Picture> CurrentPictures() const override { return {}; }
    void StopWorkers() override {}
    std::vector<std::uint32_t> selected;
  };
  class FakeDevices final : public DeviceListPart {
   public:
    void Create(FrameContext&, int) override {}
    void Show(bool) override {}
    HWND Handle() const override { return nullptr; }
    std::uint32_t SelectedAddress() const override { return selected; }
    device::DeviceList& Devices() override { return list; }
    std::uint32_t selected = 0;
    device::DeviceList list{nullptr};
  };

  explicit FakeFrame(std::uint16_t sshPort = 22) : uiWindow_(queue_) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_INTERNET_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    main_ = CreateWindowExW(0, L"STATIC", L"TrevnaConf", WS_OVERLAPPEDWINDOW, 0, 0, 900, 700, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
    device::ConnectionOptions options;
    options.sshPort = sshPort;
    connection = std::make_unique<device::Connection>(&status, &messages, options);
    connection->Start();
  }
  ~FakeFrame() override {
    connection->Stop();
    queue_.Clear();
    DestroyWindow(main_);
  }

  HWND MainWindow() const override { return main_; }
  HINSTANCE Instance() const override { return GetModuleHandleW(nullptr); }
  UpdateSink& Updates() override { throw std::logic_error("Updates"); }
  Document& Doc() override { throw std::logic_error("Doc"); }
  UiQueue& Queue() override { return queue_; }
  device::Connection& CardConnection() override { return *connection; }
  device::StatusSink& Status() override { throw std::logic_error("Status"); }
  device::MessageSink& Messages() override { throw std::logic_error("Messages"); }
  FileDialogs& Files() override { throw std::logic_error("Files"); }
  device::OutputTestState& OutputTest() override { return outputTest; }
  void PanelClosed(Panel panel) override { closed.push_back(panel); }
  EditorPart& Editor() override { throw std::logic_error("Editor"); }
  LivePart& Live() override { return livePart ? *livePart : live; }
  ParametersPart& Parameters() override { throw std::logic_error("Parameters"); }
  DefinitionsPart& Definitions() override { throw std::logic_error("Definitions"); }
  TuningPart& Tuning() override { return tuning; }
  DeviceListPart& DeviceList() override { return deviceListPart ? *deviceListPart : devices; }

  // Opens a session to `address` and waits for it; false with the status texts seen.
  ::testing::AssertionResult Login(std::uint32_t address, const std::string& user, const std::string& password) {
    if (!connection->PostOpen(address, user, password)) return ::testing::AssertionFailure() << "slot busy";
    if (!PumpUntil([&] { return connection->SlotFree(); }, 60000) || !connection->IsConnected()) {
      return ::testing::AssertionFailure() << "not connected; status: " << status.Last();
    }
    return ::testing::AssertionSuccess();
  }

  recording::Status status;
  recording::Messages messages;
  device::OutputTestState outputTest;
  FakeTuning tuning;
  FakeLive live;
  FakeDevices devices;
  LivePart* livePart = nullptr;             // the real view, when a test has one
  DeviceListPart* deviceListPart = nullptr;  // the real list, when a test has one
  std::vector<Panel> closed;
  std::unique_ptr<device::Connection> connection;

 private:
  UiQueue queue_;
  UiQueueWindow uiWindow_;
  HWND main_ = nullptr;
};

using ModalDriver = trevna_test::ModalDriver;

// Small actions for the steps.
inline void SetText(HWND dialog, int id, const std::string& utf8) {
  SetDlgItemTextW(dialog, id, WideFromUtf8(utf8).c_str());
}
inline std::string Text(HWND dialog, int id) {
  wchar_t buffer[512] = L"";
  GetDlgItemTextW(dialog, id, buffer, 512);
  return Utf8FromWide(buffer);
}
inline void Press(HWND dialog, int id) {
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
inline std::uint32_t Address(HWND dialog, int id) {
  DWORD value = 0;
  SendDlgItemMessageW(dialog, id, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&value));
  return value;
}
inline std::vector<std::string> ListItems(HWND list) {
  std::vector<std::string> items;
  const int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    std::wstring text(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)), L'\0');
    SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
    items.push_back(Utf8FromWide(text));
  }
  return items;
}

// Saves the window as it is on screen, frame and caption included: dialogs draw their
// controls only on screen (they do not print their children into WM_PRINTCLIENT).
inline void SaveScreenArtifact(HWND window, const std::string& name) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  RECT r{};
  GetWindowRect(window, &r);
  OffscreenBitmap picture;
  if (!picture.Create(r.right - r.left, r.bottom - r.top)) return;
  HDC dc = GetWindowDC(window);
  BitBlt(picture.Dc(), 0, 0, r.right - r.left, r.bottom - r.top, dc, 0, 0, SRCCOPY | CAPTUREBLT);
  ReleaseDC(window, dc);
  trevna_test::SaveArtifact(picture, name);
}

// Error boxes recorded instead of shown (UTF-8), for the life of the object.
class ErrorBoxes {
 public:
  ErrorBoxes() {
    SetErrorBoxHook([this](HWND, const std::string& text) { texts.push_back(Utf8FromCp1250(text)); });
  }
  ~ErrorBoxes() { SetErrorBoxHook({}); }
  std::vector<std::string> texts;
};

}  // namespace device_win
