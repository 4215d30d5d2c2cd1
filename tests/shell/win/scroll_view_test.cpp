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

TEST_F(ScrollViewTest, BottomStopsAtTheLargestPositionTheBarAllows) {
  Build(300, 400, 200, 1000);
  Scroll(WM_VSCROLL, SB_BOTTOM);
  EXPECT_EQ(view.OffsetY(), 600);
  EXPECT_EQ(ContentOrigin().y, -600);
  Scroll(WM_VSCROLL, SB_TOP);
  EXPECT_EQ(view.OffsetY(), 0);
  EXPECT_EQ(ContentOrigin().y, 0);
}

TEST_F(ScrollViewTest, LineAndPageStepsAreFixedAndClamped) {
  Build(300, 300, 2000, 2000);
  Scroll(WM_VSCROLL, SB_LINEDOWN);
  EXPECT_EQ(view.OffsetY(), 20);
  Scroll(WM_VSCROLL, SB_PAGEDOWN);
  EXPECT_EQ(view.OffsetY(), 140);
  Scroll(WM_VSCROLL, SB_LINEUP);
  EXPECT_EQ(view.OffsetY(), 120);
  Scroll(WM_VSCROLL, SB_PAGEUP);
  EXPECT_EQ(view.OffsetY(), 0);
  Scroll(WM_VSCROLL, SB_PAGEUP);  // clamped at the top
  EXPECT_EQ(view.OffsetY(), 0);
  Scroll(WM_HSCROLL, SB_LINERIGHT);
  Scroll(WM_HSCROLL, SB_PAGERIGHT);
  EXPECT_EQ(view.OffsetX(), 140);
  Scroll(WM_HSCROLL, SB_ENDSCROLL);
  EXPECT_EQ(view.OffsetX(), 140);
  EXPECT_EQ(ContentOrigin().x, -140);
}

TEST_F(ScrollViewTest, SmallContentStaysAtOrigin) {
  Build(400, 400, 100, 100);
  Scroll(WM_HSCROLL, SB_PAGERIGHT);
  Scroll(WM_VSCROLL, SB_BOTTOM);
  EXPECT_EQ(view.OffsetX(), 0);
  EXPECT_EQ(view.OffsetY(), 0);
  EXPECT_EQ(ContentOrigin().x, 0);
}

}  // namespace
