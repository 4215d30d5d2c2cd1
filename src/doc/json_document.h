// The document as JSON (trevnactl export-json / import-json; the program may offer the same):
// one JSON file with the detectors and definitions, and one 240 x 144 background bitmap per
// track beside it ("<stem>-A.bmp", ...).
//
// Definitions are written in the script syntax and only in it: "0", "1", "A1".."D32",
// "(x & y)", "(x | y)", "(x ^ y)", spaces optional; the empty text means `Undefined` and only
// for a whole Z or track definition. A revision whose trees hold anything else (labels,
// `Assign`, `Undefined` below the root or as an output root, detector numbers outside 1..32)
// cannot be exported; the export names the definition instead of writing text that could not
// come back. Importing behaves like the editor and Save: erased pixels anywhere on the canvas
// are accepted, and the file keeps those a saved file keeps (columns 30..209).
#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "doc/detector.h"
#include "doc/expression.h"
#include "doc/render_state.h"

// A syntax error in an expression text: `Position()` is the 1-based character position where
// the text went wrong (one past the end when it ended too early).
class ExpressionSyntaxError : public std::runtime_error {
 public:
  ExpressionSyntaxError(std::size_t position, const std::string& what)
      : std::runtime_error(what), position_(position) {}
  std::size_t Position() const { return position_; }

 private:
  std::size_t position_;
};

// Parses one expression in the script syntax; `emptyIsUndefined` lets the empty text stand for
// `Undefined` (a whole Z or track definition). Trees deeper than kMaxExpressionDepth are
// refused. Throws ExpressionSyntaxError.
ExprNode ParseExpressionText(std::string_view text, bool emptyIsUndefined);

// The first node of the tree (depth first, the root first) that the script syntax cannot say,
// or null when the whole tree can be written; `undefinedRoot` allows an `Undefined` root.
const ExprNode* UnexpressibleNode(const ExprNode& root, bool undefinedRoot);

// Whether a detector's fields pass the document reader's checks: kind 0 or 1, track 0..3,
// feature threshold 0..999, angle 0..359, fill percent 0..100. Returns the name of the first
// field that fails, or empty.
std::string InvalidDetectorField(const Detector& detector);

// "normal", "directional" or "contrast" (contrast wins when a damaged file sets both flags).
const char* DetectorTypeName(const Detector& detector);

// The erased pixels a saved file keeps: columns 30..209 of rows 0..143, row by row.
std::vector<CanvasPoint> StoredErasedPixels(const Detector& detector);

// The JSON text (UTF-8) and the background bitmaps it names.
struct JsonDocument {
  struct Bitmap {
    std::string name;  // UTF-8 file name without a folder
    std::string bytes;
  };
  std::string text;
  std::vector<Bitmap> bitmaps;
};

// The JSON form of a revision; the bitmaps are named `utf8Stem` + "-A.bmp" and so on. Throws
// std::runtime_error (Windows-1250) naming the first definition that cannot be written.
JsonDocument DocumentToJson(const RenderState& state, const std::string& utf8Stem);

// Reads a revision from JSON text. `readBitmap` returns the bytes of a background file named in
// the text (as written there, UTF-8) and throws when it cannot; `sourceName` (Windows-1250)
// names the text in the message for malformed JSON. Throws std::runtime_error (Windows-1250)
// naming the field that is wrong, and for expressions the character position.
using BitmapReader = std::function<std::string(const std::string& utf8Name)>;
RenderState DocumentFromJson(std::string_view text, const BitmapReader& readBitmap, const std::string& sourceName);

// The same over files (Windows-1250 paths). Export checks everything before it writes: the
// bitmaps go beside the JSON file (its folder is made when missing), each file written the
// safe way. Import reads background files relative to the JSON file's folder.
void ExportJsonFile(const RenderState& state, const std::string& jsonPath);
RenderState ImportJsonFile(const std::string& jsonPath);
