#include "shell/win/window.h"

#include <exception>

#include "shell/win/error_box.h"

Window::~Window() = default;

void Window::Resize(int width, int height) {
  SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOMOVE);
}

void Window::Show(bool visible) {
  ShowWindow(window, visible ? SW_SHOW : SW_HIDE);
}

bool Window::Paint() {
  return false;
}

LRESULT Window::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_PAINT && Paint()) return 0;
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

LRESULT CALLBACK Window::SharedWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    auto* object = static_cast<Window*>(create->lpCreateParams);
    // The pointer-sized slot: a 32-bit store would cut the object's address on 64-bit Windows.
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
    if (object) {
      object->window = hwnd;
      return object->WindowProc(hwnd, message, wparam, lparam);
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }
  auto* object = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (object) return object->WindowProc(hwnd, message, wparam, lparam);
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

void RegisterWindowClass(WNDCLASSEXW windowClass) {
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &Window::SharedWindowProc;
  if (!windowClass.hCursor) windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  RegisterClassExW(&windowClass);  // a class registered before stays as it is
}

HWND CreateFrameworkWindow(Window& object, DWORD exStyle, const wchar_t* className, const wchar_t* title,
                           DWORD style, int x, int y, int width, int height, HWND parent, HMENU menu,
                           HINSTANCE instance) {
  HWND hwnd = CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent, menu, instance,
                              &object);
  object.window = hwnd;
  return hwnd;
}

INT_PTR CALLBACK Dialog::SharedDialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  Dialog* object = nullptr;
  if (message == WM_INITDIALOG) {
    object = reinterpret_cast<Dialog*>(lparam);
    SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(object));
    if (object) object->dialog = hwnd;
  } else {
    object = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  }
  if (!object) return FALSE;
  try {
    return object->DialogProc(hwnd, message, wparam, lparam);
  } catch (const std::exception& e) {
    ShowError(hwnd, e.what());
    return TRUE;
  }
}
