// Little-endian integers in byte buffers: the one helper behind every file and wire format of
// the system (chunks, bitmaps, AVI files, the live stream, MD5). Loads and stores take any
// byte pointer; the caller guarantees the bytes are there.
#pragma once

#include <cstdint>
#include <string>

inline std::uint16_t LoadU16(const void* bytes) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

inline std::uint32_t LoadU32(const void* bytes) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

inline void StoreU16(void* bytes, std::uint16_t value) {
  auto* p = static_cast<unsigned char*>(bytes);
  p[0] = static_cast<unsigned char>(value);
  p[1] = static_cast<unsigned char>(value >> 8);
}

inline void StoreU32(void* bytes, std::uint32_t value) {
  auto* p = static_cast<unsigned char*>(bytes);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

inline void StoreU64(void* bytes, std::uint64_t value) {
  auto* p = static_cast<unsigned char*>(bytes);
  for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

inline void AppendU16(std::string& out, std::uint16_t value) {
  char bytes[2];
  StoreU16(bytes, value);
  out.append(bytes, 2);
}

inline void AppendU32(std::string& out, std::uint32_t value) {
  char bytes[4];
  StoreU32(bytes, value);
  out.append(bytes, 4);
}

inline void AppendI32(std::string& out, std::int32_t value) { AppendU32(out, static_cast<std::uint32_t>(value)); }
