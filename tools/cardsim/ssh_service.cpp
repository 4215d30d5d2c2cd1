#include "ssh_service.h"

// The server side uses libssh's message API (ssh_message_get and friends), which the
// library marks deprecated in favour of callbacks but still supports fully.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include <libssh/callbacks.h>
#include <libssh/libssh.h>
#include <libssh/server.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "card.h"
#include "card_commands.h"
#include "net.h"

namespace cardsim {
namespace {

using nlohmann::json;

constexpr int kMaxLoginAttempts = 6;

// How long a write waits for a client that takes none of the data, as a link that has gone
// quiet; a client that is merely slow (its disk, its load) keeps the transfer going.
constexpr auto kStalledWrite = std::chrono::seconds(120);

// stdout, stderr and stdin of one exec channel.
class SshChannelIo : public ChannelIo {
 public:
  SshChannelIo(ssh_channel channel, const Card& card) : channel_(channel), card_(card) {
    // A close that comes while data still waits unread is not shown by the channel's state;
    // this callback sees it.
    ssh_callbacks_init(&callbacks_);
    callbacks_.userdata = &closed_;
    callbacks_.channel_close_function = [](ssh_session, ssh_channel, void* closed) {
      *static_cast<bool*>(closed) = true;
    };
    ssh_set_channel_callbacks(channel_, &callbacks_);
  }
  ~SshChannelIo() override { ssh_remove_channel_callbacks(channel_, &callbacks_); }
  SshChannelIo(const SshChannelIo&) = delete;
  SshChannelIo& operator=(const SshChannelIo&) = delete;
  // A blocking write waits for the client's window only as long as the session's poll time (a
  // fifth of a second) and then returns what it wrote so far; the rest is written once the
  // client makes room. It fails when the client closes the channel or goes away, when it takes
  // nothing for kStalledWrite, or when the card stops.
  bool Write(const void* data, std::size_t size) override {
    const char* bytes = static_cast<const char*>(data);
    auto lastProgress = std::chrono::steady_clock::now();
    while (size > 0) {
      const int n = ssh_channel_write(channel_, bytes, static_cast<std::uint32_t>(size));
      if (n < 0) return false;
      if (n > 0) {
        bytes += n;
        size -= static_cast<std::size_t>(n);
        lastProgress = std::chrono::steady_clock::now();
        continue;
      }
      if (closed_ || ssh_channel_is_closed(channel_) || !ssh_is_connected(ssh_channel_get_session(channel_)) ||
          card_.Stopping() || std::chrono::steady_clock::now() - lastProgress > kStalledWrite) {
        return false;
      }
    }
    return true;
  }
  bool WriteError(const std::string& text) override {
    return ssh_channel_write_stderr(channel_, text.data(), static_cast<std::uint32_t>(text.size())) ==
           static_cast<int>(text.size());
  }
  int ReadSome(void* data, std::size_t size, int timeoutMs) override {
    const int n = ssh_channel_read_timeout(channel_, data, static_cast<std::uint32_t>(size), 0, timeoutMs);
    if (n > 0) return n;
    if (n == 0 && (ssh_channel_is_eof(channel_) || ssh_channel_is_closed(channel_))) return 0;
    return -1;  // error or nothing within the time-out
  }
  bool ClientGone() override {
    // A poll of standard error (which clients never send) takes in what arrived, also
    // while data waits unread.
    return ssh_channel_poll_timeout(channel_, 0, 1) == SSH_ERROR || closed_ || ssh_channel_is_closed(channel_);
  }
  using ChannelIo::Write;

 private:
  ssh_channel channel_;
  const Card& card_;
  ssh_channel_callbacks_struct callbacks_{};
  bool closed_ = false;
};

// A connection whose card was told to be silent: it takes the bytes and says nothing.
void ServeSilently(Card& card, int fd, const std::string& client) {
  card.Log().Write("ssh-silent", {{"client", client}});
  char scratch[4096];
  while (!card.Stopping()) {
    if (!WaitReadable(fd, 200)) continue;
    if (::read(fd, scratch, sizeof scratch) <= 0) break;
  }
}

class Session {
 public:
  Session(Card& card, ssh_session session, int fd, std::string client)
      : card_(card), session_(session), fd_(fd), client_(std::move(client)) {}

  void Run() {
    if (ssh_handle_key_exchange(session_) != SSH_OK) {
      card_.Log().Write("ssh-error", {{"client", client_}, {"error", ssh_get_error(session_)}});
      return;
    }
    // ssh_message_get waits at most this long, so that channels the client closed on its
    // own get their close answered.
    const long pollMicroseconds = 200000, zero = 0;
    ssh_options_set(session_, SSH_OPTIONS_TIMEOUT, &zero);
    ssh_options_set(session_, SSH_OPTIONS_TIMEOUT_USEC, &pollMicroseconds);
    while (!card_.Stopping()) {
      ssh_message message = ssh_message_get(session_);
      if (!message) {
        if (!ssh_is_connected(session_) || (ssh_get_status(session_) & (SSH_CLOSED | SSH_CLOSED_ERROR))) break;
        AnswerClosedChannels();
        continue;
      }
      const bool keepGoing = Handle(message);
      if (message) ssh_message_free(message);
      if (!keepGoing) break;
      AnswerClosedChannels();
    }
    for (ssh_channel channel : channels_) {
      if (!ssh_channel_is_closed(channel)) ssh_channel_close(channel);
      ssh_channel_free(channel);
    }
    channels_.clear();
    if (ssh_is_connected(session_)) ssh_disconnect(session_);
    card_.Log().Write("ssh-closed", {{"client", client_}});
  }

 private:
  // Returns false when the connection should end.
  bool Handle(ssh_message& message) {
    const int type = ssh_message_type(message);
    const int subtype = ssh_message_subtype(message);
    if (type == SSH_REQUEST_AUTH) return HandleAuth(message, subtype);
    if (type == SSH_REQUEST_CHANNEL_OPEN && subtype == SSH_CHANNEL_SESSION && authenticated_) {
      ssh_channel channel = ssh_message_channel_request_open_reply_accept(message);
      if (channel) channels_.push_back(channel);
      return true;
    }
    if (type == SSH_REQUEST_CHANNEL && subtype == SSH_CHANNEL_REQUEST_EXEC && authenticated_ &&
        std::find(channels_.begin(), channels_.end(), ssh_message_channel_request_channel(message)) !=
            channels_.end()) {
      ssh_channel channel = ssh_message_channel_request_channel(message);
      const std::string command = ssh_message_channel_request_command(message);
      ssh_message_channel_request_reply_success(message);
      ssh_message_free(message);
      message = nullptr;
      return Execute(channel, command);
    }
    if (type == SSH_REQUEST_CHANNEL && subtype == SSH_CHANNEL_REQUEST_SUBSYSTEM) {
      card_.Log().Write("ssh-refused", {{"client", client_},
                                        {"request", std::string("subsystem ") +
                                                        ssh_message_channel_request_subsystem(message)}});
    }
    ssh_message_reply_default(message);
    return true;
  }

  bool HandleAuth(ssh_message message, int subtype) {
    if (subtype == SSH_AUTH_METHOD_PASSWORD) {
      const std::string user = ssh_message_auth_user(message);
      const std::string password = ssh_message_auth_password(message);
      const bool ok = card_.CheckLogin(user, password);
      card_.Log().Write("login", {{"client", client_}, {"user", user}, {"ok", ok}});
      if (ok) {
        authenticated_ = true;
        ssh_message_auth_reply_success(message, 0);
        return true;
      }
      if (++failedLogins_ >= kMaxLoginAttempts) return false;
    }
    ssh_message_auth_set_methods(message, SSH_AUTH_METHOD_PASSWORD);
    ssh_message_reply_default(message);
    return true;
  }

  bool Execute(ssh_channel channel, const std::string& command) {
    if (MatchesCommandWord(card_.Config().faults.stallCommands, command)) {
      // Accepted and never answered, like a card whose shell hangs; the rest of the
      // connection goes on (other channels, the client's close of this one).
      card_.Log().Write("exec-stalled", {{"client", client_}, {"command", command}});
      return true;
    }
    bool dropped = false;
    bool restart = false;
    int status = 0;
    {
      SshChannelIo io(channel, card_);  // gone before the channel is freed
      CommandContext context{card_, io, [this, &dropped] {
                               dropped = true;
                               ShutdownSocket(fd_);
                             }};
      status = RunCommand(context, command);
      restart = context.restartAfter;
    }
    card_.Log().Write("exec", {{"client", client_}, {"command", command}, {"exit_status", status}});
    if (dropped) return false;
    ssh_channel_request_send_exit_status(channel, status);
    ssh_channel_send_eof(channel);
    ssh_channel_close(channel);
    channels_.erase(std::remove(channels_.begin(), channels_.end(), channel), channels_.end());
    ssh_channel_free(channel);
    if (restart) card_.RequestRestart();
    return true;
  }

  // libssh does not answer a client's channel close by itself; a client that opens a
  // channel and closes it without running anything (a link probe) waits for that answer.
  void AnswerClosedChannels() {
    for (auto it = channels_.begin(); it != channels_.end();) {
      if (ssh_channel_is_closed(*it)) {
        ssh_channel_close(*it);
        ssh_channel_free(*it);
        it = channels_.erase(it);
      } else {
        ++it;
      }
    }
  }

  Card& card_;
  ssh_session session_;
  int fd_;
  std::string client_;
  bool authenticated_ = false;
  int failedLogins_ = 0;
  std::vector<ssh_channel> channels_;
};

}  // namespace

void ServeSshConnection(Card& card, ssh_bind_struct* bind, int fd, const std::string& client) {
  card.Log().Write("ssh-connect", {{"client", client}});
  if (card.Config().faults.silent) {
    ServeSilently(card, fd, client);
    card.Unregister(fd);
    ::close(fd);
    return;
  }
  ssh_session session = ssh_new();
  if (!session) {
    card.Unregister(fd);
    ::close(fd);
    return;
  }
  if (ssh_bind_accept_fd(bind, session, fd) != SSH_OK) {
    card.Log().Write("ssh-error", {{"client", client}, {"error", ssh_get_error(bind)}});
    const bool owned = ssh_get_fd(session) == fd;
    card.Unregister(fd);
    ssh_free(session);
    if (!owned) ::close(fd);
    return;
  }
  Session(card, session, fd, client).Run();
  // Unregister before the descriptor is closed, so that a drop never hits a reused number.
  card.Unregister(fd);
  ssh_free(session);
}

}  // namespace cardsim
