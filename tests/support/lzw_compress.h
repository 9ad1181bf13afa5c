// Bytes in the form the Unix `compress` program writes (".Z": magic 1F 9D,
// block mode, codes of 9 up to maxBits bits, least significant bit first,
// each change of width padding the group of eight codes begun at the last
// change), so that tests make their compressed job files on the spot; and
// a lower decoding limit for the length of a test.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>

#include "import/lzw_decompress.h"

struct TDecompressLimitFor {
  explicit TDecompressLimitFor(int64_t bytes) : Before(SetDecompressLimit(bytes)) {}
  ~TDecompressLimitFor() { SetDecompressLimit(Before); }
  TDecompressLimitFor(const TDecompressLimitFor&) = delete;
  TDecompressLimitFor& operator=(const TDecompressLimitFor&) = delete;
  int64_t Before;
};

inline std::string LzwCompress(const std::string& in, int maxBits = 16) {
  std::string out("\x1f\x9d", 2);
  out += static_cast<char>(0x80 | maxBits);
  if (in.empty()) return out;
  const int32_t maxMaxCode = int32_t{1} << maxBits;
  int32_t freeEntry = 257, nBits = 9, maxCode = 511;
  uint64_t reservoir = 0, groupBits = 0;
  int held = 0;
  const auto put = [&](uint32_t value, int bits) {
    reservoir |= static_cast<uint64_t>(value) << held;
    held += bits;
    groupBits += static_cast<uint64_t>(bits);
    while (held >= 8) {
      out += static_cast<char>(reservoir & 0xFF);
      reservoir >>= 8;
      held -= 8;
    }
  };
  const auto emit = [&](int32_t code) {
    put(static_cast<uint32_t>(code), nBits);
    if (freeEntry <= maxCode) return;
    // A wider code starts a new group: the rest of this one is padding.
    const uint64_t group = static_cast<uint64_t>(nBits) * 8;
    for (uint64_t pad = (group - groupBits % group) % group; pad > 0;) {
      const int bits = static_cast<int>(pad > 16 ? 16 : pad);
      put(0, bits);
      pad -= static_cast<uint64_t>(bits);
    }
    groupBits = 0;
    ++nBits;
    maxCode = nBits == maxBits ? maxMaxCode : (int32_t{1} << nBits) - 1;
  };
  std::unordered_map<uint32_t, int32_t> table;  // prefix code * 256 + byte -> code
  int32_t prefix = static_cast<uint8_t>(in[0]);
  for (std::size_t i = 1; i < in.size(); ++i) {
    const uint8_t c = static_cast<uint8_t>(in[i]);
    const uint32_t key = static_cast<uint32_t>(prefix) * 256u + c;
    if (const auto found = table.find(key); found != table.end()) {
      prefix = found->second;
      continue;
    }
    emit(prefix);
    prefix = c;
    if (freeEntry < maxMaxCode) table[key] = freeEntry++;
  }
  put(static_cast<uint32_t>(prefix), nBits);
  if (held > 0) out += static_cast<char>(reservoir & 0xFF);
  return out;
}
