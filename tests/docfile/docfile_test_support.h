// Small helpers shared by the document file tests.
#pragma once

#include <cstdint>
#include <string>

#include "base/chunk.h"
#include "doc/area_mask.h"
#include "doc/detector.h"
#include "support/files.h"

namespace docfile_test {

inline std::uint32_t U32At(const std::string& bytes, std::size_t at) { return LoadU32(bytes.data() + at); }

using trevna_test::ReadBytes;
using trevna_test::TempFolder;
using trevna_test::WriteBytes;

// A detector as the editor inserts it: default vertices, width 1, no ladder, no fill.
inline Detector NewQuadrilateral() {
  Detector d;
  d.ladderSteps = 0;
  d.lineWidth = 1;
  return d;
}

inline AreaMask MaskOnWhite(const Detector& d) {
  raster::Surface background;
  background.Fill(raster::kWhite);
  ToGrey(background);
  return BuildAreaMask(d, background);
}

}  // namespace docfile_test
