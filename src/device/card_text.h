// Helpers for the texts the card sends and the commands sent to it: the key = value reader of
// "/vemo/ipconfig --show", the hardware address in "ifconfig eth0", listing lines of "ls -p",
// shell quoting of names inserted into commands, and the check of archive names before they
// become local paths. All strings are narrow (Windows-1250, as the card sends them).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace card {

// Value of the first line "key = value" whose key equals `name` (case-sensitive). Spaces and
// tabs around the key, the "=" and the value are ignored; ";" starts a comment to the end of
// the line. Returns "0.0.0.0" when no line has the key, and also when a line that is neither
// blank, a comment nor "key = ..." comes first (reading stops there).
std::string KeyValue(std::string_view text, std::string_view name);

// "%u.%u.%u.%u" packed first octet highest: exactly four decimal numbers 0..255 separated by
// dots. Anything else ("300.1.1.1", "10.1", "garbage") is unknown: none.
std::optional<std::uint32_t> PackAddress(const std::string& dotted);

// The 17 characters after "HWaddr " (fewer when the text ends first); none without "HWaddr ".
std::optional<std::string> HardwareAddress(std::string_view ifconfigOutput);

// Splits listing output at "\n": each piece without its line feed; a last piece without a line
// feed is kept; an empty output gives no entries.
std::vector<std::string> SplitListing(std::string_view output);

// `name` as it goes into a card command: unchanged when it holds only letters, digits and
// "._/-" (or is empty); otherwise in single quotes, with each "'" written as '\''.
std::string ShellQuoted(const std::string& name);

// True when a name from the card's listing may be joined into a local path: no "..", "\",
// ":", NUL or other control character anywhere, none of the characters Windows refuses in
// names (< > " | ? *), no "/" at the start, and no part between slashes that Windows would
// take for a device (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0..COM9, LPT0..LPT9, with or
// without an extension, in any case) or that ends in "." or " ".
bool IsSafeArchiveName(std::string_view name);
// True when `name` may be written as one file of a local folder: not empty, at most 255 bytes,
// no "/", and safe by the rules above.
bool IsSafeFileName(std::string_view name);
// The message for a refused name: "Niedozwolona nazwa w archiwum karty `" + name + "'.".
std::string UnsafeArchiveNameText(const std::string& name);

// The message for a password that cannot be sent as typed: the card takes Windows-1250 bytes,
// and a character the code page lacks would become "?".
std::string PasswordOutsideCodePageText();

// Card text made safe for a terminal or a list: every control character (below 0x20, and
// 0x7F) becomes "?", so escape sequences a card sends cannot act on the display.
std::string Printable(std::string_view text);

// The marker appended to list entries that already exist in the local archive folder.
inline constexpr const char* kDownloadedMarker = "  [S]";

// Card clock text of "date -u -Iseconds" parsed as "%u-%u-%uT%u:%u:%u"; none when the text is
// shorter than 22 characters, fewer than six fields match, or the date is no calendar date.
struct CardTime {
  unsigned year, month, day, hour, minute, second;
};
std::optional<CardTime> ParseCardDate(const std::string& text);
// Seconds since 1970-01-01 00:00:00 UTC of a calendar time.
std::int64_t SecondsSinceEpoch(const CardTime& time);
CardTime TimeFromSeconds(std::int64_t seconds);
// "/vemo/setdate \"YYYY-MM-DD hh:mm:ss\"".
std::string SetDateCommand(const CardTime& time);

}  // namespace card
