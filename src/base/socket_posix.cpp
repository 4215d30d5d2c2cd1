#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "base/socket.h"

namespace net {

namespace {

sockaddr_in MakeAddress(std::uint32_t address, std::uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(address);
  return sa;
}

int WaitFor(int fd, short events, int timeoutMs) {
  pollfd p{fd, events, 0};
  int rc;
  do {
    rc = ::poll(&p, 1, timeoutMs);
  } while (rc < 0 && errno == EINTR);
  if (rc < 0) return -1;
  if (rc == 0) return 0;
  return 1;
}

}  // namespace

NetworkStartup::NetworkStartup() {
  // libssh2 and our own sends may write to a connection the card has dropped; that must be
  // an error return, not a signal that ends the program.
  std::signal(SIGPIPE, SIG_IGN);
  ok_ = true;
}

NetworkStartup::~NetworkStartup() = default;

Socket Socket::Tcp() { return Socket(::socket(AF_INET, SOCK_STREAM, 0)); }
Socket Socket::Udp() { return Socket(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)); }

void Socket::Close() {
  if (handle_ != kInvalidSocket) {
    ::close(handle_);
    handle_ = kInvalidSocket;
  }
}

bool Socket::SetNonBlocking(bool on) {
  const int flags = ::fcntl(handle_, F_GETFL, 0);
  if (flags < 0) return false;
  return ::fcntl(handle_, F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK)) == 0;
}

bool Socket::Connect(std::uint32_t address, std::uint16_t port, int timeoutMs, const std::function<bool()>& stop) {
  if (!Valid() || !SetNonBlocking(true)) return false;
  const sockaddr_in sa = MakeAddress(address, port);
  int rc = ::connect(handle_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
  if (rc != 0) {
    if (errno != EINPROGRESS) return false;
    const auto writable = [&](int slice) { return WaitFor(handle_, POLLOUT, slice); };
    if (!detail::WaitInSlices(writable, timeoutMs, stop)) return false;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(handle_, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) return false;
  }
  return SetNonBlocking(false);
}

bool Socket::SetReuseAddress() {
  const int on = 1;
  return ::setsockopt(handle_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
}

bool Socket::SetBroadcast() {
  const int on = 1;
  return ::setsockopt(handle_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0;
}

bool Socket::Bind(std::uint32_t address, std::uint16_t port) {
  const sockaddr_in sa = MakeAddress(address, port);
  return ::bind(handle_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
}

bool Socket::Listen(int backlog) { return ::listen(handle_, backlog) == 0; }

Socket Socket::Accept() { return Socket(::accept(handle_, nullptr, nullptr)); }

std::uint16_t Socket::LocalPort() const {
  sockaddr_in sa{};
  socklen_t length = sizeof sa;
  if (::getsockname(handle_, reinterpret_cast<sockaddr*>(&sa), &length) != 0) return 0;
  return ntohs(sa.sin_port);
}

long Socket::Receive(void* data, std::size_t size) {
  ssize_t n;
  do {
    n = ::recv(handle_, data, size, 0);
  } while (n < 0 && errno == EINTR);
  return static_cast<long>(n);
}

long Socket::Send(const void* data, std::size_t size) {
  ssize_t n;
  do {
    n = ::send(handle_, data, size, MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return static_cast<long>(n);
}

long Socket::ReceiveFrom(void* data, std::size_t size, std::uint32_t* senderAddress) {
  sockaddr_in sa{};
  socklen_t length = sizeof sa;
  const ssize_t n = ::recvfrom(handle_, data, size, 0, reinterpret_cast<sockaddr*>(&sa), &length);
  if (n >= 0 && senderAddress) *senderAddress = ntohl(sa.sin_addr.s_addr);
  return static_cast<long>(n);
}

long Socket::SendTo(const void* data, std::size_t size, std::uint32_t address, std::uint16_t port) {
  const sockaddr_in sa = MakeAddress(address, port);
  return static_cast<long>(
      ::sendto(handle_, data, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&sa), sizeof sa));
}

int Socket::WaitReadable(int timeoutMs) const { return WaitFor(handle_, POLLIN, timeoutMs); }
int Socket::WaitWritable(int timeoutMs) const { return WaitFor(handle_, POLLOUT, timeoutMs); }

void Socket::ShutdownBoth() {
  if (Valid()) ::shutdown(handle_, SHUT_RDWR);
}

void Socket::Interrupt() { ShutdownBoth(); }

bool LastErrorWouldBlock() { return errno == EWOULDBLOCK || errno == EAGAIN; }

bool ResolveIPv4(const std::string& host, std::uint32_t* address) {
  if (ParseDottedAddress(host, address)) return true;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || !result) return false;
  *address = ntohl(reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr.s_addr);
  ::freeaddrinfo(result);
  return true;
}

}  // namespace net
