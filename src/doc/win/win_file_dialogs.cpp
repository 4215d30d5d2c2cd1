#include "doc/win/win_file_dialogs.h"

#include <commdlg.h>

#include <algorithm>
#include <utility>
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

bool Win32FileDialogs::Run(const FileRequest& request, std::vector<wchar_t>& name) {
  name.assign(static_cast<std::size_t>(std::max(request.nameBufferLength, 2)), L'\0');
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
                 (request.save ? OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST : OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST) |
                 (request.multiple && !request.save ? OFN_ALLOWMULTISELECT : 0);
  return (request.save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog)) != FALSE;
}

bool Win32FileDialogs::ChooseFile(const FileRequest& request, std::string& path) {
  std::vector<wchar_t> name;
  if (!Run(request, name)) return false;
  path = Cp1250FromWide(name.data());
  return true;
}

bool Win32FileDialogs::ChooseFiles(const FileRequest& request, std::vector<std::wstring>& strings) {
  std::vector<wchar_t> name;
  if (!Run(request, name)) return false;
  std::vector<std::wstring> chosen = SplitOpenFileResult(name.data(), name.size());
  if (chosen.empty()) return false;
  strings = std::move(chosen);
  return true;
}
