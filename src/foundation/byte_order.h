// Little-endian fields of the program's binary files (tool tables, undo
// journals, sequence and move records), read and written byte by byte.
#pragma once
#include <bit>
#include <cstdint>

inline void PutInt32(uint8_t* p, int32_t value) {
  const uint32_t u = static_cast<uint32_t>(value);
  p[0] = static_cast<uint8_t>(u);
  p[1] = static_cast<uint8_t>(u >> 8);
  p[2] = static_cast<uint8_t>(u >> 16);
  p[3] = static_cast<uint8_t>(u >> 24);
}

inline int32_t GetInt32(const uint8_t* p) {
  return static_cast<int32_t>(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                              uint32_t(p[3]) << 24);
}

inline void PutUInt16(uint8_t* p, uint16_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
}

inline uint16_t GetUInt16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// An IEEE single-precision float, little-endian.
inline void PutFloat32(uint8_t* p, float value) { PutInt32(p, std::bit_cast<int32_t>(value)); }
