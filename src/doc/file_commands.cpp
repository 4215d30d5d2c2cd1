#include "doc/file_commands.h"

#include "base/text.h"
#include "doc/document.h"
#include "doc/document_file.h"

FileRequest DocumentOpenRequest() {
  FileRequest request;
  request.filterName = L"Dokument Trevna (*.trv)";
  request.pattern = L"*.trv";
  request.initialFolder = L"C:\\";
  request.defaultExtension = L"trv";
  return request;
}

bool FileDialogs::ChooseFiles(const FileRequest& request, std::vector<std::wstring>& strings) {
  std::string path;
  if (!ChooseFile(request, path)) return false;
  strings = {WideFromCp1250(path)};
  return true;
}

FileRequest DocumentSaveRequest(const std::wstring& proposedName) {
  FileRequest request = DocumentOpenRequest();
  request.save = true;
  request.proposedName = proposedName;
  return request;
}

FileRequest BitmapOpenRequest() {
  FileRequest request;
  request.filterName = L"Pliki bitmap (*.bmp)";
  request.pattern = L"*.bmp";
  request.initialFolder = L"C:\\";
  request.defaultExtension = L"bmp";
  return request;
}

bool AskToSave(Document& document, FileDialogs& dialogs) {
  if (!document.Modified()) return true;
  switch (dialogs.AskYesNoCancel(WideFromUtf8("Czy chcesz zapisać zmiany?"), L"Zapisz...")) {
    case SaveAnswer::Yes:
      return SaveCommand(document, dialogs);
    case SaveAnswer::No:
      return true;
    case SaveAnswer::Cancel:
      break;
  }
  return false;
}

bool OpenCommand(Document& document, FileDialogs& dialogs) {
  if (!AskToSave(document, dialogs)) return false;
  std::string path;
  if (!dialogs.ChooseFile(DocumentOpenRequest(), path)) return false;
  LoadDocument(document, path);
  return true;
}

bool SaveCommand(Document& document, FileDialogs& dialogs) {
  if (document.Path().empty()) return SaveAsCommand(document, dialogs);
  SaveDocument(document, document.Path());
  return true;
}

bool SaveAsCommand(Document& document, FileDialogs& dialogs) {
  std::string path;
  if (!dialogs.ChooseFile(DocumentSaveRequest(), path)) return false;
  SaveDocument(document, path);
  return true;
}
