// trevnactl subcommands register themselves here: each command file holds one static
// registration, so adding a command never touches main.cpp.
//
//   static const bool registered = cli::RegisterCommand("selftest", "Runs the MD5 self-test",
//       [](CLI::App& app) -> cli::Run {
//         auto options = std::make_shared<Options>();
//         app.add_option("FILE", options->file)->required();
//         return [options] { return RunSelftest(*options); };
//       });
//
// The returned function runs when the subcommand is chosen; its result is the exit code
// (0 success, 1 failure; CLI11 itself answers usage errors with 2).
#pragma once

#include <CLI/CLI.hpp>

#include <cstdio>
#include <functional>
#include <string>

namespace cli {

using Run = std::function<int()>;
using Setup = std::function<Run(CLI::App&)>;

bool RegisterCommand(const char* name, const char* description, Setup setup);

// Exit codes shared by every command.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// True when the stream is a terminal (progress lines are shown only there).
bool IsTerminal(std::FILE* stream);

// Prints an error (Windows-1250 text of the system) to stderr in UTF-8.
void PrintError(const std::string& cp1250Text);

}  // namespace cli
