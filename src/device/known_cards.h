// The cards' SSH host keys, trusted on first use. The first login to a card remembers the
// fingerprint of the key it offered; a later login to the same card whose key differs sends no
// password until the user (or trevnactl's --accept-new-key) accepts the new key.
//
// The file holds one line per card: the card's name (dotted address, ":port" added when the
// port is not 22), a space and the fingerprint; other lines are kept as they are. A file that
// exists but cannot be read refuses every login (its pins are unknown) and is never written
// over; a missing file is an empty list. Writers in several processes take turns through a lock
// file beside it ("known_cards.lock"), so no pin is lost. It lives per user:
//   Windows  %APPDATA%\TrevnaConf\known_cards
//   Linux    $XDG_CONFIG_HOME/trevnaconf/known_cards, else ~/.config/trevnaconf/known_cards
// $TREVNA_KNOWN_CARDS names another file (tests, scripted use).
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "device/sinks.h"

namespace device {

// "SHA256:" and the unpadded base64 of the 32-byte SHA-256 hash of the key, as OpenSSH shows it.
std::string HostKeyFingerprint(const unsigned char* sha256);
// The name a card is remembered under.
std::string KnownCardName(std::uint32_t address, std::uint16_t port);
// The per-user file (UTF-8 path).
std::string DefaultKnownCardsPath();

class KnownCards {
 public:
  explicit KnownCards(std::string utf8Path) : path_(std::move(utf8Path)) {}
  // The fingerprint stored for `card`; none when the card is unknown or the file missing. Lines
  // that are not "name fingerprint" are ignored. A file that cannot be read throws
  // ReadFailedText with its name.
  std::optional<std::string> Find(const std::string& card) const;
  // Stores `fingerprint` for `card`, replacing its line and keeping every other line; creates
  // the folder. Under the lock it reads the file again, writes a new file beside it and renames
  // that over it once it is on the disk, so a failure leaves the old one. Throws with the file
  // texts (ReadFailedText when the present file cannot be read; nothing is written then).
  void Remember(const std::string& card, const std::string& fingerprint) const;

 private:
  std::string path_;
};

// How a login treats the card's host key.
struct HostKeyPolicy {
  std::string knownCardsPath;             // empty: DefaultKnownCardsPath()
  HostKeyQuestion* question = nullptr;    // asked when the key changed; null: the login ends
  bool acceptNewKey = false;              // a changed key replaces the stored one unasked
};

// A login refused because the card's key is not the remembered one. The message is the
// negotiation step's; the fingerprints say what changed.
class HostKeyChanged : public std::runtime_error {
 public:
  HostKeyChanged(std::string card, std::string stored, std::string offered);
  const std::string card, stored, offered;
};

// Checks the key `offered` by `card`: remembered on first use; the same key passes; a changed
// key passes only when accepted (then it replaces the stored one), else HostKeyChanged.
void CheckHostKey(const HostKeyPolicy& policy, const std::string& card, const std::string& offered);

}  // namespace device
