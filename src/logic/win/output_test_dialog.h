// The output test dialog "Testowanie wyjść" (template 121): while it is open the live stream's
// replies force the ticked outputs Y1..Y8; when it returns nothing stays forced.
#pragma once

#include <windows.h>

#include <cstdint>

#include "device/live_state.h"
#include "shell/win/window.h"

class OutputTestDialog : public Dialog {
 public:
  explicit OutputTestDialog(device::OutputTestState& state) : state_(state) {}

  // The mask of the ticked boxes: bit k for Y(k + 1).
  std::uint8_t TickedMask() const;

  INT_PTR DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  device::OutputTestState& state_;
};

// Shows the dialog modally, owned by `owner`; afterwards the state is closed with mask 0.
void RunOutputTest(HWND owner, device::OutputTestState& state);
