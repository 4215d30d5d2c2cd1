// The top-level window. It owns everything the user sees and the workers; for now it is the
// empty frame that later parts fill.
#pragma once

#include <cstdint>

#include "base/ui_queue.h"
#include "shell/pending_updates.h"
#include "shell/win/main_loop.h"
#include "shell/win/window.h"

class MainFrame : public Window, public LoopClient {
 public:
  // `uiQueue` carries the workers' reports to the windows (device/sinks.h); it outlives the frame.
  MainFrame(PendingUpdates& updates, UiQueue& uiQueue);
  ~MainFrame() override;

  // Registers the class and creates the main window. Throws on failure.
  void Create(HINSTANCE instance);

  // Stops the workers one after the other, each waiting for its thread.
  void StopWorkers();

  LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override;

  // LoopClient
  HWND MainWindow() const override { return window; }
  HACCEL Accelerators() const override { return accelerators_; }
  bool IsDialogTarget(HWND active) const override;
  void ServeUpdates(std::uint32_t bits) override;

 private:
  PendingUpdates& updates_;
  UiQueue& uiQueue_;
  HACCEL accelerators_ = nullptr;
};
