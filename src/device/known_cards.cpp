#include "device/known_cards.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <system_error>
#include <vector>

#include "base/file.h"
#include "base/platform.h"
#include "base/socket.h"
#include "base/text.h"

namespace device {

namespace {

// Every process that writes the file waits for the others; a holder that never lets go makes
// the write fail after this long instead of holding the login.
constexpr std::uint32_t kLockWaitMs = 30000;
// Far above any number of cards; a bigger file (or a link to a device that never ends) is refused
// as unreadable.
constexpr std::size_t kMaxFileBytes = 16u << 20;

std::string LockPath(const std::string& path) { return path + ".lock"; }

// The file's text, or none when it does not exist. A file that is there but cannot be read
// throws the read text: its pins are unknown, so nothing may be accepted or written over it.
std::optional<std::string> ReadText(const std::string& path) {
  errno = 0;
  std::FILE* stream = platform::OpenFile(path, "rb");
  if (!stream) {
    if (errno == ENOENT) return std::nullopt;
    throw std::runtime_error(ReadFailedText(Cp1250FromUtf8(path)));
  }
  const File file(stream, Cp1250FromUtf8(path));
  std::string text;
  char block[4096];
  std::size_t got = 0;
  while ((got = std::fread(block, 1, sizeof block, stream)) > 0) {
    text.append(block, got);
    if (text.size() > kMaxFileBytes) file.FailRead();
  }
  if (std::ferror(stream)) file.FailRead();
  return text;
}

// One line's card and fingerprint; false for a line that is not "name fingerprint".
bool ParseLine(std::string line, std::string& name, std::string& fingerprint) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::istringstream words(line);
  std::string rest;
  return words >> name >> fingerprint && !(words >> rest);
}

// The lines of a text, each without its line feed; a last line without one counts.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace

std::string HostKeyFingerprint(const unsigned char* sha256) {
  static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text = "SHA256:";
  for (int i = 0; i < 32; i += 3) {
    const unsigned b0 = sha256[i], b1 = i + 1 < 32 ? sha256[i + 1] : 0, b2 = i + 2 < 32 ? sha256[i + 2] : 0;
    const unsigned v = (b0 << 16) | (b1 << 8) | b2;
    text += digits[(v >> 18) & 63];
    text += digits[(v >> 12) & 63];
    if (i + 1 < 32) text += digits[(v >> 6) & 63];
    if (i + 2 < 32) text += digits[v & 63];
  }
  return text;
}

std::string KnownCardName(std::uint32_t address, std::uint16_t port) {
  std::string name = net::DottedAddress(address);
  if (port != 22) {
    name += ':';
    name += std::to_string(port);
  }
  return name;
}

std::string DefaultKnownCardsPath() {
  const std::string chosen = platform::EnvironmentVariable("TREVNA_KNOWN_CARDS");
  if (!chosen.empty()) return chosen;
  return platform::UserSettingsFolder() + static_cast<char>(platform::PathSeparator()) + "known_cards";
}

std::optional<std::string> KnownCards::Find(const std::string& card) const {
  // Shared with other readers; a writer's rename waits (Windows cannot rename over an open
  // file). Without a lock file (no folder yet, a read-only one) the file is read as it is.
  const platform::FileLock lock(LockPath(path_), false, kLockWaitMs);
  const std::optional<std::string> text = ReadText(path_);
  if (!text) return std::nullopt;
  std::string name, fingerprint;
  for (const std::string& line : Lines(*text)) {
    if (ParseLine(line, name, fingerprint) && name == card) return fingerprint;
  }
  return std::nullopt;
}

void KnownCards::Remember(const std::string& card, const std::string& fingerprint) const {
  const std::filesystem::path target = platform::PathFromUtf8(path_);
  std::error_code ignored;
  if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ignored);
  const platform::FileLock lock(LockPath(path_), true, kLockWaitMs);
  if (!lock.Locked()) throw std::runtime_error(WriteFailedText(Cp1250FromUtf8(path_)));
  // Read again under the lock: what other processes stored meanwhile stays.
  const std::optional<std::string> old = ReadText(path_);
  std::string text;
  bool replaced = false;
  std::string name, stored;
  for (const std::string& line : old ? Lines(*old) : std::vector<std::string>()) {
    if (ParseLine(line, name, stored) && name == card) {
      if (replaced) continue;  // an older duplicate of the card's line
      text += card + " " + fingerprint + "\n";
      replaced = true;
    } else {
      text += line + "\n";  // other cards, and lines this program does not understand, as they were
    }
  }
  if (!replaced) text += card + " " + fingerprint + "\n";
  ReplacingFile out = ReplacingFile::ForUtf8Path(path_, true);
  out.Write(text);
  out.Commit();
}

HostKeyChanged::HostKeyChanged(std::string card_, std::string stored_, std::string offered_)
    : std::runtime_error(Cp1250FromUtf8("Nie powiodła się negocjacja sesji.")),
      card(std::move(card_)),
      stored(std::move(stored_)),
      offered(std::move(offered_)) {}

void CheckHostKey(const HostKeyPolicy& policy, const std::string& card, const std::string& offered) {
  const KnownCards known(policy.knownCardsPath.empty() ? DefaultKnownCardsPath() : policy.knownCardsPath);
  const std::optional<std::string> stored = known.Find(card);
  if (stored == offered) return;
  if (stored) {
    const bool accepted =
        policy.acceptNewKey || (policy.question && policy.question->AskReplaceHostKey(card, *stored, offered));
    if (!accepted) throw HostKeyChanged(card, *stored, offered);
  }
  known.Remember(card, offered);
}

}  // namespace device

namespace device {

std::string HostKeyQuestionText(const std::string& card, const std::string& storedFingerprint,
                                const std::string& offeredFingerprint) {
  return Cp1250FromUtf8("Klucz karty się zmienił...\n\nKarta: ") + card +
         Cp1250FromUtf8("\nZapamiętany klucz: ") + storedFingerprint + Cp1250FromUtf8("\nNowy klucz: ") +
         offeredFingerprint +
         Cp1250FromUtf8("\n\nCzy zastąpić zapamiętany klucz nowym? Bez tego hasło nie zostanie wysłane.");
}

}  // namespace device
