// The window framework: every window is driven by an object derived from Window. The shared
// window procedure binds the object at WM_NCCREATE and from then on routes every message of
// the window to the object's WindowProc.
#pragma once

#include <windows.h>

class Window {
 public:
  Window() = default;
  // Destroys the native window when it still exists, after unbinding it, so the messages of
  // its destruction never reach the half-destroyed object. (Owners normally destroy windows
  // first; this is the safety net for an object that goes earlier.)
  virtual ~Window();
  // Resizes the window without moving it or changing its Z order.
  virtual void Resize(int width, int height);
  virtual void Show(bool visible);
  // Paints the window; returns false to leave WM_PAINT to the system's default handling.
  virtual bool Paint();
  // WM_PAINT through Paint; a child's wheel messages go to its parent; the rest to the system.
  virtual LRESULT WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND window = nullptr;

  // The one window procedure registered for every framework class. It binds the object at
  // WM_NCCREATE, unbinds it after WM_NCDESTROY (clearing `window`), and shows a failure thrown
  // by the object instead of letting it cross into the system.
  static LRESULT CALLBACK SharedWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
};

// The screen's resolution in dots per inch (LOGPIXELSY), read once. The program is system DPI
// aware (its manifest): its windows are laid out for this one resolution, and Windows stretches
// them on a monitor of another one.
int ScreenDpi();
// A length given in pixels at 96 dots per inch, at the screen's resolution. Layouts written in
// pixels (window sizes, child control places, strips) go through it; dialog templates, in
// dialog units, scale with their font by themselves.
int ScaledPixels(int pixels);

// Registers a framework window class (the shared procedure and an arrow cursor are filled in).
// Registration is repeated on every creation; "class already exists" is not a failure.
void RegisterWindowClass(WNDCLASSEXW windowClass);

// What sets one framework window apart: its class and how it is created. Whatever is left out
// takes the framework's default: no class style, no background brush (the window paints every
// pixel), the arrow cursor, no extended style, no title.
struct WindowDescription {
  const wchar_t* className = nullptr;
  HINSTANCE instance = nullptr;
  UINT classStyle = 0;
  HBRUSH background = nullptr;
  HCURSOR cursor = nullptr;  // the arrow when null
  HICON icon = nullptr;
  const wchar_t* classMenu = nullptr;  // a menu resource of the class (top-level windows)
  DWORD exStyle = 0;
  DWORD style = 0;
  const wchar_t* title = L"";
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  HWND parent = nullptr;
  // What the user is told when the window cannot be created (UTF-8 source text; thrown as
  // Windows-1250 like every message).
  const char* failure = "";
};

// Creating a window is one call: registers the description's class (repeated registrations
// are harmless), creates the native window for `object` and stores the handle in it. Throws
// std::runtime_error with the failure text when the window cannot be created.
HWND CreateDescribedWindow(Window& object, const WindowDescription& description);

// Creates a native window for `object` (passed as the creation parameter) and stores the
// handle in it. Returns the handle, null on failure.
HWND CreateFrameworkWindow(Window& object, DWORD exStyle, const wchar_t* className, const wchar_t* title,
                           DWORD style, int x, int y, int width, int height, HWND parent, HMENU menu,
                           HINSTANCE instance);

// Dialog objects: the dialog procedure keeps the object in the dialog's user slot (set at
// WM_INITDIALOG from the creation parameter) and forwards every later message to it, until
// WM_NCDESTROY unbinds it. A failure thrown by the object is shown once in an error box owned
// by the dialog and the message counts as handled.
class Dialog {
 public:
  // Destroys a modeless dialog that still exists (unbound first, like Window).
  virtual ~Dialog();
  // Returns TRUE when the message was handled.
  virtual INT_PTR DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) = 0;

  static INT_PTR CALLBACK SharedDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

  HWND dialog = nullptr;
};
