#include "base/trace.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

#include "base/platform.h"

namespace {

std::mutex& SinkMutex() {
  static std::mutex mutex;
  return mutex;
}

std::function<void(const std::string&)>& Sink() {
  static std::function<void(const std::string&)> sink;
  return sink;
}

}  // namespace

void Trace(const char* format, ...) {
  char small[512];
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  std::string text;
  if (length < 0) {
    va_end(copy);
    return;
  }
  if (static_cast<std::size_t>(length) < sizeof small) {
    text.assign(small, static_cast<std::size_t>(length));
  } else {
    std::vector<char> large(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(large.data(), large.size(), format, copy);
    text.assign(large.data(), static_cast<std::size_t>(length));
  }
  va_end(copy);
  platform::DebugOutput(text.c_str());
  std::lock_guard lock(SinkMutex());
  if (Sink()) Sink()(text);
}

void SetTraceSink(std::function<void(const std::string&)> sink) {
  std::lock_guard lock(SinkMutex());
  Sink() = std::move(sink);
}

TimingTrace::TimingTrace(const char* name) : name_(name), start_(platform::TickMilliseconds()) {}

TimingTrace::~TimingTrace() {
  Trace("%s: %ums\n", name_, static_cast<unsigned>(platform::TickMilliseconds() - start_));
}
