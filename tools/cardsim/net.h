// Small POSIX socket helpers shared by the simulator's services.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace cardsim {

// Owns a file descriptor and closes it when destroyed.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(Fd&& other) noexcept : fd_(other.Release()) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = other.Release();
    }
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset(int fd = -1);

 private:
  int fd_ = -1;
};

// Parses a dotted IPv4 address ("127.0.0.2"); false when it is not one.
bool ParseIpv4(const std::string& text, std::uint32_t* networkOrder);

// Opens a listening TCP socket on address:port (port 0 picks a free one). Throws
// std::runtime_error with the system's reason on failure.
Fd ListenTcp(const std::string& address, int port);

// The local port a socket is bound to.
int LocalPort(int fd);

// Waits until fd is readable; false on time-out or error.
bool WaitReadable(int fd, int timeoutMs);

// Sends all bytes (no SIGPIPE); false when the peer is gone.
bool SendAll(int fd, const void* data, std::size_t size);

// Receives exactly size bytes, waiting at most timeoutMs for each piece; false on end of
// stream, error or time-out.
bool ReceiveExact(int fd, void* data, std::size_t size, int timeoutMs);

// Lets blocked reads and writes on a connected socket fail at once (the socket stays open).
void ShutdownSocket(int fd);

}  // namespace cardsim
