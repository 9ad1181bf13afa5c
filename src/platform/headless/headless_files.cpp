#include "platform/headless/headless_files.h"

#include <unistd.h>

#include "platform/file_ops.h"

namespace {
class TFailingWrites : public TFileWrites {
 public:
  ssize_t Write(int fd, const void* data, std::size_t size) override {
    if (Room < 0) return ::write(fd, data, size);
    if (Room == 0) {
      errno = Error;
      return -1;
    }
    const std::size_t chunk = int64_t(size) > Room ? std::size_t(Room) : size;
    const ssize_t n = ::write(fd, data, chunk);
    if (n > 0) Room -= n;
    return n;
  }
  int Rename(const char* from, const char* to) override {
    if (RenameError == 0) return TFileWrites::Rename(from, to);
    errno = RenameError;
    return -1;
  }
  int64_t Room = -1;  // negative: no limit
  int Error = ENOSPC;
  int RenameError = 0;
};
TFailingWrites Failing;

void Install() { SetFileWrites(Failing.Room < 0 && Failing.RenameError == 0 ? nullptr : &Failing); }
}  // namespace

void HeadlessFailWritesAfter(int64_t afterBytes, int error) {
  Failing.Room = afterBytes < 0 ? -1 : afterBytes;
  Failing.Error = error != 0 ? error : ENOSPC;
  Install();
}

void HeadlessFailRenames(int error) {
  Failing.RenameError = error;
  Install();
}
