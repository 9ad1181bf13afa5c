// Axis orientation of the tape, the orientation codes of pattern repeats,
// the conversion of tape points to internal units and the builders of the
// drill-type move records.
#include <cmath>

#include "foundation/display_units.h"
#include "model/step_repeat.h"
#include "tapein/nc_reader.h"

// A pattern level's swap and mirror flags (swap 4, mirror X 2, mirror Y 1) as
// an orientation code.
const uint8_t FlagToOrientation[8] = {0, 4, 2, 6, 1, 5, 3, 7};

bool TranslateCode(uint8_t code, int32_t fromVersion, int32_t toVersion, uint8_t& result) {
  return ConvertOrientationVersion(code, fromVersion, result, toVersion);
}

void PatternOffset(uint8_t code, int32_t x, int32_t y, int32_t w, int32_t h, int32_t& xOut,
                   int32_t& yOut) {
  // The step engine's origin move takes the two extents the other way round.
  OrientOffset(x, y, h, w, code, xOut, yOut);
}

void TNCReader::AxisMap(int64_t x, int64_t y, int64_t& xOut, int64_t& yOut) const {
  switch (AxisVersion) {
    case 1: xOut = x; yOut = y; break;
    case 2: xOut = y; yOut = x; break;
    case 3: xOut = -y; yOut = x; break;
    case 4: xOut = -x; yOut = y; break;
    case 5: xOut = -y; yOut = -x; break;
    case 6: xOut = -x; yOut = -y; break;
    case 7: xOut = x; yOut = -y; break;
    case 8: xOut = y; yOut = -x; break;
    default: break;  // the output is left as it was
  }
}

void TNCReader::AxisMapReal(double x, double y, double& xOut, double& yOut) const {
  switch (AxisVersion) {
    case 1: xOut = x; yOut = y; break;
    case 2: xOut = y; yOut = x; break;
    case 3: xOut = -y; yOut = x; break;
    case 4: xOut = -x; yOut = y; break;
    case 5: xOut = -y; yOut = -x; break;
    case 6: xOut = -x; yOut = -y; break;
    case 7: xOut = x; yOut = -y; break;
    case 8: xOut = y; yOut = -x; break;
    default: break;
  }
}

void TNCReader::ToInternal(int32_t& x, int32_t& y) const {
  x = NCToInternal(x);
  y = NCToInternal(y);
}

bool TNCReader::ToVersionOne(uint8_t code, uint8_t& result) const {
  return TranslateCode(code, AxisVersion, 1, result);
}

void TNCReader::ConvertPoint(int32_t x, int32_t y, int32_t& xOut, int32_t& yOut) const {
  int64_t mx = x, my = y;
  AxisMap(x, y, mx, my);
  xOut = ClampCompToInt(mx);
  yOut = ClampCompToInt(my);
  ToInternal(xOut, yOut);
}

namespace {

TNCMove DrillRecord(const TNCReader& reader, uint8_t kind) {
  const TGlobalRec& g = *reader.GlobalRec;
  TNCMove move;
  move.Kind = kind;
  move.SourceBlock = reader.BlockNumber - 1 + g.BlockBase;
  move.Tool = g.ToolNumber;
  move.ToolOffset = g.ToolOffset;
  move.Comp = g.CompSide;
  move.FromRepeat = g.InPattern ? 1 : 0;
  return move;
}

}  // namespace

TNCMove TNCReader::HitRecord(int32_t x, int32_t y) const {
  TNCMove move = DrillRecord(*this, NCMoveHit);
  move.CentreX = move.StartX = move.EndX = x;
  move.CentreY = move.StartY = move.EndY = y;
  return move;
}

void TNCReader::BuildHit(int32_t x, int32_t y) {
  int32_t cx = 0, cy = 0;
  ConvertPoint(x, y, cx, cy);
  if (PlainLineFastPath) {
    EmitHit(cx, cy);
    return;
  }
  TNCMove move = HitRecord(cx, cy);
  EmitMove(move);
}

void TNCReader::PlainHit(int32_t x, int32_t y) {
  int64_t mx, my;
  if (!MappedInRange(x, y, mx, my)) {
    StopOutOfRange();
    return;
  }
  // ConvertPoint of the mapped point.
  const TGlobalRec& g = *GlobalRec;
  const double scale = Metric ? g.MetricScale : g.InchScale;
  const int32_t cx = SafeRound(static_cast<double>(ClampCompToInt(mx)) * scale);
  const int32_t cy = SafeRound(static_cast<double>(ClampCompToInt(my)) * scale);
  EmitHit(cx, cy);
}

void TNCReader::BuildCircle(int32_t x, int32_t y, int32_t diameter) {
  TNCMove move = DrillRecord(*this, NCMoveCircle);
  ConvertPoint(x, y, move.EndX, move.EndY);
  move.CentreX = NCToInternal(diameter);
  const auto tool = ToolList.find(static_cast<uint16_t>(GlobalRec->ToolNumber & 0xFFFF));
  int64_t toolDiameter = tool != ToolList.end() ? tool->second.Diameter : 0;
  if (toolDiameter == 0) toolDiameter = 3175000;
  if (static_cast<int64_t>(move.CentreX) < 2 * toolDiameter && !GlobalRec->InPattern)
    Warning(move.EndX / Divisor, move.EndY / Divisor, BlockNumber - 1, "G84 ILLEGAL DIAMETER!");
  EmitMove(move);
}

void TNCReader::BuildSlot(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  TNCMove move = DrillRecord(*this, NCMoveSlot);
  ConvertPoint(x0, y0, move.StartX, move.StartY);
  ConvertPoint(x1, y1, move.EndX, move.EndY);
  EmitMove(move);
}

void TNCReader::BuildText(int32_t x, int32_t y, bool vertical) {
  TNCMove move = DrillRecord(*this, NCMoveText);
  ConvertPoint(x, y, move.EndX, move.EndY);
  move.CentreX = vertical ? 1 : 0;
  EmitMove(move);
}

void TNCReader::EmitPatternHit(int32_t x, int32_t y) {
  int32_t tx = 0, ty = 0;
  PatternTransform(x, y, tx, ty);
  BuildHit(tx, ty);
}

void TNCReader::RestartPattern(int32_t argument) {
  TGlobalRec& g = *GlobalRec;
  ++g.PassCounter;
  g.PatternReread = true;
  if (g.InSub) CloseSub();
  // Each repeat reads the pattern's lines from the file again; the input
  // goes straight back to where the pattern began when it can, so that only
  // the lines it had to read again count.
  if (!CountLinesRead(g.MainSwap.RereadLines(g.PatternStartPos))) return;
  g.MainSwap.SkipLines(g.PatternStartPos);
  BlockNumber = g.MainSwap.LineCount();
  g.PatternLevel = 0;
  // Compose the levels from the innermost (1) outward: an outer level's
  // orientation turns the inner offsets, and its own offset is added after.
  uint8_t code = 0;
  int32_t offX = 0, offY = 0;
  for (int level = 1; level <= PatternLevels; ++level) {
    const int index = (g.LevelSwap[level] ? 4 : 0) + (g.LevelMirrorX[level] ? 2 : 0) +
                      (g.LevelMirrorY[level] ? 1 : 0);
    const uint8_t levelCode = FlagToOrientation[index];
    StepTransformPoint(offX, offY, g.LevelOffsetX[level], g.LevelOffsetY[level], levelCode, 0, 0,
                       offX, offY);
    code = StepCompositionTable[levelCode][code];
  }
  g.PatternOrientation = code;
  g.PatternOffsetX = offX;
  g.PatternOffsetY = offY;
  // The repeat as the database sees it: offset in internal units, the code
  // on axis version 1, the origin moved about the reader's origin.
  int64_t mx = offX, my = offY;
  AxisMap(offX, offY, mx, my);
  int32_t hx = ClampCompToInt(mx), hy = ClampCompToInt(my);
  ToInternal(hx, hy);
  uint8_t versionOne = code;
  ToVersionOne(code, versionOne);
  PatternOffset(versionOne, hx, hy, OriginX, OriginY, hx, hy);
  Hook22(hx / Divisor, hy / Divisor, argument, versionOne);
}
