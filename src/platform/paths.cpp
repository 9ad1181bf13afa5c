#include "platform/paths.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  return true;
}

bool LessNoCaseThenExact(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char ca = UpperAscii(a[i]), cb = UpperAscii(b[i]);
    if (ca != cb) return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb);
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// The entry of folder whose name equals name ignoring case; of several, the
// first in name order, so the choice does not depend on the directory order.
std::string FindNoCase(const std::string& folder, const std::string& name) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return std::string();
  std::string best;
  while (dirent* e = ::readdir(dir)) {
    std::string entry = e->d_name;
    if (entry == "." || entry == "..") continue;
    if (EqualNoCase(entry, name) && (best.empty() || entry < best)) best = entry;
  }
  ::closedir(dir);
  return best;
}

bool MatchFrom(const char* n, const char* m) {
  // Iterative wildcard match; backtracks only to the last "*".
  const char* starM = nullptr;
  const char* starN = nullptr;
  while (*n) {
    if (*m == '*') {
      starM = m++;
      starN = n;
    } else if (*m == '?' || (*m && UpperAscii(*m) == UpperAscii(*n))) {
      ++m;
      ++n;
    } else if (starM) {
      m = starM + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (*m == '*') ++m;
  return *m == 0;
}

}  // namespace

std::string ExecutionPath() {
  std::string home;
  if (const char* k = std::getenv("KORVEX_HOME"); k && *k) {
    home = k;
  } else {
    if (const char* h = std::getenv("HOME"); h && *h) {
      home = h;
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) {
      home = pw->pw_dir;
    } else {
      home = "/tmp";
    }
    if (home.back() != '/') home += '/';
    home += "KORVEX6";
  }
  if (home.back() != '/') home += '/';
  return home;
}

std::string NativePath(const std::string& path) {
  if (path.empty()) return path;
  std::size_t from = 0;
  if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') from = 2;
  if (from == path.size()) return ".";
  const auto separator = [](char c) { return c == '/' || c == '\\'; };
  const bool absolute = separator(path[from]);
  const bool trailing = separator(path.back());

  // The components joined by single "/" (after the root's), and where the
  // last one starts: made in one pass, as the program asks for the same few
  // names many times an operation.
  std::string whole = absolute ? "/" : "";
  whole.reserve(path.size() + 1 - from);
  std::size_t count = 0, lastStart = 0;
  bool inPart = false;
  for (std::size_t i = from; i < path.size(); ++i) {
    if (separator(path[i])) {
      inPart = false;
      continue;
    }
    if (!inPart) {
      if (count > 0) whole += '/';
      lastStart = whole.size();
      ++count;
      inPart = true;
    }
    whole += path[i];
  }
  const auto finished = [&](std::string text) {
    if (text.empty()) return std::string(absolute ? "/" : ".");
    if (trailing && text.back() != '/') text += '/';
    return text;
  };

  // A path that exists as written, or whose folder does, takes one or two
  // looks instead of one per component. Both give what the walk below
  // gives: every component of an existing path exists as written.
  if (count > 0) {
    if (Exists(whole)) return finished(std::move(whole));
    if (count >= 2) {
      const std::string folder = whole.substr(0, lastStart - 1);
      if (Exists(folder)) {
        const std::string last = whole.substr(lastStart);
        std::string match;
        if (last != "." && last != "..") match = FindNoCase(folder, last);
        if (match.empty()) return finished(std::move(whole));
        return finished(folder + '/' + match);
      }
    }
  }

  std::vector<std::string> parts;
  parts.reserve(count);
  for (std::size_t at = absolute ? 1 : 0; at < whole.size();) {
    std::size_t slash = whole.find('/', at);
    if (slash == std::string::npos) slash = whole.size();
    parts.push_back(whole.substr(at, slash - at));
    at = slash + 1;
  }
  std::string result = absolute ? "/" : "";
  bool resolving = true;  // false once a component is missing altogether
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string& comp = parts[i];
    std::string candidate = result + comp;
    if (resolving && comp != "." && comp != ".." && !Exists(candidate)) {
      std::string match = FindNoCase(result.empty() ? "." : result, comp);
      if (!match.empty())
        candidate = result + match;
      else
        resolving = false;
    }
    result = candidate;
    if (i + 1 < parts.size()) result += '/';
  }
  if (result.empty()) return absolute ? "/" : ".";
  if (trailing && result.back() != '/') result += '/';
  return result;
}

namespace {
// Where the last component of a Windows-style or POSIX name starts: after
// the last separator, or after a leading drive "X:".
size_t LastComponentStart(const std::string& name) {
  const size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) return slash + 1;
  if (name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':') return 2;
  return 0;
}

// True for a last component that names a file: not empty, "." or "..".
bool NamesFile(const std::string& component) {
  return !component.empty() && component != "." && component != "..";
}
}  // namespace

std::string NativeSavePath(const std::string& path) {
  const size_t start = LastComponentStart(path);
  const std::string given = path.substr(start);
  // Only the folder is looked up: the file's own name is not matched, so
  // its folder's entries need not be read for it.
  if (NamesFile(given) && start > 0 && (path[start - 1] == '/' || path[start - 1] == '\\'))
    return NativePath(path.substr(0, start)) + given;
  const std::string native = NativePath(path);
  if (!NamesFile(given)) return native;
  const size_t slash = native.find_last_of('/');
  return (slash == std::string::npos ? std::string() : native.substr(0, slash + 1)) + given;
}

std::string ExistingFileName(const std::string& name) {
  const size_t start = LastComponentStart(name);
  if (!NamesFile(name.substr(start))) return name;
  const std::string native = NativePath(name);
  struct stat st;
  if (::stat(native.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return name;
  return name.substr(0, start) + native.substr(native.find_last_of('/') + 1);
}

bool MatchesMask(const std::string& name, const std::string& mask) {
  if (MatchFrom(name.c_str(), mask.c_str())) return true;
  // "NAME.*" also matches "NAME" with no extension at all.
  if (mask.size() >= 2 && mask.compare(mask.size() - 2, 2, ".*") == 0 &&
      name.find('.') == std::string::npos)
    return MatchFrom(name.c_str(), mask.substr(0, mask.size() - 2).c_str());
  return false;
}

bool TDirSearch::FindFirst(const std::string& pathMask, uint8_t attr, TSearchRec& rec) {
  found_.clear();
  next_ = 0;
  size_t sep = pathMask.find_last_of("\\/");
  std::string folder, mask;
  if (sep != std::string::npos) {
    folder = NativePath(pathMask.substr(0, sep + 1));
    mask = pathMask.substr(sep + 1);
  } else if (pathMask.size() >= 2 && pathMask[1] == ':' &&
             std::isalpha(static_cast<unsigned char>(pathMask[0]))) {
    folder = ".";
    mask = pathMask.substr(2);
  } else {
    folder = ".";
    mask = pathMask;
  }
  if (mask.empty()) return false;
  if (folder.back() != '/') folder += '/';

  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return false;
  while (dirent* e = ::readdir(dir)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (!MatchesMask(name, mask)) continue;
    struct stat st;
    if (::stat((folder + name).c_str(), &st) != 0) continue;  // dangling link
    TSearchRec r;
    r.Name = name;
    if (S_ISDIR(st.st_mode)) {
      if (!(attr & faDirectory)) continue;
      r.Attr = faDirectory;
    } else if (S_ISREG(st.st_mode)) {
      r.Attr = faArchive;
      r.Size = st.st_size;
    } else {
      continue;  // devices, pipes and sockets are not files to the program
    }
    if (name[0] == '.') {
      if (!(attr & faHidden)) continue;
      r.Attr |= faHidden;
    }
    if ((st.st_mode & 0222) == 0) r.Attr |= faReadOnly;
    found_.push_back(std::move(r));
  }
  ::closedir(dir);
  std::sort(found_.begin(), found_.end(),
            [](const TSearchRec& a, const TSearchRec& b) { return LessNoCaseThenExact(a.Name, b.Name); });
  return FindNext(rec);
}

bool TDirSearch::FindNext(TSearchRec& rec) {
  if (next_ >= found_.size()) {
    FindClose();
    return false;
  }
  rec = found_[next_++];
  return true;
}

void TDirSearch::FindClose() {
  found_.clear();
  found_.shrink_to_fit();
  next_ = 0;
}

const char* const WorkingDirectoryNames[11] = {"SCRATCH", "DNC",      "CAD",      "ROUT",
                                               "DRILL",   "INDATA",   "DATABASE", "TOOLDATA",
                                               "M48TABLE", "PLOT",    "SWAP"};

bool EnsureWorkingDirectories(std::string* error) {
  namespace fs = std::filesystem;
  std::string home = ExecutionPath();
  std::string problems;
  std::error_code ec;
  fs::create_directories(home, ec);
  if (ec) problems = "Cannot create the folder " + home + ": " + ec.message();
  for (const char* name : WorkingDirectoryNames) {
    std::string folder = NativePath(home + name);
    ec.clear();
    if (fs::is_directory(folder, ec)) continue;
    ec.clear();
    fs::create_directory(folder, ec);
    if (ec) {
      if (!problems.empty()) problems += "\n";
      problems += "Cannot create the folder " + folder + ": " + ec.message();
    }
  }
  if (error) *error = problems;
  return problems.empty();
}
