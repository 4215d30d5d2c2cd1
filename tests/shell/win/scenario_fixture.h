// The main frame of the scenario test: built as the program builds it (MakeApplicationParts)
// with fakes only for the file dialogs and the shell, its live view listening where the
// simulated card of ctest's fixture announces and streams, and what a user's hand does in it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "device/win/live_view.h"
#include "device/win/login_dialog.h"
#include "shell/win/dialog_helpers.h"
#include "doc/document.h"
#include "doc/win/main_view.h"
#include "logic/win/composer_frame.h"
#include "resource_ids.h"
#include "app/win/application_parts.h"
#include "shell/win/error_box.h"
#include "support/files.h"
#include "support/modal_driver.h"
#include "support/win_gestures.h"
#include "frame_cards.h"
#include "frame_test_support.h"

namespace frame_test {

class Scenario : public ::testing::Test {
 protected:
  void SetUp() override {
    auto found = FrameCards::Read();
    if (!found) GTEST_SKIP() << "needs the simulated cards of ctest's fixture (TREVNA_CARDSIM_INFO)";
    cards = *found;
    SetErrorBoxHook([this](HWND, const std::string& text) { errors.push_back(Utf8FromCp1250(text)); });
    rig = std::make_unique<FrameRig>([this](PendingUpdates& updates, Log& log) {
      FrameParts parts = MakeApplicationParts(updates);
      auto files = std::make_unique<FakeFiles>(log);
      this->files = files.get();
      parts.files = std::move(files);
      parts.shell = std::make_unique<FakeShell>(log);
      // The live view listens where the simulated card announces and streams.
      parts.live = std::make_unique<LiveView>(LiveView::Ports{cards.streamPort, cards.announcePort});
      parts.connection.sshPort = cards.normalPort;
      parts.connection.timing.sleep = [](unsigned) {};
      return parts;
    });
  }
  void TearDown() override {
    rig.reset();
    SetErrorBoxHook(nullptr);
  }

  MainFrame& Frame() { return *rig->frame; }
  MainView& Editor() { return dynamic_cast<MainView&>(Frame().Editor()); }
  const RenderState& State() { return Frame().Doc().Current(); }
  void Send(HWND window, UINT message, POINT p, WPARAM keys = 0) {
    SendMessageW(window, message, keys, MAKELPARAM(p.x, p.y));
    rig->Idle();
  }
  // A press, moves and release in the editor, from one canvas pixel of pane `track` to another.
  void Drag(int track, CanvasPoint from, CanvasPoint to) {
    const HWND view = Editor().window;
    Send(view, WM_LBUTTONDOWN, trevna_test::PanePoint(Editor().Geometry(), track, from.x, from.y), MK_LBUTTON);
    for (int i = 1; i <= 4; ++i) {
      const int x = from.x + (to.x - from.x) * i / 4, y = from.y + (to.y - from.y) * i / 4;
      Send(view, WM_MOUSEMOVE, trevna_test::PanePoint(Editor().Geometry(), track, x, y), MK_LBUTTON);
    }
    Send(view, WM_LBUTTONUP, trevna_test::PanePoint(Editor().Geometry(), track, to.x, to.y));
  }
  void Click(int track, CanvasPoint at) { Drag(track, at, at); }
  // A right click on the node of definition row `row` at `path` ("A" / "B" steps below the
  // formula's root), answered with the menu item `utf8Item`.
  void PickInDefinitions(std::size_t row, const std::string& path, const char* utf8Item) {
    ComposerView& view = dynamic_cast<ComposerFrame&>(Frame().Definitions()).View();
    const ExprNode* node = &view.Rows().at(row).root.children.at(1);
    for (char step : path) node = &node->children.at(step == 'A' ? 0 : 1);
    menuUser.pick = WideFromUtf8(utf8Item);
    const NodeRect r = node->rect;
    Send(view.window, WM_RBUTTONDOWN, {(r.left + r.right) / 2, (r.top + r.bottom) / 2});
  }
  // Chooses "Symulator 1" in the device list once it is heard there and waits until its
  // pictures of every track are in the live view.
  void ChooseSimulator() {
    rig->ClickTab(0);
    const HWND devices = Frame().DeviceList().Handle();
    const HWND list = GetDlgItem(devices, IDC_DEVICE_LIST);
    LRESULT item = LB_ERR;
    ASSERT_TRUE(rig->PumpUntil(
        [&] {
          item = SendMessageW(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                              reinterpret_cast<LPARAM>(L"Symulator 1 (127.0.0.2)"));
          return item != LB_ERR;
        },
        30000))
        << SendMessageW(list, LB_GETCOUNT, 0, 0) << " items";
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(item), 0);
    SendMessageW(devices, WM_COMMAND, MAKEWPARAM(IDC_DEVICE_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    EXPECT_TRUE(rig->PumpUntil(
        [&] {
          const std::vector<Picture> pictures = Frame().Live().CurrentPictures();
          return pictures.size() == 4 && std::all_of(pictures.begin(), pictures.end(), [](const Picture& p) {
                   return p.pixels != Picture{}.pixels;
                 });
        },
        30000))
        << "no pictures of all four tracks arrived";
  }
  // "Otwórz połączenie" through the login dialog, with the address the device list put there.
  void LogIn() {
    std::uint32_t shown = 0;
    const std::string failure = trevna_test::ModalDriver::Run(
        [&] { SendMessageW(Frame().window, WM_COMMAND, IDM_CONNECTION_OPEN, 0); },
        {{"fill in the login dialog", [&](HWND d) {
            if (!GetDlgItem(d, IDC_USER_NAME)) return false;
            shown = DialogItemAddress(d, IDC_ADDRESS);
            SetDlgItemTextW(d, IDC_USER_NAME, WideFromUtf8(cards.user).c_str());
            SetDlgItemTextW(d, IDC_PASSWORD, WideFromUtf8(cards.password).c_str());
            SendMessageW(d, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(d, IDOK)));
            return true;
          }}});
    EXPECT_EQ(failure, "");
    EXPECT_EQ(shown, FrameCards::kNormal) << "the address comes from the device list";
    // Connected, and the opening's request done: the next command posts into a free slot.
    EXPECT_TRUE(rig->PumpUntil(
        [&] { return Frame().CardConnection().IsConnected() && Frame().CardConnection().SlotFree(); }, 30000))
        << Utf8FromWide(Frame().StatusView().Text());
  }

  FrameCards cards;
  trevna_test::MenuUser menuUser;
  std::vector<std::string> errors;
  FakeFiles* files = nullptr;
  std::unique_ptr<FrameRig> rig;
  trevna_test::TempFolder folder{"frame-scenario"};
};

}  // namespace frame_test
