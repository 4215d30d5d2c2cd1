#include "logic/expression_layout.h"

std::string HitTest(const ExprNode& node, std::int32_t x, std::int32_t y) {
  const NodeRect& r = node.rect;
  if (x < r.left || x >= r.right || y < r.top || y >= r.bottom) return {};
  for (std::size_t i = 0; i < node.children.size(); ++i) {
    std::string below = HitTest(node.children[i], x, y);
    if (!below.empty()) return static_cast<char>('A' + i) + below;
  }
  return "X";
}

void OffsetNode(ExprNode& node, std::int32_t dx, std::int32_t dy) {
  node.rect.left += dx;
  node.rect.right += dx;
  node.rect.top += dy;
  node.rect.bottom += dy;
  for (ExprNode& child : node.children) OffsetNode(child, dx, dy);
}
