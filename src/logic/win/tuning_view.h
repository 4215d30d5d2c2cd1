// The graph of the detector tuning window: the running sums of the 250 counts the card sends
// for the tuned detector as green bars, and the detector's two thresholds as red markers.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>

#include "device/live_state.h"
#include "shell/win/window.h"

class TuningView : public Window {
 public:
  explicit TuningView(const device::TuningState& state) : state_(state) {}

  // Creates the view as a child of the tuning frame. Throws on failure.
  void Create(HWND parent, HINSTANCE instance, const RECT& area);

  // The markers: feature threshold (0..999, horizontal) and threshold (vertical), -1 for none.
  void SetMarkers(std::int32_t featureThreshold, std::int32_t threshold);

  // The values under a client point: x * 1000 / W and (H - y) * total / H.
  struct Values {
    std::uint32_t horizontal;
    std::uint32_t vertical;
  };
  static Values ValuesAt(int x, int y, int width, int height, std::uint32_t total);

  // Draws the graph for a client area of width x height into `target`.
  void Draw(HDC target, int width, int height) const;

  // Pointer moves and left clicks (client x, y, whether it is a click), for the frame that owns
  // the read-outs and the detector editor.
  std::function<void(int x, int y, bool click)> pointer;

  bool Paint() override;
  LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  const device::TuningState& state_;
  std::int32_t featureMarker_ = -1;
  std::int32_t thresholdMarker_ = -1;
};
