// The error log: every run-time error that escapes an operation is kept, with
// facts about the program and the machine, as one numbered entry of a
// fixed-size file beside the program.
//
// The file is one block of 1,000 slots of 85 bytes: a 32-bit little-endian
// entry number (0 = free), a length byte (0..80) and 80 text bytes. Slot 1
// is the header (number 0xDEADFACE and a notice); slots 2..999 hold the
// lines of the entries, oldest first, numbered 1, 2, 3 ... without gaps.
// Slot 1,000 is never written, so the log holds at most 998 lines; when a
// new entry does not fit, the oldest entries are dropped and the rest
// renumbered from 1.
#pragma once
#include <cstdint>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/events.h"

constexpr int32_t LogSlotCount = 1000;
constexpr int32_t LogSlotSize = 85;
constexpr int32_t LogTextMax = 80;
constexpr int32_t LogFileSize = LogSlotCount * LogSlotSize;
constexpr uint32_t LogMark = 0xDEADFACE;
// Lines one entry may hold: slots 2 to 999.
constexpr int32_t LogMaxEntryLines = LogSlotCount - 2;
extern const char* const LogHeaderText;

// The program's log: the program's home folder (ExecutionPath) with the
// program's name and ".LOG", that is ExecutionPath() + "KORVEX6.LOG".
std::string ErrorLogFileName();

// An input/output failure: the runtime's error code (100 disk read, 101
// disk write, 102 file not assigned, 103 file not open, 104 not open for
// input, 105 not open for output, 106 invalid numeric format) or the
// system's error number.
class EInOutError : public std::runtime_error {
 public:
  EInOutError(const std::string& message, int32_t code)
      : std::runtime_error(message), ErrorCode(code) {}
  int32_t ErrorCode;
};

// Appends the lines as one new entry (lines cut to 80 characters; an entry
// of more than 998 lines keeps its first 998). A missing file, or one
// without the header mark, is replaced by a fresh log; a file without the
// mark that holds anything is first kept aside (KeepFileAside: the log's
// name + ".damaged"), and its new name is returned (empty otherwise). The
// file is written whole, through a temporary file renamed over the old one.
// Throws EInOutError when the file cannot be read, kept aside or written.
std::string WriteLogEntry(const std::string& fileName, const std::vector<std::string>& lines);

// Loads entry number entry (below 1 counts as 1; beyond the newest gives the
// newest) into lines and corrects entry; newest becomes the newest entry's
// number. A missing file or one without the mark gives no lines and 0 for
// both. False, with lines empty and entry and newest unchanged, when the
// file exists but cannot be read.
bool ReadLogEntry(const std::string& fileName, int32_t& entry, std::vector<std::string>& lines,
                  int32_t& newest);

// "Monday, January 5, 2026 at 3:07 pm".
std::string ErrorTimeText(const TDateTimeParts& t);

// The newest command text of the command interpreter, for the "Last
// command" line; the interpreter installs the source, empty until then.
void SetCurrentCommandHook(std::function<std::string()> hook);
std::string CurrentCommandText();

// What is known of an escaped exception.
struct TErrorDescription {
  std::string Message;
  std::string ClassName;
  std::string ParentClassName;
  bool IsInOutError = false;
  int32_t InOutErrorCode = 0;
};
TErrorDescription DescribeException(std::exception_ptr error);
TErrorDescription DescribeException(const std::exception& error);

// The lines of one log entry: the error lines (time, message, address,
// class, application, I/O code, system error, program, last command,
// editor mode), an empty line and the system information block.
// systemError is the system's error number taken when the exception was
// caught (0 for none); address is where the exception was caught.
std::vector<std::string> ErrorEntryLines(const TErrorDescription& error, int systemError,
                                         uintptr_t address, const TDateTimeParts& now);
