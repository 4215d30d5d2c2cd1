// Device engine benchmarks, each against a baseline measured in the same run:
//  - upload of a 1 MB program to trevna-cardsim by our SCP send (libssh2) against OpenSSH's
//    "scp -O" to the same simulator (goal: at least 0.8 x scp's throughput);
//  - live stream handling (header checks, picture store, reply) in memory against a plain copy
//    of the same bytes, and over a loopback TCP socket (goal: at least 1000 messages/s).
//
// The simulator is taken from $TREVNA_CARDSIM (the bench build does not build it).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/cardsim.h"
#include "support/files.h"
#include "base/socket.h"
#include "device/live_stream.h"
#include "device/ssh_session.h"

namespace {

using namespace device;

std::map<std::string, double> rates;  // bytes or messages per second, by benchmark

const std::string& Program1MB() {
  static const std::string data = [] {
    std::mt19937 random(11);
    std::string d(1 << 20, '\0');
    for (auto& c : d) c = static_cast<char>(random());
    return d;
  }();
  return data;
}

trevna_test::CardSim& Sim() {
  static trevna_test::CardSim sim({"127.0.0.2"});
  return sim;
}

void BM_UploadLibssh2(benchmark::State& state) {
  const auto& card = Sim().Card("127.0.0.2");
  SshSession session;
  session.Open(0x7F000002, static_cast<std::uint16_t>(card.sshPort), trevna_test::CardSim::kUser,
               trevna_test::CardSim::kPassword, SshLimits{}, nullptr);
  const std::string& data = Program1MB();
  for (auto _ : state) {
    session.Send("/etc/vemo/program.doz", data, {});
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

void BM_UploadOpenSshScp(benchmark::State& state) {
  const auto& card = Sim().Card("127.0.0.2");
  const trevna_test::TempFolder temp("bench-scp");
  const auto folder = temp.Path();
  const auto file = folder / "program.doz";
  { std::ofstream(file, std::ios::binary) << Program1MB(); }
  const auto askpass = folder / "askpass.sh";
  {
    std::ofstream script(askpass);
    script << "#!/bin/sh\necho '" << trevna_test::CardSim::kPassword << "'\n";
  }
  std::filesystem::permissions(askpass, std::filesystem::perms::owner_all);
  const std::string command = "SSH_ASKPASS='" + askpass.string() + "' SSH_ASKPASS_REQUIRE=force DISPLAY=:0 " +
                              "scp -O -q -P " + std::to_string(card.sshPort) +
                              " -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o LogLevel=ERROR" +
                              " -o PreferredAuthentications=password,keyboard-interactive '" + file.string() + "' " +
                              trevna_test::CardSim::kUser + "@127.0.0.2:/etc/vemo/program.doz </dev/null";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("scp failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Program1MB().size()));
}

// scp pays for a new process, connection and login per copy; so does a fair comparison.
void BM_UploadLibssh2WithLogin(benchmark::State& state) {
  const auto& card = Sim().Card("127.0.0.2");
  const std::string& data = Program1MB();
  for (auto _ : state) {
    SshSession session;
    session.Open(0x7F000002, static_cast<std::uint16_t>(card.sshPort), trevna_test::CardSim::kUser,
                 trevna_test::CardSim::kPassword, SshLimits{}, nullptr);
    session.Send("/etc/vemo/program.doz", data, {});
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

// --- stream ---------------------------------------------------------------------------------

std::vector<std::uint8_t> PictureMessages(int count) {
  std::vector<std::uint8_t> bytes;
  for (int i = 0; i < count; ++i) {
    std::uint8_t header[64] = {};
    header[0] = 64;
    std::memcpy(header + 4, &i, 4);
    header[8] = 1;
    header[9] = static_cast<std::uint8_t>(i % 4);
    const std::uint32_t payload = stream::kPicturePayload;
    std::memcpy(header + 12, &payload, 4);
    header[20] = 180;
    header[22] = 144;
    bytes.insert(bytes.end(), header, header + 64);
    bytes.insert(bytes.end(), payload, static_cast<std::uint8_t>(i));
  }
  return bytes;
}

struct MemoryPort : StreamPort {
  const std::vector<std::uint8_t>* input = nullptr;
  std::size_t position = 0;
  std::size_t replies = 0;
  bool ReceiveExact(void* data, std::size_t size) override {
    if (input->size() - position < size) return false;
    std::memcpy(data, input->data() + position, size);
    position += size;
    return true;
  }
  bool Skip(std::size_t size) override {
    position += size;
    return true;
  }
  bool Send(const void*, std::size_t size) override {
    replies += size;
    return true;
  }
};

constexpr int kBatch = 64;

void BM_StreamCopyBaseline(benchmark::State& state) {
  const auto input = PictureMessages(kBatch);
  std::vector<std::uint8_t> target(input.size());
  for (auto _ : state) {
    std::memcpy(target.data(), input.data(), input.size());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}

void BM_StreamHandleInMemory(benchmark::State& state) {
  const auto input = PictureMessages(kBatch);
  LivePictures pictures;
  TuningState tuning;
  OutputTestState outputs;
  LiveTargets targets;
  targets.pictures = &pictures;
  targets.tuning = &tuning;
  targets.outputTest = &outputs;
  targets.pictureArrived = [](int, std::uint32_t) {};
  for (auto _ : state) {
    MemoryPort port;
    port.input = &input;
    for (int i = 0; i < kBatch; ++i) HandleStreamMessage(port, targets);
    benchmark::DoNotOptimize(port.replies);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}

// A card-side thread streams messages over loopback TCP and reads every reply.
void BM_StreamHandleLoopback(benchmark::State& state) {
  net::NetworkStartup network;
  const auto input = PictureMessages(kBatch);
  net::Socket listener = net::Socket::Tcp();
  listener.SetReuseAddress();
  listener.Bind(0x7F000001, 0);
  listener.Listen(1);
  const std::uint16_t port = listener.LocalPort();
  std::atomic<bool> done{false};
  std::thread cardSide([&] {
    net::Socket peer = listener.Accept();
    std::uint8_t reply[64];
    const std::size_t messageSize = input.size() / kBatch;
    while (!done) {
      for (int i = 0; i < kBatch && !done; ++i) {
        const std::uint8_t* message = input.data() + static_cast<std::size_t>(i) * messageSize;
        std::size_t sent = 0;
        while (sent < messageSize) {
          const long n = peer.Send(message + sent, messageSize - sent);
          if (n <= 0) return;
          sent += static_cast<std::size_t>(n);
        }
        std::size_t got = 0;
        while (got < sizeof reply) {
          const long n = peer.Receive(reply + got, sizeof reply - got);
          if (n <= 0) return;
          got += static_cast<std::size_t>(n);
        }
      }
    }
  });
  net::Socket socket = net::Socket::Tcp();
  socket.Connect(0x7F000001, port, 5000);
  socket.SetNonBlocking(true);
  SocketStreamPort streamPort(socket, 10000);
  LivePictures pictures;
  LiveTargets targets;
  targets.pictures = &pictures;
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) {
      if (!HandleStreamMessage(streamPort, targets)) {
        state.SkipWithError("stream ended");
        break;
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  done = true;
  socket.ShutdownBoth();
  socket.Close();
  cardSide.join();
}

class RateReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs) {
      const auto bytes = run.counters.find("bytes_per_second");
      const auto items = run.counters.find("items_per_second");
      if (bytes != run.counters.end()) rates[run.benchmark_name()] = bytes->second;
      if (items != run.counters.end()) rates[run.benchmark_name()] = items->second;
    }
  }
};

double Rate(const std::string& prefix) {
  for (const auto& [name, rate] : rates) {
    if (name.rfind(prefix, 0) == 0) return rate;
  }
  return 0;
}

}  // namespace

BENCHMARK(BM_UploadOpenSshScp)->Unit(benchmark::kMillisecond)->Iterations(8)->UseRealTime();
BENCHMARK(BM_UploadLibssh2WithLogin)->Unit(benchmark::kMillisecond)->Iterations(8)->UseRealTime();
BENCHMARK(BM_UploadLibssh2)->Unit(benchmark::kMillisecond)->Iterations(8)->UseRealTime();
BENCHMARK(BM_StreamCopyBaseline);
BENCHMARK(BM_StreamHandleInMemory);
BENCHMARK(BM_StreamHandleLoopback)->UseRealTime();

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double scp = Rate("BM_UploadOpenSshScp");
  const double ours = Rate("BM_UploadLibssh2/");
  const double oursLogin = Rate("BM_UploadLibssh2WithLogin");
  std::printf("\nupload 1 MB: ours %.1f MB/s (with login per copy %.1f MB/s), scp -O %.1f MB/s\n", ours / 1e6,
              oursLogin / 1e6, scp / 1e6);
  if (scp > 0) {
    std::printf("upload ratio vs scp -O: %.2f (session kept), %.2f (login per copy, like scp); goal >= 0.8\n",
                ours / scp, oursLogin / scp);
  }
  const double copy = Rate("BM_StreamCopyBaseline");
  const double memory = Rate("BM_StreamHandleInMemory");
  const double loopback = Rate("BM_StreamHandleLoopback");
  std::printf("stream: %.0f messages/s in memory (%.2f x a plain copy of the bytes), %.0f messages/s over "
              "loopback TCP; goal >= 1000 messages/s\n",
              memory, copy > 0 ? memory / copy : 0.0, loopback);
  benchmark::Shutdown();
  return 0;
}
