// The whole main frame as the program builds it (MakeApplicationParts), against a simulated
// card, driven the way a technician works: menus, accelerators, clicks at computed points. Each
// window adds its steps here; the modal questions and the shell are answered by fakes.
#include <gtest/gtest.h>

#include <string>

#include "base/text.h"
#include "resource_ids.h"
#include "shell/win/application_parts.h"
#include "shell/win/error_box.h"
#include "support/files.h"
#include "frame_cards.h"
#include "frame_test_support.h"

using namespace frame_test;

namespace {

class Scenario : public ::testing::Test {
 protected:
  void SetUp() override {
    auto found = FrameCards::Read();
    if (!found) GTEST_SKIP() << "needs the simulated cards of ctest's fixture (TREVNA_FRAME_CARDS)";
    cards = *found;
    SetErrorBoxHook([this](HWND, const std::string& text) { errors.push_back(Utf8FromCp1250(text)); });
    rig = std::make_unique<FrameRig>([this](PendingUpdates& updates, Log& log) {
      FrameParts parts = MakeApplicationParts(updates);
      auto files = std::make_unique<FakeFiles>(log);
      this->files = files.get();
      parts.files = std::move(files);
      parts.shell = std::make_unique<FakeShell>(log);
      parts.connection.sshPort = cards.normalPort;
      parts.connection.timing.sleep = [](unsigned) {};
      return parts;
    });
  }
  void TearDown() override {
    rig.reset();
    SetErrorBoxHook(nullptr);
  }

  FrameCards cards;
  std::vector<std::string> errors;
  FakeFiles* files = nullptr;
  std::unique_ptr<FrameRig> rig;
  trevna_test::TempFolder folder{"frame-scenario"};
};

TEST_F(Scenario, ATechnicianStartsANewDocumentAndConnectsToTheCard) {
  MainFrame& frame = *rig->frame;
  // The program starts: title, status, both tabs, the strip, every menu of the bar.
  EXPECT_EQ(WindowTitle(frame.window), L"TrevnaConf");
  EXPECT_EQ(frame.StatusView().Text(), WideFromUtf8("Nie połączony"));
  HMENU bar = GetMenu(frame.window);
  ASSERT_EQ(GetMenuItemCount(bar), 7);
  const char* titles[] = {"&Plik", "&Edycja", "&Widok", "W&staw", "P&ołączenie", "&Narzędzia", "Po&moc"};
  for (int i = 0; i < 7; ++i) {
    wchar_t text[64] = {};
    GetMenuStringW(bar, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(text), WideFromUtf8(titles[i]));
  }
  EXPECT_TRUE(rig->MenuState(IDM_DEVICE_PROGRAM) & MF_GRAYED);

  // Ctrl+N on the editor's tab, saved under a name with Ctrl+S: the title follows.
  rig->ClickTab(1);
  EXPECT_EQ(frame.Tabs().CurrentTab(), 1);
  rig->Key(frame.Tabs().Handle(), 'N', true);
  EXPECT_EQ(WindowTitle(frame.window), L"TrevnaConf");
  const auto path = folder.Path() / "nowy.trv";
  files->path = Cp1250FromWide(path.wstring());
  rig->Key(frame.Tabs().Handle(), 'S', true);
  EXPECT_EQ(WindowTitle(frame.window), path.wstring() + L" - TrevnaConf");

  // The card is opened (the login dialog's request) and the connection commands come alive.
  ASSERT_TRUE(frame.CardConnection().PostOpen(FrameCards::kNormal, cards.user, cards.password));
  EXPECT_TRUE(rig->PumpUntil([&] { return frame.CardConnection().IsConnected(); }, 30000))
      << Utf8FromWide(frame.StatusView().Text());
  EXPECT_FALSE(rig->MenuState(IDM_DEVICE_PROGRAM) & MF_GRAYED);
  EXPECT_TRUE(rig->MenuState(IDM_CONNECTION_OPEN) & MF_GRAYED);
  // "Rozłącz" closes the link.
  rig->Command(IDM_CONNECTION_CLOSE);
  EXPECT_TRUE(rig->PumpUntil([&] { return !frame.CardConnection().IsConnected(); }, 30000));
  EXPECT_TRUE(errors.empty()) << (errors.empty() ? "" : errors[0]);
}

}  // namespace
