// Rout moves of the end-of-block step: rapids, lines, arcs, the zero-length
// line that marks a change of cutter compensation, and routed circles.
#include <cmath>

#include "foundation/display_units.h"
#include "foundation/geometry.h"
#include "foundation/geometry_matrix.h"
#include "tapein/nc_reader.h"

namespace {

// 1 when the axis version (1..8) mirrors the tape's plane; 0 stands for a
// reader without a version.
uint8_t VersionMirror(int32_t version) {
  static constexpr uint8_t table[9] = {1, 0, 1, 0, 1, 1, 0, 1, 0};
  return version >= 0 && version <= 8 ? table[version] : 0;
}

}  // namespace

TNCMove TNCReader::BuildMove(int32_t x, int32_t y, bool head, uint8_t comp, uint8_t kind) {
  TGlobalRec& g = *GlobalRec;
  TNCMove m;
  m.Kind = kind;
  m.SourceBlock = BlockNumber - 1 + g.BlockBase;
  ConvertPoint(g.PrevX, g.PrevY, m.StartX, m.StartY);
  ConvertPoint(x, y, m.EndX, m.EndY);
  m.Comp = comp;
  m.FromRepeat = g.InPattern ? 1 : 0;
  m.Head = head ? 1 : 0;
  m.Tool = g.ToolNumber;
  m.ToolOffset = g.ToolOffset;
  g.PrevX = x;
  g.PrevY = y;
  return m;
}

void TNCReader::MoveWarning(const TNCMove& m, const std::string& text) {
  const int32_t mx = static_cast<int32_t>((int64_t{m.StartX} + m.EndX) / 2);
  const int32_t my = static_cast<int32_t>((int64_t{m.StartY} + m.EndY) / 2);
  Warning(mx / Divisor, my / Divisor, BlockNumber - 1, text);
}

void TNCReader::MoveRapid(int32_t x, int32_t y) {
  TGlobalRec& g = *GlobalRec;
  TNCMove m;
  if (!g.HeadDown) {
    g.CompSide = 0;
    m = BuildMove(x, y, false, 0, NCMoveRapid);
  } else {
    m = BuildMove(x, y, true, 0, NCMoveLine);
    if (!g.InPattern) MoveWarning(m, "G00 WITH HEAD DOWN!");
  }
  EmitMove(m);
}

void TNCReader::MoveLine(int32_t x, int32_t y) {
  TGlobalRec& g = *GlobalRec;
  TNCMove m = BuildMove(x, y, g.HeadDown, g.CompSide, NCMoveLine);
  if (!g.InPattern && m.StartX == m.EndX && m.StartY == m.EndY) MoveWarning(m, "G01 REPEAT XY!");
  EmitMove(m);
}

void TNCReader::MoveArc(int32_t x, int32_t y) {
  TGlobalRec& g = *GlobalRec;
  const bool mirrored = MirrorParity[g.PatternOrientation & 7] == 1;
  const bool clockwise = (g.MotionMode == 2) != mirrored;
  int32_t cx, cy;
  if (UseIJCentre && g.IJSeen) {
    // I and J are always incremental from the start point.
    cx = ClampCompToInt(int64_t{g.PrevX} + LastI);
    cy = ClampCompToInt(int64_t{g.PrevY} + LastJ);
  } else {
    ArcCentreFromRadius(ArcCentreSide(clockwise, AxisVersion), g.ArcRadius, x, y, g.PrevX, g.PrevY, cx, cy);
  }
  TNCMove m = BuildMove(x, y, g.HeadDown, g.CompSide, clockwise ? NCMoveArcCW : NCMoveArcCCW);
  ConvertPoint(cx, cy, m.CentreX, m.CentreY);
  if (!g.InPattern && m.StartX == m.EndX && m.StartY == m.EndY) MoveWarning(m, "G02/3 REPEAT XY!");
  EmitMove(m);
}

bool TNCReader::ArcCentreSide(bool clockwise, int32_t axisVersion) {
  return clockwise != (VersionMirror(axisVersion) == 1);
}

int32_t TNCReader::ArcRadiusOfIJ(int64_t i, int64_t j) {
  return SaturatingRound(std::sqrt(double(i) * double(i) + double(j) * double(j)));
}

void TNCReader::ArcCentreFromRadius(bool side, int32_t radius, int32_t endX, int32_t endY,
                                    int32_t startX, int32_t startY, int32_t& cx, int32_t& cy) {
  double h, theta;
  RectToPolar((double(endX) - startX) * 0.5, (double(endY) - startY) * 0.5, h, theta);
  double r = radius;
  // A radius shorter than half the chord makes the arc a half circle.
  if (h > r) r = h;
  double d = std::sqrt(r * r - h * h);
  if (side) d = -d;
  double px = h, py = d;
  RotatePoint(px, py, theta);
  cx = ClampCompToInt(int64_t{startX} + SaturatingRound(px));
  cy = ClampCompToInt(int64_t{startY} + SaturatingRound(py));
}

void TNCReader::CompChangeMove(int32_t x, int32_t y, bool head) {
  TNCMove m = BuildMove(x, y, head, 0, NCMoveLine);
  EmitMove(m);
}

void TNCReader::RoutCircleMove(int32_t x, int32_t y) {
  TGlobalRec& g = *GlobalRec;
  const int32_t mode = g.MotionMode;
  const int32_t a = g.ArcRadius;
  g.HeadDown = false;
  g.MotionMode = 0;
  g.CompSide = 0;
  MoveRapid(g.PrevX, g.PrevY);

  int32_t cx, cy, ex, ey;
  ConvertPoint(x, y, cx, cy);
  ConvertPoint(ClampCompToInt(int64_t{x} + a), ClampCompToInt(int64_t{y} + a), ex, ey);
  const int32_t radius = ClampCompToInt(std::llabs(int64_t{ex} - cx));
  bool handled = false;
  RoutCircle(cx / Divisor, cy / Divisor, radius / Divisor, Feed, MoveParameter, mode == 32, handled);
  if (handled) {
    Feed = 0;
    MoveParameter = 2147483647;
  } else {
    auto at = [](int32_t base, int64_t offset) { return ClampCompToInt(int64_t{base} + offset); };
    auto straight = [&](int32_t px, int32_t py, uint8_t kind) {
      TNCMove m = BuildMove(px, py, false, 0, kind);
      EmitMove(m);
    };
    auto arc = [&](int32_t px, int32_t py, int32_t ccx, int32_t ccy, uint8_t kind, uint8_t comp) {
      TNCMove m = BuildMove(px, py, true, comp, kind);
      ConvertPoint(ccx, ccy, m.CentreX, m.CentreY);
      EmitMove(m);
    };
    if (mode == 33) {
      // Clockwise with right compensation, entered and left on small arcs.
      const int32_t inX = at(x, -int64_t{a} + 100), inY = at(y, 100);
      const int32_t outX = at(x, int64_t{a} - 100);
      straight(inX, inY, NCMoveRapid);
      straight(inX, inY, NCMoveLine);
      arc(x, at(y, a), x, at(y, 100), NCMoveArcCW, 2);
      arc(at(x, a), y, x, y, NCMoveArcCW, 2);
      arc(x, at(y, -int64_t{a}), x, y, NCMoveArcCW, 2);
      arc(at(x, -int64_t{a}), y, x, y, NCMoveArcCW, 2);
      arc(x, at(y, a), x, y, NCMoveArcCW, 2);
      arc(outX, inY, x, at(y, 100), NCMoveArcCW, 2);
      straight(outX, inY, NCMoveLine);
    } else {
      // Counter-clockwise with left compensation, one and a half turns.
      straight(at(x, a), y, NCMoveRapid);
      straight(at(x, a), y, NCMoveLine);
      arc(x, at(y, a), x, y, NCMoveArcCCW, 1);
      arc(at(x, -int64_t{a}), y, x, y, NCMoveArcCCW, 1);
      arc(x, at(y, -int64_t{a}), x, y, NCMoveArcCCW, 1);
      arc(at(x, a), y, x, y, NCMoveArcCCW, 1);
      arc(x, at(y, a), x, y, NCMoveArcCCW, 1);
      arc(at(x, -int64_t{a}), y, x, y, NCMoveArcCCW, 1);
      straight(at(x, -int64_t{a}), y, NCMoveLine);
    }
  }
  // A routed circle does not stay modal.
  g.CompSide = 0;
  g.HeadDown = false;
  g.MotionMode = 0;
}
