#include "platform/canvas_png.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/file_ops.h"

namespace {

uint32_t Crc32(const uint8_t* data, size_t n, uint32_t crc = 0) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void PutBE32(std::string& out, uint32_t v) {
  out.push_back(char(v >> 24));
  out.push_back(char(v >> 16));
  out.push_back(char(v >> 8));
  out.push_back(char(v));
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
  PutBE32(out, uint32_t(data.size()));
  std::string body(type, 4);
  body += data;
  out += body;
  PutBE32(out, Crc32(reinterpret_cast<const uint8_t*>(body.data()), body.size()));
}

}  // namespace

bool WritePngFile(const std::string& path, int width, int height, const std::vector<TColor>& pixels) {
  if (width <= 0 || height <= 0 || pixels.size() != size_t(width) * size_t(height)) return false;

  // Raw scanlines: filter byte 0, then R, G, B.
  std::string raw;
  raw.reserve(size_t(height) * (size_t(width) * 3 + 1));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    for (int x = 0; x < width; ++x) {
      TColor c = pixels[size_t(y) * size_t(width) + size_t(x)];
      raw.push_back(char(GetRValue(c)));
      raw.push_back(char(GetGValue(c)));
      raw.push_back(char(GetBValue(c)));
    }
  }

  // zlib stream of stored blocks (at most 65,535 bytes each).
  std::string z = "\x78\x01";
  size_t pos = 0;
  do {
    size_t n = std::min<size_t>(65535, raw.size() - pos);
    bool last = pos + n == raw.size();
    z.push_back(last ? 1 : 0);
    z.push_back(char(n & 0xFF));
    z.push_back(char(n >> 8));
    z.push_back(char(~n & 0xFF));
    z.push_back(char((~n >> 8) & 0xFF));
    z.append(raw, pos, n);
    pos += n;
  } while (pos < raw.size());
  uint32_t a = 1, b = 0;
  for (unsigned char ch : raw) {
    a = (a + ch) % 65521;
    b = (b + a) % 65521;
  }
  PutBE32(z, (b << 16) | a);

  std::string png = "\x89PNG\r\n\x1a\n";
  std::string ihdr;
  PutBE32(ihdr, uint32_t(width));
  PutBE32(ihdr, uint32_t(height));
  ihdr += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
  PutChunk(png, "IHDR", ihdr);
  PutChunk(png, "IDAT", z);
  PutChunk(png, "IEND", "");

  return ReplaceFileContents(path, png.data(), png.size()) == 0;
}
