// Live view throughput under Wine: every incoming picture is parsed and stored as the stream
// worker does it (HandleStreamMessage), then the pane the worker invalidates is painted at once
// (WM_PAINT through UpdateWindow), four tracks in turn at zoom 2. The card sends 4 tracks x 25
// pictures/s; the figure is the pictures/s reached against that rate, with a floor measured in
// the same run: each new picture stretched straight onto its pane, without the view.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "base/bytes.h"
#include "base/ui_queue.h"
#include "device/live_stream.h"
#include "device/win/live_view.h"
#include "shell/win/ui_queue_window.h"

namespace {

constexpr double kCardRate = 4 * 25.0;  // pictures/s of a card streaming all four tracks
constexpr int kZoom = 2;

// One message at a time from memory, replies thrown away.
class MemoryPort final : public device::StreamPort {
 public:
  void Load(const std::vector<std::uint8_t>& message) {
    data_ = &message;
    at_ = 0;
  }
  bool ReceiveExact(void* out, std::size_t size) override {
    if (at_ + size > data_->size()) return false;
    std::memcpy(out, data_->data() + at_, size);
    at_ += size;
    return true;
  }
  bool Skip(std::size_t size) override {
    at_ += size;
    return at_ <= data_->size();
  }
  bool Send(const void*, std::size_t) override { return true; }

 private:
  const std::vector<std::uint8_t>* data_ = nullptr;
  std::size_t at_ = 0;
};

std::vector<std::uint8_t> PictureMessage(int track, std::uint32_t frame) {
  std::vector<std::uint8_t> m(64 + device::stream::kPicturePayload, 0);
  StoreU32(m.data(), 64);
  StoreU32(m.data() + 4, frame);
  m[8] = device::stream::kPicture;
  m[9] = static_cast<std::uint8_t>(track);
  StoreU32(m.data() + 12, device::stream::kPicturePayload);
  StoreU16(m.data() + 20, 180);
  StoreU16(m.data() + 22, 144);
  for (std::size_t i = 0; i < device::stream::kPicturePayload; ++i) {
    m[64 + i] = static_cast<std::uint8_t>((i * 7 + frame * 13 + static_cast<std::size_t>(track) * 50) & 0xFF);
  }
  return m;
}

class BenchFrame final : public FrameContext {
 public:
  class FakeTuning final : public TuningPart {
   public:
    void Create(FrameContext&, int) override {}
    void Show(bool) override {}
    HWND Handle() const override { return nullptr; }
    void Bind(const Detector*) override {}
    device::TuningTarget& Target() override { return state; }
    device::TuningState state;
  };
  class FakeDevices final : public DeviceListPart {
   public:
    void Create(FrameContext&, int) override {}
    void Show(bool) override {}
    HWND Handle() const override { return nullptr; }
    std::uint32_t SelectedAddress() const override { return 0; }
    device::DeviceList& Devices() override { return list; }
    device::DeviceList list{nullptr};
  };
  explicit BenchFrame(LivePart& live) : live_(live), queueWindow_(queue_) {
    main_ = CreateWindowExW(0, L"STATIC", L"bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 900, 760, nullptr,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  ~BenchFrame() override { DestroyWindow(main_); }
  HWND MainWindow() const override { return main_; }
  HINSTANCE Instance() const override { return GetModuleHandleW(nullptr); }
  UpdateSink& Updates() override { throw std::logic_error("unused"); }
  Document& Doc() override { throw std::logic_error("unused"); }
  UiQueue& Queue() override { return queue_; }
  device::Connection& CardConnection() override { throw std::logic_error("unused"); }
  device::StatusSink& Status() override { throw std::logic_error("unused"); }
  device::MessageSink& Messages() override { throw std::logic_error("unused"); }
  FileDialogs& Files() override { throw std::logic_error("unused"); }
  device::OutputTestState& OutputTest() override { return outputTest_; }
  void PanelClosed(Panel) override {}
  EditorPart& Editor() override { throw std::logic_error("unused"); }
  LivePart& Live() override { return live_; }
  ParametersPart& Parameters() override { throw std::logic_error("unused"); }
  DefinitionsPart& Definitions() override { throw std::logic_error("unused"); }
  TuningPart& Tuning() override { return tuning_; }
  DeviceListPart& DeviceList() override { return devices_; }

 private:
  LivePart& live_;
  UiQueue queue_;
  UiQueueWindow queueWindow_;
  device::OutputTestState outputTest_;
  FakeTuning tuning_;
  FakeDevices devices_;
  HWND main_ = nullptr;
};

template <class Step>
double PicturesPerSecond(int count, Step step) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) step(i);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return count / seconds;
}

}  // namespace

int main() {
  LiveView view(LiveView::Ports{1, 0});  // port 1: the stream worker never gets a card
  BenchFrame frame(view);
  view.Create(frame, frame.MainWindow(), RECT{0, 0, 880, 720});
  view.SetZoom(kZoom);
  std::vector<std::vector<std::uint8_t>> messages;
  for (int i = 0; i < 64; ++i) messages.push_back(PictureMessage(i % 4, static_cast<std::uint32_t>(i)));

  MemoryPort port;
  device::LiveTargets targets;
  targets.pictures = &view.Pictures();
  targets.tuning = &frame.Tuning().Target();
  targets.outputTest = &frame.OutputTest();

  const int count = 600;
  const auto viewStep = [&](int i) {
    port.Load(messages[static_cast<std::size_t>(i) % messages.size()]);
    if (!device::HandleStreamMessage(port, targets)) throw std::runtime_error("message refused");
    view.InvalidatePane(i % 4);  // what the stream worker asks for after each picture
    UpdateWindow(view.window);
  };
  // The floor: each new picture stretched straight onto its pane, no view in between.
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 240, -144, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  const auto floorStep = [&](int i) {
    port.Load(messages[static_cast<std::size_t>(i) % messages.size()]);
    device::HandleStreamMessage(port, targets);
    HDC dc = GetDC(view.window);
    SetStretchBltMode(dc, COLORONCOLOR);
    const int t = i % 4;
    const RECT pane = LiveView::PaneRect(t, kZoom);
    view.Pictures().ReadLocked(t, [&](const Picture& picture) {
      StretchDIBits(dc, pane.left, pane.top, 180 * kZoom, 144 * kZoom, 30, 0, 180, 144, picture.pixels.data(), &info,
                    DIB_RGB_COLORS, SRCCOPY);
    });
    ReleaseDC(view.window, dc);
  };
  PicturesPerSecond(40, viewStep);  // warm-up
  const double floorRate = PicturesPerSecond(count, floorStep);
  const double viewRate = PicturesPerSecond(count, viewStep);
  std::printf("live view, 4 tracks at zoom %d: %.0f pictures/s decoded and painted\n", kZoom, viewRate);
  std::printf("  against the card's rate (%.0f pictures/s): %.1fx (goal: at least 4x)\n", kCardRate,
              viewRate / kCardRate);
  std::printf("  floor, each picture stretched straight to its pane: %.0f pictures/s; view / floor: %.2f\n", floorRate,
              viewRate / floorRate);
  view.StopWorkers();
  return 0;
}
