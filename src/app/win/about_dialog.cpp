#include "app/win/about_dialog.h"

#include <commctrl.h>

#include <string>

#include "resource_ids.h"
#include "shell/win/window.h"
#include "trevna_version.h"

const wchar_t kMakerPage[] = L"https://trevna.example/";

namespace {

class AboutDialog : public Dialog {
 public:
  explicit AboutDialog(ShellLauncher& shell) : shell_(shell) {}

  INT_PTR DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override {
    switch (message) {
      case WM_INITDIALOG: {
        SetDlgItemTextW(hwnd, IDC_ABOUT_VERSION, (L"Wersja " + Widen(TREVNA_VERSION)).c_str());
        const std::wstring page = kMakerPage;
        std::wstring shown = page;
        if (shown.rfind(L"https://", 0) == 0) shown = shown.substr(8);
        if (!shown.empty() && shown.back() == L'/') shown.pop_back();
        SetDlgItemTextW(hwnd, IDC_ABOUT_LINK, (L"<a href=\"" + page + L"\">" + shown + L"</a>").c_str());
        return TRUE;
      }
      case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lparam);
        if (header->idFrom == IDC_ABOUT_LINK && (header->code == NM_CLICK || header->code == NM_RETURN)) {
          shell_.Open(hwnd, kMakerPage);
          return TRUE;
        }
        return FALSE;
      }
      case WM_COMMAND:
        if (LOWORD(wparam) == IDCANCEL || LOWORD(wparam) == IDOK) {
          EndDialog(hwnd, IDCANCEL);
          return TRUE;
        }
        return FALSE;
      case WM_CLOSE:
        EndDialog(hwnd, IDCANCEL);
        return TRUE;
      default:
        return FALSE;
    }
  }

 private:
  static std::wstring Widen(const char* ascii) {
    std::wstring out;
    for (const char* p = ascii; *p; ++p) out += static_cast<wchar_t>(*p);
    return out;
  }
  ShellLauncher& shell_;
};

}  // namespace

INT_PTR RunAboutDialog(HWND owner, ShellLauncher& shell) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LINK_CLASS};
  InitCommonControlsEx(&controls);
  AboutDialog dialog(shell);
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), owner, Dialog::SharedDialogProc,
                         reinterpret_cast<LPARAM>(&dialog));
}
