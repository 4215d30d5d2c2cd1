// The live stream of the simulated card "card" that ctest starts around these tests (fixture
// "logic_cardsim" of tests/support/cardsim-fixture.sh): a LiveThread connected to it, and the
// replies the card logged.
#pragma once

#include <windows.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "device/live_stream.h"
#include "support/card_fixture.h"

namespace logic_test {

// Polls `done` with the thread's messages pumped until it holds or `seconds` pass.
inline bool PollUntil(const std::function<bool()>& done, int seconds = 20) {
  for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
       std::chrono::steady_clock::now() < until;) {
    if (done()) return true;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
  }
  return done();
}

// One "stream-reply" line of the card's log.
struct CardReply {
  int flags = -1;
  int forced = -1;
  int detector = -1;
  int detectorTrack = -1;
  int type = -1;  // of the message answered: 1 picture, 2 tuning counts
};

class CardStream {
 public:
  // Reads the fixture's info file; Ready() is false (with Problem()) when there is none.
  CardStream() {
    cards_ = trevna_test::FixtureCards::Read(&problem_);
    if (cards_ && !cards_->Address("card")) {
      problem_ = "the fixture started no card named \"card\"";
      cards_.reset();
    }
  }
  bool Ready() const { return cards_.has_value(); }
  const std::string& Problem() const { return problem_; }

  std::uint32_t Address() const { return cards_->Address("card"); }
  std::uint16_t SshPort() const { return cards_->sshPort; }

  // Starts a live stream to the card with these targets.
  void Start(device::LiveTargets targets) {
    device::LiveThread::Options options;
    options.port = cards_->streamPort;
    options.retryMs = 100;
    thread_ = std::make_unique<device::LiveThread>(std::move(targets), options);
    thread_->SelectAddress(Address());
    thread_->Start();
  }
  void Stop() {
    if (thread_) thread_->Stop();
    thread_.reset();
  }
  ~CardStream() { Stop(); }

  // The whole lines logged since the last call (the log only grows).
  std::vector<std::string> NewLines() {
    std::ifstream log(cards_->LogPath(Address()), std::ios::binary);
    log.seekg(static_cast<std::streamoff>(offset_));
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(log, line)) {
      if (log.eof()) break;  // a line still being written
      offset_ += line.size() + 1;
      lines.push_back(line);
    }
    return lines;
  }

  // The replies logged since the last call.
  std::vector<CardReply> NewReplies() {
    std::vector<CardReply> replies;
    static const std::regex number("\"(flags|forced|detector|detector_track|type)\":(-?\\d+)");
    for (const std::string& line : NewLines()) {
      if (line.find("\"stream-reply\"") == std::string::npos) continue;
      CardReply reply;
      for (std::sregex_iterator it(line.begin(), line.end(), number), end; it != end; ++it) {
        const std::string key = (*it)[1];
        const int value = std::stoi((*it)[2]);
        if (key == "flags") reply.flags = value;
        if (key == "forced") reply.forced = value;
        if (key == "detector") reply.detector = value;
        if (key == "detector_track") reply.detectorTrack = value;
        if (key == "type") reply.type = value;
      }
      replies.push_back(reply);
    }
    return replies;
  }

 private:
  std::optional<trevna_test::FixtureCards> cards_;
  std::string problem_;
  std::size_t offset_ = 0;
  std::unique_ptr<device::LiveThread> thread_;
};

}  // namespace logic_test
