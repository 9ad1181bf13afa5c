// The NC tape reader: one engine that reads Excellon-style drill and rout
// tapes for the whole program. It knows nothing of databases; everything it
// finds is handed out through 39 virtual operations (in a fixed slot order)
// that the drill, rout and Excellon-to-CAD imports override.
//
// Calling order of a consumer: construct (the TNCReader constructor takes the
// format options), optional setters, Run, then (drill import) TakeFirstTool
// until it answers false and RoutCommandsSeen, then Done (each consumer's
// Done calls Finish).
//
// Units: the reader decodes in tape units (integers in the tape's digit
// format) and converts to internal units (25,400,000 per inch, 1,000,000
// per millimetre) when it builds move records; every coordinate, size and
// tool value handed to a virtual operation is the internal value divided by
// Divisor (truncating toward zero).
//
// Where the operations live:
//   nc_reader.cpp         object, construction, Finish, CheckIO, CountHit
//   nc_reader_run.cpp     Run and the file drivers, M99 subprograms, symbol file
//   nc_tools.cpp          tool lists and T words
//   nc_orient.cpp         orientation codes, axis versions, record builders,
//                         pattern restart
//   nc_units.cpp          units, word formats, per-file reset, word list
//   nc_blocks.cpp         block interpretation (InterpretNcBlock ...)
//   nc_moves.cpp          moves and routed circles
//   nc_patterns.cpp       patterns, drilled text and header blocks
//   nc_cycles.cpp         canned drill cycles
//   nc_emit.cpp           move emission and the compensation look-ahead
//   nc_hits.cpp           base Slot, Circle and DrilledText (single hits,
//                         through nc_hit_expansion.cpp)
//   drill_time_estimator.cpp
#pragma once
#include <array>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/display_units.h"
#include "foundation/swap_filter.h"
#include "model/entity_store.h"
#include "tapein/drill_time_estimator.h"
#include "tapein/nc_words.h"
#include "tapein/tape_faults.h"

// ---- Program-wide switches of the contour offset engine --------------------
// The reader's run sets ArcAdjustDisabled to the negation of its ArcAdjust
// field; the offset engine clears it after its work.
extern bool ArcAdjustDisabled;
// The offset engine clamps coordinates to plus or minus this value; the reader
// sets it to 2147483647.0 at the start of every file.
extern double CoordinateLimit;

// The pieces as one text, its room taken once: a message put together with
// + grows its text piece by piece, an allocation each time.
std::string JoinText(std::initializer_list<std::string_view> pieces);
// "Line <line>: the pattern's repeats were not applied to <n> entities: the
// job's step patterns would come to more than <bound> commands and copies,
// all a job file holds."
std::string PatternPastJobBoundText(int32_t line, int32_t entities, int64_t bound);
// "Line <line>: the pattern's repeats were not applied to <n> entities: the
// job's stepped entities would come to more than <limit> copies, all a job
// file holds."
std::string PatternPastDrawnCopiesText(int32_t line, int32_t entities, int64_t limit);
// "Line <line>: the pattern's repeats were not applied to <n> entities
// already repeated by <levels> patterns."
std::string PatternTooDeepText(int32_t line, int32_t entities, int32_t levels);
// "Line <line>: the pattern's repeats were not applied to <n> entities: they
// would make more than 65,535 copies or move outside the coordinate range."
std::string PatternCannotExpandText(int32_t line, int32_t entities);
// The lines on pattern repeats not applied, one a line, the first
// kPatternNoticeLines of them and a count of the rest, for a box.
constexpr std::size_t kPatternNoticeLines = 8;
std::string PatternNoticesText(const std::vector<std::string>& lines);

// ---- Move records ------------------------------------------------------------

// Block texts queued behind a move, handed to UnparsedBlock after it, in
// tape order: a text queued again right after itself (a block its line's R
// repeats) adds to the count of the one kept, so that a repeat of thousands
// keeps one copy of the text.
struct TPendingTexts {
  struct TRun {
    std::string Text;
    int64_t Count = 1;
  };
  std::vector<TRun> Runs;
  void Add(const std::string& text) {
    if (!Runs.empty() && Runs.back().Text == text)
      ++Runs.back().Count;
    else
      Runs.push_back({text, 1});
  }
};

// Move kinds.
inline constexpr uint8_t NCMoveNone = 0;      // flush
inline constexpr uint8_t NCMoveLine = 2;
inline constexpr uint8_t NCMoveArcCW = 3;
inline constexpr uint8_t NCMoveArcCCW = 4;
inline constexpr uint8_t NCMoveRapid = 5;  // head up
inline constexpr uint8_t NCMoveHit = 6;
inline constexpr uint8_t NCMoveText = 7;
inline constexpr uint8_t NCMoveSlot = 8;
inline constexpr uint8_t NCMoveCircle = 9;

// The reader's move record. On disk (the symbol scratch file) and in the
// exchange with the contour offset engine it is a 273-byte record, written
// field by field little-endian (PackMove / UnpackMove); the pending-text
// reference is written as 0.
struct TNCMove {
  uint8_t Kind = NCMoveNone;
  int32_t SourceBlock = 0;
  int32_t StartX = 0;
  int32_t StartY = 0;
  TPendingTexts* PendingTexts = nullptr;  // owned by whoever holds the record
  int32_t EndX = 0;
  int32_t EndY = 0;
  int32_t CentreX = 0;  // arc centre; hit X (kind 6); circle diameter (9); 1 = vertical text (7)
  int32_t CentreY = 0;  // arc centre; hit Y (kind 6)
  uint8_t Comp = 0;     // 0 off, 1 left, 2 right
  uint8_t FromRepeat = 0;
  uint8_t Head = 0;     // 1 = head down
  int32_t Tool = 1;
  int32_t ToolOffset = 1;
};

inline constexpr int32_t NCMoveRecordSize = 273;
// Most pins one package cycle drills (both rows): far beyond any real part,
// small enough that a mistyped pitch cannot flood the job.
inline constexpr int32_t kMaxPackagePins = 10000;
void PackMove(const TNCMove& move, unsigned char* record);
TNCMove UnpackMove(const unsigned char* record);
// Kind 0, SourceBlock 1, Tool 1, ToolOffset 1, every other field 0.
TNCMove BlankMove();

// ---- Tool lists ----------------------------------------------------------------

struct TToolRec {
  uint16_t Tool = 0;
  int32_t Diameter = 0;  // internal units
  int32_t Feed = 0;      // internal units per second
  int32_t Spare = 0;
  int32_t Speed = 0;     // S value as written
  int32_t Depth = 0;     // internal units
  int32_t MaxHits = 0;   // 0 = no limit
  int32_t Hits = 0;
  bool InchDefined = false;
  int64_t Travel = 0;    // internal units
  std::string Comment;
  std::string Definition;
};

// ---- Per-file work record ---------------------------------------------------

// One pattern level (index 1..3 of the arrays below; 0 unused).
inline constexpr int PatternLevels = 3;

// 1 when the pattern orientation code 0..7 mirrors the plane (an odd number
// of its swap, mirror-X and mirror-Y bits is set).
inline constexpr uint8_t MirrorParity[8] = {0, 1, 1, 0, 1, 0, 0, 1};

struct TGlobalRec {
  TGlobalRec() = default;
  TGlobalRec(const TGlobalRec&) = delete;
  TGlobalRec& operator=(const TGlobalRec&) = delete;
  ~TGlobalRec();  // releases both swap objects, closes open files, frees queued texts

  SwapReadFileObj MainSwap;  // main input file through the swap filter
  SwapReadFileObj SubSwap;   // current M99 subprogram file
  bool MainSwapOpen = false;
  bool SubSwapOpen = false;
  // The M99 subprogram tapes whose tape feed inside a block the read's
  // messages told of already: each is told once, however often it is read.
  std::vector<std::string> SubFeedTold;
  std::string InputDir;      // directory of the input file with its "\", or empty

  // Interpreter state (block interpretation, moves).
  int32_t CurX = 0, CurY = 0;    // programmed position, tape units
  int32_t PrevX = 0, PrevY = 0;  // start of the next move
  int32_t MotionMode = 5;        // 0 rapid, 1 line, 2 cw, 3 ccw, 5 drill, 32/33 routed circle
  uint8_t CompSide = 0;          // 0 off, 1 left, 2 right
  uint8_t LastCompSide = 0;
  bool HeadDown = false;
  bool LastHeadDown = false;
  int32_t ArcRadius = 0;
  int32_t ArcI = 0, ArcJ = 0;
  bool IJSeen = false;
  int32_t ToolNumber = 1;        // new tool of the T word
  int32_t ToolOffset = 1;        // new compensation tool of the T word
  int32_t G92X = 0, G92Y = 0;
  int32_t RepeatStepX = 0, RepeatStepY = 0;
  // Records emitted for the main file's present line (its repeats and
  // subprogram calls included) and for the whole tape.
  int64_t LineEmits = 0;
  int64_t TapeEmits = 0;
  // Lines read from the tape, those read again for pattern repeats included.
  int64_t LinesRead = 0;
  // A store that refuses an entity stops the reading at once, with one
  // message (not one box per entity refused).
  TStoreRefusalWatch StoreWatch;
  int32_t SymbolStepX = 0, SymbolStepY = 0;
  int32_t DispatchIndex = 0;
  bool BlockDone = false;
  int32_t HandledCount = 0;

  // Tool change state (tool lists).
  int32_t CurrentTool = 0;
  int32_t CurrentCompTool = 0;
  int32_t PrevCompTool = 0;
  bool ReportToolAgain = true;

  bool ErrorInFile = false;
  bool EndOfProgram = false;
  bool InPattern = false;
  bool FromPercent = false;
  bool InHeader = false;
  bool WasHeader = false;
  bool HeaderComments = false;  // skipped lines are of kind 0
  bool ProgramBegun = false;    // a block outside the header was read

  // Units (ResetNumberFormat).
  double DecimalStep = 1.0;
  double InchFactor = 25400000.0;
  double MetricFactor = 25400000.0 * 0.03937007874015748;
  double MetricScale = 0.0;
  double InchScale = 0.0;

  std::FILE* MainText = nullptr;
  std::string Line;     // the block being decoded (blanks removed)
  std::string RawLine;  // the same line as read (after the swap filter)
  std::array<char, MaxBlockWords + 1> Letters{};    // entries 1..WordCount
  std::array<int32_t, MaxBlockWords + 1> Values{};  // entries 1..WordCount
  int32_t WordCount = 0;
  int32_t WordCursor = 1;

  // M99 subprograms.
  std::string SubName;
  std::FILE* SubText = nullptr;
  int32_t SubOffsetX = 0, SubOffsetY = 0;
  int32_t SubLineCount = 0;  // the subprogram tape line read last, as the tape counts it
  bool InSub = false;
  int32_t SubBaseX = 0, SubBaseY = 0;

  // Symbol scratch file of 273-byte move records. The default symbol an
  // opened tape starts with is kept in DefaultSymbol (pin centres, internal
  // units) until a package cycle records its own: the file is made then, and
  // most tapes never make it.
  std::string SymbolFileName;
  std::FILE* SymbolFile = nullptr;
  bool SymbolDefining = false;
  int32_t SymbolHits = 0;  // pins recorded in the symbol file
  bool SymbolFileMade = false;  // a cycle opened it: it is erased at the close
  std::array<std::pair<int32_t, int32_t>, 14> DefaultSymbol{};
  int32_t DefaultSymbolPins = 0;  // 14 until a cycle begins a symbol of its own

  bool Format2 = true;

  // Patterns (levels 1..3).
  int32_t PatternLevel = 0;
  std::array<int32_t, PatternLevels + 1> RepeatCount{};
  std::array<int32_t, PatternLevels + 1> RepeatLimit{};
  std::array<int32_t, PatternLevels + 1> LevelOffsetX{};
  std::array<int32_t, PatternLevels + 1> LevelOffsetY{};
  std::array<bool, PatternLevels + 1> LevelSwap{};
  std::array<bool, PatternLevels + 1> LevelMirrorX{};
  std::array<bool, PatternLevels + 1> LevelMirrorY{};
  int32_t PatternStartPos = 0;  // main input lines read when the pattern began
  // An M25 (or the % or M95 that ends the header) began the pattern a
  // repeat reads again; the end of a step and repeat (M08) forgets it, so a
  // later group without an M25 of its own has nothing to read again.
  bool PatternBegun = false;
  int32_t StepRepeatEndLine = 0;  // line of the M08 that ended the last step and repeat
  bool PatternReread = false;     // a pattern was read again
  int32_t BlockPos = 0;         // main input lines read up to the block being read
  int32_t BlockBase = 0;
  int32_t PatternOffsetX = 0, PatternOffsetY = 0;
  uint8_t PatternOrientation = 0;
  int32_t PassCounter = 1;

  // Drilled text.
  bool PendingText = false;
  bool TextIsM98 = false;
  std::string PendingTextLine;
  std::string MarkingText;

  // Canned cycles.
  bool DrillCycleG81 = false;
  bool DrillCycleG83 = false;
  int32_t DipStage = 0;
  int32_t LPackStage = 0;
  int32_t DipFirstX = 0, DipFirstY = 0, DipSecondX = 0, DipSecondY = 0;
  int32_t LPackFirstX = 0, LPackFirstY = 0, LPackSecondX = 0, LPackSecondY = 0;
  int32_t DipPitch = 0, DipRowSpacing = 0;
  int32_t CircleDiameter = 0;

  // Emission.
  TNCMove HeldMove;
  int32_t LastEndX = 0, LastEndY = 0;
  // The notice that compensated moves are read uncompensated was given.
  bool UncompensatedNoticeGiven = false;

  // The tape stated its digits (a ";FILE_FORMAT=" comment or "000.000" on a
  // unit line): a later unit switch keeps them.
  bool DigitsStated = false;
  // Line of the M48 that opened the header being read.
  int32_t HeaderLine = 0;
  // A T0 the header defined with a size: read as a tool of its own, the
  // first number the header left free (ZeroTool, 0 until given).
  bool ZeroToolDefined = false;
  int32_t ZeroToolDiameter = 0;  // internal units
  bool ZeroToolInch = false;
  std::string ZeroToolDefinition;
  int32_t ZeroTool = 0;
};

// ---- The reader ------------------------------------------------------------------

// A ";FILE_FORMAT=i:d" line (blanks and case aside): the statement of a
// tape's digits.
bool IsTapeDigitsStatement(const std::string& line);

class TNCReader;
// Most holes and moves one line of a tape may make through its repeats
// (R, P, M02 R, subprogram calls, drilled slots and circles), and one tape
// in all (as many as the largest database holds): more stops the reading
// with an error naming the line.
inline constexpr int64_t MaxLineEmits = 100000;
// Most digits a tape format may give the integer or the decimal part.
inline constexpr int32_t MaxFormatDigits = 10;
inline constexpr int64_t MaxTapeEmits = 1000000;
// Most lines one reading may read, a pattern's lines read again for each of
// its repeats counted each time.
inline constexpr int64_t MaxTapeLines = 4000000;

// Plain hole lines take the one-pass decoding and block (ProcessLine), and
// a hole with no move held and no text queued goes to the consumer without
// a move record (BuildHit); cleared only by tests that compare it with the
// general way.
extern bool PlainLineFastPath;

// The reader under construction or run; the swap filters' error callback
// reports into it. Finish clears it.
extern TNCReader* CurrentReader;

// Message ids of GetText.
inline constexpr int32_t TextNestedM99 = 740;     // "Illegal nested M99 call!"
inline constexpr int32_t TextM99NotFound = 741;   // "Error : M99 file not found!"
inline constexpr int32_t TextSomeErrors = 5000;   // "Some errors were detected in this file."
inline constexpr int32_t TextInspectOutput = 5001;  // "Inspect the output carefully!"

class TNCReader {
 public:
  // fileName, swap filter list, scratch directory, divisor, zeroMode (set:
  // leading zeros are written, so trailing ones are suppressed), digits,
  // incremental, arc-adjust, metric, axis version 1-8, block delete,
  // counter-clockwise. Every field is given its value before the scratch
  // path is checked; a reader whose path check failed has ErrorFlag set and
  // its Run fails at once.
  TNCReader(const std::string& fileName, const std::string& swapFilterName,
            const std::string& scratchDir, int32_t divisor, bool zeroMode, int32_t integerDigits,
            int32_t decimalDigits, bool incremental, bool arcAdjust, bool metric,
            int32_t axisVersion, bool blockDelete, bool counterClockwise);
  virtual ~TNCReader();
  TNCReader(const TNCReader&) = delete;
  TNCReader& operator=(const TNCReader&) = delete;

  // ---- Virtual operations, in slot order ----
  /* 0 */ virtual void HeaderDone(int32_t axisVersion);
  /* 1 */ virtual void Poll(bool& abort) = 0;
  /* 2 */ virtual void Progress(const std::string& text);
  /* 3 */ virtual void Notice(std::string text);
  /* 4 */ virtual void ToolValue2(uint16_t tool, int32_t& value);
  /* 5 */ virtual void ToolValue(uint16_t tool, int32_t& value);
  // Base: the fault goes to Faults (a consumer that shows it itself hands
  // it on to the base too).
  /* 6 */ virtual void Message(std::string text);
  /* 7 */ virtual void Error(std::string text);
  /* 8 */ virtual void Warning(int32_t x, int32_t y, int32_t block, std::string text);
  /* 9 */ virtual void M96Block(int32_t block, std::string text);
  /* 10 */ virtual void UnparsedBlock(const std::string& text, uint8_t kind);
  /* 11 */ virtual void OperatorMessage(int32_t block, const std::string& text);
  /* 12 */ virtual void BlockMessage(int32_t block, std::string text);
  // True (1) when the reader is to act on the origin itself.
  /* 13 */ virtual bool SetOrigin(int32_t x, int32_t y);
  /* 14 */ virtual void Hit(int32_t x, int32_t y, int32_t size, int32_t tool, int32_t block,
                            uint8_t flag) = 0;
  // Base: expands the circle into hits (nc_hits.cpp).
  /* 15 */ virtual void Circle(int32_t x, int32_t y, int32_t size, int32_t diameter, int32_t tool,
                               int32_t block);
  // Base: expands the slot into hits (nc_hits.cpp).
  /* 16 */ virtual void Slot(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t size,
                             int32_t tool, int32_t block, uint8_t flag);
  // Base: expands the text into dot-matrix hits (nc_hits.cpp).
  /* 17 */ virtual void DrilledText(int32_t x, int32_t y, int32_t size, bool vertical, int32_t tool,
                                    const std::string& text, int32_t block);
  // size and compDiameter are internal units (not divided).
  /* 18 */ virtual void Emit18(int32_t tool, int32_t size, int32_t compTool, int32_t compDiameter,
                               uint8_t compSide);
  /* 19 */ virtual void LineMove(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t size,
                                 int32_t tool, int32_t block, uint8_t flag);
  /* 20 */ virtual void ArcMove(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t cx,
                                int32_t cy, int32_t size, bool clockwise, int32_t tool,
                                int32_t block);
  /* 21 */ virtual void PatternStart(int32_t block);
  // Told of each repeat of a pattern the reader reads again itself (the
  // consumer did not take the step and repeat): the repeat's offset in
  // database units / Divisor, moved by PatternOffset about the reader's
  // origin, the repeat argument RestartPattern was given and the repeat's
  // orientation code on axis version 1. Base: nothing.
  /* 22 */ virtual void Hook22(int32_t dx, int32_t dy, int32_t argument, uint8_t orientation);
  /* 23 */ virtual void StepRepeatEnd(int32_t block);
  /* 24 */ virtual void GetText(int32_t id, const std::string& defaultText, std::string& text);
  /* 25 */ virtual void Run(bool& failed);
  /* 26 */ virtual void RapidMove(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
  /* 27 */ virtual void RoutLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t feed,
                                 int32_t moveParameter, uint8_t comp);
  /* 28 */ virtual void RoutArc(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t cx,
                                int32_t cy, int32_t feed, int32_t moveParameter, uint8_t comp,
                                bool clockwise);
  /* 29 */ virtual void RoutCircle(int32_t cx, int32_t cy, int32_t radius, int32_t feed,
                                   int32_t moveParameter, bool g32, bool& handled);
  /* 30 */ virtual void ToolCompDiameter(int32_t tool, int32_t value);
  /* 31 */ virtual void ToolDiameter(int32_t tool, int32_t value);
  /* 32 */ virtual void ToolChange(int32_t tool, int32_t compTool);
  /* 33 */ virtual void PatternEnd(bool& handled);
  // The repeat of an M02 block: its offset (database units / Divisor), the
  // orientation code 0-7 on axis version 1 (the database's axes, as the
  // offset) and the count (its R value, 1 when absent).
  /* 34 */ virtual void PatternRepeat(bool& handled, int32_t x, int32_t y, uint8_t orientation,
                                      int32_t count);
  /* 35 */ virtual void PatternsDone(bool& handled);
  /* 36 */ virtual bool TakesStepRepeat();
  /* 37 */ virtual bool RoutCommandsSeen();
  // Every consumer provides it and calls Finish.
  /* 38 */ virtual void Done() = 0;
  // False for a consumer that wants no word of a tape's faulty blocks (not
  // even in Faults): their texts are then not put together at all, each a
  // few allocations.
  virtual bool KeepsMessages() const { return true; }
  // The lines telling of an M01 that ends a pattern no M25 began: they go to
  // Message when the consumer keeps messages; one that keeps none may still
  // take these.
  virtual void PatternFault(std::string text);
  // A word of the read that is no fault: the tape feed the reader passed
  // over inside a block. Base: the note goes to Faults' notes.
  virtual void Note(std::string text);

  // ---- Fields ----
  // The faults handed to Message, for the import's report of the tape.
  TTapeFaults Faults;
  bool ErrorFlag = false;
  bool Metric = false;
  TDrillTimeEstimator TravelClock;
  bool Ran = false;
  TWordFormatTable WordFormats;
  bool ErrorsAreFatal = false;
  // Ascending tool number. Records leave it only through TakeFirstTool and
  // Finish (FindTool keeps the last record it found).
  std::map<uint16_t, TToolRec> ToolList;
  std::map<uint16_t, int32_t> CompList;    // compensation diameters, internal units
  std::string SwapFilterName;
  std::string FileName;
  // The size of the tape (worked out by Run when left 0), for the progress
  // the status box shows.
  int64_t FileBytes = 0;
  // How far the reading is through the tape, 0 to 100 (0 while unknown).
  int32_t PercentRead() const;
  std::string ScratchDir;  // ends in "\"
  std::string DefaultFileName;
  int32_t Divisor = 1;
  int32_t OriginX = 0, OriginY = 0;
  bool ArcAdjust = false;
  bool Incremental = false;
  bool TrailingZeros = false;
  int32_t IntegerDigits = 0, DecimalDigits = 0;
  int32_t AxisVersion = 1;
  bool Abort = false;
  // The copies the pattern ends of the tape gave its holes and moves so far
  // (a chain of patterns multiplies them): work, as the lines and holes
  // are, for the consumers that expand the patterns or draw their copies.
  int64_t RepeatCopies = 0;
  int32_t LastIOResult = 0;
  // Drilling-time parameters (internal units, seconds).
  double FirstZLevel = 25400000.0;
  double SecondZLevel = 12700000.0;
  double Dwell = 0.1;
  double ToolChangeTime = 16.0;
  double RetractSpeed = 25400000.0 * 1000.0 / 60.0;
  double TopSpeed = 25400000.0 * 400.0 / 60.0;
  double Acceleration = 1128888888.8888889;
  double TravelSeed = 0.0;
  std::string ParameterFile;
  bool HeaderZeros = false;  // true = "LZ"
  int32_t HeaderIntegerDigits = 0, HeaderDecimalDigits = 0;
  bool HeaderPointMode = false;
  bool FirstToolChange = true;
  bool FirstHit = true;
  int32_t MaxHits = 0;
  int32_t HitCount = 0;
  int32_t LastHitX = 0, LastHitY = 0;
  int32_t LastTravelX = 0, LastTravelY = 0;
  int32_t BlockNumber = 0;
  bool BlockDelete = false;
  bool CounterClockwise = false;
  bool RoutSeen = false;
  bool UseIJCentre = false;
  // I and J state the arc centre's own coordinates (the rout output
  // format's "I/J Absolute"), not its offset from the arc's start.
  bool IJAbsolute = false;
  bool DirectEmission = false;
  int32_t Feed = 0;
  int32_t MoveParameter = 2147483647;
  bool ConsumerMode = false;
  int32_t LastI = 0, LastJ = 0;
  std::string StarText;  // replaces "*" of "M97,*" and "M98,*"
  // Digits a unit statement without digits (INCH, METRIC, M71, M72) takes
  // for its unit; the constructor sets the pair of its own unit.
  int32_t InchIntegerDigits = 2, InchDecimalDigits = 4;
  int32_t MetricIntegerDigits = 3, MetricDecimalDigits = 3;
  // Error met while the reader was built; Run reports it and fails.
  std::string SetupError;

  // The record FindTool found last (every hole asks for its tool's record
  // several times); cleared when a record leaves ToolList.
  TToolRec* LastFoundTool = nullptr;

  // The per-file work record; allocated by Run, freed when it ends.
  std::unique_ptr<TGlobalRec> GlobalRec;

  // ---- Shared non-virtual operations (nc_reader.cpp) ----
  // Shared part of every consumer's Done.
  void Finish();
  // Reads and clears the pending I/O result into LastIOResult; on an error
  // reports its text, a blank and context through Error, sets ErrorFlag and
  // answers true.
  bool CheckIO(std::string_view context);
  void Fail(const std::string& text);
  void CountHit(int32_t x, int32_t y, int32_t tool);
  void AddTravel(int32_t tool, int32_t x, int32_t y);
  void SetUseIJCentre(bool flag) { UseIJCentre = flag; }
  void SetIJAbsolute(bool flag) { IJAbsolute = flag; }
  void SetDirectEmission() { DirectEmission = true; }
  int32_t GetDivisor() const { return Divisor; }
  void SetDefaultFile(const std::string& name) { DefaultFileName = name; }
  void SetParameterFile(const std::string& name) { ParameterFile = name; }
  // GetText with the default as the result.
  std::string Text(int32_t id, const std::string& defaultText);

  // ---- Run and file drivers (nc_reader_run.cpp) ----
  void PrepareFile();
  void OpenInput();
  void ReadDefaultFile();
  void ReadLoop();
  // True, after stopping the reading naming the line, when the file's last
  // line was too long to be read, or the reading came to a tail of more
  // zero bytes than a blank trailer holds.
  bool LineTooLong(const SwapReadFileObj& file, int32_t line) {
    if (file.ZeroTailBytes() > 0) return StopAtZeroTail(line, file.ZeroTailBytes());
    if (file.ZeroRun()) return StopAtZeroRun(line);
    return file.LineTooLong() && StopLineTooLong(line);
  }
  bool StopLineTooLong(int32_t line);
  // A line of more zero bytes than a line holds (a leader, blank tape
  // between blocks): the file was never written there.
  bool StopAtZeroRun(int32_t line);
  // Tells once, in a note of the read, of the blocks the reader took tape
  // feed out of; where names the tape after its line ("" for the main tape).
  void ReportTapeFeed(const SwapReadFileObj& file, const std::string& where = "");
  // The same for the M99 subprogram tape read last, once a read for each.
  void ReportSubTapeFeed();
  bool StopAtZeroTail(int32_t line, int64_t zeros);
  // Counts lines read against MaxTapeLines; false (the reading stopped with
  // an error) when there are too many.
  bool CountLinesRead(int64_t lines);
  void CloseInput();
  void ProcessLine();
  // ProcessLine of a line DecodePlainPositionLine has just decoded.
  void ProcessPlainLine();
  // After a line: the header's end is reported once it is left.
  void FinishLine();
  // The line just read into Line from a tape file, made ready for the
  // interpreter: cut to a short string, kept as read in RawLine; false
  // (the reading stops) on a read error, which is reported
  // with context. Blanks are then removed from Line, unless the caller
  // does that itself (the read loop, after a plain line, which has none,
  // went its own way).
  bool TakeReadLine(std::string_view context, bool removeBlanks = true);
  void ProcessHeaderLine(const std::string& keyword);
  // The zeros and digits after a unit keyword; true when it stated digits.
  bool ReadUnitsTail(std::string tail);
  // A unit statement (INCH, METRIC, M71, M72 with their tails): the unit,
  // its zeros and digits (stated, else kept when stated before, else the
  // unit's own), the position carried over into the new tape units.
  void SwitchUnits(bool metric, const std::string& tail);
  // ";FILE_FORMAT=i:d": the tape's digits, taken like a units line; true
  // when the line stated them. The line is handed on as any comment is.
  bool ReadFileFormatComment(const std::string& line);
  // The decimals a statement of the tape's digits gives the reading: words
  // with leading zeros read the same with more decimals, so the decimals the
  // reading was given beyond the stated ones stay for them, and a word
  // written with its point keeps them.
  int32_t StatedDecimals(int32_t stated) const;
  // The header ends without its "%" or M95 (a block only the body has).
  void EndUnclosedHeader();
  // True when the header or an earlier block defined the tool (a size or a
  // definition line).
  bool ToolDefined(int32_t tool) const;
  // The tool number of a T0 the header defined, given on first need.
  int32_t ZeroToolNumber();
  void ProcessBlock();
  void CheckRepeat();
  void CheckSubCall();
  void RepeatSub(int32_t dx, int32_t dy);
  void CloseSub();
  void BeginSymbol();
  void WriteSymbolHit(int32_t x, int32_t y);
  void WriteDefaultSymbol();
  void ReplaySymbol(int32_t dx, int32_t dy);
  // The symbol's records as the last replay read them: each replay reads
  // the file into this list again, without making a new one.
  std::vector<TNCMove> ReplayRecords;
  // Queues a block text behind the held move (outside the header) or hands
  // it to UnparsedBlock at once (in the header).
  void QueueUnparsedBlock(const std::string& text);
  // 1 in the header, else 0 while header comments are kept, else 2.
  uint8_t SkippedLineKind() const;
  // Decodes Line into the block word list; reports a decoding error as
  // "Block n:text" (errorSuffix after the text in BlockMessage). Answers
  // false when a fatal error dropped the block.
  bool DecodeBlockWords(const std::string& messageSuffix, int32_t messageBlock);

  // ---- Tool lists and T words (nc_tools.cpp) ----
  // Every hole asks for its tool's record several times: the last record
  // found is answered here, the search is FindToolInList's.
  TToolRec& FindTool(int32_t tool) {
    if (LastFoundTool != nullptr && LastFoundTool->Tool == static_cast<uint16_t>(tool & 0xFFFF))
      return *LastFoundTool;
    return FindToolInList(tool);
  }
  TToolRec& FindToolInList(int32_t tool);
  int32_t& FindComp(int32_t tool);
  void SetToolDiameter(int32_t tool, int32_t diameter, bool inch);
  void SetToolCompDiameter(int32_t tool, int32_t value);
  void SetToolFeed(int32_t tool, int32_t feed);
  void SetToolSpeed(int32_t tool, int32_t speed);
  void SetToolDepth(int32_t tool, int32_t depth);
  void SetToolMaxHits(int32_t tool, int32_t maxHits);
  void SetToolComment(int32_t tool, const std::string& text);
  void SetToolDefinition(int32_t tool, const std::string& text);
  void AddToolHits(int32_t tool, int32_t n);
  void AddToolTravel(int32_t tool, double length);
  int32_t ToolFeedOf(int32_t tool);
  int32_t ToolMaxHitsOf(int32_t tool);
  double ToolTravelOf(int32_t tool);
  // Diameter (compensation diameter) in internal units, offered to ToolValue
  // (ToolValue2) divided by Divisor first.
  int32_t ToolSize(int32_t tool);
  int32_t ToolCompSize(int32_t tool);
  // After a run: the lowest-numbered tool record, removed from the list.
  struct TTakenTool {
    int32_t Tool = 0;
    int32_t Diameter = 0;
    bool InchDefined = false;
    int32_t MaxHits = 0;
    int32_t Speed = 0;
    int32_t Feed = 0;
    int32_t Spare = 0;
    int32_t Depth = 0;
    int32_t Hits = 0;
    int32_t Travel = 0;
    std::string Comment;
    std::string Definition;
  };
  bool TakeFirstTool(TTakenTool& tool);
  // The T word of a decoded word list; true when the list held one.
  bool ApplyToolWords(const char* letters, const int32_t* values, int32_t count, bool lookupDone);
  bool ApplyToolWords(bool lookupDone);  // on GlobalRec's word list
  void ChangeTool();
  void LookupParameters(int32_t diameter, TDecodedBlock& found);
  // The same for several diameters in one reading of the parameter file:
  // found[k] answers diameters[k] as LookupParameters would, and the file's
  // faults are told as often as the lookups one by one would first meet
  // them (the reading ends once every diameter has its exact size).
  void LookupParameters(const std::vector<int32_t>& diameters, std::vector<TDecodedBlock>& found);
  static double HitTime(double firstZ, double secondZ, double feed, double retract, double dwell);
  // Internal units of a tool length value: metric (s div 10) x 1000, inch s
  // x 2540, s being the value as a 4-decimal integer.
  int32_t ToolLengthToInternal(int32_t value) const;
  // A size word of the block being read: as written when it has a decimal
  // point (rounded to the internal unit), else ToolLengthToInternal.
  int32_t SizeOfWord(char letter, int32_t value) const;
  // The decimals in which the block states that size, in the tape's unit:
  // with a decimal point every digit after it, and never fewer than the 4
  // (inch) or 3 (mm) a writer states sizes with and may leave trailing zeros
  // of; without a point the format's, as far as ToolLengthToInternal reads.
  int32_t SizeDecimals(char letter) const;

  // ---- Orientation and transformed records (nc_orient.cpp) ----
  void AxisMap(int64_t x, int64_t y, int64_t& xOut, int64_t& yOut) const;
  void AxisMapReal(double x, double y, double& xOut, double& yOut) const;
  void ToInternal(int32_t& x, int32_t& y) const;
  // The orientation code of the tape's axis version (AxisVersion) as on
  // axis version 1, where the database's X and Y are the machine's; false
  // (result unchanged) as TranslateCode.
  bool ToVersionOne(uint8_t code, uint8_t& result) const;
  // A tape point that is already transformed (pattern orientation and
  // offsets, G92) to internal units: axis version, clamp, scale.
  void ConvertPoint(int32_t x, int32_t y, int32_t& xOut, int32_t& yOut) const;
  // The pattern transform of a tape point: PatternOrientation, then the
  // pattern offsets and the G92 origin are added.
  // Inline: every hole of a tape comes through here.
  void PatternTransform(int32_t x, int32_t y, int32_t& xOut, int32_t& yOut) const {
    const TGlobalRec& g = *GlobalRec;
    StepTransformPoint(x, y, g.PatternOffsetX, g.PatternOffsetY, g.PatternOrientation, g.G92X,
                       g.G92Y, xOut, yOut);
  }
  // The record builders take a transformed tape point, fill the record
  // (block BlockNumber - 1 + BlockBase, ToolNumber, ToolOffset, CompSide,
  // InPattern) and hand it to EmitMove.
  void BuildHit(int32_t x, int32_t y);
  // PointInRange, then BuildHit with the fast way: the axis version and the
  // scale are applied once for both.
  void PlainHit(int32_t x, int32_t y);
  // The record BuildHit makes of a hole at internal (x, y).
  TNCMove HitRecord(int32_t x, int32_t y) const;
  void BuildCircle(int32_t x, int32_t y, int32_t diameter);
  void BuildSlot(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
  // The text is taken from GlobalRec->MarkingText by the emission.
  void BuildText(int32_t x, int32_t y, bool vertical);
  // PatternTransform, then BuildHit.
  void EmitPatternHit(int32_t x, int32_t y);
  void RestartPattern(int32_t argument);
  // Tells of an M01 that ends a pattern no M25 began.
  void PatternWithoutStart();

  // ---- Units, word formats, reset and word list (nc_units.cpp) ----
  int32_t NCToInternal(int32_t value) const;
  void ResetNumberFormat();
  void LoadFormatOptions();
  void ResetFileState();
  // The first word of the letter from the cursor on: its value and place
  // (value 0 when there is none). Inline: every block asks it several times.
  bool FindWord(char letter, int32_t& cursor, int32_t& value) const {
    const TGlobalRec& g = *GlobalRec;
    value = 0;
    for (int32_t i = cursor < 1 ? 1 : cursor; i <= g.WordCount; ++i) {
      if (g.Letters[i] == letter) {
        value = g.Values[i];
        cursor = i;
        return true;
      }
    }
    return false;
  }
  bool HasWordValue(char letter, int32_t value) const;
  void RemoveWord(char letter);
  // False (nothing inserted) when the list already holds 40 words.
  bool InsertWord(char letter, int32_t value, int32_t position);

  // ---- Block interpretation (nc_blocks.cpp, nc_moves.cpp, nc_patterns.cpp,
  //      nc_cycles.cpp) ----
  void InterpretNcBlock();
  void RepeatSymbolBlock();
  void DispatchNcBlock();
  // DispatchNcBlock of a block of X and Y words only (at most one each), in
  // the drill mode with nothing pending and the compensation side unchanged:
  // the same state and the same hole without the word dispatch and its
  // look-ups. False, with nothing done, in any other state.
  bool PlainHoleBlock();
  void FinishBlockMoves();
  bool GetBlockWord(char letter, int32_t& value);
  void ReportDoubleWord(char letter);
  void MoveRapid(int32_t x, int32_t y);
  void MoveLine(int32_t x, int32_t y);
  void MoveArc(int32_t x, int32_t y);
  void RoutCircleMove(int32_t x, int32_t y);
  void CompChangeMove(int32_t x, int32_t y, bool head);
  void PatternStartM25();
  void PatternEndM01();
  void PatternRepeatM02();
  void StepRepeatEndM08();
  void PendingTextBlock();
  // The block being read from the code of its free text on ("M97," and the
  // text), the text as the tape holds it: a blank within it is a character
  // of the drilled text, blanks after it drill nothing and are dropped.
  // The block without its blanks when it holds no free text.
  std::string FreeTextBlock() const;
  void HeaderBlock();
  void DipCycle();
  void LPackCycle();
  void DrilledCircle();
  void DrilledSlot();
  // Helpers of the interpretation.
  void DispatchGCode(int32_t code);
  void DispatchMCode(int32_t code);
  // M71/M72: new word formats, and the stored coordinates times factor.
  void RescaleCoordinates(double factor);
  // The current position plus the sub-file offset under the pattern
  // transformation, tape units.
  void TransformedTapePoint(int32_t& x, int32_t& y) const;
  // False, after stopping the reading with an error naming the line, when
  // the transformed tape point lies beyond the internal coordinate range.
  bool PointInRange(int32_t x, int32_t y);
  // The point under the axis version (mx, my); true when it lies within the
  // internal coordinate range once scaled.
  bool MappedInRange(int32_t x, int32_t y, int64_t& mx, int64_t& my) const;
  // Stops the reading: the line's position lies beyond the range.
  void StopOutOfRange();
  // A tape point of the interpreter (position plus sub-file offset) under
  // the pattern transformation.
  void TransformedTapePoint(int32_t x, int32_t y, int32_t& xOut, int32_t& yOut) const;
  // A rout move from (PrevX, PrevY) to the transformed tape point (x, y);
  // PrevX, PrevY become (x, y).
  TNCMove BuildMove(int32_t x, int32_t y, bool head, uint8_t comp, uint8_t kind);
  void MoveWarning(const TNCMove& move, const std::string& text);
  // Centre of an arc of the given radius from start to end, on the
  // mirrored side when side is set (a too short radius gives a half circle).
  // Tape units; the rout tape writer checks its arcs' reading with it.
  static void ArcCentreFromRadius(bool side, int32_t radius, int32_t endX, int32_t endY,
                                  int32_t startX, int32_t startY, int32_t& cx, int32_t& cy);
  // The side ArcCentreFromRadius takes for an arc read clockwise or not on
  // a tape of the axis version (0 for a reader without one).
  static bool ArcCentreSide(bool clockwise, int32_t axisVersion);
  // The radius an arc block's I and J state (tape units, taken from the
  // arc's start), where its centre is found from the radius.
  static int32_t ArcRadiusOfIJ(int64_t i, int64_t j);
  void BlockCorner(int32_t& x, int32_t& y);
  int32_t TapeLength(double inches, double millimetres) const;
  void CycleHit(int32_t x, int32_t y);

  // ---- Emission (nc_emit.cpp) ----
  void EmitMove(TNCMove& move);
  // EmitMove of a record already counted against the limits.
  void EmitCountedMove(TNCMove& move);
  // EmitMove of the hole BuildHit makes at internal (x, y); when no move is
  // held and no text queued, the consumer is called as RecordMove would
  // call it, without the record.
  void EmitHit(int32_t x, int32_t y);
  // Counts one emitted record against the bounds; false (the reading
  // stopped with an error) when it is one too many. Lets the GUI run now and
  // then, so a long expansion can be cancelled.
  bool CountEmission();
  // Counts one record of the present line's repeats against MaxLineEmits
  // only (a queued block); false when the reading stopped.
  bool CountLineRepeat();
  // True, after stopping the reading with the store's text and the line,
  // when a store refused an entity of this reader.
  bool StoreRefused();
  void RecordMove(TNCMove& move);
  void NoteMovePoint(const TNCMove& move, int32_t x, int32_t y);
  void NoteToolPoint(int32_t tool, int32_t x, int32_t y);
  void DispatchMove(TNCMove& move);
  bool CompensationSide(const TNCMove& move);
};

// ---- Orientation codes (nc_orient.cpp) ----
// Code 0-7: bit 1 swap, bit 2 negate X, bit 4 negate Y (negations first);
// composed, converted between axis versions and applied by the step-and-repeat
// engine (model/step_repeat.h, StepTransformPoint).
extern const uint8_t FlagToOrientation[8];
// The code on a machine of axis version `toVersion` that orients as `code`
// does on one of version `fromVersion` (AxisVersionTable: the row that holds
// the code under the from-version gives its entry under the to-version).
// False, result unchanged, when the code is 8 or more or a version lies
// outside 1..8.
bool TranslateCode(uint8_t code, int32_t fromVersion, int32_t toVersion, uint8_t& result);
// The origin (x, y) of a pattern repeat of the orientation moved by the
// extents w and h, so that the turned pattern keeps its place: 0 (x, y);
// 1 (x-h+w, y-w+h); 2 (x-2h, y); 3 (x-h+w, y-h-w); 4 (x, y-2w);
// 5 (x-h-w, y+h-w); 6 (x-2h, y-2w); 7 (x-h-w, y-h-w); codes 8 and above as
// 0. Results are limited to +-2,147,483,647.
void PatternOffset(uint8_t code, int32_t x, int32_t y, int32_t w, int32_t h, int32_t& xOut,
                   int32_t& yOut);

// The swap filters' error callback: reports into CurrentReader.
void ReaderSwapError(const std::string& message);
// A swap file's malformed rule: the rule does less, the tape is still read.
void ReaderSwapNotice(const std::string& message);
