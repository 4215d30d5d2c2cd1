#include "shell/win/main_frame.h"

#include <stdexcept>

#include "base/text.h"
#include "resource_ids.h"

MainFrame::MainFrame(PendingUpdates& updates, UiQueue& uiQueue) : updates_(updates), uiQueue_(uiQueue) {}

MainFrame::~MainFrame() = default;

void MainFrame::Create(HINSTANCE instance) {
  WNDCLASSEXW windowClass{};
  windowClass.style = CS_OWNDC;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_MAINFRAME));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = L"MainFrame";
  RegisterWindowClass(windowClass);
  if (!CreateFrameworkWindow(*this, 0, L"MainFrame", L"TrevnaConf", WS_OVERLAPPEDWINDOW, 0, 0, CW_USEDEFAULT,
                             CW_USEDEFAULT, nullptr, nullptr, instance)) {
    throw std::runtime_error(Cp1250FromUtf8("Nie udało się utworzyć okna głównego."));
  }
  updates_.RequestUpdate(UpdateCommands | UpdatePanels);
}

void MainFrame::StopWorkers() {}

bool MainFrame::IsDialogTarget(HWND) const {
  return false;
}

void MainFrame::ServeUpdates(std::uint32_t) {}

LRESULT MainFrame::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return Window::WindowProc(hwnd, message, wparam, lparam);
  }
}
