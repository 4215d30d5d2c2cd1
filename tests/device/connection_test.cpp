// The Connection worker without a card (natively and under Wine): the posting rules of its
// request slot, and its close and stop against a peer that takes the TCP connection and never
// answers, which holds a login for the whole call limit unless the link is interrupted.
#include "device/connection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "base/socket.h"
#include "support/free_port.h"
#include "support/recording_device_sinks.h"

namespace {

using device::Connection;
using device::ConnectionOptions;
using device::ConnectionRequest;

constexpr std::uint32_t kLoopback = 0x7F000001;

TEST(ConnectionSlotTest, PostingRulesWithoutACard) {
  recording::Status status;
  ConnectionOptions options;
  options.passMs = 10;
  for (int code = 0; code <= 12; ++code) {
    // Not started: the slot keeps what is posted.
    Connection connection(&status, nullptr, options);
    const auto request = static_cast<ConnectionRequest>(code);
    // Post takes only the requests without data; the others have their own Post functions.
    const bool plain = request == ConnectionRequest::Close || request == ConnectionRequest::RestartDevice;
    EXPECT_EQ(connection.Post(request), plain) << code;
    if (!plain) {
      EXPECT_TRUE(connection.SlotFree()) << code;
      continue;
    }
    EXPECT_EQ(connection.PendingRequest(), request);
    if (request == ConnectionRequest::RestartDevice) {
      // Busy: every ordinary poster is refused and changes nothing.
      EXPECT_FALSE(connection.Post(ConnectionRequest::RestartDevice));
      EXPECT_FALSE(connection.PostUploadProgram("abc"));
      EXPECT_FALSE(connection.PostChangePassword("nowe"));
      EXPECT_FALSE(connection.PostListArchiveFolders(nullptr, ""));
      EXPECT_EQ(connection.Password(), "");
      EXPECT_EQ(connection.PendingRequest(), request);
    }
    // A close is always taken; the restart posted before it and not started is dropped. One
    // request after the close waits behind it, a second is refused.
    EXPECT_TRUE(connection.Post(ConnectionRequest::Close));
    EXPECT_TRUE(connection.Post(ConnectionRequest::Close));  // the same close
    EXPECT_EQ(connection.PendingRequest(), ConnectionRequest::Close);
    EXPECT_TRUE(connection.PostOpen(kLoopback, "a", "b"));
    EXPECT_FALSE(connection.PostUploadProgram("abc"));
    EXPECT_EQ(connection.PendingRequest(), ConnectionRequest::Close);
    // A later close drops the opening that waits behind the first.
    EXPECT_TRUE(connection.Post(ConnectionRequest::Close));
    EXPECT_TRUE(connection.Post(ConnectionRequest::RestartDevice));
    // The worker frees the slot; while disconnected the requests do nothing.
    connection.Start();
    ASSERT_TRUE(recording::WaitFor([&] { return connection.SlotFree(); }));
    EXPECT_FALSE(connection.IsConnected());
    connection.Stop();
  }
  EXPECT_TRUE(status.Events().empty());  // nothing shown, closing a closed session included
}

// Takes TCP connections and never answers them: an SSH login to it waits in the handshake.
class SilentPeer {
 public:
  SilentPeer() {
    listener_ = net::Socket::Tcp();
    ok_ = network_.Ok() && listener_.Bind(kLoopback, 0) && listener_.Listen(8) && listener_.SetNonBlocking(true);
    port_ = listener_.LocalPort();
    thread_ = std::thread([this] {
      while (!stop_) {
        if (listener_.WaitReadable(50) != 1) continue;
        net::Socket client = listener_.Accept();
        if (!client.Valid()) continue;
        held_.push_back(std::move(client));
        ++accepted_;
      }
    });
  }
  ~SilentPeer() {
    stop_ = true;
    thread_.join();
  }
  bool Ok() const { return ok_; }
  std::uint16_t Port() const { return port_; }
  int Accepted() const { return accepted_.load(); }

 private:
  net::NetworkStartup network_;
  net::Socket listener_;
  bool ok_ = false;
  std::uint16_t port_ = 0;
  std::vector<net::Socket> held_;  // the peer's thread only
  std::atomic<int> accepted_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A close (the user's "Rozłącz"), a stop, and the program's exit (the worker destroyed) while
// the login waits for a card that never answers. The call limit is two minutes: without the
// interruption each of them would wait that long.
TEST(ConnectionInterruptTest, CloseStopAndExitEndALoginToASilentPeer) {
  SilentPeer peer;
  ASSERT_TRUE(peer.Ok());
  enum How { Close, Stop, Destroy };
  for (How how : {Close, Stop, Destroy}) {
    SCOPED_TRACE(how);
    recording::Status status;
    recording::Messages messages;
    ConnectionOptions options;
    options.sshPort = peer.Port();
    options.limits.callTimeoutMs = 120000;
    options.passMs = 600000;  // every step below is woken, never paced
    auto connection = std::make_unique<Connection>(&status, &messages, options);
    connection->Start();
    const int accepted = peer.Accepted();
    ASSERT_TRUE(connection->PostOpen(kLoopback, "serwis", "haslo"));
    ASSERT_TRUE(recording::WaitFor(
        [&] { return peer.Accepted() > accepted && status.Last() == "Negocjowanie sesji..."; }));
    const auto asked = std::chrono::steady_clock::now();
    if (how == Close) {
      ASSERT_TRUE(connection->Post(ConnectionRequest::Close));
      ASSERT_TRUE(recording::WaitFor([&] { return connection->SlotFree(); }, std::chrono::seconds(30)));
    } else if (how == Stop) {
      connection->Stop();
    } else {
      connection.reset();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(3));
    if (how == Close) {
      EXPECT_FALSE(connection->IsConnected());
      EXPECT_EQ(status.Last(), "Nie połączony");
      // The worker goes on: a new request is carried out.
      EXPECT_TRUE(
          recording::RunRequest(*connection, [&] { return connection->Post(ConnectionRequest::RestartDevice); }));
    }
    // The cut login reports in the status bar only.
    EXPECT_TRUE(messages.Errors().empty());
    const auto texts = status.Texts();
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(texts[1], "Negocjowanie sesji...");
    EXPECT_EQ(texts[2], "Nie udało się otworzyć połączenia");
  }
}

}  // namespace
