#include "event_log.h"

#include <chrono>
#include <ctime>
#include <stdexcept>

namespace cardsim {
namespace {

std::mutex& StdoutMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string UtcNowText() {
  const auto now = std::chrono::system_clock::now();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  char text[80];  // room for any int the fields could hold, so the optimiser sees no truncation
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms % 1000));
  return text;
}

}  // namespace

void PrintLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(StdoutMutex());
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

EventLog::EventLog(const std::filesystem::path& path, std::string card, bool echo)
    : card_(std::move(card)), echo_(echo) {
  file_ = std::fopen(path.c_str(), "ab");
  if (!file_) throw std::runtime_error("cannot open the log " + path.string());
}

EventLog::~EventLog() {
  if (file_) std::fclose(file_);
}

void EventLog::Write(const std::string& event, nlohmann::json fields) {
  nlohmann::json line = nlohmann::json::object();
  line["time"] = UtcNowText();
  line["card"] = card_;
  line["event"] = event;
  for (auto it = fields.begin(); it != fields.end(); ++it) line[it.key()] = it.value();
  // Commands and file names come from the client and need not be UTF-8: never let the
  // log throw because of them.
  const std::string text = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  std::lock_guard<std::mutex> lock(mutex_);
  std::fputs(text.c_str(), file_);
  std::fputc('\n', file_);
  std::fflush(file_);
  if (echo_) PrintLine(text);
}

}  // namespace cardsim
