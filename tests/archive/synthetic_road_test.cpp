#include "archive/synthetic_road.h"

#include <gtest/gtest.h>

#include "archive/avi.h"
#include "archive/sample_picture.h"
#include "base/bytes.h"

using synthetic::RoadScene;

TEST(SyntheticRoad, SamePictureForTheSameTrackAndTime) {
  EXPECT_EQ(RoadScene(1).Render(12.0), RoadScene(1).Render(12.0));
  EXPECT_NE(RoadScene(1).Render(12.0), RoadScene(2).Render(12.0));
  EXPECT_NE(RoadScene(1).Render(12.0), RoadScene(1).Render(12.16));
  EXPECT_EQ(RoadScene(3, 240, 144).Render(1.0).size(), 240u * 144u);
}

TEST(SyntheticRoad, VehiclesMoveAlongTheirLanes) {
  const RoadScene scene(0);
  std::size_t seen = 0;
  for (double t = 0; t < 60; t += 0.16) {
    for (const auto& v : scene.VehiclesAt(t)) {
      ++seen;
      EXPECT_LT(v.lane, scene.Lanes());
      EXPECT_TRUE(v.left >= 0 && v.left < v.right && v.right <= 180);
      EXPECT_TRUE(v.top >= 0 && v.top < v.bottom && v.bottom <= 144);
      // A moment later the same vehicle is nearer (approaching) or farther (receding).
      for (const auto& w : scene.VehiclesAt(t + 0.16)) {
        if (w.lane == v.lane && w.serial == v.serial) {
          if (v.approaching) {
            EXPECT_LT(w.distance, v.distance);
          } else {
            EXPECT_GT(w.distance, v.distance);
          }
        }
      }
    }
  }
  EXPECT_GT(seen, 300u);
}

TEST(SyntheticRoad, VehiclesDarkenOrBrightenTheirBox) {
  // The picture inside a vehicle's box differs from the empty road a little later.
  const RoadScene scene(2);
  for (double t : {10.0, 20.0, 30.0}) {
    const auto now = scene.Render(t);
    for (const auto& v : scene.VehiclesAt(t)) {
      if ((v.right - v.left) * (v.bottom - v.top) < 40) continue;
      std::size_t changed = 0, total = 0;
      const auto later = scene.Render(t + 30);
      for (int y = v.top; y < v.bottom; ++y)
        for (int x = v.left; x < v.right; ++x, ++total)
          changed += std::abs(now[y * 180 + x] - later[y * 180 + x]) > 12;
      EXPECT_GT(changed * 4, total) << "vehicle at t=" << t << " lane " << v.lane;
    }
  }
}

TEST(SyntheticRoad, CountsGrowWithTime) {
  const RoadScene scene(1);
  for (std::uint32_t lane = 0; lane < scene.Lanes(); ++lane) {
    std::uint64_t last = 0;
    for (double t = 0; t < 300; t += 0.5) {
      const std::uint64_t count = scene.VehiclesCounted(lane, t);
      EXPECT_GE(count, last);
      last = count;
    }
    EXPECT_GT(last, 20u);
    EXPECT_LT(last, 80u);
  }
  EXPECT_EQ(scene.VehiclesCounted(9, 100), 0u);
}

TEST(SamplePicture, BitmapHoldsTheSampleInItsBlueChannel) {
  const std::string bmp = SampleBitmapFile();
  ASSERT_EQ(bmp.size(), 54u + 180u * 144u * 3u);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  const auto* bits = reinterpret_cast<const std::uint8_t*>(bmp.data());
  EXPECT_EQ(LoadU32(bits + 18), 180u);
  EXPECT_EQ(LoadU32(bits + 22), 144u);
  EXPECT_EQ(SampleFromBitmapBits(bits + 54, 3, 540, /*bottomUp=*/true), SamplePicture());
  EXPECT_NE(SampleFromBitmapBits(bits + 54, 3, 540, /*bottomUp=*/false), SamplePicture());
}
