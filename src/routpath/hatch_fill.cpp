#include "routpath/hatch_fill.h"

#include <algorithm>
#include <cmath>

#include "foundation/display_units.h"
#include "foundation/geometry.h"

TChordStep ArcChordStep(double sx, double sy, double ex, double ey, double cx, double cy,
                        bool clockwise, double chordTolerance, int32_t maxSegments) {
  TChordStep out;
  const double r = std::hypot(sx - cx, sy - cy);
  if (!(r > 0.0)) return out;
  // A tolerance beyond the diameter would take the arc cosine of a value
  // below -1: the chord step is then a half turn.
  const double c = std::clamp((r - chordTolerance) / r, -1.0, 1.0);
  double step = 2.0 * ArcCosDeg(c);
  if (std::fabs(step) < 0.5) step = 1.0;
  const double a0 = std::atan2(sy - cy, sx - cx) * 180.0 / M_PI;
  const double a1 = (ex == sx && ey == sy) ? a0 : std::atan2(ey - cy, ex - cx) * 180.0 / M_PI;
  double sweep;
  if (std::fabs(a0 - a1) < 0.0001) {
    sweep = 360.0;
  } else {
    sweep = clockwise ? a0 - a1 : a1 - a0;
    if (sweep < 0.0) sweep += 360.0;
  }
  const double n = std::min(std::fabs(sweep / step), double(std::max(maxSegments - 1, 2)));
  int32_t count = static_cast<int32_t>(std::ceil(n - 1e-12));
  if (count < 2) count = 2;
  out.Count = count;
  out.StepDeg = (clockwise ? -sweep : sweep) / count;
  return out;
}

void THatchPolygon::AddVertex(double x, double y) {
  if (!Open_) {
    Open_ = true;
    FirstX_ = LastX_ = x;
    FirstY_ = LastY_ = y;
    return;
  }
  if (x == LastX_ && y == LastY_) return;
  Edges_.push_back({LastX_, LastY_, x, y});
  LastX_ = x;
  LastY_ = y;
}

void THatchPolygon::AddArc(double x, double y, double cx, double cy, bool clockwise) {
  if (!Open_) {
    AddVertex(x, y);
    return;
  }
  const TChordStep s = ArcChordStep(LastX_, LastY_, x, y, cx, cy, clockwise, ChordTolerance,
                                    MaxSegments);
  const double sx = LastX_ - cx, sy = LastY_ - cy;
  for (int32_t k = 1; k < s.Count; ++k) {
    const double a = s.StepDeg * k;
    const double c = CosDeg(a), sn = SinDeg(a);
    AddVertex(cx + sx * c - sy * sn, cy + sx * sn + sy * c);
  }
  AddVertex(x, y);
}

void THatchPolygon::Close() {
  if (!Open_) return;
  AddVertex(FirstX_, FirstY_);
  Open_ = false;
  ++ContourCount_;
}

int32_t THatchPolygon::RayCrossings(double x, double y) const {
  int32_t n = 0;
  for (const TEdge& e : Edges_) {
    if ((e.Y1 > y) == (e.Y2 > y)) continue;
    const double cx = e.X1 + (y - e.Y1) * (e.X2 - e.X1) / (e.Y2 - e.Y1);
    if (cx > x) ++n;
  }
  return n;
}

bool THatchPolygon::Contains(double x, double y) const { return RayCrossings(x, y) % 2 == 1; }

void THatchPolygon::Run() {
  if (Open_) Close();
  if (Edges_.size() < 2) return;
  if (Spacing < 1) throw EHatchFill("The hatch spacing must be at least one unit.");
  double minY = 2147483647.0, maxY = -2147483647.0;
  std::vector<std::size_t> order(Edges_.size());
  for (std::size_t i = 0; i < Edges_.size(); ++i) {
    order[i] = i;
    minY = std::min({minY, Edges_[i].Y1, Edges_[i].Y2});
    maxY = std::max({maxY, Edges_[i].Y1, Edges_[i].Y2});
  }
  minY -= 1.0;
  maxY += 1.0;
  auto low = [&](std::size_t i) { return std::min(Edges_[i].Y1, Edges_[i].Y2); };
  auto high = [&](std::size_t i) { return std::max(Edges_[i].Y1, Edges_[i].Y2); };
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return low(a) < low(b); });
  std::vector<std::size_t> active;
  std::vector<double> crossings;
  std::size_t next = 0;
  for (double y = minY; y < maxY; y += Spacing) {
    while (next < order.size() && low(order[next]) <= y) active.push_back(order[next++]);
    active.erase(std::remove_if(active.begin(), active.end(),
                                [&](std::size_t i) { return high(i) < y; }),
                 active.end());
    crossings.clear();
    for (std::size_t i : active) {
      const TEdge& e = Edges_[i];
      // Half-open in Y: a vertex the contour passes through counts once,
      // one where it only touches the scan line twice or not at all.
      if ((e.Y1 > y) == (e.Y2 > y)) continue;
      crossings.push_back(e.X1 + (y - e.Y1) * (e.X2 - e.X1) / (e.Y2 - e.Y1));
    }
    std::sort(crossings.begin(), crossings.end());
    // Spans joined crossings 1-2, 3-4, ...; two crossings at one point (a
    // vertex where the contour only touches the scan line from above, or
    // two contours touching) do not split a span.
    for (std::size_t k = 0; k + 1 < crossings.size(); k += 2) {
      const double x1 = crossings[k];
      while (k + 3 < crossings.size() && crossings[k + 1] == crossings[k + 2]) k += 2;
      if (x1 != crossings[k + 1]) EmitSpan(x1, crossings[k + 1], y);
    }
  }
}

void AddRingToPolygon(THatchPolygon& polygon, const std::vector<TRingSegment>& ring) {
  if (ring.size() < 2) return;
  polygon.AddVertex(ring.back().X, ring.back().Y);
  for (const TRingSegment& s : ring) {
    switch (s.Kind) {
      case 1: polygon.AddVertex(s.X, s.Y); break;
      case 2: polygon.AddArc(s.X, s.Y, s.CX, s.CY, true); break;
      case 3: polygon.AddArc(s.X, s.Y, s.CX, s.CY, false); break;
      default: break;
    }
  }
  polygon.Close();
}

namespace {
class TDriverPolygon : public THatchPolygon {
 public:
  using TEmit = void (*)(void*, double, double, double);
  TDriverPolygon(double tolerance, int32_t spacing, TEmit emit, void* target)
      : THatchPolygon(tolerance, spacing), Emit(emit), Target(target) {}

 protected:
  void EmitSpan(double x1, double x2, double y) override { Emit(Target, x1, x2, y); }

 private:
  TEmit Emit;
  void* Target;
};
}  // namespace

void THatchDriver::Fill(const std::vector<TRingSegment>& ring, int32_t spacing,
                        double chordTolerance) {
  Fill(std::vector<std::vector<TRingSegment>>{ring}, spacing, chordTolerance);
}

void THatchDriver::Fill(const std::vector<std::vector<TRingSegment>>& rings, int32_t spacing,
                        double chordTolerance) {
  struct TBridge {
    static void Emit(void* self, double x1, double x2, double y) {
      const int32_t iy = SaturatingRound(y);
      static_cast<THatchDriver*>(self)->EmitPass(SaturatingRound(x1), iy, SaturatingRound(x2), iy);
    }
  };
  TDriverPolygon polygon(chordTolerance, spacing, &TBridge::Emit, this);
  for (const auto& ring : rings) AddRingToPolygon(polygon, ring);
  polygon.Run();
}
