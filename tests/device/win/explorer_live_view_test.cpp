// The device list and the live view against the simulated cards: discovery fills the list once
// per card, the selection drives the stream, the panes show what the card sent, zoom, preview
// flag, malformed pictures, and windows closed while their workers report.
#include <gtest/gtest.h>

#include <winsock2.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/bytes.h"
#include "device/win/explorer.h"
#include "device/win/live_view.h"
#include "device_win_support.h"
#include "resource_ids.h"
#include "support/free_port.h"
#include "support/win_artifacts.h"

namespace {

using device_win::Cards;
using device_win::PumpUntil;

// Replies the card logged for `address`, as their flags bytes in order.
std::vector<int> ReplyFlags(const Cards& cards, std::uint32_t address) {
  std::vector<int> flags;
  for (const auto& line : cards.LogLines(address, {"\"stream-reply\""})) {
    const auto at = line.find("\"flags\":");
    if (at != std::string::npos) flags.push_back(std::atoi(line.c_str() + at + 8));
  }
  return flags;
}

bool StreamAreaWhite(const std::vector<std::uint8_t>& picture) {
  for (int y = 0; y < device::LivePictures::kHeight; ++y) {
    for (int x = 30; x < 210; ++x) {
      if (picture[(y * 240 + x) * 3] != 255) return false;
    }
  }
  return true;
}

// The frame's order: the tab view's live view first (it starts discovery), then the list.
struct Devices {
  explicit Devices(const Cards& cards, std::uint16_t streamPort = 0)
      : frame(cards.sshPort), view(LiveView::Ports{streamPort ? streamPort : cards.streamPort, cards.announcePort}) {
    frame.livePart = &view;
    frame.deviceListPart = &explorer;
    ShowWindow(frame.MainWindow(), SW_SHOWNOACTIVATE);
    RECT area{0, 0, 860, 640};
    view.Create(frame, frame.MainWindow(), area);
    RECT main{};
    GetWindowRect(frame.MainWindow(), &main);
    explorer.Create(frame, main.top + 80);
    explorer.Show(true);
  }
  ~Devices() { view.StopWorkers(); }
  HWND List() const { return GetDlgItem(explorer.Handle(), IDC_DEVICE_LIST); }
  void Choose(int index) {
    SendMessageW(List(), LB_SETCURSEL, index, 0);
    SendMessageW(explorer.Handle(), WM_COMMAND, MAKEWPARAM(IDC_DEVICE_LIST, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(List()));
  }
  int Index(const std::string& startsWith) const {
    const auto items = device_win::ListItems(List());
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (items[i].rfind(startsWith, 0) == 0) return static_cast<int>(i);
    }
    return -1;
  }
  bool AllTracksShown() const {
    for (int t = 0; t < 4; ++t) {
      if (StreamAreaWhite(view.Pictures().Copy(t).pixels)) return false;
    }
    return true;
  }

  device_win::FakeFrame frame;
  Explorer explorer;
  LiveView view;
};

TEST(DeviceListTest, ListsEachCardOnceAndTheSelectionDrivesTheStream) {
  REQUIRE_CARDS();
  Devices d(*cards);
  const std::string first = "Symulator 1 (127.0.0.2)";
  const std::string second = std::string(Cards::kLongAlias).substr(0, 63) + " (127.0.0.3)";
  ASSERT_TRUE(PumpUntil([&] { return device_win::ListItems(d.List()).size() >= 3; }))
      << device_win::ListItems(d.List()).size() << " items";
  EXPECT_EQ(SendMessageW(d.List(), LB_GETCURSEL, 0, 0), 0) << "the no-card entry is selected at the start";

  // Watch card 1 for 40 replies (over two seconds at 4 x 4 pictures/s): the cards announce again
  // meanwhile.
  d.Choose(d.Index("Symulator 1"));
  EXPECT_EQ(d.view.SelectedAddress(), Cards::kFirst);
  EXPECT_EQ(d.explorer.SelectedAddress(), Cards::kFirst);
  const std::size_t repliesBefore = ReplyFlags(*cards, Cards::kFirst).size();
  ASSERT_TRUE(PumpUntil([&] { return d.AllTracksShown() && ReplyFlags(*cards, Cards::kFirst).size() > repliesBefore + 40; }))
      << "pictures of all four tracks did not arrive";
  auto items = device_win::ListItems(d.List());
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0], "0.0.0.0");
  std::sort(items.begin() + 1, items.end());
  EXPECT_EQ(items[1], second);  // "Brama..." sorts before "Symulator"
  EXPECT_EQ(items[2], first);
  device_win::SaveScreenArtifact(d.explorer.Handle(), "device_list");

  // The no-card entry ends the stream; the panes go white.
  d.Choose(0);
  EXPECT_EQ(d.view.SelectedAddress(), 0u);
  EXPECT_TRUE(PumpUntil([&] {
    for (int t = 0; t < 4; ++t) {
      if (!StreamAreaWhite(d.view.Pictures().Copy(t).pixels)) return false;
    }
    return !cards->LogLines(Cards::kFirst, {"\"stream-closed\""}).empty();
  })) << "the stream did not end";

  // The close box hides the list and clears the frame's flag; the window stays.
  SendMessageW(d.explorer.Handle(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindowVisible(d.explorer.Handle()));
  EXPECT_TRUE(IsWindow(d.explorer.Handle()));
  EXPECT_EQ(d.frame.closed, std::vector<Panel>{Panel::DeviceList});

  // Closed for good while discovery still reports: later items are dropped, nothing breaks.
  DestroyWindow(d.explorer.Handle());
  d.explorer.Devices().AddDevice(0x0A000007, "Brama 1");
  PumpUntil([&] { return d.frame.Queue().Size() == 0; }, 5000);
  EXPECT_EQ(d.explorer.SelectedAddress(), 0u);
}

// Renders the view and compares every pane with the picture it shows, taking the pictures
// before and after the render so that a picture arriving in between is noticed (then again).
::testing::AssertionResult PanesShowPictures(LiveView& view, OffscreenBitmap& rendered) {
  for (int attempt = 0; attempt < 20; ++attempt) {
    std::vector<std::vector<std::uint8_t>> before, after;
    for (int t = 0; t < 4; ++t) before.push_back(view.Pictures().Copy(t).pixels);
    if (!RenderClient(view.window, rendered)) return ::testing::AssertionFailure() << "render failed";
    for (int t = 0; t < 4; ++t) after.push_back(view.Pictures().Copy(t).pixels);
    if (before != after) continue;
    const int z = view.Zoom();
    for (int t = 0; t < 4; ++t) {
      const RECT pane = LiveView::PaneRect(t, z);
      for (int y = 0; y < 144; ++y) {
        for (int x = 0; x < 180; ++x) {
          const std::uint8_t grey = before[t][(y * 240 + x + 30) * 3];
          const std::uint32_t want = grey * 0x010101u;
          const std::uint32_t got = rendered.Pixel(pane.left + x * z, pane.top + y * z);
          if (got != want) {
            return ::testing::AssertionFailure() << "track " << t << " at " << x << "," << y << ": 0x" << std::hex
                                                 << got << " instead of 0x" << want;
          }
        }
      }
    }
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "pictures kept changing during every render";
}

TEST(LiveViewTest, PanesShowTheCardsPicturesAndThePreviewFlagReachesTheCard) {
  REQUIRE_CARDS();
  Devices d(*cards);
  ASSERT_TRUE(PumpUntil([&] { return d.Index("Symulator 1") > 0; }));
  d.Choose(d.Index("Symulator 1"));
  ASSERT_TRUE(PumpUntil([&] { return d.AllTracksShown(); })) << "pictures of all four tracks did not arrive";
  OffscreenBitmap rendered;
  for (int zoom : {1, 2}) {
    d.view.SetZoom(zoom);
    EXPECT_TRUE(PanesShowPictures(d.view, rendered)) << "zoom " << zoom;
  }
  trevna_test::SaveArtifact(rendered, "live_view_preview_on");
  // "Background from live video" takes these pictures.
  const std::vector<Picture> current = d.view.CurrentPictures();
  ASSERT_EQ(current.size(), 4u);
  for (const Picture& p : current) EXPECT_FALSE(StreamAreaWhite(p.pixels));

  // Preview off: from the first reply that says so, every reply says so.
  d.view.SetDetectionPreview(false);
  const std::size_t before = ReplyFlags(*cards, Cards::kFirst).size();
  ASSERT_TRUE(PumpUntil([&] { return ReplyFlags(*cards, Cards::kFirst).size() > before + 12; }));
  const auto flags = ReplyFlags(*cards, Cards::kFirst);
  const auto off = std::find_if(flags.begin() + static_cast<long>(before), flags.end(), [](int f) { return f & 1; });
  ASSERT_NE(off, flags.end()) << "no reply with the preview off";
  EXPECT_TRUE(std::all_of(off, flags.end(), [](int f) { return (f & 1) != 0; }));
  EXPECT_LE(off - flags.begin(), static_cast<long>(before) + 5) << "the flag took too many replies to arrive";
  EXPECT_TRUE(PanesShowPictures(d.view, rendered));
  trevna_test::SaveArtifact(rendered, "live_view_preview_off");

  // The tuning frame's detector and the output test's forced outputs reach the card in the
  // replies; the tuned detector's counts come back to the tuning frame.
  d.frame.tuning.state.Bind(0, 0);
  d.frame.outputTest.Open();
  d.frame.outputTest.SetMask(0x81);
  EXPECT_TRUE(PumpUntil([&] {
    return d.frame.tuning.counts > 0 &&
           !cards->LogLines(Cards::kFirst, {"\"stream-reply\"", "\"forced\":129"}).empty();
  })) << d.frame.tuning.counts << " tuning messages";
  d.frame.outputTest.Close();

  // Closing the view while the stream paints: the worker's requests go nowhere.
  DestroyWindow(d.view.Scroller().window);
  EXPECT_FALSE(IsWindow(d.view.window));
  const std::size_t replies = ReplyFlags(*cards, Cards::kFirst).size();
  PumpUntil([&] { return ReplyFlags(*cards, Cards::kFirst).size() > replies + 4; }, 10000);
}

TEST(LiveViewTest, ZoomSetsPaneAndContentSizesWithinOneToSix) {
  device_win::FakeFrame frame;
  LiveView view(LiveView::Ports{1, 0});  // no card is chosen
  frame.livePart = &view;
  view.Create(frame, frame.MainWindow(), RECT{0, 0, 600, 400});
  struct Case {
    const char* action;
    int expectedZoom;
  };
  const Case cases[] = {{"set 6", 6}, {"in", 6}, {"out", 5}, {"set 1", 1}, {"out", 1}, {"in", 2}, {"set 9", 6}, {"set 0", 1}};
  for (const Case& c : cases) {
    const std::string a = c.action;
    if (a == "in") view.ZoomIn();
    else if (a == "out") view.ZoomOut();
    else view.SetZoom(std::atoi(a.c_str() + 4));
    const int z = c.expectedZoom;
    EXPECT_EQ(view.Zoom(), z) << a;
    RECT size{};
    GetWindowRect(view.window, &size);
    EXPECT_EQ(size.right - size.left, 360 * z + 32) << a;
    EXPECT_EQ(size.bottom - size.top, 288 * z + 32) << a;
    const RECT pane = LiveView::PaneRect(3, z);
    EXPECT_EQ(pane.right - pane.left, 180 * z) << a;
    EXPECT_EQ(pane.bottom - pane.top, 144 * z) << a;
  }
  const RECT pane = LiveView::PaneRect(3, 6);
  EXPECT_EQ(pane.left, 180 * 6 + 17);
  EXPECT_EQ(pane.top, 144 * 6 + 16 + 1);
  view.StopWorkers();
}

// A stream with a track-4 picture and a width-176 picture before a good one: the two are read
// and answered but not shown.
TEST(LiveViewTest, MalformedPicturesAreAnsweredButNotShown) {
  WSADATA wsa;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
  const int port = trevna_test::FreeLoopbackTcpPort();
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<u_short>(port));
  sa.sin_addr.s_addr = htonl(0x7F000001);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
  ASSERT_EQ(listen(listener, 1), 0) << WSAGetLastError();
  std::atomic<int> replies{0};
  std::atomic<bool> hangUp{false};
  std::thread card([&] {
    SOCKET s = accept(listener, nullptr, nullptr);
    struct Message {
      int track, width, grey;
    };
    for (const Message m : {Message{4, 180, 50}, Message{1, 176, 60}, Message{2, 180, 70}}) {
      std::vector<std::uint8_t> message(64 + 25920, static_cast<std::uint8_t>(m.grey));
      std::fill(message.begin(), message.begin() + 64, 0);
      StoreU32(message.data(), 64);
      StoreU32(message.data() + 4, static_cast<std::uint32_t>(replies + 1));
      message[8] = 1;
      message[9] = static_cast<std::uint8_t>(m.track);
      StoreU32(message.data() + 12, 25920);
      StoreU16(message.data() + 20, static_cast<std::uint16_t>(m.width));
      StoreU16(message.data() + 22, 144);
      send(s, reinterpret_cast<const char*>(message.data()), static_cast<int>(message.size()), 0);
      char reply[64];
      int got = 0;
      while (got < 64) {
        const int n = recv(s, reply + got, 64 - got, 0);
        if (n <= 0) break;
        got += n;
      }
      if (got == 64) ++replies;
    }
    // Hold the line until the test has looked (closing clears the pictures).
    while (!hangUp) std::this_thread::yield();
    closesocket(s);
  });
  {
    device_win::FakeFrame frame;
    LiveView view(LiveView::Ports{static_cast<std::uint16_t>(port), 0});
    frame.livePart = &view;
    ShowWindow(frame.MainWindow(), SW_SHOWNOACTIVATE);
    view.Create(frame, frame.MainWindow(), RECT{0, 0, 800, 600});
    view.SelectAddress(0x7F000001);
    EXPECT_TRUE(PumpUntil([&] { return replies == 3; }, 20000)) << replies << " replies";
    // On screen: the worker's repaint request for its pane reaches the window.
    const auto onScreen = [&](int track) {
      const RECT pane = LiveView::PaneRect(track, view.Zoom());
      HDC dc = GetDC(view.window);
      const COLORREF colour = GetPixel(dc, pane.left + 40, pane.top + 10);
      ReleaseDC(view.window, dc);
      return colour;
    };
    EXPECT_TRUE(PumpUntil([&] { return onScreen(2) == RGB(70, 70, 70); }, 5000)) << std::hex << onScreen(2);
    EXPECT_EQ(onScreen(1), RGB(255, 255, 255));
    EXPECT_FALSE(StreamAreaWhite(view.Pictures().Copy(2).pixels));
    EXPECT_EQ(view.Pictures().Copy(2).pixels[(10 * 240 + 40) * 3], 70);
    EXPECT_TRUE(StreamAreaWhite(view.Pictures().Copy(1).pixels)) << "the width-176 picture was shown";
    for (int t : {0, 3}) EXPECT_TRUE(StreamAreaWhite(view.Pictures().Copy(t).pixels));
    hangUp = true;
    view.StopWorkers();
  }
  card.join();
  closesocket(listener);
  WSACleanup();
}

}  // namespace
