// The SSH link to one card on libssh2 (blocking mode): opening with the status steps, the
// tear-down, and the primitives the operations are built from (command channels, reads up to
// end of data or a marker, SCP fetch and send).
//
// Every blocking step is bounded: the TCP connect by `connectTimeoutMs`, every libssh2 call by
// `callTimeoutMs`. A step that times out fails like any other failure of that step. The limits
// are far above what a working card needs.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/socket.h"
#include "device/sinks.h"

struct _LIBSSH2_SESSION;
struct _LIBSSH2_CHANNEL;

namespace device {

struct SshLimits {
  int connectTimeoutMs = 10000;
  int callTimeoutMs = 30000;
};

// One channel, closed and freed when destroyed.
class SshChannel {
 public:
  SshChannel() = default;
  explicit SshChannel(_LIBSSH2_CHANNEL* channel) : channel_(channel) {}
  ~SshChannel() { Close(); }
  SshChannel(SshChannel&& other) noexcept : channel_(other.channel_) { other.channel_ = nullptr; }
  SshChannel& operator=(SshChannel&& other) noexcept;
  SshChannel(const SshChannel&) = delete;
  SshChannel& operator=(const SshChannel&) = delete;

  explicit operator bool() const { return channel_ != nullptr; }
  _LIBSSH2_CHANNEL* Get() const { return channel_; }
  void Close();

  // Executes a command; false when it could not be started.
  bool Exec(const std::string& command);

  // The reads take standard output in 100-byte pieces. A read that fails, and a read that
  // gets nothing within the session's call limit, fails: a time-out is not an end of data.
  //
  // One read whose data is not needed; false when it fails (the end of data is fine).
  bool ReadOnce();
  // Appends to `text` until the channel reports the end of data; false when a read fails
  // first (`text` then holds what came before).
  bool ReadAll(std::string& text);
  // Appends to `text` until it contains `marker`; false when the channel ends or a read
  // fails first.
  bool ReadUntil(std::string& text, const std::string& marker);
  // Writes all of `data`; false on failure.
  bool WriteAll(const std::string& data);

 private:
  _LIBSSH2_CHANNEL* channel_ = nullptr;
};

// Where transfers report their progress (0..100).
using ProgressFunction = std::function<void(int position)>;

class SshSession {
 public:
  SshSession();
  ~SshSession();
  SshSession(const SshSession&) = delete;
  SshSession& operator=(const SshSession&) = delete;

  // Opens the link with the status steps "Łączenie..." (0), "Negocjowanie sesji..." (60) and
  // "Uwierzytelnianie użytkownika..." (80). Throws the failing step's message after tearing
  // everything down. `status` may be null.
  void Open(std::uint32_t address, std::uint16_t port, const std::string& user, const std::string& password,
            const SshLimits& limits, StatusSink* status);
  // Disconnects ("Shutdown"), frees the session, closes the socket, releases libssh2 and the
  // socket library. Safe to call at any time.
  void TearDown();
  bool IsOpen() const { return session_ != nullptr; }
  // True after a channel opening or an SCP start ran out of time: the card stopped answering
  // and the session must be torn down (see NoteTimeOut).
  bool Unusable() const { return unusable_; }

  // A new session channel; empty when none could be opened.
  SshChannel OpenChannel();
  // Opens a channel ("Nie powiodło się otwarcie sesji." when none) and executes `command`;
  // `failure` is the message when the command cannot be started.
  SshChannel StartCommand(const std::string& command, const std::string& failure);

  // Fetches a remote file by SCP. `consume` receives the bytes in order; `progress` gets
  // received x 100 / size after each read. Throws "Nie powiodła się próba pobrania pliku."
  // when no channel comes and "Nie powiodło się pobieranie pliku." when a read fails or the
  // data ends before the announced size. Returns the size.
  std::uint64_t Fetch(const std::string& remotePath, const std::function<void(const char*, std::size_t)>& consume,
                      const ProgressFunction& progress);
  // Sends `data` by SCP with mode 0777; `progress` gets 25 - remaining x 25 / size after each
  // write. After the data it waits for the card's acknowledgement, sends end of file and waits
  // for the card's end of file, so the file is complete on the card when this returns; a card
  // that could not write the file fails the send. Throws "Nie powiodła się próba wysłania
  // pliku." when no channel comes and "Nie powiodło się wysłanie pliku." when a write fails.
  void Send(const std::string& remotePath, const std::string& data, const ProgressFunction& progress);

 private:
  std::unique_ptr<net::NetworkStartup> network_;  // networkStarted
  bool sshStarted_ = false;
  net::Socket socket_;
  _LIBSSH2_SESSION* session_ = nullptr;
  bool unusable_ = false;

  void NoteTimeOut();
};

}  // namespace device
