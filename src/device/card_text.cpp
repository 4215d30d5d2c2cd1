#include "device/card_text.h"

#include <cstdio>

#include "base/socket.h"
#include "base/text.h"

namespace card {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }
bool IsKeyChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
bool IsPlainNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
         c == '/' || c == '-';
}

}  // namespace

std::string KeyValue(std::string_view text, std::string_view name) {
  const std::string none = "0.0.0.0";
  std::size_t i = 0;
  const std::size_t n = text.size();
  for (;;) {
    while (i < n && IsBlank(text[i])) ++i;
    if (i >= n) return none;
    if (IsLineEnd(text[i])) {
      ++i;
      continue;
    }
    if (text[i] == ';') {
      while (i < n && !IsLineEnd(text[i])) ++i;
      continue;
    }
    const std::size_t keyStart = i;
    while (i < n && IsKeyChar(text[i])) ++i;
    if (i == keyStart) return none;
    const std::string_view key = text.substr(keyStart, i - keyStart);
    while (i < n && IsBlank(text[i])) ++i;
    if (i >= n || text[i] != '=') return none;
    ++i;
    while (i < n && IsBlank(text[i])) ++i;
    const std::size_t valueStart = i;
    while (i < n && !IsLineEnd(text[i]) && text[i] != ';') ++i;
    std::size_t valueEnd = i;
    while (valueEnd > valueStart && IsBlank(text[valueEnd - 1])) --valueEnd;
    if (i < n && text[i] == ';') {
      while (i < n && !IsLineEnd(text[i])) ++i;
    }
    if (key == name) return std::string(text.substr(valueStart, valueEnd - valueStart));
  }
}

std::optional<std::uint32_t> PackAddress(const std::string& dotted) {
  std::uint32_t address = 0;
  if (!net::ParseDottedAddress(dotted, &address)) return std::nullopt;
  return address;
}

std::optional<std::string> HardwareAddress(std::string_view ifconfigOutput) {
  const std::string_view key = "HWaddr ";
  const std::size_t at = ifconfigOutput.find(key);
  if (at == std::string_view::npos) return std::nullopt;
  return std::string(ifconfigOutput.substr(at + key.size(), 17));
}

std::vector<std::string> SplitListing(std::string_view output) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < output.size()) {
    const std::size_t end = output.find('\n', start);
    if (end == std::string_view::npos) {
      lines.emplace_back(output.substr(start));
      break;
    }
    lines.emplace_back(output.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string ShellQuoted(const std::string& name) {
  bool plain = true;
  for (char c : name) plain = plain && IsPlainNameChar(c);
  if (plain) return name;
  std::string quoted = "'";
  for (char c : name) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  quoted += '\'';
  return quoted;
}

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// True when `stem` (upper case, without extension) names a Windows device. The documented
// list also has COM and LPT with the superscript digits 1, 2 and 3; Windows-1250 has no such
// characters (its bytes 0xB9, 0xB2, 0xB3 are letters and a diacritic), so no narrow name here
// can spell them.
bool IsDeviceName(const std::string& stem) {
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (stem == device) return true;
  }
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '0' &&
         stem[3] <= '9';
}

// One part of a path between slashes, as Windows would see it as a file name.
bool IsSafePathPart(std::string_view part) {
  if (part.empty()) return true;  // the slash that ends a folder name
  if (part.back() == '.' || part.back() == ' ') return false;
  // A device name stays a device with any extension: "nul.txt" is NUL.
  std::string stem;
  for (char c : part.substr(0, part.find('.'))) stem += Upper(c);
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  return !IsDeviceName(stem);
}

}  // namespace

bool IsSafeArchiveName(std::string_view name) {
  if (!name.empty() && name.front() == '/') return false;
  if (name.find("..") != std::string_view::npos) return false;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return false;
    if (c == '\\' || c == ':' || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') return false;
  }
  std::size_t start = 0;
  for (;;) {
    const std::size_t slash = name.find('/', start);
    if (!IsSafePathPart(name.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start))) {
      return false;
    }
    if (slash == std::string_view::npos) return true;
    start = slash + 1;
  }
}

bool IsSafeFileName(std::string_view name) {
  return !name.empty() && name.size() <= 255 && name.find('/') == std::string_view::npos && IsSafeArchiveName(name);
}

std::string Printable(std::string_view text) {
  std::string shown(text);
  for (char& c : shown) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = '?';
  }
  return shown;
}

std::string UnsafeArchiveNameText(const std::string& name) {
  return Cp1250FromUtf8("Niedozwolona nazwa w archiwum karty `") + Printable(name) + "'.";
}

std::string PasswordOutsideCodePageText() {
  return Cp1250FromUtf8("Hasło zawiera znaki spoza strony kodowej Windows-1250.");
}

namespace {

bool IsLeap(unsigned year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned DaysInMonth(unsigned year, unsigned month) {
  static const unsigned days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : days[month - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

}  // namespace

std::optional<CardTime> ParseCardDate(const std::string& text) {
  if (text.size() < 22) return std::nullopt;
  CardTime t{};
  if (std::sscanf(text.c_str(), "%u-%u-%uT%u:%u:%u", &t.year, &t.month, &t.day, &t.hour, &t.minute, &t.second) < 6) {
    return std::nullopt;
  }
  // The same range the system time conversion accepts.
  if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12 || t.day < 1 ||
      t.day > DaysInMonth(t.year, t.month) || t.hour > 23 || t.minute > 59 || t.second > 59) {
    return std::nullopt;
  }
  return t;
}

std::int64_t SecondsSinceEpoch(const CardTime& time) {
  return DaysFromCivil(time.year, time.month, time.day) * 86400 + time.hour * 3600 + time.minute * 60 + time.second;
}

CardTime TimeFromSeconds(std::int64_t seconds) {
  std::int64_t days = seconds / 86400;
  std::int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // Inverse of DaysFromCivil.
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(days - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  CardTime t{};
  t.day = doy - (153 * mp + 2) / 5 + 1;
  t.month = mp < 10 ? mp + 3 : mp - 9;
  t.year = static_cast<unsigned>(static_cast<std::int64_t>(yoe) + era * 400 + (t.month <= 2));
  t.hour = static_cast<unsigned>(rest / 3600);
  t.minute = static_cast<unsigned>(rest % 3600 / 60);
  t.second = static_cast<unsigned>(rest % 60);
  return t;
}

std::string SetDateCommand(const CardTime& t) {
  char text[96];
  std::snprintf(text, sizeof text, "/vemo/setdate \"%04u-%02u-%02u %02u:%02u:%02u\"", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

}  // namespace card
