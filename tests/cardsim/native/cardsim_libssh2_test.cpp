// The simulated card against the SSH library that the program itself uses (libssh2), with
// the program's own call patterns: a link probe that opens a channel and closes it at once,
// commands read in 100-byte pieces, the password prompts, scp_send that ends the channel
// right after the data, and scp_recv.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <libssh2.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "cardsim_test_support.h"
#include "support/cardsim.h"

namespace {

using trevna_test::CardSim;
using trevna_test::CardSimOptions;

class Libssh2Client {
 public:
  // `timeoutMs` bounds each read after the login; the key exchange and the login get 20 s
  // (under sanitizers and load they take more than a second).
  Libssh2Client(const std::string& address, int port, const std::string& user, const std::string& password,
                long timeoutMs = 20000) {
    libssh2_init(0);
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) return;
    session_ = libssh2_session_init();
    libssh2_session_set_timeout(session_, 20000);  // a hang fails the test instead of blocking it
    if (libssh2_session_handshake(session_, fd_) != 0) return;
    loggedIn_ = libssh2_userauth_password(session_, user.c_str(), password.c_str()) == 0;
    libssh2_session_set_timeout(session_, timeoutMs);
  }
  ~Libssh2Client() {
    if (session_) {
      libssh2_session_disconnect(session_, "Shutdown");
      libssh2_session_free(session_);
    }
    close(fd_);
    libssh2_exit();
  }
  bool LoggedIn() const { return loggedIn_; }
  LIBSSH2_SESSION* Session() { return session_; }

  // Runs a command and reads standard output in 100-byte pieces until the end of data;
  // "<timeout>" when a read ran out of time.
  std::string Run(const std::string& command) {
    LIBSSH2_CHANNEL* channel = libssh2_channel_open_session(session_);
    if (!channel) return "<no channel>";
    std::string out;
    if (libssh2_channel_exec(channel, command.c_str()) == 0) {
      char buffer[100];
      for (;;) {
        const ssize_t n = libssh2_channel_read(channel, buffer, sizeof buffer);
        if (n == LIBSSH2_ERROR_TIMEOUT) out = "<timeout>";
        if (n < 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
        // 0: the end (libssh2_channel_eof stays false while unread standard error waits).
        if (n == 0 || libssh2_channel_eof(channel)) break;
      }
    }
    libssh2_channel_close(channel);
    libssh2_channel_free(channel);
    return out;
  }

 private:
  int fd_ = -1;
  LIBSSH2_SESSION* session_ = nullptr;
  bool loggedIn_ = false;
};

TEST(CardSimLibssh2, ProbeCommandsPromptsAndTransfersAsTheProgramMakesThem) {
  CardSimOptions options;
  options.addresses = {"127.0.0.15"};
  CardSim card(options);
  Libssh2Client client(card.Address(), card.SshPort(), "serwis", "trevna22");
  ASSERT_TRUE(client.LoggedIn());

  // Link probe: open, close and free at once, several times; the session stays usable.
  for (int i = 0; i < 3; ++i) {
    LIBSSH2_CHANNEL* channel = libssh2_channel_open_session(client.Session());
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(libssh2_channel_close(channel), 0);
    EXPECT_EQ(libssh2_channel_free(channel), 0);
  }
  const std::string date = client.Run("date -u -Iseconds");
  EXPECT_GE(date.size(), 22u) << date;
  EXPECT_NE(client.Run("/vemo/ipconfig --show").find("ipaddr = 127.0.0.15"), std::string::npos);

  // Password change as the program drives it.
  {
    LIBSSH2_CHANNEL* channel = libssh2_channel_open_session(client.Session());
    ASSERT_NE(channel, nullptr);
    ASSERT_EQ(libssh2_channel_exec(channel, "/vemo/chpass serwis"), 0);
    auto readUntil = [&](const std::string& marker) {
      std::string text;
      char buffer[100];
      while (text.find(marker) == std::string::npos) {
        const ssize_t n = libssh2_channel_read(channel, buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
      }
      return text.find(marker) != std::string::npos;
    };
    EXPECT_TRUE(readUntil("New password:"));
    libssh2_channel_write(channel, "haslo2\n", 7);
    EXPECT_TRUE(readUntil("Retype password:"));
    libssh2_channel_write(channel, "haslo2\n", 7);
    char buffer[100];
    libssh2_channel_read(channel, buffer, sizeof buffer);
    libssh2_channel_close(channel);
    libssh2_channel_free(channel);
  }
  EXPECT_EQ(card.Events("password").back()["changed"], true);

  // Program upload: scp_send with mode 0777, the data, then close (no closing zero byte).
  const std::string program = cardsim_test::ProgramFile({{0, 1, cardsim_test::RectangleMask(1, 1, 9, 9)}});
  {
    LIBSSH2_CHANNEL* channel =
        libssh2_scp_send(client.Session(), "/etc/vemo/program.doz", 0777, static_cast<size_t>(program.size()));
    ASSERT_NE(channel, nullptr);
    std::size_t sent = 0;
    while (sent < program.size()) {
      const ssize_t n = libssh2_channel_write(channel, program.data() + sent, program.size() - sent);
      ASSERT_GT(n, 0);
      sent += static_cast<std::size_t>(n);
    }
    // Waiting for the card's end of data tells that the file is written.
    EXPECT_EQ(libssh2_channel_send_eof(channel), 0);
    EXPECT_EQ(libssh2_channel_wait_eof(channel), 0);
    EXPECT_EQ(cardsim_test::ReadBytes(card.CardFolder() / "program.doz"), program);
    EXPECT_EQ(libssh2_channel_close(channel), 0);
    libssh2_channel_free(channel);
  }
  {
    libssh2_struct_stat info{};
    LIBSSH2_CHANNEL* channel = libssh2_scp_recv2(client.Session(), "/etc/vemo/program.doz", &info);
    ASSERT_NE(channel, nullptr);
    ASSERT_EQ(static_cast<std::size_t>(info.st_size), program.size());
    std::string back;
    char buffer[4096];
    while (back.size() < program.size()) {
      const ssize_t n = libssh2_channel_read(channel, buffer, std::min(sizeof buffer, program.size() - back.size()));
      ASSERT_GT(n, 0);
      back.append(buffer, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(back, program);
    libssh2_channel_close(channel);
    libssh2_channel_free(channel);
  }
  // The session still answers after everything above.
  EXPECT_GE(client.Run("date -u -Iseconds").size(), 22u);
  EXPECT_EQ(client.Run("sync && /vemo/restart"), "");
}

// The "stall-command" fault: the matching commands are accepted and never answered, by word or
// by the last part of a path; the others, and the session around them, go on as usual.
TEST(CardSimLibssh2, StalledCommandsAreAcceptedButNeverAnswered) {
  CardSimOptions options;
  options.addresses = {"127.0.0.16"};
  options.faults = {"stall-command=ls", "stall-command=chpass"};
  CardSim card(options);
  Libssh2Client client(card.Address(), card.SshPort(), "serwis", "trevna22", 1000);
  ASSERT_TRUE(client.LoggedIn());
  const std::vector<std::pair<std::string, bool>> rows = {
      {"ls -p /mnt/usbdrive", true},  {"/vemo/chpass serwis", true}, {"date -u -Iseconds", false},
      {"lsx", false},                 {"/vemo/setdate 'x'", false},  {"ls -p /mnt/usbdrive/2026-01-01/", true},
  };
  for (const auto& [command, stalls] : rows) {
    SCOPED_TRACE(command);
    const std::string out = client.Run(command);
    EXPECT_EQ(out == "<timeout>", stalls) << out;
  }
  const auto stalled = card.Events("exec-stalled");
  ASSERT_EQ(stalled.size(), 3u);
  EXPECT_EQ(stalled[0]["command"], "ls -p /mnt/usbdrive");
  EXPECT_EQ(stalled[1]["command"], "/vemo/chpass serwis");
  EXPECT_EQ(card.Events("password").size(), 0u);
}

// The "trickle" fault: SCP data moves at most N bytes a second both ways, and a trickling
// transfer ends as soon as its client closes the channel, though the rest of the file would
// take minutes.
TEST(CardSimLibssh2, TrickledTransfersAreSlowAndEndWhenTheClientCloses) {
  CardSimOptions options;
  options.addresses = {"127.0.0.17"};
  options.faults = {"trickle=1000"};
  CardSim card(options);
  const std::string big(1000000, 'x');  // 1000 s at 1000 bytes a second
  cardsim_test::WriteBytes(card.CardFolder() / "usbdrive" / "big.avi", big);
  Libssh2Client client(card.Address(), card.SshPort(), "serwis", "trevna22");
  ASSERT_TRUE(client.LoggedIn());

  const auto start = std::chrono::steady_clock::now();
  libssh2_struct_stat info{};
  LIBSSH2_CHANNEL* channel = libssh2_scp_recv2(client.Session(), "/mnt/usbdrive/big.avi", &info);
  ASSERT_NE(channel, nullptr);
  // Pieces of 100 bytes, the k-th one not before k tenths of a second: 3000 bytes take 2.9 s
  // at least (however loaded the machine, never less).
  std::size_t got = 0;
  char buffer[4096];
  while (got < 3000) {
    const ssize_t n = libssh2_channel_read(channel, buffer, sizeof buffer);
    ASSERT_GT(n, 0);
    got += static_cast<std::size_t>(n);
  }
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
  // The close is answered (within the client's 20 s) and the card gives up the transfer.
  EXPECT_EQ(libssh2_channel_close(channel), 0);
  libssh2_channel_free(channel);
  const auto download = card.WaitForLog([](const nlohmann::json& e) { return e["event"] == "scp-download"; }, 20000);
  ASSERT_TRUE(download.is_object());
  EXPECT_EQ(download["ok"], false);
  EXPECT_LT(download["sent"].get<std::size_t>(), big.size());

  // Upload: a window's worth of data (a minute at this rate) waits in the card's buffers while
  // the card takes it slowly; the client's close ends the sink all the same.
  channel = libssh2_scp_send(client.Session(), "/mnt/usbdrive/up.avi", 0644, big.size());
  ASSERT_NE(channel, nullptr);
  ASSERT_GT(libssh2_channel_write(channel, big.data(), 60000), 0);
  EXPECT_EQ(libssh2_channel_close(channel), 0);
  libssh2_channel_free(channel);
  const auto upload = card.WaitForLog([](const nlohmann::json& e) { return e["event"] == "scp-upload"; }, 20000);
  ASSERT_TRUE(upload.is_object());
  EXPECT_EQ(upload["ok"], false);
  EXPECT_LT(upload["received"].get<std::size_t>(), big.size());
  // The session goes on.
  EXPECT_GE(client.Run("date -u -Iseconds").size(), 22u);
}

// A client that is slow to take a download (its disk is busy) leaves the card's writes waiting
// on a full window for longer than the card's poll time; the card waits for it and the file
// comes whole. A client that closes the channel instead ends the waiting transfer at once.
TEST(CardSimLibssh2, DownloadsWaitForASlowClientAndEndWhenItCloses) {
  CardSimOptions options;
  options.addresses = {"127.0.0.18"};
  CardSim card(options);
  std::string recording(8 << 20, '\0');  // four times the client's window
  for (std::size_t i = 0; i < recording.size(); ++i) recording[i] = static_cast<char>(i * 7 + i / 4096);
  cardsim_test::WriteBytes(card.CardFolder() / "usbdrive" / "slow.avi", recording);
  Libssh2Client client(card.Address(), card.SshPort(), "serwis", "trevna22");
  ASSERT_TRUE(client.LoggedIn());

  libssh2_struct_stat info{};
  LIBSSH2_CHANNEL* channel = libssh2_scp_recv2(client.Session(), "/mnt/usbdrive/slow.avi", &info);
  ASSERT_NE(channel, nullptr);
  ASSERT_EQ(static_cast<std::size_t>(info.st_size), recording.size());
  // The slow client: nothing read for two seconds, ten times the card's poll time.
  std::this_thread::sleep_for(std::chrono::seconds(2));
  std::string back;
  std::vector<char> buffer(65536);
  while (back.size() < recording.size()) {
    const ssize_t n =
        libssh2_channel_read(channel, buffer.data(), std::min(buffer.size(), recording.size() - back.size()));
    ASSERT_GT(n, 0) << "after " << back.size() << " bytes";
    back.append(buffer.data(), static_cast<std::size_t>(n));
  }
  EXPECT_TRUE(back == recording);
  char status = 1;
  EXPECT_EQ(libssh2_channel_read(channel, &status, 1), 1);
  EXPECT_EQ(status, 0);
  libssh2_channel_write(channel, "", 1);
  libssh2_channel_close(channel);
  libssh2_channel_free(channel);
  const auto whole = card.WaitForLog([](const nlohmann::json& e) { return e["event"] == "scp-download"; }, 20000);
  ASSERT_TRUE(whole.is_object());
  EXPECT_EQ(whole["ok"], true);

  // Nothing read, then the close: answered within the client's 20 s, where a card that waited
  // out a silent client would take minutes.
  channel = libssh2_scp_recv2(client.Session(), "/mnt/usbdrive/slow.avi", &info);
  ASSERT_NE(channel, nullptr);
  EXPECT_EQ(libssh2_channel_close(channel), 0);
  libssh2_channel_free(channel);
  const auto cut = card.WaitForLog(
      [](const nlohmann::json& e) { return e["event"] == "scp-download" && e["ok"] == false; }, 20000);
  ASSERT_TRUE(cut.is_object());
  EXPECT_LT(cut["sent"].get<std::size_t>(), recording.size());
  EXPECT_GE(client.Run("date -u -Iseconds").size(), 22u);
}

}  // namespace
