#include "platform/file_ops.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

namespace {
TFileWrites* InstalledWrites = nullptr;

ssize_t WriteSome(int fd, const void* data, std::size_t size) {
  return InstalledWrites != nullptr ? InstalledWrites->Write(fd, data, size)
                                    : ::write(fd, data, size);
}

// A link is replaced where it points, so the link itself stays.
std::string ResolveLink(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_symlink(path, ec)) return path;
  const std::filesystem::path target = std::filesystem::weakly_canonical(path, ec);
  return ec ? path : target.string();
}
}  // namespace

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

TReplacingFile::TReplacingFile(const std::string& nativePath) : Target_(ResolveLink(nativePath)) {
  IgnoreFileSizeSignal();
  std::vector<char> name(Target_.begin(), Target_.end());
  const char suffix[] = ".XXXXXX";
  name.insert(name.end(), suffix, suffix + sizeof suffix);
  Fd_ = ::mkstemp(name.data());
  if (Fd_ < 0) {
    Error_ = errno != 0 ? errno : EIO;
    return;
  }
  TempName_ = name.data();
  struct stat old;
  ::fchmod(Fd_, ::stat(Target_.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
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
  if (::rename(TempName_.c_str(), Target_.c_str()) != 0) return Error_ = errno;
  Committed_ = true;
  // Make the rename itself durable; a folder that cannot be synced changes
  // nothing about the outcome.
  const std::string folder = std::filesystem::path(Target_).parent_path().string();
  const int dfd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return 0;
}

int ReplaceFileContents(const std::string& nativePath, const void* data, std::size_t size) {
  TReplacingFile file(nativePath);
  if (!file.Opened()) return file.Error();
  if (const int e = file.Write(data, size)) return e;
  if (const int e = file.Close()) return e;
  return file.Commit();
}
