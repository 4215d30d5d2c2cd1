// Screenshots of windows in tests: the picture is saved as build/windows/artifacts/<name>.bmp,
// and the test runner turns every such file into <name>.png.
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

}  // namespace trevna_test
