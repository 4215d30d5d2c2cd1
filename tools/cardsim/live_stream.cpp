#include "live_stream.h"

#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <thread>

#include "base/bytes.h"
#include "card.h"
#include "net.h"

namespace cardsim {
namespace {

using nlohmann::json;
constexpr std::size_t kPictureBytes = kPictureWidth * kPictureHeight;
constexpr int kReplyTimeoutMs = 15000;
constexpr int kBins = 250;

// 3 x 5 glyphs for "Y" and the digits 1..8, one row per 3 bits.
const std::uint8_t kGlyphs[9][5] = {
    {0b101, 0b101, 0b010, 0b010, 0b010},  // Y
    {0b010, 0b110, 0b010, 0b010, 0b111},  // 1
    {0b110, 0b001, 0b010, 0b100, 0b111},  // 2
    {0b110, 0b001, 0b010, 0b001, 0b110},  // 3
    {0b101, 0b101, 0b111, 0b001, 0b001},  // 4
    {0b111, 0b100, 0b110, 0b001, 0b110},  // 5
    {0b011, 0b100, 0b110, 0b101, 0b010},  // 6
    {0b111, 0b001, 0b010, 0b010, 0b010},  // 7
    {0b010, 0b101, 0b010, 0b101, 0b010},  // 8
};

void DrawGlyph(int glyph, int left, int top, std::uint8_t value, std::uint8_t* grey) {
  for (int row = 0; row < 5; ++row) {
    for (int col = 0; col < 3; ++col) {
      if (kGlyphs[glyph][row] & (4 >> col)) grey[(top + row) * kPictureWidth + left + col] = value;
    }
  }
}

struct Reply {
  std::uint32_t frame = 0;
  std::uint8_t track = 0;
  std::uint8_t flags = 0;
  std::uint8_t forced = 0;
  std::uint8_t detector = 0;
  std::uint8_t detectorTrack = 0;
};

class StreamConnection {
 public:
  StreamConnection(Card& card, int fd, std::string client)
      : card_(card),
        fd_(fd),
        client_(std::move(client)),
        scenes_{synthetic::RoadScene(0), synthetic::RoadScene(1), synthetic::RoadScene(2), synthetic::RoadScene(3)} {}

  void Run() {
    const std::string& fault = card_.Config().faults.badStreamHeader;
    const auto period = std::chrono::duration<double>(1.0 / std::max(0.1, card_.Config().framesPerSecond));
    if (fault == "short" && !SendShortHeader()) return;
    while (!card_.Stopping()) {
      const auto cycleStart = std::chrono::steady_clock::now();
      for (unsigned track = 0; track < 4; ++track) {
        if (!SendPicture(track)) return;
        if (tuningActive_ && tuningTrack_ == track && !SendTuning()) return;
      }
      const auto next = cycleStart + std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
      while (!card_.Stopping() && std::chrono::steady_clock::now() < next) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    }
  }

 private:
  // The first message has a header length below 16, which a client must refuse.
  bool SendShortHeader() {
    std::uint8_t header[16] = {};
    StoreU32(header, 15);
    StoreU32(header + 4, ++frame_);
    header[8] = 1;
    StoreU32(header + 12, kPictureBytes);
    card_.Log().Write("stream-fault", {{"client", client_}, {"fault", "short"}, {"frame", frame_}});
    if (!SendAll(fd_, header, sizeof header)) return false;
    // A client that follows the protocol hangs up now; keep the line open until it does.
    char scratch[64];
    while (!card_.Stopping() && ReceiveExact(fd_, scratch, 1, 200)) {
    }
    return false;
  }

  bool SendPicture(unsigned track) {
    const std::string& fault = card_.Config().faults.badStreamHeader;
    ++pictures_;
    const bool spoil = pictures_ % 4 == 0;
    if (fault == "type" && spoil && !SendUnknownType(track)) return false;

    std::vector<std::uint8_t> picture(kPictureBytes);
    const double seconds = card_.SceneSeconds();
    scenes_[track].Render(seconds, picture.data());
    const std::vector<synthetic::Vehicle> vehicles = scenes_[track].VehiclesAt(seconds);
    const auto program = card_.CurrentProgram();
    if (tuningActive_ && tuningTrack_ == track) Measure(*program, picture.data(), vehicles, track);
    if (preview_) MarkDetectorAreas(*program, track, vehicles, picture.data());
    if (forcing_) DrawForcedOutputs(forced_, picture.data());

    const std::uint32_t headerLength = fault == "long" ? 80 : 64;
    std::vector<std::uint8_t> message(headerLength + kPictureBytes, 0);
    StoreU32(message.data(), headerLength);
    StoreU32(message.data() + 4, ++frame_);
    message[8] = 1;
    message[9] = static_cast<std::uint8_t>(fault == "track" && spoil ? 4 : track);
    StoreU32(message.data() + 12, kPictureBytes);
    StoreU16(message.data() + 20, fault == "width" && spoil ? 176 : kPictureWidth);
    StoreU16(message.data() + 22, kPictureHeight);
    std::memcpy(message.data() + headerLength, picture.data(), kPictureBytes);
    if (!fault.empty() && fault != "short" && (spoil || fault == "long")) {
      card_.Log().Write("stream-fault", {{"client", client_}, {"fault", fault}, {"frame", frame_}});
    }
    if (!SendAll(fd_, message.data(), message.size())) return Closed("send failed");
    return Answer(1, message[9]);
  }

  bool SendUnknownType(unsigned track) {
    std::uint8_t message[16 + 10] = {};
    StoreU32(message, 16);
    StoreU32(message + 4, ++frame_);
    message[8] = 7;
    message[9] = static_cast<std::uint8_t>(track);
    StoreU32(message + 12, 10);
    card_.Log().Write("stream-fault", {{"client", client_}, {"fault", "type"}, {"frame", frame_}});
    if (!SendAll(fd_, message, sizeof message)) return Closed("send failed");
    return Answer(7, static_cast<std::uint8_t>(track));
  }

  bool SendTuning() {
    std::uint8_t message[64 + kBins * 2] = {};
    StoreU32(message, 64);
    StoreU32(message + 4, ++frame_);
    message[8] = 2;
    message[9] = static_cast<std::uint8_t>(tuningTrack_);
    StoreU32(message + 12, kBins * 2);
    StoreU16(message + 16, kBins);
    StoreU16(message + 18, 16);
    message[36] = static_cast<std::uint8_t>(tuningIndex_);
    const auto& counts = histograms_[Key(tuningTrack_, tuningIndex_)];
    std::uint64_t total = 0;
    for (int i = 0; i < kBins; ++i) {
      StoreU16(message + 64 + 2 * i, static_cast<std::uint16_t>(counts[i]));
      total += counts[i];
    }
    card_.Log().Write("stream-tuning",
                      {{"client", client_}, {"frame", frame_}, {"track", tuningTrack_}, {"detector", tuningIndex_},
                       {"total", total}});
    if (!SendAll(fd_, message, sizeof message)) return Closed("send failed");
    return Answer(2, static_cast<std::uint8_t>(tuningTrack_));
  }

  // Reads the reply to the message just sent and takes over what it asks for.
  bool Answer(int type, std::uint8_t track) {
    std::uint8_t raw[64];
    if (!ReceiveExact(fd_, raw, sizeof raw, kReplyTimeoutMs)) return Closed("no reply");
    Reply r;
    r.frame = LoadU32(raw + 4);
    r.track = raw[9];
    r.flags = raw[16];
    r.forced = raw[17];
    r.detector = raw[18];
    r.detectorTrack = raw[19];
    const bool matches = LoadU32(raw) == 64 && r.frame == frame_ && r.track == track;
    card_.Log().Write("stream-reply", {{"client", client_},
                                       {"type", type},
                                       {"frame", r.frame},
                                       {"track", r.track},
                                       {"flags", r.flags},
                                       {"forced", r.forced},
                                       {"detector", r.detector},
                                       {"detector_track", r.detectorTrack},
                                       {"matches", matches}});
    preview_ = (r.flags & 1) == 0;
    forcing_ = (r.flags & 2) != 0;
    forced_ = forcing_ ? r.forced : 0;
    tuningActive_ = (r.flags & 4) != 0 && r.detectorTrack < 4;
    if (tuningActive_) {
      tuningTrack_ = r.detectorTrack;
      tuningIndex_ = r.detector;
      if (r.flags & 8) {
        histograms_[Key(tuningTrack_, tuningIndex_)].fill(0);
        card_.Log().Write("stream-tuning-reset", {{"client", client_}, {"track", tuningTrack_},
                                                  {"detector", tuningIndex_}});
      }
    }
    return true;
  }

  // Adds this picture's measurements of the tuned detector to its counts: a feature value
  // 0..999 for about 40 sampled area pixels, in 250 bins of 4. The empty road gives low
  // values (sensor noise), a vehicle over the pixel high ones that depend on its contrast
  // with the asphalt. An unprogrammed detector measures nothing.
  void Measure(const Program& program, const std::uint8_t* picture, const std::vector<synthetic::Vehicle>& vehicles,
               unsigned track) {
    const ProgramDetector* detector = nullptr;
    for (const ProgramDetector& d : program.detectors) {
      if (d.track == track && d.number == tuningIndex_ + 1u) detector = &d;
    }
    if (!detector || detector->areaPixels == 0) return;
    auto& counts = histograms_[Key(tuningTrack_, tuningIndex_)];
    const unsigned stride = std::max(1u, detector->areaPixels / 40);
    unsigned seen = 0;
    for (std::size_t i = 0; i < kPictureBytes; ++i) {
      if (!detector->mask[i] || seen++ % stride != 0) continue;
      const int x = static_cast<int>(i % kPictureWidth), y = static_cast<int>(i / kPictureWidth);
      bool onVehicle = false;
      for (const synthetic::Vehicle& v : vehicles) {
        onVehicle |= x >= v.left && x < v.right && y >= v.top && y < v.bottom;
      }
      noise_ = noise_ * 1103515245u + 12345u;
      const int jitter = static_cast<int>((noise_ >> 16) % 48);
      const int feature = onVehicle ? std::min(999, 320 + std::abs(int(picture[i]) - 90) * 3 + jitter * 4) : jitter;
      std::uint32_t& bin = counts[feature / 4];
      if (bin >= 65535) {
        for (auto& c : counts) c /= 2;  // keep the shape when the counts fill up
      }
      ++bin;
    }
  }

  bool Closed(const char* why) {
    card_.Log().Write("stream-closed", {{"client", client_}, {"reason", why}, {"frames", frame_}});
    return false;
  }

  static int Key(unsigned track, unsigned index) { return static_cast<int>(track * 256 + index); }

  Card& card_;
  int fd_;
  std::string client_;
  synthetic::RoadScene scenes_[4];
  std::uint32_t frame_ = 0;
  std::uint64_t pictures_ = 0;
  bool preview_ = true;
  bool forcing_ = false;
  std::uint8_t forced_ = 0;
  bool tuningActive_ = false;
  unsigned tuningTrack_ = 0;
  unsigned tuningIndex_ = 0;
  std::uint32_t noise_ = 12345;
  std::map<int, std::array<std::uint32_t, kBins>> histograms_;
};

}  // namespace

bool AreaOccupied(const ProgramDetector& detector, const std::vector<synthetic::Vehicle>& vehicles) {
  if (detector.areaPixels == 0) return false;
  unsigned covered = 0;
  for (int y = 0; y < kPictureHeight; ++y) {
    for (int x = 0; x < kPictureWidth; ++x) {
      if (!detector.mask[y * kPictureWidth + x]) continue;
      for (const synthetic::Vehicle& b : vehicles) {
        if (x >= b.left && x < b.right && y >= b.top && y < b.bottom) {
          ++covered;
          break;
        }
      }
    }
  }
  return covered * 10 >= detector.areaPixels || covered >= 40;
}

void MarkDetectorAreas(const Program& program, unsigned track, const std::vector<synthetic::Vehicle>& vehicles,
                       std::uint8_t* grey) {
  for (const ProgramDetector& d : program.detectors) {
    if (d.track != track) continue;
    const std::uint8_t value = AreaOccupied(d, vehicles) ? kAreaOccupied : kAreaFree;
    for (std::size_t i = 0; i < kPictureBytes; ++i) {
      if (d.mask[i]) grey[i] = value;
    }
  }
}

void DrawForcedOutputs(std::uint8_t forced, std::uint8_t* grey) {
  for (int n = 0; n < 8; ++n) {
    const bool on = (forced >> n) & 1;
    const int left = 3 + n * 22, top = 2, width = 20, height = 11;
    for (int y = top; y < top + height; ++y) {
      for (int x = left; x < left + width; ++x) {
        const bool edge = y == top || y == top + height - 1 || x == left || x == left + width - 1;
        grey[y * kPictureWidth + x] = on ? 255 : (edge ? 255 : 0);
      }
    }
    const std::uint8_t ink = on ? 0 : 255;
    DrawGlyph(0, left + 5, top + 3, ink, grey);
    DrawGlyph(n + 1, left + 10, top + 3, ink, grey);
  }
}

void ServeStreamConnection(Card& card, int fd, const std::string& client) {
  card.Log().Write("stream-connect", {{"client", client}});
  if (card.Config().faults.silent) {
    char scratch[256];
    while (!card.Stopping()) {
      if (!WaitReadable(fd, 200)) continue;
      if (::recv(fd, scratch, sizeof scratch, 0) <= 0) break;
    }
    card.Log().Write("stream-closed", {{"client", client}, {"reason", "silent card"}});
    return;
  }
  StreamConnection(card, fd, client).Run();
}

}  // namespace cardsim
