// The simulated cards that ctest starts around this test program (fixture "frame_cards" of
// tests/support/cardsim-fixture.sh): "normal" on 127.0.0.2, announcing itself as "Symulator 1",
// and "stalled" on 127.0.0.3, whose SCP is accepted and never answered.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "support/card_fixture.h"

namespace frame_test {

struct FrameCards : trevna_test::FixtureCards {
  std::uint16_t normalPort = 0;   // both cards answer SSH on the fixture's one port
  std::uint16_t stalledPort = 0;

  static constexpr std::uint32_t kNormal = 0x7F000002;
  static constexpr std::uint32_t kStalled = 0x7F000003;

  // Empty when the program runs outside ctest's fixture; a fixture whose info cannot be read
  // or names other cards fails the test as well.
  static std::optional<FrameCards> Read() {
    if (!std::getenv("TREVNA_CARDSIM_INFO")) return std::nullopt;
    std::string problem;
    auto info = trevna_test::FixtureCards::Read(&problem);
    if (info && (info->Address("normal") != kNormal || info->Address("stalled") != kStalled)) {
      problem = "no cards \"normal\" on 127.0.0.2 and \"stalled\" on 127.0.0.3";
    }
    if (!problem.empty()) {
      ADD_FAILURE() << "the card fixture: " << problem;
      return std::nullopt;
    }
    FrameCards cards;
    static_cast<trevna_test::FixtureCards&>(cards) = *info;
    cards.normalPort = cards.stalledPort = info->sshPort;
    return cards;
  }

  // The log of the card at `address` ("127.0.0.2"), one JSON object per line.
  std::string Log(const std::string& address) const {
    for (const auto& [name, card] : cards) {
      if (Dotted(card) == address) return FixtureCards::Log(card);
    }
    return {};
  }
};

}  // namespace frame_test
