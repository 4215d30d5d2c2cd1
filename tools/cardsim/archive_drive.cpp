#include "archive_drive.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <stdexcept>

// libjpeg's header needs FILE and size_t declared first.
#include <jpeglib.h>

#include "program_package.h"
#include "road_scene.h"

namespace cardsim {
namespace fs = std::filesystem;
namespace {

constexpr int kFramesPerRecording = 50;  // 8 s at 6.25 frames per second
constexpr double kFrameSeconds = 0.16;

void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  b[at] = v & 0xFF;
  b[at + 1] = (v >> 8) & 0xFF;
  b[at + 2] = (v >> 16) & 0xFF;
  b[at + 3] = (v >> 24) & 0xFF;
}
void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
  b[at] = v & 0xFF;
  b[at + 1] = v >> 8;
}
void PutTag(std::vector<std::uint8_t>& b, std::size_t at, const char* tag) { std::memcpy(&b[at], tag, 4); }

void WriteFile(const fs::path& path, const void* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

std::vector<std::uint8_t> EncodeGreyJpeg(const std::uint8_t* grey, int width, int height, int quality) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 1;
  cinfo.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(grey + cinfo.next_scanline * width);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<std::uint8_t> jpeg(buffer, buffer + size);
  std::free(buffer);
  return jpeg;
}

// The same layout as the program's own MJPEG writer: a 524-byte header block (hdrl with
// avih, strl with strh/strf, odml, JUNK, then the movi list), the 00dc frame chunks and the
// idx1 index.
std::vector<std::uint8_t> BuildMjpegAvi(const std::vector<std::vector<std::uint8_t>>& frames, int width, int height) {
  std::vector<std::uint8_t> file(524, 0);
  std::uint32_t movi = 4;
  std::vector<std::uint8_t> index;
  for (const auto& frame : frames) {
    const std::uint32_t length = static_cast<std::uint32_t>(frame.size());
    const std::size_t at = file.size();
    file.resize(at + 8);
    PutTag(file, at, "00dc");
    Put32(file, at + 4, length);
    file.insert(file.end(), frame.begin(), frame.end());
    if (length % 2) file.push_back(0);
    const std::size_t entry = index.size();
    index.resize(entry + 16);
    PutTag(index, entry, "00dc");
    Put32(index, entry + 4, 0x10);
    Put32(index, entry + 8, static_cast<std::uint32_t>(at - 520));
    Put32(index, entry + 12, length);
    movi += 8 + ((length + 1) & ~1u);
  }
  const std::uint32_t count = static_cast<std::uint32_t>(frames.size());
  const std::size_t idx = file.size();
  file.resize(idx + 8);
  PutTag(file, idx, "idx1");
  Put32(file, idx + 4, static_cast<std::uint32_t>(index.size()));
  file.insert(file.end(), index.begin(), index.end());

  PutTag(file, 0, "RIFF");
  Put32(file, 4, static_cast<std::uint32_t>(file.size() - 8));
  PutTag(file, 8, "AVI ");
  PutTag(file, 12, "LIST");
  Put32(file, 16, 492);
  PutTag(file, 20, "hdrl");
  PutTag(file, 24, "avih");
  Put32(file, 28, 56);
  Put32(file, 32, 160000);
  Put32(file, 36, 1000000);
  Put32(file, 44, 0x10);
  Put32(file, 48, count);
  Put32(file, 56, 1);
  Put32(file, 64, static_cast<std::uint32_t>(width));
  Put32(file, 68, static_cast<std::uint32_t>(height));
  PutTag(file, 88, "LIST");
  Put32(file, 92, 116);
  PutTag(file, 96, "strl");
  PutTag(file, 100, "strh");
  Put32(file, 104, 56);
  PutTag(file, 108, "vids");
  PutTag(file, 112, "vemo");
  Put32(file, 128, 160000);
  Put32(file, 132, 1000000);
  Put32(file, 140, count);
  Put32(file, 148, 10000);
  Put16(file, 160, static_cast<std::uint16_t>(width));
  Put16(file, 162, static_cast<std::uint16_t>(height));
  PutTag(file, 164, "strf");
  Put32(file, 168, 40);
  Put32(file, 172, 40);
  Put32(file, 176, static_cast<std::uint32_t>(width));
  Put32(file, 180, static_cast<std::uint32_t>(height));
  Put16(file, 184, 1);
  Put16(file, 186, 24);
  PutTag(file, 188, "MJPG");
  Put32(file, 192, static_cast<std::uint32_t>(width * height * 3));
  PutTag(file, 212, "LIST");
  Put32(file, 216, 260);
  PutTag(file, 220, "odml");
  PutTag(file, 224, "dmlh");
  Put32(file, 228, 248);
  Put32(file, 232, count);
  PutTag(file, 480, "JUNK");
  Put32(file, 484, 24);
  PutTag(file, 512, "LIST");
  Put32(file, 516, movi);
  PutTag(file, 520, "movi");
  return file;
}

int PrepareArchiveDrive(const fs::path& drive) {
  if (fs::exists(drive)) return 0;
  const fs::path temp = drive.string() + ".new";
  fs::remove_all(temp);
  fs::create_directories(temp);
  const std::string settings = "archive_days = 7\r\narchive_quality = 75\r\n";
  WriteFile(temp / "archcfg.txt", settings.data(), settings.size());

  // Three days before today, two recordings per day on tracks A and B.
  const std::time_t now = std::time(nullptr);
  int written = 0;
  std::vector<std::uint8_t> grey(kPictureWidth * kPictureHeight);
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
      RoadScene scene(track);
      std::vector<std::vector<std::uint8_t>> frames;
      const double start = hours[i] * 3600.0 + day * 137.0;
      for (int f = 0; f < kFramesPerRecording; ++f) {
        scene.Render(start + f * kFrameSeconds, grey.data(), nullptr);
        frames.push_back(EncodeGreyJpeg(grey.data(), kPictureWidth, kPictureHeight, 75));
      }
      const std::vector<std::uint8_t> avi = BuildMjpegAvi(frames, kPictureWidth, kPictureHeight);
      char name[32];
      std::snprintf(name, sizeof name, "%c_%02d0000.avi", 'A' + track, hours[i]);
      WriteFile(temp / folder / name, avi.data(), avi.size());
      ++written;
    }
  }
  fs::rename(temp, drive);
  return written;
}

}  // namespace cardsim
