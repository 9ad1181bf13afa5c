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

// The most an import does again for the repeats its file asks for: the
// records of components and sub-figures read again at their placements
// (a placement read again itself counting as ImportPlacementCost records,
// for setting up its transform), the pieces plotter lines, arcs and curves
// are broken into (each counting as four: a piece is transformed, clipped
// and dashed). A file of a few bytes can ask for billions; past the limit
// the import is refused. The default, 16,000,000, lies beyond what a
// drawing that fits a job needs (a CAD drawing holds 1,000,000 entities; a
// thousand placements of a component of ten thousand records, or a
// thousand of a component placing two hundred others, stay below it) and
// is reached in about a second (ten under the sanitizers). Tests lower it.
int64_t ImportRepeatLimit();
void SetImportRepeatLimit(int64_t count);
constexpr int64_t ImportPlacementCost = 64;
// The deepest nesting an import follows (components placing components,
// blocks inserting blocks): each level is a call, and a file nesting
// thousands of levels would overflow the stack. Drawings nest a few.
constexpr int32_t ImportNestingLimit = 100;

// Runs the import. An allocation refused on the way (std::bad_alloc,
// std::length_error) is reported in an error box naming the file, "Nothing
// was imported."; the answer is then false and the caller takes back what
// the import had begun.
bool RunGuardedImport(const std::string& fileName, const std::function<void()>& import);
