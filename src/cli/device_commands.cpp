// trevnactl commands that talk to cards: discover, program, time, download-program, restart,
// network, passwd, archive and archive-get (live is in live_command.cpp). They run the same
// engine as the application (SSH session and operations, discovery) with printing sinks,
// called directly: each card runs on one thread of its own.
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
#include "cli/card_fleet.h"
#include "cli/card_session.h"
#include "cli/registry.h"
#include "device/card_text.h"
#include "device/device_operations.h"
#include "device/discovery.h"
#include "device/sinks.h"
#include "doc/document_file.h"
#include "logic/validation.h"

namespace {

using namespace device;
using cli::AddCardOptions;
using cli::AddRestartOption;
using cli::CardOptions;
using cli::CardSession;
using cli::OnEveryCard;
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
    std::printf("%s\n", Utf8FromCp1250(card::Printable(text)).c_str());
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
            case ClockCheckResult::NoAnswer:
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
      app.add_option("--new-password-file", *newFile, "file whose first line is the new password")->required();
      AddCardOptions(app, *options);
      return [options, host, newFile] {
        std::string newPassword;
        if (!ReadFirstLine(*newFile, &newPassword)) {
          std::fprintf(stderr, "cannot read '%s'\n", newFile->c_str());
          return cli::kExitUsage;
        }
        // Checked before the login: "?" in place of what the card cannot take would become the
        // card's password.
        const std::optional<std::string> newText = cli::PasswordText(newPassword, "--new-password-file " + *newFile);
        if (!newText) return cli::kExitUsage;
        return WithCard(*host, *options, [&](OperationContext& ctx, CardSession&) {
          ChangePassword(ctx, Cp1250FromUtf8(options->user), *newText);
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
          for (const auto& line : lines) std::printf("%s\n", Utf8FromCp1250(card::Printable(line)).c_str());
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
      app.add_option("-o", *out, "local archive folder, made when missing (files land in DIR/FOLDER/)")->required();
      AddCardOptions(app, *options);
      return [options, host, folder, files, out] {
        if (folder->empty()) {
          std::fprintf(stderr, "no archive folder given (as listed, e.g. 2026-12-07/)\n");
          return cli::kExitUsage;
        }
        for (const auto& file : *files) {
          if (file.empty()) {
            std::fprintf(stderr, "an empty file name was given\n");
            return cli::kExitUsage;
          }
        }
        // The local archive folder is made when missing (the day folders inside it are made
        // by the download itself).
        std::error_code error;
        if (!out->empty() && !std::filesystem::is_directory(platform::PathFromUtf8(*out), error) &&
            !std::filesystem::create_directories(platform::PathFromUtf8(*out), error)) {
          std::fprintf(stderr, "cannot create the folder '%s'\n", out->c_str());
          return cli::kExitFailure;
        }
        std::string root = Cp1250FromUtf8(*out);
        if (!root.empty() && root.back() != '/' && root.back() != '\\') root += '/';
        std::string folderName = Cp1250FromUtf8(*folder);
        if (folderName.back() != '/') folderName += '/';
        return WithCard(*host, *options, [&](OperationContext& ctx, CardSession&) {
          for (const auto& file : *files) {
            const std::string name = Cp1250FromUtf8(file);
            DownloadArchiveFile(ctx, root, folderName, name);
            // The path the file was written to, as the engine joined it.
            std::printf("%s\n", Utf8FromCp1250(root + folderName + name).c_str());
          }
          ctx.status.ShowStatus(Cp1250FromUtf8("Pliki pobrane"));
        });
      };
    });

}  // namespace
