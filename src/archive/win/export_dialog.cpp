#include "archive/win/export_dialog.h"

#include <commctrl.h>

#include <vector>

#include "base/text.h"
#include "resource_ids.h"
#include "shell/win/error_box.h"

namespace {

constexpr int kJobControls[] = {IDC_EXPORT_CHOOSE, IDC_EXPORT_SOURCES, IDC_EXPORT_COPY, IDC_EXPORT_RECOMPRESS};

}  // namespace

FileRequest ExportSourcesRequest() {
  FileRequest request;
  request.filterName = WideFromUtf8("Film wideo (*.avi)");
  request.pattern = L"*.avi";
  request.defaultExtension = L"avi";
  request.multiple = true;
  request.nameBufferLength = 1048576;  // room for many long names: the result is one block of strings
  return request;
}

FileRequest ExportOutputRequest() {
  FileRequest request;
  request.save = true;
  request.filterName = WideFromUtf8("Film wideo (*.avi)");
  request.pattern = L"*.avi";
  request.defaultExtension = L"avi";
  request.proposedName = L"Nagranie archiwum.avi";
  request.nameBufferLength = MAX_PATH;
  return request;
}

ExportDialog::ExportDialog(FileDialogs& files, UiQueue& queue, ExportOptions options)
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

bool ExportDialog::AskOutputPath(std::wstring& path) {
  std::vector<std::wstring> chosen;
  if (!dialog || !files_.ChooseFiles(ExportOutputRequest(), chosen) || chosen.size() != 1) return false;
  path = chosen.front();
  return true;
}

void ExportDialog::ShowError(const std::string& text) {
  if (dialog) ::ShowError(dialog, text);  // a report for a dialog already closed is dropped
}

bool ExportDialog::AskSourceFiles(std::vector<std::wstring>& strings) {
  return files_.ChooseFiles(ExportSourcesRequest(), strings) && !strings.empty();
}

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

void RunExportDialog(HWND owner, UiQueue& queue, FileDialogs& files) {
  ExportDialog dialog(files, queue);
  dialog.RunModal(owner);
}

