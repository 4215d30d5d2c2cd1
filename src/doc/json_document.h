// The document as code (trevnactl export-json / import-json): the text form of expressions in
// the script syntax, read back by a small parser, and the checks a detector written by hand
// must pass (the same that the document reader applies to a file).
//
// Expression text: "0", "1", "A1".."D32" (any decimal number), "(x & y)", "(x | y)",
// "(x ^ y)"; spaces are optional and the empty text is `Undefined`. So that every tree a
// document can hold comes back unchanged, the text also knows the editor's label kinds: "Y3",
// "Z7", "Bc" and "(x = y)" for `Assign`, and an empty operand is `Undefined`.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "doc/detector.h"
#include "doc/expression.h"

// The text of a tree: PrintExpression's form for what the script holds, plus the forms above.
std::string ExpressionText(const ExprNode& node);

// A syntax error: `position` is the 1-based character position where the text went wrong.
class ExpressionSyntaxError : public std::runtime_error {
 public:
  ExpressionSyntaxError(std::size_t position, const std::string& what)
      : std::runtime_error(what), position_(position) {}
  std::size_t Position() const { return position_; }

 private:
  std::size_t position_;
};

// Parses an expression text; throws ExpressionSyntaxError (texts in UTF-8). Trees deeper than
// kMaxExpressionDepth are refused.
ExprNode ParseExpressionText(std::string_view text);

// Whether a detector's fields pass the document reader's checks: kind 0 or 1, track 0..3,
// feature threshold 0..999, angle 0..359, fill percent 0..100. Returns the name of the first
// field that fails, or empty.
std::string InvalidDetectorField(const Detector& detector);
