// Minimal portable sockets for the device code: TCP and UDP over IPv4, with bounded waits.
// socket_posix.cpp holds the BSD implementation, socket_win.cpp the Winsock one.
//
// IPv4 addresses are passed as 32-bit numbers with the first octet in the most significant
// byte (10.0.0.7 is 0x0A000007), the same form the network dialog uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace net {

#if defined(_WIN32)
using NativeSocket = std::uintptr_t;  // SOCKET
constexpr NativeSocket kInvalidSocket = ~static_cast<NativeSocket>(0);
#else
using NativeSocket = int;
constexpr NativeSocket kInvalidSocket = -1;
#endif

// Keeps the socket library started while it lives (WSAStartup 2.0 / WSACleanup on Windows;
// natively it makes sure a write to a dropped connection fails instead of raising SIGPIPE).
class NetworkStartup {
 public:
  NetworkStartup();
  ~NetworkStartup();
  NetworkStartup(const NetworkStartup&) = delete;
  NetworkStartup& operator=(const NetworkStartup&) = delete;
  bool Ok() const { return ok_; }

 private:
  bool ok_ = false;
};

// One socket, closed when destroyed. Move-only.
class Socket {
 public:
  Socket() = default;
  explicit Socket(NativeSocket handle) : handle_(handle) {}
  ~Socket() { Close(); }
  Socket(Socket&& other) noexcept : handle_(other.Release()) {}
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  static Socket Tcp();
  static Socket Udp();

  bool Valid() const { return handle_ != kInvalidSocket; }
  NativeSocket Native() const { return handle_; }
  NativeSocket Release();
  void Close();

  // Connects within `timeoutMs` (a non-blocking connect and a wait); the socket is left in
  // blocking mode. False on refusal, failure or time-out, and when `stop` (asked several times
  // a second while the connection is under way) holds.
  bool Connect(std::uint32_t address, std::uint16_t port, int timeoutMs, const std::function<bool()>& stop = {});
  bool SetNonBlocking(bool on);
  bool SetReuseAddress();
  bool SetBroadcast();
  bool Bind(std::uint32_t address, std::uint16_t port);
  bool Listen(int backlog);
  // Blocks until a connection arrives (or the socket is closed by another thread).
  Socket Accept();
  std::uint16_t LocalPort() const;

  // Bytes moved, 0 when the peer closed (Receive), -1 on error (see LastErrorWouldBlock).
  long Receive(void* data, std::size_t size);
  long Send(const void* data, std::size_t size);
  long ReceiveFrom(void* data, std::size_t size, std::uint32_t* senderAddress);
  long SendTo(const void* data, std::size_t size, std::uint32_t address, std::uint16_t port);

  // 1 when readable (or writable), 0 on time-out, -1 on error.
  int WaitReadable(int timeoutMs) const;
  int WaitWritable(int timeoutMs) const;

  void ShutdownBoth();
  // Any thread: ends the waits on this socket in every thread. It is shut down both ways, and
  // where that alone does not wake a thread already waiting for it (Winsock, Wine), the waits
  // are cancelled. A wait that begins after the call ends at once only where
  // kInterruptEndsLaterWaits holds; elsewhere the caller repeats the call until the waiting
  // thread lets the socket go.
  void Interrupt();

 private:
  NativeSocket handle_ = kInvalidSocket;
};

#if defined(_WIN32)
constexpr bool kInterruptEndsLaterWaits = false;
#else
constexpr bool kInterruptEndsLaterWaits = true;  // a shut socket is readable from then on
#endif

// How long one wait of a bounded connect or receive lasts at most before the caller's stop
// check is asked again.
constexpr int kStopSliceMs = 100;

namespace detail {
// Calls `wait` (1 ready, 0 time-out, -1 error) with waits of at most kStopSliceMs while `stop`
// is set, asking it before each, for `timeoutMs` in all (negative: no limit). True when ready.
bool WaitInSlices(const std::function<int(int)>& wait, int timeoutMs, const std::function<bool()>& stop);
}  // namespace detail

// True when the last failed socket call would have blocked (EWOULDBLOCK / WSAEWOULDBLOCK).
bool LastErrorWouldBlock();

// "%u.%u.%u.%u" of the four octets, first octet highest.
std::string DottedAddress(std::uint32_t address);
// Parses "a.b.c.d" strictly (four numbers 0..255); false otherwise.
bool ParseDottedAddress(const std::string& text, std::uint32_t* address);
// A dotted address or a host name (first IPv4 address found); false when unknown.
bool ResolveIPv4(const std::string& host, std::uint32_t* address);

}  // namespace net
