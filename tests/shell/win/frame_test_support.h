// A main frame built from fakes, shown and served like the program's main loop does, with
// helpers that act as a user would.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/ui_queue.h"
#include "doc/render_state.h"
#include "frame_fakes.h"
#include "shell/pending_updates.h"
#include "app/win/application_parts.h"
#include "app/win/main_frame.h"
#include "shell/win/main_loop.h"
#include "shell/win/ui_queue_window.h"
#include "win_test_support.h"

namespace frame_test {

// The program's own windows, with recording file dialogs and shell.
inline FrameParts ApplicationParts(PendingUpdates& updates, Log& log) {
  FrameParts parts = MakeApplicationParts(updates);
  parts.files = std::make_unique<FakeFiles>(log);
  parts.shell = std::make_unique<FakeShell>(log);
  return parts;
}

struct FrameRig {
  Log log;
  PendingUpdates updates;
  UiQueue queue;
  UiQueueWindow queueWindow{queue};
  FakeBundle fakes;
  std::unique_ptr<MainFrame> frame;

  // A frame of fakes.
  explicit FrameRig(device::ConnectionOptions connection = {}) {
    Start(MakeFakeParts(log, fakes, std::move(connection)));
  }
  // A frame of the given parts, made with this rig's update word.
  explicit FrameRig(const std::function<FrameParts(PendingUpdates&, Log&)>& make) { Start(make(updates, log)); }
  void Start(FrameParts parts) {
    frame = std::make_unique<MainFrame>(updates, queue, std::move(parts));
    frame->Create(GetModuleHandleW(nullptr));
    SetWindowPos(frame->window, nullptr, 0, 0, 900, 700, SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(frame->window, SW_SHOW);
    Idle();
  }
  ~FrameRig() {
    if (frame) {
      frame->StopWorkers();
      frame.reset();
    }
    PumpMessages();
    queue.Clear();
  }
  // What the main loop does when the queue is empty.
  void Idle() {
    PumpMessages();
    frame->ServeUpdates(updates.Take());
  }
  void Command(UINT id) {
    SendMessageW(frame->window, WM_COMMAND, id, 0);
    Idle();
  }
  // Pumps (serving updates) until `done` holds or `ms` pass; true when it held.
  bool PumpUntil(const std::function<bool()>& done, int ms = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
      Idle();
    }
    return true;
  }
  // A key as the user types it while `target` has the focus, through the main loop's steps;
  // true when an accelerator took it.
  bool Key(HWND target, UINT vk, bool control = false, bool shift = false) { return Loop(target, vk, control, shift) == LoopStep::Accelerator; }
  LoopStep Loop(HWND target, UINT vk, bool control = false, bool shift = false) {
    BYTE keys[256] = {};
    if (control) keys[VK_CONTROL] = keys[VK_LCONTROL] = 0x80;
    if (shift) keys[VK_SHIFT] = keys[VK_LSHIFT] = 0x80;
    SetKeyboardState(keys);
    MSG message{target, WM_KEYDOWN, vk, 1, 0, {}};
    const LoopStep step = DispatchLoopMessage(*frame, message);
    PumpMessages();  // the characters the key made, read while the keys are down
    SetKeyboardState(std::array<BYTE, 256>{}.data());
    Idle();
    return step;
  }
  // The mouse wheel turned by `delta` (WHEEL_DELTA a notch) with the pointer at `screen`, as the
  // system posts it: to the focus window (`focus`), through the main loop's steps.
  void Wheel(HWND focus, POINT screen, int delta, bool horizontal = false, WPARAM keys = 0) {
    MSG message{focus, horizontal ? static_cast<UINT>(WM_MOUSEHWHEEL) : static_cast<UINT>(WM_MOUSEWHEEL),
                MAKEWPARAM(keys, static_cast<WORD>(static_cast<short>(delta))), MAKELPARAM(screen.x, screen.y), 0, {}};
    DispatchLoopMessage(*frame, message);
    Idle();
  }
  // Clicks the tab `index` of the tab view.
  void ClickTab(int index) {
    HWND tabs = frame->Tabs().Handle();
    RECT item{};
    SendMessageW(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    SendMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(tabs, WM_LBUTTONUP, 0, at);
    Idle();
  }
  // The menu bar's state of `id` after the menu bar is opened (WM_INITMENU).
  UINT MenuState(UINT id) {
    HMENU menu = GetMenu(frame->window);
    SendMessageW(frame->window, WM_INITMENU, reinterpret_cast<WPARAM>(menu), 0);
    return GetMenuState(menu, id, MF_BYCOMMAND);
  }
};

inline std::wstring WindowTitle(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return text;
}

// The detectors of a document as a technician has it: a ladder, a fill and a direction on track
// A, and a detector numbered out of range on track B, which the diagnostics list reports.
inline void AddRoadDetectors(RenderState& state) {
  for (std::uint32_t n = 1; n <= 4; ++n) {
    Detector d;
    d.track = n == 4 ? 1 : 0;
    d.number = n == 4 ? 17 : n;
    const int x = 10 + 45 * static_cast<int>(n);
    d.vertices = {{{x, 60}, {x + 35, 60}, {x + 40, 100}, {x - 5, 100}}};
    d.ladderSteps = n == 1 ? 3 : 0;
    d.fillPercent = n == 2 ? 20 : 0;
    d.directional = n == 3;
    d.angle = 90;
    state.detectors.push_back(std::move(d));
  }
  state.selected = 0;
}

}  // namespace frame_test
