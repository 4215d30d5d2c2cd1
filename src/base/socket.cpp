#include "base/socket.h"

#include <cstdio>

namespace net {

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.Release();
  }
  return *this;
}

NativeSocket Socket::Release() {
  const NativeSocket handle = handle_;
  handle_ = kInvalidSocket;
  return handle;
}

namespace detail {

bool WaitInSlices(const std::function<int(int)>& wait, int timeoutMs, const std::function<bool()>& stop) {
  int left = timeoutMs;
  for (;;) {
    if (stop && stop()) return false;
    int slice = left;
    if (stop && (slice < 0 || slice > kStopSliceMs)) slice = kStopSliceMs;
    const int ready = wait(slice);
    if (ready != 0) return ready == 1;
    if (left >= 0) {
      left -= slice;
      if (left <= 0) return false;
    }
  }
}

}  // namespace detail

std::string DottedAddress(std::uint32_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", (address >> 24) & 0xFFu, (address >> 16) & 0xFFu,
                (address >> 8) & 0xFFu, address & 0xFFu);
  return text;
}

bool ParseDottedAddress(const std::string& text, std::uint32_t* address) {
  std::uint32_t result = 0;
  std::size_t pos = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (pos >= text.size() || text[pos] != '.') return false;
      ++pos;
    }
    unsigned value = 0;
    std::size_t digits = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 4) {
      value = value * 10 + static_cast<unsigned>(text[pos] - '0');
      ++pos;
      ++digits;
    }
    if (digits == 0 || digits > 3 || value > 255) return false;
    result = (result << 8) | value;
  }
  if (pos != text.size()) return false;
  *address = result;
  return true;
}

}  // namespace net
