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
    // The restart waits end early when the worker is stopped or the user closes the
    // connection, so neither waits for the card's restart.
    options_.timing.sleep = [this](unsigned milliseconds) {
      StopEvent()->WaitFor(milliseconds, [this] { return slot_.Interrupted(); });
    };
  }
  // Reads, transfers and the opening end when the worker is stopped or a close interrupts
  // them, however the card trickles its bytes.
  session_.SetStopCheck([this] { return StopRequested() || slot_.Interrupted(); });
  // A close posted (or a stop asked for) while the link is in use shuts the link down from the
  // posting thread: every blocking step on it returns at once.
  slot_.SetInterrupt([this] { session_.Interrupt(); });
}

Connection::~Connection() { Stop(); }

bool Connection::Send(ConnectionRequest code, Request request) {
  return slot_.Post(static_cast<int>(code), std::move(request));
}

bool Connection::Post(ConnectionRequest request) {
  if (request == ConnectionRequest::Close) {
    slot_.PostOverriding(static_cast<int>(request));
    return true;
  }
  if (request != ConnectionRequest::RestartDevice) return false;
  return Send(request, {});
}

void Connection::Interrupt() { slot_.InterruptWork(); }

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
    // Taken (and so interruptible) before this look at the stop signal: a stop raised after
    // it interrupts the request, one raised before it ends the worker here.
    if (StopRequested()) {
      if (code != 0) slot_.Release();
      CloseSession();
      return 0;
    }
    if (code != 0) {
      try {
        RunRequest(static_cast<ConnectionRequest>(code), request);
      } catch (const std::exception& e) {
        // A step cut short by the user's close or the program's stop is no news to the user:
        // the status bar holds the operation's failure line, and the connection ends next.
        if (messages_ && !slot_.Interrupted() && !StopRequested()) messages_->ShowError(e.what());
      }
      if (slot_.Interrupted()) closeInterrupted_ = true;
      request = {};  // the request's sinks go before the slot is free again
      // A card that stopped answering in the middle of opening a channel or starting a
      // transfer leaves the session unusable: close it, as a failed probe would.
      if (session_.Unusable()) CloseSession();
      slot_.Release();
    }
    ++pass;
    if (IsConnected()) Housekeeping(pass);
  }
}

void Connection::Housekeeping(unsigned pass) {
  const bool clock = options_.clockEvery && pass % options_.clockEvery == 0;
  const bool probe = options_.probeEvery && pass % options_.probeEvery == 0;
  if (!clock && !probe) return;
  // Marked as work that a close or a stop interrupts; a close that waits comes first.
  if (!slot_.BeginOwnWork()) return;
  if (!StopRequested()) {
    if (clock) {
      if (CheckClock(session_, options_.timing).outcome == ClockCheckResult::NoChannel || session_.Unusable()) {
        CloseSession();
      }
    }
    if (IsConnected() && probe && !slot_.Interrupted()) Probe();
  }
  slot_.EndOwnWork();
}

void Connection::RunRequest(ConnectionRequest code, Request& request) {
  if (code == ConnectionRequest::Close) {
    if (IsConnected()) {
      CloseSession();
    } else {
      session_.TearDown();  // forgets the interruption, so that a later opening goes ahead
      // The close cut an opening short: nothing was connected, but the user sees the end.
      if (closeInterrupted_) status_->ShowStatus(T("Nie połączony"));
    }
    closeInterrupted_ = false;
    return;
  }
  closeInterrupted_ = false;
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
