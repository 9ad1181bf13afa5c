// The settings store on disk: a human-readable text file in the style of a
// registry export.
//
//   KORVEX 6 Registry Version 1
//
//   [\Software\Orbenwright\KORVEX\6.0\System]
//   "Metric"=dword:00000001
//   "LastJob"="C:\\JOBS\\PANEL.ZUL"
//   "Scale"=hex:00,00,00,00,00,00,f0,3f
//
//   ; End of KORVEX 6 registry
//
// A key is written under its own header when it holds values or has no
// subkeys, so empty keys come back too. In key headers "%", "[" and "]" and bytes outside
// printable ASCII are written as %HH. In quoted names and texts "\" and '"'
// are written as \\ and \", bytes outside printable ASCII as \xHH. Long binary
// values continue on the next line after a trailing "\". The closing line
// tells a complete file from one cut short.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <type_traits>

#include "platform/file_ops.h"
#include "platform/registry.h"

namespace {

const char* const kFirstLine = "KORVEX 6 Registry Version 1";
const char* const kLastLine = "; End of KORVEX 6 registry";
const char* const kHexDigits = "0123456789abcdef";
constexpr size_t kHexBytesPerLine = 24;
// The largest settings file read.
constexpr off_t kMaxRegistryFileBytes = off_t{16} << 20;

std::string ErrnoText(int code) {
  char buf[256] = {0};
  // The GNU and the XSI strerror_r differ in their result; the buffer or the
  // returned pointer holds the text.
  auto r = strerror_r(code, buf, sizeof buf);
  if constexpr (std::is_same_v<decltype(r), char*>) {
    return r;
  } else {
    return r == 0 ? std::string(buf) : "error " + std::to_string(code);
  }
}

bool Printable(unsigned char c) { return c >= 0x20 && c <= 0x7E; }

void AppendHexByte(std::string& out, unsigned char c) {
  out += kHexDigits[c >> 4];
  out += kHexDigits[c & 15];
}

std::string QuoteText(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (Printable(c)) {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      AppendHexByte(out, c);
    }
  }
  return out + "\"";
}

std::string EscapeKeyPart(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (Printable(c) && c != '%' && c != '[' && c != ']') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      AppendHexByte(out, c);
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void WriteKey(const TRegKey& key, const std::string& path, std::string& out) {
  // A key that holds only subkeys comes back through their headers.
  if (!key.Values.empty() || key.SubKeys.empty())
    out += "\n[" + (path.empty() ? std::string("\\") : path) + "]\n";
  for (const auto& [name, value] : key.Values) {
    out += QuoteText(name) + "=";
    switch (value.Type) {
      case TRegDataType::Integer: {
        uint32_t u = static_cast<uint32_t>(value.Int);
        out += "dword:";
        for (int shift = 28; shift >= 0; shift -= 4) out += kHexDigits[(u >> shift) & 15];
        break;
      }
      case TRegDataType::String:
        out += QuoteText(value.Str);
        break;
      case TRegDataType::Binary:
        out += "hex:";
        for (size_t i = 0; i < value.Bin.size(); ++i) {
          if (i > 0) {
            out += ',';
            if (i % kHexBytesPerLine == 0) out += "\\\n  ";
          }
          AppendHexByte(out, value.Bin[i]);
        }
        break;
    }
    out += '\n';
  }
  for (const auto& [name, sub] : key.SubKeys) WriteKey(*sub, path + "\\" + EscapeKeyPart(sub->Name), out);
}

// Reads a quoted text starting at s[pos] == '"'; pos ends after the closing
// quote.
bool ParseQuoted(const std::string& s, size_t& pos, std::string& out, std::string& why) {
  if (pos >= s.size() || s[pos] != '"') {
    why = "a quoted text was expected";
    return false;
  }
  ++pos;
  out.clear();
  while (pos < s.size()) {
    char c = s[pos++];
    if (c == '"') return true;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (pos >= s.size()) break;
    char e = s[pos++];
    if (e == '\\' || e == '"') {
      out += e;
    } else if (e == 'x' && pos + 1 < s.size() && HexValue(s[pos]) >= 0 && HexValue(s[pos + 1]) >= 0) {
      out += static_cast<char>(HexValue(s[pos]) * 16 + HexValue(s[pos + 1]));
      pos += 2;
    } else {
      why = "unknown escape in a quoted text";
      return false;
    }
  }
  why = "a quoted text is not closed";
  return false;
}

bool ParseKeyPath(const std::string& inner, std::string& path, std::string& why) {
  path.clear();
  for (size_t i = 0; i < inner.size(); ++i) {
    char c = inner[i];
    if (c != '%') {
      path += c;
      continue;
    }
    if (i + 2 >= inner.size() || HexValue(inner[i + 1]) < 0 || HexValue(inner[i + 2]) < 0) {
      why = "bad %-escape in a key name";
      return false;
    }
    path += static_cast<char>(HexValue(inner[i + 1]) * 16 + HexValue(inner[i + 2]));
    i += 2;
  }
  return true;
}

// Key parts are split before the %-escapes are decoded, so an escaped "\"
// would stay inside its part; the writer never produces one (key names cannot
// hold "\"), but a decoded part is checked anyway.
TRegKey* CreateKeyIn(TRegKey& root, const std::string& escapedPath, std::string& why) {
  TRegKey* key = &root;
  for (const auto& escaped : SplitRegPath(escapedPath)) {
    std::string part;
    if (!ParseKeyPath(escaped, part, why)) return nullptr;
    if (part.empty() || part.find('\\') != std::string::npos) {
      why = "bad key name";
      return nullptr;
    }
    auto it = key->SubKeys.find(part);
    if (it == key->SubKeys.end()) {
      auto sub = std::make_unique<TRegKey>();
      sub->Name = part;
      it = key->SubKeys.emplace(part, std::move(sub)).first;
    }
    key = it->second.get();
  }
  return key;
}

bool ParseHexBytes(const std::string& s, std::vector<uint8_t>& out, bool& continued, std::string& why) {
  continued = false;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i >= s.size()) break;
    if (s[i] == '\\' && i + 1 == s.size()) {
      continued = true;
      return true;
    }
    if (i + 1 >= s.size() || HexValue(s[i]) < 0 || HexValue(s[i + 1]) < 0) {
      why = "bad hex byte";
      return false;
    }
    out.push_back(static_cast<uint8_t>(HexValue(s[i]) * 16 + HexValue(s[i + 1])));
    i += 2;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i < s.size()) {
      if (s[i] != ',') {
        why = "hex bytes must be separated by commas";
        return false;
      }
      ++i;
      // After a comma another byte or the continuation mark must follow.
      size_t j = i;
      while (j < s.size() && (s[j] == ' ' || s[j] == '\t')) ++j;
      if (j >= s.size()) {
        why = "a hex byte list ends with a comma";
        return false;
      }
    }
  }
  return true;
}

bool ParseDword(const std::string& s, int32_t& out) {
  if (s.empty() || s.size() > 8) return false;
  uint32_t u = 0;
  for (char c : s) {
    int v = HexValue(c);
    if (v < 0) return false;
    u = (u << 4) | static_cast<uint32_t>(v);
  }
  out = static_cast<int32_t>(u);
  return true;
}

std::string HomeFolder() {
  if (const char* h = std::getenv("HOME"); h && *h) return h;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/tmp";
}

// Writes text to a temporary file beside path, flushes it to the disk and
// renames it over path, so that path always holds either the old or the new
// contents.
bool WriteFileAtomically(const std::string& givenPath, const std::string& text, std::string* error) {
  auto fail = [&](const std::string& what, int code) {
    if (error) *error = "Cannot " + what + " the settings file " + givenPath + ": " + ErrnoText(code);
    return false;
  };
  // A settings file that is a link to elsewhere is replaced where it lives,
  // and keeps its permissions.
  TReplacingFile file(givenPath);
  if (file.Write(text.data(), text.size()) != 0 || file.Close() != 0)
    return fail("write", file.Error());
  if (const int code = file.Commit()) return fail("replace", code);
  return true;
}

}  // namespace

std::string RegistryToText(const TRegKey& root) {
  std::string out = std::string(kFirstLine) + "\n";
  WriteKey(root, "", out);
  out += "\n" + std::string(kLastLine) + "\n";
  return out;
}

bool RegistryFromText(const std::string& text, TRegKey& root, std::string* error) {
  root.Values.clear();
  root.SubKeys.clear();
  int lineNo = 0;
  std::string why;
  auto fail = [&]() {
    root.Values.clear();
    root.SubKeys.clear();
    if (error) *error = lineNo > 0 ? "line " + std::to_string(lineNo) + ": " + why : why;
    return false;
  };

  TRegKey* key = nullptr;
  bool sawFirst = false, sawLast = false;
  // A binary value being continued on the next line.
  TRegValue* pendingHex = nullptr;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    if (line.find('\0') != std::string::npos) {
      why = "the file holds binary data";
      return fail();
    }

    if (!sawFirst) {
      if (line != kFirstLine) {
        why = "this is not a KORVEX 6 registry file";
        return fail();
      }
      sawFirst = true;
      continue;
    }
    if (pendingHex) {
      bool continued = false;
      if (!ParseHexBytes(line, pendingHex->Bin, continued, why)) return fail();
      if (!continued) pendingHex = nullptr;
      continue;
    }
    if (sawLast) {
      if (!line.empty()) {
        why = "text after the end of the registry";
        return fail();
      }
      continue;
    }
    if (line.empty()) continue;
    if (line == kLastLine) {
      sawLast = true;
      continue;
    }
    if (line[0] == ';') continue;

    if (line[0] == '[') {
      if (line.back() != ']') {
        why = "a key header must end with \"]\"";
        return fail();
      }
      key = CreateKeyIn(root, line.substr(1, line.size() - 2), why);
      if (!key) return fail();
      continue;
    }

    if (line[0] != '"') {
      why = "unexpected text";
      return fail();
    }
    if (!key) {
      why = "a value comes before any key";
      return fail();
    }
    size_t p = 0;
    std::string name;
    if (!ParseQuoted(line, p, name, why)) return fail();
    if (p >= line.size() || line[p] != '=') {
      why = "\"=\" expected after the value name";
      return fail();
    }
    ++p;
    std::string rest = line.substr(p);
    TRegValue value;
    if (rest.compare(0, 6, "dword:") == 0) {
      value.Type = TRegDataType::Integer;
      if (!ParseDword(rest.substr(6), value.Int)) {
        why = "bad dword value";
        return fail();
      }
    } else if (rest.compare(0, 4, "hex:") == 0) {
      value.Type = TRegDataType::Binary;
      bool continued = false;
      if (!ParseHexBytes(rest.substr(4), value.Bin, continued, why)) return fail();
      TRegValue& stored = key->Values[name] = std::move(value);
      if (continued) pendingHex = &stored;
      continue;
    } else if (!rest.empty() && rest[0] == '"') {
      value.Type = TRegDataType::String;
      size_t q = 0;
      if (!ParseQuoted(rest, q, value.Str, why)) return fail();
      if (q != rest.size()) {
        why = "text after a quoted value";
        return fail();
      }
    } else {
      why = "unknown value type";
      return fail();
    }
    key->Values[name] = std::move(value);
  }
  if (!sawFirst) {
    lineNo = 0;
    why = "the file is empty";
    return fail();
  }
  if (pendingHex || !sawLast) {
    why = "the file is incomplete (cut short)";
    lineNo = 0;
    return fail();
  }
  return true;
}

bool TRegistryStore::Flush(std::string* error) {
  if (BackingFile.empty() || !Modified) return true;
  if (!WriteFileAtomically(BackingFile, RegistryToText(root_), error)) return false;
  Modified = false;
  return true;
}

bool TRegistryStore::LoadFromFile(const std::string& path, std::string* error) {
  Clear();
  if (error) error->clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return true;  // first start: nothing saved yet
    if (error)
      *error = "Cannot read the settings file " + path + ": " + ErrnoText(errno) +
               "; the default settings are used.";
    return false;
  }
  // A settings file is a few hundred kilobytes at most; one far beyond that
  // is no settings file, and is not read.
  const auto tooLarge = [&] {
    ::close(fd);
    if (error)
      *error = "The settings file " + path + " is damaged (it is larger than " +
               std::to_string(kMaxRegistryFileBytes >> 20) + " MB); the default settings are used.";
    return false;
  };
  struct stat info {};
  if (::fstat(fd, &info) == 0 && info.st_size > kMaxRegistryFileBytes) return tooLarge();
  std::string text;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int code = errno;
      ::close(fd);
      if (error)
        *error = "Cannot read the settings file " + path + ": " + ErrnoText(code) +
                 "; the default settings are used.";
      return false;
    }
    if (n == 0) break;
    if (text.size() + static_cast<size_t>(n) > static_cast<size_t>(kMaxRegistryFileBytes)) return tooLarge();
    text.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);

  TRegKey loaded;
  std::string why;
  if (!RegistryFromText(text, loaded, &why)) {
    if (error)
      *error = "The settings file " + path + " is damaged (" + why + "); the default settings are used.";
    return false;
  }
  root_.Values = std::move(loaded.Values);
  root_.SubKeys = std::move(loaded.SubKeys);
  Modified = false;
  return true;
}

std::string RegistryConfigDir() {
  std::string dir;
  if (const char* c = std::getenv("KORVEX_CONFIG_DIR"); c && *c) {
    dir = c;
  } else if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && x[0] == '/') {
    dir = std::string(x) + "/korvex6";
  } else {
    dir = HomeFolder() + "/.config/korvex6";
  }
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

std::string RegistryFilePath() { return RegistryConfigDir() + "/registry.reg"; }

std::string OpenPersistentRegistry(TRegistryStore& store) {
  std::string dir = RegistryConfigDir();
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  store.BackingFile = RegistryFilePath();
  std::string error;
  if (!store.LoadFromFile(store.BackingFile, &error)) {
    // The file is not written over: it goes aside first, and where it
    // cannot, the settings of this run stay in memory.
    std::string kept;
    if (const int code = KeepFileAside(store.BackingFile, kept)) {
      error += " The file could not be kept aside (" + ErrnoText(code) +
               "), so the settings are not saved while it is there.";
      store.BackingFile.clear();
    } else {
      error += " The file was kept as " + kept + ".";
    }
  }
  if (ec && error.empty()) error = "Cannot create the settings folder " + dir + ": " + ec.message();
  return error;
}
