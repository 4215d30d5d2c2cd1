// Archive download at link speed: one 200 MB recording on a simulated card, fetched with
// `trevnactl archive-get` and with OpenSSH's `scp -O` from the same simulator in the same run,
// in turns (goal: archive-get at least 0.9 of scp's throughput). Both are whole processes with
// their own connection and login. archive-get hands over its file only once it is synced to the
// disk and renamed into place; scp leaves it in the page cache, so scp followed by a sync of
// its file is printed as well, for reference.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "support/cardsim.h"
#include "support/files.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using trevna_test::CardSim;

constexpr std::uint64_t kRecordingBytes = 200'000'000;
constexpr int kRuns = 3;
constexpr const char* kAddress = "127.0.7.1";
constexpr const char* kName = "B_120000.avi";

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

// Incompressible bytes, as JPEG frames nearly are.
void WriteRecording(const fs::path& path) {
  std::mt19937_64 random(24);
  std::ofstream out(path, std::ios::binary);
  std::vector<std::uint64_t> block(1 << 17);
  for (std::uint64_t written = 0; written < kRecordingBytes;) {
    for (auto& word : block) word = random();
    const std::uint64_t size = std::min<std::uint64_t>(kRecordingBytes - written, block.size() * 8);
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(size));
    written += size;
  }
}

bool Same(const fs::path& a, const fs::path& b) {
  return std::system(("cmp -s '" + a.string() + "' '" + b.string() + "'").c_str()) == 0;
}

}  // namespace

int main() {
  const trevna_test::TempFolder folder("archive-download-bench");
  trevna_test::CardSimOptions options;
  options.addresses = {kAddress};
  options.sshPort = trevna_test::FreeTcpPort();
  options.streamPort = trevna_test::FreeTcpPort();
  options.stateFolder = folder / "state";
  CardSim card(options);

  // The recording goes into the card's newest day folder.
  std::vector<fs::path> days;
  for (const auto& entry : fs::directory_iterator(card.CardFolder() / "usbdrive")) {
    if (entry.is_directory()) days.push_back(entry.path());
  }
  if (days.empty()) {
    std::fprintf(stderr, "the simulated card has no archive day folder\n");
    return 1;
  }
  std::sort(days.begin(), days.end());
  const std::string day = days.back().filename().string() + "/";
  const fs::path source = days.back() / kName;
  WriteRecording(source);
  std::printf("recording: %s%s, %.0f MB\n", day.c_str(), kName, kRecordingBytes / 1e6);

  const std::vector<std::string> environment = {"TREVNA_PASSWORD=" + std::string(CardSim::kPassword),
                                                "TREVNA_KNOWN_CARDS=" + (folder / "known_cards").string()};
  const fs::path ours = folder / "archive";
  const fs::path oursFile = ours / day / kName;
  const fs::path theirs = folder / "scp.avi";
  std::vector<double> archiveGet, scp, scpSynced;
  for (int run = 0; run < kRuns; ++run) {
    fs::remove_all(ours);
    auto start = std::chrono::steady_clock::now();
    const auto got = trevna_test::RunProcess({TREVNA_BINARY_DIR "/trevnactl", "archive-get", kAddress, day, kName,
                                              "-o", ours.string(), "--user", CardSim::kUser, "--ssh-port",
                                              std::to_string(options.sshPort)},
                                             "", environment, 600);
    archiveGet.push_back(Seconds(start));
    if (got.exitCode != 0 || !Same(source, oursFile)) {
      std::fprintf(stderr, "archive-get failed (%d) or its file differs:\n%s%s\n", got.exitCode, got.out.c_str(),
                   got.err.c_str());
      return 1;
    }

    fs::remove(theirs);
    start = std::chrono::steady_clock::now();
    const auto copied = card.ScpDownload("/mnt/usbdrive/" + day + kName, theirs);
    scp.push_back(Seconds(start));
    if (copied.exitCode != 0 || !Same(source, theirs)) {
      std::fprintf(stderr, "scp -O failed (%d) or its file differs:\n%s\n", copied.exitCode, copied.err.c_str());
      const auto log = card.Log();
      for (std::size_t i = log.size() > 20 ? log.size() - 20 : 0; i < log.size(); ++i) {
        std::fprintf(stderr, "%s\n", log[i].dump().c_str());
      }
      return 1;
    }
    const auto syncStart = std::chrono::steady_clock::now();
    trevna_test::RunProcess({"sync", theirs.string()});
    scpSynced.push_back(scp.back() + Seconds(syncStart));
  }
  fs::remove_all(ours);
  fs::remove(theirs);

  const double mb = kRecordingBytes / 1e6;
  const double oursRate = mb / Median(archiveGet);
  const double scpRate = mb / Median(scp);
  const double scpSyncedRate = mb / Median(scpSynced);
  std::printf("archive-get: %.1f MB/s (median of %d: %.2f s)\n", oursRate, kRuns, Median(archiveGet));
  std::printf("scp -O:      %.1f MB/s (median of %d: %.2f s); with a sync of its file %.1f MB/s\n", scpRate, kRuns,
              Median(scp), scpSyncedRate);
  std::printf("archive-get / scp -O throughput = %.2f (goal >= 0.90); against scp -O + sync %.2f\n",
              oursRate / scpRate, oursRate / scpSyncedRate);
  return 0;
}
