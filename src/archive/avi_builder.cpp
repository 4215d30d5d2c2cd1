#include "archive/avi_builder.h"

#include <stdexcept>

#include "archive/avi.h"
#include "archive/jpeg_codec.h"
#include "archive/synthetic_road.h"
#include "base/bytes.h"

namespace {

// Opens a chunk or list; returns the offset of its size field for Close.
std::size_t Open(std::string& out, std::string_view id, std::string_view type = {}) {
  out.append(id);
  const std::size_t at = out.size();
  AppendU32(out, 0);
  out.append(type);
  return at;
}

void Close(std::string& out, std::size_t sizeAt) {
  StoreU32(out.data() + sizeAt, static_cast<std::uint32_t>(out.size() - sizeAt - 4));
  if (out.size() & 1) out.push_back('\0');
}

}  // namespace

std::string BuildArchiveAvi(const std::vector<std::string>& frames, std::uint32_t width, std::uint32_t height) {
  std::string out;
  const std::size_t riff = Open(out, "RIFF", "AVI ");
  const std::size_t hdrl = Open(out, "LIST", "hdrl");
  const std::size_t avih = Open(out, "avih");
  for (std::uint32_t v : {160000u, 0u, 0u, 0x10u, static_cast<std::uint32_t>(frames.size()), 0u, 1u, 0u, width, height,
                          0u, 0u, 0u, 0u})
    AppendU32(out, v);
  Close(out, avih);
  const std::size_t strl = Open(out, "LIST", "strl");
  const std::size_t strh = Open(out, "strh");
  out.append("vidsMJPG");
  for (std::uint32_t v : {0u, 0u, 0u, 160000u, 1000000u, 0u, static_cast<std::uint32_t>(frames.size()), 0u, 10000u, 0u})
    AppendU32(out, v);
  AppendU16(out, 0);
  AppendU16(out, 0);
  AppendU16(out, static_cast<std::uint16_t>(width));
  AppendU16(out, static_cast<std::uint16_t>(height));
  Close(out, strh);
  const std::size_t strf = Open(out, "strf");
  AppendU32(out, 40);
  AppendU32(out, width);
  AppendU32(out, height);
  AppendU16(out, 1);
  AppendU16(out, 24);
  out.append("MJPG");
  for (std::uint32_t v : {width * height * 3, 0u, 0u, 0u, 0u}) AppendU32(out, v);
  Close(out, strf);
  Close(out, strl);
  Close(out, hdrl);

  const std::size_t movi = Open(out, "LIST", "movi");
  const std::size_t moviType = movi + 4;
  std::string index;
  for (const std::string& frame : frames) {
    index.append("00dc");
    AppendU32(index, 0x10);
    AppendU32(index, static_cast<std::uint32_t>(out.size() - moviType));
    AppendU32(index, static_cast<std::uint32_t>(frame.size()));
    const std::size_t chunk = Open(out, "00dc");
    out.append(frame);
    Close(out, chunk);
  }
  Close(out, movi);
  const std::size_t idx1 = Open(out, "idx1");
  out.append(index);
  Close(out, idx1);
  Close(out, riff);
  return out;
}

std::vector<std::string> SyntheticJpegFrames(std::uint32_t track, std::uint32_t count, double startSeconds,
                                             int quality, std::uint32_t width, std::uint32_t height) {
  const synthetic::RoadScene scene(track, width, height);
  std::vector<std::string> frames;
  frames.reserve(count);
  std::vector<std::uint8_t> grey(std::size_t{width} * height);
  for (std::uint32_t i = 0; i < count; ++i) {
    scene.Render(startSeconds + i / synthetic::RoadScene::kFramesPerSecond, grey.data());
    std::uint8_t* jpeg = nullptr;
    std::uint32_t length = 0;
    if (!EncodeJpeg(grey.data(), width, height, 1, quality, &jpeg, &length))
      throw std::runtime_error("SyntheticJpegFrames: encoding failed");
    HeapBytes owned(jpeg);
    frames.emplace_back(reinterpret_cast<const char*>(jpeg), length);
  }
  return frames;
}
