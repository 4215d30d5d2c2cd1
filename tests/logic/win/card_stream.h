// The live stream of the simulated card that ctest starts around these tests (fixture
// "logic_cardsim"): a LiveThread connected to it, and the replies the card logged.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "device/live_stream.h"

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
    const char* info = std::getenv("TREVNA_LOGIC_CARDSIM");
    if (!info) {
      problem_ = "TREVNA_LOGIC_CARDSIM is not set (run through ctest, which starts the simulator)";
      return;
    }
    std::ifstream in(info);
    std::string line;
    while (std::getline(in, line)) {
      const auto equals = line.find('=');
      if (equals != std::string::npos) values_[line.substr(0, equals)] = line.substr(equals + 1);
    }
    if (values_["stream"].empty() || values_["log"].empty()) problem_ = std::string("no simulator info in ") + info;
  }
  bool Ready() const { return problem_.empty(); }
  const std::string& Problem() const { return problem_; }

  std::uint32_t Address() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    std::sscanf(values_["address"].c_str(), "%u.%u.%u.%u", &a, &b, &c, &d);
    return (a << 24) | (b << 16) | (c << 8) | d;
  }
  std::uint16_t SshPort() { return static_cast<std::uint16_t>(std::stoi(values_["ssh"])); }

  // Starts a live stream to the card with these targets.
  void Start(device::LiveTargets targets) {
    device::LiveThread::Options options;
    options.port = static_cast<std::uint16_t>(std::stoi(values_["stream"]));
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
    std::ifstream log("Z:" + values_["log"], std::ios::binary);
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
  std::map<std::string, std::string> values_;
  std::string problem_;
  std::size_t offset_ = 0;
  std::unique_ptr<device::LiveThread> thread_;
};

}  // namespace logic_test
