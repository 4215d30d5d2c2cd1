// A loopback port that nothing listens on right now, for tests that start their own servers.
#pragma once

#include <cstdint>

#include "base/socket.h"

namespace trevna_test {

inline std::uint16_t FreeUdpPort() {
  net::Socket probe = net::Socket::Udp();
  probe.Bind(0x7F000001, 0);
  return probe.LocalPort();
}

inline std::uint16_t FreeLoopbackTcpPort() {
  net::Socket probe = net::Socket::Tcp();
  probe.Bind(0x7F000001, 0);
  return probe.LocalPort();
}

}  // namespace trevna_test
