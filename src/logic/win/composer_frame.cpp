#include "logic/win/composer_frame.h"

#include <stdexcept>

#include "base/text.h"
#include "doc/document.h"

void ComposerFrame::Create(FrameContext& frame, int top) {
  frame_ = &frame;
  const HINSTANCE instance = frame.Instance();
  WNDCLASSEXW windowClass{};
  windowClass.style = CS_OWNDC;
  windowClass.hInstance = instance;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = L"ComposerFrame";
  RegisterWindowClass(windowClass);
  RECT owner{};
  GetWindowRect(frame.MainWindow(), &owner);
  if (!CreateFrameworkWindow(*this, WS_EX_TOOLWINDOW, L"ComposerFrame", WideFromUtf8("Definicja wyjść").c_str(),
                             WS_CLIPCHILDREN | WS_OVERLAPPEDWINDOW, owner.right - ScaledPixels(233), top,
                             ScaledPixels(213), ScaledPixels(335),
                             frame.MainWindow(), nullptr, instance)) {
    throw std::runtime_error(Cp1250FromUtf8("Nie udało się utworzyć okna Definicji wyjść."));
  }
  RECT client{};
  GetClientRect(window, &client);
  Document& document = frame.Doc();
  view_.Create(window, instance, client, document);
  view_.Invalidate(document.Current());
}

LRESULT ComposerFrame::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_SIZE:
      view_.Resize(LOWORD(lparam), HIWORD(lparam));
      return 0;
    case WM_CLOSE:
      ShowWindow(hwnd, SW_HIDE);
      if (frame_) frame_->PanelClosed(Panel::Definitions);
      return 0;
    default:
      return Window::WindowProc(hwnd, message, wparam, lparam);
  }
}
