// Login, password and network dialogs against the simulated cards, driven through their own
// modal loops as a user would fill them.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "device/win/login_dialog.h"
#include "device/win/network_dialog.h"
#include "device/win/password_dialog.h"
#include "device_win_support.h"
#include "resource_ids.h"
#include "support/win_artifacts.h"

namespace {

using device_win::Cards;
using device_win::ModalDriver;
using device_win::PumpUntil;

ModalDriver::Step Do(std::string what, std::function<void(HWND)> action) {
  return {std::move(what), [action](HWND d) {
            action(d);
            return true;
          }};
}

TEST(LoginDialogTest, RightAndWrongPasswords) {
  REQUIRE_CARDS();
  struct Case {
    std::uint32_t selected;
    const char* password;
    bool connected;
    const char* status;
    const char* error;  // the worker's error box, empty: none
  };
  const Case cases[] = {
      {Cards::kFirst, nullptr, true, "Połączony", ""},
      {Cards::kFirst, "zle-haslo", false, "Nie udało się otworzyć połączenia",
       "Nie powiodło się uwierzytelnienie użytkownika."},
  };
  for (const Case& c : cases) {
    device_win::FakeFrame frame(cards->sshPort);
    frame.devices.selected = c.selected;
    const std::string password = c.password ? c.password : cards->password;
    std::uint32_t shown = 0;
    const std::string failure = ModalDriver::Run([&] { RunLoginDialog(frame); },
        {Do("fill in", [&](HWND d) {
           shown = device_win::Address(d, IDC_ADDRESS);
           device_win::SetText(d, IDC_USER_NAME, cards->user);
           device_win::SetText(d, IDC_PASSWORD, password);
           if (c.connected) device_win::SaveScreenArtifact(d, "login_dialog");
           device_win::Press(d, IDOK);
         })});
    EXPECT_EQ(failure, "");
    EXPECT_EQ(shown, c.selected) << "the address comes from the device list";
    ASSERT_TRUE(PumpUntil([&] { return frame.connection->SlotFree() && !frame.status.Texts().empty(); }, 60000));
    EXPECT_EQ(frame.connection->IsConnected(), c.connected) << password;
    EXPECT_EQ(frame.status.Last(), c.status);
    EXPECT_EQ(frame.messages.Errors(), std::string(c.error).empty() ? std::vector<std::string>{}
                                                                      : std::vector<std::string>{c.error});
  }
}

TEST(LoginDialogTest, CancelPostsNothingAndNoCardShowsZero) {
  device_win::FakeFrame frame;
  std::uint32_t shown = 1;
  EXPECT_EQ(ModalDriver::Run([&] { RunLoginDialog(frame); },
                             {Do("cancel", [&](HWND d) {
                               shown = device_win::Address(d, IDC_ADDRESS);
                               device_win::SetText(d, IDC_USER_NAME, "x");
                               device_win::Press(d, IDCANCEL);
                             })}),
            "");
  EXPECT_EQ(shown, 0u);
  EXPECT_TRUE(frame.connection->SlotFree());
  EXPECT_TRUE(frame.status.Texts().empty());
}

const char* const kCodePageMessage = "Hasło zawiera znaki spoza strony kodowej Windows-1250.";

// A password Windows-1250 cannot hold would reach the card as "?": OK refuses it through the
// error box, the dialog stays open and nothing is posted.
TEST(LoginDialogTest, PasswordsOutsideWindows1250AreRefused) {
  device_win::FakeFrame frame;
  device_win::ErrorBoxes boxes;
  const std::vector<std::string> passwords = {"пароль", "ok\xF0\x9F\x98\x80", "密码"};
  std::vector<ModalDriver::Step> steps;
  for (const std::string& password : passwords) {
    steps.push_back(Do("OK with " + password, [&, password](HWND d) {
      device_win::SetText(d, IDC_USER_NAME, "serwis");
      device_win::SetText(d, IDC_PASSWORD, password);
      const std::size_t before = boxes.texts.size();
      device_win::Press(d, IDOK);
      EXPECT_EQ(boxes.texts.size(), before + 1) << password;
      if (boxes.texts.size() > before) {
        EXPECT_EQ(boxes.texts.back(), kCodePageMessage);
      }
      EXPECT_TRUE(IsWindowVisible(d)) << password;
      EXPECT_EQ(GetFocus(), GetDlgItem(d, IDC_PASSWORD));
    }));
  }
  steps.push_back(Do("cancel", [](HWND d) { device_win::Press(d, IDCANCEL); }));
  EXPECT_EQ(ModalDriver::Run([&] { RunLoginDialog(frame); }, steps), "");
  EXPECT_EQ(boxes.texts.size(), passwords.size());
  EXPECT_TRUE(frame.connection->SlotFree());
  EXPECT_TRUE(frame.status.Texts().empty());
  EXPECT_EQ(frame.connection->Password(), "");
}

TEST(PasswordDialogTest, RefusalsThenAChangeTheCardRequiresAtTheNextLogin) {
  REQUIRE_CARDS();
  device_win::FakeFrame frame(cards->sshPort);
  ASSERT_TRUE(frame.Login(Cards::kSecond, cards->user, cards->password));
  device_win::ErrorBoxes boxes;
  const std::string changed = "nowe-haslo-7";
  struct Entry {
    std::string current, fresh, confirm, error;  // error: the box expected, empty: the dialog closes
  };
  const std::size_t changesBefore = cards->LogLines(Cards::kSecond, {"\"password\""}).size();
  const std::vector<Entry> entries = {
      {"inne", changed, changed, "Niepoprawne hasło"},
      {cards->password, changed, changed + "x", "Niepoprawnie potwierdzone nowe hasło"},
      // Characters Windows-1250 lacks, in any of the three fields, are never sent as "?".
      {"пароль", changed, changed, kCodePageMessage},
      {cards->password, "новый", "новый", kCodePageMessage},
      {cards->password, changed, changed + "\xF0\x9F\x98\x80", kCodePageMessage},
      {cards->password, changed, changed, ""},
  };
  std::vector<ModalDriver::Step> steps;
  std::string shownUser;
  for (const Entry& e : entries) {
    steps.push_back(Do("fill in", [&, e](HWND d) {
      shownUser = device_win::Text(d, IDC_USER_NAME);
      device_win::SetText(d, IDC_PASSWORD, e.current);
      device_win::SetText(d, IDC_NEW_PASSWORD, e.fresh);
      device_win::SetText(d, IDC_CONFIRM_PASSWORD, e.confirm);
      if (e.error.empty()) device_win::SaveScreenArtifact(d, "password_dialog");
      const std::size_t before = boxes.texts.size();
      device_win::Press(d, IDOK);
      if (!e.error.empty()) {
        EXPECT_EQ(boxes.texts.size(), before + 1);
        if (boxes.texts.size() > before) {
          EXPECT_EQ(boxes.texts.back(), e.error);
        }
        EXPECT_TRUE(IsWindowVisible(d)) << "the dialog stays open after: " << e.error;
      }
    }));
  }
  EXPECT_EQ(ModalDriver::Run([&] { RunPasswordDialog(frame); }, steps), "");
  EXPECT_EQ(shownUser, cards->user);
  EXPECT_EQ(boxes.texts.size(), entries.size() - 1);
  EXPECT_EQ(frame.connection->Password(), changed);
  ASSERT_TRUE(PumpUntil([&] { return frame.connection->SlotFree(); }));
  EXPECT_EQ(cards->LogLines(Cards::kSecond, {"\"password\""}).size(), changesBefore + 1) << "one change reached the card";
  ASSERT_TRUE(frame.connection->Post(device::ConnectionRequest::Close));
  ASSERT_TRUE(PumpUntil([&] { return frame.connection->SlotFree() && !frame.connection->IsConnected(); }));

  // The card now wants the new password.
  EXPECT_FALSE(frame.Login(Cards::kSecond, cards->user, cards->password));
  EXPECT_TRUE(frame.Login(Cards::kSecond, cards->user, changed));
  // Put the start password back for the other tests.
  ASSERT_TRUE(frame.connection->PostChangePassword(cards->password));
  ASSERT_TRUE(PumpUntil([&] { return frame.connection->SlotFree(); }));
  ASSERT_TRUE(frame.connection->Post(device::ConnectionRequest::Close));
  ASSERT_TRUE(PumpUntil([&] { return frame.connection->SlotFree() && !frame.connection->IsConnected(); }));
  EXPECT_TRUE(frame.Login(Cards::kSecond, cards->user, cards->password));
}

TEST(NetworkDialogTest, FilledByTheWorkerAndOkSendsTheValuesBack) {
  REQUIRE_CARDS();
  device_win::FakeFrame frame(cards->sshPort);
  ASSERT_TRUE(frame.Login(Cards::kSecond, cards->user, cards->password));
  const std::size_t restarts = cards->LogLines(Cards::kSecond, {"\"restarted\""}).size();
  std::uint32_t address = 0, netmask = 0, gateway = 0;
  std::string hardware;
  const std::string failure = ModalDriver::Run([&] { RunNetworkDialog(frame); },
      {{"filled by the worker",
        [&](HWND d) {
          hardware = device_win::Text(d, IDC_HARDWARE_ADDRESS);
          address = device_win::Address(d, IDC_ADDRESS);
          netmask = device_win::Address(d, IDC_NETMASK);
          gateway = device_win::Address(d, IDC_GATEWAY);
          return hardware != "00:00:00:00:00:00" && address != 0 && netmask != 0;
        }},
       {"wait for the slot", [&](HWND) { return frame.connection->SlotFree(); }},
       Do("OK", [&](HWND d) {
         device_win::SaveScreenArtifact(d, "network_dialog");
         device_win::Press(d, IDOK);
       })});
  ASSERT_EQ(failure, "") << "hardware address: " << hardware;
  ASSERT_TRUE(PumpUntil([&] { return !cards->LogLines(Cards::kSecond, {"\"network-set\""}).empty(); }, 60000));
  const std::string set = cards->LogLines(Cards::kSecond, {"\"network-set\""}).back();
  for (std::uint32_t value : {address, netmask, gateway}) {
    char dotted[32];
    std::snprintf(dotted, sizeof dotted, "\"%u.%u.%u.%u\"", value >> 24, (value >> 16) & 255, (value >> 8) & 255,
                  value & 255);
    EXPECT_NE(set.find(dotted), std::string::npos) << dotted << " not in " << set;
  }
  // The worker now waits for the card's restart; the frame's end stops that wait. Later tests
  // log in to the card again once it is back.
  EXPECT_TRUE(PumpUntil([&] { return cards->LogLines(Cards::kSecond, {"\"restarted\""}).size() > restarts; }, 60000));
}

// What the card's answer did not hold stays blank (a blank control reads 0.0.0.0, which the
// network request refuses), never a made-up 0.0.0.0; a later known value shows again.
TEST(NetworkDialogTest, UnknownAddressesStayBlank) {
  device_win::FakeFrame frame;
  NetworkDialog dialog(*frame.connection, frame.Queue());
  using Value = std::optional<std::uint32_t>;
  const struct {
    Value address, netmask, gateway;
  } reports[] = {
      {0xC0A80114, 0xFFFFFF00, 0xC0A80101},
      {0xC0A80115, std::nullopt, std::nullopt},
      {std::nullopt, 0xFFFF0000, 0},
      {std::nullopt, std::nullopt, std::nullopt},
  };
  std::vector<ModalDriver::Step> steps;
  for (const auto& r : reports) {
    steps.push_back(Do("report", [&dialog, r](HWND d) {
      dialog.ShowReadAddresses(r.address, r.netmask, r.gateway);
      const std::pair<int, Value> fields[] = {{IDC_ADDRESS, r.address}, {IDC_NETMASK, r.netmask}, {IDC_GATEWAY, r.gateway}};
      for (const auto& [id, value] : fields) {
        const bool blank = SendDlgItemMessageW(d, id, IPM_ISBLANK, 0, 0) != 0;
        EXPECT_EQ(blank, !value) << "control " << id;
        if (value) {
          EXPECT_EQ(device_win::Address(d, id), *value) << "control " << id;
        }
      }
    }));
  }
  steps.push_back(Do("cancel", [](HWND d) { device_win::Press(d, IDCANCEL); }));
  EXPECT_EQ(ModalDriver::Run([&] { dialog.Run(frame.Instance(), frame.MainWindow()); }, steps), "");
}

// The worker fills the dialog after it has closed: the report is dropped.
TEST(NetworkDialogTest, ClosingWhileTheWorkerReadsIsSafe) {
  REQUIRE_CARDS();
  device_win::FakeFrame frame(cards->sshPort);
  ASSERT_TRUE(frame.Login(Cards::kFirst, cards->user, cards->password));
  EXPECT_EQ(ModalDriver::Run([&] { RunNetworkDialog(frame); }, {Do("cancel at once", [](HWND d) { device_win::Press(d, IDCANCEL); })}),
            "");
  EXPECT_TRUE(PumpUntil([&] { return frame.connection->SlotFree() && frame.Queue().Size() == 0; }, 60000));
  EXPECT_TRUE(frame.messages.Errors().empty());
}

}  // namespace
