// Archive recordings for the archive benchmarks: card-style AVI files of 180 x 144 grey
// JPEG frames of the synthetic road, made once per run in a folder under the build tree.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/avi_builder.h"

namespace archive_bench {

struct Recordings {
  std::filesystem::path folder;
  std::vector<std::string> files;
  std::uint64_t bytes = 0;
  std::uint64_t frames = 0;
};

// `fileCount` files of `framesPerFile` frames each. Frames cycle through a few hundred
// distinct pictures of four tracks (rendering every frame would dominate the run).
inline Recordings MakeRecordings(const std::string& name, unsigned fileCount, unsigned framesPerFile) {
  Recordings r;
  r.folder = std::filesystem::path(TREVNA_BINARY_DIR) / ("bench-" + name);
  std::filesystem::remove_all(r.folder);
  std::filesystem::create_directories(r.folder);
  std::vector<std::string> pictures;
  for (std::uint32_t track = 0; track < 4; ++track) {
    auto part = SyntheticJpegFrames(track, 60, 10.0 * track, 95);
    pictures.insert(pictures.end(), part.begin(), part.end());
  }
  std::size_t next = 0;
  for (unsigned f = 0; f < fileCount; ++f) {
    std::vector<std::string> frames;
    for (unsigned i = 0; i < framesPerFile; ++i) frames.push_back(pictures[next++ % pictures.size()]);
    const std::string bytes = BuildArchiveAvi(frames, 180, 144);
    const auto path = r.folder / ("rec" + std::to_string(100 + f) + ".avi");
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    r.files.push_back(path.string());
    r.bytes += bytes.size();
    r.frames += framesPerFile;
  }
  return r;
}

// A list file for ffmpeg's concat demuxer.
inline std::string ConcatList(const Recordings& r) {
  const auto path = r.folder / "list.txt";
  std::ofstream list(path);
  for (const auto& file : r.files) list << "file '" << file << "'\n";
  return path.string();
}

inline bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

}  // namespace archive_bench
