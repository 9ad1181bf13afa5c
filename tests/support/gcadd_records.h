// GCADD drawings built record by record for the tests: a record is a header
// unit and its data units, 10 bytes each.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>

namespace gcadd {

// A data unit: its number and a point.
inline std::string Unit(float x, float y, uint16_t number = 1) {
  std::string u(10, '\0');
  std::memcpy(&u[0], &number, 2);
  std::memcpy(&u[2], &x, 4);
  std::memcpy(&u[6], &y, 4);
  return u;
}
// A record's header unit: its type and how many data units follow.
inline std::string Header(uint8_t type, uint16_t count) {
  std::string h(10, '\0');
  h[2] = static_cast<char>(type);
  h[5] = 3;
  std::memcpy(&h[8], &count, 2);
  return h;
}
// A component's name over two units (up to 18 characters).
inline std::string NameUnits(const std::string& name) {
  std::string a(10, '\0'), b(10, '\0');
  a[0] = static_cast<char>(name.size());
  for (std::size_t i = 0; i < name.size() && i < 18; ++i) (i < 9 ? a[1 + i] : b[1 + i - 9]) = name[i];
  return a + b;
}
// The records, ended as a drawing ends.
inline std::string Drawing(const std::string& records) { return records + "\xFF\xFF" + std::string(8, '\0'); }

}  // namespace gcadd
