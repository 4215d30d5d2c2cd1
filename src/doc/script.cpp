#include "doc/script.h"

#include "doc/detector.h"

namespace {

void AppendLine(std::string& script, std::string_view label, std::size_t index, const ExprNode& root) {
  script.append(label);
  script.append(std::to_string(index));
  script.append(" = ");
  script.append(PrintExpression(root));
  script.push_back('\n');
}

}  // namespace

std::string PrintScript(const RenderState& state) {
  std::string script;
  for (std::size_t i = 0; i < state.outputDefinitions.size(); ++i)
    AppendLine(script, "Y", i + 1, *state.outputDefinitions[i]);
  for (std::size_t i = 0; i < state.zDefinitions.size(); ++i)
    if (state.zDefinitions[i]->kind != NodeKind::Undefined) AppendLine(script, "Z", i + 1, *state.zDefinitions[i]);
  for (std::size_t t = 0; t < state.trackDefinitions.size(); ++t) {
    if (state.trackDefinitions[t]->kind == NodeKind::One) continue;
    script.push_back(TrackLetter(static_cast<std::int32_t>(t)));
    script.append("c = ");
    script.append(PrintExpression(*state.trackDefinitions[t]));
    script.push_back('\n');
  }
  return script;
}
