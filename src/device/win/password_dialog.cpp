#include "device/win/password_dialog.h"

#include <optional>
#include <string>

#include "base/text.h"
#include "device/card_text.h"
#include "device/connection.h"
#include "resource_ids.h"
#include "shell/win/dialog_helpers.h"
#include "shell/win/error_box.h"

namespace {

// A password field read exactly: a character Windows-1250 lacks is refused, never sent as "?".
std::optional<std::string> Password(HWND dialog, int id) {
  return DialogItemExactText(dialog, id, card::PasswordOutsideCodePageText());
}

}  // namespace

INT_PTR PasswordDialog::Run(HINSTANCE instance, HWND owner) {
  return DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_PASSWORD), owner, &Dialog::SharedDialogProc,
                         reinterpret_cast<LPARAM>(static_cast<Dialog*>(this)));
}

void PasswordDialog::OnOk(HWND hwnd) {
  const std::optional<std::string> current = Password(hwnd, IDC_PASSWORD);
  if (!current) return;
  if (*current != connection_.Password()) {
    ShowError(hwnd, Cp1250FromUtf8("Niepoprawne hasło"));
    return;
  }
  const std::optional<std::string> newPassword = Password(hwnd, IDC_NEW_PASSWORD);
  if (!newPassword) return;
  const std::optional<std::string> confirmation = Password(hwnd, IDC_CONFIRM_PASSWORD);
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
