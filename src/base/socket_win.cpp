#include <winsock2.h>
#include <ws2tcpip.h>

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

int WaitFor(SOCKET s, bool write, int timeoutMs) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  fd_set error;
  FD_ZERO(&error);
  FD_SET(s, &error);
  timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  const int rc = ::select(0, write ? nullptr : &set, write ? &set : nullptr, &error, timeoutMs < 0 ? nullptr : &tv);
  if (rc == SOCKET_ERROR) return -1;
  if (rc == 0) return 0;
  if (FD_ISSET(s, &error) && !FD_ISSET(s, &set)) return -1;
  return 1;
}

}  // namespace

NetworkStartup::NetworkStartup() {
  WSADATA data;
  ok_ = ::WSAStartup(MAKEWORD(2, 0), &data) == 0;
}

NetworkStartup::~NetworkStartup() {
  if (ok_) ::WSACleanup();
}

Socket Socket::Tcp() { return Socket(static_cast<NativeSocket>(::socket(AF_INET, SOCK_STREAM, 0))); }
Socket Socket::Udp() { return Socket(static_cast<NativeSocket>(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP))); }

void Socket::Close() {
  if (handle_ != kInvalidSocket) {
    ::closesocket(static_cast<SOCKET>(handle_));
    handle_ = kInvalidSocket;
  }
}

bool Socket::SetNonBlocking(bool on) {
  u_long value = on ? 1 : 0;
  return ::ioctlsocket(static_cast<SOCKET>(handle_), FIONBIO, &value) == 0;
}

bool Socket::Connect(std::uint32_t address, std::uint16_t port, int timeoutMs, const std::function<bool()>& stop) {
  if (!Valid() || !SetNonBlocking(true)) return false;
  const sockaddr_in sa = MakeAddress(address, port);
  const SOCKET s = static_cast<SOCKET>(handle_);
  if (::connect(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return false;
    const auto writable = [&](int slice) { return WaitFor(s, true, slice); };
    if (!detail::WaitInSlices(writable, timeoutMs, stop)) return false;
    int error = 0;
    int length = sizeof error;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0 || error != 0) {
      return false;
    }
  }
  return SetNonBlocking(false);
}

bool Socket::SetReuseAddress() {
  const BOOL on = TRUE;
  return ::setsockopt(static_cast<SOCKET>(handle_), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on),
                      sizeof on) == 0;
}

bool Socket::SetBroadcast() {
  const BOOL on = TRUE;
  return ::setsockopt(static_cast<SOCKET>(handle_), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on),
                      sizeof on) == 0;
}

bool Socket::Bind(std::uint32_t address, std::uint16_t port) {
  const sockaddr_in sa = MakeAddress(address, port);
  return ::bind(static_cast<SOCKET>(handle_), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
}

bool Socket::Listen(int backlog) { return ::listen(static_cast<SOCKET>(handle_), backlog) == 0; }

Socket Socket::Accept() {
  return Socket(static_cast<NativeSocket>(::accept(static_cast<SOCKET>(handle_), nullptr, nullptr)));
}

std::uint16_t Socket::LocalPort() const {
  sockaddr_in sa{};
  int length = sizeof sa;
  if (::getsockname(static_cast<SOCKET>(handle_), reinterpret_cast<sockaddr*>(&sa), &length) != 0) return 0;
  return ntohs(sa.sin_port);
}

long Socket::Receive(void* data, std::size_t size) {
  const int n = ::recv(static_cast<SOCKET>(handle_), static_cast<char*>(data), static_cast<int>(size), 0);
  return n == SOCKET_ERROR ? -1 : n;
}

long Socket::Send(const void* data, std::size_t size) {
  const int n = ::send(static_cast<SOCKET>(handle_), static_cast<const char*>(data), static_cast<int>(size), 0);
  return n == SOCKET_ERROR ? -1 : n;
}

long Socket::ReceiveFrom(void* data, std::size_t size, std::uint32_t* senderAddress) {
  sockaddr_in sa{};
  int length = sizeof sa;
  const int n = ::recvfrom(static_cast<SOCKET>(handle_), static_cast<char*>(data), static_cast<int>(size), 0,
                           reinterpret_cast<sockaddr*>(&sa), &length);
  if (n == SOCKET_ERROR) return -1;
  if (senderAddress) *senderAddress = ntohl(sa.sin_addr.s_addr);
  return n;
}

long Socket::SendTo(const void* data, std::size_t size, std::uint32_t address, std::uint16_t port) {
  const sockaddr_in sa = MakeAddress(address, port);
  const int n = ::sendto(static_cast<SOCKET>(handle_), static_cast<const char*>(data), static_cast<int>(size), 0,
                         reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
  return n == SOCKET_ERROR ? -1 : n;
}

int Socket::WaitReadable(int timeoutMs) const { return WaitFor(static_cast<SOCKET>(handle_), false, timeoutMs); }
int Socket::WaitWritable(int timeoutMs) const { return WaitFor(static_cast<SOCKET>(handle_), true, timeoutMs); }

void Socket::ShutdownBoth() {
  if (Valid()) ::shutdown(static_cast<SOCKET>(handle_), SD_BOTH);
}

void Socket::Interrupt() {
  if (!Valid()) return;
  ::shutdown(static_cast<SOCKET>(handle_), SD_BOTH);
  // A select that already waits for this socket in another thread does not see the shutdown;
  // cancelling the socket's pending operations ends it.
  ::CancelIoEx(reinterpret_cast<HANDLE>(handle_), nullptr);
}

bool LastErrorWouldBlock() { return ::WSAGetLastError() == WSAEWOULDBLOCK; }

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
