// Debugger traces. Each trace starts with the qualified operation name; timing traces use
// "%s: %ums\n". Tests can watch the traces through a sink.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Formats a trace (printf style) and writes it to the debugger output and the sink, if any.
void Trace(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Sets a function that sees every trace; pass an empty function to remove it. Test use only.
void SetTraceSink(std::function<void(const std::string&)> sink);

// Writes "<name>: <elapsed>ms\n" on destruction, measured from construction.
class TimingTrace {
 public:
  explicit TimingTrace(const char* name);
  ~TimingTrace();
  TimingTrace(const TimingTrace&) = delete;
  TimingTrace& operator=(const TimingTrace&) = delete;

 private:
  const char* name_;
  std::uint32_t start_;
};
