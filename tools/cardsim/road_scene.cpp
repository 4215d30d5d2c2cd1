#include "road_scene.h"

#include <algorithm>
#include <cmath>

#include "program_package.h"

namespace cardsim {
namespace {

constexpr int kHorizon = 22;

std::uint32_t Hash(std::uint32_t a, std::uint32_t b, std::uint32_t c) {
  std::uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u ^ (c + 0x165667B1u) * 0xC2B2AE3Du;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  h ^= h >> 15;
  return h;
}

std::uint8_t Clamp(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

}  // namespace

RoadScene::RoadScene(unsigned track) : track_(track) {
  vanishX_ = 76.0 + 9.0 * track;
  const double periods[4][4] = {
      {2.9, 4.1, 3.6, 5.3}, {3.3, 4.7, 3.1, 4.4}, {2.6, 5.1, 4.0, 3.4}, {3.8, 2.8, 4.9, 3.7}};
  for (int i = 0; i < 4; ++i) {
    lanes_[i].period = periods[track % 4][i];
    lanes_[i].travel = 3.2 + 0.4 * i + 0.2 * track;
    lanes_[i].towards = i >= 2;
  }
}

double RoadScene::RoadLeft(double y) const {
  const double r = (y - kHorizon) / (kPictureHeight - 1 - kHorizon);
  return vanishX_ - 4 - (vanishX_ - 4 - 6) * r;
}

double RoadScene::RoadRight(double y) const {
  const double r = (y - kHorizon) / (kPictureHeight - 1 - kHorizon);
  return vanishX_ + 4 + (174 - vanishX_ - 4) * r;
}

void RoadScene::Render(double seconds, std::uint8_t* grey, std::vector<VehicleBox>* boxes, bool withTraffic) const {
  const std::uint32_t frame = static_cast<std::uint32_t>(seconds * 25.0);
  // Ground: sky above the horizon, verges, asphalt, lane markings.
  for (int y = 0; y < kPictureHeight; ++y) {
    std::uint8_t* row = grey + y * kPictureWidth;
    if (y < kHorizon) {
      for (int x = 0; x < kPictureWidth; ++x) row[x] = Clamp(190 + y - static_cast<int>(Hash(x, y, 7) % 3));
      continue;
    }
    const double left = RoadLeft(y), right = RoadRight(y);
    const double depth = std::sqrt((y - kHorizon) / double(kPictureHeight - 1 - kHorizon));
    const bool dash = std::fmod(depth * 9.0 + 0.25, 1.0) < 0.5;
    const double markWidth = 0.6 + 1.4 * depth;
    for (int x = 0; x < kPictureWidth; ++x) {
      int v;
      if (x < left - 1 || x > right + 1) {
        v = 112 + static_cast<int>(Hash(x / 2, y / 2, track_) % 18);  // grass verge
      } else {
        v = 78 + static_cast<int>(Hash(x, y, 11) % 7);
        const double lanePos = (x - left) / (right - left) * 4.0;
        for (int b = 0; b <= 4; ++b) {
          const double dx = std::fabs(lanePos - b) * (right - left) / 4.0;
          if (dx > markWidth / 2 + 0.3) continue;
          if (b == 0 || b == 4 || b == 2 || dash) v = 205;
        }
      }
      row[x] = Clamp(v);
    }
  }
  if (boxes) boxes->clear();
  if (!withTraffic) return;

  // Vehicles, far ones first so that near ones cover them.
  struct Draw {
    VehicleBox box;
    int body;
    bool truck;
  };
  std::vector<Draw> draws;
  for (int lane = 0; lane < 4; ++lane) {
    const Lane& l = lanes_[lane];
    const long first = static_cast<long>(std::floor((seconds - l.travel) / l.period)) - 1;
    const long last = static_cast<long>(std::floor(seconds / l.period)) + 1;
    for (long k = first; k <= last; ++k) {
      const std::uint32_t h = Hash(static_cast<std::uint32_t>(k), lane, track_ + 100);
      if (h % 5 == 0) continue;  // a gap in the traffic
      const double start = k * l.period + (h % 1000) / 1000.0 * l.period * 0.4;
      const double u = (seconds - start) / l.travel;
      if (u < 0 || u >= 1) continue;
      const double s = l.towards ? u : 1 - u;
      const double bottom = kHorizon + 2 + (kPictureHeight + 14 - kHorizon) * s * s;
      const double left = RoadLeft(std::min(bottom, 143.0)), right = RoadRight(std::min(bottom, 143.0));
      const double laneWidth = (right - left) / 4;
      const double centre = left + laneWidth * (lane + 0.5);
      const bool truck = h % 7 == 1;
      const double width = laneWidth * (truck ? 0.85 : 0.72);
      const double height = width * (truck ? 1.5 : 0.85);
      Draw d;
      d.box = {static_cast<int>(std::lround(centre - width / 2)), static_cast<int>(std::lround(bottom - height)),
               static_cast<int>(std::lround(centre + width / 2)), static_cast<int>(std::lround(bottom))};
      d.body = (h >> 8) % 3 == 0 ? 215 : ((h >> 8) % 3 == 1 ? 35 : 140);
      d.truck = truck;
      if (d.box.right - d.box.left < 1 || d.box.bottom - d.box.top < 1) continue;
      draws.push_back(d);
    }
  }
  std::sort(draws.begin(), draws.end(), [](const Draw& a, const Draw& b) { return a.box.bottom < b.box.bottom; });
  for (const Draw& d : draws) {
    const int w = d.box.right - d.box.left, hgt = d.box.bottom - d.box.top;
    for (int y = std::max(d.box.top, 0); y < std::min(d.box.bottom + 2, kPictureHeight); ++y) {
      for (int x = std::max(d.box.left, 0); x < std::min(d.box.right, kPictureWidth); ++x) {
        std::uint8_t& px = grey[y * kPictureWidth + x];
        if (y >= d.box.bottom) {  // shadow under the vehicle
          px = Clamp(px - 40);
          continue;
        }
        const int ry = (y - d.box.top) * 10 / std::max(hgt, 1);
        int v = d.body;
        if (!d.truck && ry >= 2 && ry <= 4) v = 55;                 // windscreen
        if (x == d.box.left || x == d.box.right - 1) v -= 25;      // flanks
        if (ry == 9 && (x - d.box.left < w / 4 || d.box.right - x <= w / 4)) v = 240;  // lamps
        px = Clamp(v + static_cast<int>(Hash(x, y, frame) % 5));
      }
    }
    if (boxes) {
      VehicleBox clipped{std::max(d.box.left, 0), std::max(d.box.top, 0), std::min(d.box.right, kPictureWidth),
                         std::min(d.box.bottom, kPictureHeight)};
      if (clipped.left < clipped.right && clipped.top < clipped.bottom) boxes->push_back(clipped);
    }
  }
}

}  // namespace cardsim
