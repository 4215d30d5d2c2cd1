#include "archive/md5.h"

#include <cstdio>
#include <cstring>

#include "base/bytes.h"

namespace {

constexpr std::uint32_t Rotate(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

constexpr std::uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                            5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                            4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                            6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

// The MD5 compression function over one 64-byte block of sixteen little-endian words.
void Transform(std::uint32_t state[4], const std::uint8_t block[64]) {
  std::uint32_t words[16];
  for (int i = 0; i < 16; ++i) words[i] = LoadU32(block + i * 4);
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (int i = 0; i < 64; ++i) {
    std::uint32_t f;
    int g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (d & b) | (~d & c);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    const std::uint32_t next = d;
    d = c;
    c = b;
    b = b + Rotate(a + f + kSine[i] + words[g], kShift[i]);
    a = next;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

}  // namespace

void Md5Init(Md5Context& context) {
  context.countLow = 0;
  context.countHigh = 0;
  context.state[0] = 0x67452301;
  context.state[1] = 0xEFCDAB89;
  context.state[2] = 0x98BADCFE;
  context.state[3] = 0x10325476;
  std::memset(context.buffer, 0, sizeof context.buffer);
}

void Md5Update(Md5Context& context, const void* data, std::size_t length) {
  auto input = static_cast<const std::uint8_t*>(data);
  const std::size_t used = context.countLow % 64;
  const std::uint64_t count =
      ((static_cast<std::uint64_t>(context.countHigh) << 32) | context.countLow) + length;
  context.countLow = static_cast<std::uint32_t>(count);
  context.countHigh = static_cast<std::uint32_t>(count >> 32);

  if (used != 0) {
    const std::size_t room = 64 - used;
    if (length < room) {
      std::memcpy(context.buffer + used, input, length);
      return;
    }
    std::memcpy(context.buffer + used, input, room);
    Transform(context.state, context.buffer);
    input += room;
    length -= room;
  }
  for (; length >= 64; input += 64, length -= 64) Transform(context.state, input);
  if (length != 0) std::memcpy(context.buffer, input, length);
}

void Md5Final(Md5Context& context, std::uint8_t digest[16]) {
  const std::uint64_t bits = ((static_cast<std::uint64_t>(context.countHigh) << 32) | context.countLow) * 8;
  std::uint8_t padding[72] = {0x80};
  const std::size_t used = context.countLow % 64;
  const std::size_t padLength = used < 56 ? 56 - used : 120 - used;
  std::uint8_t length[8];
  StoreU64(length, bits);
  Md5Update(context, padding, padLength);
  Md5Update(context, length, 8);
  for (int i = 0; i < 4; ++i) StoreU32(digest + i * 4, context.state[i]);
}

bool Md5SelfTest() {
  static const char* const kVectors[][2] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& vector : kVectors) {
    Md5Context context;
    Md5Init(context);
    Md5Update(context, vector[0], std::strlen(vector[0]));
    std::uint8_t digest[16];
    Md5Final(context, digest);
    char text[33];
    for (int i = 0; i < 16; ++i) std::snprintf(text + i * 2, 3, "%02x", digest[i]);
    if (std::strcmp(text, vector[1]) != 0) {
      std::fputs("MD5 self-test failed!\n", stdout);
      return false;
    }
  }
  return true;
}
