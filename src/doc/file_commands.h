// The file commands of the detector editor (menu "&Plik"): the question about unsaved changes,
// Open, Save and Save as. They ask the user through FileDialogs, which the Win32 front end
// implements with a message box and the standard open and save dialogs (tests use a fake).
// Load and save failures propagate as std::runtime_error with the system's text for the
// front end to show; a failure counts as "do not go on".
#pragma once

#include <string>
#include <vector>

class Document;

enum class SaveAnswer { Yes, No, Cancel };

// What a standard open or save dialog is asked to show.
struct FileRequest {
  bool save = false;             // save dialog (prompt before overwriting) or open dialog (file must exist)
  std::wstring filterName;       // "Dokument Trevna (*.trv)"
  std::wstring pattern;          // "*.trv"
  std::wstring initialFolder;    // "C:\\"
  std::wstring defaultExtension; // "trv"
  std::wstring proposedName;     // save dialogs: the name offered
  int nameBufferLength = 260;
  bool multiple = false;         // open dialogs: several files may be chosen at once
};

class FileDialogs {
 public:
  virtual ~FileDialogs() = default;
  // A question box with the buttons Yes, No, Cancel and the question icon.
  virtual SaveAnswer AskYesNoCancel(const std::wstring& text, const std::wstring& title) = 0;
  // Shows the dialog; false when cancelled. `path` receives the chosen path (Windows-1250).
  virtual bool ChooseFile(const FileRequest& request, std::string& path) = 0;
  // Shows the dialog; false when cancelled. `strings` receives the choice as wide text (no
  // character lost to the code page): one full path, or, when several files of a `multiple`
  // open request were chosen, their folder followed by their names in the dialog's order.
  // Without an implementation of its own it is ChooseFile's one path.
  virtual bool ChooseFiles(const FileRequest& request, std::vector<std::wstring>& strings);
};

FileRequest DocumentOpenRequest();
FileRequest DocumentSaveRequest(const std::wstring& proposedName = L"Nowy dokument.trv");
FileRequest BitmapOpenRequest();

// Not modified: go on. Otherwise asks "Czy chcesz zapisać zmiany?" ("Zapisz..."): Yes goes on
// only when SaveCommand succeeds, No goes on, Cancel stops.
bool AskToSave(Document& document, FileDialogs& dialogs);
// AskToSave, then the open dialog, then LoadDocument. True when a document was loaded (the
// editor then shows track A).
bool OpenCommand(Document& document, FileDialogs& dialogs);
// SaveAsCommand without a path, else SaveDocument to the document's path. True on success.
bool SaveCommand(Document& document, FileDialogs& dialogs);
// The save dialog offering "Nowy dokument.trv", then SaveDocument. False when cancelled.
bool SaveAsCommand(Document& document, FileDialogs& dialogs);
