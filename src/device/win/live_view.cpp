#include "device/win/live_view.h"

#include <algorithm>

#include "base/trace.h"

namespace {

constexpr int kStreamWidth = device::LivePictures::kStreamWidth;  // 180
constexpr int kHeight = device::LivePictures::kHeight;            // 144

// Fills the rectangle (left, top) - (right, bottom) with a system colour.
void FillSystem(HDC dc, int left, int top, int right, int bottom, int colour) {
  const RECT r{left, top, right, bottom};
  FillRect(dc, &r, GetSysColorBrush(colour));
}

}  // namespace

LiveView::LiveView(Ports ports) : ports_(ports) {}

LiveView::~LiveView() {
  paintTarget_.store(nullptr);
  StopWorkers();
}

SIZE LiveView::ContentSize(int zoom) { return {360 * zoom + 32, 288 * zoom + 32}; }

RECT LiveView::PaneRect(int track, int zoom) {
  const int left = track % 2 == 0 ? 1 : kStreamWidth * zoom + 17;
  const int top = (track / 2) * (kHeight * zoom + 16) + 1;
  return {left, top, left + kStreamWidth * zoom, top + kHeight * zoom};
}

void LiveView::Create(FrameContext& frame, HWND parent, const RECT& area) {
  scroller_.Create(parent, frame.Instance(), area);
  CreateDescribedWindow(*this, {.className = L"LiveView",
                                .instance = frame.Instance(),
                                .classStyle = CS_OWNDC,
                                .background = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)),
                                .style = WS_CHILD | WS_VISIBLE,
                                .width = 100,
                                .height = 100,
                                .parent = scroller_.window,
                                .failure = "Nie udało się utworzyć okna widoku."});
  paintTarget_.store(window);
  SetZoom(zoom_);

  device::LiveTargets targets;
  targets.pictures = &pictures_;
  targets.tuning = &frame.Tuning().Target();
  targets.outputTest = &frame.OutputTest();
  targets.detectionPreview = &detectionPreview_;
  // The worker only asks for a repaint (a call that never waits); painting is on the UI thread.
  targets.pictureArrived = [this](int track, std::uint32_t) { InvalidatePane(track); };
  device::LiveThread::Options options;
  options.port = ports_.stream;
  liveThread_ = std::make_unique<device::LiveThread>(std::move(targets), options);
  liveThread_->SetClearedCallback([this] { Repaint(false); });
  liveThread_->Start();
  scanThread_ = std::make_unique<device::ScanThread>(&frame.DeviceList().Devices(), ports_.announce);
  scanThread_->Start();
}

void LiveView::Repaint(bool erase) {
  if (HWND target = paintTarget_.load()) InvalidateRect(target, nullptr, erase ? TRUE : FALSE);
}

void LiveView::InvalidatePane(int track) {
  HWND target = paintTarget_.load();
  if (!target || track < 0 || track > 3) return;
  const RECT pane = PaneRect(track, zoom_.load());
  const RECT outer{pane.left - 1, pane.top - 1, pane.right + 6, pane.bottom + 6};  // frame and shadow
  InvalidateRect(target, &outer, FALSE);
}

void LiveView::Layout(const RECT& area) {
  MoveWindow(scroller_.window, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
  scroller_.Update();
}

void LiveView::Show(bool visible) { scroller_.Show(visible); }

void LiveView::SetZoom(int zoom) {
  zoom_.store(std::clamp(zoom, kMinZoom, kMaxZoom));
  if (!window) return;
  const SIZE size = ContentSize(zoom_.load());
  Resize(size.cx, size.cy);
  scroller_.Update();
  Repaint(true);
}

void LiveView::SelectAddress(std::uint32_t address) {
  if (liveThread_) liveThread_->SelectAddress(address);
}

std::uint32_t LiveView::SelectedAddress() const { return liveThread_ ? liveThread_->SelectedAddress() : 0; }

std::vector<Picture> LiveView::CurrentPictures() const {
  std::vector<Picture> result;
  for (int track = 0; track < 4; ++track) result.push_back(pictures_.Copy(track));
  return result;
}

void LiveView::StopWorkers() {
  if (liveThread_) liveThread_->Stop();
  if (scanThread_) scanThread_->Stop();
}

void LiveView::Draw(HDC dc) const {
  RECT client{};
  GetClientRect(window, &client);
  Draw(dc, client);
}

void LiveView::Draw(HDC dc, const RECT& area) const {
  FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = Picture::kCanvasWidth;
  info.bmiHeader.biHeight = -Picture::kCanvasHeight;  // rows top to bottom
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;      // blue, green, red; 720-byte rows need no padding
  info.bmiHeader.biCompression = BI_RGB;
  SetStretchBltMode(dc, COLORONCOLOR);
  const int zoom = zoom_.load();
  for (int track = 0; track < 4; ++track) {
    const RECT pane = PaneRect(track, zoom);
    const RECT outer{pane.left - 1, pane.top - 1, pane.right + 6, pane.bottom + 6};
    RECT common{};
    if (!IntersectRect(&common, &outer, &area)) continue;
    const int w = pane.right - pane.left, h = pane.bottom - pane.top;
    // Drop shadow on the right and at the bottom, then the frame.
    FillSystem(dc, pane.left + w + 1, pane.top + 4, pane.left + w + 6, pane.top + h + 6, COLOR_3DDKSHADOW);
    FillSystem(dc, pane.left + 4, pane.top + h + 1, pane.left + w + 1, pane.top + h + 6, COLOR_3DDKSHADOW);
    const RECT frame{pane.left - 1, pane.top - 1, pane.right + 1, pane.bottom + 1};
    FrameRect(dc, &frame, GetSysColorBrush(COLOR_BTNSHADOW));
    // Straight from the shared picture: the worker waits for this one copy to the screen.
    pictures_.ReadLocked(track, [&](const Picture& picture) {
      StretchDIBits(dc, pane.left, pane.top, w, h, device::LivePictures::kFirstColumn, 0, kStreamWidth, kHeight,
                    picture.pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
    });
  }
}

bool LiveView::Paint() {
  const DWORD start = GetTickCount();
  PaintDc paint(window);
  RECT client{};
  GetClientRect(window, &client);
  RECT area = paint.Area();
  if (buffer_.Width() != client.right || buffer_.Height() != client.bottom) {
    buffer_.Create(client.right, client.bottom);
    area = client;  // a new buffer holds nothing yet
  }
  if (!buffer_.Valid()) return true;
  // Only the invalid part is drawn and copied: a new picture repaints its own pane.
  Draw(buffer_.Dc(), area);
  BitBlt(paint.Get(), area.left, area.top, area.right - area.left, area.bottom - area.top, buffer_.Dc(), area.left,
         area.top, SRCCOPY);
  Trace("%s: %ums\n", "LiveView::OnPaint", static_cast<unsigned>(GetTickCount() - start));
  return true;
}

LRESULT LiveView::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // the paint covers every pixel
    case WM_PRINTCLIENT:
      Draw(reinterpret_cast<HDC>(wparam));
      return 0;
    case WM_DESTROY:
      paintTarget_.store(nullptr);
      break;
    default:
      break;
  }
  return Window::WindowProc(hwnd, message, wparam, lparam);
}
