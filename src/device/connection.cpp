#include "device/connection.h"

#include <stdexcept>

#include "base/text.h"

namespace device {

namespace {

std::string T(const char* utf8) { return Cp1250FromUtf8(utf8); }

}  // namespace

Connection::Connection(StatusSink* status, MessageSink* messages, ConnectionOptions options)
    : Thread("Connection"), status_(status), messages_(messages), options_(std::move(options)), slot_(StopEvent()) {
  if (!options_.files) options_.files = &RealFiles();
  if (!options_.timing.sleep) {
    // The restart waits end early when the worker is stopped, so closing the program during
    // an upload does not wait for the card's restart.
    options_.timing.sleep = [stop = StopEvent()](unsigned milliseconds) { stop->Wait(milliseconds); };
  }
  // Reads and transfers end when the worker is stopped, however the card trickles its bytes.
  session_.SetStopCheck([stop = StopEvent()] { return stop->IsSet(); });
}

Connection::~Connection() { Stop(); }

bool Connection::Send(ConnectionRequest code, Request request) {
  return slot_.Post(static_cast<int>(code), std::move(request));
}

bool Connection::Post(ConnectionRequest request) {
  if (request != ConnectionRequest::Close && request != ConnectionRequest::RestartDevice) return false;
  return Send(request, {});
}

bool Connection::PostOpen(std::uint32_t address, const std::string& user, const std::string& password) {
  Request request;
  request.address = address;
  request.user = user;
  request.password = password;
  return Send(ConnectionRequest::Open, std::move(request));
}

bool Connection::PostChangePassword(const std::string& newPassword) {
  Request request;
  request.password = newPassword;
  if (!Send(ConnectionRequest::ChangePassword, std::move(request))) return false;
  std::lock_guard lock(credentialsMutex_);
  password_ = newPassword;
  return true;
}

bool Connection::PostUploadProgram(std::string programData) {
  Request request;
  request.programData = std::move(programData);
  return Send(ConnectionRequest::UploadProgram, std::move(request));
}

bool Connection::PostDownloadProgram(std::shared_ptr<SaveFileQuestion> question) {
  Request request;
  request.question = std::move(question);
  return Send(ConnectionRequest::DownloadProgram, std::move(request));
}

bool Connection::PostShowNetwork(std::shared_ptr<NetworkDialogSink> dialog) {
  Request request;
  request.network = std::move(dialog);
  return Send(ConnectionRequest::ShowNetwork, std::move(request));
}

bool Connection::PostSetNetwork(std::uint32_t address, std::uint32_t netmask, std::uint32_t gateway) {
  Request request;
  request.address = address;
  request.netmask = netmask;
  request.gateway = gateway;
  return Send(ConnectionRequest::SetNetwork, std::move(request));
}

bool Connection::PostListArchiveFolders(std::shared_ptr<ArchiveDialogSink> dialog, std::string root) {
  Request request;
  request.archive = std::move(dialog);
  request.root = std::move(root);
  return Send(ConnectionRequest::ListArchiveFolders, std::move(request));
}

bool Connection::PostListArchiveFiles(std::shared_ptr<ArchiveDialogSink> dialog, std::string folder,
                                      std::string root) {
  Request request;
  request.archive = std::move(dialog);
  request.folder = std::move(folder);
  request.root = std::move(root);
  return Send(ConnectionRequest::ListArchiveFiles, std::move(request));
}

bool Connection::PostDownloadArchiveFiles(std::shared_ptr<ArchiveDialogSink> dialog, std::string folder,
                                          std::vector<std::string> files, std::string root) {
  Request request;
  request.archive = std::move(dialog);
  request.folder = std::move(folder);
  request.files = std::move(files);
  request.root = std::move(root);
  return Send(ConnectionRequest::DownloadArchiveFiles, std::move(request));
}

std::string Connection::UserName() const {
  std::lock_guard lock(credentialsMutex_);
  return userName_;
}

std::string Connection::Password() const {
  std::lock_guard lock(credentialsMutex_);
  return password_;
}

OperationContext Connection::Context() { return OperationContext{session_, *status_, *options_.files, options_.timing}; }

int Connection::Run() {
  unsigned pass = 0;
  for (;;) {
    Request request;
    const int code = slot_.Wait(options_.passMs, &request);
    if (StopRequested()) {
      CloseSession();
      return 0;
    }
    if (code != 0) {
      try {
        RunRequest(static_cast<ConnectionRequest>(code), request);
      } catch (const std::exception& e) {
        if (messages_) messages_->ShowError(e.what());
      }
      request = {};  // the request's sinks go before the slot is free again
      // A card that stopped answering in the middle of opening a channel or starting a
      // transfer leaves the session unusable: close it, as a failed probe would.
      if (session_.Unusable()) CloseSession();
      slot_.Release();
    }
    ++pass;
    if (!IsConnected()) continue;
    if (options_.clockEvery && pass % options_.clockEvery == 0) {
      if (CheckClock(session_, options_.timing).outcome == ClockCheckResult::NoChannel || session_.Unusable()) {
        CloseSession();
      }
    }
    if (IsConnected() && options_.probeEvery && pass % options_.probeEvery == 0) Probe();
  }
}

void Connection::RunRequest(ConnectionRequest code, Request& request) {
  if (code == ConnectionRequest::Open) {
    if (!IsConnected()) OpenSession(request);
    return;
  }
  if (!IsConnected()) return;
  OperationContext ctx = Context();
  switch (code) {
    case ConnectionRequest::ChangePassword:
      ChangePassword(ctx, sessionUser_, request.password);
      break;
    case ConnectionRequest::Close:
      CloseSession();
      break;
    case ConnectionRequest::DownloadArchiveFiles:
      DoDownloadArchiveFiles(request);
      break;
    case ConnectionRequest::ShowNetwork:
      DoShowNetwork(request);
      break;
    case ConnectionRequest::ListArchiveFiles:
      DoListArchiveFiles(request);
      break;
    case ConnectionRequest::ListArchiveFolders:
      DoListArchiveFolders(request);
      break;
    case ConnectionRequest::RestartDevice:
      RestartCard(ctx);
      break;
    case ConnectionRequest::SetNetwork:
      SetNetwork(ctx, request.address, request.netmask, request.gateway);
      break;
    case ConnectionRequest::UploadProgram:
      UploadProgram(ctx, request.programData);
      break;
    case ConnectionRequest::DownloadProgram:
      DoDownloadProgram(request);
      break;
    default:
      break;
  }
}

void Connection::OpenSession(const Request& request) {
  try {
    HostKeyPolicy hostKeys;
    hostKeys.knownCardsPath = options_.knownCardsPath;
    hostKeys.question = options_.hostKeyQuestion.get();
    session_.Open(request.address, options_.sshPort, request.user, request.password, options_.limits, status_,
                  hostKeys);
  } catch (...) {
    status_->ShowStatus(T("Nie udało się otworzyć połączenia"));
    throw;
  }
  sessionUser_ = request.user;
  {
    std::lock_guard lock(credentialsMutex_);
    userName_ = request.user;
    password_ = request.password;
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

void Connection::DoListArchiveFolders(Request& request) {
  OperationContext ctx = Context();
  // A listing that fails shows nothing in the dialog: the card did not answer, which is not
  // an empty archive.
  const std::vector<std::string> folders = ListArchiveFolders(ctx);
  if (request.archive) {
    std::vector<ArchiveEntry> entries;
    entries.reserve(folders.size());
    for (const std::string& entry : folders) {
      entries.push_back(LocalArchiveEntry(*options_.files, entry, request.root + entry, true));
    }
    request.archive->ShowFolders(entries);
  }
  status_->ShowStatus(T("Lista folderów pobrana"));
}

void Connection::DoListArchiveFiles(Request& request) {
  if (request.folder.empty()) return;  // no folder selected: nothing to list
  OperationContext ctx = Context();
  const std::vector<std::string> files = ListArchiveFiles(ctx, request.folder);
  if (request.archive) {
    std::vector<ArchiveEntry> entries;
    entries.reserve(files.size());
    for (const std::string& name : files) {
      entries.push_back(
          LocalArchiveEntry(*options_.files, name, request.root + request.folder + name, false, request.folder));
    }
    request.archive->ShowFiles(request.folder, entries);
  }
  status_->ShowStatus(T("Lista plików pobrana"));
}

void Connection::DoDownloadArchiveFiles(Request& request) {
  if (request.folder.empty()) throw std::runtime_error(T("Nie zaznaczono folderu."));
  if (request.files.empty()) throw std::runtime_error(T("Nie zaznaczono plików."));
  OperationContext ctx = Context();
  for (const std::string& file : request.files) {
    DownloadArchiveFile(ctx, request.root, request.folder, file);
    if (request.archive) request.archive->MarkFileDownloaded(request.folder, file);
  }
  if (request.archive) request.archive->MarkFolderDownloaded(request.folder);
  status_->ShowStatus(T("Pliki pobrane"));
}

void Connection::DoShowNetwork(Request& request) {
  OperationContext ctx = Context();
  const NetworkSettings settings = ReadNetworkSettings(ctx, [&](const NetworkSettings& read) {
    if (request.network) request.network->ShowReadAddresses(read.address, read.netmask, read.gateway);
  });
  if (request.network && settings.hardwareAddress) request.network->ShowHardwareAddress(*settings.hardwareAddress);
}

void Connection::DoDownloadProgram(Request& request) {
  OperationContext ctx = Context();
  const std::string data = FetchProgram(ctx);
  const std::optional<std::string> path = request.question ? request.question->AskSaveFileName() : std::nullopt;
  if (!path) return;  // cancelled: nothing written, the status bar keeps its last state
  StoreProgram(ctx, *path, data);
}

}  // namespace device
