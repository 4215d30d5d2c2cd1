#include "base/text.h"

#include <gtest/gtest.h>

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

}  // namespace
