// The program's home folder and the mapping of the program's Windows-style
// file names onto the POSIX file system.
//
// The program builds names the Windows way: ExecutionPath() + "SCRATCH\" +
// name, masks such as "*.ZUL", names typed by a user such as
// "C:\DIR\FILE.DRL". Every file operation passes its name through NativePath
// first:
//   - "\" becomes "/";
//   - a leading drive "X:" is dropped, so "C:\DIR\FILE.DRL" names
//     "/DIR/FILE.DRL" (the drive's root is the file system's root) and a
//     drive-relative "C:FILE" names "FILE" in the current folder;
//   - each component that does not exist exactly is looked up among the
//     entries of its folder ignoring ASCII case; a component with no match
//     (a new file or folder) is kept as given.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The separator of the names the program builds itself (folders under its
// home, the help file): the platform's, so that a name shown to the user
// reads one way.
inline constexpr const char* PathDelim = "/";

// The program's home folder: $KORVEX_HOME, else ~/KORVEX6/; always ends in
// "/".
std::string ExecutionPath();

// The POSIX path of a Windows-style (or already POSIX) name; see above.
// A trailing separator is kept. The empty name stays empty.
std::string NativePath(const std::string& path);

// The POSIX path a save writes to: NativePath, except that the file's own
// name (the last component) is never matched ignoring case. A save replaces
// only the file of exactly its name and otherwise makes a new one, so it
// never writes over a file whose name merely differs in case. Folders are
// still found in any case.
std::string NativeSavePath(const std::string& path);

// The name with its last component spelt as the existing file that NativePath
// finds for it (which may differ in case); the name as given when there is
// no such file. A save that asks before replacing a file names that file and
// writes to it under this name.
std::string ExistingFileName(const std::string& name);

// Windows mask matching, ignoring ASCII case: "*" is any run of characters,
// "?" exactly one. A mask ending in ".*" also matches the name without any
// extension, so "*.*" matches every name and "MATRIX.*" matches "matrix".
bool MatchesMask(const std::string& name, const std::string& mask);

// File attribute bits as a directory search reports them.
constexpr uint8_t faReadOnly = 0x01;
constexpr uint8_t faHidden = 0x02;
constexpr uint8_t faSysFile = 0x04;
constexpr uint8_t faVolumeID = 0x08;
constexpr uint8_t faDirectory = 0x10;
constexpr uint8_t faArchive = 0x20;
constexpr uint8_t faAnyFile = 0x3F;

struct TSearchRec {
  std::string Name;  // the entry's own name, without its folder
  uint8_t Attr = 0;
  int64_t Size = 0;
};

// A directory search over a Windows-style folder-and-mask name such as
// "...\SCRATCH\*.TMP". Ordinary files are always reported (attribute
// faArchive, plus faReadOnly when not writable); folders only when attr holds
// faDirectory, names starting with "." only when it holds faHidden. "." and
// ".." are never reported. The entries are taken when the search starts and
// come back sorted by name ignoring case, so removing files while walking the
// search is safe.
class TDirSearch {
 public:
  // False when nothing matches (or the folder cannot be read).
  bool FindFirst(const std::string& pathMask, uint8_t attr, TSearchRec& rec);
  // False at the end of the search.
  bool FindNext(TSearchRec& rec);
  void FindClose();

 private:
  std::vector<TSearchRec> found_;
  size_t next_ = 0;
};

// The working folders under ExecutionPath(), in the order they are created.
extern const char* const WorkingDirectoryNames[11];

// Creates ExecutionPath() and its working folders (SCRATCH, DNC, CAD, ROUT,
// DRILL, INDATA, DATABASE, TOOLDATA, M48TABLE, PLOT, SWAP) where missing; an
// existing folder whose name differs only in case is used as it is. Returns
// false with a description in error when a folder could not be created.
bool EnsureWorkingDirectories(std::string* error = nullptr);
