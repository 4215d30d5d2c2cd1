#include "doc/package.h"

#include <cstdio>
#include <memory>

#include "base/chunk.h"
#include "doc/area_mask.h"
#include "doc/render_state.h"
#include "doc/script.h"

namespace {

void AppendEntry(std::string& out, const std::string& name, std::string_view data) {
  const std::size_t entry = BeginChunk(out, kPackageEntryTag);
  AppendChunk(out, kPackageNameTag, name);
  AppendChunk(out, kPackageDataTag, data);
  EndChunk(out, entry);
}

void AppendLine(std::string& out, const char* format, unsigned a, unsigned b) {
  char line[96];
  const int length = std::snprintf(line, sizeof line, format, a, b);
  if (length > 0) out.append(line, static_cast<std::size_t>(length));
}

}  // namespace

std::string DocumentAlias(const std::string& documentPath) {
  const std::size_t slash = documentPath.find_last_of("\\/");
  std::string name = slash == std::string::npos ? documentPath : documentPath.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

std::string BuildConfigText(const RenderState& state, const std::string& documentPath) {
  std::string out = "alias = " + DocumentAlias(documentPath) + "\n";
  out += "compose_script = compose.txt\n";
  AppendLine(out, "det_count = %u\n", static_cast<unsigned>(state.detectors.size()), 0);
  unsigned i = 0;
  for (const Detector& d : state.detectors) {
    ++i;
    out += "\n";
    AppendLine(out, "det%u_area = det%u.bmp\n", i, i);
    if (d.track != 0) AppendLine(out, "det%u_card = %u\n", i, static_cast<unsigned>(d.track));
    AppendLine(out, "det%u_number = %u\n", i, d.number);
    if (d.contrast) {
      AppendLine(out, "det%u_contrast = 1\n", i, 0);
      continue;
    }
    AppendLine(out, "det%u_feature_threshold = %u\n", i, static_cast<unsigned>(d.featureThreshold));
    AppendLine(out, "det%u_threshold = %u\n", i, static_cast<unsigned>(d.threshold));
    if (d.directional) {
      AppendLine(out, "det%u_directional = 1\n", i, 0);
      if (d.angle != 0) AppendLine(out, "det%u_angle = %u\n", i, static_cast<unsigned>(d.angle));
    } else {
      if (d.delay != 0) AppendLine(out, "det%u_delay = %u\n", i, static_cast<unsigned>(d.delay));
      if (d.extension != 0) AppendLine(out, "det%u_extend = %u\n", i, static_cast<unsigned>(d.extension));
    }
  }
  return out;
}

std::string BuildProgramPackage(const RenderState& state, const std::string& documentPath) {
  std::string out;
  out.reserve(state.detectors.size() * (kMaskFileSize + 40) + 4096);

  // One grey background per track in use, made once for all its detectors (on the heap:
  // 100 KB each). Tracks outside 0..3 have no picture and share a white one.
  std::unique_ptr<raster::Surface> backgrounds[Detector::kTracks + 1];
  unsigned i = 0;
  for (const Detector& d : state.detectors) {
    ++i;
    const std::size_t slot = d.track >= 0 && d.track < Detector::kTracks ? static_cast<std::size_t>(d.track)
                                                                          : Detector::kTracks;
    if (!backgrounds[slot]) {
      backgrounds[slot] = std::make_unique<raster::Surface>();
      GreyBackground(state, d.track, *backgrounds[slot]);
    }
    const raster::Surface* background = backgrounds[slot].get();
    char name[32];
    std::snprintf(name, sizeof name, "det%u.bmp", i);
    AppendEntry(out, name, EncodeAreaMask(BuildAreaMask(d, *background)));
  }
  AppendEntry(out, "config.txt", BuildConfigText(state, documentPath));
  AppendEntry(out, "compose.txt", PrintScript(state));
  return out;
}

std::vector<PackageEntry> ReadProgramPackage(std::string_view package) {
  std::vector<PackageEntry> entries;
  ChunkWalker walker(package);
  Chunk chunk;
  while (walker.Next(chunk)) {
    if (chunk.tag != kPackageEntryTag) continue;
    PackageEntry entry;
    bool hasName = false, hasData = false;
    ChunkWalker inner(chunk.payload);
    Chunk part;
    while (inner.Next(part)) {
      if (part.tag == kPackageNameTag && !hasName) {
        entry.name = std::string(part.payload);
        hasName = true;
      } else if (part.tag == kPackageDataTag && !hasData) {
        entry.data = std::string(part.payload);
        hasData = true;
      }
    }
    if (hasName && hasData) entries.push_back(std::move(entry));
  }
  return entries;
}
