// Start-up, main loop and shut-down of the windowed program.
#pragma once

#include <windows.h>

#include <functional>

struct StartupOptions {
  // The start-up check of the MD5 routine; replaceable so tests can make it fail.
  std::function<bool()> selfTest;
  int showCommand = SW_SHOWDEFAULT;
};

// Runs the program: 0 after a normal end, 1 after a failed start.
int RunApplication(HINSTANCE instance, const StartupOptions& options);
