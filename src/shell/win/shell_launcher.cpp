#include "shell/win/shell_launcher.h"

#include <shellapi.h>

void Win32ShellLauncher::Open(HWND owner, const std::wstring& target) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_FLAG_NO_UI;
  info.hwnd = owner;
  info.lpFile = target.c_str();
  info.nShow = SW_SHOWNORMAL;
  ShellExecuteExW(&info);
}

std::wstring ManualPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const auto slash = path.rfind(L'\\');
  if (slash != std::wstring::npos) path.resize(slash);
  return path + L"\\Help.pdf";
}
