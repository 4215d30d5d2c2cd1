#include "device/win/password_dialog.h"

#include <optional>
#include <string>

#include "base/text.h"
#include "device/connection.h"
#include "device/win/login_dialog.h"
#include "resource_ids.h"
#include "shell/win/error_box.h"

INT_PTR PasswordDialog::Run(HINSTANCE instance, HWND owner) {
  return DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_PASSWORD), owner, &Dialog::SharedDialogProc,
                         reinterpret_cast<LPARAM>(static_cast<Dialog*>(this)));
}

void PasswordDialog::OnOk(HWND hwnd) {
  // Each field is read exactly: a character Windows-1250 lacks is refused, never sent as "?".
  const std::optional<std::string> current = DialogItemPassword(hwnd, IDC_PASSWORD);
  if (!current) return;
  if (*current != connection_.Password()) {
    ShowError(hwnd, Cp1250FromUtf8("Niepoprawne hasło"));
    return;
  }
  const std::optional<std::string> newPassword = DialogItemPassword(hwnd, IDC_NEW_PASSWORD);
  if (!newPassword) return;
  const std::optional<std::string> confirmation = DialogItemPassword(hwnd, IDC_CONFIRM_PASSWORD);
  if (!confirmation) return;
  if (*newPassword != *confirmation) {
    ShowError(hwnd, Cp1250FromUtf8("Niepoprawnie potwierdzone nowe hasło"));
    return;
  }
  // Stores the new password for the next check and posts the change; a busy slot drops both.
  connection_.PostChangePassword(*newPassword);
  EndDialog(hwnd, IDOK);
}

INT_PTR PasswordDialog::DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM) {
  if (message == WM_INITDIALOG) {
    SetDlgItemTextW(hwnd, IDC_USER_NAME, WideFromCp1250(connection_.UserName()).c_str());
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  switch (LOWORD(wparam)) {
    case IDOK:
      OnOk(hwnd);
      return TRUE;
    case IDCANCEL:
      EndDialog(hwnd, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

void RunPasswordDialog(FrameContext& frame) {
  PasswordDialog(frame.CardConnection()).Run(frame.Instance(), frame.MainWindow());
}
