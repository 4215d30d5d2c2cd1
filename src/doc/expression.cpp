#include "doc/expression.h"

#include <algorithm>

ExprNode::ExprNode(NodeKind op, ExprNode first, ExprNode second) : kind(op) {
  children.reserve(2);
  children.push_back(std::move(first));
  children.push_back(std::move(second));
}

bool ExprNode::operator==(const ExprNode& other) const {
  return kind == other.kind && number == other.number && children == other.children;
}

bool IsOperator(NodeKind kind) {
  return kind == NodeKind::And || kind == NodeKind::Or || kind == NodeKind::Xor || kind == NodeKind::Assign;
}

bool IsDetectorKind(NodeKind kind) { return DetectorKindTrack(kind) >= 0; }

int DetectorKindTrack(NodeKind kind) {
  switch (kind) {
    case NodeKind::DetectorA: return 0;
    case NodeKind::DetectorB: return 1;
    case NodeKind::DetectorC: return 2;
    case NodeKind::DetectorD: return 3;
    default: return -1;
  }
}

NodeKind DetectorKindOfTrack(int track) {
  static constexpr NodeKind kinds[] = {NodeKind::DetectorA, NodeKind::DetectorB, NodeKind::DetectorC,
                                       NodeKind::DetectorD};
  return kinds[track & 3];
}

int TreeDepth(const ExprNode& node) {
  int deepest = 0;
  for (const ExprNode& child : node.children) deepest = std::max(deepest, TreeDepth(child));
  return deepest + 1;
}

namespace {

void Print(const ExprNode& node, std::string& out) {
  const char* separator = nullptr;
  switch (node.kind) {
    case NodeKind::Zero: out += '0'; return;
    case NodeKind::One: out += '1'; return;
    case NodeKind::And: separator = " & "; break;
    case NodeKind::Or: separator = " | "; break;
    case NodeKind::Xor: separator = " ^ "; break;
    default:
      if (const int track = DetectorKindTrack(node.kind); track >= 0) {
        out += static_cast<char>('A' + track);
        out += std::to_string(node.number);
      }
      return;
  }
  out += '(';
  if (!node.children.empty()) Print(node.children[0], out);
  out += separator;
  if (node.children.size() > 1) Print(node.children[1], out);
  out += ')';
}

}  // namespace

std::string PrintExpression(const ExprNode& node) {
  std::string out;
  Print(node, out);
  return out;
}
