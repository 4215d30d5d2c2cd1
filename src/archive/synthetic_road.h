// Synthetic traffic pictures: a road seen from an overhead traffic camera, with vehicles
// moving along its lanes. Used for the archive medium's sample picture, by the card
// simulator for live pictures and archive recordings, and by tests and benchmarks.
//
// Everything is deterministic: the same track, picture size and time always give the same
// picture, on every platform (integer hashing, no library random numbers).
//
//   RoadScene scene(/*track=*/1);                  // 180 x 144 grey by default
//   std::vector<std::uint8_t> grey = scene.Render(12.5);   // width * height samples
//   for (const auto& v : scene.VehiclesAt(12.5)) { ... v.left, v.top, v.right, v.bottom ... }
//
// Geometry. The camera stands above the road and looks along it; distances along the road
// run from about 8 m (bottom row) to 85 m (top row), so lanes converge towards the top.
// The left half of the lanes carries traffic away from the camera, the right half towards
// it. Each track (0..3, any value is accepted) has its own camera offset, lane count, speeds
// and traffic, and a little sensor noise that changes with every frame (6.25 per second),
// so JPEG sizes respond to quality as they do for real pictures.
#pragma once

#include <cstdint>
#include <vector>

namespace synthetic {

// One vehicle in view: its lane, the distance of its front from the camera in metres, and
// its bounding box in pixels (right and bottom exclusive, clipped to the picture).
struct Vehicle {
  std::uint32_t lane = 0;
  std::uint64_t serial = 0;  // the vehicle's number within its lane (0, 1, 2, ...)
  double distance = 0;
  bool approaching = false;
  int left = 0, top = 0, right = 0, bottom = 0;
};

class RoadScene {
 public:
  explicit RoadScene(std::uint32_t track = 0, std::uint32_t width = 180, std::uint32_t height = 144);

  std::uint32_t Width() const { return width_; }
  std::uint32_t Height() const { return height_; }
  std::uint32_t Lanes() const { return lanes_; }

  // Vehicles (partly) visible at `seconds` (any time >= 0).
  std::vector<Vehicle> VehiclesAt(double seconds) const;

  // Number of vehicles in `lane` whose front has crossed the count line (30 m from the
  // camera) by `seconds`: what a detector over that line would have counted.
  std::uint64_t VehiclesCounted(std::uint32_t lane, double seconds) const;

  // Renders the picture at `seconds`: width * height grey samples, rows top to bottom.
  void Render(double seconds, std::uint8_t* grey) const;
  std::vector<std::uint8_t> Render(double seconds) const;

  // The same picture as 3 bytes per pixel (blue, green, red all equal), rows top to bottom.
  std::vector<std::uint8_t> RenderBgr(double seconds) const;

  static constexpr double kFramesPerSecond = 6.25;
  static constexpr double kCountLine = 30.0;

 private:
  struct LaneTraffic {
    double centre;     // metres from the road's centre line
    bool approaching;  // towards the camera
    double period;     // seconds between vehicle slots
    double speed;      // metres per second
  };
  double EntryTime(std::uint32_t lane, std::uint64_t serial) const;
  double Speed(std::uint32_t lane, std::uint64_t serial) const;
  double FrontDistance(std::uint32_t lane, std::uint64_t serial, double seconds) const;
  double RowOfDistance(double metres) const;
  double DistanceOfRow(double row) const;

  std::uint32_t track_;
  std::uint32_t width_;
  std::uint32_t height_;
  std::uint32_t lanes_;
  double centreColumn_;
  double focal_;
  double rowScale_;
  double rowOffset_;
  std::vector<LaneTraffic> traffic_;
};

}  // namespace synthetic
