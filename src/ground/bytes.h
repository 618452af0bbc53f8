// Little-endian byte packing, the one byte order of every file format the
// receiver reads or writes (raw samples, WAV chunks, BMP headers).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace velkor {

// The unsigned 16-bit value of bytes[0] (low) and bytes[1] (high).
inline uint16_t readLittle16(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)); }

// The unsigned 32-bit value of bytes[0] (lowest) ... bytes[3] (highest).
inline uint32_t readLittle32(const uint8_t* bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

// Appends the low `count` bytes of value to out, lowest first.
inline void appendLittle(std::vector<uint8_t>& out, uint32_t value, int count) {
  for (int i = 0; i < count; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// The same into a byte string (file images built as text).
inline void appendLittle(std::string& out, uint32_t value, int count) {
  for (int i = 0; i < count; ++i) out += static_cast<char>(static_cast<uint8_t>(value >> (8 * i)));
}

// Stores the 16 bits of value at bytes[0] (low) and bytes[1] (high).
inline void storeLittle16(uint8_t* bytes, uint16_t value) {
  bytes[0] = static_cast<uint8_t>(value);
  bytes[1] = static_cast<uint8_t>(value >> 8);
}

// The four bytes of a 32-bit value, lowest first (two's complement for negatives).
inline std::array<uint8_t, 4> little32Bytes(int32_t value) {
  auto bits = static_cast<uint32_t>(value);
  return {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits >> 16),
          static_cast<uint8_t>(bits >> 24)};
}

} // namespace velkor
