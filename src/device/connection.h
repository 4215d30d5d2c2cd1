// Connection: the worker that owns the program's one SSH link to a card. The user interface
// fills the fields of a request and posts its code into the one-place request slot; the worker
// picks it up within one pass (100 ms), runs the operation, reports through the sinks and
// frees the slot. Between requests it probes the link every 128 passes and keeps the card's
// clock in step every 1024 passes.
//
// Posting: only the UI thread posts. A request posted while the slot is busy is dropped (the
// Post functions then return false and change nothing). The slot is an atomic with
// release/acquire ordering: the fields are written before the code, and the worker reads them
// only after it has seen the code.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "device/device_operations.h"
#include "device/local_files.h"
#include "device/sinks.h"
#include "device/ssh_session.h"
#include "device/thread.h"

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
  unsigned passMs = 100;        // wait on the stop signal per pass
  unsigned probeEvery = 128;    // passes between link probes
  unsigned clockEvery = 1024;   // passes between clock checks
  DeviceTiming timing;          // restart waits and the PC clock
  LocalFiles* files = nullptr;  // null: the real file system
};

class Connection : public Thread {
 public:
  // `status` and `messages` must outlive the worker.
  Connection(StatusSink* status, MessageSink* messages, ConnectionOptions options = {});
  ~Connection() override;

  // --- posting (UI thread) ---------------------------------------------------
  // Requests that carry no slot-bound data (3..9, 11).
  bool Post(ConnectionRequest request);
  // Request 2 with the card's address (first octet highest), user name and password.
  bool PostOpen(std::uint32_t address, const std::string& user, const std::string& password);
  // Request 1; `password` keeps the new value whatever the outcome.
  bool PostChangePassword(const std::string& newPassword);
  // Request 10 with the saved document's bytes.
  bool PostUploadProgram(std::string programData);

  // Fields written whatever the slot holds.
  void SetArchiveDialog(std::shared_ptr<ArchiveDialogSink> dialog, const std::string& archiveRoot);
  void SetNetworkDialog(std::shared_ptr<NetworkDialogSink> dialog);
  void SetNewNetwork(std::uint32_t address, std::uint32_t netmask, std::uint32_t gateway);
  void SetSaveFileQuestion(std::shared_ptr<SaveFileQuestion> question);

  bool IsConnected() const { return connected_.load(std::memory_order_acquire); }
  ConnectionRequest PendingRequest() const {
    return static_cast<ConnectionRequest>(request_.load(std::memory_order_acquire));
  }
  bool SlotFree() const { return request_.load(std::memory_order_acquire) == 0; }

 protected:
  int Run() override;

 private:
  bool Claim(int code);
  void RunRequest(int code);
  void OpenSession();
  void CloseSession();
  void Probe();
  void DoDownloadArchiveFiles();
  void DoListArchiveFiles();
  void DoListArchiveFolders();
  void DoShowNetwork();
  void DoDownloadProgram();
  OperationContext Context();
  // A copy of the archive dialog and root, taken under the fields lock.
  std::pair<std::shared_ptr<ArchiveDialogSink>, std::string> ArchiveFields();

  StatusSink* status_;
  MessageSink* messages_;
  ConnectionOptions options_;

  std::atomic<int> request_{0};
  std::atomic<bool> connected_{false};

  // Written only while the slot is free.
  std::uint32_t deviceAddress_ = 0;
  std::string userName_;
  std::string password_;
  std::string programData_;

  // Written whatever the slot holds.
  std::mutex fieldsMutex_;
  std::shared_ptr<ArchiveDialogSink> archiveDialog_;
  std::string archiveRoot_;
  std::shared_ptr<NetworkDialogSink> networkDialog_;
  std::shared_ptr<SaveFileQuestion> saveQuestion_;
  std::uint32_t newAddress_ = 0, newNetmask_ = 0, newGateway_ = 0;

  // Worker only.
  SshSession session_;
  std::vector<std::string> archiveFolders_;
  std::vector<std::string> archiveFiles_;
};

}  // namespace device
