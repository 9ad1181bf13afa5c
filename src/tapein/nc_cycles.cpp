// Canned drill cycles: the dual in-line package (G81 in format 2, G82) and
// the eight-pin pack (G83), each spread over three blocks and recorded in the
// symbol file for later P repeats, the drilled circle (G84) and the drilled
// slot (G85).
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "foundation/display_units.h"
#include "tapein/nc_reader.h"

namespace {

int32_t SignTowards(int32_t from, int32_t to) { return to < from ? -1 : 1; }

}  // namespace

// The X and Y of the block as a corner: absolute, or incremental from the
// current position; the current coordinate when a word is absent.
void TNCReader::BlockCorner(int32_t& x, int32_t& y) {
  TGlobalRec& g = *GlobalRec;
  int32_t value = 0, c = 1;
  x = g.CurX;
  y = g.CurY;
  if (FindWord('X', c, value)) x = Incremental ? ClampCompToInt(int64_t{g.CurX} + value) : value;
  c = 1;
  if (FindWord('Y', c, value)) y = Incremental ? ClampCompToInt(int64_t{g.CurY} + value) : value;
}

// Tape units of a length given in inches (or in millimetres on a metric tape).
int32_t TNCReader::TapeLength(double inches, double millimetres) const {
  const TGlobalRec& g = *GlobalRec;
  return SaturatingRound((Metric ? millimetres : inches) / g.DecimalStep);
}

void TNCReader::CycleHit(int32_t x, int32_t y) {
  TGlobalRec& g = *GlobalRec;
  EmitPatternHit(ClampCompToInt(int64_t{x} + g.SubOffsetX), ClampCompToInt(int64_t{y} + g.SubOffsetY));
  WriteSymbolHit(x, y);
}

void TNCReader::DipCycle() {
  TGlobalRec& g = *GlobalRec;
  g.BlockDone = true;
  if (!g.DrillCycleG81) {
    // The G82 block: arm the cycle with its pitch and row spacing.
    g.DipStage = 0;
    g.DrillCycleG81 = true;
    g.DipPitch = TapeLength(0.1, 2.54);
    g.DipRowSpacing = TapeLength(0.3, 7.62);
    int32_t value = 0, c = 1;
    if (FindWord('X', c, value)) g.DipPitch = value;
    c = 1;
    if (FindWord('Y', c, value)) g.DipRowSpacing = value;
    return;
  }
  if (g.DipStage == 0) {
    BlockCorner(g.DipFirstX, g.DipFirstY);
    g.CurX = g.DipFirstX;
    g.CurY = g.DipFirstY;
    g.DipStage = 1;
    return;
  }
  BlockNumber -= 2;
  BlockCorner(g.DipSecondX, g.DipSecondY);
  if (g.DipPitch != 0 && g.DipRowSpacing != 0) {
    BeginSymbol();
    const int64_t dx = std::llabs(int64_t{g.DipSecondX} - g.DipFirstX);
    const int64_t dy = std::llabs(int64_t{g.DipSecondY} - g.DipFirstY);
    const int64_t s = std::llabs(int64_t{g.DipRowSpacing});
    const int64_t pitch = std::llabs(int64_t{g.DipPitch});
    const bool alongX = std::llabs(dx - s) > std::llabs(dy - s);
    // Two rows of n + 1 pins stay within the reader's limit.
    const int64_t n = std::min<int64_t>(std::llround(double(alongX ? dx : dy) / double(pitch)),
                                        kMaxPackagePins / 2 - 1);
    const int64_t stepX = alongX ? pitch * SignTowards(g.DipFirstX, g.DipSecondX) : 0;
    const int64_t stepY = alongX ? 0 : pitch * SignTowards(g.DipFirstY, g.DipSecondY);
    for (int64_t i = 0; i <= n && !ErrorFlag; ++i)
      CycleHit(ClampCompToInt(g.CurX + i * stepX), ClampCompToInt(g.CurY + i * stepY));
    // Across to the second row, which stays the current position.
    if (alongX)
      g.CurY = ClampCompToInt(g.CurY + s * SignTowards(g.DipFirstY, g.DipSecondY));
    else
      g.CurX = ClampCompToInt(g.CurX + s * SignTowards(g.DipFirstX, g.DipSecondX));
    for (int64_t i = n; i >= 0 && !ErrorFlag; --i)
      CycleHit(ClampCompToInt(g.CurX + i * stepX), ClampCompToInt(g.CurY + i * stepY));
  }
  g.DrillCycleG81 = false;
  BlockNumber += 2;
}

void TNCReader::LPackCycle() {
  TGlobalRec& g = *GlobalRec;
  g.BlockDone = true;
  if (!g.DrillCycleG83) {
    g.LPackStage = 0;
    g.DrillCycleG83 = true;
    return;
  }
  if (g.LPackStage == 0) {
    BlockCorner(g.LPackFirstX, g.LPackFirstY);
    g.CurX = g.LPackFirstX;
    g.CurY = g.LPackFirstY;
    g.LPackStage = 1;
    return;
  }
  BlockNumber -= 2;
  BlockCorner(g.LPackSecondX, g.LPackSecondY);
  BeginSymbol();
  // Tape units per inch.
  const double s = (Metric ? 25.4 : 1.0) / g.DecimalStep;
  const int64_t reach = SaturatingRound(0.2 * s);
  int64_t cx = g.LPackFirstX, cy = g.LPackFirstY;
  if (std::llabs(int64_t{g.LPackSecondX} - g.LPackFirstX) >
      std::llabs(int64_t{g.LPackSecondY} - g.LPackFirstY))
    cx += reach * SignTowards(g.LPackFirstX, g.LPackSecondX);
  else
    cy += reach * SignTowards(g.LPackFirstY, g.LPackSecondY);
  // Eight pins on a circle of 0.2 inch at 45-degree steps.
  static constexpr double pins[8][2] = {{-0.2, 0},       {-0.1414213, 0.1414213},
                                        {0, 0.2},        {0.1414213, 0.1414213},
                                        {0.2, 0},        {0.1414213, -0.1414213},
                                        {0, -0.2},       {-0.1414213, -0.1414213}};
  for (const auto& pin : pins) {
    if (ErrorFlag) break;
    CycleHit(ClampCompToInt(cx + SaturatingRound(pin[0] * s)),
             ClampCompToInt(cy + SaturatingRound(pin[1] * s)));
  }
  g.DrillCycleG83 = false;
  BlockNumber += 2;
}

void TNCReader::DrilledCircle() {
  TGlobalRec& g = *GlobalRec;
  const int32_t at = g.DispatchIndex;
  for (int32_t i = 1; i < at; ++i)
    if (g.Letters[i] == 'X') {
      g.CurX = Incremental ? ClampCompToInt(int64_t{g.CurX} + g.Values[i]) : g.Values[i];
      break;
    }
  int32_t value = 0, c = 1;
  if (FindWord('Y', c, value)) g.CurY = Incremental ? ClampCompToInt(int64_t{g.CurY} + value) : value;
  c = at;
  if (FindWord('X', c, value)) g.CircleDiameter = value;
  if (g.CircleDiameter < 1) {
    g.ErrorInFile = true;
    return;
  }
  int32_t x, y;
  TransformedTapePoint(x, y);
  BuildCircle(x, y, g.CircleDiameter);
}

void TNCReader::DrilledSlot() {
  TGlobalRec& g = *GlobalRec;
  const int32_t at = g.DispatchIndex;
  bool xDone = false, yDone = false;
  for (int32_t i = 1; i < at; ++i) {
    const int32_t v = g.Values[i];
    if (g.Letters[i] == 'X' && !xDone) {
      g.CurX = Incremental ? ClampCompToInt(int64_t{g.CurX} + v) : v;
      xDone = true;
    } else if (g.Letters[i] == 'Y' && !yDone) {
      g.CurY = Incremental ? ClampCompToInt(int64_t{g.CurY} + v) : v;
      yDone = true;
    }
  }
  const int32_t x0 = g.CurX, y0 = g.CurY;
  int32_t value = 0, c = at;
  if (FindWord('X', c, value)) g.CurX = Incremental ? ClampCompToInt(int64_t{x0} + value) : value;
  c = at;
  if (FindWord('Y', c, value)) g.CurY = Incremental ? ClampCompToInt(int64_t{y0} + value) : value;
  int32_t sx, sy, ex, ey;
  TransformedTapePoint(x0, y0, sx, sy);
  TransformedTapePoint(g.CurX, g.CurY, ex, ey);
  BuildSlot(sx, sy, ex, ey);
}
