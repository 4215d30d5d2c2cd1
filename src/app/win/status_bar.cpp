#include "app/win/status_bar.h"

#include <commctrl.h>

#include <stdexcept>

#include "base/text.h"
#include "shell/win/window.h"

namespace {

int Height(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r.bottom - r.top;
}

}  // namespace

void StatusBar::Create(HWND parent, RECT& layout) {
  window_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, parent,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!window_) throw std::runtime_error(Cp1250FromUtf8("Nie udało się utworzyć paska statusu."));
  layout.bottom -= Height(window_);
  const int edges[3] = {ScaledPixels(320), ScaledPixels(480), -1};  // 320 and 480 at 96 dots per inch
  SendMessageW(window_, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(edges));
  progress_ = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window_, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  if (!progress_) throw std::runtime_error(Cp1250FromUtf8("Nie udało się utworzyć paska postępu."));
  PlaceProgress();
  SendMessageW(progress_, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  ShowStatus(Cp1250FromUtf8("Nie połączony"));
}

void StatusBar::Layout(RECT& layout) {
  SendMessageW(window_, WM_SIZE, 0, 0);
  PlaceProgress();
  layout.bottom -= Height(window_);
}

void StatusBar::PlaceProgress() {
  RECT part{};
  SendMessageW(window_, SB_GETRECT, 1, reinterpret_cast<LPARAM>(&part));
  MoveWindow(progress_, part.left, part.top, part.right - part.left, part.bottom - part.top, TRUE);
}

void StatusBar::ShowStatus(const std::string& cp1250Text) {
  ShowWindow(progress_, SW_HIDE);
  SendMessageW(window_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(WideFromCp1250(cp1250Text).c_str()));
}

void StatusBar::ShowProgress(const std::string& cp1250Text, int position) {
  SendMessageW(progress_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
  ShowWindow(progress_, SW_SHOW);
  if (!cp1250Text.empty()) {
    SendMessageW(window_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(WideFromCp1250(cp1250Text).c_str()));
  }
}

std::wstring StatusBar::Text() const {
  const auto length = LOWORD(SendMessageW(window_, SB_GETTEXTLENGTHW, 0, 0));
  std::wstring text(length + 1u, L'\0');
  SendMessageW(window_, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()));
  text.resize(length);
  return text;
}

bool StatusBar::ProgressVisible() const {
  return IsWindowVisible(progress_) != FALSE;
}

int StatusBar::ProgressPosition() const {
  return static_cast<int>(SendMessageW(progress_, PBM_GETPOS, 0, 0));
}
