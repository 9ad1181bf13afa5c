// Rout tape import: an Excellon rout tape read into the current rout layer
// through the rout consumer of the NC tape reader, with its format dialog
// "Excellon-to-Rout".
//
// The consumer adds to the rout layer through TRoutImportTarget, the rout
// database's path-building operations; RoutImportTarget() gives the one the
// rout database installs.
//
// An import is all or nothing: when the run fails (a reader error, a
// missing file, an abort) every entity it added is taken out again, the
// layer's G93 origin, tool entry and tool page are put back, and the first
// error is shown.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/geometry.h"
#include "foundation/settings_families.h"
#include "model/step_repeat.h"
#include "model/tool_tables.h"
#include "platform/forms.h"
#include "tapein/drill_format_dialog.h"
#include "tapein/import_cancel.h"
#include "tapein/nc_reader.h"

// What the rout import needs of the rout database. Indices are rout store
// indices; the add operations work on the current rout layer and give the
// index of the entity added (for a path: the path's start).
class TRoutImportTarget {
 public:
  virtual ~TRoutImportTarget() = default;
  // The current rout layer (40..44).
  virtual uint8_t Layer() = 0;
  // RoutEntityCount.
  virtual int32_t EntityCount() = 0;
  // The rout database's current compensation side (0 none, 1 left, 2 right).
  virtual uint8_t CompSide() = 0;
  virtual void SetCompSide(uint8_t side) = 0;
  virtual TIntPoint G93Origin(uint8_t layer) = 0;
  virtual void SetG93Origin(uint8_t layer, const TIntPoint& origin) = 0;
  virtual void SuspendDrawing() = 0;
  // Redraws every rout layer.
  virtual void ResumeDrawing() = 0;

  virtual int32_t AddCommand(const TIntPoint& at, const std::string& text, uint8_t holdOff) = 0;
  virtual int32_t AddHole(const TIntPoint& at) = 0;
  // A new path: a jog to start and a line to end.
  virtual int32_t AddLinePath(const TIntPoint& start, const TIntPoint& end, uint16_t feed,
                              int32_t zOffset) = 0;
  // A line from the current end of the path.
  virtual int32_t ContinueLine(const TIntPoint& end, uint16_t feed, int32_t zOffset) = 0;
  virtual int32_t AddArcPath(const TIntPoint& start, const TIntPoint& end, const TIntPoint& centre,
                             bool clockwise, uint16_t feed, int32_t zOffset) = 0;
  virtual int32_t ContinueArc(const TIntPoint& end, const TIntPoint& centre, bool clockwise,
                              uint16_t feed, int32_t zOffset) = 0;
  virtual int32_t AddCircle(const TIntPoint& centre, const TIntPoint& onCircle, uint16_t feed) = 0;
  // The entity that starts the path of the index.
  virtual int32_t PathStartOf(int32_t index) = 0;
  // The step chain of the entity (a path start: of its path), or nullptr.
  virtual TStepObject* StepObjectOf(int32_t index) = 0;
  // Gives the entity (a path start gives its path) the step object as the
  // outermost level of its chain.
  virtual void AppendStepObject(int32_t index, TStepObject* step) = 0;
  // Entities from first on whose step lists are equal share one object.
  virtual void ShareIdenticalStepLists(int32_t first) = 0;
  // Takes out every entity from first on (a failed import).
  virtual void DiscardFrom(int32_t first) = 0;
};

// Installs the rout database's target (not owned); nullptr removes it.
void SetRoutImportTarget(TRoutImportTarget* target);
TRoutImportTarget* RoutImportTarget();

// ---- The format dialog -------------------------------------------------------------

// Form "TRoutInputFormatDialog" ("Excellon-to-Rout"): the shared Excellon
// format controls and the rout options.
class TRoutInputFormatDialog : public TExcellonFormatForm {
 public:
  TRoutInputFormatDialog();
  TRadioGroup& ClockWiseGroup;
  TRadioGroup& IJGroup;
  TRadioGroup& ResolveG93Group;

  // The record the dialog edits (never RoutInputFormat itself).
  TRoutFormatRecord Work;

  void Fill();
  void UnitGroupClick();
  void OKButtonClick();
};

// The dialog on a working copy of RoutInputFormat; true on OK (the copy is
// then in RoutInputFormat, and saved as the defaults when asked).
bool RunRoutFormatDialog(const std::string& fileName);

// Shows a text file read-only (the format dialogs' View File).
void ViewTextFile(const std::string& fileName);

// ---- The reader ----------------------------------------------------------------------

class TRoutTapeReader : public TNCReader {
 public:
  // Cancel of a long reading: Poll sets Abort when it was pressed.
  TImportCancel CancelBox{"Reading the tape: Cancel withdraws the import."};
  TRoutTapeReader(TRoutImportTarget& target, const std::string& fileName,
                  const std::string& swapFilterName, const std::string& scratchDir,
                  bool zeroMode, int32_t integerDigits, int32_t decimalDigits, bool incremental,
                  bool metric, int32_t axisVersion, bool blockDelete, bool counterClockwise,
                  bool resolveG93);
  ~TRoutTapeReader() override;

  void Poll(bool& abort) override;
  void Error(std::string text) override;
  void UnparsedBlock(const std::string& text, uint8_t kind) override;
  bool SetOrigin(int32_t x, int32_t y) override;
  void Hit(int32_t x, int32_t y, int32_t size, int32_t tool, int32_t block, uint8_t flag) override;
  void PatternStart(int32_t block) override;
  void RapidMove(int32_t x0, int32_t y0, int32_t x1, int32_t y1) override;
  void RoutLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t feed,
                int32_t moveParameter, uint8_t comp) override;
  void RoutArc(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t cx, int32_t cy,
               int32_t feed, int32_t moveParameter, uint8_t comp, bool clockwise) override;
  void RoutCircle(int32_t cx, int32_t cy, int32_t radius, int32_t feed, int32_t moveParameter,
                  bool g32, bool& handled) override;
  // The sizes go into the layer's tool page. A tool whose size the tape
  // states and whose compensation size it does not (no CP, no R) takes its
  // size as compensation size where the page held another size; where the
  // page's size, stated as the tape states sizes (its unit, its digits), is
  // the tape's it keeps the page's compensation size.
  void ToolCompDiameter(int32_t tool, int32_t value) override;
  void ToolDiameter(int32_t tool, int32_t value) override;
  void ToolChange(int32_t tool, int32_t compTool) override;
  void PatternEnd(bool& handled) override;
  void PatternRepeat(bool& handled, int32_t x, int32_t y, uint8_t orientation,
                     int32_t count) override;
  void PatternsDone(bool& handled) override;
  bool TakesStepRepeat() override { return true; }
  void Done() override;

  // A programmed feed in the rout database's feed units.
  uint16_t ConvertFeed(int32_t feed) const;

  bool FeedCheck = true;
  int32_t LastX = -1, LastY = -1;
  bool NewPath = true;
  // The compensation side of the path being read: a path start carries one
  // side, so a cut on another begins a path of its own, also where the
  // last one ended.
  uint8_t PathCompSide = 0;
  uint8_t SavedCompSide = 0;
  std::vector<int32_t> PatternEntities;
  // By entity index, true for the entities of PatternEntities: a flag a
  // recorded hole or path costs, where a set's node cost an allocation.
  std::vector<bool> PatternSeen;
  // Entities of the pattern that took their last level and left
  // PatternEntities: every later end of the pattern names them again.
  int32_t PatternRefused = 0;
  // The least and greatest coordinates of every point the pattern's
  // entities were read with (paths whole, every line and arc of them): a
  // pattern end whose copies would put one outside the coordinate range
  // cannot expand.
  bool Reached = false;
  TIntPoint ReachMin, ReachMax;
  bool Recording = false;
  TStepCommandList RepeatList;
  // The commands and copies of the job's step patterns (see JobStepWork),
  // counted once the first pattern ends (-1 before) and grown by each one
  // applied: a pattern that would take the job past what a job file holds
  // is not applied, so that the job read can still be saved.
  int64_t StepWork = -1;
  bool OriginSeen = false;
  int32_t OffsetX = 0, OffsetY = 0;
  bool PlungePending = false;
  // The texts of the errors met, in order; the first is shown.
  std::vector<std::string> Errors;

 private:
  void Record(int32_t index);
  // Widens the pattern's reach by the point while the pattern is recorded.
  void Reach(const TIntPoint& p);
  // Empties PatternEntities and their flags.
  void ForgetPattern();
  void ApplyRepeats();
  TIntPoint Shifted(int32_t x, int32_t y) const;
  TRoutImportTarget& target_;
  uint8_t layer_;
  bool done_ = false;
  // By tool number, true for the tools whose compensation size the tape
  // stated (CP, or R with the size).
  std::vector<bool> compStated_ = std::vector<bool>(kToolCount + 1, false);
};

// ---- Import operations ------------------------------------------------------------------

// Imports the tape into the current rout layer; filter 0 is "Standard",
// 1..10 an entry of ImportFilters. With useOutputFormat the rout output
// format stands in for RoutInputFormat for this import and no dialog is
// shown: the tape is the program's own, edited in the text editor, and a
// tape that draws nothing is reported as the edited tape. True when the
// tape was read without error; false (with the layer as it was) otherwise.
bool ImportRoutTape(const std::string& fileName, uint8_t filter, bool useOutputFormat);


// "CREATE" (any case) as the sixth to eleventh characters becomes "Rout".
void ReplaceCreateWithRout(std::string& text);
