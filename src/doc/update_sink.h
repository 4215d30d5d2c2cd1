// Update requests that the document and its editors raise for the windows around them. The
// shell keeps the one word of pending requests (PendingUpdates) and serves it when idle; tests
// and tools pass their own sink.
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
