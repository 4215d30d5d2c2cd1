// A synthetic road as a card's camera would see it: a road running towards the horizon with
// four lanes and vehicles driving along them, as 180 x 144 grey pictures. The picture is a
// pure function of the track and the time, so the live stream and the archive recordings
// show the same traffic, and the boxes of the vehicles tell which detector areas they cover.
#pragma once

#include <cstdint>
#include <vector>

namespace cardsim {

struct VehicleBox {
  int left, top, right, bottom;  // right and bottom exclusive
};

class RoadScene {
 public:
  explicit RoadScene(unsigned track);

  // Draws the scene at `seconds` into `grey` (180 x 144, row 0 first). With `boxes`, also
  // returns the boxes of the vehicles in view. `withTraffic` false gives the empty road.
  void Render(double seconds, std::uint8_t* grey, std::vector<VehicleBox>* boxes, bool withTraffic = true) const;

 private:
  struct Lane {
    double period;     // seconds between vehicles
    double travel;     // seconds from the horizon to the bottom edge
    bool towards;      // driving towards the camera
  };
  double RoadLeft(double y) const;
  double RoadRight(double y) const;

  unsigned track_;
  double vanishX_;
  Lane lanes_[4];
};

}  // namespace cardsim
