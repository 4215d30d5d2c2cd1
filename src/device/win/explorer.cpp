#include "device/win/explorer.h"

#include <stdexcept>
#include <utility>

#include "base/text.h"
#include "device/posted_sinks.h"
#include "resource_ids.h"

void Explorer::Relay::AddItem(const std::string& text) {
  std::lock_guard lock(mutex_);
  if (poster_) {
    poster_->AddItem(text);  // posts and returns at once
  } else {
    waiting_.push_back(text);
  }
}

std::vector<std::string> Explorer::Relay::Attach(std::shared_ptr<device::DeviceListSink> poster) {
  std::lock_guard lock(mutex_);
  poster_ = std::move(poster);
  return std::exchange(waiting_, {});
}

Explorer::Explorer() = default;

Explorer::~Explorer() { token_.Revoke(); }

void Explorer::Create(FrameContext& frame, int top) {
  frame_ = &frame;
  if (!CreateDialogParamW(frame.Instance(), MAKEINTRESOURCEW(IDD_DEVICE_LIST), frame.MainWindow(),
                          &Dialog::SharedDialogProc, reinterpret_cast<LPARAM>(static_cast<Dialog*>(this)))) {
    throw std::runtime_error(Cp1250FromUtf8("Nie udało się utworzyć okna Listy urządzeń."));
  }
  RECT own{}, main{};
  GetWindowRect(dialog, &own);
  GetWindowRect(frame.MainWindow(), &main);
  SetWindowPos(dialog, nullptr, main.right - (own.right - own.left) - 20, top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  auto poster = std::make_shared<device::PostedDeviceListSink>(frame.Queue(),
                                                               token_.Watch<device::DeviceListSink>(this));
  for (const std::string& text : relay_.Attach(std::move(poster))) AddItem(text);
}

void Explorer::Show(bool visible) { ShowWindow(dialog, visible ? SW_SHOWNOACTIVATE : SW_HIDE); }

HWND Explorer::List() const { return GetDlgItem(dialog, IDC_DEVICE_LIST); }

std::uint32_t Explorer::SelectedAddress() const {
  if (!dialog) return 0;
  return devices_.AddressAt(static_cast<int>(SendMessageW(List(), LB_GETCURSEL, 0, 0)));
}

void Explorer::AddItem(const std::string& text) {
  if (!dialog) return;
  SendMessageW(List(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideFromCp1250(text).c_str()));
  // The first item is the no-card entry, selected from the start.
  if (SendMessageW(List(), LB_GETCOUNT, 0, 0) == 1) SendMessageW(List(), LB_SETCURSEL, 0, 0);
}

void Explorer::OnSelectionChange() {
  if (frame_) frame_->Live().SelectAddress(SelectedAddress());
}

INT_PTR Explorer::DialogProc(HWND, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDC_DEVICE_LIST && HIWORD(wparam) == LBN_SELCHANGE) {
        OnSelectionChange();
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      ShowWindow(dialog, SW_HIDE);
      if (frame_) frame_->PanelClosed(Panel::DeviceList);
      return TRUE;
    case WM_DESTROY:
      token_.Revoke();
      return FALSE;
    default:
      return FALSE;
  }
}
