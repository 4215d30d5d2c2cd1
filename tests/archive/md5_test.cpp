#include "archive/md5.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string Hex(const std::uint8_t digest[16]) {
  char text[33];
  for (int i = 0; i < 16; ++i) std::snprintf(text + i * 2, 3, "%02x", digest[i]);
  return text;
}

std::string DigestInPieces(const std::string& input, const std::vector<std::size_t>& cuts) {
  Md5Context context;
  Md5Init(context);
  std::size_t from = 0;
  for (std::size_t cut : cuts) {
    Md5Update(context, input.data() + from, cut - from);
    from = cut;
  }
  Md5Update(context, input.data() + from, input.size() - from);
  std::uint8_t digest[16];
  Md5Final(context, digest);
  return Hex(digest);
}

std::string Digest(const std::string& input) { return DigestInPieces(input, {}); }

TEST(Md5, RfcVectors) {
  EXPECT_EQ(Digest(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Digest("a"), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(Digest("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Digest("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(Digest("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(Digest("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "d174ab98d277d9f5a5611c2c9f419d9f");
  EXPECT_EQ(Digest("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
            "57edf4a22be3c955ac49da2e2107b67a");
  EXPECT_TRUE(Md5SelfTest());
}

// Padding boundaries: 55 bytes leave room for the length, 56 need a further block, 64 start a fresh one.
TEST(Md5, PaddingBoundaries) {
  EXPECT_EQ(Digest(std::string(55, 'a')), "ef1772b6dff9a122358552954ad0df65");
  EXPECT_EQ(Digest(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
  EXPECT_EQ(Digest(std::string(64, 'a')), "014842d480b571495a4a0363793f7367");
  EXPECT_EQ(Digest(std::string(1000000, 'a')), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(Md5, SplitUpdatesGiveTheSameDigest) {
  std::string input;
  for (int i = 0; i < 300; ++i) input += static_cast<char>(i * 7 + 3);
  const std::string whole = Digest(input);
  EXPECT_EQ(DigestInPieces(input, {1, 2, 63, 64, 65, 128, 200, 299}), whole);
  EXPECT_EQ(DigestInPieces(input, {0, 0, 150, 150}), whole);
  for (std::size_t cut = 0; cut <= input.size(); cut += 17) EXPECT_EQ(DigestInPieces(input, {cut}), whole) << cut;
}

TEST(Md5, CountCarriesIntoHighWord) {
  Md5Context context;
  Md5Init(context);
  context.countLow = 0xFFFFFFC0u;  // 64 bytes short of the carry, block-aligned
  Md5Update(context, std::string(128, 'x').data(), 128);
  EXPECT_EQ(context.countHigh, 1u);
  EXPECT_EQ(context.countLow, 0x40u);
}

}  // namespace
