// File and directory helpers, the scratch-file name generator and the
// pending I/O result.
//
// Every name here is the program's Windows-style name ("...\SCRATCH\*.TMP");
// it is mapped to the file system by NativePath. None of these helpers
// throws: they answer false, -1 or an empty name, and leave no I/O error
// pending (but for the scratch-file makers, whose callers report it).
#pragma once
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

// The pending I/O result: the errno value of the last failed file operation
// that has not been looked at yet, 0 when none. File operations set it;
// whoever tests it reads and clears it with IOResult.
extern int InOutRes;

// Returns the pending I/O result and clears it.
int IOResult();

// The system's message text for an errno value, such as "No such file or
// directory".
std::string SystemErrorText(int code);

// True when the file exists and the name holds neither "*" nor "?". A
// folder, a device or a pipe is no file: reading one may never end.
bool FileExistsNoWild(const std::string& name);

// Erases the file when FileExistsNoWild says it exists; errors are ignored.
void DeleteFileIfExists(const std::string& name);

// True when a scratch file can be created in dir, closed and erased again.
// The empty name gives false.
bool DirectoryIsWritable(const std::string& dir);

// True when dir names an existing folder. The empty name gives false.
bool DirectoryExists(const std::string& dir);

// A search over the ordinary files matching mask ("." and ".." and folders
// are never reported). The name is the entry's own name without its folder;
// at the end the name is empty. One search is active at a time: FindFirstName
// starts a new one.
std::string FindFirstName(const std::string& mask, uint8_t* attr = nullptr);
std::string FindNextName(uint8_t* attr = nullptr);

// Erases every file in dir matching mask; "\" is put between them unless dir
// ends in "\", "/" or ":". Stops at the first file that cannot be erased.
void DeleteMatchingFiles(const std::string& dir, const std::string& mask);

// Writes the bytes to a temporary file beside the named file, flushes it to
// disk and renames it over the file, which keeps its permissions. On failure
// the old file is untouched, the temporary file is gone, the pending I/O
// result holds the error and the answer is false. The folder is synced after
// the rename; when that fails the new contents are in place but the answer
// is still false, as they are not known to be on disk.
bool WriteFileReplacing(const std::string& name, const std::vector<uint8_t>& bytes);

// Reads one text line of an open file, without its CR or LF (LF, CR LF or a
// lone CR ends a line; a run of CRs is one line end); false at the end of the
// file. A read error is left pending in InOutRes.
bool ReadTextLine(std::FILE* file, std::string& line);

// The longest line a text reader takes: far beyond any real block or record,
// small enough that a file without line ends is refused early.
inline constexpr std::size_t kMaxTextLine = 65536;

// ReadTextLine with a bound: a line of more than limit characters is not
// read on; the answer is lrTooLong with the line's first limit characters.
enum TLineRead : uint8_t { lrLine, lrEnd, lrTooLong };
TLineRead ReadTextLineLimited(std::FILE* file, std::string& line, std::size_t limit = kMaxTextLine);

// Size of the file in bytes; -1 when it cannot be opened.
int64_t FileSizeOf(const std::string& name);
int64_t GetFileSize(const std::string& name);

// The scratch-file counter: bits 24 to 30 hold the seed, bits 0 to 23 the
// running number; bit 31 is always 0. Guarded by TempFileLock.
extern uint32_t TempFileCounter;
extern std::mutex TempFileLock;

// Counter := ((seed shl 24) and $7F000000) + 1. The program seeds it with 10.
void SeedTempFileCounter(uint32_t seed);

// The next scratch-file name: the running number goes up by one (wrapping
// within its 24 bits), and the name is the last 8 digits of the whole counter
// plus ".TMP". With seed 10: 67772162.TMP, 67772163.TMP, ...
std::string MakeTempFileName();

// Creates a new, empty scratch file in folder (a name ending in a
// separator) under the next scratch name nobody has: a name taken by a file
// or a folder is passed over, however many are taken. Returns the open file
// (for reading and writing) and sets name to its full name. On failure the
// answer is -1, name is the name tried last and the pending I/O result holds
// the system's error (EEXIST when every scratch name is taken).
int CreateScratchFile(const std::string& folder, std::string& name);

// CreateScratchFile with the file closed again: the caller writes over the
// empty file and erases it. The answer is the file's name; on failure it is
// empty, tried gets the name tried last and the pending I/O result the error.
std::string ReserveScratchFile(const std::string& folder, std::string* tried = nullptr);

// Start and end of the utilities: a clear counter, no pending I/O result and
// no open search.
void InitUtilities();
void DoneUtilities();
