// Screenshots of whole windows (caption, frame and child controls) as they are on the screen:
// the window is brought to the top and repainted, then copied from its window DC.
#pragma once

#include <windows.h>

#include <string>

#include "shell/win/gdi.h"
#include "shell/win/win_test_support.h"
#include "support/win_artifacts.h"

namespace logic_test {

inline OffscreenBitmap& ScreenCopy(HWND window, OffscreenBitmap& picture) {
  SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  PumpMessages();
  RECT rect{};
  GetWindowRect(window, &rect);
  if (picture.Create(rect.right - rect.left, rect.bottom - rect.top)) {
    HDC dc = GetWindowDC(window);
    BitBlt(picture.Dc(), 0, 0, picture.Width(), picture.Height(), dc, 0, 0, SRCCOPY);
    ReleaseDC(window, dc);
  }
  SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  return picture;
}

inline void SaveScreenArtifact(HWND window, const std::string& name) {
  OffscreenBitmap picture;
  trevna_test::SaveArtifact(ScreenCopy(window, picture), name);
}

}  // namespace logic_test
