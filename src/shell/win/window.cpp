#include "shell/win/window.h"

#include <exception>
#include <stdexcept>

#include "base/text.h"
#include "shell/win/error_box.h"
#include "shell/win/gdi.h"

Window::~Window() {
  // Unbind first: the messages of the destruction go to the default procedure, never to an
  // object that is half gone.
  if (window && IsWindow(window) &&
      reinterpret_cast<Window*>(GetWindowLongPtrW(window, GWLP_USERDATA)) == this) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
  }
}

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
  // A child passes the tilt wheel on to its parent, as the system does with the wheel (Wine's
  // default procedure keeps the tilt wheel), so the scroll view around it scrolls.
  if (message == WM_MOUSEHWHEEL && (GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD))
    return SendMessageW(GetParent(hwnd), message, wparam, lparam);
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

namespace {

// Runs one message through the object. A failure never crosses into the system's frames: it
// is shown in an error box, as the main frame shows its own, and the message counts as handled
// (a failed creation message refuses the creation).
LRESULT Deliver(Window& object, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  try {
    return object.WindowProc(hwnd, message, wparam, lparam);
  } catch (const std::exception& e) {
    ShowError(nullptr, e.what());
  }
  return message == WM_NCCREATE ? FALSE : 0;
}

}  // namespace

LRESULT CALLBACK Window::SharedWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  Window* object = nullptr;
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    object = static_cast<Window*>(create->lpCreateParams);
    // The pointer-sized slot: a 32-bit store would cut the object's address on 64-bit Windows.
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
    if (object) object->window = hwnd;
  } else {
    object = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (!object) return DefWindowProcW(hwnd, message, wparam, lparam);
  const LRESULT result = Deliver(*object, hwnd, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    // The window is gone: nothing more reaches the object, and it no longer names a window.
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    if (object->window == hwnd) object->window = nullptr;
  }
  return result;
}

int ScreenDpi() {
  static const int dpi = [] {
    const WindowDc screen(nullptr);
    const int value = screen.Get() ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : 96;
    return value > 0 ? value : 96;
  }();
  return dpi;
}

int ScaledPixels(int pixels) { return MulDiv(pixels, ScreenDpi(), 96); }

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

HWND CreateDescribedWindow(Window& object, const WindowDescription& description) {
  WNDCLASSEXW windowClass{};
  windowClass.style = description.classStyle;
  windowClass.hInstance = description.instance;
  windowClass.hbrBackground = description.background;
  windowClass.hCursor = description.cursor;
  windowClass.hIcon = description.icon;
  windowClass.lpszMenuName = description.classMenu;
  windowClass.lpszClassName = description.className;
  RegisterWindowClass(windowClass);
  HWND hwnd = CreateFrameworkWindow(object, description.exStyle, description.className, description.title,
                                    description.style, description.x, description.y, description.width,
                                    description.height, description.parent, nullptr, description.instance);
  if (!hwnd) throw std::runtime_error(Cp1250FromUtf8(description.failure));
  return hwnd;
}

Dialog::~Dialog() {
  if (dialog && IsWindow(dialog) && reinterpret_cast<Dialog*>(GetWindowLongPtrW(dialog, DWLP_USER)) == this) {
    SetWindowLongPtrW(dialog, DWLP_USER, 0);
    DestroyWindow(dialog);
  }
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
  INT_PTR result = TRUE;
  try {
    result = object->DialogProc(hwnd, message, wparam, lparam);
  } catch (const std::exception& e) {
    ShowError(hwnd, e.what());
  }
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, DWLP_USER, 0);
    if (object->dialog == hwnd) object->dialog = nullptr;
  }
  return result;
}
