#include "device/ssh_session.h"

#include <libssh2.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "base/text.h"

namespace device {

namespace {

// libssh2_init and libssh2_exit keep an unguarded counter; sessions opened in parallel (the
// command line programs several cards at once) take turns here.
std::mutex& LibraryMutex() {
  static std::mutex mutex;
  return mutex;
}

[[noreturn]] void Fail(const char* utf8) { throw std::runtime_error(Cp1250FromUtf8(utf8)); }

std::chrono::steady_clock::time_point Now(const ReadBounds& bounds) {
  return bounds.now ? bounds.now() : std::chrono::steady_clock::now();
}

// Why a read must end before its next piece; Done when it may go on.
ReadOutcome Interrupted(const ReadBounds& bounds) {
  if (bounds.stop && bounds.stop()) return ReadOutcome::Stopped;
  if (Now(bounds) >= bounds.deadline) return ReadOutcome::TimedOut;
  return ReadOutcome::Done;
}

// The marker can newly appear only from here on once `size` bytes were searched.
std::size_t SearchStart(std::size_t size, std::size_t markerSize) {
  return size >= markerSize ? size - markerSize + 1 : 0;
}

// Reads of a libssh2 channel, each one waiting at most one short slice, so that the stop check
// and the overall deadline are asked several times a second.
constexpr int kSliceMs = 200;

class LibSsh2Source final : public ChannelSource {
 public:
  explicit LibSsh2Source(LIBSSH2_CHANNEL* channel) : channel_(channel) {}
  long Read(char* buffer, std::size_t size) override {
    if (!channel_) return kFailed;
    const ssize_t n = libssh2_channel_read(channel_, buffer, size);
    if (n >= 0) return static_cast<long>(n);
    if (n == LIBSSH2_ERROR_TIMEOUT || n == LIBSSH2_ERROR_EAGAIN) return kNothingYet;
    return kFailed;
  }
  bool AtEnd() override { return channel_ && libssh2_channel_eof(channel_); }

 private:
  LIBSSH2_CHANNEL* channel_;
};

// Shortens the session's call limit to one slice while it lives.
class SliceGuard {
 public:
  SliceGuard(LIBSSH2_SESSION* session, int callTimeoutMs) : session_(session), callTimeoutMs_(callTimeoutMs) {
    if (session_) libssh2_session_set_timeout(session_, callTimeoutMs < kSliceMs ? callTimeoutMs : kSliceMs);
  }
  ~SliceGuard() {
    if (session_) libssh2_session_set_timeout(session_, callTimeoutMs_);
  }
  SliceGuard(const SliceGuard&) = delete;
  SliceGuard& operator=(const SliceGuard&) = delete;

 private:
  LIBSSH2_SESSION* session_;
  int callTimeoutMs_;
};

// Closes `channel` and waits until the card has closed its end too, so that the card's command
// has ended before the next channel opens. libssh2_channel_close sends end of data and the close
// but stops waiting at the first packet that arrives, often before the card's close; and a card
// running dropbear, when a previous command's process ends, closes every channel that is open
// but has not started its command yet: the next command would never start. The wait ends
// without the card's close on a failed or silent link (the call limit), or at once when the card
// still holds unread data of an aborted transfer, which it would have to send first.
void CloseAndAwaitCard(LIBSSH2_CHANNEL* channel) {
  if (libssh2_channel_close(channel) != 0) return;
  // The card's end of data first (its close counts as one), then its close.
  if (libssh2_channel_wait_eof(channel) == 0) libssh2_channel_wait_closed(channel);
}

}  // namespace

namespace {

// Waits for the next bytes of `source` and appends them to `text`; `n` is how many (0 at the
// end). Any outcome other than Done ends the read.
ReadOutcome AppendNextRead(ChannelSource& source, std::string& text, const ReadBounds& bounds, long& n) {
  char buffer[100];
  for (;;) {
    if (const ReadOutcome why = Interrupted(bounds); why != ReadOutcome::Done) return why;
    n = source.Read(buffer, sizeof buffer);
    if (n == ChannelSource::kNothingYet) continue;
    if (n < 0) return ReadOutcome::Failed;
    if (static_cast<std::size_t>(n) > bounds.maxBytes - std::min(text.size(), bounds.maxBytes)) {
      return ReadOutcome::TooLong;
    }
    text.append(buffer, static_cast<std::size_t>(n));
    return ReadOutcome::Done;
  }
}

}  // namespace

ReadOutcome ReadAllFrom(ChannelSource& source, std::string& text, const ReadBounds& bounds) {
  for (;;) {
    long n = 0;
    if (const ReadOutcome why = AppendNextRead(source, text, bounds, n); why != ReadOutcome::Done) return why;
    if (n == 0 || source.AtEnd()) return ReadOutcome::Done;
  }
}

ReadOutcome ReadUntilFrom(ChannelSource& source, std::string& text, std::string_view marker,
                          const ReadBounds& bounds) {
  if (text.find(marker) != std::string::npos) return ReadOutcome::Done;
  std::size_t from = SearchStart(text.size(), marker.size());
  for (;;) {
    long n = 0;
    if (const ReadOutcome why = AppendNextRead(source, text, bounds, n); why != ReadOutcome::Done) return why;
    if (text.find(marker, from) != std::string::npos) return ReadOutcome::Done;
    from = SearchStart(text.size(), marker.size());
    if (n == 0 || source.AtEnd()) return ReadOutcome::Failed;
  }
}

ReadOutcome ReceiveFileFrom(ChannelSource& source, std::uint64_t size,
                            const std::function<void(const char*, std::size_t)>& consume,
                            const std::function<void(int)>& progress, const ReadBounds& bounds) {
  ReadBounds window = bounds;
  auto restartSilence = [&] {
    if (bounds.silenceMs > 0) window.deadline = Now(bounds) + std::chrono::milliseconds(bounds.silenceMs);
  };
  restartSilence();
  std::vector<char> buffer(64 * 1024);
  std::uint64_t received = 0;
  while (received < size) {
    if (const ReadOutcome why = Interrupted(window); why != ReadOutcome::Done) return why;
    const std::uint64_t missing = size - received;
    const std::size_t want = missing < buffer.size() ? static_cast<std::size_t>(missing) : buffer.size();
    const long n = source.Read(buffer.data(), want);
    if (n == ChannelSource::kNothingYet) continue;
    // The end of data before the announced size is a failure too.
    if (n <= 0 || static_cast<std::size_t>(n) > want) return ReadOutcome::Failed;
    if (consume) consume(buffer.data(), static_cast<std::size_t>(n));
    received += static_cast<std::uint64_t>(n);
    if (progress) {
      const std::uint64_t percent = size <= UINT64_MAX / 100 ? received * 100 / size : received / (size / 100);
      progress(static_cast<int>(percent));
    }
    restartSilence();
  }
  return ReadOutcome::Done;
}

SshChannel& SshChannel::operator=(SshChannel&& other) noexcept {
  if (this != &other) {
    Close();
    channel_ = other.channel_;
    other.channel_ = nullptr;
  }
  return *this;
}

void SshChannel::Close() {
  if (channel_) {
    CloseAndAwaitCard(channel_);
    libssh2_channel_free(channel_);
    channel_ = nullptr;
  }
}

bool SshChannel::Exec(const std::string& command) {
  return channel_ && libssh2_channel_exec(channel_, command.c_str()) == 0;
}

bool SshChannel::ReadOnce() {
  char buffer[100];
  return channel_ && libssh2_channel_read(channel_, buffer, sizeof buffer) >= 0;
}

bool SshChannel::ReadAll(std::string& text) {
  // Blocking reads return 0 only at the end of the channel.
  LibSsh2Source source(channel_);
  const ReadBounds bounds = session_ ? session_->BoundsFromNow() : ReadBounds{};
  SliceGuard slices(session_ ? session_->session_ : nullptr, session_ ? session_->callTimeoutMs_ : 0);
  return ReadAllFrom(source, text, bounds) == ReadOutcome::Done;
}

bool SshChannel::ReadUntil(std::string& text, const std::string& marker) {
  LibSsh2Source source(channel_);
  const ReadBounds bounds = session_ ? session_->BoundsFromNow() : ReadBounds{};
  SliceGuard slices(session_ ? session_->session_ : nullptr, session_ ? session_->callTimeoutMs_ : 0);
  return ReadUntilFrom(source, text, marker, bounds) == ReadOutcome::Done;
}

bool SshChannel::WriteAll(const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = libssh2_channel_write(channel_, data.data() + done, data.size() - done);
    if (n < 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

SshSession::SshSession() = default;

SshSession::~SshSession() { TearDown(); }

void SshSession::Open(std::uint32_t address, std::uint16_t port, const std::string& user, const std::string& password,
                      const SshLimits& limits, StatusSink* status, const HostKeyPolicy& hostKeys) {
  Release();
  offeredHostKey_.clear();
  callTimeoutMs_ = limits.callTimeoutMs;
  try {
    if (status) status->ShowProgress(Cp1250FromUtf8("Łączenie..."), 0);
    network_ = std::make_unique<net::NetworkStartup>();
    if (!network_->Ok()) {
      network_.reset();
      Fail("Nie powiodła się inicjacja podsystemu sieciowego.");
    }
    {
      std::lock_guard lock(LibraryMutex());
      libssh2_init(0);
      sshStarted_ = true;
    }
    {
      std::lock_guard lock(socketMutex_);
      socket_ = net::Socket::Tcp();
    }
    // An interruption before the socket existed is seen here, one after it by the socket.
    if (!socket_.Valid() || Stopped()) Fail("Nie powiodła się inicjacja połączenia.");
    if (!socket_.Connect(address, port, limits.connectTimeoutMs, [this] { return Stopped(); })) {
      Fail("Nie powiodła się inicjacja połączenia.");
    }
    session_ = libssh2_session_init();
    if (!session_) Fail("Nie powiodła się inicjacja sesji.");
    libssh2_session_set_blocking(session_, 1);
    libssh2_session_set_timeout(session_, limits.callTimeoutMs);
    if (status) status->ShowProgress(Cp1250FromUtf8("Negocjowanie sesji..."), 60);
    if (Stopped() || libssh2_session_handshake(session_, static_cast<libssh2_socket_t>(socket_.Native())) != 0) {
      Fail("Nie powiodła się negocjacja sesji.");
    }
    // Whoever answers at the address gets no password unless its key is the card's.
    const char* hash = libssh2_hostkey_hash(session_, LIBSSH2_HOSTKEY_HASH_SHA256);
    if (!hash) Fail("Nie powiodła się negocjacja sesji.");
    offeredHostKey_ = HostKeyFingerprint(reinterpret_cast<const unsigned char*>(hash));
    CheckHostKey(hostKeys, KnownCardName(address, port), offeredHostKey_);
    if (status) status->ShowProgress(Cp1250FromUtf8("Uwierzytelnianie użytkownika..."), 80);
    if (Stopped() || libssh2_userauth_password_ex(session_, user.data(), static_cast<unsigned>(user.size()),
                                                  password.data(), static_cast<unsigned>(password.size()),
                                                  nullptr) != 0) {
      Fail("Nie powiodło się uwierzytelnienie użytkownika.");
    }
  } catch (...) {
    TearDown();
    throw;
  }
}

void SshSession::TearDown() {
  Release();
  interrupted_ = false;
}

void SshSession::Release() {
  unusable_ = false;
  if (session_) {
    // A card that takes no more data must not hold the disconnect for the whole call limit.
    libssh2_session_set_timeout(session_, std::min(callTimeoutMs_, kDisconnectMs));
    libssh2_session_disconnect_ex(session_, SSH_DISCONNECT_BY_APPLICATION, "Shutdown", "");
    libssh2_session_free(session_);
    session_ = nullptr;
  }
  std::thread repeater;
  {
    std::lock_guard lock(socketMutex_);
    socket_.Close();
    repeater = std::move(repeater_);
  }
  if (repeater.joinable()) {
    {
      std::lock_guard lock(repeaterMutex_);
      repeaterStop_ = true;
    }
    repeaterWake_.notify_all();
    repeater.join();
  }
  if (sshStarted_) {
    std::lock_guard lock(LibraryMutex());
    libssh2_exit();
    sshStarted_ = false;
  }
  network_.reset();
}

void SshSession::Interrupt() {
  std::lock_guard lock(socketMutex_);
  interrupted_ = true;
  socket_.Interrupt();
  if (net::kInterruptEndsLaterWaits || !socket_.Valid() || repeater_.joinable()) return;
  {
    std::lock_guard wake(repeaterMutex_);
    repeaterStop_ = false;
  }
  try {
    repeater_ = std::thread([this] { RepeatInterruption(); });
  } catch (const std::exception&) {
    // No thread: the step that began waiting after the interruption ends at its call limit.
  }
}

void SshSession::RepeatInterruption() {
  std::unique_lock lock(repeaterMutex_);
  while (!repeaterWake_.wait_for(lock, std::chrono::milliseconds(50), [this] { return repeaterStop_; })) {
    lock.unlock();
    {
      std::lock_guard socketLock(socketMutex_);
      socket_.Interrupt();
    }
    lock.lock();
  }
}

bool SshSession::Stopped() const { return interrupted_.load() || (stop_ && stop_()); }

SshChannel SshSession::OpenChannel() {
  if (!session_) return SshChannel();
  SshChannel channel(libssh2_channel_open_session(session_), this);
  if (!channel) NoteTimeOut();
  return channel;
}

ReadBounds SshSession::BoundsFromNow() const {
  ReadBounds bounds;
  bounds.deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(callTimeoutMs_);
  bounds.stop = [this] { return Stopped(); };
  return bounds;
}

void SshSession::NoteTimeOut() {
  // libssh2 keeps the state of a half-done channel opening or SCP start in the session and
  // resumes it at the next call of the same kind: after a time-out there the session
  // cannot be used safely any more.
  if (session_ && libssh2_session_last_errno(session_) == LIBSSH2_ERROR_TIMEOUT) unusable_ = true;
}

SshChannel SshSession::StartCommand(const std::string& command, const std::string& failure) {
  SshChannel channel = OpenChannel();
  if (!channel) Fail("Nie powiodło się otwarcie sesji.");
  if (!channel.Exec(command)) throw std::runtime_error(failure);
  return channel;
}

std::uint64_t SshSession::Fetch(const std::string& remotePath,
                                const std::function<void(const char*, std::size_t)>& consume,
                                const ProgressFunction& progress,
                                const std::function<void(std::uint64_t size)>& announced) {
  libssh2_struct_stat info{};
  SshChannel channel(session_ ? libssh2_scp_recv2(session_, remotePath.c_str(), &info) : nullptr, this);
  if (!channel) NoteTimeOut();
  if (!channel) Fail("Nie powiodła się próba pobrania pliku.");
  const std::uint64_t size = info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
  if (announced) announced(size);
  LibSsh2Source source(channel.Get());
  ReadBounds bounds = BoundsFromNow();
  bounds.maxBytes = static_cast<std::size_t>(-1);
  bounds.silenceMs = callTimeoutMs_;
  {
    SliceGuard slices(session_, callTimeoutMs_);
    if (ReceiveFileFrom(source, size, consume, progress, bounds) != ReadOutcome::Done) {
      Fail("Nie powiodło się pobieranie pliku.");
    }
    // After the data the card's scp sends one status byte: 0 when it could read the whole
    // file, 1 or 2 and a message when it could not (the bytes then are not the file's).
    char status = 1;
    if (ReceiveFileFrom(source, 1, [&](const char* byte, std::size_t) { status = *byte; }, {}, bounds) !=
            ReadOutcome::Done ||
        status != 0) {
      Fail("Nie powiodło się pobieranie pliku.");
    }
  }
  // The answer lets the card's scp end by itself before the channel closes.
  static const char zero = 0;
  if (libssh2_channel_write(channel.Get(), &zero, 1) != 1) Fail("Nie powiodło się pobieranie pliku.");
  return size;
}

void SshSession::Send(const std::string& remotePath, const std::string& data, const ProgressFunction& progress) {
  SshChannel channel(session_ ? libssh2_scp_send64(session_, remotePath.c_str(), 0777,
                                                   static_cast<libssh2_int64_t>(data.size()), 0, 0)
                              : nullptr,
                     this);
  if (!channel) NoteTimeOut();
  if (!channel) Fail("Nie powiodła się próba wysłania pliku.");
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = libssh2_channel_write(channel.Get(), data.data() + done, data.size() - done);
    if (n < 0) Fail("Nie powiodło się wysłanie pliku.");
    done += static_cast<std::size_t>(n);
    if (progress && !data.empty()) {
      const std::uint64_t remaining = data.size() - done;
      progress(static_cast<int>(25 - remaining * 25 / data.size()));
    }
  }
  // The data ends with a zero byte, as the SCP protocol has it; the card's scp answers with a
  // zero byte once the file is written (1 or 2 and a message when writing failed).
  static const char zero = 0;
  if (libssh2_channel_write(channel.Get(), &zero, 1) != 1) Fail("Nie powiodło się wysłanie pliku.");
  char answer = 1;
  if (libssh2_channel_read(channel.Get(), &answer, 1) != 1 || answer != 0) Fail("Nie powiodło się wysłanie pliku.");
  // Then end of file both ways before the channel closes, so nothing is cut short.
  if (libssh2_channel_send_eof(channel.Get()) != 0) Fail("Nie powiodło się wysłanie pliku.");
  if (libssh2_channel_wait_eof(channel.Get()) != 0) Fail("Nie powiodło się wysłanie pliku.");
}

void SshSession::RunChecked(const std::string& command, const std::string& failure) {
  SshChannel channel = StartCommand(command, failure);
  std::string output;
  if (!channel.ReadAll(output)) throw std::runtime_error(failure);
  // At the end of data all the command wrote to standard error has come; its exit status comes
  // before the card closes the channel.
  char error[256];
  if (libssh2_channel_read_stderr(channel.Get(), error, sizeof error) != 0) throw std::runtime_error(failure);
  if (libssh2_channel_wait_closed(channel.Get()) != 0) throw std::runtime_error(failure);
  if (libssh2_channel_get_exit_status(channel.Get()) != 0) throw std::runtime_error(failure);
}

}  // namespace device
