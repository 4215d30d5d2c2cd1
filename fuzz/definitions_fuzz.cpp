// ReadDefinitions on untrusted bytes. Whatever it reads must print, validate, write and read
// back to the same script.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "doc/definition_records.h"
#include "doc/script.h"
#include "logic/validation.h"

// The code under test is compiled into this target, so that it carries the fuzzer's coverage
// instrumentation (the core library of the fuzz build is not instrumented).
#include "base/chunk.cpp"
#include "doc/detector.cpp"
#include "doc/picture.cpp"
#include "doc/render_state.cpp"
#include "doc/definition_records.cpp"
#include "doc/expression.cpp"
#include "doc/script.cpp"
#include "logic/validation.cpp"

namespace {

class NoProblems : public ProblemSink {
 public:
  void ClearProblems() override {}
  void AddProblem(const std::wstring&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  RenderState state;
  const bool read = ReadDefinitions(bytes, state);
  const std::string script = PrintScript(state);
  NoProblems problems;
  ValidateProgram(state, problems);
  if (!read) return 0;

  std::string written;
  WriteDefinitions(state, written);
  RenderState again;
  if (!ReadDefinitions(written, again)) std::abort();
  if (PrintScript(again) != script) std::abort();
  if (again.outputDefinitions.size() != state.outputDefinitions.size() ||
      again.zDefinitions.size() != state.zDefinitions.size() ||
      again.trackDefinitions.size() != state.trackDefinitions.size())
    std::abort();
  for (std::size_t i = 0; i < state.outputDefinitions.size(); ++i)
    if (!(*again.outputDefinitions[i] == *state.outputDefinitions[i])) std::abort();
  return 0;
}
