#include "archive/win/export_dialog.h"

#include <commctrl.h>
#include <commdlg.h>

#include <memory>

#include "base/text.h"
#include "resource_ids.h"
#include "shell/win/error_box.h"

namespace {

constexpr int kJobControls[] = {IDC_EXPORT_CHOOSE, IDC_EXPORT_SOURCES, IDC_EXPORT_COPY, IDC_EXPORT_RECOMPRESS};

// "Film wideo (*.avi)" with its pattern, as the filter string of the open and save dialogs.
const wchar_t* AviFilter() {
  static const std::wstring filter = [] {
    std::wstring f = WideFromUtf8("Film wideo (*.avi)");
    f.push_back(L'\0');
    f += L"*.avi";
    f.push_back(L'\0');
    return f;
  }();
  return filter.c_str();
}

}  // namespace

std::vector<std::wstring> SplitOpenFileResult(const wchar_t* buffer, std::size_t capacity) {
  std::vector<std::wstring> strings;
  std::size_t at = 0;
  while (at < capacity && buffer[at] != L'\0') {
    std::size_t end = at;
    while (end < capacity && buffer[end] != L'\0') ++end;
    strings.emplace_back(buffer + at, end - at);
    at = end + 1;
  }
  return strings;
}

bool Win32ExportFileDialogs::AskSourceFiles(HWND owner, std::vector<std::wstring>& strings) {
  // Room for many long names: the multi-select result is one block of strings.
  constexpr std::size_t kCapacity = 1048576;
  std::unique_ptr<wchar_t[]> buffer(new wchar_t[kCapacity]());
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = AviFilter();
  dialog.lpstrFile = buffer.get();
  dialog.nMaxFile = static_cast<DWORD>(kCapacity);
  dialog.lpstrDefExt = L"avi";
  dialog.Flags = OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_ENABLESIZING | OFN_FILEMUSTEXIST;
  if (!GetOpenFileNameW(&dialog)) return false;
  strings = SplitOpenFileResult(buffer.get(), kCapacity);
  return !strings.empty();
}

bool Win32ExportFileDialogs::AskOutputPath(HWND owner, std::wstring& path) {
  wchar_t buffer[MAX_PATH] = L"Nagranie archiwum.avi";
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = AviFilter();
  dialog.lpstrFile = buffer;
  dialog.nMaxFile = MAX_PATH;
  dialog.lpstrDefExt = L"avi";
  dialog.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_OVERWRITEPROMPT;
  if (!GetSaveFileNameW(&dialog)) return false;
  path = buffer;
  return true;
}

ExportDialog::ExportDialog(ExportFileDialogs& files, UiQueue& queue, ExportOptions options)
    : files_(files), controller_(*this, queue, options) {}

INT_PTR ExportDialog::RunModal(HWND owner) {
  modal_ = true;
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_EXPORT), owner, &Dialog::SharedDialogProc,
                         reinterpret_cast<LPARAM>(static_cast<Dialog*>(this)));
}

HWND ExportDialog::CreateModeless(HWND owner) {
  modal_ = false;
  return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_EXPORT), owner, &Dialog::SharedDialogProc,
                            reinterpret_cast<LPARAM>(static_cast<Dialog*>(this)));
}

INT_PTR ExportDialog::DialogProc(HWND, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      OnInit();
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wparam) != BN_CLICKED) return FALSE;
      switch (LOWORD(wparam)) {
        case IDC_EXPORT_CHOOSE:
          controller_.OnChooseSources();
          return TRUE;
        case IDC_EXPORT_COPY:
          controller_.OnStartJob(kExportCopy);
          return TRUE;
        case IDC_EXPORT_RECOMPRESS:
          controller_.OnStartJob(kExportRecompress);
          return TRUE;
        case IDCANCEL:  // Escape: the same as the close box
          OnClose();
          return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      OnClose();
      return TRUE;
  }
  return FALSE;
}

void ExportDialog::OnInit() {
  SendDlgItemMessageW(dialog, IDC_EXPORT_PROGRESS, PBM_SETRANGE32, 0, 100);
  SetStatusText(ExportReadyText());
  // The worker is started last. Without it the dialog could run no job: the failure has been
  // shown and the dialog ends, which enables its owner again.
  if (!controller_.OnInit()) OnClose();
}

void ExportDialog::OnClose() {
  if (!controller_.OnClose()) return;  // a job is requested or running: the close is ignored
  if (modal_) {
    EndDialog(dialog, 2);
  } else {
    DestroyWindow(dialog);
  }
}

void ExportDialog::SetStatusText(const std::string& text) {
  if (dialog) SetDlgItemTextW(dialog, IDC_EXPORT_STATUS, WideFromCp1250(text).c_str());
}

void ExportDialog::SetProgress(std::uint32_t position) {
  if (dialog) SendDlgItemMessageW(dialog, IDC_EXPORT_PROGRESS, PBM_SETPOS, position, 0);
}

void ExportDialog::EnableJobControls(bool enabled) {
  if (!dialog) return;
  for (int id : kJobControls) EnableWindow(GetDlgItem(dialog, id), enabled);
}

bool ExportDialog::AskOutputPath(std::wstring& path) { return dialog && files_.AskOutputPath(dialog, path); }

void ExportDialog::ShowError(const std::string& text) {
  if (dialog) ::ShowError(dialog, text);  // a report for a dialog already closed is dropped
}

bool ExportDialog::AskSourceFiles(std::vector<std::wstring>& strings) { return files_.AskSourceFiles(dialog, strings); }

void ExportDialog::ShowSourceNames(const std::vector<std::wstring>& names) {
  const HWND list = GetDlgItem(dialog, IDC_EXPORT_SOURCES);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  for (const auto& name : names) {
    SendMessageW(list, LB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(name.c_str()));
  }
}

void ExportDialog::SetNotes(const std::wstring& copyNote, const std::wstring& recompressNote) {
  SendDlgItemMessageW(dialog, IDC_EXPORT_COPY, BCM_SETNOTE, 0, reinterpret_cast<LPARAM>(copyNote.c_str()));
  SendDlgItemMessageW(dialog, IDC_EXPORT_RECOMPRESS, BCM_SETNOTE, 0, reinterpret_cast<LPARAM>(recompressNote.c_str()));
}

void RunExportDialog(HWND owner, UiQueue& queue, ExportFileDialogs& files) {
  ExportDialog dialog(files, queue);
  dialog.RunModal(owner);
}

void RunExportDialog(HWND owner, UiQueue& queue) {
  Win32ExportFileDialogs files;
  RunExportDialog(owner, queue, files);
}
