// Program validation: detector names must be valid and unique, and every detector that a
// definition names must exist. Problems go to a ProblemSink as wide texts.
#pragma once

#include <cstdint>
#include <string>

#include "doc/render_state.h"

class Document;

// Where validation lists its problems (the diagnostics list implements it).
class ProblemSink {
 public:
  virtual ~ProblemSink() = default;
  // Removes every row before a run.
  virtual void ClearProblems() = 0;
  // Adds one row. The list shows its rows sorted, so the order of calls does not matter.
  virtual void AddProblem(const std::wstring& text) = 0;
};

struct MissingDetector {
  bool found = false;
  std::int32_t track = 0;
  std::uint32_t number = 0;
};

// The first detector reference (depth first, first operand first) that names no detector of the
// state.
MissingDetector FindMissingDetector(const ExprNode& node, const RenderState& state);

// Clears the sink and lists every problem of the state: numbers outside 1..16, every pair of
// detectors with one name, and the first missing detector of each output, Z and track
// definition. Returns true when at least one problem was listed.
bool ValidateProgram(const RenderState& state, ProblemSink& sink);
// The same on the document's current revision.
bool ValidateProgram(const Document& document, ProblemSink& sink);
