#include "model/hit_patterns.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <string_view>

#include "foundation/display_units.h"
#include "foundation/geometry_matrix.h"
#include "foundation/geometry_points.h"
#include "model/tool_tables.h"

// clang-format off
const uint8_t DotMatrixFont[kDotMatrixLast - kDotMatrixFirst + 1][7] = {
    {0x00, 0x00, 0x00, 0x08, 0x1C, 0x08, 0x00},  // +
    {0, 0, 0, 0, 0, 0, 0},                       // ,
    {0x00, 0x00, 0x00, 0x00, 0x1C, 0x00, 0x00},  // -
    {0, 0, 0, 0, 0, 0, 0},                       // .
    {0x00, 0x02, 0x02, 0x04, 0x08, 0x10, 0x10},  // /
    {0x0C, 0x12, 0x12, 0x12, 0x12, 0x12, 0x0C},  // 0
    {0x18, 0x08, 0x08, 0x08, 0x08, 0x08, 0x1C},  // 1
    {0x0C, 0x12, 0x02, 0x04, 0x08, 0x10, 0x1E},  // 2
    {0x0C, 0x12, 0x02, 0x0C, 0x02, 0x12, 0x0C},  // 3
    {0x01, 0x03, 0x05, 0x09, 0x1F, 0x01, 0x01},  // 4
    {0x1E, 0x10, 0x1C, 0x02, 0x02, 0x12, 0x0C},  // 5
    {0x0C, 0x12, 0x10, 0x1C, 0x12, 0x12, 0x0C},  // 6
    {0x1E, 0x02, 0x02, 0x04, 0x08, 0x10, 0x10},  // 7
    {0x0C, 0x12, 0x12, 0x0C, 0x12, 0x12, 0x0C},  // 8
    {0x0C, 0x12, 0x12, 0x0E, 0x02, 0x12, 0x0C},  // 9
    {0, 0, 0, 0, 0, 0, 0},                       // :
    {0, 0, 0, 0, 0, 0, 0},                       // ;
    {0, 0, 0, 0, 0, 0, 0},                       // <
    {0, 0, 0, 0, 0, 0, 0},                       // =
    {0, 0, 0, 0, 0, 0, 0},                       // >
    {0, 0, 0, 0, 0, 0, 0},                       // ?
    {0, 0, 0, 0, 0, 0, 0},                       // @
    {0x0C, 0x12, 0x12, 0x12, 0x1E, 0x12, 0x12},  // A
    {0x1C, 0x12, 0x12, 0x1C, 0x12, 0x12, 0x1C},  // B
    {0x0C, 0x12, 0x10, 0x10, 0x10, 0x12, 0x0C},  // C
    {0x1C, 0x12, 0x12, 0x12, 0x12, 0x12, 0x1C},  // D
    {0x1E, 0x10, 0x10, 0x1C, 0x10, 0x10, 0x1E},  // E
    {0x1E, 0x10, 0x10, 0x1C, 0x10, 0x10, 0x10},  // F
    {0x0C, 0x12, 0x10, 0x16, 0x12, 0x12, 0x0C},  // G
    {0x12, 0x12, 0x12, 0x1E, 0x12, 0x12, 0x12},  // H
    {0x1C, 0x08, 0x08, 0x08, 0x08, 0x08, 0x1C},  // I
    {0x02, 0x02, 0x02, 0x02, 0x12, 0x12, 0x0C},  // J
    {0x12, 0x12, 0x14, 0x18, 0x14, 0x12, 0x12},  // K
    {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1E},  // L
    {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11},  // M
    {0x12, 0x1A, 0x16, 0x12, 0x12, 0x12, 0x12},  // N
    {0x1E, 0x12, 0x12, 0x12, 0x12, 0x12, 0x1E},  // O
    {0x1C, 0x12, 0x12, 0x1C, 0x10, 0x10, 0x10},  // P
    {0x0C, 0x12, 0x12, 0x12, 0x12, 0x12, 0x0F},  // Q
    {0x1C, 0x12, 0x12, 0x1C, 0x18, 0x14, 0x12},  // R
    {0x0C, 0x12, 0x10, 0x0C, 0x02, 0x12, 0x0C},  // S
    {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04},  // T
    {0x12, 0x12, 0x12, 0x12, 0x12, 0x12, 0x0C},  // U
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04},  // V
    {0x11, 0x11, 0x15, 0x15, 0x15, 0x15, 0x0A},  // W
    {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11},  // X
    {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04},  // Y
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F},  // Z
};
// clang-format on

namespace {

int32_t Nearest(double v) { return SaturatingRound(v); }


// The glyph rows of a character; characters outside the font stand for '?'.
const uint8_t* Glyph(char c) {
  int code = static_cast<unsigned char>(c);
  if (code < kDotMatrixFirst || code > kDotMatrixLast) code = '?';
  return DotMatrixFont[code - kDotMatrixFirst];
}

int32_t GlyphWidthOf(const uint8_t* rows) {
  unsigned bits = 0;
  for (int r = 0; r < 7; ++r) bits |= rows[r];
  int32_t width = 5;
  while ((bits & 1) == 0 && width >= 1) {
    bits >>= 1;
    --width;
  }
  return width;
}

int32_t NonZero(int32_t v) { return v == 0 ? 1 : v; }

}  // namespace

double CuspHeight(double p, double d) {
  if (p >= d) return 999999999.9;
  const double r = d / 2.0, h = p / 2.0;
  return r - std::sqrt(r * r - h * h);
}

// ---- Drilled text --------------------------------------------------------

TDrilledTextPattern::TDrilledTextPattern(const std::string& text, int32_t hitDiameter,
                                         uint8_t orientation, bool vertical)
    : Text(text.substr(0, 255)), Orientation(orientation), Vertical(vertical) {
  const double d = hitDiameter > 0 ? hitDiameter : 25400000.0 * 0.0347;
  Pitch = Nearest(1.2 * d);
}

int32_t TDrilledTextPattern::GlyphWidth(char c) { return GlyphWidthOf(Glyph(c)); }

void TDrilledTextPattern::Generate() {
  int64_t advance = 0;
  Advance = 0;
  for (char c : Text) {
    const uint8_t* rows = Glyph(c);
    for (int r = 6; r >= 0; --r) {
      const int64_t y = int64_t{6 - r} * Pitch;
      int64_t x = advance;
      for (unsigned bit = 16; bit >= 1; bit >>= 1, x += Pitch) {
        if ((rows[r] & bit) == 0) continue;
        int64_t dx = x, dy = y;
        if (Vertical) {
          dx = -y;
          dy = x;
        }
        int32_t hx, hy;
        UnorientPoint(ClampCompToInt(dx), ClampCompToInt(dy), Orientation, hx, hy);
        EmitHit(hx, hy);
      }
    }
    advance += int64_t{GlyphWidthOf(rows) + 1} * Pitch;
    Advance = ClampCompToInt(advance);
  }
}

void TDrilledTextPattern::GetExtent(int32_t& width, int32_t& height) const {
  int64_t w = 0;
  for (char c : Text) w += int64_t{GlyphWidth(c) + 1} * Pitch;
  int64_t h = int64_t{7} * Pitch - 1;
  if (Vertical) {
    const int64_t t = w;
    w = -h;
    h = t;
  }
  UnorientPoint(ClampCompToInt(w), ClampCompToInt(h), Orientation, width, height);
}

TTextHitCounter::TTextHitCounter(const std::string& text) : TDrilledTextPattern(text, 500, 1, false) {}

// ---- Drilled circle ------------------------------------------------------

int32_t CircleHitCount(double cusp, double drill, double diameter) {
  const double R = diameter / 2.0;
  const double v = drill / 2.0;  // drill radius
  const double w = R - v;        // radius the hits lie on
  if (!(w > 0.0)) return 1;
  const double u = R - cusp;     // deepest radius a cusp may reach
  // The angle between neighbouring hits whose outer crossing lies at radius
  // u. Where the cusp limit allows a crossing deeper than the point at which
  // neighbours only touch (or even the centre), neighbours are spaced to
  // touch instead: the cut stays closed and its cusps lie within the limit.
  double a;
  const double touch = w > v ? std::sqrt(w * w - v * v) : 0.0;
  if (u > 0.0 && u >= touch && (w > v || u > v - w)) {
    const double x = (w * w + u * u - v * v) / (2.0 * w * u);
    if (x > 1.0) return kMaxPatternHits;  // a negative cusp limit cannot be met
    a = 2.0 * ArcCosDeg(std::max(-1.0, x));
  } else if (w > v) {
    a = 2.0 * ArcSinDeg(v / w);
  } else {
    a = 360.0;
  }
  if (!(a > 0.0)) return 1;
  const double n = std::nearbyint(360.0 / a) + 1.0;
  return n >= kMaxPatternHits ? kMaxPatternHits : static_cast<int32_t>(n);
}

TDrilledCirclePattern::TDrilledCirclePattern(int32_t centerX, int32_t centerY, int32_t radius,
                                             int32_t a, int32_t b)
    : CenterX(centerX), CenterY(centerY), Radius(radius) {
  a = NonZero(a);
  b = NonZero(b);
  DrillDiameter = std::max(a, b);
  CuspLimit = b;
}

void TDrilledCirclePattern::Generate() {
  const double R = Radius;
  const double T = DrillDiameter;
  if (T / 2.0 >= R) {
    EmitHit(CenterX, CenterY);
    ++HitCount;
    return;
  }
  const int32_t n = CircleHitCount(CuspLimit, T, 2.0 * R);
  const double rho = R - T / 2.0;
  const double step = -360.0 / n;
  double angle = 0.0;
  for (int32_t k = 0; k < n && HitCount < kMaxPatternHits; ++k) {
    double x = 0.0, y = rho;
    RotatePoint(x, y, angle);
    EmitHit(ClampCompToInt(int64_t{Nearest(x)} + CenterX), ClampCompToInt(int64_t{Nearest(y)} + CenterY));
    ++HitCount;
    angle += step;
  }
}

// ---- Drilled slot --------------------------------------------------------

TDrilledSlotPattern::TDrilledSlotPattern(uint8_t kind, TIntPoint end1, TIntPoint end2, int32_t a,
                                         int32_t b)
    : Kind(kind), End1(end1), End2(end2) {
  a = NonZero(a);
  b = NonZero(b);
  DrillDiameter = std::max(a, b);
  CuspLimit = b;
}

bool TDrilledSlotPattern::Hit(double x, double y) {
  if (HitCount >= kMaxPatternHits || Stopped) return false;
  EmitHit(Nearest(x), Nearest(y));
  ++HitCount;
  return !Stopped;
}

bool TDrilledSlotPattern::PilotHit(double x, double y) {
  if (PilotHits >= kMaxPatternHits) return false;
  EmitPilotHit(Nearest(x), Nearest(y));
  ++PilotHits;
  return true;
}

bool TDrilledSlotPattern::IsShort() const {
  const double dx = double(End2.X) - End1.X, dy = double(End2.Y) - End1.Y;
  return std::sqrt(dx * dx + dy * dy) < DrillDiameter;
}

void TDrilledSlotPattern::Generate() {
  if (Kind == 0) {
    RowRefinement();
  } else if (Kind == 1) {
    Subdivision();
  }
}

void TDrilledSlotPattern::GenerateWith(bool compensate, bool side, double maxCompensationInches,
                                       double factor) {
  Compensate = compensate;
  Side = side;
  MaxCompensation = maxCompensationInches * 25400000.0;
  CompensationFactor = factor;
  Generate();
  Compensate = false;
}

void TDrilledSlotPattern::GeneratePilot(int32_t pilotDiameter) {
  PilotDiameter = pilotDiameter;
  if (Kind == 0 || Kind == 1) PilotPass();
}

void TDrilledSlotPattern::ShortSlot() {
  BeginShortSlot();
  const double x1 = End1.X, y1 = End1.Y;
  const double dx = double(End2.X) - x1, dy = double(End2.Y) - y1;
  const double L = std::sqrt(dx * dx + dy * dy);
  double m = std::trunc(L / (0.1 * DrillDiameter));
  if (m < 1.0 && L > 0.0) m = 1.0;
  if (m < 1.0) {
    Hit(x1, y1);
    return;
  }
  const double vx = dx / m, vy = dy / m;
  if (!Compensate) {
    for (int i = 0; i <= int(m); ++i) Hit(x1 + i * vx, y1 + i * vy);
    return;
  }
  double angle = DirectionAngle(TRealPoint{x1, y1}, TRealPoint{double(End2.X), double(End2.Y)});
  angle = NormalizeAngle360(Side ? angle + 90.0 : angle - 90.0);
  const double distance = std::min(double(DrillDiameter) * CompensationFactor, MaxCompensation);
  TRealPoint o;
  OffsetPoint(TRealPoint{0.0, 0.0}, o, distance, angle);
  Hit(x1, y1);
  for (int i = 1; i <= int(m); ++i) Hit(x1 + i * vx + o.X, y1 + i * vy + o.Y);
}

namespace {

// The rows of the row-refinement pass of a slot at least as long as the
// drill (S) from (x1, y1) to (x2, y2) with cusps of at most C: row(bx, by,
// vx, vy, offset, last) stands for the hits at b + (i + offset) * v, i = 0
// to last, in that order; it answers false to stop. The first row spaces the
// hits by about the drill; each further row fills the midpoints of the
// spacing so far, walking from end 2 back to end 1, then from end 1 to end
// 2, and so on.
template <class F>
void ForEachSlotRow(double x1, double y1, double x2, double y2, double S, double C, F&& row) {
  const double dx = x2 - x1, dy = y2 - y1;
  const double L = std::sqrt(dx * dx + dy * dy);
  double m = std::trunc(L / S);
  double vx = dx / m, vy = dy / m;
  if (!row(x1, y1, vx, vy, 0.0, m)) return;
  vx *= 2.0;
  vy *= 2.0;
  m = (m - 2.0) / 2.0;
  bool forward = true;
  while (CuspHeight(std::hypot(vx, vy) / 2.0, S) > C) {
    vx = -vx / 2.0;
    vy = -vy / 2.0;
    m = 2.0 * m + 1.0;
    forward = !forward;
    const double last = std::trunc(m);
    if (!row(forward ? x1 : x2, forward ? y1 : y2, vx, vy, 0.5, last)) return;
  }
}

}  // namespace

void TDrilledSlotPattern::RowRefinement() {
  const double S = DrillDiameter;
  const double dx = double(End2.X) - End1.X, dy = double(End2.Y) - End1.Y;
  if (std::sqrt(dx * dx + dy * dy) < S) {
    ShortSlot();
    return;
  }
  ForEachSlotRow(End1.X, End1.Y, End2.X, End2.Y, S, CuspLimit,
                 [this](double bx, double by, double vx, double vy, double offset, double last) {
                   for (double i = 0; i <= last; ++i)
                     if (!Hit(bx + (i + offset) * vx, by + (i + offset) * vy)) return false;
                   return true;
                 });
}

void TDrilledSlotPattern::Subdivision() {
  const double S = DrillDiameter, C = CuspLimit;
  const double x1 = End1.X, y1 = End1.Y;
  const double dx = double(End2.X) - x1, dy = double(End2.Y) - y1;
  const double L = std::sqrt(dx * dx + dy * dy);
  Hit(x1, y1);
  Hit(End2.X, End2.Y);
  const double P = 2.0 * std::sqrt(S * C);
  const double N = std::trunc(L / P + 0.99) - 1.0;
  int a = 0, b = 0;
  while (std::ldexp(1.0, a) <= N) ++a;
  while (3.0 * std::ldexp(1.0, b) <= N) ++b;
  double remaining, d;
  if (std::ldexp(1.0, a) < 3.0 * std::ldexp(1.0, b) || L <= 3.0 * S) {
    remaining = std::ldexp(1.0, a) + 1.0 - 2.0;
    if (remaining > 0) {
      Hit(x1 + 0.5 * dx, y1 + 0.5 * dy);
      remaining -= 1.0;
    }
    d = 2.0;
  } else {
    remaining = 3.0 * std::ldexp(1.0, b) + 1.0 - 2.0;
    if (remaining > 0) {
      Hit(x1 + dx / 3.0, y1 + dy / 3.0);
      Hit(x1 + 2.0 * dx / 3.0, y1 + 2.0 * dy / 3.0);
      remaining -= 2.0;
    }
    d = 3.0;
  }
  while (remaining > 0 && HitCount < kMaxPatternHits) {
    const double hx = dx / (2.0 * d), hy = dy / (2.0 * d);
    for (double j = 0; j < d && remaining > 0; ++j) {
      if (!Hit(x1 + hx + j * dx / d, y1 + hy + j * dy / d)) return;
      remaining -= 1.0;
    }
    d *= 2.0;
  }
}

void TDrilledSlotPattern::PilotPass() {
  const double S = DrillDiameter, C = CuspLimit, Pd = PilotDiameter;
  const double x1 = End1.X, y1 = End1.Y, x2 = End2.X, y2 = End2.Y;
  const double dx = x2 - x1, dy = y2 - y1;
  const double L = std::sqrt(dx * dx + dy * dy);
  if (L < S) {
    BeginShortSlot();
    double m = std::trunc(L / (0.1 * S));
    if (m < 1.0 && L > 0.0) m = 1.0;
    if (m < 1.0) {
      Hit(x1, y1);
      return;
    }
    PilotHit(x1, y1);
    double r, angle, ox, oy;
    RectToPolar(dx, dy, r, angle);
    PolarToRect(S / 2.0 - Pd / 2.0, angle, ox, oy);
    if (PilotHits < kMaxPatternHits) {
      EmitPilotHit(ClampCompToInt(int64_t(std::trunc(x2 + ox))), ClampCompToInt(int64_t(std::trunc(y2 + oy))));
      ++PilotHits;
    }
    for (int i = 0; i <= int(m); ++i) Hit(x1 + i * dx / m, y1 + i * dy / m);
    return;
  }
  // A pilot diameter of minus the drill diameter or less gives no spacing:
  // such a slot is drilled as if no pilot row fitted.
  double n = Pd + S > 0.0 ? std::trunc(L / (Pd + S)) : 0.0;
  const bool pilotRow = n > 0.0;
  if (!pilotRow) n = 1.0;
  double vx = dx / n, vy = dy / n;
  if (pilotRow)
    for (double i = 1; i <= n; ++i)
      if (!PilotHit(x1 + (i - 0.5) * vx, y1 + (i - 0.5) * vy)) break;
  for (double i = 0; i <= n; ++i)
    if (!Hit(x1 + i * vx, y1 + i * vy)) return;
  for (double i = n; i >= 1; --i)
    if (!Hit(x1 + (i - 0.5) * vx, y1 + (i - 0.5) * vy)) return;
  // Further rows fill the midpoints while the spacing left leaves cusps
  // above the limit.
  vx /= 2.0;
  vy /= 2.0;
  n *= 2.0;
  bool forward = false;
  while (CuspHeight(std::hypot(vx, vy), S) > C) {
    for (double k = 1; k <= n; ++k) {
      const double i = forward ? k : n + 1 - k;
      if (!Hit(x1 + (i - 0.5) * vx, y1 + (i - 0.5) * vy)) return;
    }
    vx /= 2.0;
    vy /= 2.0;
    n *= 2.0;
    forward = !forward;
  }
}

// ---- The slot algorithm settings ------------------------------------------------

void GenerateSlotHits(TDrilledSlotPattern& slot, const TSlotAlgorithmSettings& settings,
                      int32_t pilotDiameter) {
  slot.Kind = settings.BiDirectional == 1 ? 1 : 0;
  const bool isShort = slot.IsShort();
  const bool piloted = pilotDiameter > 0 && (isShort ? settings.DoShortSlotComp == 2
                                                     : settings.MultiToolPiloting);
  if (piloted) {
    slot.GeneratePilot(pilotDiameter);
    return;
  }
  if (isShort && settings.DoShortSlotComp == 1) {
    slot.GenerateWith(true, false, settings.ShortSlotMaxComp / 25400000.0,
                      settings.ShortSlotCompFactor / 100.0);
    return;
  }
  slot.Generate();
}

int32_t PilotToolFor(int32_t slotDiameter, const TSlotAlgorithmSettings& settings) {
  if (slotDiameter <= 0) return 0;
  const int64_t low = int64_t{slotDiameter} * settings.MinPilotHolePercent;
  const int64_t high = int64_t{slotDiameter} * settings.MaxPilotHolePercent;
  int32_t best = 0;
  for (int32_t t = 1; t <= kToolCount; ++t) {
    const int64_t d = ToolTable[t].Diameter;
    if (d <= 0 || d * 100 < low || d * 100 > high) continue;
    if (best == 0 || d > ToolTable[best].Diameter) best = t;
  }
  return best;
}

// ---- Hit counters ----------------------------------------------------------

int32_t CountTextHits(const std::string& text) {
  // Generate's count without working out the dots: the dots of the glyphs
  // of the characters the pattern keeps (the first 255). Every report and
  // statistic counts, text by text.
  int32_t count = 0;
  for (const char c : std::string_view(text).substr(0, 255)) {
    const uint8_t* rows = Glyph(c);
    for (int r = 0; r < 7; ++r) count += std::popcount(static_cast<unsigned>(rows[r] & 0x1F));
  }
  return count;
}

int32_t CountSlotHits(TIntPoint end1, TIntPoint end2, int32_t a, int32_t b) {
  // Generate's count, row by row, without working out the points: a slot
  // cut by a tiny drill has up to kMaxPatternHits of them, and every report
  // and statistic counts.
  const TDrilledSlotPattern slot(0, end1, end2, a, b);
  const double S = slot.DrillDiameter;
  const double dx = double(end2.X) - end1.X, dy = double(end2.Y) - end1.Y;
  const double L = std::sqrt(dx * dx + dy * dy);
  if (L < S) {
    // The short slot's hits: its steps of a tenth of the drill and the start.
    double m = std::trunc(L / (0.1 * S));
    if (m < 1.0 && L > 0.0) m = 1.0;
    if (m < 1.0) return 1;
    return std::min(int32_t(m) + 1, kMaxPatternHits);
  }
  double count = 0.0;
  ForEachSlotRow(end1.X, end1.Y, end2.X, end2.Y, S, slot.CuspLimit,
                 [&count](double, double, double, double, double, double last) {
                   if (last >= 0.0) count += last + 1.0;
                   return count < kMaxPatternHits;
                 });
  return int32_t(std::min<double>(count, kMaxPatternHits));
}

int32_t CountCircleHits(TIntPoint center, int32_t radius, int32_t a, int32_t b) {
  // Generate's count, without working out the points: a large circle has
  // up to kMaxPatternHits of them, and every report and statistic counts.
  const TDrilledCirclePattern circle(center.X, center.Y, radius, a, b);
  const double R = circle.Radius;
  const double T = circle.DrillDiameter;
  if (T / 2.0 >= R) return 1;
  return std::clamp(CircleHitCount(circle.CuspLimit, T, 2.0 * R), 0, kMaxPatternHits);
}
