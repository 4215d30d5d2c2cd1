// The fan-out of the fleet commands (program, restart): one session per card, all in parallel,
// one result line per card.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/card_session.h"

namespace cli {

// Runs `body` on every host at once, each with its own session and status; prints
// "HOST: OK: <success>" or "HOST: FAILED: <reason>" per host in the given order. Returns 0
// when every card succeeded, else 1 (2 when there is no password).
int OnEveryCard(const std::vector<std::string>& hosts, const CardOptions& options, const char* successUtf8,
                const std::function<void(device::OperationContext&)>& body);

}  // namespace cli
