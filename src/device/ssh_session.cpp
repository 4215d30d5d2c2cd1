#include "device/ssh_session.h"

#include <libssh2.h>

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

}  // namespace

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
    libssh2_channel_close(channel_);
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
  char buffer[100];
  for (;;) {
    const ssize_t n = libssh2_channel_read(channel_, buffer, sizeof buffer);
    if (n < 0) return false;  // an error or the call limit: the card did not answer
    text.append(buffer, static_cast<std::size_t>(n));
    if (libssh2_channel_eof(channel_)) return true;
    if (n == 0) return true;  // blocking reads return 0 only at the end of the channel
  }
}

bool SshChannel::ReadUntil(std::string& text, const std::string& marker) {
  char buffer[100];
  while (text.find(marker) == std::string::npos) {
    const ssize_t n = libssh2_channel_read(channel_, buffer, sizeof buffer);
    if (n < 0) return false;
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.find(marker) != std::string::npos) break;
    if (n == 0 || libssh2_channel_eof(channel_)) return false;
  }
  return true;
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
                      const SshLimits& limits, StatusSink* status) {
  TearDown();
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
    socket_ = net::Socket::Tcp();
    if (!socket_.Valid()) Fail("Nie powiodła się inicjacja połączenia.");
    if (!socket_.Connect(address, port, limits.connectTimeoutMs)) Fail("Nie powiodła się inicjacja połączenia.");
    session_ = libssh2_session_init();
    if (!session_) Fail("Nie powiodła się inicjacja sesji.");
    libssh2_session_set_blocking(session_, 1);
    libssh2_session_set_timeout(session_, limits.callTimeoutMs);
    if (status) status->ShowProgress(Cp1250FromUtf8("Negocjowanie sesji..."), 60);
    if (libssh2_session_handshake(session_, static_cast<libssh2_socket_t>(socket_.Native())) != 0) {
      Fail("Nie powiodła się negocjacja sesji.");
    }
    if (status) status->ShowProgress(Cp1250FromUtf8("Uwierzytelnianie użytkownika..."), 80);
    if (libssh2_userauth_password_ex(session_, user.data(), static_cast<unsigned>(user.size()), password.data(),
                                     static_cast<unsigned>(password.size()), nullptr) != 0) {
      Fail("Nie powiodło się uwierzytelnienie użytkownika.");
    }
  } catch (...) {
    TearDown();
    throw;
  }
}

void SshSession::TearDown() {
  unusable_ = false;
  if (session_) {
    libssh2_session_disconnect_ex(session_, SSH_DISCONNECT_BY_APPLICATION, "Shutdown", "");
    libssh2_session_free(session_);
    session_ = nullptr;
  }
  socket_.Close();
  if (sshStarted_) {
    std::lock_guard lock(LibraryMutex());
    libssh2_exit();
    sshStarted_ = false;
  }
  network_.reset();
}

SshChannel SshSession::OpenChannel() {
  if (!session_) return SshChannel();
  SshChannel channel(libssh2_channel_open_session(session_));
  if (!channel) NoteTimeOut();
  return channel;
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
                                const ProgressFunction& progress) {
  libssh2_struct_stat info{};
  SshChannel channel(session_ ? libssh2_scp_recv2(session_, remotePath.c_str(), &info) : nullptr);
  if (!channel) NoteTimeOut();
  if (!channel) Fail("Nie powiodła się próba pobrania pliku.");
  const std::uint64_t size = info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
  std::vector<char> buffer(64 * 1024);
  std::uint64_t received = 0;
  while (received < size) {
    const std::uint64_t missing = size - received;
    const std::size_t want = missing < buffer.size() ? static_cast<std::size_t>(missing) : buffer.size();
    const ssize_t n = libssh2_channel_read(channel.Get(), buffer.data(), want);
    if (n < 0) Fail("Nie powiodło się pobieranie pliku.");
    // A blocking read returns 0 only when the channel has ended: the data stopped short of
    // the announced size.
    if (n == 0) Fail("Nie powiodło się pobieranie pliku.");
    consume(buffer.data(), static_cast<std::size_t>(n));
    received += static_cast<std::uint64_t>(n);
    if (progress) progress(static_cast<int>(received * 100 / size));
  }
  return size;
}

void SshSession::Send(const std::string& remotePath, const std::string& data, const ProgressFunction& progress) {
  SshChannel channel(session_ ? libssh2_scp_send64(session_, remotePath.c_str(), 0777,
                                                   static_cast<libssh2_int64_t>(data.size()), 0, 0)
                              : nullptr);
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

}  // namespace device
