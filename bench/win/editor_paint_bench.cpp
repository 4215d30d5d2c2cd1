// Paint speed of the detector editor under Wine: the canvas painter drawing the whole view at
// zoom 6 with four tracks of 16 detectors each (ladders, dithered fills, erasures, direction
// arrows) and the picture copied to a window, against a floor measured in the same run: a plain
// StretchBlt of the four background pictures to the same size. Also the painter alone, and the
// view's repaint of one vertex-drag step, which redraws only the pane being edited.
//
//   cmake --build --preset windows --target editor_paint_bench
//   make bench-win      (runs it under Wine with Xvfb)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "archive/synthetic_road.h"
#include "doc/win/canvas_painter.h"
#include "doc/win/fake_frame.h"
#include "doc/win/main_view.h"
#include "shell/win/gdi.h"

namespace {

constexpr int kRuns = 100;

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

struct Figures {
  double median = 0;
  double best = 0;
};

double Time(const std::function<void()>& step) {
  const double start = Now();
  step();
  GdiFlush();
  return Now() - start;
}

Figures Summary(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return {times[times.size() / 2], times.front()};
}

// The two steps take turns, so a busy machine slows both alike; the ratio is the median of the
// ratios of the pairs.
void MeasurePair(const std::function<void()>& a, const std::function<void()>& b, Figures& figuresA,
                 Figures& figuresB, double& ratio) {
  a();
  b();
  std::vector<double> timesA, timesB, ratios;
  for (int i = 0; i < kRuns; ++i) {
    timesA.push_back(Time(a));
    timesB.push_back(Time(b));
    ratios.push_back(timesA.back() / timesB.back());
  }
  figuresA = Summary(timesA);
  figuresB = Summary(timesB);
  ratio = Summary(ratios).median;
}

void Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

RenderState BusyDocument() {
  RenderState state = RenderState::New();
  state.pictures.clear();
  for (std::uint32_t track = 0; track < 4; ++track) {
    const std::vector<std::uint8_t> grey = synthetic::RoadScene(track, 240, 144).Render(2.0);
    Picture picture;
    for (int y = 0; y < 144; ++y)
      for (int x = 0; x < 240; ++x) picture.SetGrey(x, y, grey[static_cast<std::size_t>(y) * 240 + x]);
    state.pictures.emplace_back(std::move(picture));
  }
  for (int track = 0; track < 4; ++track) {
    for (int n = 0; n < 16; ++n) {
      Detector d;
      d.track = track;
      d.number = static_cast<std::uint32_t>(n + 1);
      const int x = 34 + (n % 4) * 44, y = 4 + (n / 4) * 35;
      d.vertices = {{{x + 6, y}, {x + 34, y}, {x + 40, y + 30}, {x, y + 30}}};
      d.lineWidth = 1 + n % 3;
      d.ladderSteps = n % 3 == 0 ? 4 : 0;
      d.fillPercent = n % 3 == 1 ? 20 : 0;
      d.directional = n % 4 == 2;
      d.angle = n * 23 % 360;
      if (n % 2 == 0) {
        Picture& mask = d.eraser.Write();
        for (int i = 0; i < 9; ++i)
          for (int j = 0; j < 30; ++j) mask.SetBlack(x + j + 3, y + 12 + i);
      }
      state.detectors.push_back(std::move(d));
    }
  }
  state.selected = 5;
  return state;
}

class Host : public Window {};

}  // namespace

int main() {
  Host host;
  WNDCLASSEXW windowClass{};
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"EditorBenchHost";
  RegisterWindowClass(windowClass);
  HWND hostWindow = CreateFrameworkWindow(host, 0, L"EditorBenchHost", L"bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                          0, 1280, 1000, nullptr, nullptr, GetModuleHandleW(nullptr));
  trevna_test::FakeFrame frame(hostWindow);
  MainView view;
  frame.editor = &view;
  view.Create(frame, hostWindow, RECT{0, 0, 1260, 960});
  frame.Doc().Replace(BusyDocument(), "");
  view.DocumentReplaced();
  for (int i = 0; i < 5; ++i) view.Command(kCommandZoomIn);
  frame.Serve();
  Pump();
  const SIZE size = view.Geometry().ViewSize();

  // The whole view drawn by the painter from the revision and copied to the window, against the
  // floor: the four backgrounds stretched to the same size and copied to the window, nothing else.
  const RenderState& state = frame.Doc().Current();
  const PaneGeometry geometry = view.Geometry();
  CanvasPainter painter;
  CanvasPreview preview;
  OffscreenBitmap drawn, target, source;
  drawn.Create(size.cx, size.cy);
  target.Create(size.cx, size.cy);
  source.Create(240, 144 * 4);
  painter.DrawAll(drawn, state, geometry, preview, true);
  const auto fullStep = [&] {
    painter.DrawAll(drawn, state, geometry, preview, false);
    drawn.CopyTo(WindowDc(view.window).Get());
  };
  const auto floorStep = [&] {
    for (int pane = 0; pane < 4; ++pane) {
      const RECT c = view.Geometry().Content(pane);
      StretchBlt(target.Dc(), c.left, c.top, c.right - c.left, c.bottom - c.top, source.Dc(), 30, 144 * pane, 180, 144,
                 SRCCOPY);
    }
    target.CopyTo(WindowDc(view.window).Get());
  };
  Figures full, floor;
  double ratio = 0;
  MeasurePair(fullStep, floorStep, full, floor, ratio);

  // Of the full repaint: the painter alone (no copy to the window).
  std::vector<double> drawTimes;
  for (int i = 0; i < kRuns; ++i) drawTimes.push_back(Time([&] { painter.DrawAll(drawn, state, geometry, preview, false); }));
  const Figures draw = Summary(drawTimes);
  ValidateRect(view.window, nullptr);

  // One step of a vertex drag: only the edited pane is drawn again.
  const Detector& selected = *frame.Doc().Current().SelectedDetector();
  const RECT c = view.Geometry().Content(0);
  const POINT grip{c.left + (selected.vertices[0].x - 30) * 6 + 3, c.top + selected.vertices[0].y * 6 + 3};
  SendMessageW(view.window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(grip.x, grip.y));
  int step = 0;
  std::vector<double> dragTimes;
  for (int i = 0; i < kRuns; ++i) {
    dragTimes.push_back(Time([&] {
      ++step;
      SendMessageW(view.window, WM_MOUSEMOVE, MK_LBUTTON,
                   MAKELPARAM(grip.x + 6 * (step % 5), grip.y + 6 * (step % 3)));
      frame.Serve();
      UpdateWindow(view.window);
    }));
  }
  const Figures drag = Summary(dragTimes);
  SendMessageW(view.window, WM_LBUTTONUP, 0, MAKELPARAM(grip.x, grip.y));

  std::printf("editor paint, zoom 6, 4 tracks x 16 detectors, view %ld x %ld, %d runs (median / best ms)\n", size.cx,
              size.cy, kRuns);
  std::printf("  full repaint            %7.2f / %7.2f\n", full.median, full.best);
  std::printf("    of which painting     %7.2f / %7.2f\n", draw.median, draw.best);
  std::printf("  floor (StretchBlt x 4)  %7.2f / %7.2f\n", floor.median, floor.best);
  std::printf("  vertex drag step        %7.2f / %7.2f\n", drag.median, drag.best);
  std::printf("  ratio full / floor      %7.2f (median of pairs; goal <= 3.00), full %s 16 ms\n", ratio,
              full.median <= 16.0 ? "<=" : ">");
  DestroyWindow(hostWindow);
  return 0;
}
