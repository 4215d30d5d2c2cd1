// The card's SSH server side: password login for the configured user, session channels and
// "exec" requests that run the card's commands (card_commands.h). One thread per connection.
#pragma once

#include <string>

struct ssh_bind_struct;

namespace cardsim {

class Card;

// Serves one accepted connection until the client leaves or the card drops it. Takes over
// `fd` (closes it) and unregisters it from the card.
void ServeSshConnection(Card& card, ssh_bind_struct* bind, int fd, const std::string& client);

}  // namespace cardsim
