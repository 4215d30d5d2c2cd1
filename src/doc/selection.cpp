#include "doc/selection.h"

DefinitionFamily SelectionFamily(std::string_view path) {
  if (!path.empty() && path[0] == 'Y') return DefinitionFamily::Output;
  if (!path.empty() && path[0] == 'Z') return DefinitionFamily::Z;
  return DefinitionFamily::Track;
}

const std::vector<Cow<ExprNode>>& Definitions(const RenderState& state, DefinitionFamily family) {
  switch (family) {
    case DefinitionFamily::Output: return state.outputDefinitions;
    case DefinitionFamily::Z: return state.zDefinitions;
    default: return state.trackDefinitions;
  }
}

std::vector<Cow<ExprNode>>& Definitions(RenderState& state, DefinitionFamily family) {
  return const_cast<std::vector<Cow<ExprNode>>&>(Definitions(static_cast<const RenderState&>(state), family));
}

const Cow<ExprNode>* SelectedRoot(const RenderState& state) {
  const std::string& path = state.selectionPath;
  if (path.size() < 2) return nullptr;
  const DefinitionFamily family = SelectionFamily(path);
  const int index = static_cast<unsigned char>(path[1]) - (family == DefinitionFamily::Track ? 'a' : '0');
  const auto& list = Definitions(state, family);
  if (index < 0 || static_cast<std::size_t>(index) >= list.size()) return nullptr;
  return &list[static_cast<std::size_t>(index)];
}

Cow<ExprNode>* SelectedRoot(RenderState& state) {
  return const_cast<Cow<ExprNode>*>(SelectedRoot(static_cast<const RenderState&>(state)));
}

namespace {

// Follows the steps after the two selection characters; returns the node and counts the steps.
template <class Node>
Node* Follow(Node* node, std::string_view steps, std::size_t* depth) {
  std::size_t taken = 0;
  for (const char step : steps) {
    const std::size_t child = step == 'A' ? 0 : step == 'B' ? 1 : 2;
    if (child >= node->children.size()) break;
    node = &node->children[child];
    ++taken;
  }
  if (depth) *depth = taken;
  return node;
}

}  // namespace

const ExprNode* ResolvePath(const RenderState& state) {
  const Cow<ExprNode>* root = SelectedRoot(state);
  if (!root) return nullptr;
  return Follow(&root->Read(), std::string_view(state.selectionPath).substr(2), nullptr);
}

ExprNode* ResolvePathForWrite(RenderState& state) {
  Cow<ExprNode>* root = SelectedRoot(state);
  if (!root) return nullptr;
  return Follow(&root->Write(), std::string_view(state.selectionPath).substr(2), nullptr);
}

std::size_t ResolvedDepth(const RenderState& state) {
  const Cow<ExprNode>* root = SelectedRoot(state);
  std::size_t depth = 0;
  if (root) Follow(&root->Read(), std::string_view(state.selectionPath).substr(2), &depth);
  return depth;
}

std::string MakeSelectionPath(DefinitionFamily family, std::size_t index, std::string_view nodePath) {
  std::string path;
  switch (family) {
    case DefinitionFamily::Output: path += 'Y'; path += static_cast<char>('0' + index); break;
    case DefinitionFamily::Z: path += 'Z'; path += static_cast<char>('0' + index); break;
    default: path += 'C'; path += static_cast<char>('a' + index); break;
  }
  path += nodePath;
  return path;
}
