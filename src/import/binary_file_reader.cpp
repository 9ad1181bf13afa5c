#include "import/binary_file_reader.h"

#include <algorithm>
#include <cstring>

#include "foundation/file_utils.h"
#include "platform/paths.h"

bool TBinaryFileReader::Open(const std::string& fileName) {
  Close();
  AtEof = false;
  Pos = Count = 0;
  Base = 0;
  ReadError = false;
  const int64_t size = FileSizeOf(fileName);
  if (size < 0) {
    AtEof = true;
    return false;
  }
  File_ = std::fopen(NativePath(fileName).c_str(), "rb");
  if (File_ == nullptr) {
    AtEof = true;
    return false;
  }
  Remaining = size;
  IsOpen = true;
  Refill();
  return true;
}

void TBinaryFileReader::Refill() {
  if (!IsOpen) return;
  Base += Pos;
  if (Pos < Count) {
    std::memmove(Buffer.data(), Buffer.data() + Pos, static_cast<std::size_t>(Count - Pos));
    Count -= Pos;
  } else {
    Count = 0;
  }
  Pos = 0;
  if (Remaining > 0) {
    const int32_t records = (Size - Count) / Record;
    if (records > 0) {
      const int64_t want = std::min<int64_t>(Remaining, int64_t(records) * Record);
      const std::size_t got = std::fread(Buffer.data() + Count, 1, static_cast<std::size_t>(want), File_);
      if (got < static_cast<std::size_t>(want) && std::ferror(File_)) ReadError = true;
      Count += static_cast<int32_t>(got);
      Remaining -= static_cast<int64_t>(got);
      // A file that shrank while being read ends where the data ends.
      if (got < static_cast<std::size_t>(want)) Remaining = 0;
    }
  }
  AtEof = Remaining == 0;
}

void TBinaryFileReader::Close() {
  if (File_ != nullptr) std::fclose(File_);
  File_ = nullptr;
  AtEof = true;
  Pos = Count = 0;
  Remaining = 0;
  IsOpen = false;
}

bool ReadFilePart(const std::string& fileName, int64_t offset, std::size_t count,
                  std::vector<uint8_t>& bytes, int64_t& fileSize) {
  bytes.clear();
  fileSize = FileSizeOf(fileName);
  if (fileSize < 0) return false;
  std::FILE* f = std::fopen(NativePath(fileName).c_str(), "rb");
  if (f == nullptr) return false;
  bool ok = true;
  if (offset < fileSize) {
    bytes.resize(static_cast<std::size_t>(std::min<int64_t>(static_cast<int64_t>(count), fileSize - offset)));
    ok = fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0 &&
         std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
  }
  ok = ok && !std::ferror(f);
  std::fclose(f);
  return ok;
}
