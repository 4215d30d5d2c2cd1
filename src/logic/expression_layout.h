// Layout helpers of the definition editor over expression trees: hit testing and moving the
// rectangles where the editor drew the nodes. The trees themselves are the document's
// (doc/expression.h).
#pragma once

#include <cstdint>
#include <string>

#include "doc/expression.h"

// Path ("A"/"B" steps ended by "X") of the deepest node whose rectangle holds the point, or
// empty when the root's rectangle does not.
std::string HitTest(const ExprNode& node, std::int32_t x, std::int32_t y);

// Moves the rectangles of the node and of everything below it.
void OffsetNode(ExprNode& node, std::int32_t dx, std::int32_t dy);
