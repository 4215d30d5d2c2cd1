#include "doc/render_state.h"

namespace {

const std::shared_ptr<const ExprNode>& SharedLeaf(NodeKind kind) {
  static const std::shared_ptr<const ExprNode> one = Cow<ExprNode>::MakeShared(ExprNode(NodeKind::One));
  static const std::shared_ptr<const ExprNode> undefined =
      Cow<ExprNode>::MakeShared(ExprNode(NodeKind::Undefined));
  static const std::shared_ptr<const ExprNode> zero = Cow<ExprNode>::MakeShared(ExprNode(NodeKind::Zero));
  return kind == NodeKind::One ? one : kind == NodeKind::Undefined ? undefined : zero;
}

}  // namespace

Cow<ExprNode> NewDefinitionRoot(NodeKind kind) {
  if (kind == NodeKind::One || kind == NodeKind::Undefined || kind == NodeKind::Zero)
    return Cow<ExprNode>::Share(SharedLeaf(kind));
  return Cow<ExprNode>(ExprNode(kind));
}

RenderState RenderState::New() {
  RenderState state;
  state.pictures.assign(2, SharedWhitePicture());
  state.outputDefinitions.assign(kOutputCount, NewDefinitionRoot(NodeKind::One));
  state.trackDefinitions.assign(2, NewDefinitionRoot(NodeKind::One));
  return state;
}

const Detector* RenderState::SelectedDetector() const {
  if (selected < 0 || static_cast<std::size_t>(selected) >= detectors.size()) return nullptr;
  return &detectors[static_cast<std::size_t>(selected)];
}

Detector* RenderState::SelectedDetector() {
  return const_cast<Detector*>(static_cast<const RenderState*>(this)->SelectedDetector());
}

bool RenderState::HasDetector(std::int32_t track, std::uint32_t number) const {
  for (const Detector& d : detectors)
    if (d.track == track && d.number == number) return true;
  return false;
}

std::array<std::uint32_t, 4> UsedNumbers(const RenderState& state) {
  std::array<std::uint32_t, 4> used{};
  for (const Detector& d : state.detectors) {
    if (d.track < 0 || d.track >= 4 || d.number < 1 || d.number > 32) continue;
    used[static_cast<std::size_t>(d.track)] |= std::uint32_t{1} << (d.number - 1);
  }
  return used;
}
