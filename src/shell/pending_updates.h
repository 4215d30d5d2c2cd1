// Update requests that main-thread code raises and the main loop serves once when idle.
#pragma once

#include <cstdint>

enum UpdateBits : std::uint32_t {
  UpdateCommands = 0x1,  // command and button state, then program validation
  UpdatePanels = 0x2,    // visibility of the floating windows
  UpdateView = 0x4,      // editor view refresh
  UpdateViewSize = 0x8,  // editor size and scroll range
};

// Where engines send their update requests; the shell owns the real word, tests record.
class UpdateSink {
 public:
  virtual ~UpdateSink() = default;
  virtual void RequestUpdate(std::uint32_t bits) = 0;
};

// The word of pending requests. Touched only on the main thread.
class PendingUpdates : public UpdateSink {
 public:
  void RequestUpdate(std::uint32_t bits) override { bits_ |= bits; }
  // Returns the pending bits and clears them.
  std::uint32_t Take() {
    const std::uint32_t bits = bits_;
    bits_ = 0;
    return bits;
  }
  std::uint32_t Peek() const { return bits_; }

 private:
  std::uint32_t bits_ = 0;
};
