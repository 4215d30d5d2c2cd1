#include "archive/synthetic_road.h"

#include <algorithm>
#include <cmath>

namespace synthetic {
namespace {

constexpr double kNearest = 10.0;   // metres from the camera at the bottom row
constexpr double kFarthest = 85.0;  // ... and at the top row
constexpr double kLaneWidth = 3.5;
constexpr double kShoulder = 0.6;
constexpr double kMarkingWidth = 0.15;

// Integer hashing gives the same noise and traffic on every platform.
std::uint32_t Hash(std::uint32_t a, std::uint32_t b = 0, std::uint32_t c = 0, std::uint32_t d = 0) {
  std::uint32_t h = 0x9E3779B9u ^ a;
  for (std::uint32_t v : {b, c, d}) {
    h ^= v + 0x7F4A7C15u + (h << 6) + (h >> 2);
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
  }
  h *= 0xC2B2AE35u;
  h ^= h >> 16;
  return h;
}

double Unit(std::uint32_t h) { return (h & 0xFFFFFF) / double(0x1000000); }

// Smooth value noise in [0, 1) over a lattice of 1 unit.
double ValueNoise(double x, double y, std::uint32_t seed) {
  const double fx = std::floor(x), fy = std::floor(y);
  const auto ix = static_cast<std::uint32_t>(static_cast<std::int32_t>(fx));
  const auto iy = static_cast<std::uint32_t>(static_cast<std::int32_t>(fy));
  double tx = x - fx, ty = y - fy;
  tx = tx * tx * (3 - 2 * tx);
  ty = ty * ty * (3 - 2 * ty);
  const double a = Unit(Hash(ix, iy, seed)), b = Unit(Hash(ix + 1, iy, seed));
  const double c = Unit(Hash(ix, iy + 1, seed)), d = Unit(Hash(ix + 1, iy + 1, seed));
  return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

// Share of the pixel [x - half, x + half] covered by the stripe [centre - w/2, centre + w/2].
double Coverage(double x, double half, double centre, double width) {
  const double lo = std::max(x - half, centre - width / 2);
  const double hi = std::min(x + half, centre + width / 2);
  return hi > lo ? (hi - lo) / (2 * half) : 0.0;
}

struct VehicleLook {
  double length;
  double halfWidth;
  double shade;
  bool truck;
};

VehicleLook LookOf(std::uint32_t track, std::uint32_t lane, std::uint64_t serial) {
  const std::uint32_t h = Hash(track, lane, static_cast<std::uint32_t>(serial), 0xCA7);
  static const double kShades[] = {28, 55, 80, 150, 185, 215, 120, 40};
  VehicleLook look;
  look.truck = h % 9 == 0;
  look.length = look.truck ? 10.0 : 4.2 + Unit(h >> 4) * 0.8;
  look.halfWidth = look.truck ? 1.25 : 0.85 + Unit(h >> 9) * 0.1;
  look.shade = look.truck ? 175 + (h >> 20) % 40 : kShades[(h >> 24) % 8];
  return look;
}

// Apparent extent along the road: a vehicle's height stretches it away from the camera.
double Span(const VehicleLook& look) { return look.length * (look.truck ? 1.45 : 1.3); }

// Grey value of a vehicle at relative position u (0 = the end nearest the camera, 1 = the
// far end) and v (-1..1 across), for a vehicle facing the camera or facing away.
double VehicleShade(const VehicleLook& look, double u, double v, bool approaching) {
  const double body = look.shade;
  if (std::fabs(v) > 0.86) return body * 0.7;  // sides in shade
  if (look.truck) {
    const double cab = approaching ? u : 1 - u;
    if (cab < 0.05) return 35;
    if (cab < 0.12) return 50;  // windscreen
    if (cab < 0.2) return body * 0.85;
    return std::fmod(u * 10, 1.0) < 0.08 ? body * 0.8 : body;  // box panels
  }
  const double f = approaching ? u : 1 - u;  // 0 at the front
  if (f < 0.07) return 38;                   // bumper and grille
  if (f < 0.27) return body;                 // bonnet
  if (f < 0.42) return 30 + body * 0.1;      // windscreen
  if (f < 0.78) return std::min(255.0, body + 12);  // roof
  if (f < 0.9) return 45 + body * 0.1;       // rear window
  return body * 0.92;
}

}  // namespace

RoadScene::RoadScene(std::uint32_t track, std::uint32_t width, std::uint32_t height)
    : track_(track), width_(std::max(1u, width)), height_(std::max(1u, height)) {
  static const std::uint32_t kLanes[] = {3, 2, 4, 2};
  static const double kOffset[] = {-6, 10, 0, -14};
  lanes_ = kLanes[track_ % 4];
  centreColumn_ = width_ / 2.0 + kOffset[track_ % 4] * width_ / 180.0;
  focal_ = 0.78 * width_;
  // row = rowOffset + rowScale / distance: the top edge at kFarthest, the bottom at kNearest.
  rowScale_ = height_ / (1 / kNearest - 1 / kFarthest);
  rowOffset_ = -rowScale_ / kFarthest;
  const std::uint32_t receding = lanes_ / 2;
  for (std::uint32_t lane = 0; lane < lanes_; ++lane) {
    LaneTraffic t;
    t.centre = (lane + 0.5) * kLaneWidth - lanes_ * kLaneWidth / 2;
    t.approaching = lane >= receding;
    t.period = 4.5 + Unit(Hash(track_, lane, 0x9E)) * 5.0;
    t.speed = 9.0 + Unit(Hash(track_, lane, 0x5D)) * 6.0;
    traffic_.push_back(t);
  }
}

double RoadScene::RowOfDistance(double metres) const { return rowOffset_ + rowScale_ / metres; }
double RoadScene::DistanceOfRow(double row) const { return rowScale_ / (row - rowOffset_); }

double RoadScene::EntryTime(std::uint32_t lane, std::uint64_t serial) const {
  const LaneTraffic& t = traffic_[lane];
  const double jitter = Unit(Hash(track_, lane, static_cast<std::uint32_t>(serial), 0x71)) * 0.6;
  return (static_cast<double>(serial) + jitter) * t.period - 2.0 * t.period;
}

double RoadScene::Speed(std::uint32_t lane, std::uint64_t serial) const {
  return traffic_[lane].speed * (0.96 + 0.08 * Unit(Hash(track_, lane, static_cast<std::uint32_t>(serial), 0x3B)));
}

// Distance of the end of the vehicle nearest the camera.
double RoadScene::FrontDistance(std::uint32_t lane, std::uint64_t serial, double seconds) const {
  const double travelled = Speed(lane, serial) * (seconds - EntryTime(lane, serial));
  const double span = Span(LookOf(track_, lane, serial));
  return traffic_[lane].approaching ? kFarthest + 1 - travelled : kNearest - span - 1 + travelled;
}

std::vector<Vehicle> RoadScene::VehiclesAt(double seconds) const {
  std::vector<Vehicle> out;
  for (std::uint32_t lane = 0; lane < lanes_; ++lane) {
    const LaneTraffic& t = traffic_[lane];
    // A vehicle is in view for at most (range + longest span) / slowest speed seconds.
    const double inView = (kFarthest - kNearest + 20) / (t.speed * 0.96);
    const double first = std::floor((seconds - inView) / t.period) + 1;
    const double last = std::floor(seconds / t.period) + 3;
    for (double s = std::max(0.0, first); s <= last; s += 1) {
      const auto serial = static_cast<std::uint64_t>(s);
      const VehicleLook look = LookOf(track_, lane, serial);
      const double near = FrontDistance(lane, serial, seconds);
      const double far = near + Span(look);
      if (far <= kNearest || near >= kFarthest) continue;
      Vehicle v;
      v.lane = lane;
      v.serial = serial;
      v.distance = near;
      v.approaching = t.approaching;
      const double zNear = std::max(near, kNearest);
      const double zFar = std::min(far, kFarthest);
      const double halfWidth = look.halfWidth;
      v.top = std::clamp(static_cast<int>(std::floor(RowOfDistance(zFar))), 0, int(height_));
      v.bottom = std::clamp(static_cast<int>(std::ceil(RowOfDistance(zNear))), 0, int(height_));
      const double l1 = centreColumn_ + focal_ * (t.centre - halfWidth) / zNear;
      const double l2 = centreColumn_ + focal_ * (t.centre - halfWidth) / zFar;
      const double r1 = centreColumn_ + focal_ * (t.centre + halfWidth) / zNear;
      const double r2 = centreColumn_ + focal_ * (t.centre + halfWidth) / zFar;
      v.left = std::clamp(static_cast<int>(std::floor(std::min(l1, l2))), 0, int(width_));
      v.right = std::clamp(static_cast<int>(std::ceil(std::max(r1, r2))), 0, int(width_));
      if (v.left < v.right && v.top < v.bottom) out.push_back(v);
    }
  }
  return out;
}

std::uint64_t RoadScene::VehiclesCounted(std::uint32_t lane, double seconds) const {
  if (lane >= lanes_) return 0;
  const LaneTraffic& t = traffic_[lane];
  // Crossing times grow with the serial (slots are at least 0.4 periods apart and speeds
  // differ by a few per cent), so count down from the last slot that may have crossed.
  auto crossed = [&](std::uint64_t serial) {
    const double near = FrontDistance(lane, serial, seconds);
    const double front = t.approaching ? near : near + Span(LookOf(track_, lane, serial));
    return t.approaching ? front <= kCountLine : front >= kCountLine;
  };
  if (seconds < 0) return 0;
  std::int64_t serial = static_cast<std::int64_t>(std::floor(seconds / t.period)) + 3;
  while (serial >= 0 && !crossed(static_cast<std::uint64_t>(serial))) --serial;
  return static_cast<std::uint64_t>(serial + 1);
}

void RoadScene::Render(double seconds, std::uint8_t* grey) const {
  const double roadHalf = lanes_ * kLaneWidth / 2 + kShoulder;
  const std::uint32_t receding = lanes_ / 2;
  const double centreLine = receding * kLaneWidth - lanes_ * kLaneWidth / 2;
  const auto frame = static_cast<std::uint32_t>(std::floor(seconds * kFramesPerSecond));
  const std::vector<Vehicle> vehicles = VehiclesAt(seconds);

  struct Placed {
    VehicleLook look;
    double centre, near, far;
    bool approaching;
  };
  std::vector<Placed> placed;
  for (const Vehicle& v : vehicles) {
    const VehicleLook look = LookOf(track_, v.lane, v.serial);
    placed.push_back({look, traffic_[v.lane].centre, v.distance, v.distance + Span(look), v.approaching});
  }

  for (std::uint32_t y = 0; y < height_; ++y) {
    const double z = DistanceOfRow(y + 0.5);
    const double metresPerColumn = z / focal_;
    const double haze = std::clamp((z - kNearest) / (kFarthest - kNearest), 0.0, 1.0) * 0.22;
    std::uint8_t* row = grey + std::size_t{y} * width_;
    for (std::uint32_t x = 0; x < width_; ++x) {
      const double X = (x + 0.5 - centreColumn_) * metresPerColumn;
      const double half = metresPerColumn / 2;
      const double ax = std::fabs(X);
      double value;
      if (ax <= roadHalf) {
        // Asphalt: coarse patches, fine grain and darker wheel tracks.
        value = 88 + 16 * ValueNoise(X * 0.7, z * 0.35, track_) + 10 * ValueNoise(X * 6, z * 3, track_ + 7);
        for (const LaneTraffic& t : traffic_) {
          const double d = std::fabs(std::fabs(X - t.centre) - 0.85);
          value -= 9 * std::exp(-d * d / 0.08);
        }
        // Markings: solid edge lines, dashed lane lines, a double centre line, a crossing.
        double paint = 0;
        paint += Coverage(X, half, -roadHalf + kShoulder - 0.1, kMarkingWidth);
        paint += Coverage(X, half, roadHalf - kShoulder + 0.1, kMarkingWidth);
        const bool dash = std::fmod(z + 3.0 * track_, 9.0) < 3.0;
        for (std::uint32_t lane = 1; lane < lanes_; ++lane) {
          const double at = lane * kLaneWidth - lanes_ * kLaneWidth / 2;
          if (receding > 0 && lane == receding) {
            paint += Coverage(X, half, at - 0.12, kMarkingWidth) + Coverage(X, half, at + 0.12, kMarkingWidth);
          } else if (dash) {
            paint += Coverage(X, half, at, kMarkingWidth);
          }
        }
        (void)centreLine;
        if (z > 19 && z < 23 && ax < roadHalf - kShoulder && std::fmod(X + 20.0, 1.1) < 0.55) paint = 1;
        value += (205 - value) * std::min(1.0, paint);
      } else if (ax <= roadHalf + 0.25) {
        value = 150 + 10 * ValueNoise(X * 4, z * 2, track_ + 3);  // kerb
      } else {
        // Verge: grass, with a darker hedge further out.
        value = 105 + 30 * ValueNoise(X * 0.9, z * 0.6, track_ + 11) + 14 * ValueNoise(X * 5, z * 4, track_ + 13);
        if (ax > roadHalf + 6) value -= 35 * ValueNoise(X * 0.4, z * 0.25, track_ + 17);
      }
      // Shadows on the ground beside and behind each vehicle (light from the upper left).
      for (const Placed& p : placed) {
        if (X > p.centre - p.look.halfWidth + 0.2 && X < p.centre + p.look.halfWidth + 0.45 && z > p.near + 0.3 &&
            z < p.near + p.look.length * 1.05)
          value *= 0.62;
      }
      for (const Placed& p : placed) {
        if (z < p.near || z >= p.far) continue;
        const double v = (X - p.centre) / p.look.halfWidth;
        if (std::fabs(v) > 1) continue;
        const double u = (z - p.near) / (p.far - p.near);
        value = VehicleShade(p.look, u, v, p.approaching);
        value += 6 * ValueNoise(X * 8, z * 8, track_ + 23) - 3;
      }
      value = value * (1 - haze) + 150 * haze;
      // Sensor noise, new in every frame.
      value += static_cast<int>(Hash(x, y, frame, track_ + 29) % 7) - 3;
      row[x] = static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
    }
  }
}

std::vector<std::uint8_t> RoadScene::Render(double seconds) const {
  std::vector<std::uint8_t> grey(std::size_t{width_} * height_);
  Render(seconds, grey.data());
  return grey;
}

std::vector<std::uint8_t> RoadScene::RenderBgr(double seconds) const {
  const std::vector<std::uint8_t> grey = Render(seconds);
  std::vector<std::uint8_t> bgr(grey.size() * 3);
  for (std::size_t i = 0; i < grey.size(); ++i) bgr[3 * i] = bgr[3 * i + 1] = bgr[3 * i + 2] = grey[i];
  return bgr;
}

}  // namespace synthetic
