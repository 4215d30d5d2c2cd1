#include "logic/validation.h"

#include "base/text.h"
#include "doc/document.h"
#include "doc/detector.h"

namespace {

class Reporter {
 public:
  explicit Reporter(ProblemSink& sink) : sink_(sink) {}
  void Report(const std::wstring& text) {
    sink_.AddProblem(text);
    errors_ = true;
  }
  bool Errors() const { return errors_; }

 private:
  ProblemSink& sink_;
  bool errors_ = false;
};

void CheckDefinition(const ExprNode& root, const std::wstring& name, const RenderState& state, Reporter& reporter) {
  const MissingDetector missing = FindMissingDetector(root, state);
  if (!missing.found) return;
  reporter.Report(WideFromUtf8("Definicja wyjścia ") + name + WideFromUtf8(" odnosi się do nieistniejącego detektora ") +
                  DetectorWideName(missing.track, missing.number) + L".");
}

}  // namespace

MissingDetector FindMissingDetector(const ExprNode& node, const RenderState& state) {
  const int track = DetectorKindTrack(node.kind);
  if (track >= 0 && !state.HasDetector(track, node.number)) return {true, track, node.number};
  for (const ExprNode& child : node.children) {
    MissingDetector missing = FindMissingDetector(child, state);
    if (missing.found) return missing;
  }
  return {};
}

bool ValidateProgram(const RenderState& state, ProblemSink& sink) {
  sink.ClearProblems();
  Reporter reporter(sink);
  const auto& detectors = state.detectors;
  for (std::size_t i = 0; i < detectors.size(); ++i) {
    const Detector& d = detectors[i];
    const std::wstring name = DetectorWideName(d.track, d.number);
    if (d.number == 0 || d.number > Detector::kMaxProgramNumber)
      reporter.Report(L"Detektor " + name + L" ma numer spoza zakresu 1-16.");
    for (std::size_t j = i + 1; j < detectors.size(); ++j)
      if (detectors[j].track == d.track && detectors[j].number == d.number)
        reporter.Report(WideFromUtf8("Dwa detektory mają zadeklarowaną taką samą nazwę ") + name + L".");
  }
  for (std::size_t i = 0; i < state.outputDefinitions.size(); ++i)
    CheckDefinition(*state.outputDefinitions[i], L"Y" + std::to_wstring(i + 1), state, reporter);
  for (std::size_t i = 0; i < state.zDefinitions.size(); ++i)
    CheckDefinition(*state.zDefinitions[i], L"Z" + std::to_wstring(i + 1), state, reporter);
  for (std::size_t t = 0; t < state.trackDefinitions.size(); ++t) {
    std::wstring name(1, static_cast<wchar_t>('A' + t));
    CheckDefinition(*state.trackDefinitions[t], name + L"c", state, reporter);
  }
  return reporter.Errors();
}

bool ValidateProgram(const Document& document, ProblemSink& sink) { return ValidateProgram(document.Current(), sink); }
