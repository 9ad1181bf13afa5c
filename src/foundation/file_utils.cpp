#include "foundation/file_utils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "platform/file_ops.h"
#include "platform/paths.h"

int InOutRes = 0;
uint32_t TempFileCounter = 0;
std::mutex TempFileLock;

namespace {

// The one search of FindFirstName / FindNextName.
TDirSearch NameSearch;

// strerror_r comes in two flavours; both are handled.
[[maybe_unused]] std::string ErrorBuffer(int result, const char* buf, int code) {
  if (result == 0) return buf;
  return "Unknown error " + std::to_string(code);
}
[[maybe_unused]] std::string ErrorBuffer(const char* result, const char*, int) { return result; }

bool HasWildcards(const std::string& name) { return name.find_first_of("*?") != std::string::npos; }

std::string WithSeparator(const std::string& dir) {
  char last = dir.back();
  return (last == '\\' || last == '/') ? dir : dir + PathDelim;
}

}  // namespace

int IOResult() {
  int result = InOutRes;
  InOutRes = 0;
  return result;
}

std::string SystemErrorText(int code) {
  char buf[256] = {0};
  return ErrorBuffer(strerror_r(code, buf, sizeof buf), buf, code);
}

bool FileExistsNoWild(const std::string& name) {
  InOutRes = 0;
  if (name.empty() || HasWildcards(name)) return false;
  struct stat st;
  return ::stat(NativePath(name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void DeleteFileIfExists(const std::string& name) {
  if (FileExistsNoWild(name)) ::unlink(NativePath(name).c_str());
  InOutRes = 0;
}

bool DirectoryIsWritable(const std::string& dir) {
  InOutRes = 0;
  if (dir.empty()) return false;
  std::string name;
  const int fd = CreateScratchFile(WithSeparator(dir), name);
  if (fd < 0) {
    InOutRes = 0;
    return false;
  }
  bool ok = ::close(fd) == 0;
  ok = (::unlink(NativePath(name).c_str()) == 0) && ok;
  InOutRes = 0;
  return ok;
}

int CreateScratchFile(const std::string& folder, std::string& name) {
  InOutRes = 0;
  name.clear();
  // The folder is looked up once; every name tried is its own file in it.
  std::string native = NativePath(folder);
  if (!native.empty() && native.back() != '/') native += '/';
  // Leftovers of earlier runs and anything else at a name are not ours:
  // the next name is tried until one is free or the whole range of the
  // running number has been tried.
  for (uint32_t attempt = 0; attempt <= 0x00FFFFFFu; ++attempt) {
    const std::string leaf = MakeTempFileName();
    name = folder + leaf;
    const int fd = ::open((native + leaf).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) return fd;
    if (errno == EINTR) continue;
    if (errno != EEXIST) {
      InOutRes = errno != 0 ? errno : EIO;
      return -1;
    }
  }
  InOutRes = EEXIST;
  return -1;
}

std::string ReserveScratchFile(const std::string& folder, std::string* tried) {
  std::string name;
  const int fd = CreateScratchFile(folder, name);
  if (tried != nullptr) *tried = name;
  if (fd < 0) return std::string();
  if (::close(fd) != 0) {
    InOutRes = errno != 0 ? errno : EIO;
    ::unlink(NativePath(name).c_str());
    return std::string();
  }
  return name;
}

bool DirectoryExists(const std::string& dir) {
  InOutRes = 0;
  if (dir.empty()) return false;
  struct stat st;
  return ::stat(NativePath(WithSeparator(dir)).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string FindFirstName(const std::string& mask, uint8_t* attr) {
  InOutRes = 0;
  TSearchRec rec;
  if (!NameSearch.FindFirst(mask, faArchive, rec)) return std::string();
  if (attr) *attr = rec.Attr;
  return rec.Name;
}

std::string FindNextName(uint8_t* attr) {
  InOutRes = 0;
  TSearchRec rec;
  if (!NameSearch.FindNext(rec)) return std::string();
  if (attr) *attr = rec.Attr;
  return rec.Name;
}

void DeleteMatchingFiles(const std::string& dir, const std::string& mask) {
  InOutRes = 0;
  std::string folder = dir;
  if (!folder.empty() && folder.back() != '\\' && folder.back() != '/' && folder.back() != ':') folder += PathDelim;
  TDirSearch search;
  TSearchRec rec;
  for (bool more = search.FindFirst(folder + mask, faArchive, rec); more; more = search.FindNext(rec)) {
    if (::unlink(NativePath(folder + rec.Name).c_str()) != 0) break;
  }
  search.FindClose();
}

int64_t FileSizeOf(const std::string& name) {
  InOutRes = 0;
  if (name.empty()) return -1;
  int fd = ::open(NativePath(name).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st;
  int64_t size = (::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode)) ? static_cast<int64_t>(st.st_size) : -1;
  ::close(fd);
  return size;
}

int64_t GetFileSize(const std::string& name) { return FileSizeOf(name); }

void SeedTempFileCounter(uint32_t seed) {
  std::lock_guard<std::mutex> guard(TempFileLock);
  TempFileCounter = ((seed << 24) & 0x7F000000u) + 1;
}

std::string MakeTempFileName() {
  uint32_t counter;
  {
    std::lock_guard<std::mutex> guard(TempFileLock);
    TempFileCounter = (TempFileCounter & 0x7F000000u) | ((TempFileCounter + 1) & 0x00FFFFFFu);
    counter = TempFileCounter;
  }
  std::string digits = "00000000" + std::to_string(counter);
  return digits.substr(digits.size() - 8) + ".TMP";
}

void InitUtilities() {
  {
    std::lock_guard<std::mutex> guard(TempFileLock);
    TempFileCounter = 0;
  }
  InOutRes = 0;
  NameSearch.FindClose();
}

void DoneUtilities() {
  NameSearch.FindClose();
  InOutRes = 0;
}

bool WriteFileReplacing(const std::string& fileName, const std::vector<uint8_t>& bytes) {
  const int error = ReplaceFileContents(NativeSavePath(fileName), bytes.data(), bytes.size());
  if (error != 0) InOutRes = error;
  return error == 0;
}

// A CR ends a line as an LF does (files from older systems end their lines
// with CR alone); the LF of a CR LF pair, also one written as CR CR LF by a
// twice-converted transfer, belongs to the same line end.
namespace {
void SkipLineFeedAfterReturn(std::FILE* file) {
  int next = std::fgetc(file);
  while (next == '\r') next = std::fgetc(file);
  if (next != '\n' && next != EOF) std::ungetc(next, file);
}
}  // namespace

bool ReadTextLine(std::FILE* file, std::string& line) {
  line.clear();
  int c = std::fgetc(file);
  if (c == EOF) {
    if (std::ferror(file)) InOutRes = errno != 0 ? errno : EIO;
    return false;
  }
  while (c != EOF && c != '\n' && c != '\r') {
    line.push_back(static_cast<char>(c));
    c = std::fgetc(file);
  }
  if (c == '\r') SkipLineFeedAfterReturn(file);
  if (c == EOF && std::ferror(file)) InOutRes = errno != 0 ? errno : EIO;
  return true;
}

TLineRead ReadTextLineLimited(std::FILE* file, std::string& line, std::size_t limit) {
  // The file is this reader's alone: no lock taken for every character.
  line.clear();
  int c = getc_unlocked(file);
  if (c == EOF) {
    if (std::ferror(file)) InOutRes = errno != 0 ? errno : EIO;
    return lrEnd;
  }
  // The characters go to the line a chunk at a time: appending each one
  // costs more than reading it.
  char chunk[256];
  std::size_t n = 0;
  while (c != EOF && c != '\n' && c != '\r') {
    if (line.size() + n >= limit) {
      line.append(chunk, n);
      return lrTooLong;
    }
    chunk[n++] = static_cast<char>(c);
    if (n == sizeof chunk) {
      line.append(chunk, n);
      n = 0;
    }
    c = getc_unlocked(file);
  }
  line.append(chunk, n);
  if (c == '\r') SkipLineFeedAfterReturn(file);
  if (c == EOF && std::ferror(file)) InOutRes = errno != 0 ? errno : EIO;
  return lrLine;
}
