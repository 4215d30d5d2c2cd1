// Drives a modal dialog from inside its own modal loop, for window tests that open one the way
// the user does (a command that runs DialogBox and returns when the dialog ends).
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace trevna_test {

// Drives a modal dialog from its own modal loop: every 15 ms the current step gets the dialog
// (the newest visible dialog window of this thread) and returns true when it is done; the next
// step follows. A step not done within the limit ends the dialog and records what it waited for.
class ModalDriver {
 public:
  struct Step {
    std::string what;
    std::function<bool(HWND dialog)> run;
  };

  // Calls `open` (which runs the modal loop) with the steps driving it; returns the failure
  // text, empty when every step ran.
  static std::string Run(const std::function<void()>& open, std::vector<Step> steps, int stepMs = 30000) {
    ModalDriver driver{std::move(steps), stepMs};
    Current() = &driver;
    const UINT_PTR timer = SetTimer(nullptr, 0, 15, &ModalDriver::OnTimer);
    open();
    KillTimer(nullptr, timer);
    Current() = nullptr;
    if (driver.failure_.empty() && driver.next_ < driver.steps_.size()) {
      driver.failure_ = "dialog ended before step: " + driver.steps_[driver.next_].what;
    }
    return driver.failure_;
  }

  // The active window when it is a dialog (modeless tool dialogs of a main frame stay enabled
  // beside a modal one), else the first visible, enabled dialog in z-order.
  static HWND NewestDialog() {
    const auto isDialog = [](HWND w) {
      wchar_t name[16] = L"";
      GetClassNameW(w, name, 16);
      return std::wstring(name) == L"#32770" && IsWindowVisible(w) && IsWindowEnabled(w);
    };
    if (HWND active = GetActiveWindow(); active && isDialog(active)) return active;
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND w, LPARAM p) -> BOOL {
          wchar_t name[16] = L"";
          GetClassNameW(w, name, 16);
          if (std::wstring(name) == L"#32770" && IsWindowVisible(w) && IsWindowEnabled(w)) {
            *reinterpret_cast<HWND*>(p) = w;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
  }

 private:
  ModalDriver(std::vector<Step> steps, int stepMs) : steps_(std::move(steps)), stepMs_(stepMs) {}
  static ModalDriver*& Current() {
    static ModalDriver* current = nullptr;
    return current;
  }
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    ModalDriver* d = Current();
    if (!d || d->busy_ || d->next_ >= d->steps_.size()) return;
    HWND dialog = NewestDialog();
    if (!dialog) return;
    d->busy_ = true;
    const auto now = std::chrono::steady_clock::now();
    if (d->stepStart_ == std::chrono::steady_clock::time_point{}) d->stepStart_ = now;
    if (d->steps_[d->next_].run(dialog)) {
      ++d->next_;
      d->stepStart_ = {};
    } else if (now - d->stepStart_ > std::chrono::milliseconds(d->stepMs_)) {
      d->failure_ = "step not done in time: " + d->steps_[d->next_].what;
      d->next_ = d->steps_.size();
      EndDialog(dialog, IDCANCEL);
    }
    d->busy_ = false;
  }

  std::vector<Step> steps_;
  int stepMs_;
  std::size_t next_ = 0;
  bool busy_ = false;
  std::chrono::steady_clock::time_point stepStart_{};
  std::string failure_;
};

}  // namespace trevna_test
