// Everything the device workers may do to the screen. The Win32 front end implements these
// interfaces (status bar, error box, archive and network dialogs, save dialog, device list);
// tests and trevnactl implement them as recorders or printers. Texts are narrow Windows-1250.
//
// THE WORKER-TO-UI RULE (every worker follows it: Connection, LiveThread, ScanThread,
// ExportThread; every window that a worker reports to relies on it)
//
// 1. Workers never wait for the UI thread. Every report a worker makes copies its data and
//    returns at once; the UI thread may therefore wait for a worker (Thread::Stop joins it,
//    closing a dialog stops its worker) without ever deadlocking.
// 2. A window implements its sink as a plain single-threaded object on the UI thread. The
//    worker never calls it directly: it calls a posting adapter (device/posted_sinks.h,
//    archive/export_thread.h, built on UiPoster in base/ui_queue.h) that copies the call's
//    arguments into a task and posts it to the UI queue. On the UI thread the task reaches the
//    window only if the window is still alive (the adapter holds it by weak_ptr, usually from
//    the window's LifetimeToken, which the window revokes when it is destroyed); otherwise the
//    task is dropped. Reports keep their order: one queue, first in, first out.
// 3. The UI queue is run by a message-only window (shell/win/ui_queue_window.h) that the queue
//    wakes with a private message, so reports are delivered from the main loop and from any
//    modal loop alike (a network dialog shown modally is still filled by the worker).
// 4. Calls that need the user's answer (the save question of "download program", the export's
//    output file) post the question and wait for the answer or for the worker's stop signal,
//    whichever comes first; stop counts as cancel. Thread::Stop raises the signal before it
//    joins, so a UI thread in Stop never waits for a worker that waits for it.
// 5. Error boxes: the worker posts the text and goes on; the UI shows the box. Closing the
//    program while a box is up ends at once; a box whose owner goes away goes with it.
// 6. Requests carry what they need as data (Connection's Post functions, ExportThread's
//    Request); a worker never reads a window's state back.
// 7. The one exception is LiveThread's repaint request: its picture-arrived and cleared
//    callbacks may call InvalidateRect directly, a thread-safe call that never waits. The
//    pictures, tuning counts and forced outputs it shares with the UI are guarded by locks
//    (device/live_state.h) that are held only briefly: a picture's write, or the live view's
//    one stretch of it to the screen.
//
// In tests and in trevnactl the sinks are thread-safe recorders or printers that the worker
// may call directly; they too return at once.
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

// Error boxes of a worker: no owner, no caption, error icon.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void ShowError(const std::string& text) = 0;
};

// One line of the card's archive listing and whether it is already on the PC under the
// chosen target folder. The dialog shows the name, with "  [S]" when downloaded
// (ArchiveItemText in device/device_operations.h).
struct ArchiveEntry {
  std::string name;  // as listed: folders end in "/"
  bool downloaded = false;
  bool operator==(const ArchiveEntry&) const = default;
};

// The archive download dialog ("Archiwum"). The dialog keeps the entries it shows and hands
// the chosen names back with its requests (Connection::PostListArchiveFiles and
// PostDownloadArchiveFiles).
class ArchiveDialogSink {
 public:
  virtual ~ArchiveDialogSink() = default;
  // The folder list (control 1015) now holds these entries, in order.
  virtual void ShowFolders(const std::vector<ArchiveEntry>& folders) = 0;
  // The file list (control 1012) now holds the files of `folder`, in order.
  virtual void ShowFiles(const std::string& folder, const std::vector<ArchiveEntry>& files) = 0;
  // `file` of `folder` has been downloaded: its item gets the marker and is no longer
  // selected (when the list still shows that folder's files).
  virtual void MarkFileDownloaded(const std::string& folder, const std::string& file) = 0;
  // The download of `folder` has ended: its item gets the marker and is selected again
  // (without asking for a new file listing).
  virtual void MarkFolderDownloaded(const std::string& folder) = 0;
};

// The network dialog ("Ustaw konfigurację sieci").
class NetworkDialogSink {
 public:
  virtual ~NetworkDialogSink() = default;
  // The card's address, netmask and gateway (controls 1009, 1046, 1045; first octet in the
  // most significant byte).
  virtual void ShowAddresses(std::uint32_t address, std::uint32_t netmask, std::uint32_t gateway) = 0;
  // What the card's answer held, an unreadable or missing value as none. An unknown value
  // must not be written back to the card: the dialog shows it as unknown (this default shows
  // 0.0.0.0, which the network request refuses).
  virtual void ShowReadAddresses(std::optional<std::uint32_t> address, std::optional<std::uint32_t> netmask,
                                 std::optional<std::uint32_t> gateway) {
    ShowAddresses(address.value_or(0), netmask.value_or(0), gateway.value_or(0));
  }
  // The hardware address (control 1047).
  virtual void ShowHardwareAddress(const std::string& text) = 0;
};

// The save dialog of "download program": initial name "Pobrany dokument.trv", filter
// "Dokument Trevna (*.trv)" / "*.trv", initial folder "C:\\", default extension "trv",
// overwrite prompt, no owner. Returns the chosen narrow path, or nothing when the user
// cancelled (through the posting adapter also when the worker is stopped first).
class SaveFileQuestion {
 public:
  virtual ~SaveFileQuestion() = default;
  virtual std::optional<std::string> AskSaveFileName() = 0;
};

// The question a login asks when a card offers another SSH host key than the one remembered
// for it (device/known_cards.h): "Klucz karty się zmienił..." with both fingerprints, Yes and
// No (HostKeyQuestionText). True (Yes) replaces the stored key and the login goes on; false
// (No, and through the posting adapter also the worker's stop) ends the login before the
// password is sent.
class HostKeyQuestion {
 public:
  virtual ~HostKeyQuestion() = default;
  virtual bool AskReplaceHostKey(const std::string& card, const std::string& storedFingerprint,
                                 const std::string& offeredFingerprint) = 0;
};

// The text of that question (Windows-1250).
std::string HostKeyQuestionText(const std::string& card, const std::string& storedFingerprint,
                                const std::string& offeredFingerprint);

// The device list window: one appended item per card heard (LB_ADDSTRING).
class DeviceListSink {
 public:
  virtual ~DeviceListSink() = default;
  virtual void AddItem(const std::string& text) = 0;
};

}  // namespace device
