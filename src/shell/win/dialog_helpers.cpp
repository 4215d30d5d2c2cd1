#include "shell/win/dialog_helpers.h"

#include <commctrl.h>

#include <vector>

#include "base/text.h"
#include "shell/win/error_box.h"

std::wstring DialogItemWideText(HWND dialog, int id, int limit) {
  std::vector<wchar_t> buffer(static_cast<std::size_t>(limit) + 1, L'\0');
  const int length = GetDlgItemTextW(dialog, id, buffer.data(), limit + 1);
  return std::wstring(buffer.data(), static_cast<std::size_t>(length));
}

std::string DialogItemText(HWND dialog, int id, int limit) {
  return Cp1250FromWide(DialogItemWideText(dialog, id, limit));
}

std::optional<std::string> DialogItemExactText(HWND dialog, int id, const std::string& refusal, int limit) {
  std::optional<std::string> text = Cp1250FromWideExact(DialogItemWideText(dialog, id, limit));
  if (!text) {
    ShowError(dialog, refusal);
    SetFocus(GetDlgItem(dialog, id));
  }
  return text;
}

std::uint32_t DialogItemAddress(HWND dialog, int id) {
  DWORD address = 0;
  SendDlgItemMessageW(dialog, id, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address));
  return address;
}

void SetDialogItemAddress(HWND dialog, int id, std::uint32_t address) {
  SendDlgItemMessageW(dialog, id, IPM_SETADDRESS, 0, static_cast<LPARAM>(address));
}

void RegisterAddressControl() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_INTERNET_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
}
