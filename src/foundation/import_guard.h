// What an import may keep in memory of its file, and the guard under which
// every import runs: an allocation refused while a file is read ends that
// import with a box naming the file instead of the program.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

// The most bytes an import keeps of what its file defines for later use
// (components, sub-figures) before it refuses the file; tests lower it.
int64_t ImportHoldLimit();
void SetImportHoldLimit(int64_t bytes);

// The largest file a reader that holds its whole text takes (the photoplot
// reader goes back and forth in it); tests lower it.
int64_t ImportWholeFileLimit();
void SetImportWholeFileLimit(int64_t bytes);
// "<file> is larger than the N MB this format can import." (N that limit).
std::string ImportFileTooLargeText(const std::string& fileName);

// "<file> needs more than N MB of memory to import." (N the hold limit).
std::string ImportTooLargeText(const std::string& fileName);

// Runs the import. An allocation refused on the way (std::bad_alloc,
// std::length_error) is reported in an error box naming the file, "Nothing
// was imported."; the answer is then false and the caller takes back what
// the import had begun.
bool RunGuardedImport(const std::string& fileName, const std::function<void()>& import);
