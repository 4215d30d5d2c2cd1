#include "logic/win/composer_frame.h"

#include "base/text.h"
#include "doc/document.h"

void ComposerFrame::Create(FrameContext& frame, int top) {
  frame_ = &frame;
  const HINSTANCE instance = frame.Instance();
  RECT owner{};
  GetWindowRect(frame.MainWindow(), &owner);
  const std::wstring title = WideFromUtf8("Definicja wyjść");
  CreateDescribedWindow(*this, {.className = L"ComposerFrame",
                                .instance = instance,
                                .classStyle = CS_OWNDC,
                                .background = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1),
                                .exStyle = WS_EX_TOOLWINDOW,
                                .style = WS_CLIPCHILDREN | WS_OVERLAPPEDWINDOW,
                                .title = title.c_str(),
                                .x = owner.right - ScaledPixels(233),
                                .y = top,
                                .width = ScaledPixels(213),
                                .height = ScaledPixels(335),
                                .parent = frame.MainWindow(),
                                .failure = "Nie udało się utworzyć okna Definicji wyjść."});
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
