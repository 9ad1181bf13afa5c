#include "platform/headless/headless_files.h"

#include <unistd.h>

#include "platform/file_ops.h"

namespace {
class TFailingWrites : public TFileWrites {
 public:
  ssize_t Write(int fd, const void* data, std::size_t size) override {
    if (Room <= 0) {
      errno = Error;
      return -1;
    }
    const std::size_t chunk = int64_t(size) > Room ? std::size_t(Room) : size;
    const ssize_t n = ::write(fd, data, chunk);
    if (n > 0) Room -= n;
    return n;
  }
  int64_t Room = 0;
  int Error = ENOSPC;
};
TFailingWrites Failing;
}  // namespace

void HeadlessFailWritesAfter(int64_t afterBytes, int error) {
  if (afterBytes < 0) {
    SetFileWrites(nullptr);
    return;
  }
  Failing.Room = afterBytes;
  Failing.Error = error != 0 ? error : ENOSPC;
  SetFileWrites(&Failing);
}
