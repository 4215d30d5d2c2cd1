// Connection: the worker that owns the program's one SSH link to a card. The user interface
// posts a request with its data into the one-place request slot (base/request_slot.h); the
// worker wakes at once, runs the operation, reports through its sinks and frees the slot.
// Between requests it probes the link every 128 passes and keeps the card's clock in step
// every 1024 passes (a pass is one wait of up to 100 ms, ended early by a request).
//
// Posting: any thread may post; a request posted while the slot is busy is dropped (the Post
// functions then return false and change nothing). Every request carries its own data; the
// sinks it names (archive and network dialog, save question) are thread-safe: in the program
// the posting adapters of device/posted_sinks.h, which follow the rule in device/sinks.h.
//
// Close is never dropped. It interrupts the request (or link housekeeping) that runs, which
// then fails at once and reports only through the status bar (no message: the user asked to
// disconnect), and the connection ends: the status bar ends with "Nie połączony". A request
// posted before the close and not yet started is dropped; one request posted after it (a new
// Open) is carried out after it.
//
// Stopping the worker interrupts the link the same way from the stopping thread, so Stop ends
// within moments in every state: logging in to a card that does not answer, a stalled
// command, a transfer to a card that trickles its data, the restart wait.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/request_slot.h"
#include "base/thread.h"
#include "device/device_operations.h"
#include "device/local_files.h"
#include "device/sinks.h"
#include "device/ssh_session.h"

namespace device {

enum class ConnectionRequest : int {
  None = 0,
  ChangePassword = 1,
  Open = 2,
  Close = 3,
  DownloadArchiveFiles = 4,
  ShowNetwork = 5,
  ListArchiveFiles = 6,
  ListArchiveFolders = 7,
  RestartDevice = 8,
  SetNetwork = 9,
  UploadProgram = 10,
  DownloadProgram = 11,
};

struct ConnectionOptions {
  std::uint16_t sshPort = 22;
  SshLimits limits;
  unsigned passMs = 100;        // longest wait per pass (a request or stop ends it early)
  unsigned probeEvery = 128;    // passes between link probes
  unsigned clockEvery = 1024;   // passes between clock checks
  DeviceTiming timing;          // restart waits and the PC clock; the default waits end at stop
  LocalFiles* files = nullptr;  // null: the real file system
  // The cards' host keys (device/known_cards.h): the file (empty: the user's) and the
  // question asked when a card's key changed (null: such a login ends). In the program the
  // question is a PostedHostKeyQuestion (device/posted_sinks.h).
  std::string knownCardsPath;
  std::shared_ptr<HostKeyQuestion> hostKeyQuestion;
};

class Connection : public Thread {
 public:
  // `status` and `messages` are thread-safe (posting adapters in the program) and must
  // outlive the worker. `messages` may be null (failures are then only in the status bar).
  Connection(StatusSink* status, MessageSink* messages, ConnectionOptions options = {});
  ~Connection() override;

  // --- posting -----------------------------------------------------------------------------
  // The requests without data: Close and RestartDevice. Any other code is refused (false):
  // it has its own Post function below. Close is always taken (true).
  bool Post(ConnectionRequest request);
  // Request 2: the card's address (first octet highest), user name and password.
  bool PostOpen(std::uint32_t address, const std::string& user, const std::string& password);
  // Request 1: "/vemo/chpass" for the session's user. Password() holds the new password from
  // now on, whatever the card answers.
  bool PostChangePassword(const std::string& newPassword);
  // Request 10: the saved document's bytes.
  bool PostUploadProgram(std::string programData);
  // Request 11: the card's program into the file `question` names (no file when cancelled).
  bool PostDownloadProgram(std::shared_ptr<SaveFileQuestion> question);
  // Request 5: the card's network settings into `dialog`.
  bool PostShowNetwork(std::shared_ptr<NetworkDialogSink> dialog);
  // Request 9: a static configuration (first octet highest), then the card's restart.
  bool PostSetNetwork(std::uint32_t address, std::uint32_t netmask, std::uint32_t gateway);
  // Request 7: the archive folders into `dialog`. `root` is the local target folder, ending
  // in a separator unless empty; the entries found there are marked downloaded.
  bool PostListArchiveFolders(std::shared_ptr<ArchiveDialogSink> dialog, std::string root);
  // Request 6: the files of `folder` (an entry of the folder listing, ending in "/"). An
  // empty folder (none selected) makes the request end without effect.
  bool PostListArchiveFiles(std::shared_ptr<ArchiveDialogSink> dialog, std::string folder, std::string root);
  // Request 4: `files` of `folder` to root + folder + file, in this order. No folder fails
  // with "Nie zaznaczono folderu.", no files with "Nie zaznaczono plików.".
  bool PostDownloadArchiveFiles(std::shared_ptr<ArchiveDialogSink> dialog, std::string folder,
                                std::vector<std::string> files, std::string root);

  // The session's user name and password: those of the last opening that succeeded, the
  // password replaced by PostChangePassword (the password dialog compares against it).
  std::string UserName() const;
  std::string Password() const;

  bool IsConnected() const { return connected_.load(std::memory_order_acquire); }
  // The request being carried out, else the one that waits (a close first).
  ConnectionRequest PendingRequest() const { return static_cast<ConnectionRequest>(slot_.Pending()); }
  // No request waits or is being carried out.
  bool SlotFree() const { return slot_.Free(); }

 protected:
  int Run() override;
  // From the stopping thread: ends the link step that runs.
  void Interrupt() override;

 private:
  // The data of one request; each Post function fills what its request needs.
  struct Request {
    std::uint32_t address = 0, netmask = 0, gateway = 0;
    std::string user, password;  // Open; password also ChangePassword's new one
    std::string programData;
    std::string root, folder;
    std::vector<std::string> files;
    std::shared_ptr<ArchiveDialogSink> archive;
    std::shared_ptr<NetworkDialogSink> network;
    std::shared_ptr<SaveFileQuestion> question;
  };

  bool Send(ConnectionRequest code, Request request);
  void RunRequest(ConnectionRequest code, Request& request);
  void OpenSession(const Request& request);
  void CloseSession();
  void Housekeeping(unsigned pass);
  void Probe();
  void DoListArchiveFolders(Request& request);
  void DoListArchiveFiles(Request& request);
  void DoDownloadArchiveFiles(Request& request);
  void DoShowNetwork(Request& request);
  void DoDownloadProgram(Request& request);
  OperationContext Context();

  StatusSink* status_;
  MessageSink* messages_;
  ConnectionOptions options_;
  RequestSlot<Request> slot_;
  std::atomic<bool> connected_{false};

  mutable std::mutex credentialsMutex_;
  std::string userName_;
  std::string password_;

  // Worker only.
  SshSession session_;
  std::string sessionUser_;
  bool closeInterrupted_ = false;  // a close cut the last request short
};

}  // namespace device
