#include "base/text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

TEST(Text, PolishLettersRoundTripThroughEveryForm) {
  const std::string utf8 = "Zażółć gęślą jaźń ĄĆĘŁŃÓŚŹŻ";
  const std::string cp1250 = Cp1250FromUtf8(utf8);
  EXPECT_EQ(cp1250.size(), 27u);
  EXPECT_EQ(static_cast<unsigned char>(cp1250[2]), 0xBF);  // ż
  EXPECT_EQ(static_cast<unsigned char>(cp1250[3]), 0xF3);  // ó
  EXPECT_EQ(Utf8FromCp1250(cp1250), utf8);
  const std::wstring wide = WideFromCp1250(cp1250);
  EXPECT_EQ(wide[3], L'\u00F3');
  EXPECT_EQ(wide[2], L'\u017C');
  EXPECT_EQ(Cp1250FromWide(wide), cp1250);
  EXPECT_EQ(WideFromUtf8(utf8), wide);
  EXPECT_EQ(Utf8FromWide(wide), utf8);
}

TEST(Text, EveryCp1250ByteSurvivesWideAndUtf8) {
  std::string all;
  for (int i = 1; i < 256; ++i) all += static_cast<char>(i);
  EXPECT_EQ(Cp1250FromWide(WideFromCp1250(all)), all);
  EXPECT_EQ(Cp1250FromUtf8(Utf8FromCp1250(all)), all);
}

TEST(Text, UnmappableAndInvalidInputBecomesQuestionMark) {
  EXPECT_EQ(Cp1250FromWide(L"a\u4E2Db"), "a?b");
  EXPECT_EQ(Cp1250FromUtf8("a\xC3"), "a?");            // truncated sequence
  EXPECT_EQ(Cp1250FromUtf8("a\xC0\xAF" "b"), "a?b");   // an overlong form is refused whole
  EXPECT_EQ(Cp1250FromUtf8("\xE2\x82\xAC"), "\x80");    // euro sign
  EXPECT_EQ(Cp1250FromUtf8("\xF0\x9F\x98\x80"), "?");   // outside the code page
  EXPECT_EQ(Utf8FromWide(WideFromUtf8("\xF0\x9F\x98\x80")), "\xF0\x9F\x98\x80");
}

// Passwords must reach the card byte for byte: the exact forms refuse what the lossy ones turn
// into "?", and keep a "?" that was typed.
TEST(Text, ExactConversionRefusesWhatWindows1250CannotHold) {
  const struct {
    const char* what;
    std::string utf8;
    std::wstring wide;
    std::optional<std::string> cp1250;
  } cases[] = {
      {"ASCII with a question mark", "Trevna-22?!", L"Trevna-22?!", "Trevna-22?!"},
      {"Polish letters", "ąęśłŻ", L"\u0105\u0119\u015B\u0142\u017B", "\xB9\xEA\x9C\xB3\xAF"},
      {"euro sign and a byte without a letter", "€\u0081", L"\u20AC\u0081", "\x80\x81"},
      {"empty", "", L"", ""},
      {"Cyrillic", "пароль", L"\u043F\u0430\u0440\u043E\u043B\u044C", std::nullopt},
      {"one Cyrillic letter among Latin ones", "haslo\u0434", L"haslo\u0434", std::nullopt},
      {"emoji", "a\xF0\x9F\x98\x80", L"a\U0001F600", std::nullopt},
      {"CJK", "\u4E2D\u6587", L"\u4E2D\u6587", std::nullopt},
      {"Latin-1 letter Windows-1250 lacks", "\u00E5", L"\u00E5", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Cp1250FromUtf8Exact(c.utf8), c.cp1250);
    EXPECT_EQ(Cp1250FromWideExact(c.wide), c.cp1250);
    // The lossy forms keep their length-preserving "?" for every other caller.
    if (!c.cp1250) {
      EXPECT_NE(Cp1250FromWide(c.wide).find('?'), std::string::npos);
    }
  }
  // Input that is not text at all.
  for (const std::string& bad : {std::string("a\xC3"), std::string("\xC0\xAF"), std::string("\xED\xA0\x80"),
                                std::string("\xB9") /* a Windows-1250 file, not UTF-8 */}) {
    EXPECT_EQ(Cp1250FromUtf8Exact(bad), std::nullopt) << testing::PrintToString(bad);
  }
  // Lone surrogates: half of a pair cut off by the 99-character limit of a dialog field.
  EXPECT_EQ(Cp1250FromWideExact(std::wstring(L"a") + static_cast<wchar_t>(0xD83D) + L"b"), std::nullopt);
  EXPECT_EQ(Cp1250FromWideExact(std::wstring(1, static_cast<wchar_t>(0xDE00))), std::nullopt);
}

}  // namespace
