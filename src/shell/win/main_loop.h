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
  // True for the windows that get dialog keyboard navigation while active (the floating
  // windows with boxes to type in: detector parameters and tuning).
  virtual bool IsDialogTarget(HWND active) const = 0;
  // Serves the update requests taken when the queue went empty, in the fixed order.
  virtual void ServeUpdates(std::uint32_t bits) = 0;
};

// Which step of the loop took a message.
enum class LoopStep { Accelerator, DialogNavigation, Dispatched };

// One message as the loop handles it:
//  - the mouse wheel goes to the window under the pointer (one of this thread's), whose scroll
//    view scrolls, instead of to the window with the focus;
//  - Ctrl+C, Ctrl+V, Ctrl+X and Ctrl+Z typed into an edit box of a dialog target are that box's
//    (copy, paste, cut, undo of its text), not the document's accelerators;
//  - otherwise the accelerators, then the dialog navigation (Tab) of the active dialog target,
//    then translation and dispatch.
LoopStep DispatchLoopMessage(LoopClient& client, MSG& message);

// Runs until WM_QUIT; returns its exit code.
int RunMainLoop(LoopClient& client, PendingUpdates& updates);
