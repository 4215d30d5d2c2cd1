// Helpers for Win32 tests: a recording window class and a message pump.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "shell/win/window.h"

// A framework window that records the messages it is given.
class RecordingWindow : public Window {
 public:
  bool paintResult = false;
  int paintCalls = 0;
  std::vector<UINT> messages;

  bool Paint() override {
    ++paintCalls;
    return paintResult;
  }
  LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override {
    messages.push_back(message);
    return Window::WindowProc(hwnd, message, wparam, lparam);
  }

  // Creates a window of class "RecordingWindow" with the given style and parent.
  HWND Create(DWORD style, int x, int y, int width, int height, HWND parent = nullptr) {
    WNDCLASSEXW windowClass{};
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = L"RecordingWindow";
    RegisterWindowClass(windowClass);
    return CreateFrameworkWindow(*this, 0, L"RecordingWindow", L"test", style, x, y, width, height, parent,
                                 nullptr, GetModuleHandleW(nullptr));
  }
};

inline void PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}
