#include "device/win/network_dialog.h"

#include <commctrl.h>

#include <memory>
#include <utility>

#include "base/text.h"
#include "device/connection.h"
#include "device/posted_sinks.h"
#include "resource_ids.h"
#include "shell/win/dialog_helpers.h"

INT_PTR NetworkDialog::Run(HINSTANCE instance, HWND owner) {
  RegisterAddressControl();
  return DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_NETWORK), owner, &Dialog::SharedDialogProc,
                         reinterpret_cast<LPARAM>(static_cast<Dialog*>(this)));
}

void NetworkDialog::ShowAddresses(std::uint32_t address, std::uint32_t netmask, std::uint32_t gateway) {
  if (!dialog) return;
  SetDialogItemAddress(dialog, IDC_ADDRESS, address);
  SetDialogItemAddress(dialog, IDC_NETMASK, netmask);
  SetDialogItemAddress(dialog, IDC_GATEWAY, gateway);
}

void NetworkDialog::ShowReadAddresses(std::optional<std::uint32_t> address, std::optional<std::uint32_t> netmask,
                                      std::optional<std::uint32_t> gateway) {
  if (!dialog) return;
  // A value the card's answer did not hold leaves its control blank, never 0.0.0.0: OK then
  // sends nothing the user did not see.
  const std::pair<int, std::optional<std::uint32_t>> fields[] = {
      {IDC_ADDRESS, address}, {IDC_NETMASK, netmask}, {IDC_GATEWAY, gateway}};
  for (const auto& [id, value] : fields) {
    if (value) {
      SetDialogItemAddress(dialog, id, *value);
    } else {
      SendDlgItemMessageW(dialog, id, IPM_CLEARADDRESS, 0, 0);
    }
  }
}

void NetworkDialog::ShowHardwareAddress(const std::string& text) {
  if (dialog) SetDlgItemTextW(dialog, IDC_HARDWARE_ADDRESS, WideFromCp1250(text).c_str());
}

INT_PTR NetworkDialog::DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      connection_.PostShowNetwork(
          std::make_shared<device::PostedNetworkDialogSink>(queue_, token_.Watch<device::NetworkDialogSink>(this)));
      return TRUE;
    case WM_DESTROY:
      token_.Revoke();
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK) {
        // Blank controls read 0.0.0.0; a slot still busy with the reading drops the request.
        connection_.PostSetNetwork(DialogItemAddress(hwnd, IDC_ADDRESS), DialogItemAddress(hwnd, IDC_NETMASK),
                                   DialogItemAddress(hwnd, IDC_GATEWAY));
        EndDialog(hwnd, IDOK);
        return TRUE;
      }
      if (LOWORD(wparam) == IDCANCEL) {
        EndDialog(hwnd, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

void RunNetworkDialog(FrameContext& frame) {
  NetworkDialog(frame.CardConnection(), frame.Queue()).Run(frame.Instance(), frame.MainWindow());
}
