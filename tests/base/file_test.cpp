#include "base/file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/text.h"

namespace {

std::string TempName(const char* stem) {
  return std::string(TREVNA_BINARY_DIR) + "/" + stem;
}

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(no exception)";
}

TEST(File, WritesReadsAndMeasures) {
  const std::string name = TempName("file_test_plain.bin");
  {
    File file(name, "wb");
    file.Write("abc", 3);
    file.Print("%d-%s", 42, "x");
    file.Close();
  }
  File file(name, "rb");
  EXPECT_EQ(file.Length(), 7u);
  char head[2];
  file.Read(head, 2);
  EXPECT_EQ(file.Length(), 7u);  // measuring keeps the position
  EXPECT_EQ(file.ReadAll(), "c42-x");
  EXPECT_EQ(file.Name(), name);
}

TEST(File, FailuresCarryTheNameInTheSystemText) {
  const std::string missing = TempName("no-such-folder/brak.trv");
  EXPECT_EQ(MessageOf([&] { File f(missing, "rb"); }),
            Cp1250FromUtf8("Nie udało się otworzyć pliku `") + missing + "'.");

  const std::string name = TempName("file_test_short.bin");
  { File f(name, "wb"); f.Write("ab", 2); }
  File file(name, "rb");
  char buffer[3];
  EXPECT_EQ(MessageOf([&] { file.Read(buffer, 3); }),
            Cp1250FromUtf8("Nie udało się odczytać pliku `") + name + "'.");
  EXPECT_EQ(MessageOf([&] { file.Write("x", 1); }),
            Cp1250FromUtf8("Nie udało się zapisać do pliku `") + name + "'.");
}

TEST(File, WidePathsKeepPolishNamesAndNarrowCharByChar) {
  const std::wstring wide = WideFromUtf8(TempName("plik_żółw.txt"));
  { File f(wide, "wb"); f.Write("dane", 4); }
  File byNarrowCp1250(Cp1250FromWide(wide), "rb");
  EXPECT_EQ(byNarrowCp1250.ReadAll(), "dane");
  // The narrow name of a wide path takes characters below 256 as they are, others as "?".
  EXPECT_EQ(NarrowName(L"a\u00F3\u017C.trv"), "a\xF3?.trv");
}

// trevnactl takes its arguments as wide text on Windows, converts them once to UTF-8 and hands
// Windows-1250 names to the file layer: a path with Polish letters survives every step.
TEST(File, WideArgumentsReachTheFileLayer) {
  const std::string utf8Path = TempName("żółw ąę.trv");
  const std::wstring widePath = WideFromUtf8(utf8Path);
  { File f(widePath, "wb"); f.Write("TRV", 3); }
  const wchar_t* argv[] = {L"trevnactl", L"info", widePath.c_str(), L"\U0001F600"};
  const std::vector<std::string> arguments = Utf8FromWideArguments(4, argv);
  ASSERT_EQ(arguments.size(), 4u);
  EXPECT_EQ(arguments[1], "info");
  EXPECT_EQ(arguments[2], utf8Path);
  EXPECT_EQ(arguments[3], "\xF0\x9F\x98\x80");  // a surrogate pair on Windows is one character
  File file(Cp1250FromUtf8(arguments[2]), "rb");
  EXPECT_EQ(file.ReadAll(), "TRV");
}

}  // namespace
