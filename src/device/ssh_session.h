// The SSH link to one card on libssh2 (blocking mode): opening with the status steps, the
// tear-down, and the primitives the operations are built from (command channels, reads up to
// end of data or a marker, SCP fetch and send).
//
// Every blocking step is bounded: the TCP connect by `connectTimeoutMs`, every libssh2 call by
// `callTimeoutMs`. A step that times out fails like any other failure of that step. The limits
// are far above what a working card needs. Interrupt, from any thread, ends whatever step runs
// at once (the worker's close and stop).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "base/socket.h"
#include "device/known_cards.h"
#include "device/sinks.h"

struct _LIBSSH2_SESSION;
struct _LIBSSH2_CHANNEL;

namespace device {

struct SshLimits {
  int connectTimeoutMs = 10000;
  int callTimeoutMs = 30000;
};

// --- reading a channel ----------------------------------------------------------------------
// Command output is read through this small interface, so the rules below are the same for a
// libssh2 channel and for a test's fake one.
class ChannelSource {
 public:
  static constexpr long kNothingYet = -1;  // the read's time slice passed without data
  static constexpr long kFailed = -2;
  virtual ~ChannelSource() = default;
  // Bytes read (> 0), 0 at the end of data, kNothingYet or kFailed.
  virtual long Read(char* buffer, std::size_t size) = 0;
  // The channel has reported its end of data.
  virtual bool AtEnd() = 0;
};

// Bounds of one read of command output: at most `maxBytes` in all (64 KiB is far above any
// answer of the card), one overall deadline, and a stop check (the worker's stop signal)
// asked between the pieces.
struct ReadBounds {
  static constexpr std::size_t kMaxOutput = 64 * 1024;
  std::size_t maxBytes = kMaxOutput;
  std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
  std::function<bool()> stop;
  std::function<std::chrono::steady_clock::time_point()> now;  // default: the steady clock
  // File transfers only: the longest silence between two pieces (0: none). A file may take
  // long as a whole, but the card must keep sending.
  int silenceMs = 0;
};

enum class ReadOutcome { Done, Failed, TooLong, TimedOut, Stopped };

// Appends to `text` until the end of data.
ReadOutcome ReadAllFrom(ChannelSource& source, std::string& text, const ReadBounds& bounds);
// Appends to `text` until it contains `marker`; the end of data first is a failure. Each
// piece is searched only where the marker can newly appear.
ReadOutcome ReadUntilFrom(ChannelSource& source, std::string& text, std::string_view marker,
                          const ReadBounds& bounds);
// Receives an SCP file of the announced `size`: `consume` gets the bytes in order, `progress`
// received x 100 / size. Done only when all `size` bytes came.
ReadOutcome ReceiveFileFrom(ChannelSource& source, std::uint64_t size,
                            const std::function<void(const char*, std::size_t)>& consume,
                            const std::function<void(int)>& progress, const ReadBounds& bounds);

class SshSession;

// One channel, closed and freed when destroyed. The close waits (within the call limit) until
// the card has closed its end too, so that its command has ended before another channel opens.
class SshChannel {
 public:
  SshChannel() = default;
  explicit SshChannel(_LIBSSH2_CHANNEL* channel, const SshSession* session = nullptr)
      : channel_(channel), session_(session) {}
  ~SshChannel() { Close(); }
  SshChannel(SshChannel&& other) noexcept : channel_(other.channel_), session_(other.session_) {
    other.channel_ = nullptr;
  }
  SshChannel& operator=(SshChannel&& other) noexcept;
  SshChannel(const SshChannel&) = delete;
  SshChannel& operator=(const SshChannel&) = delete;

  explicit operator bool() const { return channel_ != nullptr; }
  _LIBSSH2_CHANNEL* Get() const { return channel_; }
  void Close();

  // Executes a command; false when it could not be started.
  bool Exec(const std::string& command);

  // The reads take standard output in pieces of up to 100 bytes. A read that fails, one that
  // has not ended within the session's call limit (one deadline for the whole read, however
  // the card trickles its bytes), one longer than ReadBounds::kMaxOutput and one interrupted
  // by the session's stop check fail: none of them is an end of data.
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
  const SshSession* session_ = nullptr;
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
  //
  // Between the handshake and the password the card's host key is checked (CheckHostKey with
  // `hostKeys`, device/known_cards.h): a changed key that is not accepted throws
  // HostKeyChanged and no password is sent.
  void Open(std::uint32_t address, std::uint16_t port, const std::string& user, const std::string& password,
            const SshLimits& limits, StatusSink* status, const HostKeyPolicy& hostKeys = {});
  // Disconnects ("Shutdown"), frees the session, closes the socket, releases libssh2 and the
  // socket library, and forgets an interruption. Safe to call at any time. The disconnect
  // message waits at most kDisconnectMs for a card that does not take it.
  void TearDown();
  static constexpr int kDisconnectMs = 1000;
  // Any thread: ends the link's blocking steps at once. The socket is shut down both ways, so
  // every libssh2 call waiting on it returns with an error, and every later step fails at once
  // (an opening that has no socket yet fails at its next step) until TearDown.
  void Interrupt();
  bool Interrupted() const { return interrupted_.load(); }
  bool IsOpen() const { return session_ != nullptr; }
  // The fingerprint of the host key the card offered at the last opening (HostKeyFingerprint
  // form); empty when no opening got that far.
  const std::string& OfferedHostKey() const { return offeredHostKey_; }
  // Asked between the pieces of reads and transfers and between the steps of the opening;
  // true ends them as failed (the worker's stop signal). Set before Open.
  void SetStopCheck(std::function<bool()> stop) { stop_ = std::move(stop); }
  // The bounds of one read that starts now (the call limit as its deadline).
  ReadBounds BoundsFromNow() const;
  _LIBSSH2_SESSION* Native() const { return session_; }
  // True after a channel opening or an SCP start ran out of time: the card stopped answering
  // and the session must be torn down (see NoteTimeOut).
  bool Unusable() const { return unusable_; }

  // A new session channel; empty when none could be opened.
  SshChannel OpenChannel();
  // Opens a channel ("Nie powiodło się otwarcie sesji." when none) and executes `command`;
  // `failure` is the message when the command cannot be started.
  SshChannel StartCommand(const std::string& command, const std::string& failure);

  // Fetches a remote file by SCP. `announced` gets the size the card announces before any
  // data is read, and refuses it by throwing. `consume` receives the bytes in order;
  // `progress` gets received x 100 / size after each read. Throws "Nie powiodła się próba
  // pobrania pliku." when no channel comes and "Nie powiodło się pobieranie pliku." when a
  // read fails, the data ends before the announced size, the card's scp reports after the data
  // that it could not read the file, or the stop check ends it. Returns the size.
  std::uint64_t Fetch(const std::string& remotePath, const std::function<void(const char*, std::size_t)>& consume,
                      const ProgressFunction& progress,
                      const std::function<void(std::uint64_t size)>& announced = {});
  // Sends `data` by SCP with mode 0777; `progress` gets 25 - remaining x 25 / size after each
  // write. After the data it waits for the card's acknowledgement, sends end of file and waits
  // for the card's end of file, so the file is complete on the card when this returns; a card
  // that could not write the file fails the send. Throws "Nie powiodła się próba wysłania
  // pliku." when no channel comes and "Nie powiodło się wysłanie pliku." when a write fails.
  void Send(const std::string& remotePath, const std::string& data, const ProgressFunction& progress);
  // Runs `command` to its end: its output is read to the end of data and the card's close
  // awaited. Throws `failure` when it cannot be started, a read fails, or it wrote to standard
  // error or ended with an exit status other than 0 (a card that reports none counts as 0).
  // "Nie powiodło się otwarcie sesji." when no channel comes.
  void RunChecked(const std::string& command, const std::string& failure);

 private:
  std::unique_ptr<net::NetworkStartup> network_;  // networkStarted
  bool sshStarted_ = false;
  // The worker replaces and closes the socket under this lock; Interrupt shuts it down under it.
  mutable std::mutex socketMutex_;
  net::Socket socket_;
  std::atomic<bool> interrupted_{false};
  // Where an interrupted socket does not end the waits that begin later (Winsock), this thread
  // repeats the interruption until the worker lets the socket go (Release joins it).
  std::thread repeater_;  // under socketMutex_
  std::mutex repeaterMutex_;
  std::condition_variable repeaterWake_;
  bool repeaterStop_ = false;
  void RepeatInterruption();
  _LIBSSH2_SESSION* session_ = nullptr;
  bool unusable_ = false;
  int callTimeoutMs_ = SshLimits{}.callTimeoutMs;
  std::function<bool()> stop_;
  std::string offeredHostKey_;
  friend class SshChannel;

  void NoteTimeOut();
  // Interrupted, or the stop check holds.
  bool Stopped() const;
  // TearDown without forgetting an interruption.
  void Release();
};

}  // namespace device
