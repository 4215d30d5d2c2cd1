// The status bar at the bottom of the main window: three parts (right edges at 320, 480 and the
// window's end), the text in part 0 and a progress bar (0..100) inside part 1, hidden unless a
// progress is shown. On the UI thread; the workers reach it through the posting adapter.
#pragma once

#include <windows.h>

#include <string>

#include "device/sinks.h"

class StatusBar : public device::StatusSink {
 public:
  // Creates the bar and its progress bar with "Nie połączony" in part 0, and takes the bar's
  // height off the bottom of `layout`. Throws on failure.
  void Create(HWND parent, RECT& layout);
  // Places the bar at the bottom of the parent again (after the parent's WM_SIZE) and takes
  // its height off `layout`.
  void Layout(RECT& layout);

  void ShowStatus(const std::string& cp1250Text) override;
  void ShowProgress(const std::string& cp1250Text, int position) override;

  HWND Handle() const { return window_; }
  HWND Progress() const { return progress_; }
  // What a user reads: the text of part 0, and the progress position while the bar shows.
  std::wstring Text() const;
  bool ProgressVisible() const;
  int ProgressPosition() const;

 private:
  void PlaceProgress();
  HWND window_ = nullptr;
  HWND progress_ = nullptr;
};
