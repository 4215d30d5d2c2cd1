#include "logic/win/parameters_panel.h"

#include <cwctype>
#include <stdexcept>

#include "base/text.h"
#include "doc/document.h"
#include "resource_ids.h"

std::wstring SecondsText(std::int32_t milliseconds) {
  const auto value = static_cast<std::uint32_t>(milliseconds);
  return std::to_wstring(value / 1000) + L"." + std::to_wstring(value % 1000 / 100);
}

std::optional<std::int32_t> ParseSeconds(const std::wstring& text) {
  if (text.size() > 4) return std::nullopt;
  std::int32_t whole = 0, tenths = 0;
  int before = 0, after = 0;
  bool separator = false;
  for (wchar_t c : text) {
    if (c == L'.' || c == L',') {
      if (separator) return std::nullopt;
      separator = true;
    } else if (c >= L'0' && c <= L'9') {
      if (separator) {
        if (++after > 1) return std::nullopt;
        tenths = c - L'0';
      } else {
        if (++before > 2) return std::nullopt;
        whole = whole * 10 + (c - L'0');
      }
    } else {
      return std::nullopt;
    }
  }
  return whole * 1000 + tenths * 100;
}

void Inspector::Create(FrameContext& frame, int top) {
  frame_ = &frame;
  if (!CreateDialogParamW(frame.Instance(), MAKEINTRESOURCEW(IDD_PARAMETERS), frame.MainWindow(),
                          &Dialog::SharedDialogProc, reinterpret_cast<LPARAM>(static_cast<Dialog*>(this)))) {
    throw std::runtime_error(Cp1250FromUtf8("Nie udało się utworzyć okna Parametrów detektora."));
  }
  RECT frameRect{}, own{};
  GetWindowRect(frame.MainWindow(), &frameRect);
  GetWindowRect(dialog, &own);
  SetWindowPos(dialog, nullptr, frameRect.right - (own.right - own.left) - ScaledPixels(20), top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  Bind(nullptr);
}

void Inspector::Show(bool visible) {
  if (dialog) ShowWindow(dialog, visible ? SW_SHOWNA : SW_HIDE);
}

void Inspector::SetText(int id, const std::wstring& text) {
  if (Text(id) != text) SetDlgItemTextW(dialog, id, text.c_str());
}

std::wstring Inspector::Text(int id) const {
  HWND control = GetDlgItem(dialog, id);
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return text;
}

void Inspector::Enable(int id, bool enabled) { EnableWindow(GetDlgItem(dialog, id), enabled ? TRUE : FALSE); }

void Inspector::ShowSeconds(SecondsField& field, std::int32_t milliseconds) {
  // A text the user typed that already stands for the value stays as typed ("0,5", "2").
  if (field.typed && ParseSeconds(field.remembered) == milliseconds && Text(field.id) == field.remembered) return;
  field.remembered = SecondsText(milliseconds);
  field.typed = false;
  SetText(field.id, field.remembered);
}

void Inspector::Bind(const Detector* detector) {
  if (!dialog) return;
  binding_ = true;
  const bool any = detector != nullptr;
  const bool normal = any && detector->IsNormal();
  const bool directional = any && !detector->contrast && detector->directional;
  for (int id : {IDC_PARAMETERS_TRACK_LABEL, IDC_PARAMETERS_NUMBER_LABEL, IDC_PARAMETERS_NUMBER,
                 IDC_PARAMETERS_NORMAL, IDC_PARAMETERS_DIRECTIONAL, IDC_PARAMETERS_CONTRAST})
    Enable(id, any);
  for (int id : {IDC_PARAMETERS_DELAY_LABEL, IDC_PARAMETERS_DELAY, IDC_PARAMETERS_EXTENSION_LABEL,
                 IDC_PARAMETERS_EXTENSION})
    Enable(id, normal);
  Enable(IDC_PARAMETERS_ANGLE_LABEL, directional);
  Enable(IDC_PARAMETERS_ANGLE, directional);

  const bool knownTrack = any && detector->track >= 0 && detector->track < Detector::kTracks;
  SetText(IDC_PARAMETERS_TRACK, knownTrack ? std::wstring(1, static_cast<wchar_t>(L'A' + detector->track)) : L"");
  SetText(IDC_PARAMETERS_NUMBER, any ? std::to_wstring(detector->number) : L"");
  SetText(IDC_PARAMETERS_ANGLE, directional ? std::to_wstring(static_cast<std::uint32_t>(detector->angle)) : L"");
  if (normal) {
    ShowSeconds(delay_, detector->delay);
    ShowSeconds(extension_, detector->extension);
  } else if (!any) {
    delay_ = SecondsField{delay_.id, {}, false};
    extension_ = SecondsField{extension_.id, {}, false};
    SetText(IDC_PARAMETERS_DELAY, L"");
    SetText(IDC_PARAMETERS_EXTENSION, L"");
  }
  CheckDlgButton(dialog, IDC_PARAMETERS_NORMAL, normal ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, IDC_PARAMETERS_DIRECTIONAL, directional ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, IDC_PARAMETERS_CONTRAST, any && detector->contrast ? BST_CHECKED : BST_UNCHECKED);
  binding_ = false;
}

void Inspector::OnCommand(int id, int code) {
  if (binding_ || !frame_) return;
  Document& document = frame_->Doc();
  switch (id) {
    case IDC_PARAMETERS_NORMAL:
    case IDC_PARAMETERS_DIRECTIONAL:
    case IDC_PARAMETERS_CONTRAST:
      if (code != BN_CLICKED) return;
      if (id == IDC_PARAMETERS_NORMAL) document.SetNormal();
      if (id == IDC_PARAMETERS_DIRECTIONAL) document.SetDirectional();
      if (id == IDC_PARAMETERS_CONTRAST) document.SetContrast();
      return;
    case IDC_PARAMETERS_NUMBER:
    case IDC_PARAMETERS_ANGLE: {
      if (code != EN_CHANGE) return;
      BOOL converted = FALSE;
      const UINT value = GetDlgItemInt(dialog, id, &converted, FALSE);
      if (!converted) return;
      if (id == IDC_PARAMETERS_NUMBER) {
        document.SetNumber(value);
      } else {
        document.SetAngle(static_cast<std::int32_t>(value));
      }
      return;
    }
    case IDC_PARAMETERS_DELAY:
    case IDC_PARAMETERS_EXTENSION: {
      SecondsField& field = id == IDC_PARAMETERS_DELAY ? delay_ : extension_;
      if (code == EN_UPDATE) {
        const std::wstring text = Text(id);
        if (ParseSeconds(text)) {
          field.remembered = text;
          field.typed = true;
        } else {
          // The keystroke that made the text invalid is undone at once.
          binding_ = true;
          SetDlgItemTextW(dialog, id, field.remembered.c_str());
          SendDlgItemMessageW(dialog, id, EM_SETSEL, field.remembered.size(), field.remembered.size());
          binding_ = false;
          MessageBeep(0xFFFFFFFF);
        }
      } else if (code == EN_CHANGE) {
        const std::int32_t value = ParseSeconds(field.remembered).value_or(0);
        if (id == IDC_PARAMETERS_DELAY) {
          document.SetDelay(value);
        } else {
          document.SetExtension(value);
        }
      }
      return;
    }
    default:
      return;
  }
}

INT_PTR Inspector::DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_CLOSE:
      ShowWindow(hwnd, SW_HIDE);
      if (frame_) frame_->PanelClosed(Panel::Parameters);
      return TRUE;
    case WM_COMMAND:
      OnCommand(LOWORD(wparam), HIWORD(wparam));
      return TRUE;
    default:
      return FALSE;
  }
}
