#include <cstdio>
#include <exception>
#include <algorithm>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "cli/registry.h"
#include "base/text.h"
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

bool IsTerminal(std::FILE* stream) {
#if defined(_WIN32)
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

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

  auto& entries = cli::Entries();
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  std::map<CLI::App*, cli::Run> runs;
  for (auto& entry : entries) {
    CLI::App* sub = app.add_subcommand(entry.name, entry.description);
    runs[sub] = entry.setup(*sub);
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : cli::kExitUsage;
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
