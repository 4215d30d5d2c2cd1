#include "doc/detector.h"

#include <algorithm>

bool Detector::operator==(const Detector& other) const {
  return vertices == other.vertices && ladderSteps == other.ladderSteps && lineWidth == other.lineWidth &&
         fillPercent == other.fillPercent && track == other.track && number == other.number &&
         kind == other.kind && contrast == other.contrast && directional == other.directional &&
         featureThreshold == other.featureThreshold && angle == other.angle && threshold == other.threshold &&
         delay == other.delay && extension == other.extension &&
         (eraser.Shares(other.eraser) || *eraser == *other.eraser);
}

DetectorBounds BoundingBox(const Detector& detector) {
  DetectorBounds box{1000, 1000, 0, 0};
  for (int i = 0; i < detector.UsedVertices(); ++i) {
    const CanvasPoint& v = detector.vertices[static_cast<std::size_t>(i)];
    box.minX = std::min(box.minX, v.x);
    box.minY = std::min(box.minY, v.y);
    box.maxX = std::max(box.maxX, v.x);
    box.maxY = std::max(box.maxY, v.y);
  }
  return box;
}

char TrackLetter(std::int32_t track) { return static_cast<char>('A' + track); }

std::string DetectorName(std::int32_t track, std::uint32_t number) {
  std::string name = std::to_string(number);
  name.insert(name.begin(), TrackLetter(track));
  return name;
}

std::wstring DetectorWideName(std::int32_t track, std::uint32_t number) {
  std::wstring name = std::to_wstring(number);
  name.insert(name.begin(), static_cast<wchar_t>(static_cast<unsigned char>(TrackLetter(track))));
  return name;
}
