// Block interpretation: one decoded block becomes changes of the modal state
// and calls of the reader's consumer operations. Three layers: hole and
// pattern repeats (R words), symbol repeats (P blocks), and the word-by-word
// dispatch with its end-of-block motion step.
#include <algorithm>
#include <cmath>

#include "foundation/display_units.h"
#include "tapein/nc_reader.h"
#include "model/tool_tables.h"

namespace {

bool IsCode(const TGlobalRec& g, int32_t index, char letter, int32_t value) {
  return index >= 1 && index <= g.WordCount && g.Letters[index] == letter && g.Values[index] == value;
}

int32_t Rescaled(int32_t v, double factor) { return SaturatingRound(v * factor); }

}  // namespace

void TNCReader::InterpretNcBlock() {
  TGlobalRec& g = *GlobalRec;
  // A block that earlier work takes whole (a header line, the corners of a
  // package cycle, the position of a text) keeps its R: in a tool
  // definition it is the tool's radius, not a repeat count.
  if (g.InHeader || g.DrillCycleG81 || g.DrillCycleG83 || g.PendingText) {
    DispatchNcBlock();
    return;
  }
  int32_t cursor = g.WordCursor;
  int32_t count = 0;
  if (!FindWord('R', cursor, count)) {
    RepeatSymbolBlock();
    return;
  }
  // The R of a message or text block is part of its text.
  if (IsCode(g, 1, 'G', 47) || IsCode(g, 1, 'M', 47) || IsCode(g, 1, 'M', 97) ||
      IsCode(g, 1, 'M', 98)) {
    RepeatSymbolBlock();
    return;
  }
  g.WordCursor = 1;
  if (HasWordValue('M', 2) || HasWordValue('M', 26)) {
    // A pattern repeat: a consumer that takes step-and-repeat reads the
    // count itself; otherwise the block runs count times.
    if (TakesStepRepeat()) {
      DispatchNcBlock();
    } else {
      RemoveWord('R');
      for (int32_t i = 0; i < count && !ErrorFlag && !Abort; ++i) {
        const int64_t emitted = g.TapeEmits;
        DispatchNcBlock();
        if (g.TapeEmits == emitted && !CountEmission()) break;
      }
    }
    return;
  }

  // A hole repeat: count holes, each a step of (X, Y) from the one before,
  // starting from the current position.
  int32_t c = 1;
  if (!FindWord('X', c, g.RepeatStepX)) g.RepeatStepX = 0;
  c = 1;
  if (!FindWord('Y', c, g.RepeatStepY)) g.RepeatStepY = 0;
  RemoveWord('R');
  RemoveWord('X');
  RemoveWord('Y');
  InsertWord('X', 0, 1);
  InsertWord('Y', 0, 2);
  for (int32_t i = 0; i < count; ++i) {
    if (Incremental) {
      // The end-of-block step adds the words to the position itself.
      g.Values[1] = g.RepeatStepX;
      g.Values[2] = g.RepeatStepY;
    } else {
      g.CurX = ClampCompToInt(int64_t{g.CurX} + g.RepeatStepX);
      g.CurY = ClampCompToInt(int64_t{g.CurY} + g.RepeatStepY);
      g.Values[1] = g.CurX;
      g.Values[2] = g.CurY;
    }
    g.WordCursor = 1;
    const int64_t emitted = g.TapeEmits;
    RepeatSymbolBlock();
    if (g.EndOfProgram || ErrorFlag || Abort) break;
    // A repeat that makes no hole (its block a tool change, a text, a code
    // the dispatch passes over) is still work: it counts as one against the
    // limits, or a count of billions keeps the reading busy for hours.
    if (g.TapeEmits == emitted && !CountEmission()) break;
  }
}

void TNCReader::RepeatSymbolBlock() {
  TGlobalRec& g = *GlobalRec;
  if (g.SymbolDefining && g.WordCount >= 1 && g.Letters[1] == 'P') {
    // The copies count against the reader's limits of holes and moves.
    const int32_t copies = g.Values[1];
    int32_t c = 1;
    if (!FindWord('X', c, g.SymbolStepX)) g.SymbolStepX = 0;
    c = 1;
    if (!FindWord('Y', c, g.SymbolStepY)) g.SymbolStepY = 0;
    for (int32_t k = 1; k <= copies && !ErrorFlag && !Abort; ++k)
      ReplaySymbol(ClampCompToInt(int64_t{k} * g.SymbolStepX),
                   ClampCompToInt(int64_t{k} * g.SymbolStepY));
    return;
  }
  DispatchNcBlock();
}

void TNCReader::DispatchNcBlock() {
  TGlobalRec& g = *GlobalRec;
  g.DispatchIndex = 1;
  g.IJSeen = false;
  g.ArcI = g.ArcJ = 0;
  LastI = LastJ = 0;
  g.BlockDone = false;

  // Work an earlier block left pending takes this block.
  if (g.DrillCycleG81)
    DipCycle();
  else if (g.DrillCycleG83)
    LPackCycle();
  else if (g.InHeader)
    HeaderBlock();
  else if (g.PendingText)
    PendingTextBlock();

  g.HandledCount = g.WordCount;
  while (g.DispatchIndex <= g.WordCount && !g.BlockDone && !g.EndOfProgram) {
    const char letter = g.Letters[g.DispatchIndex];
    const int32_t value = g.Values[g.DispatchIndex];
    switch (letter) {
      case 'A':
        g.ArcRadius = value;
        break;
      case 'F':
      case 'X':
      case 'Y':
        break;  // read by the end-of-block step
      case 'I':
        g.ArcI = value;
        g.IJSeen = true;
        break;
      case 'J':
        g.ArcJ = value;
        g.IJSeen = true;
        break;
      case 'G':
        DispatchGCode(value);
        break;
      case 'M':
        DispatchMCode(value);
        break;
      case 'T': {
        // A tool the tables cannot hold is never read as another one: a
        // negative number, or one whose tool part lies beyond the last tool.
        // Whether the tape defined the number is asked once: the tool list
        // is not changed before the tool is taken.
        const bool defined = value >= 0 && ToolDefined(value);
        if (value < 0 || (value >= 100 && !defined && value / 100 > kToolCount) ||
            (defined && value > kToolCount)) {
          Fail("Line " + std::to_string(BlockNumber) + " \"" + g.RawLine + "\": the tool T" +
               std::to_string(value) + " lies outside the tools 1 to " + std::to_string(kToolCount) +
               ".");
          g.BlockDone = true;
          break;
        }
        if (value == 0 && g.ZeroToolDefined) {
          g.ToolNumber = ZeroToolNumber();
          g.ToolOffset = g.ToolNumber;
        } else if (value < 100 || defined) {
          // A number the tape defined as a tool is that tool, not a tool
          // with a compensation number.
          g.ToolNumber = value < 1 ? 1 : value;
          g.ToolOffset = g.ToolNumber;
        } else {
          g.ToolNumber = value / 100;
          g.ToolOffset = value - 100 * g.ToolNumber;
        }
        ChangeTool();
        ApplyToolWords(false);
        break;
      }
      default:
        --g.HandledCount;
        break;
    }
    ++g.DispatchIndex;
  }
  if (!g.BlockDone) FinishBlockMoves();
  if (g.HandledCount == 0 && !g.BlockDone) QueueUnparsedBlock(g.RawLine);
}

bool TNCReader::PlainHoleBlock() {
  TGlobalRec& g = *GlobalRec;
  if (g.MotionMode != 5 || g.InHeader || g.DrillCycleG81 || g.DrillCycleG83 || g.PendingText ||
      g.EndOfProgram || g.CompSide != g.LastCompSide)
    return false;
  // What the dispatch leaves: every word passed over and handled, no arc
  // words.
  g.DispatchIndex = g.WordCount + 1;
  g.IJSeen = false;
  g.ArcI = g.ArcJ = 0;
  LastI = LastJ = 0;
  g.HandledCount = g.WordCount;
  // The end-of-block step: the new position, then the hole there.
  g.LastHeadDown = g.HeadDown;
  for (int32_t i = 1; i <= g.WordCount; ++i) {
    int32_t& at = g.Letters[i] == 'X' ? g.CurX : g.CurY;
    at = Incremental ? ClampCompToInt(int64_t{at} + g.Values[i]) : g.Values[i];
  }
  g.BlockDone = true;
  int32_t x, y;
  TransformedTapePoint(x, y);
  PlainHit(x, y);
  return true;
}

void TNCReader::DispatchGCode(int32_t code) {
  TGlobalRec& g = *GlobalRec;
  switch (code) {
    case 0:
      g.MotionMode = 0;
      g.CompSide = 0;
      RoutSeen = true;
      break;
    case 1:
      g.MotionMode = 1;
      RoutSeen = true;
      break;
    case 2:
      g.MotionMode = CounterClockwise ? 3 : 2;
      RoutSeen = true;
      break;
    case 3:
      g.MotionMode = CounterClockwise ? 2 : 3;
      RoutSeen = true;
      break;
    case 4:
      break;  // dwell
    case 5:
      g.MotionMode = 5;
      g.CompSide = 0;
      g.HeadDown = false;
      break;
    case 32:
    case 33:
      g.MotionMode = code;
      RoutSeen = true;
      break;
    case 40:
      g.CompSide = 0;
      RoutSeen = true;
      break;
    case 41:
      g.CompSide = CounterClockwise ? 2 : 1;
      RoutSeen = true;
      break;
    case 42:
      g.CompSide = CounterClockwise ? 1 : 2;
      RoutSeen = true;
      break;
    case 81:
      if (g.Format2) {
        DipCycle();
      } else {
        g.MotionMode = 5;
        g.CompSide = 0;
        g.HeadDown = false;
      }
      break;
    case 82:
      DipCycle();
      break;
    case 83:
      LPackCycle();
      break;
    case 84:
      DrilledCircle();
      g.BlockDone = true;
      break;
    case 85:
      DrilledSlot();
      g.BlockDone = true;
      break;
    case 90:
      Incremental = false;
      break;
    case 91:
      Incremental = true;
      break;
    case 92:
    case 93: {
      int32_t c = 1;
      if (!FindWord('X', c, g.G92X)) g.G92X = 0;
      c = 1;
      if (!FindWord('Y', c, g.G92Y)) g.G92Y = 0;
      // The new origin is the programmed zero under the new offset.
      int32_t ox = 0, oy = 0, tx = 0, ty = 0;
      PatternTransform(0, 0, tx, ty);
      ConvertPoint(tx, ty, ox, oy);
      if (!SetOrigin(ox / Divisor, oy / Divisor)) {
        g.G92X = g.G92Y = 0;
        PatternTransform(0, 0, tx, ty);
        ConvertPoint(tx, ty, ox, oy);
      }
      OriginX = ox;
      OriginY = oy;
      g.BlockDone = true;
      break;
    }
    default:
      --g.HandledCount;
      break;
  }
}

void TNCReader::DispatchMCode(int32_t code) {
  TGlobalRec& g = *GlobalRec;
  switch (code) {
    case 0:
    case 6:
    case 9:
      g.BlockDone = true;
      QueueUnparsedBlock(g.RawLine);
      break;
    case 1:
    case 24:
      PatternEndM01();
      g.BlockDone = true;
      break;
    case 2:
    case 26:
      PatternRepeatM02();
      g.BlockDone = true;
      break;
    case 8:
    case 27:
      StepRepeatEndM08();
      g.BlockDone = true;
      break;
    case 15:
      g.HeadDown = true;
      RoutSeen = true;
      break;
    case 16:
    case 17:
      g.HeadDown = false;
      RoutSeen = true;
      break;
    case 25:
      PatternStartM25();
      g.BlockDone = true;
      break;
    case 30:
    case 31:
      g.EndOfProgram = true;
      g.BlockDone = true;
      break;
    case 47:
      OperatorMessage(BlockNumber - 1, g.Line);
      Notice("");
      Notice(g.Line);
      g.BlockDone = true;
      QueueUnparsedBlock(g.RawLine);
      break;
    case 48:
      g.HeaderLine = BlockNumber;
      g.InHeader = true;
      g.HeaderComments = false;
      g.BlockDone = true;
      break;
    case 70:
    case 80:
    case 90:
      break;  // read by the pattern repeat from its own block
    case 71:
    case 72:
      SwitchUnits(code == 71, std::string());
      break;
    case 96:
      M96Block(BlockNumber - 1, g.Line);
      break;
    case 97:
    case 98:
      g.PendingText = true;
      g.TextIsM98 = code == 98;
      g.PendingTextLine = FreeTextBlock();
      g.BlockDone = true;
      break;
    default:
      --g.HandledCount;
      break;
  }
}

void TNCReader::RescaleCoordinates(double factor) {
  TGlobalRec& g = *GlobalRec;
  ResetNumberFormat();
  for (int32_t* v : {&g.CurX, &g.CurY, &g.PatternOffsetX, &g.PatternOffsetY, &g.G92X, &g.G92Y,
                     &g.SubOffsetX, &g.SubOffsetY, &g.RepeatStepX, &g.RepeatStepY})
    *v = Rescaled(*v, factor);
}

void TNCReader::FinishBlockMoves() {
  TGlobalRec& g = *GlobalRec;
  if (g.IJSeen) {
    // Absolute I and J are taken from the arc's start, the point before
    // this block's move, as incremental ones are stated.
    const int64_t i = IJAbsolute ? int64_t{g.ArcI} - g.CurX : g.ArcI;
    const int64_t j = IJAbsolute ? int64_t{g.ArcJ} - g.CurY : g.ArcJ;
    g.ArcRadius = ArcRadiusOfIJ(i, j);
    LastI = ClampCompToInt(i);
    LastJ = ClampCompToInt(j);
  }
  if (g.CompSide != g.LastCompSide) {
    int32_t x, y;
    TransformedTapePoint(x, y);
    CompChangeMove(x, y, g.LastHeadDown);
    g.LastCompSide = g.CompSide;
  }
  g.LastHeadDown = g.HeadDown;

  bool moved = false;
  int32_t value = 0;
  if (GetBlockWord('X', value)) {
    g.CurX = Incremental ? ClampCompToInt(int64_t{g.CurX} + value) : value;
    moved = true;
  }
  if (GetBlockWord('Y', value)) {
    g.CurY = Incremental ? ClampCompToInt(int64_t{g.CurY} + value) : value;
    moved = true;
  }
  if (GetBlockWord('F', value)) {
    Feed = value;
    g.BlockDone = true;
  }
  if (!moved) return;
  g.BlockDone = true;
  int32_t x, y;
  TransformedTapePoint(x, y);
  if (!PointInRange(x, y)) return;
  switch (g.MotionMode) {
    case 5:
      BuildHit(x, y);
      break;
    case 0:
      MoveRapid(x, y);
      break;
    case 1:
      MoveLine(x, y);
      break;
    case 2:
    case 3:
      MoveArc(x, y);
      break;
    case 32:
    case 33:
      RoutCircleMove(x, y);
      break;
    default:
      break;
  }
}

bool TNCReader::MappedInRange(int32_t x, int32_t y, int64_t& mx, int64_t& my) const {
  const TGlobalRec& g = *GlobalRec;
  const double scale = Metric ? g.MetricScale : g.InchScale;
  mx = x;
  my = y;
  AxisMap(x, y, mx, my);
  const double limit = 2147483647.0;
  return std::fabs(double(mx) * scale) <= limit && std::fabs(double(my) * scale) <= limit;
}

void TNCReader::StopOutOfRange() {
  // Never clamped: a hole at the edge of the range would be a hole in the
  // wrong place.
  const std::string largest = Metric ? "2147.48 mm" : "84.5466 in";
  Fail("Line " + std::to_string(BlockNumber) + " \"" + GlobalRec->RawLine +
       "\": the position lies beyond the largest coordinate (" + largest +
       "). Check the units, digits and zeros of the format.");
}

bool TNCReader::PointInRange(int32_t x, int32_t y) {
  int64_t mx, my;
  if (MappedInRange(x, y, mx, my)) return true;
  StopOutOfRange();
  return false;
}

void TNCReader::TransformedTapePoint(int32_t& x, int32_t& y) const {
  TransformedTapePoint(GlobalRec->CurX, GlobalRec->CurY, x, y);
}

void TNCReader::TransformedTapePoint(int32_t x, int32_t y, int32_t& xOut, int32_t& yOut) const {
  const TGlobalRec& g = *GlobalRec;
  PatternTransform(ClampCompToInt(int64_t{x} + g.SubOffsetX), ClampCompToInt(int64_t{y} + g.SubOffsetY),
                   xOut, yOut);
}

bool TNCReader::GetBlockWord(char letter, int32_t& value) {
  int32_t cursor = 1;
  if (!FindWord(letter, cursor, value)) return false;
  int32_t next = cursor + 1, second = 0;
  if (FindWord(letter, next, second)) ReportDoubleWord(letter);
  return true;
}

void TNCReader::ReportDoubleWord(char letter) {
  TGlobalRec& g = *GlobalRec;
  if (!KeepsMessages()) return;
  if (g.InSub) Message(JoinText({Text(736, "Error in M99 <"), g.SubName, ">"}));
  const int32_t block = g.InSub ? g.SubLineCount : BlockNumber;
  Message(JoinText({Text(737, "Error : Double "), std::string_view(&letter, 1), Text(738, " in block "),
                    std::to_string(block)}));
  Message(JoinText({Text(739, "Error : <"), g.Line, ">"}));
}
