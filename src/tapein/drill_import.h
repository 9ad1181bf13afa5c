// The drill tape import: an Excellon drill tape read into the drill
// database DRDB by the drill consumer of the NC tape reader.
//
// Every entity is added as a deleted (invisible) entity on the current drill
// layer; the Drill Import command puts the new entities live afterwards.
// Tape tool T becomes drill tool T + DrillToolOffset, the highest tool used
// by a live drill entity before the import, so that imported tools never mix
// with the job's own; a box names the offset whenever there is one.
// Routed moves have no drill entity: they are counted and reported.
//
// A run that stops part-way (aborted, a read or filter error, a tool that
// would fall beyond tool 1000) is withdrawn: the entities it added are
// removed and the tool table, the active tools and the current tool are put
// back, so the drill database is as it was. A run that reads to the end
// keeps its entities, also when it reported faults in single blocks; they
// are journalled in DrillUndo as added, in the order they were read.
#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "foundation/report_windows.h"
#include "model/drill_database.h"
#include "model/step_repeat.h"
#include "model/tool_tables.h"
#include "tapein/import_cancel.h"
#include "tapein/nc_reader.h"

// Tool offset of the running or last import.
extern int32_t DrillToolOffset;
// The tape's origin from its first G92/G93 (Resolve G93 off); the Drill
// Import command reads it after the import.
extern int32_t ImportOriginX;
extern int32_t ImportOriginY;

class TDrillTapeReader : public TNCReader {
 public:
  // Cancel of a long reading: Poll sets Abort when it was pressed.
  TImportCancel CancelBox{"Reading the tape: Cancel withdraws the import."};
  // The reader over the file with the format of DrillInputFormat (digits of
  // its unit); computes DrillToolOffset, makes tool DrillToolOffset + 1
  // current and opens the results window.
  TDrillTapeReader(const std::string& fileName, const std::string& swapFileName);
  ~TDrillTapeReader() override;

  /* 1 */ void Poll(bool& abort) override;
  /* 2 */ void Progress(const std::string& text) override;
  /* 3 */ void Notice(std::string text) override;
  /* 6 */ void Message(std::string text) override;
  // Listed as a notice is: no error of the read.
  void Note(std::string text) override;
  /* 7 */ void Error(std::string text) override;
  /* 8 */ void Warning(int32_t x, int32_t y, int32_t block, std::string text) override;
  /* 9 */ void M96Block(int32_t block, std::string text) override;
  /* 12 */ void BlockMessage(int32_t block, std::string text) override;
  /* 13 */ bool SetOrigin(int32_t x, int32_t y) override;
  /* 14 */ void Hit(int32_t x, int32_t y, int32_t size, int32_t tool, int32_t block,
                    uint8_t flag) override;
  /* 15 */ void Circle(int32_t x, int32_t y, int32_t size, int32_t diameter, int32_t tool,
                       int32_t block) override;
  /* 16 */ void Slot(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t size, int32_t tool,
                     int32_t block, uint8_t flag) override;
  // Routed (head-down) moves have no drill entity: they are counted, and
  // the count reported, so that none goes missing unnoticed.
  /* 19 */ void LineMove(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t size, int32_t tool,
                         int32_t block, uint8_t flag) override;
  /* 20 */ void ArcMove(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t cx, int32_t cy,
                        int32_t size, bool clockwise, int32_t tool, int32_t block) override;
  /* 17 */ void DrilledText(int32_t x, int32_t y, int32_t size, bool vertical, int32_t tool,
                            const std::string& text, int32_t block) override;
  /* 21 */ void PatternStart(int32_t block) override;
  /* 31 */ void ToolDiameter(int32_t tool, int32_t value) override;
  /* 32 */ void ToolChange(int32_t tool, int32_t compTool) override;
  /* 33 */ void PatternEnd(bool& handled) override;
  /* 34 */ void PatternRepeat(bool& handled, int32_t x, int32_t y, uint8_t orientation,
                              int32_t count) override;
  /* 35 */ void PatternsDone(bool& handled) override;
  /* 36 */ bool TakesStepRepeat() override { return true; }
  /* 38 */ void Done() override;

  // The drill tool of a tape tool; false (after a report naming the tool
  // and the line, and the run stopped) when it lies outside 1..1000.
  bool DrillTool(int32_t tapeTool, int32_t& drillTool);

  // Routed moves read and left out.
  int32_t RoutMovesLeftOut = 0;
  // The box text when the tape's tools were moved past the tools in use
  // (the same notice as the other imports give), and the text on the routed
  // moves left out.
  std::string ToolOffsetNotice() const;
  std::array<bool, kToolCount + 1> LiveTools{};
  std::string RoutMovesNotice() const;
  std::vector<int32_t> PatternEntities;  // newest last
  // Entities of the pattern that took their last level (kMaxPatternChain)
  // and left PatternEntities: every later end of the pattern leaves them out
  // again without looking at them.
  int32_t PatternRefused = 0;
  // The commands and copies of the job's step patterns (see JobStepWork),
  // counted once the first pattern ends (-1 before) and grown by each chain
  // a pattern end makes: a pattern that would take the job past what a job
  // file holds is not applied, so that the job read can still be saved.
  int64_t StepWork = -1;
  // The job's drawn copies (see JobDrawnCopies), counted at the first
  // pattern end and kept up as patterns are applied.
  int64_t DrawnCopies = -1;
  // The lines on the pattern repeats not applied, for a box when the
  // results window is not shown.
  std::vector<std::string> PatternNotices;
  bool Recording = false;
  TStepCommandList RepeatList;
  bool OriginSeen = false;
  int32_t OffsetX = 0;
  int32_t OffsetY = 0;
  uint16_t SavedTool = 1;
  std::unique_ptr<TGTScrollWindow> Report;
  bool ErrorsSeen = false;
  // The results window lists the reading's first kListedLines lines and its
  // last kLastLines; the lines between are counted. EndListing, once the
  // reading is over, writes the count and the last lines and lists what
  // follows in full.
  static constexpr int64_t kListedLines = 1000;
  static constexpr size_t kLastLines = 8;
  void EndListing();
  // The reading stopped before the end of the file (a read, filter or tool
  // error): the import is withdrawn.
  bool Stopped = false;
  // The first error that stopped it, for the box when the results window
  // is not shown.
  std::string StopReason;
  bool ShowMessages = true;
  // The drill layer the entities are stored on.
  uint8_t Layer = 30;

 private:
  // Most pattern levels one entity takes on (see ApplyRepeats): as many as
  // a step list nests, since a deeper chain fails to expand.
  static constexpr int32_t kMaxPatternChain = kMaxStepLevels;

  void ReportLine(std::string text, bool fault);
  void ReportPattern(std::string text);
  int64_t ListedLines_ = 0;
  int64_t LinesPastList_ = 0;
  bool ListingEnded_ = false;
  std::deque<std::string> LastLines_;
  void RecordPattern(int32_t index);
  void ClearPatternEntities() {
    PatternEntities.clear();
    PatternRefused = 0;
  }
  void ApplyRepeats();
};

// The reader of the import being run, else nullptr.
extern TDrillTapeReader* DrillTapeReader;

// Asks for the import filter (preset to DrillImportFilter) inside the modal
// bracket and imports with the one chosen. True when entities were read.
bool ImportDrillTapeWithFilter(const std::string& fileName);
// The import with filter 0 ("Standard") or 1..10: format dialog, read,
// tool list into the tool table, results report. True when the run read the
// file to its end (its entities stay, hidden, from
// DRDB->ImportPlacement.FirstIndex on); false when cancelled, refused or
// withdrawn (DRDB as it was).
bool ImportDrillTape(const std::string& fileName, uint8_t filter);

// Removes the drill entities from firstIndex on (an import's, added hidden
// and never journalled): the store ends before them again.
void RemoveDrillEntitiesFrom(int32_t firstIndex);

// Keeps the drill journal out of the way while an import reads, so that a
// withdrawn import leaves no records behind: its adds are journalled only
// when it is placed.
class TDrillJournalPause {
 public:
  TDrillJournalPause() : saved_(DrillUndo) { DrillUndo = nullptr; }
  ~TDrillJournalPause() { DrillUndo = saved_; }
  TDrillJournalPause(const TDrillJournalPause&) = delete;
  TDrillJournalPause& operator=(const TDrillJournalPause&) = delete;

 private:
  TDrillUndo* saved_;
};

// The report's length text: two decimals (cut, not rounded), then "mm" or
// the inch mark and a blank, blanks in front up to 9 characters.
std::string FormatReportLength(double value);

// True for an Excellon tape of a header and no holes (as a CAD program
// writes for a board with none of a kind): an M48 header with its units or
// tools, closed by "%" or M95, and no block that could drill (a coordinate,
// a drilled text, a subprogram call or repeat), every block of tape
// characters.
bool TapeHoldsNoHoles(const std::string& fileName);
// What the imports say of such a tape; nothing is imported.
void ReportTapeWithoutHoles(const std::string& fileName);
// What the imports say of a tape read to its end that gave nothing:
// "<file> draws nothing.", the faults of its blocks that may be why, and
// "Nothing was imported." in a box.
void ReportTapeDrawsNothing(const std::string& fileName, const TTapeFaults& faults);

// Confidence 0..0.9 that the file is an Excellon drill tape (lines
// beginning with ";" are passed over). The CAD variant counts them. A tape
// of a header and no holes counts as a tape.
double DetectExcellonDrillFile(const std::string& fileName);
// Shared by both detectors.
double DetectExcellon(const std::string& fileName, bool skipComments);
