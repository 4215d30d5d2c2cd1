// The detector editor in a test host: a real MainView inside its scroll view, driven with the
// mouse messages a user's actions produce at client points computed from the pane layout.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "doc/area_mask.h"
#include "doc/win/main_view.h"
#include "doc/win/fake_frame.h"
#include "shell/win/gdi.h"
#include "shell/win/win_test_support.h"
#include "shell/win/window.h"
#include "support/win_gestures.h"

namespace trevna_test {

// The main window's stand-in: a visible top-level window as large as the editor needs.
inline HWND CreateHost(RecordingWindow& host) {
  return host.Create(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 1280, 1000);
}

inline void Pump() { PumpMessages(); }

class EditorFixture : public testing::Test {
 protected:
  void SetUp() override {
    host_ = CreateHost(host);
    ASSERT_NE(host_, nullptr);
    frame = std::make_unique<FakeFrame>(host_);
    frame->editor = &view;
    view.Create(*frame, host_, RECT{0, 0, 1270, 960});
    Serve();
  }
  void TearDown() override {
    if (host_) DestroyWindow(host_);
  }

  void Serve() {
    frame->Serve();
    Pump();
  }
  Document& Doc() { return frame->document; }
  const RenderState& State() { return frame->document.Current(); }
  DetectorEditor& Editor() { return view.Editor(); }

  // The client point at the centre of canvas pixel (x, y) of pane `track`.
  POINT At(int track, int x, int y) { return PanePoint(view.Geometry(), track, x, y); }
  void Send(UINT message, POINT p, WPARAM keys) {
    SendMessageW(view.window, message, keys, MAKELPARAM(p.x, p.y));
  }
  void Click(POINT p) {
    Send(WM_LBUTTONDOWN, p, MK_LBUTTON);
    Send(WM_LBUTTONUP, p, 0);
    Serve();
  }
  // Press, move in `steps` steps, release: the messages of a mouse drag.
  void Drag(POINT from, POINT to, int steps = 4) {
    Send(WM_LBUTTONDOWN, from, MK_LBUTTON);
    Serve();
    for (int i = 1; i <= steps; ++i) {
      Send(WM_MOUSEMOVE, {from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps}, MK_LBUTTON);
      Serve();
    }
    Send(WM_LBUTTONUP, to, 0);
    Serve();
  }
  void Run(UINT command) {
    view.Command(command);
    Serve();
  }
  // Adds a quadrilateral on the current track at the default place (it becomes selected).
  void Insert() { Run(kCommandInsertQuadrilateral); }
  // Four tracks of 180-wide white pictures (one revision).
  void FourTracks() {
    RenderState& state = Doc().NewRenderState();
    state.pictures.resize(4, SharedWhitePicture());
    view.DocumentReplaced();
    Serve();
  }
  // Renders the view's client area as the user sees it.
  std::unique_ptr<OffscreenBitmap> Render() {
    auto picture = std::make_unique<OffscreenBitmap>();
    EXPECT_TRUE(RenderClient(view.window, *picture));
    return picture;
  }

  RecordingWindow host;
  HWND host_ = nullptr;
  std::unique_ptr<FakeFrame> frame;
  MainView view;
};

}  // namespace trevna_test
