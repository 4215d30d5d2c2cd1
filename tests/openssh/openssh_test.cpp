// The device engine's SSH client (SshSession on the libssh2 that ships) against Debian's OpenSSH
// server on loopback: key exchange, password login and SCP, natively and under Wine. ctest
// starts the server around this program (fixture "sshd", tests/openssh/sshd-fixture.sh) and
// names its info file in TREVNA_SSHD_INFO; the server's DEBUG3 log shows what the client
// proposed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "base/socket.h"
#include "base/text.h"
#include "device/known_cards.h"
#include "device/ssh_session.h"
#include "openssh/ssh_servers.h"

namespace {

using Sshd = ssh_servers::SshServer;
using ssh_servers::ReadFile;

class OpenSshTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!ssh_servers::ReadServer("TREVNA_SSHD_INFO", &sshd_)) {
      GTEST_SKIP() << "needs the sshd fixture: run through ctest (openssh_tests)";
    }
    logStart_ = std::filesystem::file_size(sshd_.log);
  }

  // The server's log since this test began, once it holds `needle` (waits up to 20 s: the
  // server writes its log in its own time).
  std::string LogOnceItHas(const std::string& needle) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::string text;
    do {
      text = ReadFile(sshd_.log).substr(logStart_);
      if (text.find(needle) != std::string::npos) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < deadline);
    return text;
  }

  void Open(device::SshSession& session, const std::string& password) const {
    session.Open(sshd_.address, sshd_.port, sshd_.user, password, device::SshLimits{}, nullptr);
  }

  Sshd sshd_;
  std::uintmax_t logStart_ = 0;
};

// The line of the server's log that follows `heading` and starts with `label`.
std::string LineAfter(const std::string& log, const std::string& heading, const std::string& label) {
  const auto at = log.find(heading);
  if (at == std::string::npos) return "";
  const auto line = log.find(label, at);
  if (line == std::string::npos) return "";
  return log.substr(line, log.find('\n', line) - line);
}

TEST_F(OpenSshTest, KeyExchangeIsStrictAndTheRsaHostKeyIsCheckedWithSha2) {
  device::SshSession session;
  ASSERT_NO_THROW(Open(session, sshd_.password));
  EXPECT_TRUE(session.IsOpen());

  const std::string log = LogOnceItHas("Accepted password for " + sshd_.user);
  const std::string proposal = LineAfter(log, "peer client KEXINIT proposal", "KEX algorithms:");
  ASSERT_FALSE(proposal.empty()) << log;
  // The Terrapin counter-measure of libssh2 1.11: the client asks for strict key exchange...
  EXPECT_NE(proposal.find("kex-strict-c-v00@openssh.com"), std::string::npos) << proposal;
  // ...and, as the server offers it too, both sides use it.
  EXPECT_NE(log.find("will use strict KEX ordering"), std::string::npos) << log;
  // The server has only an RSA host key and, like every current OpenSSH, refuses SHA-1
  // signatures: the session stands because the client knows rsa-sha2.
  EXPECT_NE(log.find("kex: host key algorithm: rsa-sha2-"), std::string::npos) << log;
  EXPECT_NE(log.find("Accepted password for " + sshd_.user), std::string::npos) << log;
  session.TearDown();
  EXPECT_FALSE(session.IsOpen());
}

TEST_F(OpenSshTest, WrongPasswordFailsTheLoginStep) {
  device::SshSession session;
  try {
    Open(session, sshd_.password + "x");
    FAIL() << "the login with a wrong password succeeded";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(e.what(), Cp1250FromUtf8("Nie powiodło się uwierzytelnienie użytkownika."));
  }
  EXPECT_FALSE(session.IsOpen());
  const std::string log = LogOnceItHas("Failed password for " + sshd_.user);
  EXPECT_NE(log.find("Failed password for " + sshd_.user), std::string::npos) << log;
  EXPECT_EQ(log.find("Accepted password"), std::string::npos) << log;
}

TEST_F(OpenSshTest, ScpUploadArrivesWholeAndFetchesBack) {
  // Every byte value, and more than one SCP window's worth.
  std::string data(300 * 1024 + 17, '\0');
  std::uint32_t state = 12345;
  for (char& c : data) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  const std::string remote = sshd_.upload + "/program.doz";

  device::SshSession session;
  ASSERT_NO_THROW(Open(session, sshd_.password));
  std::vector<int> progress;
  ASSERT_NO_THROW(session.Send(remote, data, [&](int p) { progress.push_back(p); }));
  // Send returns once the server has the whole file.
  EXPECT_EQ(ReadFile(remote), data);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), 25);

  std::string back;
  std::uint64_t size = 0;
  ASSERT_NO_THROW(size = session.Fetch(remote, [&](const char* bytes, std::size_t n) { back.append(bytes, n); },
                                       [](int) {}));
  EXPECT_EQ(size, data.size());
  EXPECT_EQ(back, data);
}

TEST_F(OpenSshTest, HostKeyIsRememberedAsOpenSshShowsItAndAChangedOneGetsNoPassword) {
  const std::string known = device::DefaultKnownCardsPath();  // this test's own file
  const std::string card = device::KnownCardName(sshd_.address, sshd_.port);
  {
    device::SshSession session;
    ASSERT_NO_THROW(Open(session, sshd_.password));
  }
  const auto stored = device::KnownCards(known).Find(card);
  ASSERT_TRUE(stored);
  EXPECT_EQ(*stored, sshd_.fingerprint);

  // The server as if its keys were made again: the remembered key is another one.
  const std::string other = "SHA256:" + std::string(43, 'A');
  device::KnownCards(known).Remember(card, other);
  logStart_ = std::filesystem::file_size(sshd_.log);
  device::SshSession session;
  try {
    Open(session, sshd_.password);
    FAIL() << "a login to a server with another key went on";
  } catch (const device::HostKeyChanged& e) {
    EXPECT_EQ(e.stored, other);
    EXPECT_EQ(e.offered, sshd_.fingerprint);
  }
  EXPECT_FALSE(session.IsOpen());
  // The server saw the key exchange end and no password.
  const std::string log = LogOnceItHas("Received disconnect");
  EXPECT_NE(log.find("Received disconnect"), std::string::npos) << log;
  EXPECT_EQ(log.find("password for"), std::string::npos) << log;
  EXPECT_EQ(device::KnownCards(known).Find(card), other);
}

}  // namespace
