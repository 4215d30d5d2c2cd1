#include "doc/package.h"

#include <gtest/gtest.h>

#include "doc/area_mask.h"
#include "doc/render_state.h"
#include "docfile_test_support.h"

namespace {

TEST(ProgramPackage, EmptyDocumentHasConfigAndScriptOnly) {
  const RenderState state = RenderState::New();
  const auto entries = ReadProgramPackage(BuildProgramPackage(state, "C:\\dane\\skrzyzowanie.trv"));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "config.txt");
  EXPECT_EQ(entries[0].data, "alias = skrzyzowanie\ncompose_script = compose.txt\ndet_count = 0\n");
  EXPECT_EQ(entries[1].name, "compose.txt");
  EXPECT_EQ(entries[1].data, "Y1 = 1\nY2 = 1\nY3 = 1\nY4 = 1\nY5 = 1\nY6 = 1\nY7 = 1\nY8 = 1\n");
}

TEST(ProgramPackage, EntryChunksAreNestedNameThenData) {
  const std::string package = BuildProgramPackage(RenderState::New(), "a.trv");
  // First entry: tag 12, its length, then tag 13 with "config.txt", then tag 14.
  EXPECT_EQ(docfile_test::U32At(package, 0), 12u);
  EXPECT_EQ(docfile_test::U32At(package, 8), 13u);
  EXPECT_EQ(docfile_test::U32At(package, 12), 18u);
  EXPECT_EQ(package.substr(16, 10), "config.txt");
  EXPECT_EQ(docfile_test::U32At(package, 26), 14u);
  const std::uint32_t entryLength = docfile_test::U32At(package, 4);
  EXPECT_EQ(docfile_test::U32At(package, entryLength), 12u);
}

TEST(ProgramPackage, ConfigLinesFollowTheDetectorType) {
  RenderState state = RenderState::New();
  Detector normal = docfile_test::NewQuadrilateral();
  normal.number = 5;
  normal.extension = 1500;
  Detector contrast = normal;
  contrast.track = 1;
  contrast.contrast = true;
  contrast.number = 2;
  Detector directional = normal;
  directional.directional = true;
  directional.number = 7;
  directional.delay = 300;  // not written for a directional detector
  Detector turned = directional;
  turned.angle = 270;
  turned.track = 3;
  state.detectors = {normal, contrast, directional, turned};
  EXPECT_EQ(BuildConfigText(state, "x.trv"),
            "alias = x\ncompose_script = compose.txt\ndet_count = 4\n"
            "\ndet1_area = det1.bmp\ndet1_number = 5\ndet1_feature_threshold = 880\ndet1_threshold = 3\n"
            "det1_extend = 1500\n"
            "\ndet2_area = det2.bmp\ndet2_card = 1\ndet2_number = 2\ndet2_contrast = 1\n"
            "\ndet3_area = det3.bmp\ndet3_number = 7\ndet3_feature_threshold = 880\ndet3_threshold = 3\n"
            "det3_directional = 1\n"
            "\ndet4_area = det4.bmp\ndet4_card = 3\ndet4_number = 7\ndet4_feature_threshold = 880\n"
            "det4_threshold = 3\ndet4_directional = 1\ndet4_angle = 270\n");

  const auto entries = ReadProgramPackage(BuildProgramPackage(state, "x.trv"));
  ASSERT_EQ(entries.size(), 6u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(entries[static_cast<std::size_t>(i)].name, "det" + std::to_string(i + 1) + ".bmp");
    EXPECT_EQ(entries[static_cast<std::size_t>(i)].data.size(), 3366u);
  }
}

TEST(ProgramPackage, AliasDropsFolderAndLastExtension) {
  EXPECT_EQ(DocumentAlias("C:\\drogi\\most.nowy.trv"), "most.nowy");
  EXPECT_EQ(DocumentAlias("/home/t/most.nowy.trv"), "most.nowy");
  EXPECT_EQ(DocumentAlias("C:\\drogi.v2\\rondo"), "rondo");
  EXPECT_EQ(DocumentAlias("rondo"), "rondo");
}

TEST(ProgramPackage, MaskIsDrawnOnTheTracksBackground) {
  RenderState state = RenderState::New();
  Detector d = docfile_test::NewQuadrilateral();
  d.track = 1;
  d.fillPercent = 100;
  state.detectors = {d};
  // A red background must not leak into the mask.
  Picture& picture = state.pictures[1].Write();
  for (std::size_t i = 0; i < picture.pixels.size(); i += 3) picture.pixels[i + 2] = 255, picture.pixels[i] = 0,
                                                              picture.pixels[i + 1] = 0;
  const auto entries = ReadProgramPackage(BuildProgramPackage(state, "x.trv"));
  EXPECT_EQ(entries[0].data, EncodeAreaMask(docfile_test::MaskOnWhite(d)));
}

}  // namespace
