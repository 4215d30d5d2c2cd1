#include "shell/win/error_box.h"

#include "base/text.h"

namespace {

std::function<void(HWND, const std::string&)>& Hook() {
  static std::function<void(HWND, const std::string&)> hook;
  return hook;
}

}  // namespace

void ShowError(HWND owner, const std::string& cp1250Text) {
  if (Hook()) {
    Hook()(owner, cp1250Text);
    return;
  }
  MessageBoxW(owner, WideFromCp1250(cp1250Text).c_str(), nullptr, MB_ICONERROR);
}

void SetErrorBoxHook(std::function<void(HWND owner, const std::string& cp1250Text)> hook) {
  Hook() = std::move(hook);
}
