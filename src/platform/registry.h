// The settings store: a tree of keys with named, typed values, laid out like
// the per-user branch of a Windows registry. Key paths use "\" separators and
// compare case-insensitively. A process holds one store (TRegistryStore::
// Instance); the accessor TRegistry works on it the way the program's settings
// code expects: open a key, test and read or write values, close.
//
// Reading a value of the wrong type never throws: it reports TRegStatus::
// WrongType and leaves the output untouched.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

enum class TRegDataType { Integer, String, Binary };

struct TRegValue {
  TRegDataType Type = TRegDataType::Integer;
  int32_t Int = 0;
  std::string Str;
  std::vector<uint8_t> Bin;
};

enum class TRegStatus { Ok, Missing, WrongType, NoKey };

// Case-insensitive comparison for key and value names.
struct TRegNameLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

struct TRegKey {
  std::string Name;  // as first created
  std::map<std::string, TRegValue, TRegNameLess> Values;
  std::map<std::string, std::unique_ptr<TRegKey>, TRegNameLess> SubKeys;
};

class TRegistryStore {
 public:
  static TRegistryStore& Instance();

  // Path: "\A\B\C" or "A\B\C" from the root (HKEY_CURRENT_USER). Empty parts
  // are ignored.
  TRegKey* FindKey(const std::string& path);
  TRegKey* CreateKey(const std::string& path);
  bool DeleteKey(const std::string& path);
  void Clear();

  // Set whenever the tree changes; the persistent backend clears it on save.
  bool Modified = false;

  // Persistence. With a backing file set, Flush writes the tree to it if it
  // was modified (see registry_file.cpp). Without one the store lives in
  // memory only (headless backend, tests).
  std::string BackingFile;
  bool Flush(std::string* error = nullptr);

  // Replaces the tree by the contents of a registry file. A missing file
  // gives an empty store and no error. A file that cannot be read or is
  // damaged also leaves the store empty (so the built-in defaults apply);
  // then the result is false and error describes the problem. Never throws.
  bool LoadFromFile(const std::string& path, std::string* error = nullptr);

  TRegKey& Root() { return root_; }

 private:
  TRegKey root_;
};

// The text of a registry file: the first line identifies the format, each
// key follows under its "[\Path]" header, values as "Name"=dword:0000002A,
// "Name"="text" (with "\\", "\"" and \xHH escapes) or "Name"=hex:01,02;
// a closing line marks the complete file.
std::string RegistryToText(const TRegKey& root);
// Parses such a text into root (cleared first). On a damaged text root is left
// empty, error says what and where, and the result is false.
bool RegistryFromText(const std::string& text, TRegKey& root, std::string* error = nullptr);

// The folder of the persistent settings: $KORVEX_CONFIG_DIR, else
// $XDG_CONFIG_HOME/korvex6, else ~/.config/korvex6 (no trailing "/").
std::string RegistryConfigDir();
// The settings file in that folder: RegistryConfigDir() + "/registry.reg".
std::string RegistryFilePath();

// Opens the program's persistent store: creates the settings folder when
// missing, sets BackingFile to its "registry.reg" and loads it. A file that
// cannot be read or is damaged is never written over: it is renamed to
// "registry.reg.damaged" (".damaged.2", ... when taken) before the defaults
// are used, or, when it cannot be moved, BackingFile is left empty so that
// nothing is saved. Returns the text of any problem for the program to
// report once (saying where the file was kept), empty when fine.
std::string OpenPersistentRegistry(TRegistryStore& store = TRegistryStore::Instance());

// Splits "\A\B" into its non-empty parts.
std::vector<std::string> SplitRegPath(const std::string& path);

// The accessor. Root is always HKEY_CURRENT_USER.
class TRegistry {
 public:
  explicit TRegistry(TRegistryStore& store = TRegistryStore::Instance());
  ~TRegistry();  // closes the key (and flushes a modified store)
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  // A key starting with "\" is absolute; otherwise it is relative to the
  // open key. Returns false when the key is missing and canCreate is false.
  bool OpenKey(const std::string& key, bool canCreate);
  bool KeyExists(const std::string& key);
  bool CreateKey(const std::string& key);
  bool DeleteKey(const std::string& key);
  void CloseKey();
  const std::string& CurrentPath() const { return currentPath_; }
  bool HasCurrentKey() const { return current_ != nullptr; }

  bool ValueExists(const std::string& name) const;
  bool DeleteValue(const std::string& name);
  std::vector<std::string> GetValueNames() const;
  std::vector<std::string> GetKeyNames() const;
  const TRegValue* GetValue(const std::string& name) const;

  TRegStatus ReadInteger(const std::string& name, int32_t& out) const;
  TRegStatus ReadBool(const std::string& name, bool& out) const;  // non-zero is true
  TRegStatus ReadString(const std::string& name, std::string& out) const;
  TRegStatus ReadBinary(const std::string& name, std::vector<uint8_t>& out) const;
  TRegStatus ReadFloat(const std::string& name, double& out) const;  // 8-byte binary

  bool WriteInteger(const std::string& name, int32_t value);
  bool WriteBool(const std::string& name, bool value);  // integer 0 or 1
  bool WriteString(const std::string& name, const std::string& value);
  bool WriteBinary(const std::string& name, const std::vector<uint8_t>& value);
  bool WriteFloat(const std::string& name, double value);  // 8 bytes, little-endian

 private:
  TRegistryStore& store_;
  TRegKey* current_ = nullptr;
  std::string currentPath_;
  std::string Resolve(const std::string& key) const;
};
