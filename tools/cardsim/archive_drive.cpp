#include "archive_drive.h"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "archive/jpeg_codec.h"
#include "archive/mjpeg_avi_writer.h"
#include "archive/synthetic_road.h"
#include "base/bytes.h"
#include "base/file.h"
#include "program_package.h"

namespace cardsim {
namespace fs = std::filesystem;
namespace {

constexpr int kFramesPerRecording = 50;  // 8 s at 6.25 frames per second
constexpr int kQuality = 75;

// The writer takes the picture size from the source files it joins; a recording made from
// scratch states it itself (avih, strh frame rectangle, strf).
void SetPictureSize(std::uint8_t* header, std::uint32_t width, std::uint32_t height) {
  StoreU32(header + 64, width);
  StoreU32(header + 68, height);
  StoreU16(header + 160, static_cast<std::uint16_t>(width));
  StoreU16(header + 162, static_cast<std::uint16_t>(height));
  StoreU32(header + 176, width);
  StoreU32(header + 180, height);
  StoreU32(header + 192, width * height * 3);
}

void WriteRecording(const fs::path& path, unsigned track, double start) {
  const synthetic::RoadScene scene(track, kPictureWidth, kPictureHeight);
  File output(path.string(), "wb");
  MjpegAviWriter writer(output);
  SetPictureSize(writer.Header(), kPictureWidth, kPictureHeight);
  std::vector<std::uint8_t> grey(kPictureWidth * kPictureHeight);
  for (int f = 0; f < kFramesPerRecording; ++f) {
    scene.Render(start + f / synthetic::RoadScene::kFramesPerSecond, grey.data());
    std::uint8_t* jpeg = nullptr;
    std::uint32_t length = 0;
    if (!EncodeJpeg(grey.data(), kPictureWidth, kPictureHeight, 1, kQuality, &jpeg, &length)) {
      throw std::runtime_error("cannot encode a frame of " + path.string());
    }
    const HeapBytes owner(jpeg);
    writer.AddFrame(jpeg, length);
  }
  writer.Finish();
}

}  // namespace

int PrepareArchiveDrive(const fs::path& drive) {
  if (fs::exists(drive)) return 0;
  // Built beside the final folder and renamed at the end, so that an interrupted first
  // start is simply done again.
  const fs::path temp = drive.string() + ".new";
  fs::remove_all(temp);
  fs::create_directories(temp);
  {
    std::ofstream settings(temp / "archcfg.txt", std::ios::binary);
    settings << "archive_days = 7\r\narchive_quality = " << kQuality << "\r\n";
  }
  // Three days before today, two recordings a day on tracks A and B.
  const std::time_t now = std::time(nullptr);
  int written = 0;
  for (int day = 3; day >= 1; --day) {
    const std::time_t when = now - day * 86400;
    std::tm tm{};
    gmtime_r(&when, &tm);
    char folder[16];
    std::strftime(folder, sizeof folder, "%Y-%m-%d", &tm);
    fs::create_directories(temp / folder);
    const int hours[2] = {7 + day, 15 + day};
    for (int i = 0; i < 2; ++i) {
      const unsigned track = static_cast<unsigned>((day + i) % 2);
      char name[32];
      std::snprintf(name, sizeof name, "%c_%02d0000.avi", 'A' + track, hours[i]);
      WriteRecording(temp / folder / name, track, hours[i] * 3600.0 + day * 137.0);
      ++written;
    }
  }
  fs::rename(temp, drive);
  return written;
}

}  // namespace cardsim
