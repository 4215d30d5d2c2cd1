#include "device/win/login_dialog.h"

#include <commctrl.h>

#include <optional>
#include <vector>

#include "base/text.h"
#include "device/card_text.h"
#include "device/connection.h"
#include "resource_ids.h"
#include "shell/win/error_box.h"

namespace {

std::wstring DialogItemWideText(HWND dialog, int id, int limit) {
  std::vector<wchar_t> buffer(static_cast<std::size_t>(limit) + 1, L'\0');
  const int length = GetDlgItemTextW(dialog, id, buffer.data(), limit + 1);
  return std::wstring(buffer.data(), static_cast<std::size_t>(length));
}

}  // namespace

std::string DialogItemText(HWND dialog, int id, int limit) {
  return Cp1250FromWide(DialogItemWideText(dialog, id, limit));
}

std::optional<std::string> DialogItemPassword(HWND dialog, int id) {
  std::optional<std::string> password = Cp1250FromWideExact(DialogItemWideText(dialog, id, 99));
  if (!password) {
    ShowError(dialog, card::PasswordOutsideCodePageText());
    SetFocus(GetDlgItem(dialog, id));
  }
  return password;
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

INT_PTR LoginDialog::Run(HINSTANCE instance, HWND owner) {
  RegisterAddressControl();
  return DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_LOGIN), owner, &Dialog::SharedDialogProc,
                         reinterpret_cast<LPARAM>(static_cast<Dialog*>(this)));
}

INT_PTR LoginDialog::DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM) {
  if (message == WM_INITDIALOG) {
    SetDialogItemAddress(hwnd, IDC_ADDRESS, address);
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  switch (LOWORD(wparam)) {
    case IDOK: {
      // A password the card could not get as typed keeps the dialog open.
      const std::optional<std::string> typed = DialogItemPassword(hwnd, IDC_PASSWORD);
      if (!typed) return TRUE;
      address = DialogItemAddress(hwnd, IDC_ADDRESS);
      userName = DialogItemText(hwnd, IDC_USER_NAME);
      password = *typed;
      EndDialog(hwnd, IDOK);
      return TRUE;
    }
    case IDCANCEL:
      EndDialog(hwnd, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

void RunLoginDialog(FrameContext& frame) {
  LoginDialog login(frame.DeviceList().SelectedAddress());
  if (login.Run(frame.Instance(), frame.MainWindow()) != IDOK) return;
  // A busy slot drops the request, as every request made while another one runs.
  frame.CardConnection().PostOpen(login.address, login.userName, login.password);
}
