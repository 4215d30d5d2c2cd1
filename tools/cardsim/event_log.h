// The record of what a simulated card saw: one JSON object per line in DIR/<address>/log.jsonl
// (and on stdout when asked), so tests and users can check every command, transfer and reply.
//
// Every line has "time" (UTC, ISO 8601 with milliseconds), "card" (the card's address) and
// "event"; the other members depend on the event (see the README section of main.cpp).
#pragma once

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

namespace cardsim {

class EventLog {
 public:
  // Appends to `path`; also echoes each line to stdout when `echo` is set.
  EventLog(const std::filesystem::path& path, std::string card, bool echo);
  ~EventLog();
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;

  // Writes one line: the fields of `fields` after time, card and event.
  void Write(const std::string& event, nlohmann::json fields = nlohmann::json::object());

 private:
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
  std::string card_;
  bool echo_;
};

// Serialises writes to stdout from all cards (ready lines, echoed log lines).
void PrintLine(const std::string& line);

}  // namespace cardsim
