// The main message loop with its idle-time updates.
#pragma once

#include <windows.h>

#include <cstdint>

#include "shell/pending_updates.h"

// What the loop needs from the main frame.
class LoopClient {
 public:
  virtual ~LoopClient() = default;
  virtual HWND MainWindow() const = 0;
  virtual HACCEL Accelerators() const = 0;
  // True for the windows that get dialog keyboard navigation while active.
  virtual bool IsDialogTarget(HWND active) const = 0;
  // Serves the update requests taken when the queue went empty, in the fixed order.
  virtual void ServeUpdates(std::uint32_t bits) = 0;
};

// Runs until WM_QUIT; returns its exit code.
int RunMainLoop(LoopClient& client, PendingUpdates& updates);
