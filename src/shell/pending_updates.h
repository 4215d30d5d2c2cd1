// The word of update requests that main-thread code raises and the main loop serves once when
// idle (the bits and the sink interface belong to the document: doc/update_sink.h).
#pragma once

#include <cstdint>

#include "doc/update_sink.h"

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
