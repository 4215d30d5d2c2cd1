// trevnactl live: receives live pictures and tuning data from one card over the stream that
// LiveThread uses, writing the pictures as bitmaps and the tuning counts as text.
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/bitmap_file.h"
#include "base/file.h"
#include "base/platform.h"
#include "base/socket.h"
#include "base/text.h"
#include "cli/card_session.h"
#include "cli/registry.h"
#include "device/live_state.h"
#include "device/live_stream.h"

namespace {

using namespace device;
using cli::CardOptions;
using platform::PathFromUtf8;

// A 24-bit bottom-up bitmap of the 180 x 144 stream area of a live picture.
void WriteBitmap(const std::string& path, const std::vector<std::uint8_t>& picture) {
  constexpr std::uint32_t width = 180, height = 144, row = width * 3;
  std::string rows;
  rows.reserve(row * height);
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::uint32_t source = height - 1 - y;
    const auto* line = picture.data() + (static_cast<std::size_t>(source) * LivePictures::kWidth + LivePictures::kFirstColumn) * 3;
    rows.append(reinterpret_cast<const char*>(line), row);
  }
  WriteWholeFile(path, BitmapFile(BitmapFormat{width, height, 24, 2835, true}, rows));
}

// Passes the tuning calls on and keeps the accepted count messages until they are written (a
// bounded number: a card that sends only tuning data must not fill memory or the disk).
class RecordingTuning : public TuningTarget {
 public:
  static constexpr std::size_t kMaxFiles = 10000;
  explicit RecordingTuning(TuningState& state) : state_(state) {}
  std::optional<TuningRequest> TakeTuningRequest() override { return state_.TakeTuningRequest(); }
  std::pair<int, int> TunedDetector() const override { return state_.TunedDetector(); }
  void SetCounts(const std::uint16_t* counts) override {
    state_.SetCounts(counts);
    received.Add(counts);
  }
  TuningLog received{kMaxFiles};

 private:
  TuningState& state_;
};

bool ParseTune(const std::string& text, int* track, int* index) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size()) return false;
  const std::string t = text.substr(0, colon);
  if (t.size() == 1 && t[0] >= 'A' && t[0] <= 'D') {
    *track = t[0] - 'A';
  } else if (t.size() == 1 && t[0] >= 'a' && t[0] <= 'd') {
    *track = t[0] - 'a';
  } else if (t.size() == 1 && t[0] >= '0' && t[0] <= '3') {
    *track = t[0] - '0';
  } else {
    return false;
  }
  try {
    std::size_t used = 0;
    *index = std::stoi(text.substr(colon + 1), &used);
    if (used != text.size() - colon - 1 || *index < 0 || *index > 255) return false;
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

const bool liveRegistered = cli::RegisterCommand(
    "live", "Receives live pictures and tuning data from a card", [](CLI::App& app) -> cli::Run {
      struct LiveOptions {
        CardOptions card;
        std::string host;
        int frames = 1;
        std::string out;
        std::string preview = "on";
        std::string force;
        std::string tune;
      };
      auto o = std::make_shared<LiveOptions>();
      app.add_option("HOST", o->host, "card address")->required();
      app.add_option("--frames", o->frames, "pictures to receive (any tracks)")->required()->check(CLI::Range(1, 1000000));
      app.add_option("-o", o->out, "folder for <track>-<k>.bmp and tuning-<k>.txt")->required();
      app.add_option("--preview", o->preview, "detection-state preview (on/off)")->check(CLI::IsMember({"on", "off"}));
      app.add_option("--force-outputs", o->force, "forced outputs as an 8-bit mask (bit 0 = Y1), e.g. 0x81");
      app.add_option("--tune", o->tune, "TRACK:INDEX of the tuned detector (track A-D, index = number - 1)");
      app.add_option("--user", o->card.user, "SSH user name (not used by the stream)");
      app.add_option("--password-file", o->card.passwordFile, "not used by the stream");
      app.add_option("--ssh-port", o->card.sshPort, "not used by the stream");
      app.add_option("--stream-port", o->card.streamPort, "live stream port of the card")->check(CLI::Range(1, 65535));
      return [o] {
        OutputTestState outputs;
        if (!o->force.empty()) {
          unsigned long mask = 0;
          try {
            std::size_t used = 0;
            mask = std::stoul(o->force, &used, 0);
            if (used != o->force.size() || mask > 255) throw std::invalid_argument(o->force);
          } catch (const std::exception&) {
            std::fprintf(stderr, "--force-outputs needs a mask 0..255\n");
            return cli::kExitUsage;
          }
          outputs.Open();
          outputs.SetMask(static_cast<std::uint8_t>(mask));
        }
        TuningState tuningState;
        if (!o->tune.empty()) {
          int track = 0, index = 0;
          if (!ParseTune(o->tune, &track, &index)) {
            std::fprintf(stderr, "--tune needs TRACK:INDEX, e.g. A:0\n");
            return cli::kExitUsage;
          }
          tuningState.Bind(track, index);
        }
        std::uint32_t address = 0;
        if (!net::ResolveIPv4(o->host, &address)) {
          std::fprintf(stderr, "%s: unknown host\n", o->host.c_str());
          return cli::kExitFailure;
        }
        std::error_code error;
        std::filesystem::create_directories(PathFromUtf8(o->out), error);
        RecordingTuning tuning(tuningState);
        LivePictures pictures;
        std::atomic<bool> preview{o->preview != "off"};
        int count = 0;
        int perTrack[4] = {0, 0, 0, 0};
        std::size_t tuningWritten = 0;
        std::string failure;
        LiveTargets targets;
        targets.pictures = &pictures;
        targets.tuning = &tuning;
        targets.outputTest = &outputs;
        targets.detectionPreview = &preview;
        targets.pictureArrived = [&](int track, std::uint32_t) {
          ++count;
          const std::string name = o->out + "/" + static_cast<char>('A' + track) + "-" +
                                   std::to_string(++perTrack[track]) + ".bmp";
          WriteBitmap(Cp1250FromUtf8(name), pictures.Copy(track).pixels);
        };
        net::NetworkStartup network;
        net::Socket socket = net::Socket::Tcp();
        if (!socket.Connect(address, static_cast<std::uint16_t>(o->card.streamPort), 10000) ||
            !socket.SetNonBlocking(true)) {
          std::fprintf(stderr, "%s: cannot open the live stream on port %d\n", o->host.c_str(), o->card.streamPort);
          return cli::kExitFailure;
        }
        SocketStreamPort port(socket, 10000);
        try {
          while (count < o->frames) {
            if (!HandleStreamMessage(port, targets)) {
              failure = "the stream ended";
              break;
            }
            for (const auto& counts : tuning.received.Take()) {
              std::string text;
              for (std::uint16_t value : counts) text += std::to_string(value) + "\n";
              ++tuningWritten;
              WriteWholeFile(Cp1250FromUtf8(o->out + "/tuning-" + std::to_string(tuningWritten) + ".txt"), text);
            }
          }
        } catch (const std::exception& e) {
          cli::PrintError(e.what());
          return cli::kExitFailure;
        }
        socket.ShutdownBoth();
        std::printf("%d pictures, %zu tuning messages\n", count, tuningWritten);
        if (!failure.empty()) {
          std::fprintf(stderr, "%s: %s after %d of %d pictures\n", o->host.c_str(), failure.c_str(), count, o->frames);
          return cli::kExitFailure;
        }
        return cli::kExitOk;
      };
    });

}  // namespace
