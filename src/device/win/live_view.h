// The live view ("Podgląd wideo" tab): the four pictures of the card chosen in the device list,
// tracks A..D in a 2 x 2 grid, scaled by the zoom factor 1..6, inside its own scroll view. It
// owns the live stream worker and the discovery worker.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "device/discovery.h"
#include "device/live_state.h"
#include "device/live_stream.h"
#include "shell/win/frame_parts.h"
#include "shell/win/gdi.h"
#include "shell/win/scroll_view.h"
#include "shell/win/window.h"

class LiveView final : public LivePart, public Window {
 public:
  // Where the workers listen and connect (the card's ports unless a test moves them).
  struct Ports {
    std::uint16_t stream = 25100;
    std::uint16_t announce = 21060;
  };
  static constexpr int kMinZoom = 1;
  static constexpr int kMaxZoom = 6;

  LiveView() : LiveView(Ports{}) {}
  explicit LiveView(Ports ports);
  // Stops the workers (if still running) before the pictures they write go.
  ~LiveView() override;

  // TabPart. Create makes the scroll view in `parent` over `area` and the view inside it, then
  // starts the live stream worker and the discovery worker (feeding frame.DeviceList()).
  void Create(FrameContext& frame, HWND parent, const RECT& area) override;
  void Layout(const RECT& area) override;
  void Show(bool visible) override;
  void ZoomIn() override { SetZoom(Zoom() + 1); }
  void ZoomOut() override { SetZoom(Zoom() - 1); }

  // LivePart.
  bool DetectionPreview() const override { return detectionPreview_.load(); }
  void SetDetectionPreview(bool on) override { detectionPreview_.store(on); }
  void SelectAddress(std::uint32_t address) override;
  std::vector<Picture> CurrentPictures() const override;
  void StopWorkers() override;

  // Zoom, clamped to 1..6; resizes the content (360z + 32 by 288z + 32) and repaints.
  void SetZoom(int zoom);
  int Zoom() const { return zoom_.load(); }
  static SIZE ContentSize(int zoom);
  // Pane of track `track` (0..3) at `zoom`: the picture's 180z x 144z area in view pixels.
  static RECT PaneRect(int track, int zoom);

  // Draws the whole view (background, shadows, frames, pictures) into `dc`.
  void Draw(HDC dc) const;
  // Draws the part of the view within `area` (the panes that reach into it).
  void Draw(HDC dc, const RECT& area) const;
  // Asks for a repaint of one pane with its frame and shadow (any thread; never waits).
  void InvalidatePane(int track);
  // The four pictures the stream worker writes (thread-safe).
  const device::LivePictures& Pictures() const { return pictures_; }
  device::LivePictures& Pictures() { return pictures_; }
  std::uint32_t SelectedAddress() const;
  ScrollView& Scroller() { return scroller_; }

  bool Paint() override;
  LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  void Repaint(bool erase);

  Ports ports_;
  device::LivePictures pictures_;
  std::atomic<bool> detectionPreview_{true};
  std::atomic<HWND> paintTarget_{nullptr};  // what the stream worker invalidates
  ScrollView scroller_{*this};
  std::atomic<int> zoom_{1};  // read by the stream worker for the pane it invalidates
  OffscreenBitmap buffer_;  // the view is drawn here and copied in one piece: no flicker
  std::unique_ptr<device::LiveThread> liveThread_;
  std::unique_ptr<device::ScanThread> scanThread_;
};
