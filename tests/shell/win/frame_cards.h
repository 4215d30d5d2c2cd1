// The simulated cards that ctest starts around this test program (cardsim-fixture.sh), as its
// info file names them (TREVNA_FRAME_CARDS), and the card's log as text.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace frame_test {

struct FrameCards {
  std::uint16_t normalPort = 0;   // 127.0.0.2
  std::uint16_t stalledPort = 0;  // 127.0.0.3: SCP is accepted and never answered
  std::uint16_t streamPort = 0;    // the normal card's live stream
  std::uint16_t announcePort = 0;  // where the normal card ("Symulator 1") announces itself
  std::string state, user, password;

  static constexpr std::uint32_t kNormal = 0x7F000002;
  static constexpr std::uint32_t kStalled = 0x7F000003;

  // Empty when the program runs outside ctest's fixture.
  static std::optional<FrameCards> Read() {
    const char* info = std::getenv("TREVNA_FRAME_CARDS");
    if (!info || !*info) return std::nullopt;
    std::ifstream in(info);
    if (!in) return std::nullopt;
    FrameCards cards;
    std::string key, address;
    while (in >> key) {
      if (key == "normal" || key == "stalled") {
        unsigned port = 0;
        in >> address >> port;
        (key == "normal" ? cards.normalPort : cards.stalledPort) = static_cast<std::uint16_t>(port);
      } else if (key == "stream" || key == "announce") {
        unsigned port = 0;
        in >> port;
        (key == "stream" ? cards.streamPort : cards.announcePort) = static_cast<std::uint16_t>(port);
      } else if (key == "state") {
        in >> cards.state;
      } else if (key == "user") {
        in >> cards.user;
      } else if (key == "password") {
        in >> cards.password;
      }
    }
    return cards;
  }

  // The log of the card at `address` ("127.0.0.2"), one JSON object per line.
  std::string Log(const std::string& address) const {
    std::ifstream in(state + "/" + address + "/log.jsonl");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
};

}  // namespace frame_test
