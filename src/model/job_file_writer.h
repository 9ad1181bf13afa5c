// The job database file "*.ZUL": its writer.
//
// The file is plain text, one item a line, lines ended by CR LF. It is a
// sequence of records: a line "0", a line with the record's name, then the
// record's fields as pairs of lines (a decimal group code, a value). A field
// whose value is 0 is left out unless the format says it is always written;
// a reader takes a missing field as 0. A text is written as it stands, or
// escaped under group 1 when it holds a line end or a Ctrl-Z (see
// JobTextNeedsEscape). Layers are written relative to their
// group: CAD layers 0..29 as they are, drill layers as layer - 30, rout
// layers as layer - 40.
//
// Layout: HEADER (group 999, the title), then the optional sections
// TOOLSECTION, STEPSECTION and ENTITIES, each opened by the record ENDSEC
// (closing what came before) and its name, then ENDSEC and EOF.
//
// TJobFileWriter knows the syntax; WriteJobFile walks the job and calls it.
// The text goes to a temporary file beside the target; only a file written
// completely replaces the target (the old one kept as the backup when asked),
// so a failed save never leaves a partial or missing job file.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "model/step_repeat.h"
#include "platform/file_ops.h"

// The title of the header record.
inline constexpr const char* JobFileTitle = "Orbenwright ZUL Database format file";

class TJobFileWriter {
 public:
  enum TSection : uint8_t { jsHeader = 0, jsTools = 1, jsSteps = 2, jsEntities = 3 };

  // Creates the temporary file beside fileName and writes the header at
  // once; temporary files of earlier saves of fileName that were cut short
  // are removed (RemoveStaleReplacingFiles). When
  // the file cannot be created, Opened() is false and Error() holds the
  // system's error number; the record writers then write nothing.
  explicit TJobFileWriter(const std::string& fileName);
  // Removes the temporary file unless Commit put it in place.
  virtual ~TJobFileWriter();
  TJobFileWriter(const TJobFileWriter&) = delete;
  TJobFileWriter& operator=(const TJobFileWriter&) = delete;

  // Lets the GUI run once (a loop's pass: the Qt program leaves out passes
  // that follow the last too closely); called every 51 ticks of the record
  // writers.
  virtual void Yield();

  // Closes an open step list and the section, writes EOF, and flushes the
  // temporary file to disk. The error number of the first failed write, or 0.
  int Finish();
  // After a successful Finish: when the target exists and backupName is not
  // empty, the target's present contents are kept under a temporary name
  // beside the backup; then the temporary file is renamed over the target
  // and the folder synced, and only then the kept contents over the backup
  // (an older backup is replaced). The error number, or 0; on failure the
  // target and an older backup are as they were (a backup name that is the
  // target's own is refused with EINVAL). When the saved job is in place but
  // the kept contents cannot take the backup name (a folder stands there),
  // the result is still 0, backupError (when given) gets the error number,
  // and the kept contents stay beside the backup under the first free name
  // of the backup's followed by 1, 2, ... (or, when none can be had, under
  // their temporary name): keptAs (when given) gets that file's path.
  int Commit(const std::string& backupName, int* backupError = nullptr,
             std::string* keptAs = nullptr);

  bool Opened() const { return File_.Opened(); }
  int Error() const { return File_.Error(); }

  // ---- Record writers (points and sizes in database units) ----
  void WritePoint(int32_t x, int32_t y, int32_t layer);
  void WriteLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t layer);
  void WriteArc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3,
                int32_t layer);
  void WriteCircle(int32_t x, int32_t y, int32_t radius, int32_t layer);
  void WriteDrillHole(int32_t x, int32_t y, int32_t layer, int32_t stepId, int32_t tool);
  void WriteDrillSlot(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t layer,
                      int32_t stepId, int32_t tool);
  void WriteDrillCircle(int32_t x, int32_t y, int32_t radius, int32_t layer, int32_t stepId,
                        int32_t tool);
  void WriteDrillText(int32_t x, int32_t y, const std::string& text, bool vertical,
                      int32_t layer, int32_t stepId, int32_t tool);
  void WriteRoutHole(int32_t x, int32_t y, int32_t layer, int32_t stepId, int32_t tool);
  void WriteRoutJog(int32_t x, int32_t y, int32_t layer, int32_t compSide, int32_t tool,
                    int32_t compIndex, int32_t stepId);
  void WriteRoutLine(int32_t x, int32_t y, int32_t layer, int32_t feed, int32_t zOffset);
  // clockwise: the arc is of type 8.
  void WriteRoutArc(int32_t x, int32_t y, int32_t cx, int32_t cy, bool clockwise, int32_t layer,
                    int32_t feed, int32_t zOffset);
  void WriteRoutCircle(int32_t x, int32_t y, int32_t radius, bool g32, int32_t tool,
                       int32_t compIndex, int32_t stepId, int32_t feed, int32_t zOffset,
                       int32_t layer);
  // A line of NC text in the cut sequence (record ROUTCOMMAND: 3 text
  // (or 1, see EntityText), always first; 8; 10; 20; 45 hold-off; 52 step id).
  void WriteRoutCommand(int32_t x, int32_t y, const std::string& text, int32_t holdOff,
                        int32_t layer, int32_t stepId);
  void WriteDrillTool(int32_t tool, int32_t diameter, int32_t feed, int32_t speed,
                      int32_t zOffset, int32_t maxHits, bool firstLastHit);
  void WriteRoutTool(int32_t layer, int32_t tool, int32_t diameter, int32_t highFeed,
                     int32_t lowFeed, int32_t zOffset);
  void WriteCompIndex(int32_t layer, int32_t tool, int32_t value);
  void WriteDrillG93(int32_t x, int32_t y);
  void WriteRoutG93(int32_t x, int32_t y, int32_t layer);
  // STEPLIST; then per command M01 (a pattern mark, group 70 when it repeats
  // more than once) or M02 (a step); WriteStepListEnd: M08 (id, nested id)
  // and ENDSTEPLIST.
  void WriteStepListStart();
  void WriteStepMark(int32_t count);
  void WriteStep(int32_t dx, int32_t dy, int32_t count, int32_t orientation);
  void WriteStepListEnd(int32_t id, int32_t nestedId);

 private:
  void BeginToolSection() { BeginSection(jsTools, "TOOLSECTION"); }
  void BeginStepSection() { BeginSection(jsSteps, "STEPSECTION"); }
  void BeginEntities() { BeginSection(jsEntities, "ENTITIES"); }
  void BeginSection(TSection section, const char* name);
  void CloseStepList();
  void Record(std::string_view name);
  void Field(int32_t code, int32_t value);        // left out when 0
  void FieldAlways(int32_t code, int32_t value);
  void TextField(int32_t code, const std::string& value);
  // The text of a drill text or rout command: group 3 as it stands, or
  // group 1 escaped when group 3 could not carry it (JobTextNeedsEscape).
  void EntityText(const std::string& text);
  void Line(std::string_view text);
  // Room for size bytes at the buffer's end, the buffer written out first
  // when it has less (size at most kBufferSize).
  char* Room(std::size_t size);
  // Counts record and field writes; every 51st lets the GUI run.
  void Tick(int32_t ticks = 1);
  void Flush();

  // The text is collected in a buffer of this size and written when full.
  static constexpr std::size_t kBufferSize = 1 << 18;
  // The longest hole record: its name line and five fields of a code, an
  // 11-character number and their line ends, with the 8 bytes behind the
  // last number that its digits may overwrite.
  static constexpr std::size_t kHoleRecordRoom = 14 + 5 * (4 + 11 + 2) + 8;
  // Every this many bytes written the system is asked to start writing them.
  static constexpr std::size_t kWriteBackSize = 1 << 23;

  int32_t TickCounter_ = 0;
  std::string FileName_;
  TReplacingFile File_;
  bool Finished_ = false;
  TSection Section_ = jsHeader;
  bool StepListClosed_ = true;
  std::unique_ptr<char[]> Buffer_;
  std::size_t Used_ = 0;
  std::size_t Unsynced_ = 0;
};

// Writes the whole job (tool tables, step lists, rout, drill and CAD
// entities) to fileName; when backupName is not empty and the file exists,
// its previous contents are kept under that name. Returns 0, or the system's
// error number of what failed (the file is then as it was). A backup that
// could not be made after the job was saved is told through backupError,
// and keptAs gets the path of the file that holds the previous version
// instead (see TJobFileWriter::Commit).
int WriteJobFile(const std::string& fileName, const std::string& backupName = "",
                 int* backupError = nullptr, std::string* keptAs = nullptr);

// What the step lists a save of the job writes ask of the reader
// (StepChainWork of every chain, see kMaxJobStepWork); whole (when given)
// tells whether every one of them expands without an error, as the reader
// requires.
int64_t JobStepWork(bool* whole = nullptr);
// What one step object asks of the reader: its commands and those of the
// levels below it, and its copies. A job file holds each level of a chain as
// a step list of its own (JobStepWork counts them all).
int64_t StepObjectWork(const TStepObject& object);
// "The job's step patterns come to N commands and copies; a job file holds
// at most 16,000,000." (N the work given).
std::string JobStepWorkText(int64_t work);

// What a tape's pattern end does to one entity of the pattern (see
// TakePatternLevel).
enum class TPatternTake { Taken, TooDeep, PastBound, CannotExpand, PastDrawnCopies };
// Whether the entity whose chain is given (nullptr: none) may take the
// pattern as its outermost level: the chain made holds at most three levels
// (else TooDeep), expands whole (else CannotExpand) and its levels not yet
// counted (each in counted once) keep jobWork, the job's count, within the
// bound (else PastBound). Taken: jobWork and counted grown by them, and the
// entity's AppendStepObj(pattern) gives it that chain. The objects are made
// here without a box; the caller says what was not applied. With jobDrawn
// (the job's drawn copies, see JobDrawnCopies) the entity's copies made
// keep it within JobDrawnCopiesLimit() (else PastDrawnCopies), and Taken
// grows it by them. With points (the entity's, see StepPoints) a chain that
// would put a copy of one outside the coordinate range cannot expand either.
TPatternTake TakePatternLevel(TStepObject* chain, TStepObject* pattern, int64_t& jobWork,
                              std::unordered_set<const TStepObject*>& counted,
                              int64_t* jobDrawn = nullptr, const std::vector<TIntPoint>* points = nullptr);
// "The step pattern would make more than 65,535 copies or move outside the
// coordinate range."
std::string StepPatternCannotExpandText();
// The checks below count what the job will hold after the edit (the chains
// the changed entities let go of count only where others keep them), show
// a status box with Cancel when counting takes more than a moment (a
// cancelled count refuses without a box), and refuse a pattern that cannot
// expand as well as one past the bound.
//
// Whether the job's step patterns still fit a job file when the pattern
// becomes the outermost level of each chain (nullptr: an entity without
// one; one entry per entity) of the entities an editor changes, and every
// chain made expands; else the error box says so ("... The step pattern
// was not made.") and false.
// drawn: how many entities draw with each entry's chain (a rout path's
// start, its lines and arcs: RoutStartDrawn); empty, one each. The job's
// drawn copies (JobDrawnCopies) past JobDrawnCopiesLimit() are refused too.
// reach: the points each entity's copies are made of (its StepPoints; a
// rout path start's RoutStartReach); an entity whose copies would leave the
// coordinate range is refused as a chain that cannot expand.
bool JobStepsTakePattern(const std::vector<TStepObject*>& chains, const TStepObject& pattern,
                         const std::vector<int64_t>& drawn = {},
                         const std::vector<std::vector<TIntPoint>>& reach = {});
// The same for a window edit that moves (copy false) or copies the entities
// whose chains are given by each of count matrices (matrixAt(0) ...): a chain
// moved goes with its last entity, each matrix gives a chain of its own
// ("... Nothing was changed.").
bool JobStepsTakeTransforms(const std::vector<TStepObject*>& chains, int64_t count,
                            const std::function<TMatrix3(int64_t)>& matrixAt, bool copy,
                            const std::vector<int64_t>& drawn = {},
                            const std::vector<std::vector<TIntPoint>>& reach = {});
// The same for Edit Steps: every chain that holds the level old[k] (k where
// changed[k]) gets lists[k] in its place, or loses the level when it has
// none ("... The step lists were not changed.").
bool JobStepsTakeEdit(TStepObject* const old[3], const bool changed[3],
                      const std::array<std::optional<TStepCommandList>, 3>& lists);

// The copies the job's entities are drawn with, counted as the job file
// reader counts them: each entity once for every copy of its chain, the
// lines and arcs of a rout path with the chain of the jog before them.
int64_t JobDrawnCopies();
// How many entities draw with the chain of the rout path start at the
// handle: a jog with the lines and arcs after it on its layer, up to the
// next jog; any other start alone.
int64_t RoutStartDrawn(int32_t handle);
// The points the copies of the rout path start at the handle are made of,
// as the job file reader looks at them: its own point and, for a jog, the
// ends of the lines and arcs after it up to the next jog, an arc's centre
// too.
std::vector<TIntPoint> RoutStartReach(int32_t handle);
// "The job's stepped entities would come to N copies; a job file holds at
// most 2,147,483,647."
std::string JobDrawnCopiesText(int64_t copies);
// Whether the job's drawn copies stay within JobDrawnCopiesLimit() when the
// entities whose chains are given (drawn as for JobStepsTakePattern) are
// given pattern (nullptr: none) in their place; else the error box
// ("... " refused) and false.
// With reach (as for JobStepsTakePattern), an entity whose copies would
// leave the coordinate range with the pattern is refused too.
bool JobDrawnCopiesTakeChains(const std::vector<TStepObject*>& chains, const std::vector<int64_t>& drawn,
                              const TStepObject* pattern, const char* refused,
                              const std::vector<std::vector<TIntPoint>>& reach = {});
