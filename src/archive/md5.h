// MD5 message digest (RFC 1321), checked against the RFC's test suite at every start.
#pragma once

#include <cstddef>
#include <cstdint>

struct Md5Context {
  std::uint32_t countLow;   // bytes hashed so far, low word
  std::uint32_t countHigh;  // carry of the low word
  std::uint32_t state[4];   // A, B, C, D
  std::uint8_t buffer[64];  // the incomplete block not yet hashed
};

void Md5Init(Md5Context& context);
void Md5Update(Md5Context& context, const void* data, std::size_t length);
void Md5Final(Md5Context& context, std::uint8_t digest[16]);

// True when every RFC 1321 vector matches; prints "MD5 self-test failed!\n" at the first mismatch.
bool Md5SelfTest();
