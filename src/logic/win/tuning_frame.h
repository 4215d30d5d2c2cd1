// The detector tuning window "Strojenie detektorów": the selected detector's two thresholds in
// edit boxes, the graph of the counts the card sends for it, read-outs of the values under the
// pointer and "Resetuj". The live stream worker reaches it through Target().
#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <memory>

#include "device/live_state.h"
#include "resource_ids.h"
#include "logic/win/tuning_view.h"
#include "shell/win/frame_parts.h"
#include "shell/win/gdi.h"
#include "shell/win/window.h"

// The question asked before a clicked threshold pair is applied.
class TuningQuestions {
 public:
  virtual ~TuningQuestions() = default;
  // "Zastosować wybrane wartości progów?"; true for Yes.
  virtual bool ConfirmApply(HWND owner) = 0;
};

class TuningFrame : public Window, public TuningPart {
 public:
  // Child identifiers.
  enum Control : int {
    kReset = IDC_TUNING_RESET,
    kFeatureEdit = IDC_TUNING_FEATURE,
    kThresholdEdit = IDC_TUNING_THRESHOLD,
    kHorizontalReadout = IDC_TUNING_HORIZONTAL,
    kVerticalReadout = IDC_TUNING_VERTICAL,
    kFeatureLabel = IDC_TUNING_FEATURE_LABEL,
    kThresholdLabel = IDC_TUNING_THRESHOLD_LABEL,
  };

  TuningFrame();
  ~TuningFrame() override;

  // Creates the window 284 pixels left of the detector parameters panel (or of the main
  // window's right edge - 233 when that panel has no window) at `top`. Throws on failure.
  void Create(FrameContext& frame, int top) override;
  void Show(bool visible) override { Window::Show(visible); }
  HWND Handle() const override { return window; }
  void Bind(const Detector* detector) override;
  // The live worker's side; the worker must be stopped before this object goes.
  device::TuningTarget& Target() override { return state_; }

  const device::TuningState& State() const { return state_; }
  TuningView& View() { return view_; }
  // Replaces the question box (tests answer it themselves). Null restores the box.
  void SetQuestions(TuningQuestions* questions);

  LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  HWND AddControl(const wchar_t* className, const wchar_t* text, int id, int x, int y, int width, DWORD style);
  void OnCommand(int id, int code);
  void OnPointer(int x, int y, bool click);
  void OnSize(int width, int height);

  FrameContext* frame_ = nullptr;
  // The graph's window as the live worker sees it (null once the window is gone), so counts that
  // arrive after the window was destroyed only update the sums.
  std::atomic<HWND> graph_{nullptr};
  device::TuningState state_;
  TuningView view_;
  std::unique_ptr<TuningQuestions> boxQuestions_;
  TuningQuestions* questions_;
  std::array<FontHandle, 7> fonts_;
  int fontCount_ = 0;
  bool binding_ = false;
};
