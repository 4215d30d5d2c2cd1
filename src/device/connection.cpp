#include "device/connection.h"

#include <stdexcept>

#include "base/text.h"

namespace device {

namespace {

std::string T(const char* utf8) { return Cp1250FromUtf8(utf8); }

}  // namespace

Connection::Connection(StatusSink* status, MessageSink* messages, ConnectionOptions options)
    : Thread("Connection"), status_(status), messages_(messages), options_(std::move(options)) {
  if (!options_.files) options_.files = &RealFiles();
}

Connection::~Connection() { Stop(); }

bool Connection::Claim(int code) {
  // Only the UI thread posts, so nobody can take the slot between the test and the store.
  if (request_.load(std::memory_order_acquire) != 0) return false;
  request_.store(code, std::memory_order_release);
  return true;
}

bool Connection::Post(ConnectionRequest request) {
  const int code = static_cast<int>(request);
  if (code < 1 || code > 11) return false;
  return Claim(code);
}

bool Connection::PostOpen(std::uint32_t address, const std::string& user, const std::string& password) {
  if (!SlotFree()) return false;
  deviceAddress_ = address;
  userName_ = user;
  password_ = password;
  return Claim(static_cast<int>(ConnectionRequest::Open));
}

bool Connection::PostChangePassword(const std::string& newPassword) {
  if (!SlotFree()) return false;
  password_ = newPassword;
  return Claim(static_cast<int>(ConnectionRequest::ChangePassword));
}

bool Connection::PostUploadProgram(std::string programData) {
  if (!SlotFree()) return false;
  programData_ = std::move(programData);
  return Claim(static_cast<int>(ConnectionRequest::UploadProgram));
}

void Connection::SetArchiveDialog(std::shared_ptr<ArchiveDialogSink> dialog, const std::string& archiveRoot) {
  std::lock_guard lock(fieldsMutex_);
  archiveDialog_ = std::move(dialog);
  archiveRoot_ = archiveRoot;
}

void Connection::SetNetworkDialog(std::shared_ptr<NetworkDialogSink> dialog) {
  std::lock_guard lock(fieldsMutex_);
  networkDialog_ = std::move(dialog);
}

void Connection::SetNewNetwork(std::uint32_t address, std::uint32_t netmask, std::uint32_t gateway) {
  std::lock_guard lock(fieldsMutex_);
  newAddress_ = address;
  newNetmask_ = netmask;
  newGateway_ = gateway;
}

void Connection::SetSaveFileQuestion(std::shared_ptr<SaveFileQuestion> question) {
  std::lock_guard lock(fieldsMutex_);
  saveQuestion_ = std::move(question);
}

OperationContext Connection::Context() { return OperationContext{session_, *status_, *options_.files, options_.timing}; }

int Connection::Run() {
  unsigned pass = 0;
  for (;;) {
    if (WaitForStop(options_.passMs)) {
      CloseSession();
      return 0;
    }
    const int code = request_.load(std::memory_order_acquire);
    if (code >= 1 && code <= 11) {
      try {
        RunRequest(code);
      } catch (const std::exception& e) {
        if (messages_) messages_->ShowError(e.what());
      }
    }
    if (code != 0) request_.store(0, std::memory_order_release);
    ++pass;
    if (!IsConnected()) continue;
    if (options_.clockEvery && pass % options_.clockEvery == 0) {
      if (CheckClock(session_, options_.timing).outcome == ClockCheckResult::NoChannel) CloseSession();
    }
    if (IsConnected() && options_.probeEvery && pass % options_.probeEvery == 0) Probe();
  }
}

void Connection::RunRequest(int code) {
  const auto request = static_cast<ConnectionRequest>(code);
  if (request == ConnectionRequest::Open) {
    if (!IsConnected()) OpenSession();
    return;
  }
  if (!IsConnected()) return;
  OperationContext ctx = Context();
  switch (request) {
    case ConnectionRequest::ChangePassword:
      ChangePassword(ctx, userName_, password_);
      break;
    case ConnectionRequest::Close:
      CloseSession();
      break;
    case ConnectionRequest::DownloadArchiveFiles:
      DoDownloadArchiveFiles();
      break;
    case ConnectionRequest::ShowNetwork:
      DoShowNetwork();
      break;
    case ConnectionRequest::ListArchiveFiles:
      DoListArchiveFiles();
      break;
    case ConnectionRequest::ListArchiveFolders:
      DoListArchiveFolders();
      break;
    case ConnectionRequest::RestartDevice:
      RestartCard(ctx);
      break;
    case ConnectionRequest::SetNetwork: {
      std::uint32_t address, netmask, gateway;
      {
        std::lock_guard lock(fieldsMutex_);
        address = newAddress_;
        netmask = newNetmask_;
        gateway = newGateway_;
      }
      SetNetwork(ctx, address, netmask, gateway);
      break;
    }
    case ConnectionRequest::UploadProgram:
      UploadProgram(ctx, programData_);
      break;
    case ConnectionRequest::DownloadProgram:
      DoDownloadProgram();
      break;
    default:
      break;
  }
}

void Connection::OpenSession() {
  try {
    session_.Open(deviceAddress_, options_.sshPort, userName_, password_, options_.limits, status_);
  } catch (...) {
    status_->ShowStatus(T("Nie udało się otworzyć połączenia"));
    throw;
  }
  connected_.store(true, std::memory_order_release);
  status_->ShowStatus(T("Połączony"));
}

void Connection::CloseSession() {
  if (!IsConnected()) return;
  status_->ShowStatus(T("Rozłączanie..."));
  session_.TearDown();
  connected_.store(false, std::memory_order_release);
  status_->ShowStatus(T("Nie połączony"));
}

void Connection::Probe() {
  SshChannel channel = session_.OpenChannel();
  if (!channel) CloseSession();
}

std::pair<std::shared_ptr<ArchiveDialogSink>, std::string> Connection::ArchiveFields() {
  std::lock_guard lock(fieldsMutex_);
  return {archiveDialog_, archiveRoot_};
}

void Connection::DoListArchiveFolders() {
  auto [dialog, root] = ArchiveFields();
  archiveFolders_.clear();
  OperationContext ctx = Context();
  archiveFolders_ = ListArchiveFolders(ctx);
  if (dialog) {
    dialog->ResetList(ArchiveList::Folders, archiveFolders_.size());
    for (const std::string& entry : archiveFolders_) {
      dialog->InsertItem(ArchiveList::Folders, -1, MarkedEntry(*options_.files, entry, root + entry, true));
    }
  }
  status_->ShowStatus(T("Lista folderów pobrana"));
}

void Connection::DoListArchiveFiles() {
  auto [dialog, root] = ArchiveFields();
  if (!dialog) return;
  const int index = dialog->FolderSelection();
  // No selection, or a list that no longer matches the folders read: nothing to list.
  if (index < 0 || static_cast<std::size_t>(index) >= archiveFolders_.size()) return;
  const std::string folder = archiveFolders_[static_cast<std::size_t>(index)];
  archiveFiles_.clear();
  OperationContext ctx = Context();
  archiveFiles_ = ListArchiveFiles(ctx, folder);
  dialog->ResetList(ArchiveList::Files, archiveFiles_.size());
  for (const std::string& name : archiveFiles_) {
    dialog->InsertItem(ArchiveList::Files, -1, MarkedEntry(*options_.files, name, root + folder + name, false));
  }
  status_->ShowStatus(T("Lista plików pobrana"));
}

void Connection::DoDownloadArchiveFiles() {
  auto [dialog, root] = ArchiveFields();
  if (!dialog) return;
  const int folderIndex = dialog->FolderSelection();
  if (folderIndex < 0 || static_cast<std::size_t>(folderIndex) >= archiveFolders_.size()) {
    throw std::runtime_error(T("Nie zaznaczono folderu."));
  }
  const std::vector<int> selected = dialog->SelectedFiles();
  if (selected.empty()) throw std::runtime_error(T("Nie zaznaczono plików."));
  const std::string folder = archiveFolders_[static_cast<std::size_t>(folderIndex)];
  OperationContext ctx = Context();
  for (int index : selected) {
    if (index < 0 || static_cast<std::size_t>(index) >= archiveFiles_.size()) continue;
    const std::string file = archiveFiles_[static_cast<std::size_t>(index)];
    DownloadArchiveFile(ctx, root, folder, file);
    dialog->DeleteItem(ArchiveList::Files, index);
    dialog->InsertItem(ArchiveList::Files, index, file + card::kDownloadedMarker);
  }
  dialog->DeleteItem(ArchiveList::Folders, folderIndex);
  dialog->InsertItem(ArchiveList::Folders, folderIndex, folder + card::kDownloadedMarker);
  dialog->SelectFolder(folderIndex);
  status_->ShowStatus(T("Pliki pobrane"));
}

void Connection::DoShowNetwork() {
  std::shared_ptr<NetworkDialogSink> dialog;
  {
    std::lock_guard lock(fieldsMutex_);
    dialog = networkDialog_;
  }
  OperationContext ctx = Context();
  const NetworkSettings settings = ReadNetworkSettings(ctx, [&](const NetworkSettings& read) {
    if (!dialog) return;
    dialog->SetAddress(NetworkField::Address, read.address);
    dialog->SetAddress(NetworkField::Netmask, read.netmask);
    dialog->SetAddress(NetworkField::Gateway, read.gateway);
  });
  if (dialog && settings.hardwareAddress) dialog->SetHardwareAddress(*settings.hardwareAddress);
}

void Connection::DoDownloadProgram() {
  std::shared_ptr<SaveFileQuestion> question;
  {
    std::lock_guard lock(fieldsMutex_);
    question = saveQuestion_;
  }
  OperationContext ctx = Context();
  const std::string data = FetchProgram(ctx);
  const std::optional<std::string> path = question ? question->AskSaveFileName() : std::nullopt;
  if (!path) return;  // cancelled: nothing written, the status bar keeps its last state
  StoreProgram(ctx, *path, data);
}

}  // namespace device
