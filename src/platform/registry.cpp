#include "platform/registry.h"

#include <cctype>
#include <cstring>

bool TRegNameLess::operator()(const std::string& a, const std::string& b) const {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int ca = std::toupper(static_cast<unsigned char>(a[i]));
    int cb = std::toupper(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb;
  }
  return a.size() < b.size();
}

std::vector<std::string> SplitRegPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c == '\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

TRegistryStore& TRegistryStore::Instance() {
  static TRegistryStore store;
  return store;
}

TRegKey* TRegistryStore::FindKey(const std::string& path) {
  TRegKey* key = &root_;
  for (const auto& part : SplitRegPath(path)) {
    auto it = key->SubKeys.find(part);
    if (it == key->SubKeys.end()) return nullptr;
    key = it->second.get();
  }
  return key;
}

TRegKey* TRegistryStore::CreateKey(const std::string& path) {
  TRegKey* key = &root_;
  for (const auto& part : SplitRegPath(path)) {
    auto it = key->SubKeys.find(part);
    if (it == key->SubKeys.end()) {
      auto sub = std::make_unique<TRegKey>();
      sub->Name = part;
      it = key->SubKeys.emplace(part, std::move(sub)).first;
      Modified = true;
    }
    key = it->second.get();
  }
  return key;
}

bool TRegistryStore::DeleteKey(const std::string& path) {
  auto parts = SplitRegPath(path);
  if (parts.empty()) return false;
  std::string last = parts.back();
  parts.pop_back();
  TRegKey* parent = &root_;
  for (const auto& part : parts) {
    auto it = parent->SubKeys.find(part);
    if (it == parent->SubKeys.end()) return false;
    parent = it->second.get();
  }
  if (parent->SubKeys.erase(last) == 0) return false;
  Modified = true;
  return true;
}

void TRegistryStore::Clear() {
  root_.Values.clear();
  root_.SubKeys.clear();
  Modified = false;
}

TRegistry::TRegistry(TRegistryStore& store) : store_(store) {}

TRegistry::~TRegistry() { CloseKey(); }

std::string TRegistry::Resolve(const std::string& key) const {
  if (!key.empty() && key[0] == '\\') return key;
  return currentPath_ + "\\" + key;
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
  std::string path = Resolve(key);
  TRegKey* k = canCreate ? store_.CreateKey(path) : store_.FindKey(path);
  if (!k) return false;
  current_ = k;
  currentPath_.clear();
  for (const auto& part : SplitRegPath(path)) currentPath_ += "\\" + part;
  return true;
}

bool TRegistry::KeyExists(const std::string& key) { return store_.FindKey(Resolve(key)) != nullptr; }

bool TRegistry::CreateKey(const std::string& key) { return store_.CreateKey(Resolve(key)) != nullptr; }

bool TRegistry::DeleteKey(const std::string& key) {
  std::string path = Resolve(key);
  if (current_ && SplitRegPath(path).size() <= SplitRegPath(currentPath_).size()) {
    // Deleting the open key (or one of its parents) closes it.
    CloseKey();
  }
  return store_.DeleteKey(path);
}

void TRegistry::CloseKey() {
  current_ = nullptr;
  currentPath_.clear();
  if (store_.Modified && !store_.BackingFile.empty()) store_.Flush();
}

bool TRegistry::ValueExists(const std::string& name) const {
  return current_ && current_->Values.count(name) != 0;
}

bool TRegistry::DeleteValue(const std::string& name) {
  if (!current_ || current_->Values.erase(name) == 0) return false;
  store_.Modified = true;
  return true;
}

std::vector<std::string> TRegistry::GetValueNames() const {
  std::vector<std::string> names;
  if (current_)
    for (const auto& [name, value] : current_->Values) names.push_back(name);
  return names;
}

std::vector<std::string> TRegistry::GetKeyNames() const {
  std::vector<std::string> names;
  if (current_)
    for (const auto& [name, key] : current_->SubKeys) names.push_back(key->Name);
  return names;
}

const TRegValue* TRegistry::GetValue(const std::string& name) const {
  if (!current_) return nullptr;
  auto it = current_->Values.find(name);
  return it == current_->Values.end() ? nullptr : &it->second;
}

namespace {
TRegStatus Lookup(const TRegistry& reg, const std::string& name, TRegDataType type, const TRegValue*& v) {
  if (!reg.HasCurrentKey()) return TRegStatus::NoKey;
  v = reg.GetValue(name);
  if (!v) return TRegStatus::Missing;
  if (v->Type != type) return TRegStatus::WrongType;
  return TRegStatus::Ok;
}
}  // namespace

TRegStatus TRegistry::ReadInteger(const std::string& name, int32_t& out) const {
  const TRegValue* v = nullptr;
  TRegStatus s = Lookup(*this, name, TRegDataType::Integer, v);
  if (s == TRegStatus::Ok) out = v->Int;
  return s;
}

TRegStatus TRegistry::ReadBool(const std::string& name, bool& out) const {
  int32_t i = 0;
  TRegStatus s = ReadInteger(name, i);
  if (s == TRegStatus::Ok) out = i != 0;
  return s;
}

TRegStatus TRegistry::ReadString(const std::string& name, std::string& out) const {
  const TRegValue* v = nullptr;
  TRegStatus s = Lookup(*this, name, TRegDataType::String, v);
  if (s == TRegStatus::Ok) out = v->Str;
  return s;
}

TRegStatus TRegistry::ReadBinary(const std::string& name, std::vector<uint8_t>& out) const {
  const TRegValue* v = nullptr;
  TRegStatus s = Lookup(*this, name, TRegDataType::Binary, v);
  if (s == TRegStatus::Ok) out = v->Bin;
  return s;
}

TRegStatus TRegistry::ReadFloat(const std::string& name, double& out) const {
  const TRegValue* v = nullptr;
  TRegStatus s = Lookup(*this, name, TRegDataType::Binary, v);
  if (s != TRegStatus::Ok) return s;
  if (v->Bin.size() != 8) return TRegStatus::WrongType;
  uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | v->Bin[i];
  std::memcpy(&out, &bits, 8);
  return TRegStatus::Ok;
}

namespace {
bool Put(TRegKey* key, TRegistryStore& store, const std::string& name, TRegValue value) {
  if (!key) return false;
  key->Values[name] = std::move(value);
  store.Modified = true;
  return true;
}
}  // namespace

bool TRegistry::WriteInteger(const std::string& name, int32_t value) {
  TRegValue v;
  v.Type = TRegDataType::Integer;
  v.Int = value;
  return Put(current_, store_, name, std::move(v));
}

bool TRegistry::WriteBool(const std::string& name, bool value) { return WriteInteger(name, value ? 1 : 0); }

bool TRegistry::WriteString(const std::string& name, const std::string& value) {
  TRegValue v;
  v.Type = TRegDataType::String;
  v.Str = value;
  return Put(current_, store_, name, std::move(v));
}

bool TRegistry::WriteBinary(const std::string& name, const std::vector<uint8_t>& value) {
  TRegValue v;
  v.Type = TRegDataType::Binary;
  v.Bin = value;
  return Put(current_, store_, name, std::move(v));
}

bool TRegistry::WriteFloat(const std::string& name, double value) {
  uint64_t bits = 0;
  std::memcpy(&bits, &value, 8);
  std::vector<uint8_t> bytes(8);
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
  return WriteBinary(name, bytes);
}
