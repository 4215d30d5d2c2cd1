// "Ustaw konfigurację sieci" (dialog 120): the connection worker fills it with the card's
// current settings while it is open; OK sends the three addresses back as a static
// configuration.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "base/ui_queue.h"
#include "device/sinks.h"
#include "shell/win/frame_parts.h"
#include "shell/win/window.h"

class NetworkDialog final : public Dialog, public device::NetworkDialogSink {
 public:
  NetworkDialog(device::Connection& connection, UiQueue& queue) : connection_(connection), queue_(queue) {}
  ~NetworkDialog() override { token_.Revoke(); }
  INT_PTR Run(HINSTANCE instance, HWND owner);
  INT_PTR DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) override;

  // UI thread, reached through the UI queue while the dialog is open.
  void ShowAddresses(std::uint32_t address, std::uint32_t netmask, std::uint32_t gateway) override;
  // An unknown value (none) leaves its control blank.
  void ShowReadAddresses(std::optional<std::uint32_t> address, std::optional<std::uint32_t> netmask,
                         std::optional<std::uint32_t> gateway) override;
  void ShowHardwareAddress(const std::string& text) override;

 private:
  device::Connection& connection_;
  UiQueue& queue_;
  LifetimeToken token_;  // revoked when the dialog goes: later reports are dropped
};

// "&Ustaw konfigurację sieci".
void RunNetworkDialog(FrameContext& frame);
