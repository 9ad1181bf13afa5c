// The rout tape writer: a rout layer written as an Excellon-style rout tape
// in the rout output format (RoutOutputFormat), through an export swap
// filter, the swap-writer protocol that every tape writer shares, and the
// check of what texts a tape may carry, which the writers share too.
//
// A tape goes out in three steps:
//   1. the layer is collected into a TRoutTapeProgram (its paths in cutting
//      order, the tools it uses, the layer's G93 origin);
//   2. BuildRoutTapeLines turns the program into tape lines in the output
//      format; a number the format cannot hold refuses the whole tape, and
//      so do commands holding bytes no tape may carry (control characters,
//      DEL, bytes from 0x80 on) and a negative compensation size, which no
//      tape reader takes;
//   3. TTapeSwapWriter writes the lines through the filter and puts the
//      result over the target in one step, so a failed write never destroys
//      the tape that was there.
//
// The tape reads back through the rout tape import with the same format to
// the same paths: path starts become G00 moves with the head up, cuts G01,
// G02/G03 (radius or I/J) and routed circles G32/G33 with the head down,
// holes G05 hits, and rout commands their own text. An arc goes out in the
// blocks TRoutArcBlocks chooses (tapeout/rout_arc_blocks.h). The tape's
// header states the size of each tool it cuts with and the compensation
// size (CP) of each tool and compensation index it names, so it is cut with
// the same cutters whatever tool page the reading layer holds. Paths with
// step copies are cut as the screen draws them: an M25 pattern where the
// tape can state the list (as the drill tape decides), else the paths and
// each copy of them, a mirrored copy with its arcs reversed and its
// compensation sides exchanged.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/geometry.h"
#include "foundation/settings_families.h"
#include "foundation/swap_filter.h"
#include "model/step_repeat.h"
#include "model/tool_tables.h"

// ---- Swap-writer protocol ------------------------------------------------------------

// The HEADER= and TRAILER= lines of an export filter's swap files.
struct TSwapTapeFrame {
  std::vector<std::string> Header;
  std::vector<std::string> Trailer;
  bool HeaderHasM48 = false;
  bool TrailerHasM30 = false;
  // The M48 block the header opens: whether it states the units (an INCH or
  // METRIC line), and where it is closed. Header[HeaderClose] is the "%" or
  // "M95" line that ends it; HeaderClose is Header.size() when the header
  // leaves the block open or opens none. The writers put their own header
  // lines (units when missing, digits, tools) in front of that line, and
  // close the block themselves when the header does not.
  bool HeaderHasUnits = false;
  std::size_t HeaderUnits = 0;  // the units line, when it states them
  std::size_t HeaderClose = 0;
};

// The units line of a tape's M48 block: "INCH" or "METRIC", then ",LZ"
// when leading zeros are written (zerosUsed 0 or 2), else ",TZ".
std::string TapeUnitsLine(bool metric, uint8_t zerosUsed);

// Reads every swap file of the list (names separated by ";"): each line is
// stripped of its blanks; one whose upper-cased form begins with "HEADER="
// or "TRAILER=" gives the text after its first "=". Unreadable files add
// nothing.
TSwapTapeFrame ReadSwapTapeFrame(const std::string& swapFileList);

// One output tape through an export filter. Open checks the filter, creates
// an anonymous scratch file and builds the swap writer over it; WriteLine
// passes one tape line through the filter; Commit frees the writer and
// writes the tape over the target in one step (temporary file and rename).
// A writer destroyed without a successful Commit leaves the target as it
// was.
class TTapeSwapWriter {
 public:
  TTapeSwapWriter() = default;
  ~TTapeSwapWriter();
  TTapeSwapWriter(const TTapeSwapWriter&) = delete;
  TTapeSwapWriter& operator=(const TTapeSwapWriter&) = delete;

  // filter 0 is "Standard"; 1..10 an entry of ExportFilters. False after an
  // error box: " Cannot find specified swap file <name>!" when the filter's
  // swap file is missing, or the I/O error "while opening a file".
  bool Open(const std::string& fileName, uint8_t filter);
  void WriteLine(const std::string& line);
  // The swap file's HEADER= lines up to the end of its M48 block; then, at
  // the end of the tape's header, the line that closes the block ("%" when
  // the swap file's header does not close it) and the HEADER= lines after
  // it; and the TRAILER= lines.
  void WriteHeader();
  void CloseHeader();
  // The units line of the tape: the swap file's own stays where it names
  // the same unit and the same zeros (any zeros for a tape that writes every
  // coordinate with its point); else the tape's takes its place, so that
  // the header states what the tape holds.
  void StateUnits(const std::string& units, bool point);
  void WriteTrailer();
  // The lines that came out of the filter so far (a line the filter
  // empties writes none).
  int32_t LinesOut() const { return linesOut_; }
  // False after the I/O error box ("while writing a file"), or after a box
  // naming the lines that hold bytes no tape may carry (HoldsTapeControlChar;
  // the export filter's header, trailer or rules put them there); the
  // target then stays as it was.
  bool Commit();
  // Drops the temporary file.
  void Abandon();

  const TSwapTapeFrame& Frame() const { return frame_; }
  bool IsOpen() const { return file_ != nullptr; }

 private:
  // True when every line of the tape is text (see Commit); else false
  // after the box.
  bool CarriesTextOnly(const std::vector<uint8_t>& bytes) const;

  std::string target_;
  uint8_t filter_ = 0;
  std::FILE* file_ = nullptr;
  SwapWriteFileObj swap_;
  bool swapOpen_ = false;
  int32_t linesOut_ = 0;
  TSwapTapeFrame frame_;
};

// ---- What a tape carries ---------------------------------------------------------------

// The texts a tape would carry as they stand (rout commands, drilled texts)
// that hold a byte no tape may carry (HoldsTapeControlChar): every one is
// counted, and the first few are kept for the box that refuses the tape,
// each with its place (cut order, tool) and shown between double quotes
// with those bytes in angle brackets.
class TUncarriedTapeTexts {
 public:
  struct TText {
    int32_t Place = 0;
    std::string Shown;
  };
  static constexpr std::size_t kNamed = 3;

  // True, the text counted, when it holds such a byte.
  bool Note(std::string_view text, int32_t place);
  bool Empty() const { return count_ == 0; }
  // The box's sentence: with one text, alone(it) + " holds characters no
  // tape may carry (shown in angle brackets)"; with more, the count, the
  // plural, "hold characters ...: " and the first few by listed(), "a, b
  // and c", or "a, b, c and 4 more".
  std::string Sentence(const std::function<std::string(const TText&)>& alone, const std::string& plural,
                       const std::function<std::string(const TText&)>& listed) const;

 private:
  int32_t count_ = 0;
  std::vector<TText> named_;
};

// "1st", "2nd", "3rd", "4th", "11th", "22nd" ...
std::string OrdinalText(int32_t n);

// ---- The rout tape program -------------------------------------------------------------

enum class TRoutTapeItemKind : uint8_t {
  Jog,      // a path start: tool, compensation index and side, the point
  Line,     // a cut to Point
  Arc,      // a cut to Point about Centre
  Circle,   // a routed circle about Point with Radius
  Hole,     // a hit at Point
  Command,  // a block of text
  PatternStart,  // M25: the items up to the pattern's end are repeated
  PatternEnd,    // M01, one M02 per step of Steps, M08
};

struct TRoutTapeItem {
  TRoutTapeItemKind Kind = TRoutTapeItemKind::Line;
  TIntPoint Point;
  TIntPoint Centre;
  bool Clockwise = false;
  int32_t Radius = 0;
  uint16_t Feed = 0;     // 0: the tool's own feed
  int32_t Tool = 1;      // jogs, circles and holes
  int32_t CompIndex = 1;
  uint8_t CompSide = 0;  // jogs: 0 none, 1 left, 2 right
  bool G32 = false;      // circles: G32 (counter-clockwise) or G33
  std::string Text;      // commands
  int32_t Entity = 0;    // the rout entity it was made from; 0 when none
  // The step pattern (1-based in the program's Patterns) whose copies the
  // item is cut in; 0 when it is cut once.
  int32_t Pattern = 0;
  TStepCommandList Steps;  // pattern ends: the list after its mark
};

// The copies of a run of items whose paths share one step object, as the
// screen draws them: the run, then the run moved by each offset in turn.
struct TRoutTapePattern {
  // The list when it has one level and expanded whole, else empty.
  TStepCommandList Commands;
  // Each copy's offset and orientation (the step object's expansion).
  TStepCommandList Offsets;
};

struct TRoutTapeProgram {
  uint8_t Layer = kFirstRoutLayer;
  TIntPoint G93Origin;
  std::vector<TRoutTapeItem> Items;
  std::vector<TRoutTapePattern> Patterns;
};

// Whether a tape in the format states the pattern as a pattern (M25, the
// run, its step list); else the tape cuts the run again for each copy: a
// nested list or one that did not expand whole, an incremental tape, an
// orientation the axis version cannot state (WritableAsPattern).
bool RoutTapeStatesPattern(const TRoutTapePattern& pattern, const TRoutFormatRecord& format);

// Database units per tape unit and the digits of the record's unit.
struct TRoutTapeDigits {
  int32_t IntegerDigits = 2;
  int32_t DecimalDigits = 4;
};
TRoutTapeDigits RoutTapeDigits(const TRoutFormatRecord& format);

// A value in tape units written by a zero mode (0 leading zeros kept, 1
// trailing kept, 2 both, 3 explicit decimal point): the digits without the
// letter. False when the number does not fit the digits.
bool FormatTapeDigits(uint8_t zerosUsed, int32_t integerDigits, int32_t decimalDigits,
                      double value, std::string& text);
// Tape axes of a database point or vector under the machine axis version
// 1..8 (the inverse of the tape reader's mapping).
void ToTapeAxes(int32_t version, int64_t x, int64_t y, int64_t& tx, int64_t& ty);

// A value (database units) as a count of steps of the format's last digit,
// so incremental steps add up exactly; false when it does not fit one.
bool RoutTapeSteps(const TRoutFormatRecord& format, double units, int64_t& steps);
// A database point in steps along the tape's axes; false when it does not
// fit a step count.
bool RoutTapePoint(const TRoutFormatRecord& format, const TIntPoint& p, int64_t& sx, int64_t& sy);

// A value (database units) in the format's unit and zero mode: the digits
// without the letter. False when the formatter answered TooWide or
// BadFormat; text then holds what it wrote.
bool FormatRoutTapeNumber(const TRoutFormatRecord& format, double value, std::string& text);

// The tape lines of a program (without the swap file's frame lines; a
// header with M48 is taken to state the units too, and the tape's header
// block ends with "%" all the same). False,
// with the reason in error, when a number does not fit the format; lines
// are then incomplete and must not be written.
bool BuildRoutTapeLines(const TRoutTapeProgram& program, const TRoutFormatRecord& format,
                        const TRoutToolPage& tools, bool headerHasM48, bool trailerHasM30,
                        std::vector<std::string>& lines, std::string& error);

// Writes the program as a tape: the filter's header lines, the program, the
// trailer lines; false after a message (missing swap file, a number too
// wide for the format, an I/O error), with the target unchanged. While a
// rout entity is to be located (LocateEntity, the single-step edit), the
// line of the tape that holds its move becomes LocateEntityLine (1 when it
// is not on the tape).
bool WriteRoutTape(const TRoutTapeProgram& program, const TRoutFormatRecord& format,
                   const TRoutToolPage& tools, uint8_t filter, const std::string& fileName);

// ---- Layer writers ---------------------------------------------------------------------

// The rout layer's paths in cutting order; false when the layer cannot be
// read. Without one installed the rout database's layer is collected.
using TRoutLayerCollector = bool (*)(uint8_t layer, TRoutTapeProgram& program);
void SetRoutLayerCollector(TRoutLayerCollector collector);
// The layer's program as its tape is written: through the collector
// installed, else from the rout database; false when it cannot be read.
bool CollectRoutLayer(uint8_t layer, TRoutTapeProgram& program);

// The rout output format dialog on a working copy of RoutOutputFormat;
// OK copies it back (and saves it under "Rout Output Format Defaults" when
// "&Save Defaults" is ticked). True on OK.
bool ExecuteRoutOutputFormatDialog();

// A rout layer as a tape through its export filter, after the rout output
// format dialog (Cancel writes nothing) or without it. True when the tape
// was written.
bool WriteRoutFileWithDialog(uint8_t layer, uint8_t filter, const std::string& fileName);
bool WriteRoutFileNoDialog(uint8_t layer, uint8_t filter, const std::string& fileName);
