// Test helper for the start-up smoke test: waits for the top-level window with the given
// class and title, prints "found", waits for a line on standard input (or the given seconds),
// then asks the window to close with WM_CLOSE.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::fputs("usage: close_window CLASS TITLE TIMEOUT_SECONDS [--close]\n", stderr);
    return 2;
  }
  const wchar_t* windowClass = argv[1];
  const wchar_t* title = argv[2];
  const int timeout = _wtoi(argv[3]);
  const bool close = argc > 4 && std::wstring(argv[4]) == L"--close";
  HWND found = nullptr;
  // The window exists before it is shown (its children are made in between): wait for both.
  for (int waited = 0; waited < timeout * 10 && !(found && IsWindowVisible(found)); ++waited) {
    found = FindWindowW(windowClass, title);
    if (!found || !IsWindowVisible(found)) Sleep(100);
  }
  if (!found) {
    std::fputs("window not found\n", stderr);
    return 1;
  }
  if (!IsWindowVisible(found)) {
    std::fputs("window not visible\n", stderr);
    return 1;
  }
  std::puts("found");
  std::fflush(stdout);
  if (close) PostMessageW(found, WM_CLOSE, 0, 0);
  return 0;
}
