#include "device/win/archive_download_dialog.h"

#include <shlobj.h>

#include <memory>

#include "base/text.h"
#include "device/connection.h"
#include "device/device_operations.h"
#include "device/posted_sinks.h"
#include "resource_ids.h"

namespace {

constexpr int kMaxTarget = 259;

// Replaces the text of item `index` of a list box, keeping its selection state.
void ReplaceItem(HWND list, int index, const std::string& text) {
  const bool selected = SendMessageW(list, LB_GETSEL, index, 0) > 0;
  SendMessageW(list, LB_DELETESTRING, index, 0);
  SendMessageW(list, LB_INSERTSTRING, index, reinterpret_cast<LPARAM>(WideFromCp1250(text).c_str()));
  if (selected) SendMessageW(list, LB_SETSEL, TRUE, index);
}

void FillList(HWND list, const std::vector<device::ArchiveEntry>& entries) {
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  for (const auto& entry : entries) {
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideFromCp1250(device::ArchiveItemText(entry)).c_str()));
  }
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

}  // namespace

std::optional<std::string> ShellTargetFolderQuestion::AskTargetFolder(HWND owner) {
  const std::wstring title = WideFromUtf8("Wybierz katalog docelowy");
  BROWSEINFOW browse{};
  browse.hwndOwner = owner;
  browse.lpszTitle = title.c_str();
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
  if (!chosen) return std::nullopt;
  wchar_t path[MAX_PATH] = L"";
  const bool ok = SHGetPathFromIDListW(chosen, path);
  CoTaskMemFree(chosen);
  if (!ok) return std::nullopt;
  return Cp1250FromWide(path);
}

std::string ArchiveTargetFolder(std::string text) {
  if (text.size() > kMaxTarget) text.resize(kMaxTarget);
  if (!text.empty() && text.back() != '\\' && text.back() != '/') text += '\\';
  return text;
}

INT_PTR ArchiveDownloadDialog::Run(HINSTANCE instance, HWND owner) {
  return DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ARCHIVE), owner, &Dialog::SharedDialogProc,
                         reinterpret_cast<LPARAM>(static_cast<Dialog*>(this)));
}

std::shared_ptr<device::ArchiveDialogSink> ArchiveDownloadDialog::Sink() {
  return std::make_shared<device::PostedArchiveDialogSink>(queue_, token_.Watch<device::ArchiveDialogSink>(this));
}

std::string ArchiveDownloadDialog::Root() const {
  wchar_t text[kMaxTarget + 1] = L"";
  GetDlgItemTextW(dialog, IDC_ARCHIVE_TARGET, text, kMaxTarget + 1);
  return ArchiveTargetFolder(Cp1250FromWide(text));
}

std::string ArchiveDownloadDialog::SelectedFolder() const {
  const auto index = SendDlgItemMessageW(dialog, IDC_ARCHIVE_FOLDERS, LB_GETCURSEL, 0, 0);
  if (index < 0 || static_cast<std::size_t>(index) >= folders_.size()) return {};
  return folders_[static_cast<std::size_t>(index)].name;
}

void ArchiveDownloadDialog::OnBrowse() {
  if (auto folder = folderQuestion_.AskTargetFolder(dialog)) {
    SetDlgItemTextW(dialog, IDC_ARCHIVE_TARGET, WideFromCp1250(*folder).c_str());
  }
}

void ArchiveDownloadDialog::OnRefresh() { connection_.PostListArchiveFolders(Sink(), Root()); }

void ArchiveDownloadDialog::OnFolderChange() { connection_.PostListArchiveFiles(Sink(), SelectedFolder(), Root()); }

void ArchiveDownloadDialog::OnDownload() {
  HWND list = GetDlgItem(dialog, IDC_ARCHIVE_FILES);
  const auto count = SendMessageW(list, LB_GETSELCOUNT, 0, 0);
  std::vector<int> selected(count > 0 ? static_cast<std::size_t>(count) : 0);
  if (count > 0) SendMessageW(list, LB_GETSELITEMS, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(selected.data()));
  std::vector<std::string> names;
  for (int index : selected) {
    if (index >= 0 && static_cast<std::size_t>(index) < files_.size()) names.push_back(files_[index].name);
  }
  // The files shown belong to filesFolder_; a folder chosen since then has not been listed yet.
  const std::string folder = SelectedFolder() == filesFolder_ ? filesFolder_ : std::string();
  connection_.PostDownloadArchiveFiles(Sink(), folder, std::move(names), Root());
}

void ArchiveDownloadDialog::ShowFolders(const std::vector<device::ArchiveEntry>& folders) {
  if (!dialog) return;
  folders_ = folders;
  FillList(GetDlgItem(dialog, IDC_ARCHIVE_FOLDERS), folders_);
  filesFolder_.clear();
  files_.clear();
  SendDlgItemMessageW(dialog, IDC_ARCHIVE_FILES, LB_RESETCONTENT, 0, 0);
}

void ArchiveDownloadDialog::ShowFiles(const std::string& folder, const std::vector<device::ArchiveEntry>& files) {
  if (!dialog) return;
  filesFolder_ = folder;
  files_ = files;
  FillList(GetDlgItem(dialog, IDC_ARCHIVE_FILES), files_);
}

void ArchiveDownloadDialog::MarkFileDownloaded(const std::string& folder, const std::string& file) {
  if (!dialog || folder != filesFolder_) return;
  HWND list = GetDlgItem(dialog, IDC_ARCHIVE_FILES);
  for (std::size_t i = 0; i < files_.size(); ++i) {
    if (files_[i].name != file) continue;
    files_[i].downloaded = true;
    const int index = static_cast<int>(i);
    ReplaceItem(list, index, device::ArchiveItemText(files_[i]));
    SendMessageW(list, LB_SETSEL, FALSE, index);
  }
}

void ArchiveDownloadDialog::MarkFolderDownloaded(const std::string& folder) {
  if (!dialog) return;
  HWND list = GetDlgItem(dialog, IDC_ARCHIVE_FOLDERS);
  for (std::size_t i = 0; i < folders_.size(); ++i) {
    if (folders_[i].name != folder) continue;
    folders_[i].downloaded = true;
    const int index = static_cast<int>(i);
    ReplaceItem(list, index, device::ArchiveItemText(folders_[i]));
    SendMessageW(list, LB_SETCURSEL, index, 0);  // no notification: no new file listing
  }
}

INT_PTR ArchiveDownloadDialog::DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_DESTROY:
      token_.Revoke();
      return FALSE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDC_ARCHIVE_BROWSE:
          OnBrowse();
          return TRUE;
        case IDC_ARCHIVE_REFRESH:
          OnRefresh();
          return TRUE;
        case IDC_ARCHIVE_DOWNLOAD:
          OnDownload();
          return TRUE;
        case IDC_ARCHIVE_FOLDERS:
          if (HIWORD(wparam) == LBN_SELCHANGE) OnFolderChange();
          return TRUE;
        case IDCANCEL:
          EndDialog(hwnd, IDCANCEL);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

void RunArchiveDownloadDialog(FrameContext& frame) {
  ShellTargetFolderQuestion folders;
  ArchiveDownloadDialog(frame.CardConnection(), frame.Queue(), folders).Run(frame.Instance(), frame.MainWindow());
}
