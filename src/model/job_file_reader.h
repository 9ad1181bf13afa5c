// The job database file "*.ZUL": its reader and record handlers.
//
// TJobFileReader knows the syntax (records of "0" + name, fields as pairs of
// a group-code line and a value line, sections up to ENDSEC, the file up to
// EOF) and hands every record to one virtual handler. Record names and group
// codes are compared upper-cased with blanks removed; numbers are read
// leniently. Record names a section does not know and group codes that name
// no field are passed over. The file is read in blocks of 256 KB; a line as the
// writer writes it (a number, a record name) is taken straight from the
// block, any other one is compared as just described.
//
// TJobFileLoader implements the handlers: it checks every record (layers
// inside their group, tool numbers 1..1000, step lists without cycles and at
// most three levels deep, repeat counts at most kMaxStepCopies, the lists
// the entities use expanding to no more than JobFileStepWorkLimit commands
// and copies in all, no more entities than the stores of an empty job take)
// and collects the job in a TJobContents, the drill holes made at once in a
// batch laid out as the drill store keeps them. Only a file read to its EOF record
// without a fault is put into the databases, so a damaged file leaves the job
// as it was; the fault is reported with the number of the line where it was
// found. A pattern that cannot expand where its entities stand is no fault:
// those entities are put in without it (CommitJobContents names them).
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "model/drill_database.h"
#include "model/step_repeat.h"

// The text of an entity (a drill text, a rout command) is written as it
// stands under group 3, unless it holds a byte the value line cannot carry
// (CR, LF or the DOS end-of-file mark Ctrl-Z): then it goes under group 1
// with every control byte, DEL and "%" written as "%" and two hex digits.
// Texts without those bytes are written as they always were.
constexpr int32_t kJobTextGroup = 3;
constexpr int32_t kJobEscapedTextGroup = 1;
// True when the text needs group 1.
bool JobTextNeedsEscape(std::string_view text);
// The value line of group 1 for the text.
std::string EscapeJobText(std::string_view text);
// The text a value line of group 1 stands for (CRs in the line, which the
// writer never puts there, are dropped; a "%" not followed by two hex
// digits stands for itself), cut to 255 characters.
std::string UnescapeJobText(std::string_view line);

// The fields of one record as read; a missing field is 0.
struct TJobFields {
  std::string Text;       // group 3, the value line as read (or group 1 decoded)
  std::string LayerText;  // group 8 as compared (upper case, no blanks)
  int32_t Layer = 0;      // group 8 as a number
  int32_t X = 0, Y = 0;   // 10, 20
  int32_t X2 = 0, Y2 = 0; // 11, 21
  int32_t X3 = 0, Y3 = 0; // 12, 22
  int32_t Radius = 0;     // 40
  int32_t Flag42 = 0;     // arc direction / G32
  int32_t Side = 0;       // 43 compensation side
  int32_t Vertical = 0;   // 44
  int32_t HoldOff = 0;    // 45
  int32_t Tool = 0;       // 50
  int32_t Index = 0;      // 51 compensation index / tool of COMPINDEX
  int32_t StepId = 0;     // 52
  int32_t NestedId = 0;   // 53
  int32_t G[7] = {};      // 60..66
  int32_t Count = 0;      // 70
  int32_t Orientation = 0;// 71
  bool HasLayer = false;
  bool HasCount = false;

  // Every field missing again, as a new record starts (the texts keep
  // their storage). A field added above is cleared here too.
  void Clear() {
    Text.clear();
    LayerText.clear();
    Layer = X = Y = X2 = Y2 = X3 = Y3 = Radius = Flag42 = Side = Vertical = HoldOff = 0;
    Tool = Index = StepId = NestedId = Count = Orientation = 0;
    for (int32_t& g : G) g = 0;
    HasLayer = HasCount = false;
  }
};

class TJobFileReader {
 public:
  // Opens nothing yet: the file must exist (a name holding "*" or "?"
  // counts as missing), else "File does not exist!" is reported.
  explicit TJobFileReader(const std::string& fileName);
  virtual ~TJobFileReader() = default;

  // Reads the whole file; false when it is missing, unreadable or faulty
  // (reported through ReportError).
  bool Run();

  bool Opened() const { return Opened_; }
  bool Failed() const { return Failed_; }
  // The line of the record being handled (1-based).
  int32_t RecordLine() const { return RecordLine_; }
  // The records passed over because they are unknown where they stand (a
  // newer version's records, or a damaged name): how many, and the lines of
  // the names of the first kMaxSkippedLines.
  static constexpr std::size_t kMaxSkippedLines = 20;
  int32_t SkippedRecords() const { return SkippedRecords_; }
  const std::vector<int32_t>& SkippedLines() const { return SkippedLines_; }
  const std::string& FileName() const { return FileName_; }

 protected:
  // A handler that finds the record unusable calls Fail; reading stops and
  // the text is reported with the record's line.
  void Fail(const std::string& text) { FailAt(RecordLine_, text); }
  void FailAt(int32_t line, const std::string& text);

  virtual void ReportError(const std::string& text) = 0;
  virtual void AddPoint(const TJobFields& f) = 0;
  virtual void AddLine(const TJobFields& f) = 0;
  virtual void AddArc(const TJobFields& f) = 0;
  virtual void AddCircle(const TJobFields& f) = 0;
  virtual void AddDrillHole(const TJobFields& f) = 0;
  virtual void AddDrillSlot(const TJobFields& f) = 0;
  virtual void AddDrillCircle(const TJobFields& f) = 0;
  virtual void AddDrillText(const TJobFields& f) = 0;
  virtual void AddRoutHole(const TJobFields& f) = 0;
  virtual void AddRoutJog(const TJobFields& f) = 0;
  virtual void AddRoutLine(const TJobFields& f) = 0;
  virtual void AddRoutArc(const TJobFields& f) = 0;
  virtual void AddRoutCircle(const TJobFields& f) = 0;
  virtual void AddRoutCommand(const TJobFields& f) = 0;
  // group 8 starting with "R": rout tool; "D" or none: drill tool.
  virtual void SetDrillTool(const TJobFields& f) = 0;
  virtual void SetRoutTool(const TJobFields& f) = 0;
  virtual void SetCompIndex(const TJobFields& f) = 0;
  virtual void SetDrillG93(const TJobFields& f) = 0;
  virtual void SetRoutG93(const TJobFields& f) = 0;
  // STEPLIST opens a list; M01 a pattern mark (count in f.Count, 1 when
  // absent); M02 a step; M08 ends the list's commands (id, nested id);
  // ENDSTEPLIST closes it.
  virtual void BeginStepList() = 0;
  virtual void AddStepMark(const TJobFields& f) = 0;
  virtual void AddStep(const TJobFields& f) = 0;
  virtual void EndStepList(const TJobFields& f) = 0;
  // After the last record (EOF), before Run returns.
  virtual void ResolveSteps() = 0;
  // Lets the GUI run once (a loop's pass), every 101 lines.
  virtual void Yield();

  // A hole record of the entities section as the writer writes it, read
  // straight from the buffer: group 8 (the layer within the drill layers),
  // 10, 20, 50 and 52; a missing field is 0.
  struct TPlainHole {
    int32_t Layer = 0;
    int32_t X = 0, Y = 0;
    int32_t Tool = 0;
    int32_t StepId = 0;
  };
  // Takes such a hole (RecordLine() is the line of its name): false, with
  // nothing changed, when it needs the general way, which then reads the
  // record again and reports what is wrong with it. This one takes none.
  virtual bool TakePlainHole(const TPlainHole& hole);
  // Reads the hole records that follow the "0" just read, as long as each is
  // one as the writer writes it ("DRILLHOLE", groups 8, 10, 20, 50 and 52 of
  // plain numbers, lines ended by CR LF) held in the buffer up to the "0"
  // of the next record, and TakePlainHole takes it; the lines are counted
  // as one by one. The first other record is left for NextRecord. A reader
  // that takes holes by the million reads them with ReadPlainHoleRun and a
  // call of its own.
  virtual void ReadPlainHoles();
  // The same, each hole handed to take(const TPlainHole&), which answers as
  // TakePlainHole does.
  template <class TTake>
  void ReadPlainHoleRun(TTake&& take);

 private:
  // The next line of the file (every CR removed, cut at a Ctrl-Z); false at
  // the end of the text or after a fault. The line stays readable until the
  // next one is read.
  bool ReadLine();
  // The next line that is not blank (where a group code or "0" belongs).
  bool ReadCodeLine();
  // The line as read, cut to 255 characters.
  const std::string& Raw();
  // The line as compared: Raw upper-cased, blanks removed.
  const std::string& Work();
  // Reads the next line when it is an optional "-" and one to eighteen
  // digits, ended by the end of a line held in the buffer (how the writer
  // writes every number): the value. False, with nothing read, for any
  // other line, which then takes the general way.
  bool ReadPlainNumberLine(int64_t& value);
  // The same for a line of at most sixteen capital letters and digits (how
  // the writer writes record names).
  bool ReadPlainNameLine();
  // The fields of a record as the writer writes them (pairs of a group code
  // of one to three digits and a value within 32 bits, neither a text,
  // lines ended by CR LF) up to the "0" that starts the next record, all
  // held in the buffer: read in one pass, with the lines counted as one by
  // one. False, with nothing read, for any other record, which then takes
  // the general way.
  static constexpr int32_t kMaxPlainPairs = 16;
  bool ReadPlainFields(TJobFields& f);
  // Makes the bytes from begin to end the current line; the next one starts
  // at next.
  void TakeLine(const char* begin, const char* end, const char* next);
  // True when the line reads "0" (as compared).
  bool LineIsZero();
  // The line as a group code (an optional sign and digits); false, with the
  // fault reported, when it is none.
  bool ReadGroupCode(int32_t& code);
  // The line as the value of a numeric group; false, with the fault
  // reported, when it lies outside 32 bits.
  bool ReadNumericValue(int32_t code, int32_t& value);
  // Moves the unread rest of the buffer to its front and reads the next
  // block behind it; false after a read error (reported).
  bool Refill();
  void Tick();
  // Tick for that many lines at once.
  void TickLines(int32_t lines);
  void Parse();
  // The next record: its kind, its name when the kind is unknown, the line
  // of the name and its fields; false at the end of the file or after a
  // fault.
  bool NextRecord(std::string& name, uint8_t& kind, int32_t& nameLine, TJobFields& f);
  void Dispatch(uint8_t section, uint8_t kind, const std::string& name, const TJobFields& f,
                bool& inList);
  void ReportReadError(int error);
  // Counts the record being handled as passed over.
  void Skip();

  std::string FileName_;
  bool Opened_ = false;
  bool Failed_ = false;
  int32_t LineCounter_ = 0;
  int32_t TickCounter_ = 0;
  int32_t RecordLine_ = 0;
  int Fd_ = -1;                // open while Run reads
  std::unique_ptr<char[]> Buffer_;
  std::size_t Capacity_ = 0;
  std::size_t Next_ = 0;       // the first unread byte of the buffer
  std::size_t End_ = 0;        // the end of the bytes read
  std::size_t DosMark_ = 0;    // the first Ctrl-Z at or after Next_, else npos
  bool AtEnd_ = false;         // the file is read to its end
  // The current line: its bytes in the buffer (a trailing CR left out), and
  // the copies made of it on demand.
  const char* Line_ = nullptr;
  std::size_t LineSize_ = 0;
  bool RawMade_ = false, WorkMade_ = false;
  std::string Raw_, Work_;
  bool PendingStart_ = false;  // the "0" line of the next record is read
  bool DosEndSeen_ = false;  // a Ctrl-Z ended the text
  int32_t SkippedRecords_ = 0;
  std::vector<int32_t> SkippedLines_;
};

// What a job file holds, checked and ready to be put into the databases.
struct TJobContents {
  struct TDrillTool {
    int32_t Tool;
    int32_t Diameter, Feed, Speed, ZOffset, MaxHits;
    uint8_t FirstLastHit;
  };
  struct TRoutTool {
    int32_t Layer;  // 40..44
    int32_t Tool;
    int32_t Diameter, HighFeed, LowFeed, ZOffset;
  };
  struct TCompIndex {
    int32_t Layer, Tool, Value;
  };
  struct TStepList {
    int32_t Id = 0;
    int32_t NestedId = 0;
    int32_t Line = 0;
    // An entity uses the list, or a list an entity uses nests it: only
    // these are expanded and put in (set once the file is read).
    bool Used = false;
    TStepCommandList Commands;
    // The copies the chain expands to (set with Used).
    int32_t Copies = 0;
  };
  // One entity: its type code (1..15), the absolute layer and the fields
  // its type uses; Text indexes Texts (-1 for none).
  struct TEntity {
    uint8_t Type = 0;
    uint8_t Layer = 0;
    uint8_t Side = 0;     // 0..2
    uint8_t Flag = 0;     // G32, vertical text: 0 or 1
    uint8_t HoldOff = 0;  // 0..255
    int32_t X = 0, Y = 0, X2 = 0, Y2 = 0, X3 = 0, Y3 = 0;
    int32_t Radius = 0, Tool = 0, Index = 0, StepId = 0, Feed = 0, ZOffset = 0;
    int32_t Text = -1;
  };
  // Appends the entity to the list; a drill slot, circle or text also
  // takes the next slot of Drill, which waits empty for it (a drill hole
  // goes to AddDrillHole).
  void AddEntity(const TEntity& e);
  // Appends a drill hole (layer 30..39, tool 1..1000) to Drill, made at
  // once with the bands of its tool's diameter as read so far.
  void AddDrillHole(uint8_t layer, int32_t x, int32_t y, int32_t tool, int32_t stepId);
  // Appends a drill tool record.
  void AddDrillTool(const TDrillTool& tool);
  // Calls visit(const TEntity&) for each entity of the list (all but the
  // drill holes) in the order added.
  template <class F>
  void ForEachEntity(F&& visit) const;
  // Every entity read, the drill holes included.
  int32_t EntityCount() const { return EntityCount_; }
  // Room for about this many words of entities in the list.
  void ReserveEntityWords(std::size_t words) { EntityWords_.reserve(words); }
  // True when the bands the holes were made with are those of the tool
  // table in force (checked after the drill tools are put in).
  bool HoleBandsHold() const;

  std::vector<std::string> Texts;
  std::vector<TDrillTool> DrillTools;
  std::vector<TRoutTool> RoutTools;
  std::vector<TCompIndex> CompIndices;
  std::vector<TStepList> StepLists;
  bool HasDrillG93 = false;
  int32_t DrillG93X = 0, DrillG93Y = 0;
  struct TRoutG93 {
    int32_t Layer, X, Y;
  };
  std::vector<TRoutG93> RoutG93s;
  // Records the reader passed over: how many, the lines of the first ones.
  int32_t SkippedRecords = 0;
  std::vector<int32_t> SkippedLines;
  // The entities CommitJobContents put in without their step chain, which
  // cannot expand where they stand (more than kMaxStepCopies copies, or a
  // copy outside the coordinate range): how many, and the first
  // kMaxStepNotices of them named ("the drill hole at X 1.0 Y 2.0").
  static constexpr std::size_t kMaxStepNotices = 8;
  int64_t UnappliedSteps = 0;
  std::vector<std::string> StepNotices;
  // The drill entities in the order read, as the drill store is to hold
  // them: the holes themselves, an empty slot for each other one, whose
  // record the list keeps; the indices of those slots in order; the holes
  // with a step id, by index.
  TDrillEntityBatch Drill;
  std::vector<int32_t> DrillSlotsWaiting;
  std::vector<std::pair<int32_t, int32_t>> HoleSteps;

 private:
  // The fields each type keeps, after the head word (type, layer, side,
  // flag, hold-off and whether a step id follows the fields).
  struct TFieldList {
    int32_t Count;
    int32_t TEntity::*Fields[7];
  };
  static const TFieldList& FieldsOf(uint8_t type);
  static TEntity Unpack(const int32_t*& word);

  // Some five words an entity, where whole records would take fifteen.
  std::vector<int32_t> EntityWords_;
  int32_t EntityCount_ = 0;
  // The drill tools' diameters as read so far (a hole's bands take its
  // tool's), which tools the holes use, and whether a tool's diameter
  // changed after holes were made with it.
  std::array<int32_t, 1001> ToolDiameters_{};
  std::array<bool, 1001> HoleTools_{};
  bool HoleBandsStale_ = false;
};

template <class F>
void TJobContents::ForEachEntity(F&& visit) const {
  const int32_t* word = EntityWords_.data();
  const int32_t* const end = word + EntityWords_.size();
  while (word < end) visit(Unpack(word));
}


// The entity types whose step id (group 52) the job keeps: every drill
// entity, and the rout entities that start a path (jog, circle, hole) and
// rout commands.
bool JobEntityCarriesSteps(uint8_t type);

// What the step lists of one job may ask of the reader and of the job it
// loads, in commands and copies: each list an entity uses is expanded with
// the lists it nests (its chain), and the job holds every expansion. Lists
// no entity uses are never expanded and count nothing. The editors and
// imports make no pattern that takes the job past kMaxJobStepWork (see
// JobStepWork); the reader takes twice that, so a save never refuses what
// the job holds: an undo in one mode brings back patterns that the other
// mode's edits were not counted against, each mode's own held to the bound.
constexpr int64_t kMaxJobStepWork = 16000000;
// The bound in force: kMaxJobStepWork, unless a test lowered it (reaching
// the real one takes seconds under the sanitizers); 0 or less restores it.
int64_t JobStepWorkLimit();
void SetJobStepWorkLimit(int64_t work);
// What the reader takes of a job file: twice the bound in force.
inline int64_t JobFileStepWorkLimit() { return 2 * JobStepWorkLimit(); }
// The copies a job file's entities may come to in all (each entity counted
// once for every copy of its chain): the most hits the job counts. A file
// whose entities come to more would take hours to draw; the reader refuses
// it. The editors keep the job to half of it, so that an undo in the other
// mode, which no count stops, still leaves a job the reader opens.
constexpr int64_t kMaxJobDrawnCopies = 2147483647;
constexpr int64_t kMaxEditedDrawnCopies = kMaxJobDrawnCopies / 2;
// The editors' limit in force: kMaxEditedDrawnCopies, unless a test lowered
// it (a job of that many copies cannot be built in a test); 0 or less
// restores it.
int64_t JobDrawnCopiesLimit();
void SetJobDrawnCopiesLimit(int64_t copies);
// What the reader takes of a job file: twice the editors' limit and one
// (kMaxJobDrawnCopies unless lowered).
inline int64_t JobFileDrawnCopiesLimit() { return 2 * JobDrawnCopiesLimit() + 1; }
// The work of one chain of that many commands expanding to that many copies.
inline int64_t StepChainWork(std::size_t commands, std::size_t copies) {
  return int64_t(commands) + int64_t(copies);
}

class TJobFileLoader : public TJobFileReader {
 public:
  explicit TJobFileLoader(const std::string& fileName) : TJobFileReader(fileName) {}
  TJobContents Contents;

 protected:
  void ReportError(const std::string& text) override;
  void AddPoint(const TJobFields& f) override { AddCad(1, f); }
  void AddLine(const TJobFields& f) override { AddCad(2, f); }
  void AddArc(const TJobFields& f) override { AddCad(3, f); }
  void AddCircle(const TJobFields& f) override { AddCad(4, f); }
  void AddDrillHole(const TJobFields& f) override { AddDrill(12, f); }
  void AddDrillSlot(const TJobFields& f) override { AddDrill(13, f); }
  void AddDrillCircle(const TJobFields& f) override { AddDrill(14, f); }
  void AddDrillText(const TJobFields& f) override { AddDrill(15, f); }
  void AddRoutHole(const TJobFields& f) override { AddRout(10, f); }
  void AddRoutJog(const TJobFields& f) override { AddRout(5, f); }
  void AddRoutLine(const TJobFields& f) override { AddRout(6, f); }
  void AddRoutArc(const TJobFields& f) override { AddRout(f.Flag42 != 0 ? 8 : 7, f); }
  void AddRoutCircle(const TJobFields& f) override { AddRout(9, f); }
  void AddRoutCommand(const TJobFields& f) override { AddRout(11, f); }
  void SetDrillTool(const TJobFields& f) override;
  void SetRoutTool(const TJobFields& f) override;
  void SetCompIndex(const TJobFields& f) override;
  void SetDrillG93(const TJobFields& f) override;
  void SetRoutG93(const TJobFields& f) override;
  void BeginStepList() override;
  void AddStepMark(const TJobFields& f) override;
  void AddStep(const TJobFields& f) override;
  void EndStepList(const TJobFields& f) override;
  void ResolveSteps() override;
  // The drawing of the job, once it is put in, paints every entity once for
  // itself and once for each copy of its chain (the lines and arcs of a rout
  // path those of its start): false, with the fault reported, when that
  // comes to more copies than JobDrawnCopiesLimit().
  bool CheckDrawnCopies();
  bool TakePlainHole(const TPlainHole& hole) final;
  void ReadPlainHoles() override;

 private:
  // TakePlainHole, called in place for each hole of a run.
  bool TakeHole(const TPlainHole& hole);
  void AddCad(uint8_t type, const TJobFields& f);
  void AddDrill(uint8_t type, const TJobFields& f);
  void AddRout(uint8_t type, const TJobFields& f);
  bool CheckTool(int32_t tool, const char* what);
  bool CheckRoutLayer(const TJobFields& f, int32_t& layer);
  bool CheckCount(int32_t count);
  // One entity more for a store that holds at most highest: false, with the
  // fault reported, when the file holds more than an empty job takes.
  bool CheckRoom(int32_t& count, int32_t highest, const char* store);
  int32_t CadCount_ = 0, DrillCount_ = 0, RoutCount_ = 0;
  TStepCommandList List_;
  // The ids of the step lists read so far.
  std::unordered_set<int32_t> StepListIds_;
};

// Reads and checks the file without changing the job: true with the
// contents, false after the fault was reported (a missing file: "File does
// not exist!").
bool ReadJobFile(const std::string& fileName, TJobContents& contents);
// Puts checked contents into DB, DRDB and RTDB (added to what they hold),
// the tool tables and the origins, and rebuilds the step objects; an entity
// whose chain cannot expand where it stands (a rout path start: at any
// point of its path) is put in without it, counted in UnappliedSteps. The
// entities are neither journalled nor drawn: the caller resets the journals
// and shows the job. The drill entities move from the contents to DRDB.
void CommitJobContents(TJobContents& contents);
// ReadJobFile, then CommitJobContents when the file was sound; false when
// nothing was loaded.
bool LoadJobFile(const std::string& fileName);
