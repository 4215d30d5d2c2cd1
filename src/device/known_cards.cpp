#include "device/known_cards.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <system_error>
#include <vector>

#include "base/platform.h"
#include "base/socket.h"
#include "base/text.h"

namespace device {

namespace {

// Logins of several cards at once (trevnactl's fleet commands) take turns at the file.
std::mutex& FileMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string Environment(const char* name) {
#ifdef _WIN32
  std::wstring wide(name, name + std::char_traits<char>::length(name));
  const wchar_t* value = _wgetenv(wide.c_str());
  return value ? Utf8FromWide(value) : std::string();
#else
  const char* value = std::getenv(name);
  return value ? value : std::string();
#endif
}

std::vector<std::pair<std::string, std::string>> ReadEntries(const std::string& path) {
  std::vector<std::pair<std::string, std::string>> entries;
  std::ifstream in(platform::PathFromUtf8(path), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::string name, fingerprint, rest;
    if (words >> name >> fingerprint && !(words >> rest)) entries.emplace_back(name, fingerprint);
  }
  return entries;
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
  const std::string chosen = Environment("TREVNA_KNOWN_CARDS");
  if (!chosen.empty()) return chosen;
#ifdef _WIN32
  return Environment("APPDATA") + "\\TrevnaConf\\known_cards";
#else
  const std::string config = Environment("XDG_CONFIG_HOME");
  if (!config.empty()) return config + "/trevnaconf/known_cards";
  return Environment("HOME") + "/.config/trevnaconf/known_cards";
#endif
}

std::optional<std::string> KnownCards::Find(const std::string& card) const {
  std::lock_guard lock(FileMutex());
  for (const auto& [name, fingerprint] : ReadEntries(path_)) {
    if (name == card) return fingerprint;
  }
  return std::nullopt;
}

void KnownCards::Remember(const std::string& card, const std::string& fingerprint) const {
  std::lock_guard lock(FileMutex());
  std::string text;
  for (const auto& [name, stored] : ReadEntries(path_)) {
    if (name != card) text += name + " " + stored + "\n";
  }
  text += card + " " + fingerprint + "\n";
  const std::filesystem::path target = platform::PathFromUtf8(path_);
  std::error_code ignored;
  if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ignored);
  const std::string temporary = path_ + ".new";
  bool written = false;
  {
    std::ofstream out(platform::PathFromUtf8(temporary), std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    written = static_cast<bool>(out);
  }
  if (!written || !platform::ReplaceFileAtomically(temporary, path_)) {
    platform::RemoveFile(temporary);
    throw std::runtime_error(Cp1250FromUtf8("Nie udało się zapisać do pliku `") + Cp1250FromUtf8(path_) + "'.");
  }
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
