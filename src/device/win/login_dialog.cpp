#include "device/win/login_dialog.h"

#include <optional>

#include "base/text.h"
#include "device/card_text.h"
#include "device/connection.h"
#include "resource_ids.h"
#include "shell/win/dialog_helpers.h"

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
      const std::optional<std::string> typed =
          DialogItemExactText(hwnd, IDC_PASSWORD, card::PasswordOutsideCodePageText());
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
