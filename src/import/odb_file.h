// One file of an ODB++ job tree, opened, read line by line or written, and
// closed. A job file may be kept only in its compressed form (the name plus
// ".Z"); opening it for reading then decompresses that copy beside it first.
// With verification on, a file is checked against its sum file (the same
// name with the extension "SUM": size, byte sum, date and time).
//
// Nothing is shown here: failures are queued as message texts which the
// caller drains with NextError, oldest first. A file written through this
// object replaces its old contents only when it is closed whole.
#pragma once
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>

class TReplacingFile;

// MaxAge that turns verification off.
constexpr int32_t kOdbNoVerify = 2147483647;

struct TOdbSumRecord {
  int32_t Size = 0;
  int32_t Sum = 0;  // -1: not given
  std::string Date, Time, Version, User;
};

class TOdbFile {
 public:
  explicit TOdbFile(const std::string& fileName);
  ~TOdbFile();
  TOdbFile(const TOdbFile&) = delete;
  TOdbFile& operator=(const TOdbFile&) = delete;

  // False with a queued message when the file (or its compressed copy)
  // cannot be opened or does not pass verification.
  bool OpenRead(int32_t maxAge);
  // The last OpenRead failed because the compressed copy could not be
  // decoded (the queued message says why: corrupt, too large, disk full).
  bool UnpackFailed() const { return unpackFailed_; }
  // False when the file exists and overwrite is off (nothing queued), or
  // when this object is already open.
  bool OpenWrite(bool overwrite);
  // Closes; a written file replaces its target now. False (with a queued
  // message) when the written file could not be put in place.
  bool Close();

  // The next line without its line end; false at the end of the file, and
  // at a line longer than kMaxTextLine, which queues a message naming the
  // file and the line and closes the file: nothing after it is read.
  bool ReadLine(std::string& line);
  // Appends the line and CR LF.
  void WriteLine(const std::string& line);

  void AddError(const std::string& message);
  // The oldest queued message, removed; empty when none is left.
  std::string NextError();

  const std::string& FileName() const { return fileName_; }
  uint8_t State() const { return state_; }  // 0 closed, 1 reading, 2 writing
  TOdbSumRecord Sum;

 private:
  bool ReadSumFile(const std::string& sumName);
  std::string fileName_;
  uint8_t state_ = 0;
  bool unpackFailed_ = false;
  int64_t lineNumber_ = 0;
  std::FILE* in_ = nullptr;
  std::unique_ptr<TReplacingFile> out_;
  std::string pending_;
  std::deque<std::string> errors_;
};

// The sum of all bytes of the file as unsigned values in 32 bits; -1 when
// it cannot be read.
int32_t FileByteSum(const std::string& fileName);
// DATE (day/month/year) and TIME (h:m:s) of a sum record as a packed DOS
// date-time.
int32_t SumDateTimeToDos(const TOdbSumRecord& sum);
std::string DosDateText(int32_t dosTime);
std::string DosTimeText(int32_t dosTime);
