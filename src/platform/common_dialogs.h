// The system's open, save and font dialogs.
//
// Use them as components: create one, set its properties, call Execute; on
// OK (true) read the chosen values back from the same properties. Paths are
// POSIX paths. The filter text lists description and pattern pairs joined by
// "|" ("Drill files (*.DRL)|*.DRL|All Files (*.*)|*.*"); a pattern may hold
// several masks separated by ";", and masks match names regardless of case.
//
// Dialogs go through the installed backend; with none installed the headless
// backend answers them from its script (see headless/headless_dialogs.h).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/canvas.h"

enum TOpenOption : uint32_t {
  ofHideReadOnly = 1u << 0,     // no "open as read-only" check box
  ofOverwritePrompt = 1u << 1,  // save: ask before replacing an existing file
};
using TOpenOptions = uint32_t;

enum class TFileDialogKind { Open, Save };

class TOpenDialog {
 public:
  TOpenDialog() = default;
  virtual ~TOpenDialog() = default;

  std::string Title;       // empty: the dialog's own title
  std::string InitialDir;  // empty: the dialog's own default folder
  std::string FileName;    // proposal in; the chosen full path out
  std::string Filter;      // "Description|pattern|..."; empty: all files
  int FilterIndex = 1;     // 1-based, in and out
  TOpenOptions Options = 0;

  // Runs the dialog modally. True on OK, with FileName and FilterIndex set to
  // the user's choice; false on Cancel, with every property unchanged.
  bool Execute();
  TFileDialogKind Kind() const { return kind_; }

 protected:
  explicit TOpenDialog(TFileDialogKind kind) : kind_(kind) {}

 private:
  TFileDialogKind kind_ = TFileDialogKind::Open;
};

class TSaveDialog : public TOpenDialog {
 public:
  TSaveDialog() : TOpenDialog(TFileDialogKind::Save) {}
};

// One description and its masks, from a filter text.
struct TFileFilter {
  std::string Description;
  std::vector<std::string> Masks;  // "*.GCD", "*.DWG"
  bool operator==(const TFileFilter&) const = default;
};
// Splits a filter text into its pairs. A trailing description without a
// pattern is dropped; empty masks are skipped.
std::vector<TFileFilter> ParseFilterText(const std::string& filter);
// The save dialogs' rule: a name whose last part has no "." gets the
// extension of the chosen filter's first mask ("plot1" with "*.PS" gives
// "plot1.PS"); a mask of any extension ("*.*") or a name with one leaves it.
std::string WithChosenExtension(const std::string& fileName, const std::string& filter, int filterIndex);
// True when the name contains "*" or "?".
bool HasWildcards(const std::string& name);

enum TFontDialogOption : uint32_t {
  fdFixedPitchOnly = 1u << 0,  // offer fixed-pitch fonts only
  fdEffects = 1u << 1,         // show the effects section (underline, colour)
};
using TFontDialogOptions = uint32_t;

class TFontDialog {
 public:
  TFont Font;  // proposal in; the chosen font out (name, size, bold, italic, underline)
  TFontDialogOptions Options = fdEffects;
  // True on OK with Font set; false on Cancel with Font unchanged.
  bool Execute();
};

class TCommonDialogBackend {
 public:
  virtual ~TCommonDialogBackend() = default;
  // On OK set dialog.FileName and dialog.FilterIndex and return true; on
  // Cancel change nothing and return false.
  virtual bool ExecuteFileDialog(TOpenDialog& dialog) = 0;
  virtual bool ExecuteFontDialog(TFontDialog& dialog) = 0;
};

// Installs a backend (not owned). nullptr puts the headless backend back.
// Returns the previously installed one (nullptr for the headless default).
TCommonDialogBackend* SetCommonDialogBackend(TCommonDialogBackend* backend);
TCommonDialogBackend& CommonDialogBackend();
