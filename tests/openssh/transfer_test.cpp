// The device engine's transfers against real SSH servers, OpenSSH's sshd and dropbear (which
// many cards run), natively and under Wine: the sequences that failed now and then on a loaded
// machine, and a program upload whose link is cut half-way. ctest starts both servers around
// this program (tests/openssh/sshd-fixture.sh, dropbear-fixture.sh); files live in each
// server's upload folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/socket.h"
#include "base/text.h"
#include "device/device_operations.h"
#include "device/local_files.h"
#include "device/ssh_session.h"
#include "openssh/ssh_servers.h"
#include "openssh/transfer_sequences.h"
#include "support/recording_device_sinks.h"

namespace {

using ssh_servers::SshServer;

// A loopback relay between the client and a server that passes everything until it is armed:
// then the client's next `bytes` bytes toward the server pass and the link is cut both ways, as
// a cable pulled in the middle of an upload.
class LinkCutter {
 public:
  LinkCutter(std::uint32_t address, std::uint16_t port) : address_(address), port_(port) {
    listener_ = net::Socket::Tcp();
    if (!listener_.Bind(0x7F000001, 0) || !listener_.Listen(1)) throw std::runtime_error("relay: no listening socket");
    thread_ = std::thread([this] { Run(); });
  }
  ~LinkCutter() {
    stop_ = true;
    thread_.join();
  }
  LinkCutter(const LinkCutter&) = delete;
  LinkCutter& operator=(const LinkCutter&) = delete;

  std::uint16_t Port() const { return listener_.LocalPort(); }
  void CutAfter(std::size_t bytes) {
    remaining_ = bytes;
    armed_ = true;
  }
  bool WasCut() const { return cut_; }

 private:
  void Run() {
    while (!stop_ && listener_.WaitReadable(50) <= 0) {
    }
    if (stop_) return;
    net::Socket client = listener_.Accept();
    net::Socket server = net::Socket::Tcp();
    if (!client.Valid() || !server.Connect(address_, port_, 10000)) return;
    char buffer[16384];
    while (!stop_) {
      if (client.WaitReadable(10) > 0) {
        const std::size_t want = armed_ ? std::min(sizeof buffer, remaining_.load()) : sizeof buffer;
        const long n = client.Receive(buffer, want);
        if (n <= 0 || !SendAll(server, buffer, static_cast<std::size_t>(n))) break;
        if (armed_ && (remaining_ -= static_cast<std::size_t>(n)) == 0) {
          cut_ = true;
          break;
        }
      }
      if (server.WaitReadable(10) > 0) {
        const long n = server.Receive(buffer, sizeof buffer);
        if (n <= 0 || !SendAll(client, buffer, static_cast<std::size_t>(n))) break;
      }
    }
    client.ShutdownBoth();
    server.ShutdownBoth();
  }
  static bool SendAll(net::Socket& socket, const char* data, std::size_t size) {
    while (size > 0) {
      const long n = socket.Send(data, size);
      if (n <= 0) return false;
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }

  net::NetworkStartup network_;
  std::uint32_t address_;
  std::uint16_t port_;
  net::Socket listener_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> armed_{false};
  std::atomic<std::size_t> remaining_{0};
  std::atomic<bool> cut_{false};
  std::thread thread_;
};

struct ServerRow {
  const char* name;
  const char* variable;  // names the fixture's info file
};
void PrintTo(const ServerRow& row, std::ostream* out) { *out << row.name; }

class RealServer : public testing::TestWithParam<ServerRow> {
 protected:
  void SetUp() override {
    if (!ssh_servers::ReadServer(GetParam().variable, &server_)) {
      GTEST_SKIP() << "needs the " << GetParam().name << " fixture: run through ctest (openssh_tests)";
    }
  }

  // A failing step must not hold the test for the default 30 s.
  static device::SshLimits Limits() {
    device::SshLimits limits;
    limits.callTimeoutMs = 10000;
    return limits;
  }

  void Open(device::SshSession& session, std::uint16_t port = 0) const {
    session.Open(server_.address, port ? port : server_.port, server_.user, server_.password, Limits(), nullptr);
  }

  transfer_sequences::Card Card() const {
    transfer_sequences::Card card;
    const std::string folder = server_.upload;
    card.put = [folder](const std::string& name, const std::string& bytes) {
      ssh_servers::WriteFile(folder + "/" + name, bytes);
    };
    card.path = [folder](const std::string& name) { return folder + "/" + name; };
    // Each prints when it is about to end, after its channel was closed.
    card.closedEarly = {"sleep 0.05; echo done", "sleep 0.02; echo done", "sleep 0.1; echo done"};
    card.command = "echo next";
    card.output = "next\n";
    return card;
  }

  SshServer server_;
};

// Each sequence five times over on a session of its own: against dropbear, one of the first
// two rounds failed nearly every time while a closed channel was freed before the card had
// closed its end.
TEST_P(RealServer, TransferSequencesRepeatedOnOneSession) {
  const transfer_sequences::Card card = Card();
  transfer_sequences::PutSequenceFiles(card);
  const std::pair<const char*, void (*)(device::SshSession&, const transfer_sequences::Card&)> sequences[] = {
      {"a file, an empty file, a file", transfer_sequences::FileEmptyFile},
      {"a command closed early, then a command", transfer_sequences::CommandClosedEarlyThenCommand},
  };
  for (const auto& [name, sequence] : sequences) {
    SCOPED_TRACE(name);
    device::SshSession session;
    ASSERT_NO_THROW(Open(session));
    // A failed round leaves the session unusable; the next sequence starts afresh.
    const auto failures = [] {
      return testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
    };
    const int before = failures();
    for (int round = 0; round < 5 && failures() == before; ++round) {
      SCOPED_TRACE("round " + std::to_string(round));
      sequence(session, card);
    }
  }
}

// The program upload through the device operation, with the card's paths in the server's
// folder: a whole upload replaces the program; a link cut half-way, or a rename that fails,
// leaves the previous program byte for byte and asks for no restart. The servers' scp writes
// in place, so an upload straight onto the program would leave the new program's first half
// over the old one's tail.
TEST_P(RealServer, ProgramUploadReplacesTheProgramWholeOrNotAtAll) {
  const std::string previous = transfer_sequences::Pattern(400000, 3);
  const std::string next = transfer_sequences::Pattern(300000, 4);
  const device::ProgramPaths paths{server_.upload + "/program.doz", server_.upload + "/program.doz.new"};
  struct Row {
    const char* what;
    std::size_t cutAfter;  // client bytes passed once the login is done; 0: no cut
    device::ProgramPaths paths;
    bool replaced;
  } rows[] = {
      {"whole upload", 0, paths, true},
      {"link cut half-way", 150000, paths, false},
      {"rename fails", 0, {server_.upload + "/no-such-folder/program.doz", paths.incoming}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ssh_servers::WriteFile(paths.program, previous);
    std::filesystem::remove(paths.incoming);
    LinkCutter relay(server_.address, server_.port);
    device::SshSession session;
    ASSERT_NO_THROW(Open(session, relay.Port()));
    if (row.cutAfter) relay.CutAfter(row.cutAfter);
    recording::Status status;
    device::OperationContext ctx{session, status, device::RealFiles(), {}};
    ctx.timing.sleep = [](unsigned) {};
    std::string error;
    try {
      device::UploadProgram(ctx, next, row.paths);
    } catch (const std::exception& e) {
      error = Utf8FromCp1250(e.what());
    }
    EXPECT_EQ(relay.WasCut(), row.cutAfter != 0);
    if (row.replaced) {
      EXPECT_EQ(error, "");
      EXPECT_TRUE(ssh_servers::ReadFile(paths.program) == next);
      EXPECT_FALSE(std::filesystem::exists(paths.incoming));
      EXPECT_EQ(status.Last(), "Plik pomyślnie wysłany");
    } else {
      EXPECT_EQ(error, "Nie powiodło się wysłanie pliku.");
      EXPECT_TRUE(ssh_servers::ReadFile(paths.program) == previous) << "the previous program is not intact";
      // The restart step was never reached.
      EXPECT_EQ(status.Texts(), (std::vector<std::string>{"Wysyłanie pliku...", "Nie udało się wysłać pliku"}));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServer,
                         testing::Values(ServerRow{"sshd", "TREVNA_SSHD_INFO"},
                                         ServerRow{"dropbear", "TREVNA_DROPBEAR_INFO"}),
                         [](const testing::TestParamInfo<ServerRow>& info) { return std::string(info.param.name); });

}  // namespace
