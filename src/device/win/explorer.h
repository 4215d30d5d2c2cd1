// The device list ("Lista urządzeń", dialog 108): a small floating window with one item per card
// heard by the discovery worker, the no-card entry 0.0.0.0 first. Choosing an item tells the
// live view which card to show; the login dialog reads the selected address.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/ui_queue.h"
#include "device/discovery.h"
#include "device/sinks.h"
#include "shell/win/frame_parts.h"
#include "shell/win/window.h"

class Explorer final : public DeviceListPart, public Dialog, public device::DeviceListSink {
 public:
  Explorer();
  ~Explorer() override;

  // Creates the modeless dialog owned by the main window at x = its right edge - width - 20,
  // y = `top` (screen), with the items heard so far; selects item 0. Throws when it fails.
  void Create(FrameContext& frame, int top) override;
  void Show(bool visible) override;
  HWND Handle() const override { return dialog; }
  std::uint32_t SelectedAddress() const override;
  device::DeviceList& Devices() override { return devices_; }

  // UI thread (reached through the UI queue): appends one item.
  void AddItem(const std::string& text) override;

  INT_PTR DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  // What the discovery worker reports to. Until the window exists the items wait here; from
  // then on they are posted to the window through the UI queue.
  class Relay final : public device::DeviceListSink {
   public:
    void AddItem(const std::string& text) override;
    // Starts posting to `poster`; returns the items that waited (UI thread, once).
    std::vector<std::string> Attach(std::shared_ptr<device::DeviceListSink> poster);

   private:
    std::mutex mutex_;
    std::vector<std::string> waiting_;
    std::shared_ptr<device::DeviceListSink> poster_;
  };

  HWND List() const;
  void OnSelectionChange();

  FrameContext* frame_ = nullptr;
  LifetimeToken token_;
  Relay relay_;
  device::DeviceList devices_{&relay_};  // after relay_: it adds the 0.0.0.0 entry to it
};
