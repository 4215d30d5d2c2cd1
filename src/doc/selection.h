// The selection of the output definition editor, kept in each revision as a SelectionPath text:
// a family letter ("Y", "Z", "C"), an index character ('0' + output or Z index, 'a' + track),
// then one character per level ("A" first child, "B" second child) ended by "X".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "doc/render_state.h"

// 4 for "Y", 8 for "Z", 13 for anything else.
DefinitionFamily SelectionFamily(std::string_view path);

// The definition list and index that the path's first two characters name, or null when the
// path is shorter than 2 characters or the index is not in the list.
const Cow<ExprNode>* SelectedRoot(const RenderState& state);
Cow<ExprNode>* SelectedRoot(RenderState& state);

// The selected node: from the selected root, "A" goes to the first child, "B" to the second;
// "X", any other character, or a step to a child that does not exist stops at the current node.
const ExprNode* ResolvePath(const RenderState& state);
// The same for writing: the root is made the revision's own before the node is returned.
ExprNode* ResolvePathForWrite(RenderState& state);
// Number of "A"/"B" steps that ResolvePath takes (0 for the root).
std::size_t ResolvedDepth(const RenderState& state);

// The path text for a node of a definition; `nodePath` is an "A"/"B".."X" text as HitTest gives.
std::string MakeSelectionPath(DefinitionFamily family, std::size_t index, std::string_view nodePath);

// The definition list of a family.
const std::vector<Cow<ExprNode>>& Definitions(const RenderState& state, DefinitionFamily family);
std::vector<Cow<ExprNode>>& Definitions(RenderState& state, DefinitionFamily family);
