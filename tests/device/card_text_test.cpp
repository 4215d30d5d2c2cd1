#include "device/card_text.h"

#include <gtest/gtest.h>

#include "base/text.h"

namespace {

using card::KeyValue;

TEST(KeyValueTest, ReadsKeysWithCommentsAndSpacing) {
  const std::string text = "ipaddr = 192.168.1.20 ; the card's own address\nnetmask=255.255.255.0\n";
  EXPECT_EQ(KeyValue(text, "ipaddr"), "192.168.1.20");
  EXPECT_EQ(KeyValue(text, "netmask"), "255.255.255.0");
  EXPECT_EQ(KeyValue(text, "gateway"), "0.0.0.0");
  EXPECT_EQ(card::PackAddress(KeyValue(text, "ipaddr")), 0xC0A80114u);
  EXPECT_EQ(card::PackAddress(KeyValue(text, "gateway")), 0u);
}

TEST(KeyValueTest, BlankAndCommentLinesCarriageReturnsAndTrailingBlanks) {
  const std::string text = "\r\n  ; comment = x\r\n\t proto\t=\tstatic \t\r\ngateway=10.0.0.1";
  EXPECT_EQ(KeyValue(text, "proto"), "static");
  EXPECT_EQ(KeyValue(text, "gateway"), "10.0.0.1");  // last line without a line feed
  EXPECT_EQ(KeyValue(text, "comment"), "0.0.0.0");   // only inside a comment
}

TEST(KeyValueTest, FirstMatchWinsAndValueMayBeEmpty) {
  EXPECT_EQ(KeyValue("a=1\na=2\n", "a"), "1");
  EXPECT_EQ(KeyValue("a=\nb=2\n", "a"), "");
  EXPECT_EQ(KeyValue("a=;x\n", "a"), "");
  // Case-sensitive, whole key.
  EXPECT_EQ(KeyValue("IPADDR=1.2.3.4\nipaddr2=5.6.7.8\n", "ipaddr"), "0.0.0.0");
}

TEST(KeyValueTest, MalformedLineStopsReading) {
  EXPECT_EQ(KeyValue("[section]\nipaddr=1.2.3.4\n", "ipaddr"), "0.0.0.0");
  EXPECT_EQ(KeyValue("netmask 255.0.0.0\nipaddr=1.2.3.4\n", "ipaddr"), "0.0.0.0");
  EXPECT_EQ(KeyValue("ipaddr=1.2.3.4\n!bad\ngateway=9.9.9.9\n", "ipaddr"), "1.2.3.4");
  EXPECT_EQ(KeyValue("ipaddr=1.2.3.4\n!bad\ngateway=9.9.9.9\n", "gateway"), "0.0.0.0");
  EXPECT_EQ(KeyValue("", "ipaddr"), "0.0.0.0");
}

TEST(PackAddressTest, PartialOrGarbageIsUnknown) {
  EXPECT_EQ(card::PackAddress("10.1"), std::nullopt);
  EXPECT_EQ(card::PackAddress("garbage"), std::nullopt);
  EXPECT_EQ(card::PackAddress("255.255.255.0"), 0xFFFFFF00u);
}

TEST(HardwareAddressTest, TakesSeventeenCharacters) {
  const std::string text =
      "eth0      Link encap:Ethernet  HWaddr 00:1A:2B:3C:4D:5E  \n          inet addr:10.0.0.7\n"
      "          Interrupt:21 Base address:0x2000\n";
  EXPECT_EQ(card::HardwareAddress(text), std::optional<std::string>("00:1A:2B:3C:4D:5E"));
  EXPECT_EQ(card::HardwareAddress("no address here"), std::nullopt);
  EXPECT_EQ(card::HardwareAddress("HWaddr 00:11"), std::optional<std::string>("00:11"));
}

TEST(SplitListingTest, FinalLineFeedOptional) {
  EXPECT_EQ(card::SplitListing("2024-05-01/\n2024-05-02/\narchcfg.txt\n"),
            (std::vector<std::string>{"2024-05-01/", "2024-05-02/", "archcfg.txt"}));
  EXPECT_EQ(card::SplitListing("a.avi\nb.avi"), (std::vector<std::string>{"a.avi", "b.avi"}));
  EXPECT_TRUE(card::SplitListing("").empty());
  EXPECT_EQ(card::SplitListing("\n"), (std::vector<std::string>{""}));
}

TEST(ShellQuotedTest, PlainNamesUnchangedOthersQuoted) {
  EXPECT_EQ(card::ShellQuoted("admin"), "admin");
  EXPECT_EQ(card::ShellQuoted("2024-05-01/"), "2024-05-01/");
  EXPECT_EQ(card::ShellQuoted("rec_1.avi"), "rec_1.avi");
  EXPECT_EQ(card::ShellQuoted(""), "");
  EXPECT_EQ(card::ShellQuoted("a b"), "'a b'");
  EXPECT_EQ(card::ShellQuoted("x; rm -rf /"), "'x; rm -rf /'");
  EXPECT_EQ(card::ShellQuoted("it's"), "'it'\\''s'");
  EXPECT_EQ(card::ShellQuoted("$(reboot)"), "'$(reboot)'");
}

TEST(ArchiveNameTest, RefusesNamesThatLeaveTheRoot) {
  EXPECT_TRUE(card::IsSafeArchiveName("2024-05-01/"));
  EXPECT_TRUE(card::IsSafeArchiveName("rec.1.avi"));
  EXPECT_FALSE(card::IsSafeArchiveName("../"));
  EXPECT_FALSE(card::IsSafeArchiveName("a/../../b"));
  EXPECT_FALSE(card::IsSafeArchiveName("/etc/"));
  EXPECT_FALSE(card::IsSafeArchiveName("a\\b"));
  EXPECT_FALSE(card::IsSafeArchiveName("C:x"));
  EXPECT_FALSE(card::IsSafeArchiveName(std::string("a\0b", 3)));
  EXPECT_EQ(Utf8FromCp1250(card::UnsafeArchiveNameText("../")), "Niedozwolona nazwa w archiwum karty `../'.");
}

// Names Windows takes for devices in every folder, whatever follows them after a dot, and names
// it would silently shorten. A file name is one part: no folders.
TEST(ArchiveNameTest, WindowsDeviceNamesAndFileNames) {
  const struct {
    std::string name;
    bool archive, file;  // IsSafeArchiveName, IsSafeFileName
  } cases[] = {
      {"config.txt", true, true},     {"det16.bmp", true, true},      {"COM10", true, true},
      {"CONSOLE.txt", true, true},    {"COMA", true, true},           {"conin.txt", true, true},
      {"COM\xB9", true, true} /* "COMą", not COM with a superscript one */,
      {"CON", false, false},          {"NUL.txt", false, false},      {"com1", false, false},
      {"COM0", false, false},         {"lpt0.avi", false, false},     {"LPT9", false, false},
      {"CONIN$", false, false},       {"conout$.log", false, false},  {"Aux .txt", false, false},
      {"name.", false, false},        {"name ", false, false},        {"2024-05-01/", true, false},
      {"d/CONOUT$/a.avi", false, false}, {"", true, false},           {".", false, false},
      {"..", false, false},           {std::string(255, 'a'), true, true},
      {std::string(256, 'a'), true, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(card::IsSafeArchiveName(c.name), c.archive) << c.name;
    EXPECT_EQ(card::IsSafeFileName(c.name), c.file) << c.name;
  }
}

TEST(CardDateTest, ParsesAndRejects) {
  const auto t = card::ParseCardDate("2026-12-07T22:15:04+00:00\n");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->year, 2026u);
  EXPECT_EQ(t->second, 4u);
  EXPECT_FALSE(card::ParseCardDate("2026-12-07T22:15:04+0"));   // 21 characters
  EXPECT_FALSE(card::ParseCardDate("Mon Dec  7 22:15:04 UTC 2026"));
  EXPECT_FALSE(card::ParseCardDate("2026-02-30T22:15:04+00:00"));  // no such day
  EXPECT_FALSE(card::ParseCardDate("2026-12-07T24:15:04+00:00"));
  EXPECT_TRUE(card::ParseCardDate("2024-02-29T00:00:00+00:00"));
}

TEST(CardDateTest, EpochRoundTripAndSetDateCommand) {
  const card::CardTime t{2026, 12, 7, 22, 15, 4};
  const std::int64_t seconds = card::SecondsSinceEpoch(t);
  EXPECT_EQ(seconds, 1796681704);
  const card::CardTime back = card::TimeFromSeconds(seconds);
  EXPECT_EQ(card::SetDateCommand(back), "/vemo/setdate \"2026-12-07 22:15:04\"");
  EXPECT_EQ(card::SecondsSinceEpoch({1970, 1, 1, 0, 0, 0}), 0);
  EXPECT_EQ(card::SetDateCommand(card::TimeFromSeconds(951782400)), "/vemo/setdate \"2000-02-29 00:00:00\"");
}

}  // namespace
