#include "doc/win/win_file_dialogs.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

#include "base/text.h"

std::wstring DialogFilter(const FileRequest& request) {
  std::wstring filter = request.filterName;
  filter.push_back(L'\0');
  filter += request.pattern;
  filter.push_back(L'\0');
  filter.push_back(L'\0');
  return filter;
}

SaveAnswer Win32FileDialogs::AskYesNoCancel(const std::wstring& text, const std::wstring& title) {
  switch (MessageBoxW(Owner(), text.c_str(), title.c_str(), MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDYES: return SaveAnswer::Yes;
    case IDNO: return SaveAnswer::No;
    default: return SaveAnswer::Cancel;
  }
}

bool Win32FileDialogs::ChooseFile(const FileRequest& request, std::string& path) {
  std::vector<wchar_t> name(static_cast<std::size_t>(std::max(request.nameBufferLength, 2)), L'\0');
  const std::size_t proposed = std::min(request.proposedName.size(), name.size() - 1);
  std::copy_n(request.proposedName.begin(), proposed, name.begin());
  const std::wstring filter = DialogFilter(request);

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = Owner();
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = name.data();
  dialog.nMaxFile = static_cast<DWORD>(name.size());
  dialog.lpstrInitialDir = request.initialFolder.empty() ? nullptr : request.initialFolder.c_str();
  dialog.lpstrDefExt = request.defaultExtension.empty() ? nullptr : request.defaultExtension.c_str();
  dialog.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY |
                 (request.save ? OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST : OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
  const BOOL chosen = request.save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
  if (!chosen) return false;
  path = Cp1250FromWide(name.data());
  return true;
}
