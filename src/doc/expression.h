// Expression trees of the output logic as the document stores them: the kinds of node, the tree
// itself and its script text. A node owns its children; copying a node copies its whole subtree.
// Editing, layout and checks of the trees live in logic/.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Node kinds as stored in files (0..13).
enum class NodeKind : std::uint32_t {
  Zero = 0,
  One = 1,
  DetectorA = 2,
  DetectorB = 3,
  OutputLabel = 4,
  And = 5,
  Or = 6,
  Assign = 7,
  ZLabel = 8,
  DetectorC = 9,
  DetectorD = 10,
  Undefined = 11,
  Xor = 12,
  TrackLabel = 13,
};
constexpr std::uint32_t kNodeKindCount = 14;

// Deepest tree the system builds or reads: the reader fails deeper records and the editor
// refuses to grow a tree beyond it, so every recursive walk stays far from the stack's limit.
constexpr int kMaxExpressionDepth = 256;

// Where the definition editor last drew a node, in its view's pixels. Not stored in files.
struct NodeRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  bool operator==(const NodeRect&) const = default;
};

struct ExprNode {
  NodeKind kind = NodeKind::Zero;
  std::uint32_t number = 0;         // detector, label or track number; 0 otherwise
  std::vector<ExprNode> children;   // none for leaves, two for operators
  NodeRect rect;

  ExprNode() = default;
  explicit ExprNode(NodeKind k, std::uint32_t n = 0) : kind(k), number(n) {}
  ExprNode(NodeKind op, ExprNode first, ExprNode second);

  // Content equality: kind, number and children (layout rectangles are not compared).
  bool operator==(const ExprNode& other) const;
};

bool IsOperator(NodeKind kind);          // And, Or, Xor, Assign
bool IsDetectorKind(NodeKind kind);      // DetectorA..DetectorD
// Track index of a detector kind (A 0, B 1, C 2, D 3); -1 for other kinds.
int DetectorKindTrack(NodeKind kind);
// The detector kind of a track index 0..3.
NodeKind DetectorKindOfTrack(int track);

// Depth of a tree: 1 for a leaf.
int TreeDepth(const ExprNode& node);

// Script text: "0", "1", detector letter + number, "(" a " & " / " | " / " ^ " b ")" for
// operators, empty for every other kind.
std::string PrintExpression(const ExprNode& node);
