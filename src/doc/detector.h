// One detector: an area of a track's picture (quadrilateral or line) with its parameters and
// its eraser mask.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "doc/picture.h"

enum class DetectorKind : std::int32_t { Quadrilateral = 0, Line = 1 };

struct CanvasPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
  bool operator==(const CanvasPoint&) const = default;
};

// Minimum and maximum x and y over a detector's used vertices.
struct DetectorBounds {
  std::int32_t minX = 0;
  std::int32_t minY = 0;
  std::int32_t maxX = 0;
  std::int32_t maxY = 0;
  bool Contains(std::int32_t x, std::int32_t y) const {
    return x >= minX && x <= maxX && y >= minY && y <= maxY;
  }
};

// Fields in the order of the record; the defaults are those a detector read from a file starts
// with (the editor overrides ladder steps, line width, track, number and kind on insert).
struct Detector {
  static constexpr std::uint32_t kMaxProgramNumber = 16;  // valid numbers for programming: 1..16
  static constexpr std::int32_t kTracks = 4;

  std::array<CanvasPoint, 4> vertices{{{50, 40}, {70, 40}, {80, 80}, {40, 80}}};
  std::int32_t ladderSteps = 1;     // 0..6
  std::int32_t lineWidth = 1;       // 1..4
  std::int32_t fillPercent = 0;     // 0 none, 1..99 dithered, 100 solid
  std::int32_t track = 0;           // 0..3 (A..D)
  std::uint32_t number = 1;         // 1..16 valid for programming
  DetectorKind kind = DetectorKind::Quadrilateral;
  bool contrast = false;
  bool directional = false;
  std::int32_t featureThreshold = 880;  // 0..999
  std::int32_t angle = 0;               // degrees 0..359
  std::int32_t threshold = 3;
  std::int32_t delay = 0;      // milliseconds
  std::int32_t extension = 0;  // milliseconds
  Cow<Picture> eraser = SharedWhitePicture();  // black pixel = removed from the area

  // Number of vertices in use: 2 for a line, 4 for a quadrilateral.
  int UsedVertices() const { return kind == DetectorKind::Line ? 2 : 4; }
  bool IsNormal() const { return !contrast && !directional; }

  bool operator==(const Detector& other) const;
};

// Bounding box over the used vertices; the running minimum starts at 1000, the maximum at 0.
DetectorBounds BoundingBox(const Detector& detector);

// The track letter 'A' + track (as "%c" of the track value, whatever its range).
char TrackLetter(std::int32_t track);

// "%c%u": track letter and number, e.g. "A1", "B12" (narrow) / wide.
std::string DetectorName(std::int32_t track, std::uint32_t number);
std::wstring DetectorWideName(std::int32_t track, std::uint32_t number);
