// Everything the device workers may do to the screen. The Win32 front end implements these
// interfaces (status bar, message box, archive and network dialogs, save dialog, device list);
// tests and trevnactl implement them as plain recorders or printers.
//
// All calls come from worker threads. Implementations forward them to the UI thread (the
// Win32 ones through synchronous control messages) and must stay harmless when the window
// they talk to has been closed in the meantime. Texts are narrow Windows-1250 strings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace device {

// The main frame's status bar.
class StatusSink {
 public:
  virtual ~StatusSink() = default;
  // Hides the progress control and sets text part 0.
  virtual void ShowStatus(const std::string& text) = 0;
  // Sets the progress position (0..100) and shows the control; sets the text when not empty
  // (transfers update the position alone).
  virtual void ShowProgress(const std::string& text, int position) = 0;
};

// Error boxes of a worker: no owner, no caption, error icon. The call returns when the user
// has closed the box.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void ShowError(const std::string& text) = 0;
};

// The two list boxes of the archive download dialog.
enum class ArchiveList {
  Folders,  // control 1015, single selection
  Files,    // control 1012, multiple selection
};

class ArchiveDialogSink {
 public:
  virtual ~ArchiveDialogSink() = default;
  // Selected index of the folder list, -1 when none.
  virtual int FolderSelection() = 0;
  // Selected indices of the file list, ascending.
  virtual std::vector<int> SelectedFiles() = 0;
  // Empties the list and reserves room for `count` items (LB_RESETCONTENT, LB_INITSTORAGE).
  virtual void ResetList(ArchiveList list, std::size_t count) = 0;
  // Inserts an item at `index`, or appends it when `index` is -1 (LB_INSERTSTRING).
  virtual void InsertItem(ArchiveList list, int index, const std::string& text) = 0;
  virtual void DeleteItem(ArchiveList list, int index) = 0;
  virtual void SelectFolder(int index) = 0;
};

// The address fields of the network dialog.
enum class NetworkField {
  Address,  // control 1009
  Netmask,  // control 1046
  Gateway,  // control 1045
};

class NetworkDialogSink {
 public:
  virtual ~NetworkDialogSink() = default;
  // IPM_SETADDRESS; first octet in the most significant byte.
  virtual void SetAddress(NetworkField field, std::uint32_t address) = 0;
  // Text of the hardware address field (control 1047).
  virtual void SetHardwareAddress(const std::string& text) = 0;
};

// The save dialog of "download program": initial name "Pobrany dokument.trv", filter
// "Dokument Trevna (*.trv)" / "*.trv", initial folder "C:\\", default extension "trv",
// overwrite prompt. Shown by the worker without an owner. Returns the chosen narrow path, or
// nothing when the user cancelled.
class SaveFileQuestion {
 public:
  virtual ~SaveFileQuestion() = default;
  virtual std::optional<std::string> AskSaveFileName() = 0;
};

// The device list window: one appended item per card heard (LB_ADDSTRING).
class DeviceListSink {
 public:
  virtual ~DeviceListSink() = default;
  virtual void AddItem(const std::string& text) = 0;
};

}  // namespace device
