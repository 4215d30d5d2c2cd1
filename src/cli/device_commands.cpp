// trevnactl commands that talk to cards: discover, program, time, download-program, restart,
// network, passwd, archive and archive-get (live is in live_command.cpp). They run the same
// engine as the application (SSH session and operations, discovery) with printing sinks,
// called directly: each card runs on one thread of its own.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/file.h"
#include "base/platform.h"
#include "base/socket.h"
#include "base/text.h"
#include "cli/card_session.h"
#include "cli/registry.h"
#include "device/card_text.h"
#include "device/device_operations.h"
#include "device/discovery.h"
#include "device/sinks.h"
#include "doc/document_file.h"
#include "doc/package.h"
#include "logic/validation.h"

namespace {

using namespace device;
using cli::AddCardOptions;
using cli::AddRestartOption;
using cli::CardOptions;
using cli::CardSession;
using cli::CardReport;
using cli::OnCards;
using nlohmann::json;
using cli::ReadFirstLine;
using cli::SplitHosts;
using cli::WithCard;

// ---------------------------------------------------------------------------------------------
// discover

struct PrintingList : DeviceListSink {
  void AddItem(const std::string& text) override {
    if (first) {  // the no-card entry
      first = false;
      return;
    }
    if (!json) {
      std::printf("%s\n", Utf8FromCp1250(card::Printable(text)).c_str());
      std::fflush(stdout);
      return;
    }
    // The list appends the address before the item.
    const std::string address = net::DottedAddress(list->AddressAt(static_cast<int>(list->Count()) - 1));
    const std::string suffix = " (" + address + ")";
    std::string alias;
    if (text.size() > suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0) {
      alias = text.substr(0, text.size() - suffix.size());
    }
    CardReport report;
    report.host = address;
    report.ok = true;
    report.step = "done";
    report.message = card::Printable(text);
    // The announcement carries the alias alone; the hardware address needs a login (facts).
    report.found = {{"alias", Utf8FromCp1250(card::Printable(alias))}, {"hwaddr", nullptr}};
    cli::PrintJsonLine(cli::ReportJson(report));
  }
  bool first = true;
  bool json = false;
  DeviceList* list = nullptr;
};

const bool discoverRegistered = cli::RegisterCommand(
    "discover", "Lists the cards that announce themselves on the network", [](CLI::App& app) -> cli::Run {
      auto seconds = std::make_shared<double>(3);
      auto port = std::make_shared<int>(21060);
      auto json = std::make_shared<bool>(false);
      app.add_option("--seconds", *seconds, "how long to listen")->check(CLI::Range(0.0, 3600.0));
      app.add_option("--port", *port, "UDP port of the announcements")->check(CLI::Range(1, 65535));
      app.add_flag("--json", *json, "print one JSON object per card found (JSON Lines)");
      return [seconds, port, json] {
        PrintingList printer;
        printer.json = *json;
        DeviceList list(&printer);
        printer.list = &list;
        ScanThread scan(&list, static_cast<std::uint16_t>(*port));
        scan.Start();
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<long>(*seconds * 1000));
        for (int i = 0; i < 100 && !scan.Listening(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!scan.Listening()) {
          scan.Stop();
          std::fprintf(stderr, "cannot listen on UDP port %d\n", *port);
          if (*json) {
            cli::PrintJsonLine({{"host", ""}, {"ok", false}, {"changed", false}, {"step", "connect"},
                                {"message", "cannot listen on UDP port " + std::to_string(*port)}});
          }
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

// The output script ("compose.txt") of a program's package, as UTF-8; empty when it has none.
std::string OutputScript(const std::string& program) {
  std::string_view package;
  if (!FindStoredPackage(program, package)) return "";
  for (const PackageEntry& entry : ReadProgramPackage(package)) {
    if (entry.name == "compose.txt") return Utf8FromCp1250(entry.data);
  }
  return "";
}

// A line diff of two texts ("-" card, "+" document, " " both), from their longest common
// subsequence of lines.
std::string LineDiff(const std::string& before, const std::string& after) {
  const std::vector<std::string> a = card::SplitListing(before), b = card::SplitListing(after);
  std::vector<std::vector<unsigned>> common(a.size() + 1, std::vector<unsigned>(b.size() + 1, 0));
  for (std::size_t i = a.size(); i-- > 0;) {
    for (std::size_t j = b.size(); j-- > 0;) {
      common[i][j] = a[i] == b[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
    }
  }
  std::string text;
  std::size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    if (i < a.size() && j < b.size() && a[i] == b[j]) {
      text += " " + a[i++] + "\n";
      ++j;
    } else if (i < a.size() && (j == b.size() || common[i + 1][j] >= common[i][j + 1])) {
      text += "-" + a[i++] + "\n";
    } else {
      text += "+" + b[j++] + "\n";
    }
  }
  return text;
}

struct ProgramOptions {
  std::string hosts;
  std::string document;
  bool ifDifferent = false;
  bool check = false;
  bool diff = false;
};

const bool programRegistered = cli::RegisterCommand(
    "program", "Validates a document and programs one or more cards with it", [](CLI::App& app) -> cli::Run {
      auto options = std::make_shared<CardOptions>();
      auto program = std::make_shared<ProgramOptions>();
      app.add_option("HOSTS", program->hosts, "card address, or several separated by commas")->required();
      app.add_option("DOC", program->document, "the .trv document")->required();
      app.add_flag("--if-different", program->ifDifferent,
                   "read the card's program first; upload and restart only when it differs from the document's");
      app.add_flag("--check", program->check, "with --if-different: only read and compare, never upload");
      app.add_flag("--diff", program->diff, "show the card's output script against the document's");
      AddCardOptions(app, *options);
      AddRestartOption(app, *options);
      return [options, program] {
        if (program->check && !program->ifDifferent) {
          return cli::UsageError(options->json, "--check needs --if-different");
        }
        std::string data;
        try {
          File file(Cp1250FromUtf8(program->document), "rb");
          data = file.ReadAll();
          PrintingProblems problems;
          const RenderState state = ParseDocument(data);
          if (ValidateProgram(state, problems)) {
            std::string text = Utf8FromCp1250(Cp1250FromUtf8("Program zawiera błędy. Usuń je i spróbuj ponownie."));
            for (const auto& row : problems.rows) text += "\n  " + row;
            return cli::UsageError(options->json, text);
          }
        } catch (const std::exception& e) {
          return cli::UsageError(options->json, Utf8FromCp1250(e.what()));
        }
        const auto list = SplitHosts(program->hosts);
        if (list.empty()) return cli::UsageError(options->json, "no host given");
        const std::string documentSha = Sha256Hex(data);
        const std::string same = Cp1250FromUtf8("Program na karcie jest taki sam jak w dokumencie");
        const std::string differs = Cp1250FromUtf8("Program na karcie różni się od dokumentu");
        return OnCards(list, *options, true, Cp1250FromUtf8("Plik pomyślnie wysłany"),
                       [&](OperationContext& ctx, CardSession& card, CardReport& report) {
                         report.found = {{"uploaded", false},
                                         {"program_sha256", documentSha},
                                         {"program_size", data.size()}};
                         bool differ = true;
                         if (program->ifDifferent || program->diff) {
                           card.status->SetStep("read");
                           const std::optional<std::string> held = FetchProgramIfAny(ctx);
                           card.status->SetStep("compare");
                           differ = !held || *held != data;
                           if (program->ifDifferent) report.found["card_sha256"] = held ? json(Sha256Hex(*held)) : json();
                           if (program->diff) {
                             const std::string before = held ? OutputScript(*held) : "", after = OutputScript(data);
                             report.found["diff"] = {{"before", before}, {"after", after}};
                             if (!card.json && before != after) {
                               report.textAfter = "--- " + card.host + "\n+++ " + program->document + "\n" +
                                                  LineDiff(before, after);
                             }
                           }
                         }
                         if (program->ifDifferent && (program->check || !differ)) {
                           report.changed = differ;
                           report.message = differ ? differs : same;
                           return;
                         }
                         report.changed = true;  // from the first byte sent the card's file is touched
                         UploadProgram(ctx, data);
                         report.found["uploaded"] = true;
                       });
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
        if (list.empty()) return cli::UsageError(options->json, "no host given");
        return OnCards(list, *options, true, Cp1250FromUtf8("Trevna pomyślnie zrestartowany"),
                       [](OperationContext& ctx, CardSession&, CardReport& report) {
                         report.changed = true;
                         RestartCard(ctx);
                       });
      };
    });

// ---------------------------------------------------------------------------------------------
// time, facts

std::string FormatOffset(std::int64_t ticks) {
  char text[64];
  std::snprintf(text, sizeof text, "%+.3f s", static_cast<double>(ticks) / 1e7);
  return text;
}

std::string IsoTime(const card::CardTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return text;
}

// The card's clock (with `sync`, set when more than 10 s off); throws the step's message when
// it cannot be read.
ClockCheckResult ReadClock(OperationContext& ctx, bool sync) {
  const ClockCheckResult result = CheckClock(ctx.session, ctx.timing, sync);
  switch (result.outcome) {
    case ClockCheckResult::NoChannel:
      throw std::runtime_error(Cp1250FromUtf8("Nie powiodło się otwarcie sesji."));
    case ClockCheckResult::NotStarted:
    case ClockCheckResult::NoAnswer:
      throw std::runtime_error(Cp1250FromUtf8("Nie powiodła się próba wykonania polecenia."));
    case ClockCheckResult::Unreadable:
      throw std::runtime_error("the card's date output could not be read");
    default:
      return result;
  }
}

void AddClock(json& found, const ClockCheckResult& clock) {
  found["time"] = IsoTime(clock.cardTime);
  found["offset_seconds"] = static_cast<double>(clock.offset) / 1e7;
}

json NetworkJson(const NetworkSettings& s) {
  auto shown = [](const std::optional<std::uint32_t>& value) {
    return value ? json(net::DottedAddress(*value)) : json();
  };
  return {{"proto", s.proto ? json(Utf8FromCp1250(card::Printable(*s.proto))) : json()},
          {"ipaddr", shown(s.address)},
          {"netmask", shown(s.netmask)},
          {"gateway", shown(s.gateway)}};
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
        return WithCard(*host, *options, [&](OperationContext& ctx, CardSession& card, CardReport& report) {
          const ClockCheckResult result = ReadClock(ctx, *sync);
          const bool set = result.outcome == ClockCheckResult::Corrected;
          AddClock(report.found, result);
          report.found["set"] = set;
          report.changed = set;
          report.message = Cp1250FromUtf8(set                                              ? "Zegar karty ustawiony"
                                          : result.outcome == ClockCheckResult::OutOfStep ? "Zegar karty różni się o więcej niż 10 s"
                                                                                          : "Zegar karty zgodny");
          if (card.json) return;
          const card::CardTime& t = result.cardTime;
          std::printf("card UTC: %04u-%02u-%02u %02u:%02u:%02u\n", t.year, t.month, t.day, t.hour, t.minute, t.second);
          std::printf("offset: %s (card minus PC)\n", FormatOffset(result.offset).c_str());
          if (set) std::printf("clock set to the PC's UTC time\n");
          if (result.outcome == ClockCheckResult::InStep && *sync) std::printf("clock within 10 s, not changed\n");
          if (result.outcome == ClockCheckResult::OutOfStep) std::printf("more than 10 s off (use --sync)\n");
        });
      };
    });

// Facts need no login to say whether the card answers and which key it offers: those are
// reported for a card that refuses the login too.
const bool factsRegistered = cli::RegisterCommand(
    "facts", "Reports what one or more cards are: key, clock, network, program", [](CLI::App& app) -> cli::Run {
      auto options = std::make_shared<CardOptions>();
      auto hosts = std::make_shared<std::string>();
      app.add_option("HOSTS", *hosts, "card address, or several separated by commas")->required();
      AddCardOptions(app, *options);
      return [options, hosts] {
        const auto list = SplitHosts(*hosts);
        if (list.empty()) return cli::UsageError(options->json, "no host given");
        return cli::OnCardsWithFacts(list, *options, [](OperationContext& ctx, CardSession& card, CardReport& report) {
          card.status->SetStep("read");
          AddClock(report.found, ReadClock(ctx, false));
          const NetworkSettings network = ReadNetworkSettings(ctx);
          report.found["network"] = NetworkJson(network);
          report.found["hwaddr"] =
              network.hardwareAddress ? json(Utf8FromCp1250(card::Printable(*network.hardwareAddress))) : json();
          const std::optional<std::string> program = FetchProgramIfAny(ctx);
          report.found["program_sha256"] = program ? json(Sha256Hex(*program)) : json();
          report.found["program_size"] = program ? json(program->size()) : json();
          report.message = Cp1250FromUtf8("Połączony");
          if (card.json) return;
          std::string text;
          for (const auto& [key, value] : report.found.items()) {
            text += "  " + key + " = " + (value.is_string() ? value.get<std::string>() : value.dump()) + "\n";
          }
          report.textAfter = text;
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
        return WithCard(*host, *options, [&](OperationContext& ctx, CardSession& card, CardReport& report) {
          const std::string data = FetchProgram(ctx);
          // Changed: the file on the disk is new or its bytes were different.
          std::string before;
          bool had = false;
          try {
            before = ReadWholeFile(Cp1250FromUtf8(*out));
            had = true;
          } catch (const std::exception&) {
          }
          StoreProgram(ctx, Cp1250FromUtf8(*out), data);
          report.changed = !had || before != data;
          report.message = Cp1250FromUtf8("Plik pomyślnie pobrany");
          report.found = {{"path", *out}, {"program_sha256", Sha256Hex(data)}, {"program_size", data.size()}};
          if (!card.json) std::printf("%s: %zu bytes\n", out->c_str(), data.size());
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
            return cli::UsageError(options->json, "'" + (*set)[i] + "' is not an IPv4 address");
          }
        }
        return WithCard(*host, *options, [&](OperationContext& ctx, CardSession& card, CardReport& report) {
          if (!set->empty()) {
            report.changed = true;
            SetNetwork(ctx, values[0], values[1], values[2]);
            report.message = Cp1250FromUtf8("Ustawienia sieciowe skonfigurowane");
            NetworkSettings s;
            s.proto = "static";
            s.address = values[0];
            s.netmask = values[1];
            s.gateway = values[2];
            report.found["network"] = NetworkJson(s);
            return;
          }
          const NetworkSettings s = ReadNetworkSettings(ctx);
          report.message = Cp1250FromUtf8("Połączony");
          report.found["network"] = NetworkJson(s);
          report.found["hwaddr"] = s.hardwareAddress ? json(Utf8FromCp1250(card::Printable(*s.hardwareAddress))) : json();
          if (card.json) return;
          auto shown = [](const std::optional<std::uint32_t>& value) {
            return value ? net::DottedAddress(*value) : std::string("unknown");
          };
          std::printf("ipaddr = %s\nnetmask = %s\ngateway = %s\n", shown(s.address).c_str(),
                      shown(s.netmask).c_str(), shown(s.gateway).c_str());
          if (s.hardwareAddress) {
            std::printf("hwaddr = %s\n", Utf8FromCp1250(card::Printable(*s.hardwareAddress)).c_str());
          }
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
      app.add_option("--new-password-file", *newFile,
                     "file whose first line is the new password (else the TREVNA_NEW_PASSWORD environment variable)");
      AddCardOptions(app, *options);
      return [options, host, newFile] {
        std::string newPassword;
        std::string source;
        if (!newFile->empty()) {
          if (!ReadFirstLine(*newFile, &newPassword)) {
            return cli::UsageError(options->json, "cannot read '" + *newFile + "'");
          }
          source = "--new-password-file " + *newFile;
        } else if (std::getenv("TREVNA_NEW_PASSWORD")) {
          newPassword = platform::EnvironmentVariable("TREVNA_NEW_PASSWORD");
          source = "TREVNA_NEW_PASSWORD";
        } else {
          return cli::UsageError(options->json,
                                 "no new password: use --new-password-file F or the TREVNA_NEW_PASSWORD environment "
                                 "variable");
        }
        // Checked before the login: "?" in place of what the card cannot take would become the
        // card's password.
        const std::optional<std::string> newText = Cp1250FromUtf8Exact(newPassword);
        if (!newText) {
          return cli::UsageError(options->json, source + ": " + Utf8FromCp1250(card::PasswordOutsideCodePageText()));
        }
        return WithCard(*host, *options, [&](OperationContext& ctx, CardSession&, CardReport& report) {
          report.changed = true;
          ChangePassword(ctx, Cp1250FromUtf8(options->user), *newText);
          report.message = Cp1250FromUtf8("Hasło zmienione");
        });
      };
    });

// ---------------------------------------------------------------------------------------------
// archive, archive-get

std::string FolderName(const std::string& utf8) {
  std::string name = Cp1250FromUtf8(utf8);
  if (name.empty() || name.back() != '/') name += '/';
  return name;
}

// Entries of a listing that are folders ("name/"), or files.
std::vector<std::string> Entries(const std::vector<std::string>& lines, bool folders) {
  std::vector<std::string> result;
  for (const std::string& line : lines) {
    if (line.empty()) continue;
    if ((line.back() == '/') == folders) result.push_back(line);
  }
  return result;
}

const bool archiveRegistered = cli::RegisterCommand(
    "archive", "Lists the archive folders of a card, or the files of one folder", [](CLI::App& app) -> cli::Run {
      auto options = std::make_shared<CardOptions>();
      auto host = std::make_shared<std::string>();
      auto folder = std::make_shared<std::string>();
      app.add_option("HOST", *host, "card address")->required();
      app.add_option("FOLDER", *folder, "archive folder as listed (e.g. 2026-12-07/)");
      AddCardOptions(app, *options);
      return [options, host, folder] {
        return WithCard(*host, *options, [&](OperationContext& ctx, CardSession& card, CardReport& report) {
          std::vector<std::string> lines;
          report.message = Cp1250FromUtf8("Lista pobrana");
          if (folder->empty()) {
            lines = ListArchiveFolders(ctx);
            json names = json::array();
            for (const auto& line : lines) names.push_back(Utf8FromCp1250(card::Printable(line)));
            report.found["folders"] = names;
          } else {
            lines = ListArchiveFiles(ctx, FolderName(*folder));
            // The card's listing names the files only; their sizes come with a download.
            json files = json::array();
            for (const auto& line : lines) files.push_back({{"name", Utf8FromCp1250(card::Printable(line))}, {"size", nullptr}});
            report.found["files"] = files;
          }
          if (card.json) return;
          for (const auto& line : lines) std::printf("%s\n", Utf8FromCp1250(card::Printable(line)).c_str());
        });
      };
    });

struct ArchiveGetOptions {
  std::string folder;
  std::vector<std::string> files;
  std::string out;
  bool missingOnly = false;
  bool all = false;
  bool allFolders = false;
};

const bool archiveGetRegistered = cli::RegisterCommand(
    "archive-get", "Downloads archive files of a card", [](CLI::App& app) -> cli::Run {
      auto options = std::make_shared<CardOptions>();
      auto host = std::make_shared<std::string>();
      auto get = std::make_shared<ArchiveGetOptions>();
      app.add_option("HOST", *host, "card address")->required();
      app.add_option("FOLDER", get->folder, "archive folder as listed");
      app.add_option("FILE", get->files, "file names");
      app.add_option("-o", get->out, "local archive folder, made when missing (files land in DIR/FOLDER/)")->required();
      app.add_flag("--missing-only", get->missingOnly,
                   "skip files that are already in the local folder with the card's size");
      app.add_flag("--all", get->all, "every file of FOLDER (no FILE names)");
      app.add_flag("--all-folders", get->allFolders, "every file of every folder (no FOLDER, no FILE names)");
      AddCardOptions(app, *options);
      return [options, host, get] {
        const bool jsonOut = options->json;
        if (get->allFolders && (!get->folder.empty() || !get->files.empty())) {
          return cli::UsageError(jsonOut, "--all-folders takes no FOLDER and no FILE names");
        }
        if (!get->allFolders && get->folder.empty()) {
          return cli::UsageError(jsonOut, "no archive folder given (as listed, e.g. 2026-12-07/)");
        }
        if (get->all && !get->files.empty()) return cli::UsageError(jsonOut, "--all takes no FILE names");
        if (!get->allFolders && !get->all && get->files.empty()) {
          return cli::UsageError(jsonOut, "no file names given (or --all for every file of the folder)");
        }
        for (const auto& file : get->files) {
          if (file.empty()) return cli::UsageError(jsonOut, "an empty file name was given");
        }
        // The local archive folder is made when missing (the day folders inside it are made
        // by the download itself).
        std::error_code error;
        if (!std::filesystem::is_directory(platform::PathFromUtf8(get->out), error) &&
            !std::filesystem::create_directories(platform::PathFromUtf8(get->out), error)) {
          return cli::UsageError(jsonOut, "cannot create the folder '" + get->out + "'");
        }
        std::string root = Cp1250FromUtf8(get->out);
        if (!root.empty() && root.back() != '/' && root.back() != '\\') root += '/';
        return WithCard(*host, *options, [&](OperationContext& ctx, CardSession& card, CardReport& report) {
          std::vector<std::pair<std::string, std::vector<std::string>>> wanted;  // folder, files (Windows-1250)
          if (get->allFolders) {
            for (const auto& folder : Entries(ListArchiveFolders(ctx), true)) wanted.push_back({folder, {}});
          } else {
            std::vector<std::string> files;
            for (const auto& file : get->files) files.push_back(Cp1250FromUtf8(file));
            wanted.push_back({FolderName(get->folder), files});
          }
          json listed = json::array();
          report.found["files"] = listed;
          for (auto& [folder, files] : wanted) {
            if (get->all || get->allFolders) {
              card.status->SetStep("command");
              files = Entries(ListArchiveFiles(ctx, folder), false);
            }
            for (const auto& name : files) {
              const std::string path = root + folder + name;
              const ArchiveDownload result = DownloadArchiveFileIf(ctx, root, folder, name, [&](std::uint64_t size) {
                if (!get->missingOnly) return true;
                std::error_code error;
                const auto local = platform::PathFromUtf8(Utf8FromCp1250(path));
                const bool have = std::filesystem::is_regular_file(local, error);
                return !have || std::filesystem::file_size(local, error) != size || error;
              });
              report.changed = report.changed || result.downloaded;
              listed.push_back({{"name", Utf8FromCp1250(folder + name)},
                                {"path", Utf8FromCp1250(path)},
                                {"size", result.size},
                                {"skipped", !result.downloaded}});
              report.found["files"] = listed;
              // The path the file was written to, as the engine joined it.
              if (!card.json && result.downloaded) std::printf("%s\n", Utf8FromCp1250(path).c_str());
            }
          }
          ctx.status.ShowStatus(Cp1250FromUtf8("Pliki pobrane"));
          report.message = Cp1250FromUtf8("Pliki pobrane");
        });
      };
    });

}  // namespace
