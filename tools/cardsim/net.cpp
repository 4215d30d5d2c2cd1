#include "net.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace cardsim {

void Fd::Reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

bool ParseIpv4(const std::string& text, std::uint32_t* networkOrder) {
  in_addr addr{};
  if (inet_pton(AF_INET, text.c_str(), &addr) != 1) return false;
  *networkOrder = addr.s_addr;
  return true;
}

Fd ListenTcp(const std::string& address, int port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<std::uint16_t>(port));
  if (!ParseIpv4(address, &sa.sin_addr.s_addr)) throw std::runtime_error("not an IPv4 address: " + address);
  Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.Valid()) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  const int one = 1;
  ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    throw std::runtime_error("bind " + address + ":" + std::to_string(port) + ": " + std::strerror(errno));
  }
  if (::listen(fd.Get(), 16) != 0) throw std::runtime_error(std::string("listen: ") + std::strerror(errno));
  return fd;
}

int LocalPort(int fd) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return -1;
  return ntohs(sa.sin_port);
}

bool WaitReadable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  for (;;) {
    const int r = ::poll(&p, 1, timeoutMs);
    if (r < 0 && errno == EINTR) continue;
    return r > 0;
  }
}

bool SendAll(int fd, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool ReceiveExact(int fd, void* data, std::size_t size, int timeoutMs) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    if (!WaitReadable(fd, timeoutMs)) return false;
    const ssize_t n = ::recv(fd, p, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

void ShutdownSocket(int fd) { ::shutdown(fd, SHUT_RDWR); }

}  // namespace cardsim
