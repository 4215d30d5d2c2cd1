// The transfer sequences that failed now and then against cards on a loaded machine, each run
// on one open session, every step checked:
//   - a file, an empty file and a file fetched one after the other (an archive download);
//   - a command whose channel is closed right after it started, then another command (the
//     network settings, then the restart).
// Shared by the tests against OpenSSH's sshd and dropbear (openssh_tests, natively and under
// Wine) and against the simulated card (device_native_tests).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/text.h"
#include "device/ssh_session.h"

namespace transfer_sequences {

// Where the sequences run.
struct Card {
  // Puts a file named `name` on the card, and its path there.
  std::function<void(const std::string& name, const std::string& bytes)> put;
  std::function<std::string(const std::string& name)> path;
  // Commands whose channel is closed right after they started, each followed by `command`,
  // whose whole output is `output`.
  std::vector<std::string> closedEarly;
  std::string command;
  std::string output;
};

// Bytes of every value in an order of their own.
inline std::string Pattern(std::size_t size, std::uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<char>(seed >> 24);
  }
  return bytes;
}

inline std::string Message(const std::exception& e) { return Utf8FromCp1250(e.what()); }

// The files of FileEmptyFile, by name.
inline std::vector<std::pair<std::string, std::string>> SequenceFiles() {
  return {{"seq-first.avi", Pattern(200000, 1)}, {"seq-empty.avi", ""}, {"seq-last.avi", Pattern(150001, 2)}};
}

inline void PutSequenceFiles(const Card& card) {
  for (const auto& [name, bytes] : SequenceFiles()) card.put(name, bytes);
}

// Fetches the three files of SequenceFiles (put there first) in order on `session`: each
// announces its size and arrives byte for byte, the empty one with no bytes at all.
inline void FileEmptyFile(device::SshSession& session, const Card& card) {
  for (const auto& [name, bytes] : SequenceFiles()) {
    SCOPED_TRACE(name);
    std::string got;
    std::uint64_t announced = ~0ull;
    std::uint64_t size = ~0ull;
    try {
      size = session.Fetch(
          card.path(name), [&](const char* data, std::size_t n) { got.append(data, n); }, [](int) {},
          [&](std::uint64_t s) { announced = s; });
    } catch (const std::exception& e) {
      ADD_FAILURE() << "fetching " << name << ": " << Message(e);
      return;
    }
    EXPECT_EQ(announced, bytes.size());
    EXPECT_EQ(size, bytes.size());
    EXPECT_TRUE(got == bytes) << got.size() << " bytes instead of " << bytes.size();
  }
}

// Each command of `card.closedEarly`, its channel gone as soon as the command started, then
// `card.command`, read to its end.
inline void CommandClosedEarlyThenCommand(device::SshSession& session, const Card& card) {
  for (const std::string& early : card.closedEarly) {
    SCOPED_TRACE(early);
    try {
      { device::SshChannel channel = session.StartCommand(early, "not started: " + early); }
      device::SshChannel next = session.StartCommand(card.command, "not started: " + card.command);
      std::string text;
      EXPECT_TRUE(next.ReadAll(text));
      EXPECT_EQ(text, card.output);
    } catch (const std::exception& e) {
      ADD_FAILURE() << Message(e);
    }
  }
}

}  // namespace transfer_sequences
