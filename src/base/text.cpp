#include "base/text.h"

#include <array>
#include <cstdint>

namespace {

// Code points of bytes 0x80..0xFF in Windows-1250. Undefined positions map to themselves.
constexpr std::array<char16_t, 128> kHighHalf = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,  // 98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,  // A0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,  // A8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,  // B8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,  // C0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,  // C8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,  // D0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,  // D8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,  // E0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,  // E8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,  // F0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,  // F8
};

char32_t CodePointOf(unsigned char byte) {
  return byte < 0x80 ? byte : kHighHalf[byte - 0x80];
}

// The Windows-1250 byte of a code point; nothing when the code page has none.
std::optional<char> ExactByteOf(char32_t code) {
  if (code < 0x80) return static_cast<char>(code);
  for (std::size_t i = 0; i < kHighHalf.size(); ++i) {
    if (kHighHalf[i] == code) return static_cast<char>(0x80 + i);
  }
  return std::nullopt;
}

char ByteOf(char32_t code) { return ExactByteOf(code).value_or('?'); }

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

constexpr char32_t kInvalid = 0xFFFFFFFF;

// Decodes one UTF-8 sequence at text[pos], advancing pos; kInvalid for a bad sequence.
char32_t NextUtf8(std::string_view text, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos++]);
  if (lead < 0x80) return lead;
  int extra = 0;
  char32_t code = 0;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1;
    code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
    code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3;
    code = lead & 0x07;
  } else {
    return kInvalid;
  }
  for (int i = 0; i < extra; ++i) {
    if (pos >= text.size()) return kInvalid;
    const auto next = static_cast<unsigned char>(text[pos]);
    if ((next & 0xC0) != 0x80) return kInvalid;
    code = (code << 6) | (next & 0x3F);
    ++pos;
  }
  static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
  if (code < kMinimum[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return kInvalid;
  return code;
}

void AppendWide(std::wstring& out, char32_t code) {
  if constexpr (sizeof(wchar_t) == 2) {
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<wchar_t>(0xD800 + (code >> 10));
      out += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
      return;
    }
  }
  out += static_cast<wchar_t>(code);
}

// Decodes one character of wide text (joining surrogate pairs); kInvalid for a lone surrogate.
char32_t NextWide(std::wstring_view text, std::size_t& pos) {
  char32_t code = static_cast<char32_t>(text[pos++]);
  if constexpr (sizeof(wchar_t) == 2) {
    if (code >= 0xD800 && code <= 0xDBFF && pos < text.size()) {
      const char32_t low = static_cast<char32_t>(text[pos]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        ++pos;
        return 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
      }
    }
    if (code >= 0xD800 && code <= 0xDFFF) return kInvalid;
  }
  return code;
}

}  // namespace

std::wstring WideFromCp1250(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (char c : text) out += static_cast<wchar_t>(CodePointOf(static_cast<unsigned char>(c)));
  return out;
}

std::string Cp1250FromWide(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const char32_t code = NextWide(text, pos);
    out += code == kInvalid ? '?' : ByteOf(code);
  }
  return out;
}

std::string Cp1250FromUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const char32_t code = NextUtf8(text, pos);
    out += code == kInvalid ? '?' : ByteOf(code);
  }
  return out;
}

namespace {

// Converts with `next` (NextWide or NextUtf8) and stops at the first character that has no byte.
template <class View, class Next>
std::optional<std::string> ExactCp1250(View text, Next next) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const char32_t code = next(text, pos);
    const std::optional<char> byte = code == kInvalid ? std::nullopt : ExactByteOf(code);
    if (!byte) return std::nullopt;
    out += *byte;
  }
  return out;
}

}  // namespace

std::optional<std::string> Cp1250FromWideExact(std::wstring_view text) { return ExactCp1250(text, NextWide); }

std::optional<std::string> Cp1250FromUtf8Exact(std::string_view text) { return ExactCp1250(text, NextUtf8); }

std::string Utf8FromCp1250(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (char c : text) AppendUtf8(out, CodePointOf(static_cast<unsigned char>(c)));
  return out;
}

std::wstring WideFromUtf8(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const char32_t code = NextUtf8(text, pos);
    AppendWide(out, code == kInvalid ? U'\uFFFD' : code);
  }
  return out;
}

std::string Utf8FromWide(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const char32_t code = NextWide(text, pos);
    AppendUtf8(out, code == kInvalid ? U'\uFFFD' : code);
  }
  return out;
}

std::vector<std::string> Utf8FromWideArguments(int argc, const wchar_t* const* argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(Utf8FromWide(argv[i] ? std::wstring_view(argv[i]) : std::wstring_view()));
  return arguments;
}
