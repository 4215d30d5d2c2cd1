// One revision of the document content. Copying a RenderState behaves as a deep copy: pictures,
// eraser masks and definition trees are shared copy-on-write handles (Cow), so a copy costs
// references and writing through one revision never changes another.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "doc/detector.h"
#include "doc/picture.h"
#include "doc/expression.h"

// Definition families as stored in definition records.
enum class DefinitionFamily : std::uint32_t { Output = 4, Z = 8, Track = 13 };

// The selected node of the output definition editor as text (see doc/selection.h).
using SelectionPath = std::string;

struct RenderState {
  static constexpr std::size_t kOutputCount = 8;
  static constexpr std::size_t kZCount = 64;
  static constexpr std::size_t kMaxTracks = 4;

  std::vector<Cow<Picture>> pictures;  // background of each track, index = track (at most 4)
  std::int32_t selected = -1;          // index into detectors, -1 = none
  std::vector<Detector> detectors;     // order = numbering order of the device program
  std::int32_t pictureWidth = 180;     // 180, 192 or 240
  std::vector<Cow<ExprNode>> trackDefinitions;   // Ac..Dc
  std::vector<Cow<ExprNode>> outputDefinitions;  // Y1..Y8 (8 or none)
  std::vector<Cow<ExprNode>> zDefinitions;       // Z1..Z64 (64 or none)
  SelectionPath selectionPath;                   // selected node of the definition editor

  // A default RenderState is the empty revision a file is read into: no pictures, no detectors,
  // width 180, no definitions, nothing selected. New() is the content of a new document:
  // two white pictures, eight output and two track definitions (all One), no Z definitions.
  static RenderState New();

  // The selected detector, or null when none is selected (or the index is out of range).
  const Detector* SelectedDetector() const;
  Detector* SelectedDetector();

  // First column of the visible picture, (240 - width) / 2, and one past the last.
  std::int32_t VisibleLeft() const { return (Picture::kCanvasWidth - pictureWidth) / 2; }
  std::int32_t VisibleRight() const { return (Picture::kCanvasWidth + pictureWidth) / 2; }

  // Whether a detector of that track and number exists.
  bool HasDetector(std::int32_t track, std::uint32_t number) const;
};

// For each track 0..3 a set with bit (number - 1) for every detector numbered 1..32; detectors
// on track 4 or above are ignored.
std::array<std::uint32_t, 4> UsedNumbers(const RenderState& state);

// A new output, track or Z root.
Cow<ExprNode> NewDefinitionRoot(NodeKind kind);
