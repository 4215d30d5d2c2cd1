// The diagnostics list: a 120-pixel strip above the status bar holding a one-column report list
// ("Komunikaty diagnostyczne") of the problems that keep the document from becoming a device
// program. The program validation fills it through ProblemSink; every row shows the error mark.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "logic/validation.h"
#include "shell/win/window.h"

class ProblemsView : public Window, public ProblemSink {
 public:
  // 120 pixels at 96 dots per inch, scaled to the screen with the list's font.
  static int Height();

  // Creates the strip as a child of `parent` at the bottom of `layout` and takes 120 pixels off
  // the bottom of `layout`. Throws on failure.
  void Create(HWND parent, HINSTANCE instance, RECT& layout);
  // Places the strip at the bottom of `layout` (full width, 120 high) and takes it off.
  void Layout(RECT& layout);

  void ClearProblems() override;
  void AddProblem(const std::wstring& text) override;

  HWND List() const { return list_; }
  // The rows as shown, top to bottom.
  std::vector<std::wstring> Rows() const;

  LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  HWND list_ = nullptr;
};
