#include <cstdio>

#include "archive/md5.h"
#include "cli/registry.h"

namespace {

const bool registered = cli::RegisterCommand("selftest", "Checks the program's own MD5 routine", [](CLI::App&) -> cli::Run {
  return [] {
    if (!Md5SelfTest()) return cli::kExitFailure;
    std::puts("MD5 self-test passed");
    return cli::kExitOk;
  };
});

}  // namespace
