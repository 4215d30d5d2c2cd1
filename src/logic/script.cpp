#include "logic/script.h"

#include "doc/detector.h"

std::string PrintScript(const RenderState& state) {
  std::string script;
  for (std::size_t i = 0; i < state.outputDefinitions.size(); ++i)
    script += "Y" + std::to_string(i + 1) + " = " + PrintExpression(*state.outputDefinitions[i]) + "\n";
  for (std::size_t i = 0; i < state.zDefinitions.size(); ++i) {
    if (state.zDefinitions[i]->kind == NodeKind::Undefined) continue;
    script += "Z" + std::to_string(i + 1) + " = " + PrintExpression(*state.zDefinitions[i]) + "\n";
  }
  for (std::size_t t = 0; t < state.trackDefinitions.size(); ++t) {
    if (state.trackDefinitions[t]->kind == NodeKind::One) continue;
    script += TrackLetter(static_cast<std::int32_t>(t));
    script += "c = " + PrintExpression(*state.trackDefinitions[t]) + "\n";
  }
  return script;
}
