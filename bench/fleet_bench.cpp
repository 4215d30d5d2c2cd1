// A fleet from one PC: trevnactl programs 1, 10 and 50 simulated cards (one trevna-cardsim
// process carrying all 50 addresses), and asks the facts of 1 and of 50. Most of a programming
// is waiting for the card, so 50 cards at once should take at most twice as long as one
// (goal: time(50) / time(1) <= 2 on a 2-core machine). Also measured: the simulator's memory per
// card (its RSS with 50 cards minus its RSS with 1, over 49) and trevnactl's (its peak RSS
// for 50 cards minus that for 1, over 49). With ansible-playbook and the trevna.cards
// collection present, the collection's facts play over 1 and 50 cards is timed the same way,
// beside Ansible's own ping over the same hosts: the cost per host that Ansible itself adds.
//
// Each run is a whole trevnactl process, timed from its start to its end; every figure is the
// median of a few runs. The programs are those of this (optimised) build.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "doc/document.h"
#include "doc/document_file.h"
#include "support/cardsim.h"
#include "support/files.h"
#include "support/process.h"
#include "support/recording_updates.h"

namespace {

namespace fs = std::filesystem;
using trevna_test::CardSim;

constexpr int kFleet = 50;
constexpr int kRuns = 3;
// The CLI's pause per step of its 75-step wait after the restart command: 75 x 20 ms = 1.5 s of
// "waiting for the card" per programming, where a real card takes 40 s.
constexpr int kRestartStepMs = 20;

std::string Address(int i) { return "127.0.6." + std::to_string(i + 1); }

std::vector<std::string> Addresses(int count) {
  std::vector<std::string> list;
  for (int i = 0; i < count; ++i) list.push_back(Address(i));
  return list;
}

std::string HostList(int count) {
  std::string hosts;
  for (int i = 0; i < count; ++i) {
    if (i > 0) hosts.push_back(',');
    hosts.append(Address(i));
  }
  return hosts;
}

struct Measured {
  int exitCode = -1;
  double seconds = 0;
  long peakRssKb = 0;  // of the child (ru_maxrss)
  std::string out;
};

// Runs `argv` to its end with `environment` changes; standard output kept, standard error to
// `errFile`. The child's own peak RSS comes from wait4.
Measured RunMeasured(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                     const fs::path& errFile) {
  Measured m;
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return m;
  const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = trevna_test::detail::Spawn(argv, environment, -1, out[1], err);
  ::close(out[1]);
  if (err >= 0) ::close(err);
  if (pid < 0) {
    ::close(out[0]);
    return m;
  }
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    m.out.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(out[0]);
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.exitCode = trevna_test::detail::StatusCode(status);
  m.peakRssKb = usage.ru_maxrss;
  return m;
}

// The resident set of the simulator process serving `stateFolder` (VmRSS, or VmHWM for its
// peak), in kB; 0 when it cannot be found.
long SimulatorKb(const fs::path& stateFolder, const char* field) {
  // The folder as a whole argument of the command line (arguments end with a zero byte).
  std::string argument(1, '\0');
  argument.append(stateFolder.string());
  argument.push_back('\0');
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc", error)) {
    std::ifstream cmdline(entry.path() / "cmdline", std::ios::binary);
    std::string args((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
    if (args.find("trevna-cardsim") == std::string::npos || args.find(argument) == std::string::npos) {
      continue;
    }
    std::ifstream status(entry.path() / "status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field) + 1);
    }
  }
  return 0;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// A valid document with a few detectors.
void SaveDocument(const fs::path& path) {
  RecordingUpdates updates;
  Document document(updates);
  auto& state = document.NewRenderState();
  for (int track = 0; track < 2; ++track) {
    Detector d;
    d.track = track;
    d.number = static_cast<unsigned>(track + 1);
    state.detectors.push_back(d);
  }
  ::SaveDocument(document, Cp1250FromUtf8(path.string()));
}

class Fleet {
 public:
  Fleet(const fs::path& folder, int cards) : folder_(folder) {
    trevna_test::CardSimOptions options;
    options.addresses = Addresses(cards);
    options.sshPort = trevna_test::FreeTcpPort();  // one port on every address, as real cards
    options.streamPort = trevna_test::FreeTcpPort();
    options.restartSeconds = 1;
    options.stateFolder = folder / "state";
    options.startTimeoutSeconds = 600;  // the first start makes every card's keys and recordings
    sim_ = std::make_unique<CardSim>(options);
    port_ = options.sshPort;
  }

  const CardSim& Sim() const { return *sim_; }
  fs::path StateFolder() const { return folder_ / "state"; }

  std::vector<std::string> Environment() const {
    return {"TREVNA_PASSWORD=" + std::string(CardSim::kPassword),
            "TREVNA_KNOWN_CARDS=" + (folder_ / "known_cards").string()};
  }

  std::vector<std::string> CardArguments() const {
    return {"--user", CardSim::kUser, "--ssh-port", std::to_string(port_)};
  }

  Measured Trevnactl(std::vector<std::string> args) const {
    args.insert(args.begin(), TREVNA_BINARY_DIR "/trevnactl");
    const auto card = CardArguments();
    args.insert(args.end(), card.begin(), card.end());
    return RunMeasured(args, Environment(), folder_ / "stderr.txt");
  }

  std::string LastErrors() const {
    std::ifstream in(folder_ / "stderr.txt");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return text.size() > 2000 ? text.substr(text.size() - 2000) : text;
  }

  // Waits (bounded) until the first `count` cards are back from one restart more than `before`.
  bool WaitForRestarts(int count, const std::vector<std::size_t>& before) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (int i = 0; i < count; ++i) {
      while (sim_->Events("restarted", Address(i)).size() <= before[static_cast<std::size_t>(i)]) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    }
    return true;
  }

  std::vector<std::size_t> Restarts(int count) const {
    std::vector<std::size_t> counts;
    for (int i = 0; i < count; ++i) counts.push_back(sim_->Events("restarted", Address(i)).size());
    return counts;
  }

 private:
  fs::path folder_;
  std::unique_ptr<CardSim> sim_;
  int port_ = 0;
};

struct Figures {
  double seconds = 0;
  long peakRssKb = 0;
  bool ok = true;
};

// Programs the first `count` cards kRuns times; each run waits for the cards of the previous
// one to be back from their restart first.
Figures Program(const Fleet& fleet, int count, const fs::path& document) {
  std::vector<double> seconds;
  Figures figures;
  for (int run = 0; run < kRuns; ++run) {
    const auto before = fleet.Restarts(count);
    const Measured m = fleet.Trevnactl(
        {"program", HostList(count), document.string(), "--restart-step-ms", std::to_string(kRestartStepMs)});
    if (m.exitCode != 0) {
      std::fprintf(stderr, "program of %d cards failed (%d):\n%s%s\n", count, m.exitCode, m.out.c_str(),
                   fleet.LastErrors().c_str());
      figures.ok = false;
      return figures;
    }
    seconds.push_back(m.seconds);
    figures.peakRssKb = std::max(figures.peakRssKb, m.peakRssKb);
    if (!fleet.WaitForRestarts(count, before)) {
      std::fprintf(stderr, "cards did not come back from their restart\n");
      figures.ok = false;
      return figures;
    }
  }
  figures.seconds = Median(seconds);
  return figures;
}

// trevnactl facts of the first `count` cards: every card must answer with one JSON line.
Figures Facts(const Fleet& fleet, int count) {
  std::vector<double> seconds;
  Figures figures;
  for (int run = 0; run < kRuns; ++run) {
    const Measured m = fleet.Trevnactl({"facts", HostList(count), "--json"});
    const auto lines = std::count(m.out.begin(), m.out.end(), '\n');
    const auto reachable = [&] {
      std::size_t n = 0;
      for (std::size_t at = m.out.find("\"reachable\":true"); at != std::string::npos;
           at = m.out.find("\"reachable\":true", at + 1)) {
        ++n;
      }
      return n;
    }();
    if (m.exitCode != 0 || lines != count || reachable != static_cast<std::size_t>(count)) {
      std::fprintf(stderr, "facts of %d cards failed (%d, %ld lines, %zu reachable):\n%s%s\n", count, m.exitCode,
                   static_cast<long>(lines), reachable, m.out.c_str(), fleet.LastErrors().c_str());
      figures.ok = false;
      return figures;
    }
    seconds.push_back(m.seconds);
    figures.peakRssKb = std::max(figures.peakRssKb, m.peakRssKb);
  }
  figures.seconds = Median(seconds);
  return figures;
}

bool TrevnactlHasFacts() {
  const auto r = trevna_test::RunProcess({TREVNA_BINARY_DIR "/trevnactl", "facts", "--help"}, "", {}, 30);
  return r.exitCode == 0;
}

// A play of one task over the first `count` cards, one run (a play over 50 cards loads the
// machine more than the rest of the benchmark); nothing when it fails (the reason is printed).
std::optional<Figures> AnsiblePlay(const Fleet& fleet, int count, const fs::path& folder, const std::string& task) {
  const fs::path inventory = folder / "inventory.ini";
  {
    std::ofstream out(inventory);
    out << "[cards]\n";
    for (int i = 0; i < count; ++i) out << Address(i) << "\n";
  }
  const fs::path playbook = folder / "play.yml";
  {
    std::ofstream out(playbook);
    out << "- hosts: cards\n"
           "  connection: local\n"
           "  gather_facts: false\n"
           "  tasks:\n"
        << task;
  }
  std::vector<std::string> environment = fleet.Environment();
  for (const std::string& setting :
       {"ANSIBLE_COLLECTIONS_PATH=" + (fs::path(TREVNA_SOURCE_DIR) / "ansible").string(),
        std::string("ANSIBLE_PYTHON_INTERPRETER=/usr/bin/python3"), "ANSIBLE_FORKS=" + std::to_string(count),
        std::string("ANSIBLE_PIPELINING=1"), "ANSIBLE_LOCAL_TEMP=" + (folder / "ansible-tmp").string(),
        "ANSIBLE_HOME=" + (folder / "ansible-home").string(), std::string("ANSIBLE_NOCOLOR=1"),
        std::string("ANSIBLE_RETRY_FILES_ENABLED=0"), std::string("ANSIBLE_LOCALHOST_WARNING=0"),
        std::string("ANSIBLE_DEPRECATION_WARNINGS=0")}) {
    environment.push_back(setting);
  }
  const Measured m = RunMeasured({"ansible-playbook", "-i", inventory.string(), playbook.string()}, environment,
                                 folder / "ansible-stderr.txt");
  std::size_t answered = 0;
  for (std::size_t at = m.out.find(" ok=1 "); at != std::string::npos; at = m.out.find(" ok=1 ", at + 1)) ++answered;
  if (m.exitCode != 0 || answered != static_cast<std::size_t>(count)) {
    std::printf("ansible: the play failed (%d, %zu of %d cards answered); not measured:\n%s\n", m.exitCode, answered,
                count, m.out.size() > 3000 ? m.out.substr(m.out.size() - 3000).c_str() : m.out.c_str());
    return std::nullopt;
  }
  Figures figures;
  figures.seconds = m.seconds;
  figures.peakRssKb = m.peakRssKb;
  return figures;
}

// The first play of the collection's roll-out (the facts of every card) over 1 and over 50
// cards, with Ansible's own ping over the same hosts as the floor that any module pays; when
// ansible-playbook and the collection are present.
struct AnsibleFigures {
  Figures facts[2];
  Figures ping[2];
};

std::optional<AnsibleFigures> AnsibleFacts(const Fleet& fleet, const fs::path& folder) {
  const fs::path module =
      fs::path(TREVNA_SOURCE_DIR) / "ansible/ansible_collections/trevna/cards/plugins/modules/card_facts.py";
  if (std::system("command -v ansible-playbook >/dev/null 2>&1") != 0) {
    std::printf("ansible facts: not measured (no ansible-playbook on this machine)\n");
    return std::nullopt;
  }
  if (!fs::exists(module)) {
    std::printf("ansible facts: not measured (no trevna.cards collection with card_facts in ansible/)\n");
    return std::nullopt;
  }
  const std::string facts = std::string("    - trevna.cards.card_facts:\n"
                                        "        host: \"{{ inventory_hostname }}\"\n"
                                        "        user: ") +
                            CardSim::kUser + "\n        password: " + CardSim::kPassword +
                            "\n        ssh_port: " + fleet.CardArguments()[3] +
                            "\n        known_cards: " + (folder / "known_cards").string() +
                            "\n        trevnactl: " TREVNA_BINARY_DIR "/trevnactl\n";
  const std::string ping = "    - ansible.builtin.ping:\n";
  AnsibleFigures figures;
  const int counts[2] = {1, kFleet};
  for (int k = 0; k < 2; ++k) {
    const auto f = AnsiblePlay(fleet, counts[k], folder, facts);
    const auto p = AnsiblePlay(fleet, counts[k], folder, ping);
    if (!f || !p) return std::nullopt;
    figures.facts[k] = *f;
    figures.ping[k] = *p;
  }
  return figures;
}

void PrintRatio(const char* what, double one, double many, double goal) {
  std::printf("%-34s time(1) %.2f s, time(%d) %.2f s: ratio %.2f (goal <= %.1f)\n", what, one, kFleet, many,
              one > 0 ? many / one : 0.0, goal);
}

}  // namespace

int main() {
  const trevna_test::TempFolder folder("fleet-bench");
  const fs::path document = folder / "program.trv";
  SaveDocument(document);

  // The simulator's own cost of one card.
  long oneCardKb = 0;
  {
    const trevna_test::TempFolder single("fleet-bench-one");
    Fleet one(single.Path(), 1);
    const Figures warm = Program(one, 1, document);
    if (!warm.ok) return 1;
    oneCardKb = SimulatorKb(one.StateFolder(), "VmRSS:");
  }

  const auto startBegin = std::chrono::steady_clock::now();
  Fleet fleet(folder.Path(), kFleet);
  const double startSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - startBegin).count();
  std::printf("simulator: %d cards ready in %.1f s (first start: host keys and recordings)\n", kFleet, startSeconds);

  std::printf("program (document %ju bytes, --restart-step-ms %d, median of %d runs):\n",
              static_cast<std::uintmax_t>(fs::file_size(document)), kRestartStepMs, kRuns);
  Figures program[3];
  const int counts[3] = {1, 10, kFleet};
  for (int k = 0; k < 3; ++k) {
    program[k] = Program(fleet, counts[k], document);
    if (!program[k].ok) return 1;
    std::printf("  %2d cards: %.2f s, trevnactl peak RSS %.1f MB\n", counts[k], program[k].seconds,
                program[k].peakRssKb / 1024.0);
  }
  const long fleetKb = SimulatorKb(fleet.StateFolder(), "VmRSS:");
  const long fleetPeakKb = SimulatorKb(fleet.StateFolder(), "VmHWM:");

  std::optional<Figures> facts[2];
  if (TrevnactlHasFacts()) {
    facts[0] = Facts(fleet, 1);
    facts[1] = Facts(fleet, kFleet);
    if (!facts[0]->ok || !facts[1]->ok) return 1;
  }
  const std::optional<AnsibleFigures> ansible = AnsibleFacts(fleet, folder.Path());
  std::printf("\n");
  PrintRatio("program:", program[0].seconds, program[2].seconds, 2.0);
  std::printf("%-34s time(10) / time(1) = %.2f\n", "", program[1].seconds / program[0].seconds);
  if (facts[1]) {
    PrintRatio("trevnactl facts:", facts[0]->seconds, facts[1]->seconds, 2.0);
  } else {
    std::printf("trevnactl facts: not measured (this trevnactl has no facts command)\n");
  }
  if (ansible) {
    PrintRatio("ansible card_facts play:", ansible->facts[0].seconds, ansible->facts[1].seconds, 2.0);
    std::printf("%-34s time(1) %.2f s, time(%d) %.2f s: ratio %.2f (Ansible's own cost per host, no goal)\n",
                "ansible ping play (reference):", ansible->ping[0].seconds, kFleet, ansible->ping[1].seconds,
                ansible->ping[1].seconds / ansible->ping[0].seconds);
  }
  std::printf("simulator memory per card: %.0f kB (RSS %.1f MB with %d cards after the runs, peak %.1f MB; "
              "%.1f MB with 1)\n",
              static_cast<double>(fleetKb - oneCardKb) / (kFleet - 1), fleetKb / 1024.0, kFleet,
              fleetPeakKb / 1024.0, oneCardKb / 1024.0);
  std::printf("trevnactl memory per card (program): %.0f kB (peak RSS %.1f MB for %d cards, %.1f MB for 1)\n",
              static_cast<double>(program[2].peakRssKb - program[0].peakRssKb) / (kFleet - 1),
              program[2].peakRssKb / 1024.0, kFleet, program[0].peakRssKb / 1024.0);
  if (facts[1]) {
    std::printf("trevnactl memory per card (facts): %.0f kB (peak RSS %.1f MB for %d cards, %.1f MB for 1)\n",
                static_cast<double>(facts[1]->peakRssKb - facts[0]->peakRssKb) / (kFleet - 1),
                facts[1]->peakRssKb / 1024.0, kFleet, facts[0]->peakRssKb / 1024.0);
  }
  return 0;
}
