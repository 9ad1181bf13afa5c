#include "routpath/ring_cleaner.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "foundation/geometry.h"
#include "foundation/geometry_intersect.h"

namespace {

// Squared distance within which two arc centres are the same.
constexpr double kCentreToleranceSq = kOverlapTolerance * kOverlapTolerance;

double AngleOf(double x, double y, double cx, double cy) {
  double r, a;
  RectToPolar(x - cx, y - cy, r, a);
  return NormalizeAngle360(a);
}

bool InRange(double a, double lo, double hi) {
  return (lo <= a && a <= hi) || (lo - 360.0 <= a && a <= hi - 360.0);
}

}  // namespace

int32_t TRingCleaner::InsertAfter(int32_t at, const TRingSegment& s) {
  const int32_t i = static_cast<int32_t>(Ring.size());
  Ring.push_back(s);
  const int32_t next = Ring[at].Next;
  Ring[i].Prev = at;
  Ring[i].Next = next;
  Ring[at].Next = i;
  Ring[next].Prev = i;
  return i;
}

void TRingCleaner::Run(std::vector<TRingSegment> ring) {
  Ring = std::move(ring);
  const int32_t n = static_cast<int32_t>(Ring.size());
  if (n == 0) return;
  for (int32_t i = 0; i < n; ++i) {
    Ring[i].Next = (i + 1) % n;
    Ring[i].Prev = (i + n - 1) % n;
  }
  First = 0;
  Clean();
  Play();
  Ring.clear();
}

void TRingCleaner::Clean() {
  for (TRingSegment& s : Ring) s.Length = std::fabs(s.Length);
  for (;;) {
    int32_t best = -1;
    double longest = 0.0;
    for (int32_t i = 0; i < static_cast<int32_t>(Ring.size()); ++i)
      if (Ring[i].Tag != 0 && Ring[i].Length > longest) {
        longest = Ring[i].Length;
        best = i;
      }
    if (best < 0) break;
    if (!Ring[best].Fixed) {
      switch (Ring[best].Kind) {
        case 1: CleanLine(best); break;
        case 2: CleanArc(best, 3); break;
        case 3: CleanArc(best, 2); break;
        default: break;
      }
    }
    Ring[best].Length = -Ring[best].Length;
  }
  for (TRingSegment& s : Ring) s.Length = std::fabs(s.Length);
}

void TRingCleaner::Isolate(int32_t e) {
  const int32_t p = Ring[e].Prev;
  // The copy of P takes over the end of the element before E; P becomes a
  // move of no length at the same point.
  TRingSegment copy = Ring[p];
  InsertAfter(Ring[p].Prev, copy);
  TRingSegment& pm = Ring[p];
  pm.Kind = 0;
  pm.Fixed = 1;
  pm.Length = 0.0;
  TRingSegment after;
  after.Kind = 0;
  after.Fixed = 1;
  after.Length = 0.0;
  after.Tag = 0;
  after.X = Ring[e].X;
  after.Y = Ring[e].Y;
  InsertAfter(e, after);
}

void TRingCleaner::CleanLine(int32_t e) {
  Isolate(e);
  const int32_t p = Ring[e].Prev;  // the move that starts E
  bool restart = true;
  while (restart) {
    restart = false;
    const double px = Ring[p].X, py = Ring[p].Y, nx = Ring[e].X, ny = Ring[e].Y;
    const double dx = nx - px, dy = ny - py;
    const double bx0 = std::min(px, nx) - kOverlapTolerance, bx1 = std::max(px, nx) + kOverlapTolerance;
    const double by0 = std::min(py, ny) - kOverlapTolerance, by1 = std::max(py, ny) + kOverlapTolerance;
    const double limit = (dx * dx + dy * dy) * kOverlapTolerance * kOverlapTolerance;
    auto inBox = [&](const TRingSegment& q) {
      return q.X >= bx0 && q.X <= bx1 && q.Y >= by0 && q.Y <= by1;
    };
    auto near = [&](const TRingSegment& q) {
      const double c = dy * (q.X - px) - dx * (q.Y - py);
      return c * c <= limit;
    };
    const bool alongY = std::fabs(dy) > std::fabs(dx);
    // Moves the end of E nearer to q along E's main axis onto q.
    auto stretch = [&](const TRingSegment& q) {
      const double a = alongY ? q.Y : q.X;
      const double ap = alongY ? py : px, an = alongY ? ny : nx;
      const double dp = std::fabs(a - ap), dn = std::fabs(a - an);
      const bool moveStart = dp < dn || (dp == dn && ap <= an);
      TRingSegment& end = Ring[moveStart ? p : e];
      end.X = q.X;
      end.Y = q.Y;
    };
    // From N round to the segment before P.
    for (int32_t q = e; q != p && !restart; q = Ring[q].Next) {
      const int32_t s = Ring[q].Next;
      const bool lines = Ring[q].Kind == 1 || Ring[s].Kind == 1;
      if (!lines || !inBox(Ring[q]) || !near(Ring[q])) continue;
      if (Ring[s].Kind == 1 && !Ring[s].Fixed && near(Ring[s])) {
        Ring[s].Kind = 0;
        if (!inBox(Ring[s])) {
          stretch(Ring[s]);
          restart = true;
        }
      } else if (Ring[q].Kind == 1 && !Ring[q].Fixed && q != e && near(Ring[Ring[q].Prev])) {
        Ring[q].Kind = 0;
        if (!inBox(Ring[Ring[q].Prev])) {
          stretch(Ring[Ring[q].Prev]);
          restart = true;
        }
      }
    }
  }
}

void TRingCleaner::CleanArc(int32_t e, uint8_t sought) {
  Isolate(e);
  const int32_t p = Ring[e].Prev;
  auto meanRadius = [&](int32_t start, int32_t arc) {
    const TRingSegment& a = Ring[arc];
    return (std::hypot(double(Ring[start].X) - a.CX, double(Ring[start].Y) - a.CY) +
            std::hypot(double(a.X) - a.CX, double(a.Y) - a.CY)) /
           2.0;
  };
  // The angular range of the arc from start's point to arc's point.
  auto range = [&](int32_t start, int32_t arc, double cx, double cy, double& lo, double& hi) {
    const double a1 = AngleOf(Ring[start].X, Ring[start].Y, cx, cy);
    const double a2 = AngleOf(Ring[arc].X, Ring[arc].Y, cx, cy);
    if (Ring[arc].Kind == 2) {
      lo = a2;
      hi = a1;
    } else {
      lo = a1;
      hi = a2;
    }
    if (hi < lo) hi += 360.0;
  };
  for (int32_t q = e; q != p; q = Ring[q].Next) {
    const int32_t qa = Ring[q].Next;
    TRingSegment& arc = Ring[qa];
    if (arc.Kind != sought || arc.Fixed) continue;
    const double cx = Ring[e].CX, cy = Ring[e].CY;
    const double ddx = double(arc.CX) - cx, ddy = double(arc.CY) - cy;
    if (ddx * ddx + ddy * ddy > kCentreToleranceSq) continue;
    const double re = meanRadius(p, e), rq = meanRadius(q, qa);
    if (std::fabs(re - rq) > kOverlapTolerance) continue;
    double elo, ehi, qlo, qhi;
    range(p, e, cx, cy, elo, ehi);
    range(q, qa, cx, cy, qlo, qhi);
    const bool loIn = InRange(qlo, elo, ehi), hiIn = InRange(qhi, elo, ehi);
    if (!loIn && !hiIn) continue;
    arc.Kind = 0;
    arc.Fixed = 1;
    if (loIn && hiIn) continue;
    // E grows over the part of Q that sticks out: the end of E at that
    // angle moves onto Q's end at that angle.
    const bool clockwiseE = Ring[e].Kind == 2;
    const bool clockwiseQ = sought == 2;
    const bool upper = loIn;  // Q sticks out beyond E's upper angle
    const int32_t eEnd = upper == clockwiseE ? p : e;   // upper: start of a clockwise E
    const int32_t qEnd = upper == clockwiseQ ? q : qa;  // upper: start of a clockwise Q
    Ring[eEnd].X = Ring[qEnd].X;
    Ring[eEnd].Y = Ring[qEnd].Y;
    // A new centre at the mean radius from both ends, nearer the old one.
    TCircleEq c1, c2;
    c1.Center = {double(Ring[p].X), double(Ring[p].Y)};
    c2.Center = {double(Ring[e].X), double(Ring[e].Y)};
    c1.Radius = c2.Radius = (re + rq) / 2.0;
    TRealPoint q1, q2;
    uint8_t n = 0;
    IntCircles(0, c1, c2, q1, q2, n);
    if (n >= 1) {
      if (n == 1) q2 = q1;
      const double d1 = (q1.X - cx) * (q1.X - cx) + (q1.Y - cy) * (q1.Y - cy);
      const double d2 = (q2.X - cx) * (q2.X - cx) + (q2.Y - cy) * (q2.Y - cy);
      const TRealPoint& c = d1 < d2 ? q1 : q2;
      Ring[e].CX = static_cast<int32_t>(std::trunc(c.X));
      Ring[e].CY = static_cast<int32_t>(std::trunc(c.Y));
    }
  }
}

void TRingCleaner::Play() {
  int32_t x = Ring[First].X, y = Ring[First].Y;
  MoveTo(x, y);
  int32_t i = Ring[First].Next;
  for (;;) {
    const TRingSegment& s = Ring[i];
    if (!(s.Kind == 0 && s.X == x && s.Y == y)) {
      switch (s.Kind) {
        case 1: LineTo(s.X, s.Y, s.Tag); break;
        case 2:
        case 3:
          if (s.Length == 0.0)
            MoveToIndexed(s.X, s.Y, s.Tag);
          else if (s.Kind == 2)
            ArcToCW(s.X, s.Y, s.Tag, s.CX, s.CY);
          else
            ArcToCCW(s.X, s.Y, s.Tag, s.CX, s.CY);
          break;
        default: MoveToIndexed(s.X, s.Y, s.Tag); break;
      }
      x = s.X;
      y = s.Y;
    }
    if (i == First) break;
    i = s.Next;
  }
}
