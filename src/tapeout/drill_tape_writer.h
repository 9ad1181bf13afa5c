// The drill tape writer: the drill layers written as an Excellon drill tape
// in the drill output format (DrillOutputFormat), through an export swap
// filter.
//
// A tape goes out in four steps:
//   1. CollectDrillTape gathers the live entities of the chosen layers and
//      active tools, tool by tool, expanding slots, circles, drilled text and
//      step-and-repeat copies as the make-tape options ask;
//   2. OrderDrillTape puts the work of each tool in drilling order through
//      the chosen optimiser, each tool starting near the last hit before;
//   3. BuildDrillTapeLines turns the program into tape lines; every tool
//      number, tool size and coordinate that does not fit the format is
//      reported at once and nothing is written;
//   4. WriteDrillTape writes the lines through the filter over the target in
//      one step (TTapeSwapWriter), so a failed or cancelled write never
//      leaves a partial tape under the target's name.
//
// The tape reads back through the drill tape import with the same format to
// the same hits per tool: unexpanded slots as G85, circles as G84, drilled
// text as M97 (horizontal) or M98 (vertical), and unexpanded step-and-repeat
// as an M25 pattern, its M01 end, one M02 per step (M70 exchanging X and Y,
// M80 mirroring X, M90 mirroring Y, R the repeat count) and M08.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "foundation/geometry.h"
#include "foundation/settings_families.h"
#include "model/entity_store.h"
#include "model/step_repeat.h"
#include "tapeout/drill_path_optimizer.h"

// ---- Step patterns on a tape --------------------------------------------------------

// A step list a tape states as one M25 pattern: a mark, then steps only,
// with orientations only where the axis version needs no conversion (a
// chain of more than one level never is one).
bool WritableAsPattern(const TStepCommandList& commands, uint8_t axisVersion);
// The steps of such a list that the tape's M02 blocks state: those after
// its mark, less the list's last run, which makes no copy of its own (it
// closes the list) while every M02 on a tape does. A step repeated more
// than a count word holds is split into runs of at most kMostTapeRepeats.
TStepCommandList TapePatternRepeats(const TStepCommandList& commands);
// A step's offset or a panel origin (database units) in a tape's unit with
// the tape's decimals, as a refusal states it: "X 1155.700 mm, Y 0.000 mm".
std::string TapeStepOffsetText(int32_t dx, int32_t dy, bool metric, int32_t decimals);

// ---- The drill tape program ------------------------------------------------------------

enum class TDrillTapeItemKind : uint8_t {
  Hits,    // Points drilled in their order (a hole, or an expanded pattern)
  Slot,    // Points[0] to Points[1]
  Circle,  // centre Points[0], Diameter
  Text,    // origin Points[0], Text, Vertical
};

struct TDrillTapeItem {
  TDrillTapeItemKind Kind = TDrillTapeItemKind::Hits;
  std::vector<TIntPoint> Points;
  int32_t Diameter = 0;
  std::string Text;
  bool Vertical = false;
  // Where the drill stands after the item.
  TIntPoint Last() const {
    return Kind == TDrillTapeItemKind::Hits || Kind == TDrillTapeItemKind::Slot ? Points.back()
                                                                                : Points.front();
  }
  std::size_t HitCount() const { return Kind == TDrillTapeItemKind::Hits ? Points.size() : 1; }
};

// Entities sharing one step-and-repeat list written as a pattern.
struct TDrillTapePattern {
  TStepCommandList Commands;
  std::vector<TDrillTapeItem> Items;
  int64_t Copies = 0;  // drilled besides the items themselves
};

struct TDrillTapeTool {
  int32_t Tool = 1;
  int32_t Diameter = 0;  // database units
  std::vector<TDrillTapeItem> Items;
  std::vector<TDrillTapePattern> Patterns;
  // Hits the bit may drill before it is changed (the tool table's Max
  // Hits); 0 for no limit. Written as the H word of the tool's definition.
  int32_t MaxHits = 0;
};

struct TDrillTapeProgram {
  std::vector<TDrillTapeTool> Tools;  // ascending tool numbers
  TIntPoint G93Origin;
  // Items starting inside one of these windows are drilled before (First)
  // or after (Last) the other items of their tool.
  std::vector<TIntBox> FirstMarks;
  std::vector<TIntBox> LastMarks;
  // The hits the machine drills, a slot's, circle's or text's as the tool
  // table counts them: a pattern's once and once per copy.
  int64_t HitCount() const;
};

// The layers a tape is made of: a slot-word mask (NCLayerBit of the drill
// layers, bit 31 set). The main window installs the displayed layers; without
// it every drill layer is written.
using TDrillTapeLayerMask = std::function<uint32_t()>;
void SetDrillTapeLayerMask(TDrillTapeLayerMask mask);
uint32_t DrillTapeLayerMask();

// The live drill entities of DRDB on the mask's layers whose tools are
// active, expanded as the options say. A step list the tape cannot state as
// one M-code pattern (nested levels, turned copies on a machine of another
// axis version, or an incremental tape, where the position after a pattern
// is not certain) has its copies written out one by one.
TDrillTapeProgram CollectDrillTape(const TMakeTapeDefaults& options, uint32_t layerMask,
                                   const TDrillFormatRecord& format);

// Puts every tool's items (and each pattern's items) in drilling order. The
// time budget of the options is the whole tape's, shared out by item count.
// False when cancelled (options.Cancelled); the program is then only partly
// ordered.
bool OrderDrillTape(TDrillTapeProgram& program, const TOptimizerOptions& options);

// Adds the first/last-hit coupon hits (tooling_hit_marks.h) of the tools
// flagged in ToolTable to the ordered program: a first hit in front of the
// tool's work, a last hit after it.
void AddFirstLastHitCoupon(TDrillTapeProgram& program, const TFirstLastHitDefaults& coupon,
                           const TIntPoint& origin);

// The tape lines without the swap file's frame lines (a header with M48 is
// taken to state the units too; the tape's header block ends with "%" all
// the same). False, with every
// problem in errors (one line each), when a tool number, a tool size or a
// coordinate does not fit the format, or drilled texts hold bytes no tape
// may carry (one line for them all); lines must then not be written.
bool BuildDrillTapeLines(const TDrillTapeProgram& program, const TDrillFormatRecord& format,
                         const TMakeTapeDefaults& options, bool headerHasM48, bool trailerHasM30,
                         std::vector<std::string>& lines, std::vector<std::string>& errors);

// Writes the program as a tape: the filter's header lines, the program, the
// trailer lines. False after a message (missing swap file, tools or numbers
// that do not fit, an I/O error), with the target unchanged.
bool WriteDrillTape(const TDrillTapeProgram& program, const TDrillFormatRecord& format,
                    const TMakeTapeDefaults& options, uint8_t filter,
                    const std::string& fileName);
