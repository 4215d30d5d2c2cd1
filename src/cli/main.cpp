#include <cstdio>
#include <exception>
#include <algorithm>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

#include "base/platform.h"
#include "base/text.h"
#include "cli/card_session.h"
#include "cli/registry.h"
#include "trevna_version.h"

namespace cli {
namespace {

struct Entry {
  std::string name;
  std::string description;
  Setup setup;
};

std::vector<Entry>& Entries() {
  static std::vector<Entry> entries;
  return entries;
}

}  // namespace

bool RegisterCommand(const char* name, const char* description, Setup setup) {
  Entries().push_back({name, description, std::move(setup)});
  return true;
}

bool IsTerminal(std::FILE* stream) { return platform::IsTerminal(stream); }

void PrintError(const std::string& cp1250Text) {
  std::string text = Utf8FromCp1250(cp1250Text);
  if (text.empty() || text.back() != '\n') text += '\n';
  std::fputs(text.c_str(), stderr);
}

}  // namespace cli

int main(int argc, char** argv) {
  CLI::App app{"trevnactl: scripting and fleet tool for Trevna-2.2 detection cards", "trevnactl"};
  app.set_version_flag("--version", std::string("trevnactl ") + TREVNA_VERSION);
  app.require_subcommand(1);
  // Options begin with "-" or "--" only, on Windows too: "/data/most.trv" (a drive-relative
  // path, and every Unix path under Wine) is a value. Subcommands inherit this setting.
  app.allow_windows_style_options(false);
  app.footer(
      "Card commands take --json: stdout then carries one JSON object per card (JSON Lines) with host, ok,\n"
      "changed, step and message, plus what the command found; the keys are listed in docs/cli-json.md.\n"
      "Passwords come from --password-file or TREVNA_PASSWORD (passwd: --new-password-file or\n"
      "TREVNA_NEW_PASSWORD), never from the command line.\n\n"
      "Exit status: 0 every card succeeded, 1 at least one card failed, 2 usage (bad options, no password,\n"
      "an unreadable or invalid document).");

  auto& entries = cli::Entries();
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  std::map<CLI::App*, cli::Run> runs;
  for (auto& entry : entries) {
    CLI::App* sub = app.add_subcommand(entry.name, entry.description);
    runs[sub] = entry.setup(*sub);
  }

  // Arguments are UTF-8 from here on (on Windows taken from the wide command line).
  const std::vector<std::string> arguments = platform::ProgramArguments(argc, argv);
  std::vector<const char*> pointers;
  for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
  try {
    app.parse(static_cast<int>(pointers.size()), pointers.data());
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    if (code == 0) return 0;
    if (cli::JsonRequested(arguments)) {
      cli::PrintJsonLine({{"host", ""}, {"ok", false}, {"changed", false}, {"step", "usage"}, {"message", e.what()}});
    }
    return cli::kExitUsage;
  }

  try {
    for (auto& [sub, run] : runs) {
      if (sub->parsed()) return run();
    }
  } catch (const std::exception& e) {
    cli::PrintError(e.what());
    return cli::kExitFailure;
  }
  return cli::kExitUsage;
}
