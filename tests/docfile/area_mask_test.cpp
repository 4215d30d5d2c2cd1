#include "doc/area_mask.h"

#include <gtest/gtest.h>

#include "docfile_test_support.h"

using docfile_test::MaskOnWhite;
using docfile_test::NewQuadrilateral;

namespace {

// Mask bits of a row, as canvas columns.
std::vector<int> CanvasColumns(const AreaMask& mask, int y) {
  std::vector<int> columns;
  for (int x = 0; x < AreaMask::kWidth; ++x)
    if (mask.Test(x, y)) columns.push_back(x + AreaMask::kFirstColumn);
  return columns;
}

TEST(AreaMask, NewQuadrilateralIsItsThinOutlineShiftedToMaskColumns) {
  const AreaMask mask = MaskOnWhite(NewQuadrilateral());
  // Top edge (50,40)-(70,40): columns 50..70 in row 40 (70 is where the next edge starts).
  std::vector<int> top;
  for (int x = 50; x <= 70; ++x) top.push_back(x);
  EXPECT_EQ(CanvasColumns(mask, 40), top);
  // Bottom edge from (80,80) back to (40,80).
  std::vector<int> bottom;
  for (int x = 40; x <= 80; ++x) bottom.push_back(x);
  EXPECT_EQ(CanvasColumns(mask, 80), bottom);
  // Half way down only the two slanted edges: one pixel each.
  const std::vector<int> middle = CanvasColumns(mask, 60);
  ASSERT_EQ(middle.size(), 2u);
  EXPECT_NEAR(middle[0], 45, 1);
  EXPECT_NEAR(middle[1], 75, 1);
  // Nothing outside the outline's rows, and the interior stays empty.
  EXPECT_TRUE(CanvasColumns(mask, 39).empty());
  EXPECT_TRUE(CanvasColumns(mask, 81).empty());
  EXPECT_FALSE(mask.Test(60 - 30, 60));
}

TEST(AreaMask, FillPercentSelectsSolidOrDither) {
  Detector solid = NewQuadrilateral();
  solid.fillPercent = 100;
  const AreaMask full = MaskOnWhite(solid);
  for (int x = 47; x <= 73; ++x) EXPECT_TRUE(full.Test(x - 30, 60)) << x;

  Detector dithered = solid;
  dithered.fillPercent = 20;
  const AreaMask sparse = MaskOnWhite(dithered);
  int kept = 0;
  for (int y = 0; y < AreaMask::kHeight; ++y) {
    for (int x = 0; x < AreaMask::kWidth; ++x) {
      if (!sparse.Test(x, y)) continue;
      ++kept;
      const int cx = (x + 30) % 4, cy = y % 4;
      const bool allowed = (cx == 0 && cy == 0) || (cx == 2 && cy == 0) || (cx == 2 && cy == 2);
      EXPECT_TRUE(allowed) << "pixel " << x + 30 << "," << y;
      EXPECT_TRUE(full.Test(x, y));
    }
  }
  // Every allowed pixel of the solid area survives.
  int expected = 0;
  for (int y = 0; y < AreaMask::kHeight; ++y)
    for (int x = 0; x < AreaMask::kWidth; ++x) {
      const int cx = (x + 30) % 4, cy = y % 4;
      if (full.Test(x, y) && ((cx == 0 && cy == 0) || (cx == 2 && cy == 0) || (cx == 2 && cy == 2))) ++expected;
    }
  EXPECT_EQ(kept, expected);
  EXPECT_GT(kept, 100);
}

TEST(AreaMask, LadderRungHalfWayAndNoLadderForLines) {
  Detector ladder = NewQuadrilateral();
  ladder.ladderSteps = 1;
  const AreaMask mask = MaskOnWhite(ladder);
  // The rung runs from (45,60) to (75,60), its end point left out (the outline covers it).
  const std::vector<int> row = CanvasColumns(mask, 60);
  ASSERT_FALSE(row.empty());
  EXPECT_EQ(row.front(), 45);
  EXPECT_EQ(row.back(), 75);
  EXPECT_EQ(row.size(), 31u);
  EXPECT_EQ(CanvasColumns(MaskOnWhite(NewQuadrilateral()), 60).size(), 2u);

  Detector line = NewQuadrilateral();
  line.kind = DetectorKind::Line;
  const AreaMask plain = MaskOnWhite(line);
  line.ladderSteps = 3;
  const AreaMask withSteps = MaskOnWhite(line);
  EXPECT_EQ(plain.Count(), withSteps.Count());
  EXPECT_EQ(plain.Count(), 20);  // (50,40) to (70,40), end point not drawn
}

TEST(AreaMask, LadderRoundsHalfAwayFromZeroInSinglePrecision) {
  EXPECT_EQ(raster::RoundLadder(2.5f), 3);
  EXPECT_EQ(raster::RoundLadder(-2.5f), -3);
  EXPECT_EQ(raster::RoundLadder(-2.4f), -2);
  EXPECT_EQ(raster::RoundLadder(0.49f), 0);
  // Three rungs between y 40 and 80 sit at 50, 60 and 70.
  Detector ladder = NewQuadrilateral();
  ladder.ladderSteps = 3;
  const AreaMask mask = MaskOnWhite(ladder);
  for (int y : {50, 60, 70}) EXPECT_GT(CanvasColumns(mask, y).size(), 20u) << y;
}

TEST(AreaMask, ThickLineIsFourPixelsWideAndDitheredLinesToo) {
  Detector line = NewQuadrilateral();
  line.kind = DetectorKind::Line;
  line.lineWidth = 4;
  const AreaMask mask = MaskOnWhite(line);
  int rows = 0;
  for (int y = 30; y < 50; ++y)
    if (mask.Test(60 - 30, y)) ++rows;
  EXPECT_EQ(rows, 4);

  line.fillPercent = 20;
  const AreaMask dithered = MaskOnWhite(line);
  EXPECT_GT(dithered.Count(), 0);
  EXPECT_LT(dithered.Count(), mask.Count() / 3);
}

TEST(AreaMask, ErasedPixelIsAbsentEvenInsideSolidFill) {
  Detector d = NewQuadrilateral();
  d.fillPercent = 100;
  d.eraser.Write().SetBlack(60, 60);
  d.eraser.Write().SetBlack(50, 40);  // on the outline
  const AreaMask mask = MaskOnWhite(d);
  EXPECT_FALSE(mask.Test(30, 60));
  EXPECT_FALSE(mask.Test(20, 40));
  EXPECT_TRUE(mask.Test(31, 60));
}

TEST(AreaMask, PartsOutsideTheCardColumnsAreLost) {
  Detector d = NewQuadrilateral();
  d.vertices = {{{10, 10}, {40, 10}, {40, 30}, {10, 30}}};
  const AreaMask mask = MaskOnWhite(d);
  EXPECT_TRUE(mask.Test(0, 10));   // canvas column 30
  EXPECT_TRUE(mask.Test(10, 30));  // canvas column 40
  d.vertices = {{{0, 0}, {20, 0}, {20, 20}, {0, 20}}};
  d.fillPercent = 100;
  const AreaMask outside = MaskOnWhite(d);
  EXPECT_EQ(outside.Count(), 0);
  const std::string file = EncodeAreaMask(outside);
  ASSERT_EQ(file.size(), kMaskFileSize);
  for (std::size_t i = 54; i < file.size(); ++i) ASSERT_EQ(file[i], 0) << i;
}

TEST(AreaMask, BackgroundNeverCountsEvenWhenRed) {
  raster::Surface red;
  red.Fill(raster::Colour{255, 0, 0});
  ToGrey(red);
  const AreaMask mask = BuildAreaMask(NewQuadrilateral(), red);
  EXPECT_EQ(mask.Count(), MaskOnWhite(NewQuadrilateral()).Count());
  EXPECT_EQ(red.Get(0, 0), (raster::Colour{53, 53, 53}));
}

TEST(AreaMask, EncodedFileLayout) {
  AreaMask mask;
  mask.Set(0, 0);      // top-left: last row of the file, bit 7 of byte 0
  mask.Set(179, 143);  // bottom-right: first row of the file, bit 4 of byte 22
  mask.Set(8, 143);
  const std::string file = EncodeAreaMask(mask);
  ASSERT_EQ(file.size(), 3366u);
  EXPECT_EQ(file.substr(0, 2), "BM");
  EXPECT_EQ(docfile_test::U32At(file, 2), 3366u);
  EXPECT_EQ(docfile_test::U32At(file, 6), 0u);
  EXPECT_EQ(docfile_test::U32At(file, 10), 54u);
  EXPECT_EQ(docfile_test::U32At(file, 14), 40u);
  EXPECT_EQ(docfile_test::U32At(file, 18), 180u);
  EXPECT_EQ(docfile_test::U32At(file, 22), 144u);
  EXPECT_EQ(docfile_test::U32At(file, 26), 0x00010001u);  // planes 1, 1 bit per pixel
  EXPECT_EQ(docfile_test::U32At(file, 30), 0u);
  EXPECT_EQ(docfile_test::U32At(file, 34), 3312u);
  for (std::size_t at = 38; at < 54; at += 4) EXPECT_EQ(docfile_test::U32At(file, at), 0u);
  const std::size_t firstRow = 54, lastRow = 54 + 143 * 23;
  EXPECT_EQ(static_cast<std::uint8_t>(file[lastRow]), 0x80);
  EXPECT_EQ(static_cast<std::uint8_t>(file[firstRow + 22]), 0x10);
  EXPECT_EQ(static_cast<std::uint8_t>(file[firstRow + 1]), 0x80);
}

TEST(RenderDetector, EditorColoursHandlesAndTransparentLayer) {
  raster::Surface target;
  target.Fill(raster::Colour{10, 20, 30});
  Detector d = NewQuadrilateral();
  RenderDetector(d, target, -1, false, false);
  EXPECT_EQ(target.Get(60, 40), kDetectorColour);
  EXPECT_EQ(target.Get(60, 60), (raster::Colour{10, 20, 30}));  // inside: untouched

  d.contrast = true;
  RenderDetector(d, target, -1, false, false);
  EXPECT_EQ(target.Get(60, 40), kContrastColour);

  RenderDetector(d, target, 2, true, false);
  EXPECT_EQ(target.Get(60, 40), kSelectedColour);
  // Handle squares: 6 x 6 frames from (x - 3, y - 3), right and bottom exclusive.
  EXPECT_EQ(target.Get(77, 77), kHighlightedHandle);
  EXPECT_EQ(target.Get(82, 82), kHighlightedHandle);
  EXPECT_NE(target.Get(83, 83), kHighlightedHandle);
  EXPECT_EQ(target.Get(47, 37), kHandleColour);

  raster::Surface mask;
  mask.Fill(raster::kWhite);
  RenderDetector(d, mask, 2, true, true);  // no handles when drawn for a mask
  EXPECT_EQ(mask.Get(77, 77), raster::kWhite);
}

TEST(RenderDetector, DamagedValuesStayBounded) {
  Detector d = NewQuadrilateral();
  d.vertices = {{{-2000000000, 5}, {2000000000, 5}, {2000000000, 2000000000}, {-5, 2000000000}}};
  d.ladderSteps = 2000000000;
  d.lineWidth = 2000000000;
  d.fillPercent = 50;
  const AreaMask mask = MaskOnWhite(d);
  EXPECT_GE(mask.Count(), 0);  // finishes without overflow (the sanitizers watch the arithmetic)
  d.lineWidth = -7;
  d.ladderSteps = -3;
  EXPECT_GT(MaskOnWhite(d).Count(), 0);
}

}  // namespace
