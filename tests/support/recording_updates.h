// An update sink for tests: collects the requested bits until they are taken.
#pragma once

#include <cstdint>
#include <utility>

#include "doc/update_sink.h"

class RecordingUpdates : public UpdateSink {
 public:
  void RequestUpdate(std::uint32_t bits) override { bits_ |= bits; }
  std::uint32_t Take() { return std::exchange(bits_, 0); }

 private:
  std::uint32_t bits_ = 0;
};
