// Splits a command line the way the card's shell would for the simple lines the program
// sends: words separated by blanks, single quotes, double quotes and backslashes honoured,
// and "&&" as a word of its own.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace cardsim {

// The words of `line`, or nothing when a quote is left open.
std::optional<std::vector<std::string>> SplitShellWords(const std::string& line);

}  // namespace cardsim
