#include "platform/file_ops.h"

#include <fcntl.h>
#include <stdio.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <random>
#include <vector>

namespace {
TFileWrites* InstalledWrites = nullptr;

ssize_t WriteSome(int fd, const void* data, std::size_t size) {
  return InstalledWrites != nullptr ? InstalledWrites->Write(fd, data, size)
                                    : ::write(fd, data, size);
}

int RenameFile(const std::string& from, const std::string& to) {
  const int r = InstalledWrites != nullptr ? InstalledWrites->Rename(from.c_str(), to.c_str())
                                           : ::rename(from.c_str(), to.c_str());
  return r == 0 ? 0 : (errno != 0 ? errno : EIO);
}

// Follows the links at path to the name of the file they lead to, whether
// that file exists or not: a link is replaced where it points, so the link
// itself stays, and a link that points nowhere makes its file. The error
// number, or 0 (ELOOP for links that lead round in a circle).
int FollowLinks(const std::string& path, std::string& out) {
  std::string p = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      out = p;
      return 0;
    }
    std::error_code ec;
    std::filesystem::path next = std::filesystem::read_symlink(p, ec);
    if (ec) return ec.value();
    // A relative link is read from its own folder.
    if (next.is_relative()) next = std::filesystem::path(p).parent_path() / next;
    p = next.string();
  }
  return ELOOP;
}

// A temporary file's name: the target's, this mark and the six characters
// mkstemp puts in. The mark keeps them apart from the user's own files
// (a "JOB.ZUL.backup" is never taken for one).
constexpr const char* kTempMark = ".saving-";
// The mark of a file's previous version held beside its backup name while a
// save puts the new one in place. Never taken for a save's left-over: when
// the backup name cannot be had, the previous version may stay under it.
constexpr const char* kKeepMark = ".keeping-";
constexpr std::size_t kTempSuffixSize = 6;
bool IsTempSuffixChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// A name beside base that is nobody's yet, as mkstemp makes them.
std::string TempNameBeside(const std::string& base, const char* mark) {
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static std::mt19937_64 random(
      uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^
      uint64_t(::getpid()) << 32);
  std::string name = base + mark;
  for (std::size_t i = 0; i < kTempSuffixSize; ++i) name += kChars[random() % (sizeof kChars - 1)];
  return name;
}

// Gives the new file the replaced one's owner, group and permission bits,
// as far as the system lets this user give them (the owner first: a change
// of owner may clear the set-id bits).
void TakeOwnerAndMode(int fd, const struct stat& old) {
  if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) (void)::fchown(fd, uid_t(-1), old.st_gid);
  }
  ::fchmod(fd, old.st_mode & 07777);
}

// Makes a rename in the file's folder durable; a folder that cannot be
// synced changes nothing about the outcome.
void SyncFolderOf(const std::string& file) {
  const std::string folder = std::filesystem::path(file).parent_path().string();
  const int dfd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
}
}  // namespace

int TFileWrites::Rename(const char* from, const char* to) { return ::rename(from, to); }

TFileWrites* SetFileWrites(TFileWrites* writes) {
  TFileWrites* old = InstalledWrites;
  InstalledWrites = writes;
  return old;
}

void IgnoreFileSizeSignal() {
  static const bool ignored = [] {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    return ::sigaction(SIGXFSZ, &action, nullptr) == 0;
  }();
  (void)ignored;
}

TReplacingFile::TReplacingFile(const std::string& nativePath) : TReplacingFile(nativePath, kTempMark) {}

TReplacingFile::TReplacingFile(const std::string& nativePath, const char* mark) {
  IgnoreFileSizeSignal();
  if (const int e = FollowLinks(nativePath, Target_)) {
    Target_ = nativePath;
    Error_ = e;
    return;
  }
  // Only a file is replaced: a folder stays, and a device or a pipe would
  // be swapped for a file of that name.
  struct stat present;
  if (::stat(Target_.c_str(), &present) == 0 && !S_ISREG(present.st_mode)) {
    Error_ = S_ISDIR(present.st_mode) ? EISDIR : EPERM;
    return;
  }
  std::vector<char> name(Target_.begin(), Target_.end());
  const std::string suffix = std::string(mark) + "XXXXXX";
  name.insert(name.end(), suffix.c_str(), suffix.c_str() + suffix.size() + 1);
  Fd_ = ::mkstemp(name.data());
  if (Fd_ < 0) {
    Error_ = errno != 0 ? errno : EIO;
    return;
  }
  TempName_ = name.data();
  // Held while the file is open: a later save's clean-up passes it over.
  ::flock(Fd_, LOCK_EX | LOCK_NB);
  struct stat old;
  if (::stat(Target_.c_str(), &old) == 0)
    TakeOwnerAndMode(Fd_, old);
  else
    ::fchmod(Fd_, 0644);
}

TReplacingFile::~TReplacingFile() {
  if (Fd_ >= 0) ::close(Fd_);
  if (!TempName_.empty() && !Committed_) ::unlink(TempName_.c_str());
}

int TReplacingFile::Write(const void* data, std::size_t size) {
  if (Fd_ < 0 || Error_ != 0) return Error_ != 0 ? Error_ : EBADF;
  const char* bytes = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = WriteSome(Fd_, bytes + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      Error_ = errno != 0 ? errno : EIO;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  return Error_;
}

void TReplacingFile::StartWriteBack() {
  if (Fd_ >= 0 && Error_ == 0) ::sync_file_range(Fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
}

int TReplacingFile::Close() {
  if (Fd_ < 0) return Error_ != 0 ? Error_ : EBADF;
  if (Error_ == 0 && ::fsync(Fd_) != 0) Error_ = errno;
  if (::close(Fd_) != 0 && Error_ == 0) Error_ = errno;
  Fd_ = -1;
  return Error_;
}

int TReplacingFile::Commit() {
  if (Fd_ >= 0 || TempName_.empty() || Committed_) return Error_ != 0 ? Error_ : EBADF;
  if (Error_ != 0) return Error_;
  if (const int e = RenameFile(TempName_, Target_)) return Error_ = e;
  Committed_ = true;
  SyncFolderOf(Target_);
  return 0;
}

int ReplaceFileContents(const std::string& nativePath, const void* data, std::size_t size) {
  TReplacingFile file(nativePath);
  if (!file.Opened()) return file.Error();
  if (const int e = file.Write(data, size)) return e;
  if (const int e = file.Close()) return e;
  return file.Commit();
}

// ---- TPendingCopy -----------------------------------------------------------------------

TPendingCopy::TPendingCopy(const std::string& source, const std::string& nativeTarget) {
  if ((Error_ = FollowLinks(nativeTarget, Target_)) != 0) return;
  // A second name costs nothing, whatever the file's size.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = TempNameBeside(Target_, kKeepMark);
    if (::link(source.c_str(), name.c_str()) == 0) {
      LinkName_ = name;
      return;
    }
    if (errno != EEXIST) break;
  }
  // Another file system, or one without second names: the bytes are copied.
  const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    Error_ = errno;
    return;
  }
  Copy_.reset(new TReplacingFile(Target_, kKeepMark));
  struct stat st;
  if (Copy_->Opened() && ::fstat(in, &st) == 0) TakeOwnerAndMode(Copy_->Fd_, st);
  std::vector<char> block(1 << 16);
  while (Copy_->Opened() && Copy_->Error() == 0) {
    const ssize_t n = ::read(in, block.data(), block.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      Error_ = errno;
      break;
    }
    if (n == 0) break;
    Copy_->Write(block.data(), std::size_t(n));
  }
  ::close(in);
  if (Error_ == 0) Error_ = Copy_->Opened() ? Copy_->Close() : Copy_->Error();
}

TPendingCopy::~TPendingCopy() {
  if (!LinkName_.empty() && !Committed_) ::unlink(LinkName_.c_str());
}

int TPendingCopy::Commit() {
  if (Error_ != 0 || Committed_) return Error_ != 0 ? Error_ : EBADF;
  if (Copy_ != nullptr) {
    if ((Error_ = Copy_->Commit()) == 0) Committed_ = true;
    return Error_;
  }
  if ((Error_ = RenameFile(LinkName_, Target_)) != 0) return Error_;
  Committed_ = true;
  SyncFolderOf(Target_);
  return 0;
}

namespace {
int SystemRenameNoReplace(const char* from, const char* to) {
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  // A file system that cannot rename so: a second name, then the first goes.
  if (::link(from, to) == 0) {
    ::unlink(from);
    return 0;
  }
  if (errno == EEXIST) return -1;
  struct stat st;
  if (::lstat(to, &st) == 0) {
    errno = EEXIST;
    return -1;
  }
  if (errno != ENOENT) return -1;
  return ::rename(from, to);
}
}  // namespace

int TFileWrites::RenameNoReplace(const char* from, const char* to) { return SystemRenameNoReplace(from, to); }

namespace {
// Renames from to to unless something is at to already (EEXIST then); the
// error number, or 0.
int RenameNoReplace(const std::string& from, const std::string& to) {
  errno = 0;
  const int r = InstalledWrites != nullptr ? InstalledWrites->RenameNoReplace(from.c_str(), to.c_str())
                                           : SystemRenameNoReplace(from.c_str(), to.c_str());
  return r == 0 ? 0 : (errno != 0 ? errno : EIO);
}

// How far the numbered names of a kept copy go before the copy stays where
// it is.
constexpr int kMaxFreeNames = 100000;
}  // namespace

int TPendingCopy::KeepUnderFreeName(std::string& kept) {
  kept.clear();
  if (Committed_) return EBADF;
  std::string* held = Copy_ != nullptr ? &Copy_->TempName_ : &LinkName_;
  if (held->empty() || (Copy_ != nullptr && Copy_->Fd_ >= 0)) return EBADF;
  // From here the copy is never removed: it is the last of the old file.
  Committed_ = true;
  if (Copy_ != nullptr) Copy_->Committed_ = true;
  int error = EEXIST;
  for (int n = 1; n <= kMaxFreeNames; ++n) {
    const std::string name = Target_ + std::to_string(n);
    error = RenameNoReplace(*held, name);
    if (error == 0) {
      *held = name;
      SyncFolderOf(name);
      break;
    }
    if (error != EEXIST) break;
  }
  kept = *held;
  return error;
}

// ---- Files that cannot be used -------------------------------------------------------------

int KeepFileAside(const std::string& nativePath, std::string& kept) {
  for (int n = 1; n <= 100; ++n) {
    const std::string name =
        nativePath + ".damaged" + (n == 1 ? std::string() : "." + std::to_string(n));
    struct stat st;
    if (::lstat(name.c_str(), &st) == 0) continue;
    if (errno != ENOENT) return errno;
    if (::rename(nativePath.c_str(), name.c_str()) != 0) return errno;
    kept = name;
    return 0;
  }
  return EEXIST;
}

// ---- Clean-up -----------------------------------------------------------------------------

int RemoveStaleReplacingFiles(const std::string& nativePath, const std::string& signature) {
  std::string target;
  if (FollowLinks(nativePath, target) != 0 || signature.empty()) return 0;
  const std::filesystem::path targetPath(target);
  const std::string prefix = targetPath.filename().string() + kTempMark;
  std::filesystem::path folder = targetPath.parent_path();
  if (folder.empty()) folder = ".";
  std::vector<std::string> stale;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() != prefix.size() + kTempSuffixSize || name.compare(0, prefix.size(), prefix) != 0)
      continue;
    bool suffix = true;
    for (std::size_t i = prefix.size(); i < name.size(); ++i) suffix &= IsTempSuffixChar(name[i]);
    if (suffix) stale.push_back(it->path().string());
  }
  int removed = 0;
  std::string head(signature.size(), '\0');
  for (const std::string& path : stale) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    // A save in progress holds its file locked.
    const bool ours = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                      ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                      ::pread(fd, head.data(), head.size(), 0) == ssize_t(head.size()) &&
                      head == signature;
    if (ours && ::unlink(path.c_str()) == 0) ++removed;
    ::close(fd);
  }
  return removed;
}
