// Helpers shared by the settings tests: a fixture that starts every test from
// the built-in defaults, registry dumps and value builders.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>

#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "korvex_test.h"
#include "platform/registry.h"

class TSettingsTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    setenv("KORVEX_HOME", "/opt/korvex/", 1);
    ResetStartupSettings();
    ResetFamilySettings();
  }
  void TearDown() override {
    ResetStartupSettings();
    ResetFamilySettings();
    TKorvexTest::TearDown();
  }
};

inline std::string FamilyPath(const std::string& family) {
  return std::string(RegistryBaseKey) + "\\" + family;
}

// Value name -> value, exactly as stored.
using TRegDump = std::map<std::string, TRegValue>;

inline TRegDump DumpKey(const std::string& family) {
  TRegDump dump;
  TRegKey* key = TRegistryStore::Instance().FindKey(FamilyPath(family));
  if (key)
    for (const auto& [name, value] : key->Values) dump[name] = value;
  return dump;
}

inline void WriteDump(const std::string& family, const TRegDump& dump) {
  TRegKey* key = TRegistryStore::Instance().CreateKey(FamilyPath(family));
  for (const auto& [name, value] : dump) key->Values[name] = value;
}

inline TRegValue RegBool(bool b) {
  TRegValue v;
  v.Type = TRegDataType::Integer;
  v.Int = b ? 1 : 0;
  return v;
}
inline TRegValue RegInt(int64_t i) {
  TRegValue v;
  v.Type = TRegDataType::Integer;
  v.Int = static_cast<int32_t>(static_cast<uint32_t>(i));
  return v;
}
inline TRegValue RegStr(std::string s) {
  TRegValue v;
  v.Type = TRegDataType::String;
  v.Str = std::move(s);
  return v;
}
// 8 bytes, little-endian IEEE double.
inline TRegValue RegReal(double d) {
  uint64_t bits = 0;
  std::memcpy(&bits, &d, 8);
  TRegValue v;
  v.Type = TRegDataType::Binary;
  for (int i = 0; i < 8; ++i) v.Bin.push_back(static_cast<uint8_t>(bits >> (8 * i)));
  return v;
}

inline bool SameValue(const TRegValue& a, const TRegValue& b) {
  if (a.Type != b.Type) return false;
  switch (a.Type) {
    case TRegDataType::Integer: return a.Int == b.Int;
    case TRegDataType::String: return a.Str == b.Str;
    case TRegDataType::Binary: return a.Bin == b.Bin;
  }
  return false;
}

inline std::string Show(const TRegValue& v) {
  switch (v.Type) {
    case TRegDataType::Integer: return "int " + std::to_string(v.Int);
    case TRegDataType::String: return "str \"" + v.Str + "\"";
    case TRegDataType::Binary: return "bin of " + std::to_string(v.Bin.size()) + " bytes";
  }
  return "?";
}

// Stores one value under a family key.
inline void PutValue(const std::string& family, const std::string& name, const TRegValue& value) {
  TRegistryStore::Instance().CreateKey(FamilyPath(family))->Values[name] = value;
}

inline const TRegValue* GetStored(const std::string& family, const std::string& name) {
  TRegKey* key = TRegistryStore::Instance().FindKey(FamilyPath(family));
  if (!key) return nullptr;
  auto it = key->Values.find(name);
  return it == key->Values.end() ? nullptr : &it->second;
}

inline void DeleteStored(const std::string& family, const std::string& name) {
  TRegKey* key = TRegistryStore::Instance().FindKey(FamilyPath(family));
  if (key) key->Values.erase(name);
}
