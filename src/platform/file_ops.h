// Saving a file without ever losing it: the bytes go to a temporary file
// beside the target, reach the disk, and only then is the temporary file
// renamed over the target in one step. The target holds either its old or
// its new contents, never a part; a failed save leaves it as it was. A
// replaced file keeps its permissions; a new one is readable by all.
//
// Every save of the program goes through here. The bytes reach the system
// through a TFileWrites, which a test backend may replace to fail a write
// on demand.
#pragma once
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

// A write past the process's file size limit fails with EFBIG like any other
// write error instead of ending the program. Start-up and every replacing
// file call it; the first call switches the signal off for good.
void IgnoreFileSizeSignal();

class TReplacingFile {
 public:
  // Creates the temporary file beside the target (a native path; a link is
  // replaced where it points). When it cannot, Opened() is false and
  // Error() holds the system's error number.
  explicit TReplacingFile(const std::string& nativePath);
  // Removes the temporary file unless Commit put it in place.
  ~TReplacingFile();
  TReplacingFile(const TReplacingFile&) = delete;
  TReplacingFile& operator=(const TReplacingFile&) = delete;

  bool Opened() const { return Fd_ >= 0; }
  // The error number of the first failure, or 0; after a failure nothing
  // more is written.
  int Error() const { return Error_; }
  const std::string& Target() const { return Target_; }

  // Writes all the bytes; the error number, or 0.
  int Write(const void* data, std::size_t size);
  // Lets the system start writing what was written so far to the disk, so
  // that a long save overlaps the wait of Close with its own work. Only a
  // hint: failures show at Close.
  void StartWriteBack();
  // Flushes the file to the disk and closes it; the error number, or 0.
  int Close();
  // After a successful Close: renames the file over the target; the error
  // number, or 0 (on failure the target is as it was).
  int Commit();

 private:
  std::string Target_;
  std::string TempName_;
  int Fd_ = -1;
  int Error_ = 0;
  bool Committed_ = false;
};

// The whole save in one call; the error number, or 0.
int ReplaceFileContents(const std::string& nativePath, const void* data, std::size_t size);

// Where the bytes of a replacing file go.
class TFileWrites {
 public:
  virtual ~TFileWrites() = default;
  // As write(2): the bytes written, or -1 with errno set.
  virtual ssize_t Write(int fd, const void* data, std::size_t size) = 0;
};
// Installs the writes (not owned); nullptr puts the system's back. Returns
// the one installed before (nullptr for the system's).
TFileWrites* SetFileWrites(TFileWrites* writes);
