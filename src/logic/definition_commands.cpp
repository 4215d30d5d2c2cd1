#include "logic/definition_commands.h"

#include "doc/document.h"
#include "doc/selection.h"

namespace {

bool MakeOperator(RenderState& state, NodeKind op) {
  const ExprNode* selected = ResolvePath(state);
  if (!selected) return false;
  if (!IsOperator(selected->kind) &&
      static_cast<int>(ResolvedDepth(state)) + 2 > kMaxExpressionDepth)
    return false;
  ExprNode& node = *ResolvePathForWrite(state);
  if (node.kind == NodeKind::And || node.kind == NodeKind::Or || node.kind == NodeKind::Xor) {
    node.kind = op;
    return true;
  }
  const NodeKind neutral = op == NodeKind::Or ? NodeKind::Zero : NodeKind::One;
  ExprNode first = node;
  if (first.kind == NodeKind::Undefined) first.kind = neutral;
  ExprNode second(neutral);
  node.kind = op;
  node.number = 0;
  node.children.clear();
  node.children.push_back(std::move(first));
  node.children.push_back(std::move(second));
  return true;
}

bool MakeLeaf(RenderState& state, NodeKind kind, std::uint32_t number) {
  if (!ResolvePath(state)) return false;
  ExprNode& node = *ResolvePathForWrite(state);
  node.children.clear();
  node.kind = kind;
  node.number = number;
  return true;
}

bool Reset(RenderState& state) {
  Cow<ExprNode>* root = SelectedRoot(state);
  if (!root) return false;
  // An output root and a track root become One (a new track definition is One, and the script
  // leaves One track definitions out); a Z root becomes Undefined.
  const NodeKind kind = SelectionFamily(state.selectionPath) == DefinitionFamily::Z ? NodeKind::Undefined : NodeKind::One;
  ExprNode& node = root->Write();
  node.children.clear();
  node.kind = kind;
  node.number = 0;
  return true;
}

}  // namespace

std::uint32_t DetectorCommand(int track, std::uint32_t number) {
  return kCommandDetectorFirst + static_cast<std::uint32_t>(track) * 32 + number - 1;
}

bool ApplyDefinitionCommand(RenderState& state, std::uint32_t command) {
  switch (command) {
    case kCommandMakeOr: return MakeOperator(state, NodeKind::Or);
    case kCommandMakeAnd: return MakeOperator(state, NodeKind::And);
    case kCommandMakeXor: return MakeOperator(state, NodeKind::Xor);
    case kCommandMakeZero: return MakeLeaf(state, NodeKind::Zero, 0);
    case kCommandMakeOne: return MakeLeaf(state, NodeKind::One, 0);
    case kCommandMakeUndefined:
      if (SelectionFamily(state.selectionPath) != DefinitionFamily::Z || ResolvedDepth(state) != 0) return false;
      return MakeLeaf(state, NodeKind::Undefined, 0);
    case kCommandReset: return Reset(state);
    default:
      if (command >= kCommandDetectorFirst && command <= kCommandDetectorLast) {
        const std::uint32_t offset = command - kCommandDetectorFirst;
        return MakeLeaf(state, DetectorKindOfTrack(static_cast<int>(offset / 32)), offset % 32 + 1);
      }
      return false;
  }
}

bool RunDefinitionCommand(Document& document, std::uint32_t command) {
  if (document.Current().selectionPath.empty()) return false;
  ApplyDefinitionCommand(document.NewRenderState(), command);
  return true;
}
