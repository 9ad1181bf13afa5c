// Axis orientation of the tape, the orientation codes of pattern repeats,
// the conversion of tape points to internal units and the builders of the
// drill-type move records.
#include <cmath>

#include "foundation/display_units.h"
#include "tapein/nc_reader.h"

const uint8_t OrientationCompose[8][8] = {
    {0, 1, 2, 3, 4, 5, 6, 7}, {1, 0, 3, 2, 5, 4, 7, 6}, {2, 5, 0, 7, 6, 1, 4, 3},
    {3, 4, 1, 6, 7, 0, 5, 2}, {4, 3, 6, 1, 0, 7, 2, 5}, {5, 2, 7, 0, 1, 6, 3, 4},
    {6, 7, 4, 5, 2, 3, 0, 1}, {7, 6, 5, 4, 3, 2, 1, 0},
};

const uint8_t FlagToOrientation[8] = {0, 4, 2, 6, 1, 5, 3, 7};

// Row r (orientation family), column v - 1 (axis version v).
const uint8_t VersionEquivalence[8][8] = {
    {0, 0, 0, 0, 0, 0, 0, 0}, {1, 1, 7, 7, 1, 1, 7, 7}, {2, 4, 4, 2, 4, 2, 2, 4},
    {4, 2, 2, 4, 2, 4, 4, 2}, {3, 5, 3, 5, 5, 3, 5, 3}, {5, 3, 5, 3, 3, 5, 3, 5},
    {6, 6, 6, 6, 6, 6, 6, 6}, {7, 7, 1, 1, 7, 7, 1, 1},
};

namespace {

int32_t Clamp32(int64_t v) { return ClampCompToInt(v); }

}  // namespace

void TransformPoint(uint8_t code, int32_t x, int32_t y, int32_t dx1, int32_t dy1, int32_t dx2,
                    int32_t dy2, int32_t& xOut, int32_t& yOut) {
  int64_t a = x;
  int64_t b = y;
  if ((code & 2) != 0) a = -a;
  if ((code & 4) != 0) b = -b;
  if ((code & 1) != 0) std::swap(a, b);
  xOut = Clamp32(a + dx1 + dx2);
  yOut = Clamp32(b + dy1 + dy2);
}

bool TranslateCode(uint8_t code, int32_t fromVersion, int32_t toVersion, uint8_t& result) {
  if (code >= 8 || fromVersion < 1 || fromVersion > 8 || toVersion < 1 || toVersion > 8)
    return false;
  for (const auto& row : VersionEquivalence) {
    if (row[fromVersion - 1] == code) {
      result = row[toVersion - 1];
      return true;
    }
  }
  return false;
}

void PatternOffset(uint8_t code, int32_t x, int32_t y, int32_t w, int32_t h, int32_t& xOut,
                   int32_t& yOut) {
  const int64_t X = x, Y = y, W = w, H = h;
  int64_t rx = X, ry = Y;
  switch (code) {
    case 1: rx = X - H + W; ry = Y - W + H; break;
    case 2: rx = X - 2 * H; ry = Y; break;
    case 3: rx = X - H + W; ry = Y - H - W; break;
    case 4: rx = X; ry = Y - 2 * W; break;
    case 5: rx = X - H - W; ry = Y + H - W; break;
    case 6: rx = X - 2 * H; ry = Y - 2 * W; break;
    case 7: rx = X - H - W; ry = Y - H - W; break;
    default: break;
  }
  xOut = Clamp32(rx);
  yOut = Clamp32(ry);
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
  xOut = Clamp32(mx);
  yOut = Clamp32(my);
  ToInternal(xOut, yOut);
}

void TNCReader::PatternTransform(int32_t x, int32_t y, int32_t& xOut, int32_t& yOut) const {
  const TGlobalRec& g = *GlobalRec;
  TransformPoint(g.PatternOrientation, x, y, g.PatternOffsetX, g.PatternOffsetY, g.G92X, g.G92Y,
                 xOut, yOut);
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

void TNCReader::BuildHit(int32_t x, int32_t y) {
  TNCMove move = DrillRecord(*this, NCMoveHit);
  ConvertPoint(x, y, move.CentreX, move.CentreY);
  move.StartX = move.EndX = move.CentreX;
  move.StartY = move.EndY = move.CentreY;
  EmitMove(move);
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
  if (g.InSub) CloseSub();
  // Each repeat reads the pattern's lines from the file again.
  g.MainSwap.SkipLines(g.PatternStartPos);
  g.MainLineCount = g.PatternStartPos;
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
    TransformPoint(levelCode, offX, offY, g.LevelOffsetX[level], g.LevelOffsetY[level], 0, 0, offX,
                   offY);
    code = OrientationCompose[levelCode][code];
  }
  g.PatternOrientation = code;
  g.PatternOffsetX = offX;
  g.PatternOffsetY = offY;
  int64_t mx = offX, my = offY;
  AxisMap(offX, offY, mx, my);
  int32_t hx = Clamp32(mx), hy = Clamp32(my);
  ToInternal(hx, hy);
  uint8_t versionOne = code;
  ToVersionOne(code, versionOne);
  PatternOffset(versionOne, hx, hy, OriginX, OriginY, hx, hy);
  Hook22(hx / Divisor, hy / Divisor, argument, versionOne);
}
