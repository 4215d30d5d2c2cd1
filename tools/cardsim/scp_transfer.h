// The remote end of OpenSSH's classic SCP protocol ("scp -t" receives, "scp -f" sends), as
// both OpenSSH's scp -O and libssh2's scp_send/scp_recv speak it.
#pragma once

#include <string>
#include <vector>

#include "card_commands.h"

namespace cardsim {

// `arguments` are the words after "scp". Returns the exit status.
int RunScp(CommandContext& context, const std::vector<std::string>& arguments);

}  // namespace cardsim
