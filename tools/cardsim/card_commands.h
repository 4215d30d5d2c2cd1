// The shell commands the card answers on its "exec" channels: the clock, password, network,
// restart and archive listing commands and the SCP ends of file transfers. Anything else
// gets the shell's "not found" and exit status 127.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "channel_io.h"

namespace cardsim {

class Card;

struct CommandContext {
  Card& card;
  ChannelIo& io;
  std::function<void()> dropLink;  // cuts the SSH connection (fault injection)
  bool restartAfter = false;       // set by the restart command
};

// Runs one command line; returns its exit status.
int RunCommand(CommandContext& context, const std::string& line);

// Whether a command fault ("stall-command", "fail-command") takes `line`: one of its words is
// one of `words`, or ends in "/" and one of them.
bool MatchesCommandWord(const std::vector<std::string>& words, const std::string& line);

}  // namespace cardsim
