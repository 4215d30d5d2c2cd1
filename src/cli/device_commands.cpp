// trevnactl commands that talk to cards: discover, program, time, download-program, restart,
// network, passwd, archive, archive-get and live. They run the same engine as the application
// (SSH session and operations, discovery, live stream) with printing sinks.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/bitmap_file.h"
#include "base/file.h"
#include "base/platform.h"
#include "base/socket.h"
#include "base/text.h"
#include "cli/registry.h"
#include "device/card_text.h"
#include "device/device_operations.h"
#include "device/discovery.h"
#include "device/live_stream.h"
#include "device/sinks.h"
#include "device/ssh_session.h"
#include "doc/document_file.h"
#include "logic/validation.h"

namespace {

using namespace device;

// ---------------------------------------------------------------------------------------------
// Card options shared by every card command.

struct CardOptions {
  std::string user;
  std::string passwordFile;
  int sshPort = 22;
  int streamPort = 25100;
  int restartStepMs = -1;  // -1: the card's own pacing
};

void AddCardOptions(CLI::App& app, CardOptions& options) {
  app.add_option("--user", options.user, "SSH user name")->required();
  app.add_option("--password-file", options.passwordFile,
                 "file whose first line is the password (else the TREVNA_PASSWORD environment variable)");
  app.add_option("--ssh-port", options.sshPort, "SSH port of the card")->check(CLI::Range(1, 65535));
  app.add_option("--stream-port", options.streamPort, "live stream port of the card")->check(CLI::Range(1, 65535));
}

void AddRestartOption(CLI::App& app, CardOptions& options) {
  app.add_option("--restart-step-ms", options.restartStepMs,
                 "pause per step of the 75-step restart wait (default 533 ms after programming, 1000 ms otherwise)")
      ->check(CLI::Range(0, 10000));
}

bool ReadFirstLine(const std::string& path, std::string* line) {
  std::ifstream in(platform::PathFromUtf8(path), std::ios::binary);
  if (!in) return false;
  std::getline(in, *line);
  while (!line->empty() && (line->back() == '\r' || line->back() == '\n')) line->pop_back();
  return true;
}

// The password from --password-file or TREVNA_PASSWORD; prints the reason and returns nothing.
std::optional<std::string> Password(const CardOptions& options) {
  std::string password;
  if (!options.passwordFile.empty()) {
    if (!ReadFirstLine(options.passwordFile, &password)) {
      std::fprintf(stderr, "cannot read the password file '%s'\n", options.passwordFile.c_str());
      return std::nullopt;
    }
    return Cp1250FromUtf8(password);
  }
  if (const char* env = std::getenv("TREVNA_PASSWORD")) return Cp1250FromUtf8(env);
  std::fprintf(stderr, "no password: use --password-file F or the TREVNA_PASSWORD environment variable\n");
  return std::nullopt;
}

std::vector<std::string> SplitHosts(const std::string& text) {
  std::vector<std::string> hosts;
  std::stringstream in(text);
  std::string host;
  while (std::getline(in, host, ',')) {
    if (!host.empty()) hosts.push_back(host);
  }
  return hosts;
}

// ---------------------------------------------------------------------------------------------
// Printing sinks.

// Status of one or more cards. On a terminal the latest state of every card is redrawn on one
// line; otherwise each new status text is printed on its own line (positions alone are not).
class ConsoleStatus {
 public:
  explicit ConsoleStatus(std::vector<std::string> hosts)
      : hosts_(std::move(hosts)), terminal_(cli::IsTerminal(stderr)) {
    for (const auto& host : hosts_) state_[host] = {"", -1};
  }

  void Show(const std::string& host, const std::string& cp1250Text, int position) {
    std::lock_guard lock(mutex_);
    auto& entry = state_[host];
    const bool newText = !cp1250Text.empty() && cp1250Text != entry.first;
    if (!cp1250Text.empty()) entry.first = cp1250Text;
    entry.second = position;
    if (terminal_) {
      std::string line;
      for (const auto& h : hosts_) {
        const auto& e = state_[h];
        if (!line.empty()) line += " | ";
        line += h + ": " + Utf8FromCp1250(e.first);
        if (e.second >= 0) line += " " + std::to_string(e.second) + "%";
      }
      std::fprintf(stderr, "\r\033[K%s", line.c_str());
      dirty_ = true;
    } else if (newText) {
      std::fprintf(stderr, "%s: %s\n", host.c_str(), Utf8FromCp1250(cp1250Text).c_str());
    }
    std::fflush(stderr);
  }

  // Ends the redrawn line before other output.
  void Finish() {
    std::lock_guard lock(mutex_);
    if (terminal_ && dirty_) std::fputc('\n', stderr);
    dirty_ = false;
  }

 private:
  std::vector<std::string> hosts_;
  bool terminal_;
  bool dirty_ = false;
  std::mutex mutex_;
  std::map<std::string, std::pair<std::string, int>> state_;
};

class HostStatus : public StatusSink {
 public:
  HostStatus(ConsoleStatus& console, std::string host) : console_(console), host_(std::move(host)) {}
  void ShowStatus(const std::string& text) override { console_.Show(host_, text, -1); }
  void ShowProgress(const std::string& text, int position) override { console_.Show(host_, text, position); }

 private:
  ConsoleStatus& console_;
  std::string host_;
};

// ---------------------------------------------------------------------------------------------
// One card session for a command.

struct CardSession {
  std::string host;
  SshSession session;
  std::unique_ptr<HostStatus> status;
  DeviceTiming timing;
};

// Opens a session; prints the failure and returns false.
bool OpenCard(CardSession& card, const std::string& host, const CardOptions& options, const std::string& password,
              ConsoleStatus& console) {
  card.host = host;
  card.status = std::make_unique<HostStatus>(console, host);
  if (options.restartStepMs >= 0) {
    const unsigned step = static_cast<unsigned>(options.restartStepMs);
    card.timing.sleep = [step](unsigned) { std::this_thread::sleep_for(std::chrono::milliseconds(step)); };
  }
  std::uint32_t address = 0;
  if (!net::ResolveIPv4(host, &address)) {
    console.Finish();
    std::fprintf(stderr, "%s: unknown host\n", host.c_str());
    return false;
  }
  try {
    card.session.Open(address, static_cast<std::uint16_t>(options.sshPort), Cp1250FromUtf8(options.user), password,
                      SshLimits{}, card.status.get());
    card.status->ShowStatus(Cp1250FromUtf8("Połączony"));
    return true;
  } catch (const std::exception& e) {
    card.status->ShowStatus(Cp1250FromUtf8("Nie udało się otworzyć połączenia"));
    console.Finish();
    std::fprintf(stderr, "%s: %s\n", host.c_str(), Utf8FromCp1250(e.what()).c_str());
    return false;
  }
}

// Runs `body` on one card with a printed status; returns the exit code.
template <class Body>
int WithCard(const std::string& host, const CardOptions& options, Body&& body) {
  const auto password = Password(options);
  if (!password) return cli::kExitUsage;
  ConsoleStatus console({host});
  CardSession card;
  if (!OpenCard(card, host, options, *password, console)) return cli::kExitFailure;
  OperationContext ctx{card.session, *card.status, RealFiles(), card.timing};
  try {
    body(ctx, card);
  } catch (const std::exception& e) {
    console.Finish();
    cli::PrintError(e.what());
    return cli::kExitFailure;
  }
  console.Finish();
  return cli::kExitOk;
}

// Runs `body` on several cards in parallel; one result line per host; 0 when all succeeded.
template <class Body>
int OnEveryCard(const std::vector<std::string>& hosts, const CardOptions& options, const char* successUtf8,
                Body body) {
  const auto password = Password(options);
  if (!password) return cli::kExitUsage;
  ConsoleStatus console(hosts);
  std::vector<std::string> results(hosts.size());
  std::vector<bool> ok(hosts.size(), false);
  std::vector<std::thread> workers;
  // The socket library stays started while the sessions come and go.
  net::NetworkStartup network;
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    workers.emplace_back([&, i] {
      CardSession card;
      if (!OpenCard(card, hosts[i], options, *password, console)) {
        results[i] = "connection failed";
        return;
      }
      OperationContext ctx{card.session, *card.status, RealFiles(), card.timing};
      try {
        body(ctx);
        ok[i] = true;
        results[i] = successUtf8;
      } catch (const std::exception& e) {
        results[i] = Utf8FromCp1250(e.what());
      }
    });
  }
  for (auto& worker : workers) worker.join();
  console.Finish();
  bool all = true;
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    std::printf("%s: %s: %s\n", hosts[i].c_str(), ok[i] ? "OK" : "FAILED", results[i].c_str());
    all = all && ok[i];
  }
  std::fflush(stdout);
  return all ? cli::kExitOk : cli::kExitFailure;
}

// ---------------------------------------------------------------------------------------------
// discover

struct PrintingList : DeviceListSink {
  void AddItem(const std::string& text) override {
    if (first) {  // the no-card entry
      first = false;
      return;
    }
    std::printf("%s\n", Utf8FromCp1250(text).c_str());
    std::fflush(stdout);
  }
  bool first = true;
};

const bool discoverRegistered = cli::RegisterCommand(
    "discover", "Lists the cards that announce themselves on the network", [](CLI::App& app) -> cli::Run {
      auto seconds = std::make_shared<double>(3);
      auto port = std::make_shared<int>(21060);
      app.add_option("--seconds", *seconds, "how long to listen")->check(CLI::Range(0.0, 3600.0));
      app.add_option("--port", *port, "UDP port of the announcements")->check(CLI::Range(1, 65535));
      return [seconds, port] {
        PrintingList printer;
        DeviceList list(&printer);
        ScanThread scan(&list, static_cast<std::uint16_t>(*port));
        scan.Start();
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<long>(*seconds * 1000));
        for (int i = 0; i < 100 && !scan.Listening(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!scan.Listening()) {
          scan.Stop();
          std::fprintf(stderr, "cannot listen on UDP port %d\n", *port);
          return cli::kExitFailure;
        }
        std::this_thread::sleep_until(until);
        scan.Stop();
        return cli::kExitOk;
      };
    });

// ---------------------------------------------------------------------------------------------
// program

struct PrintingProblems : ProblemSink {
  void ClearProblems() override { rows.clear(); }
  void AddProblem(const std::wstring& text) override { rows.push_back(Utf8FromWide(text)); }
  std::vector<std::string> rows;
};

const bool programRegistered = cli::RegisterCommand(
    "program", "Validates a document and programs one or more cards with it", [](CLI::App& app) -> cli::Run {
      auto options = std::make_shared<CardOptions>();
      auto hosts = std::make_shared<std::string>();
      auto document = std::make_shared<std::string>();
      app.add_option("HOSTS", *hosts, "card address, or several separated by commas")->required();
      app.add_option("DOC", *document, "the .trv document")->required();
      AddCardOptions(app, *options);
      AddRestartOption(app, *options);
      return [options, hosts, document] {
        std::string data;
        try {
          File file(Cp1250FromUtf8(*document), "rb");
          data = file.ReadAll();
          PrintingProblems problems;
          const RenderState state = ParseDocument(data);
          if (ValidateProgram(state, problems)) {
            cli::PrintError(Cp1250FromUtf8("Program zawiera błędy. Usuń je i spróbuj ponownie."));
            for (const auto& row : problems.rows) std::fprintf(stderr, "  %s\n", row.c_str());
            return cli::kExitFailure;
          }
        } catch (const std::exception& e) {
          cli::PrintError(e.what());
          return cli::kExitFailure;
        }
        const auto list = SplitHosts(*hosts);
        if (list.empty()) {
          std::fprintf(stderr, "no host given\n");
          return cli::kExitUsage;
        }
        return OnEveryCard(list, *options, "Plik pomyślnie wysłany",
                           [&data](OperationContext& ctx) { UploadProgram(ctx, data); });
      };
    });

// ---------------------------------------------------------------------------------------------
// restart

const bool restartRegistered = cli::RegisterCommand(
    "restart", "Restarts the software of one or more cards", [](CLI::App& app) -> cli::Run {
      auto options = std::make_shared<CardOptions>();
      auto hosts = std::make_shared<std::string>();
      app.add_option("HOSTS", *hosts, "card address, or several separated by commas")->required();
      AddCardOptions(app, *options);
      AddRestartOption(app, *options);
      return [options, hosts] {
        const auto list = SplitHosts(*hosts);
        if (list.empty()) return cli::kExitUsage;
        return OnEveryCard(list, *options, "Trevna pomyślnie zrestartowany",
                           [](OperationContext& ctx) { RestartCard(ctx); });
      };
    });

// ---------------------------------------------------------------------------------------------
// time

std::string FormatOffset(std::int64_t ticks) {
  char text[64];
  std::snprintf(text, sizeof text, "%+.3f s", static_cast<double>(ticks) / 1e7);
  return text;
}

const bool timeRegistered = cli::RegisterCommand(
    "time", "Shows the card's UTC time and its offset from the PC", [](CLI::App& app) -> cli::Run {
      auto options = std::make_shared<CardOptions>();
      auto host = std::make_shared<std::string>();
      auto sync = std::make_shared<bool>(false);
      app.add_option("HOST", *host, "card address")->required();
      app.add_flag("--sync", *sync, "set the card's clock to the PC's when it is more than 10 s off");
      AddCardOptions(app, *options);
      return [options, host, sync] {
        return WithCard(*host, *options, [&](OperationContext& ctx, CardSession& card) {
          const ClockCheckResult result = CheckClock(ctx.session, card.timing, *sync);
          switch (result.outcome) {
            case ClockCheckResult::NoChannel:
              throw std::runtime_error(Cp1250FromUtf8("Nie powiodło się otwarcie sesji."));
            case ClockCheckResult::NotStarted:
              throw std::runtime_error(Cp1250FromUtf8("Nie powiodła się próba wykonania polecenia."));
            case ClockCheckResult::Unreadable:
              throw std::runtime_error("the card's date output could not be read");
            default:
              break;
          }
          const card::CardTime& t = result.cardTime;
          std::printf("card UTC: %04u-%02u-%02u %02u:%02u:%02u\n", t.year, t.month, t.day, t.hour, t.minute, t.second);
          std::printf("offset: %s (card minus PC)\n", FormatOffset(result.offset).c_str());
          if (result.outcome == ClockCheckResult::Corrected) std::printf("clock set to the PC's UTC time\n");
          if (result.outcome == ClockCheckResult::InStep && *sync) std::printf("clock within 10 s, not changed\n");
          if (result.outcome == ClockCheckResult::OutOfStep) std::printf("more than 10 s off (use --sync)\n");
        });
      };
    });

// ---------------------------------------------------------------------------------------------
// download-program

const bool downloadRegistered = cli::RegisterCommand(
    "download-program", "Saves the program a card holds as a document file", [](CLI::App& app) -> cli::Run {
      auto options = std::make_shared<CardOptions>();
      auto host = std::make_shared<std::string>();
      auto out = std::make_shared<std::string>();
      app.add_option("HOST", *host, "card address")->required();
      app.add_option("OUT", *out, "target .trv file")->required();
      AddCardOptions(app, *options);
      return [options, host, out] {
        return WithCard(*host, *options, [&](OperationContext& ctx, CardSession&) {
          const std::string data = FetchProgram(ctx);
          StoreProgram(ctx, Cp1250FromUtf8(*out), data);
          std::printf("%s: %zu bytes\n", out->c_str(), data.size());
        });
      };
    });

// ---------------------------------------------------------------------------------------------
// network

const bool networkRegistered = cli::RegisterCommand(
    "network", "Shows or sets a card's network settings", [](CLI::App& app) -> cli::Run {
      auto options = std::make_shared<CardOptions>();
      auto host = std::make_shared<std::string>();
      auto set = std::make_shared<std::vector<std::string>>();
      app.add_option("HOST", *host, "card address")->required();
      app.add_option("--set", *set, "ADDR MASK GATEWAY: static settings (the card restarts)")->expected(3);
      AddCardOptions(app, *options);
      AddRestartOption(app, *options);
      return [options, host, set] {
        std::uint32_t values[3] = {0, 0, 0};
        for (std::size_t i = 0; i < set->size(); ++i) {
          if (!net::ParseDottedAddress((*set)[i], &values[i])) {
            std::fprintf(stderr, "'%s' is not an IPv4 address\n", (*set)[i].c_str());
            return cli::kExitUsage;
          }
        }
        return WithCard(*host, *options, [&](OperationContext& ctx, CardSession&) {
          if (!set->empty()) {
            SetNetwork(ctx, values[0], values[1], values[2]);
            return;
          }
          const NetworkSettings s = ReadNetworkSettings(ctx);
          std::printf("ipaddr = %s\nnetmask = %s\ngateway = %s\n", net::DottedAddress(s.address).c_str(),
                      net::DottedAddress(s.netmask).c_str(), net::DottedAddress(s.gateway).c_str());
          if (s.hardwareAddress) std::printf("hwaddr = %s\n", s.hardwareAddress->c_str());
        });
      };
    });

// ---------------------------------------------------------------------------------------------
// passwd

const bool passwdRegistered = cli::RegisterCommand(
    "passwd", "Changes the SSH user's password on a card", [](CLI::App& app) -> cli::Run {
      auto options = std::make_shared<CardOptions>();
      auto host = std::make_shared<std::string>();
      auto newFile = std::make_shared<std::string>();
      app.add_option("HOST", *host, "card address")->required();
      app.add_option("--new-password-file", *newFile, "file whose first line is the new password")->required();
      AddCardOptions(app, *options);
      return [options, host, newFile] {
        std::string newPassword;
        if (!ReadFirstLine(*newFile, &newPassword)) {
          std::fprintf(stderr, "cannot read '%s'\n", newFile->c_str());
          return cli::kExitUsage;
        }
        return WithCard(*host, *options, [&](OperationContext& ctx, CardSession&) {
          ChangePassword(ctx, Cp1250FromUtf8(options->user), Cp1250FromUtf8(newPassword));
        });
      };
    });

// ---------------------------------------------------------------------------------------------
// archive, archive-get

const bool archiveRegistered = cli::RegisterCommand(
    "archive", "Lists the archive folders of a card, or the files of one folder", [](CLI::App& app) -> cli::Run {
      auto options = std::make_shared<CardOptions>();
      auto host = std::make_shared<std::string>();
      auto folder = std::make_shared<std::string>();
      app.add_option("HOST", *host, "card address")->required();
      app.add_option("FOLDER", *folder, "archive folder as listed (e.g. 2026-12-07/)");
      AddCardOptions(app, *options);
      return [options, host, folder] {
        return WithCard(*host, *options, [&](OperationContext& ctx, CardSession&) {
          std::vector<std::string> lines;
          if (folder->empty()) {
            lines = ListArchiveFolders(ctx);
          } else {
            std::string name = Cp1250FromUtf8(*folder);
            if (name.back() != '/') name += '/';
            lines = ListArchiveFiles(ctx, name);
          }
          for (const auto& line : lines) std::printf("%s\n", Utf8FromCp1250(line).c_str());
        });
      };
    });

const bool archiveGetRegistered = cli::RegisterCommand(
    "archive-get", "Downloads archive files of a card", [](CLI::App& app) -> cli::Run {
      auto options = std::make_shared<CardOptions>();
      auto host = std::make_shared<std::string>();
      auto folder = std::make_shared<std::string>();
      auto files = std::make_shared<std::vector<std::string>>();
      auto out = std::make_shared<std::string>();
      app.add_option("HOST", *host, "card address")->required();
      app.add_option("FOLDER", *folder, "archive folder as listed")->required();
      app.add_option("FILE", *files, "file names")->required();
      app.add_option("-o", *out, "local archive folder (files land in DIR/FOLDER/)")->required();
      AddCardOptions(app, *options);
      return [options, host, folder, files, out] {
        std::string root = Cp1250FromUtf8(*out);
        if (!root.empty() && root.back() != '/' && root.back() != '\\') root += '/';
        std::string folderName = Cp1250FromUtf8(*folder);
        if (folderName.back() != '/') folderName += '/';
        return WithCard(*host, *options, [&](OperationContext& ctx, CardSession&) {
          for (const auto& file : *files) {
            DownloadArchiveFile(ctx, root, folderName, Cp1250FromUtf8(file));
            std::printf("%s%s%s\n", out->c_str(), Utf8FromCp1250(folderName).c_str(), file.c_str());
          }
          ctx.status.ShowStatus(Cp1250FromUtf8("Pliki pobrane"));
        });
      };
    });

// ---------------------------------------------------------------------------------------------
// live

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

// Passes the tuning calls on and keeps every accepted count message.
class RecordingTuning : public TuningTarget {
 public:
  explicit RecordingTuning(TuningState& state) : state_(state) {}
  std::optional<TuningRequest> TakeTuningRequest() override { return state_.TakeTuningRequest(); }
  std::pair<int, int> TunedDetector() const override { return state_.TunedDetector(); }
  void SetCounts(const std::uint16_t* counts) override {
    state_.SetCounts(counts);
    received.emplace_back(counts, counts + TuningState::kValues);
  }
  std::vector<std::vector<std::uint16_t>> received;

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
        std::filesystem::create_directories(platform::PathFromUtf8(o->out), error);
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
          WriteBitmap(Cp1250FromUtf8(name), pictures.Copy(track));
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
            while (tuningWritten < tuning.received.size()) {
              std::string text;
              for (std::uint16_t value : tuning.received[tuningWritten]) text += std::to_string(value) + "\n";
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
