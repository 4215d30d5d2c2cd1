// Screenshots of windows in tests: the picture is saved as build/windows/artifacts/<name>.bmp,
// and the test runner turns every such file into <name>.png. A client area is rendered by the
// window itself; a whole window (caption, frame, menus, the floating windows around it) is
// copied from the screen.
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "shell/win/gdi.h"

namespace trevna_test {

// Saves `picture`; returns the path written, empty when nothing could be written.
inline std::filesystem::path SaveArtifact(const OffscreenBitmap& picture, const std::string& name) {
  const std::filesystem::path folder = std::filesystem::path(TREVNA_BINARY_DIR) / "artifacts";
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  const std::string bytes = picture.BmpFile();
  const auto path = folder / (name + ".bmp");
  std::ofstream out(path, std::ios::binary);
  if (bytes.empty() || !out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()))) return {};
  return path;
}

// Renders a window's client area and saves it.
inline std::filesystem::path SaveWindowArtifact(HWND window, const std::string& name) {
  OffscreenBitmap picture;
  return RenderClient(window, picture) ? SaveArtifact(picture, name) : std::filesystem::path();
}

// Copies `area` of the screen into `picture`.
inline bool CaptureScreen(const RECT& area, OffscreenBitmap& picture) {
  const int width = area.right - area.left, height = area.bottom - area.top;
  if (width <= 0 || height <= 0 || !picture.Create(width, height)) return false;
  HDC screen = GetDC(nullptr);
  const bool copied = BitBlt(picture.Dc(), 0, 0, width, height, screen, area.left, area.top, SRCCOPY) != FALSE;
  ReleaseDC(nullptr, screen);
  return copied;
}

// Saves `window` as it stands on the screen, frame and caption included: shown, brought to the top
// (Xvfb runs no window manager to stack windows) and repainted first.
inline bool SaveScreenArtifact(HWND window, const std::string& name) {
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  RECT area{};
  GetWindowRect(window, &area);
  OffscreenBitmap picture;
  return CaptureScreen(area, picture) && !SaveArtifact(picture, name).empty();
}

}  // namespace trevna_test
