// Saving a file without ever losing it: the bytes go to a temporary file
// beside the target, reach the disk, and only then is the temporary file
// renamed over the target in one step. The target holds either its old or
// its new contents, never a part; a failed save leaves it as it was. A
// replaced file keeps its permission bits (and its owner and group as far as
// the system lets the saving user give them); a new one is readable by all.
// A symbolic link at the target's name stays: the file it names is replaced,
// or made when it points nowhere.
//
// Every save of the program goes through here. The bytes reach the system
// through a TFileWrites, which a test backend may replace to fail a write
// on demand.
#pragma once
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// A write past the process's file size limit fails with EFBIG like any other
// write error instead of ending the program. Start-up and every replacing
// file call it; the first call switches the signal off for good.
void IgnoreFileSizeSignal();

class TReplacingFile {
 public:
  // Creates the temporary file beside the target (a native path; a link is
  // followed to the file it names, existing or not). When it cannot,
  // Opened() is false and Error() holds the system's error number (ELOOP
  // for links that lead round in a circle). The temporary file is named
  // target + ".saving-" + six letters and digits, and locked while it is
  // open, so RemoveStaleReplacingFiles leaves a save in progress alone.
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
  friend class TPendingCopy;
  // The same, the temporary name made with another mark than ".saving-".
  TReplacingFile(const std::string& nativePath, const char* mark);
  std::string Target_;
  std::string TempName_;
  int Fd_ = -1;
  int Error_ = 0;
  bool Committed_ = false;
};

// The whole save in one call; the error number, or 0.
int ReplaceFileContents(const std::string& nativePath, const void* data, std::size_t size);

// The present contents of a file under a temporary name beside another
// name, to be put there once a save has succeeded: the backup a save keeps of
// the file it replaces. Made before the save and renamed into place after
// it, so a save that fails leaves an older file of that name as it was.
class TPendingCopy {
 public:
  // Gives source's contents a temporary name beside nativeTarget (a link
  // there followed as TReplacingFile follows it): a second name of the same
  // file where the file system allows, else a copy of its bytes that keeps
  // its permission bits. Error() is 0 when it was made. The name is
  // nativeTarget + ".keeping-" + six letters and digits, which
  // RemoveStaleReplacingFiles never takes for a save's left-over.
  TPendingCopy(const std::string& source, const std::string& nativeTarget);
  // Removes the temporary name unless Commit put it in place.
  ~TPendingCopy();
  TPendingCopy(const TPendingCopy&) = delete;
  TPendingCopy& operator=(const TPendingCopy&) = delete;

  int Error() const { return Error_; }
  // Renames the copy over the target; the error number, or 0.
  int Commit();
  // When Commit could not put the copy in place: gives it the first free
  // name of the target followed by 1, 2, 3 ... (nothing there, not even a
  // folder or a link, is replaced). Should no such name be had, the copy
  // stays under its temporary name. Either way it is kept, and kept gets the
  // name that holds it (empty when there is no copy). The error number of
  // the renaming, or 0 when the copy took a free name.
  int KeepUnderFreeName(std::string& kept);

 private:
  std::string Target_;
  std::string LinkName_;  // the second name, when one was made
  std::unique_ptr<TReplacingFile> Copy_;  // else a copy of the bytes
  int Error_ = 0;
  bool Committed_ = false;
};

// Removes what saves of the target left beside it when they were cut short
// (the program killed or the machine stopped mid-save): files named as
// TReplacingFile names its temporary files, that begin with signature (the
// first bytes every file of the kind begins with) and that no save holds
// open. Other programs' files never match, nor does a previous version a
// TPendingCopy kept under its own temporary name. The number of files removed.
int RemoveStaleReplacingFiles(const std::string& nativePath, const std::string& signature);

// Moves a file that cannot be used (damaged, unreadable) out of the way
// before a fresh one takes its name, so that nothing it held is lost: it is
// renamed to the first free name of nativePath + ".damaged", ".damaged.2",
// ... and kept says which. The error number, or 0.
int KeepFileAside(const std::string& nativePath, std::string& kept);

// Where the bytes of a replacing file go.
class TFileWrites {
 public:
  virtual ~TFileWrites() = default;
  // As write(2): the bytes written, or -1 with errno set.
  virtual ssize_t Write(int fd, const void* data, std::size_t size) = 0;
  // As rename(2): 0, or -1 with errno set.
  virtual int Rename(const char* from, const char* to);
  // As rename(2), but nothing at to is replaced: -1 with errno EEXIST when
  // anything is there.
  virtual int RenameNoReplace(const char* from, const char* to);
};
// Installs the writes (not owned); nullptr puts the system's back. Returns
// the one installed before (nullptr for the system's).
TFileWrites* SetFileWrites(TFileWrites* writes);
