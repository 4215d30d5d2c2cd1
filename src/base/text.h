// Text conversion between the Windows-1250 code page, UTF-16 (wide) and UTF-8.
//
// Narrow strings of this system (messages, status texts, card files) are Windows-1250.
// Everything shown on screen or used as a file path goes through these helpers and the
// wide (W) APIs, so the user interface is right whatever the machine's locale.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Windows-1250 bytes to wide characters. Every byte has a mapping (undefined ones keep their value).
std::wstring WideFromCp1250(std::string_view text);

// Wide characters to Windows-1250; a character with no mapping becomes "?".
std::string Cp1250FromWide(std::wstring_view text);

// UTF-8 to Windows-1250; used to write the system's Polish texts as UTF-8 literals in source.
// Invalid UTF-8 and characters with no mapping become "?".
std::string Cp1250FromUtf8(std::string_view text);

// The same conversions without loss, for text that must reach its destination exactly
// (passwords): nothing when a character has no Windows-1250 byte, or the input is not valid
// (a lone surrogate, a malformed or overlong UTF-8 sequence).
std::optional<std::string> Cp1250FromWideExact(std::wstring_view text);
std::optional<std::string> Cp1250FromUtf8Exact(std::string_view text);

// Windows-1250 to UTF-8, for terminals, JSON and logs.
std::string Utf8FromCp1250(std::string_view text);

// UTF-8 to wide and back (wide text outside the Basic Multilingual Plane is kept as surrogate
// pairs on 16-bit wchar_t platforms).
std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

// Wide program arguments (wmain, CommandLineToArgvW) as UTF-8, one string per argument.
std::vector<std::string> Utf8FromWideArguments(int argc, const wchar_t* const* argv);
