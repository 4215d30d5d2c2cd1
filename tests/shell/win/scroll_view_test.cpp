#include "shell/win/scroll_view.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/trace.h"
#include "win_test_support.h"

namespace {

// A top-level host with a viewport whose client area is exactly the size asked for (when no
// scroll bar shows), and a content window inside it.
class ScrollViewTest : public testing::Test {
 protected:
  void SetUp() override {
    host_ = host.Create(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 900, 900);
    ASSERT_NE(host_, nullptr);
  }
  void TearDown() override {
    DestroyWindow(host_);
    SetTraceSink(nullptr);
  }

  void Build(int viewportWidth, int viewportHeight, int contentWidth, int contentHeight) {
    view.Create(host_, GetModuleHandleW(nullptr), RECT{0, 0, viewportWidth, viewportHeight});
    content.Create(WS_CHILD | WS_VISIBLE, 0, 0, contentWidth, contentHeight, view.window);
    view.Update();
  }

  SCROLLINFO Bar(int bar) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    GetScrollInfo(view.window, bar, &info);
    return info;
  }

  // The content's top-left corner in the viewport's client coordinates.
  POINT ContentOrigin() {
    RECT rect;
    GetWindowRect(content.window, &rect);
    POINT origin{rect.left, rect.top};
    ScreenToClient(view.window, &origin);
    return origin;
  }

  void Scroll(UINT message, WORD request, WORD position = 0) {
    SendMessageW(view.window, message, MAKEWPARAM(request, position), 0);
  }

  RecordingWindow host;
  RecordingWindow content;
  ScrollView view{content};
  HWND host_ = nullptr;
};

TEST_F(ScrollViewTest, RangesFollowContentAndViewport) {
  Build(400, 400, 500, 300);
  const SCROLLINFO horizontal = Bar(SB_HORZ);
  EXPECT_EQ(horizontal.nMin, 0);
  EXPECT_EQ(horizontal.nMax, 499);
  EXPECT_EQ(horizontal.nPage, 400u);
  const SCROLLINFO vertical = Bar(SB_VERT);
  EXPECT_EQ(vertical.nMax, 299);
  EXPECT_EQ(view.OffsetY(), 0);
  EXPECT_EQ(vertical.nPos, 0);
}

TEST_F(ScrollViewTest, WideningTheViewportPullsThePositionBack) {
  Build(300, 400, 500, 300);
  Scroll(WM_HSCROLL, SB_THUMBPOSITION, 120);
  ASSERT_EQ(view.OffsetX(), 120);
  EXPECT_EQ(ContentOrigin().x, -120);

  std::vector<std::string> traces;
  SetTraceSink([&](const std::string& line) { traces.push_back(line); });
  // Maximum 499 less page 400 is 99: the position moves to 99 and the content 21 pixels back.
  SetWindowPos(view.window, nullptr, 0, 0, 400, 400, SWP_NOZORDER | SWP_NOMOVE);
  view.Update();
  EXPECT_EQ(view.OffsetX(), 99);
  EXPECT_EQ(ContentOrigin().x, -99);
  ASSERT_FALSE(traces.empty());
  EXPECT_EQ(traces.back(), "ScrollView::ScrollWindow: 99 0\n");
  EXPECT_NE(traces.front().find("ScrollView::Update: HORZ(nMax=499 nPage=400)"), std::string::npos);
}

// Requests from the bars, each from where the last left the content: lines of 20 and pages of
// 120 pixels whatever the viewport, the top, the bottom at the largest position the bar allows
// (not the value asked for), the end of a drag changing nothing, a small content never moving.
TEST_F(ScrollViewTest, RequestsStepAndStopAtTheBarsLimits) {
  struct Step {
    UINT message;
    WORD request;
    int x, y;
  };
  struct Case {
    SIZE viewport, content;
    std::vector<Step> steps;
  };
  // Every case ends at the origin but the last, where the next one starts.
  const Case cases[] = {
      {{400, 400}, {100, 100}, {{WM_HSCROLL, SB_PAGERIGHT, 0, 0}, {WM_VSCROLL, SB_BOTTOM, 0, 0}}},
      {{300, 400}, {200, 1000}, {{WM_VSCROLL, SB_BOTTOM, 0, 600}, {WM_VSCROLL, SB_TOP, 0, 0}}},
      {{300, 300},
       {2000, 2000},
       {{WM_VSCROLL, SB_LINEDOWN, 0, 20}, {WM_VSCROLL, SB_PAGEDOWN, 0, 140}, {WM_VSCROLL, SB_LINEUP, 0, 120},
        {WM_VSCROLL, SB_PAGEUP, 0, 0}, {WM_VSCROLL, SB_PAGEUP, 0, 0}, {WM_HSCROLL, SB_LINERIGHT, 20, 0},
        {WM_HSCROLL, SB_PAGERIGHT, 140, 0}, {WM_HSCROLL, SB_ENDSCROLL, 140, 0}}},
  };
  for (const Case& c : cases) {
    if (view.window) DestroyWindow(view.window);  // and the content with it
    Build(c.viewport.cx, c.viewport.cy, c.content.cx, c.content.cy);
    for (const Step& step : c.steps) {
      Scroll(step.message, step.request);
      EXPECT_EQ(view.OffsetX(), step.x) << c.content.cy << ": request " << step.request;
      EXPECT_EQ(view.OffsetY(), step.y) << c.content.cy << ": request " << step.request;
      EXPECT_EQ(ContentOrigin().x, -step.x);
      EXPECT_EQ(ContentOrigin().y, -step.y);
    }
  }
}

}  // namespace
