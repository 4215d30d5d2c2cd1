#include "doc/json_document.h"

#include <cstdio>

namespace {

void AppendNumber(std::string& out, char letter, std::uint32_t number) {
  char text[16];
  std::snprintf(text, sizeof text, "%c%u", letter, number);
  out += text;
}

void AppendText(std::string& out, const ExprNode& node) {
  switch (node.kind) {
    case NodeKind::Zero:
      out += '0';
      return;
    case NodeKind::One:
      out += '1';
      return;
    case NodeKind::DetectorA:
    case NodeKind::DetectorB:
    case NodeKind::DetectorC:
    case NodeKind::DetectorD:
      AppendNumber(out, static_cast<char>('A' + DetectorKindTrack(node.kind)), node.number);
      return;
    case NodeKind::OutputLabel:
      AppendNumber(out, 'Y', node.number);
      return;
    case NodeKind::ZLabel:
      AppendNumber(out, 'Z', node.number);
      return;
    case NodeKind::TrackLabel:
      out += static_cast<char>('A' + node.number % 4);
      out += 'c';
      return;
    case NodeKind::Undefined:
      return;
    case NodeKind::And:
    case NodeKind::Or:
    case NodeKind::Xor:
    case NodeKind::Assign: {
      const char* op = node.kind == NodeKind::And   ? " & "
                       : node.kind == NodeKind::Or  ? " | "
                       : node.kind == NodeKind::Xor ? " ^ "
                                                    : " = ";
      out += '(';
      if (node.children.size() > 0) AppendText(out, node.children[0]);
      out += op;
      if (node.children.size() > 1) AppendText(out, node.children[1]);
      out += ')';
      return;
    }
  }
}

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  ExprNode Whole() {
    ExprNode node = Operand(1, true);
    SkipSpaces();
    if (at_ != text_.size()) Fail("unexpected character");
    return node;
  }

 private:
  [[noreturn]] void Fail(const char* what) const {
    throw ExpressionSyntaxError(at_ + 1, std::string(what) + " at position " + std::to_string(at_ + 1));
  }

  void SkipSpaces() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t')) ++at_;
  }

  bool AtOperandEnd() const {
    return at_ == text_.size() || text_[at_] == '&' || text_[at_] == '|' || text_[at_] == '^' ||
           text_[at_] == '=' || text_[at_] == ')';
  }

  std::uint32_t Number() {
    if (at_ >= text_.size() || text_[at_] < '0' || text_[at_] > '9') Fail("number expected");
    std::uint64_t value = 0;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
      value = value * 10 + static_cast<std::uint64_t>(text_[at_] - '0');
      if (value > 0xFFFFFFFFu) Fail("number too large");
      ++at_;
    }
    return static_cast<std::uint32_t>(value);
  }

  ExprNode Operand(int depth, bool top) {
    if (depth > kMaxExpressionDepth) Fail("expression nested too deeply");
    SkipSpaces();
    if (AtOperandEnd()) {
      // The empty text, or an empty operand: Undefined.
      if (top && at_ != text_.size()) Fail("unexpected character");
      return ExprNode(NodeKind::Undefined);
    }
    const char c = text_[at_];
    if (c == '(') {
      ++at_;
      ExprNode first = Operand(depth + 1, false);
      SkipSpaces();
      if (at_ >= text_.size()) Fail("operator expected");
      NodeKind kind;
      switch (text_[at_]) {
        case '&': kind = NodeKind::And; break;
        case '|': kind = NodeKind::Or; break;
        case '^': kind = NodeKind::Xor; break;
        case '=': kind = NodeKind::Assign; break;
        default: Fail("operator expected");
      }
      ++at_;
      ExprNode second = Operand(depth + 1, false);
      SkipSpaces();
      if (at_ >= text_.size() || text_[at_] != ')') Fail("')' expected");
      ++at_;
      return ExprNode(kind, std::move(first), std::move(second));
    }
    if (c == '0' || c == '1') {
      ++at_;
      if (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') Fail("unexpected digit");
      return ExprNode(c == '0' ? NodeKind::Zero : NodeKind::One);
    }
    if (c >= 'A' && c <= 'D') {
      ++at_;
      if (at_ < text_.size() && text_[at_] == 'c') {
        ++at_;
        return ExprNode(NodeKind::TrackLabel, static_cast<std::uint32_t>(c - 'A'));
      }
      return ExprNode(DetectorKindOfTrack(c - 'A'), Number());
    }
    if (c == 'Y' || c == 'Z') {
      ++at_;
      return ExprNode(c == 'Y' ? NodeKind::OutputLabel : NodeKind::ZLabel, Number());
    }
    Fail("unexpected character");
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

std::string ExpressionText(const ExprNode& node) {
  std::string out;
  AppendText(out, node);
  return out;
}

ExprNode ParseExpressionText(std::string_view text) { return Parser(text).Whole(); }

std::string InvalidDetectorField(const Detector& d) {
  if (d.kind != DetectorKind::Quadrilateral && d.kind != DetectorKind::Line) return "kind";
  if (d.track < 0 || d.track >= Detector::kTracks) return "track";
  if (d.featureThreshold < 0 || d.featureThreshold >= 1000) return "featureThreshold";
  if (d.angle < 0 || d.angle >= 360) return "angle";
  if (d.fillPercent < 0 || d.fillPercent > 100) return "fillPercent";
  return std::string();
}
