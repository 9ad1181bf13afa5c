#include "routpath/segment_chainer.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <queue>
#include <unordered_map>
#include <utility>

#include "foundation/display_units.h"
#include "foundation/geometry_intersect.h"
#include "routpath/endpoint_grid.h"

namespace {

// The travelling order moves its reference point back by this much in each
// coordinate above it (0.005 in).
constexpr int32_t kReferenceStep = 127000;
// Largest difference of an arc's two end radii left as it is.
constexpr double kArcRadiusSlack = 1000.0;

bool Meet(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  return std::llabs(int64_t{x1} - x2) <= kChainJoinTolerance &&
         std::llabs(int64_t{y1} - y2) <= kChainJoinTolerance;
}

// Interleaves the bits of the two cell numbers, so that cells near each
// other are mostly near each other in the sorted table too.
uint64_t Morton(uint32_t cx, uint32_t cy) {
  auto spread = [](uint64_t v) {
    v = (v | (v << 16)) & 0x0000FFFF0000FFFFull;
    v = (v | (v << 8)) & 0x00FF00FF00FF00FFull;
    v = (v | (v << 4)) & 0x0F0F0F0F0F0F0F0Full;
    v = (v | (v << 2)) & 0x3333333333333333ull;
    v = (v | (v << 1)) & 0x5555555555555555ull;
    return v;
  };
  return spread(cx) | (spread(cy) << 1);
}

// Segment ends in a table sorted by cell; cells are at least twice the
// tolerance wide, so a search reads the one to four cells the tolerance
// square around a point touches.
class TEndGrid {
 public:
  explicit TEndGrid(const std::vector<TChainSegment>& pool)
      : Shift(CellShiftForTolerance(4 * kChainJoinTolerance)) {
    Ends.reserve(pool.size() * 2);
    for (std::size_t i = 0; i < pool.size(); ++i) {
      const TChainSegment& s = pool[i];
      Enter(s.X1, s.Y1, i, true);
      Enter(s.X2, s.Y2, i, false);
    }
    std::sort(Ends.begin(), Ends.end(), [](const TEnd& a, const TEnd& b) {
      return a.Key < b.Key || (a.Key == b.Key && a.Index < b.Index);
    });
  }
  // The lowest index of an untaken segment with an end meeting (x, y);
  // atStart tells whether its start meets (preferred over its end). -1 when
  // none.
  int64_t Find(int32_t x, int32_t y, const std::vector<bool>& taken, bool& atStart) const {
    int64_t best = -1;
    auto cell = [&](int64_t v) {
      return EndpointCell(static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)), Shift);
    };
    const uint32_t x0 = cell(int64_t{x} - kChainJoinTolerance), x1 = cell(int64_t{x} + kChainJoinTolerance);
    const uint32_t y0 = cell(int64_t{y} - kChainJoinTolerance), y1 = cell(int64_t{y} + kChainJoinTolerance);
    for (uint32_t cx = x0; cx <= x1; ++cx)
      for (uint32_t cy = y0; cy <= y1; ++cy) {
        const uint64_t key = Morton(cx, cy);
        auto it = std::lower_bound(Ends.begin(), Ends.end(), key,
                                   [](const TEnd& e, uint64_t k) { return e.Key < k; });
        for (; it != Ends.end() && it->Key == key; ++it) {
          const int64_t i = it->Index;
          if (taken[i] || (best >= 0 && i > best)) continue;
          if (!Meet(x, y, it->X, it->Y)) continue;
          if (i < best || best < 0 || it->AtStart) {
            atStart = i == best ? (atStart || it->AtStart) : it->AtStart;
            best = i;
          }
        }
      }
    return best;
  }

 private:
  struct TEnd {
    uint64_t Key;
    uint32_t Index;
    int32_t X, Y;
    bool AtStart;
  };
  void Enter(int32_t x, int32_t y, std::size_t i, bool atStart) {
    Ends.push_back({Morton(EndpointCell(x, Shift), EndpointCell(y, Shift)), uint32_t(i), x, y, atStart});
  }
  uint8_t Shift;
  std::vector<TEnd> Ends;
};

using TChain = std::vector<TChainSegment>;

void ReverseChain(TChain& chain) {
  std::reverse(chain.begin(), chain.end());
  for (TChainSegment& s : chain) s.Reverse();
}

void ExtendTail(TChain& chain, const std::vector<TChainSegment>& pool, std::vector<bool>& taken,
                const TEndGrid& grid) {
  for (;;) {
    const TChainSegment& tail = chain.back();
    bool atStart = true;
    const int64_t i = grid.Find(tail.X2, tail.Y2, taken, atStart);
    if (i < 0) return;
    taken[i] = true;
    TChainSegment s = pool[i];
    if (!atStart) s.Reverse();
    chain.push_back(s);
  }
}

// The chains in travelling order: from the reference point (0, 0) on, the
// chain with the nearest start or end (the larger of the X and Y
// differences; the earlier chain, and its start before its end, on a tie),
// reversed when its end is the nearer.
std::vector<std::size_t> TravellingOrder(std::vector<TChain>& chains, bool stepBack) {
  const std::size_t n = chains.size();
  std::vector<std::size_t> order;
  if (n == 0) return order;
  int64_t minX = INT64_MAX, minY = INT64_MAX, maxX = INT64_MIN, maxY = INT64_MIN;
  for (const TChain& c : chains)
    for (const TChainSegment* s : {&c.front(), &c.back()})
      for (auto [x, y] : {std::pair{s->X1, s->Y1}, std::pair{s->X2, s->Y2}}) {
        minX = std::min<int64_t>(minX, x);
        minY = std::min<int64_t>(minY, y);
        maxX = std::max<int64_t>(maxX, x);
        maxY = std::max<int64_t>(maxY, y);
      }
  const double span = double(std::max(maxX - minX, maxY - minY)) + 1.0;
  const int64_t cell = std::max<int64_t>(65536, int64_t(span / std::sqrt(double(n)) + 1.0));
  auto cellOf = [&](int64_t v, int64_t lo) {
    const int64_t d = v - lo;
    return d >= 0 ? d / cell : -((-d + cell - 1) / cell);
  };
  std::unordered_map<uint64_t, std::vector<std::pair<std::size_t, bool>>> grid;
  auto key = [](int64_t cx, int64_t cy) {
    return (uint64_t(uint32_t(int32_t(cx))) << 32) | uint32_t(int32_t(cy));
  };
  for (std::size_t i = 0; i < n; ++i) {
    const TChainSegment& a = chains[i].front();
    const TChainSegment& b = chains[i].back();
    grid[key(cellOf(a.X1, minX), cellOf(a.Y1, minY))].push_back({i, false});
    grid[key(cellOf(b.X2, minX), cellOf(b.Y2, minY))].push_back({i, true});
  }
  const int64_t cellsX = cellOf(maxX, minX), cellsY = cellOf(maxY, minY);
  std::vector<bool> done(n, false);
  int64_t rx = 0, ry = 0;
  for (std::size_t taken = 0; taken < n; ++taken) {
    const int64_t qx = cellOf(rx, minX), qy = cellOf(ry, minY);
    // Rings of cells around the reference point, until nothing nearer can
    // lie farther out.
    const int64_t maxRing = std::max({std::llabs(qx), std::llabs(qy), std::llabs(qx - cellsX),
                                      std::llabs(qy - cellsY)}) + 1;
    int64_t bestD = INT64_MAX;
    std::size_t best = n;
    bool bestEnd = false;
    for (int64_t r = 0; r <= maxRing; ++r) {
      if (best < n && bestD < (r - 1) * cell) break;
      auto visit = [&](int64_t cx, int64_t cy) {
        auto it = grid.find(key(cx, cy));
        if (it == grid.end()) return;
        for (auto [i, end] : it->second) {
          if (done[i]) continue;
          const TChainSegment& s = end ? chains[i].back() : chains[i].front();
          const int64_t x = end ? s.X2 : s.X1, y = end ? s.Y2 : s.Y1;
          const int64_t d = std::max(std::llabs(x - rx), std::llabs(y - ry));
          if (d < bestD || (d == bestD && (i < best || (i == best && !end)))) {
            bestD = d;
            best = i;
            bestEnd = end;
          }
        }
      };
      // The cells of the ring's border only.
      if (r == 0) {
        visit(qx, qy);
        continue;
      }
      for (int64_t cx = qx - r; cx <= qx + r; ++cx) {
        visit(cx, qy - r);
        visit(cx, qy + r);
      }
      for (int64_t cy = qy - r + 1; cy <= qy + r - 1; ++cy) {
        visit(qx - r, cy);
        visit(qx + r, cy);
      }
    }
    done[best] = true;
    TChain& chain = chains[best];
    // The end is the nearer only when strictly nearer than the start.
    if (bestEnd) {
      const TChainSegment& s = chain.front();
      const int64_t ds = std::max(std::llabs(s.X1 - rx), std::llabs(s.Y1 - ry));
      if (ds > bestD) ReverseChain(chain);
    }
    order.push_back(best);
    const TChainSegment& last = chain.back();
    rx = stepBack && last.X2 > kReferenceStep ? last.X2 - kReferenceStep : last.X2;
    ry = stepBack && last.Y2 > kReferenceStep ? last.Y2 - kReferenceStep : last.Y2;
  }
  return order;
}

double MeanRadius(const TChainSegment& s) {
  return (std::hypot(double(s.X1) - s.CX, double(s.Y1) - s.CY) +
          std::hypot(double(s.X2) - s.CX, double(s.Y2) - s.CY)) /
         2.0;
}

}  // namespace

void TChainSegment::Reverse() {
  std::swap(X1, X2);
  std::swap(Y1, Y2);
  if (Kind == 1) Clockwise = Clockwise ? 0 : 1;
}

double TChainSegment::Length() const {
  if (Kind == 0) return std::hypot(double(X2) - X1, double(Y2) - Y1);
  const double r = MeanRadius(*this);
  double a = std::atan2(double(Y2) - CY, double(X2) - CX) - std::atan2(double(Y1) - CY, double(X1) - CX);
  if (Clockwise) a = -a;
  if (a < 0) a += 2 * M_PI;
  return r * a;
}

void TSegmentChainer::AddLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (x1 == x2 && y1 == y2) return;
  TChainSegment s;
  s.X1 = x1;
  s.Y1 = y1;
  s.X2 = x2;
  s.Y2 = y2;
  Pool.push_back(s);
}

void TSegmentChainer::AddArc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t cx,
                             int32_t cy) {
  if (x1 == x2 && y1 == y2) return;
  TChainSegment s;
  s.X1 = x1;
  s.Y1 = y1;
  s.X2 = x2;
  s.Y2 = y2;
  s.CX = cx;
  s.CY = cy;
  s.Kind = 1;
  Pool.push_back(s);
}

void TSegmentChainer::Process() {
  std::vector<TChainSegment> pool;
  pool.swap(Pool);
  if (pool.empty()) return;
  const TEndGrid grid(pool);
  std::vector<bool> taken(pool.size(), false);
  // Seeds: the longest remaining segment, the earlier of equals.
  using TSeed = std::pair<double, std::size_t>;
  auto after = [](const TSeed& a, const TSeed& b) {
    return a.first < b.first || (a.first == b.first && a.second > b.second);
  };
  std::priority_queue<TSeed, std::vector<TSeed>, decltype(after)> seeds(after);
  for (std::size_t i = 0; i < pool.size(); ++i) seeds.push({pool[i].Length(), i});
  std::vector<TChain> chains;
  while (!seeds.empty()) {
    const std::size_t seed = seeds.top().second;
    seeds.pop();
    if (taken[seed]) continue;
    taken[seed] = true;
    TChain chain{pool[seed]};
    ExtendTail(chain, pool, taken, grid);
    ReverseChain(chain);
    ExtendTail(chain, pool, taken, grid);
    ReverseChain(chain);
    chains.push_back(std::move(chain));
  }
  for (std::size_t i : TravellingOrder(chains, true)) {
    const TChain& chain = chains[i];
    if (chain.size() == 1 && chain[0].Kind == 1 &&
        std::fabs(MeanRadius(chain[0]) - Radius) <= kChainJoinTolerance)
      continue;  // a hole the size of the cutter
    MoveTo(chain.front().X1, chain.front().Y1);
    SetMode(2);
    PenDown();
    for (const TChainSegment& s : chain) {
      if (s.Kind == 0)
        LineTo(s.X2, s.Y2);
      else if (s.Clockwise)
        ArcToCW(s.X2, s.Y2, s.CX, s.CY);
      else
        ArcToCCW(s.X2, s.Y2, s.CX, s.CY);
    }
    EndChain();
  }
}

// ---- Hatch lines -------------------------------------------------------------------------

namespace {

struct TPt {
  double X, Y;
};

TPt Start(const TChainSegment& s) { return {double(s.X1), double(s.Y1)}; }
TPt End(const TChainSegment& s) { return {double(s.X2), double(s.Y2)}; }
double Dist(TPt a, TPt b) { return std::hypot(a.X - b.X, a.Y - b.Y); }

// The foot of the perpendicular from p onto the line through a and b, and
// whether it falls within the segment.
TPt Foot(TPt p, TPt a, TPt b, bool& within) {
  const double dx = b.X - a.X, dy = b.Y - a.Y, l2 = dx * dx + dy * dy;
  const double t = l2 == 0.0 ? 0.0 : ((p.X - a.X) * dx + (p.Y - a.Y) * dy) / l2;
  within = t >= 0.0 && t <= 1.0;
  return {a.X + t * dx, a.Y + t * dy};
}

double LineDistance(TPt p, TPt a, TPt b) {
  bool within;
  const TPt f = Foot(p, a, b, within);
  return Dist(p, f);
}

bool Neighbour(const TChainSegment& t, const TChainSegment& l, double spacing) {
  const TPt ts = Start(t), te = End(t), ls = Start(l), le = End(l);
  if (std::fabs(LineDistance(ls, ts, te) - spacing) > kChainJoinTolerance) return false;
  bool within = false;
  Foot(ls, ts, te, within);
  if (within) return true;
  Foot(le, ts, te, within);
  if (within) return true;
  Foot(te, ls, le, within);
  if (within) return true;
  for (TPt a : {ts, te})
    for (TPt b : {ls, le})
      if (std::fabs(Dist(a, b) - spacing) < kChainJoinTolerance) return true;
  return false;
}

TChainSegment LineSeg(TPt a, TPt b) {
  TChainSegment s;
  s.X1 = SaturatingRound(a.X);
  s.Y1 = SaturatingRound(a.Y);
  s.X2 = SaturatingRound(b.X);
  s.Y2 = SaturatingRound(b.Y);
  return s;
}

// Links the nearest neighbouring hatch line to the tail, with the moves that
// connect them, while there is one.
void LinkHatch(TChain& chain, std::vector<TChainSegment>& pool, std::vector<bool>& taken,
               double spacing) {
  for (;;) {
    const TChainSegment t = chain.back();
    const TPt te = End(t);
    int64_t best = -1;
    int64_t bestD = INT64_MAX;
    bool reverse = false;
    for (std::size_t i = 0; i < pool.size(); ++i) {
      if (taken[i] || !Neighbour(t, pool[i], spacing)) continue;
      const int64_t ds = std::llround(Dist(te, Start(pool[i])));
      const int64_t de = std::llround(Dist(te, End(pool[i])));
      const int64_t d = std::min(ds, de);
      if (d < bestD) {
        bestD = d;
        best = int64_t(i);
        reverse = de <= ds;
      }
    }
    if (best < 0) return;
    taken[best] = true;
    TChainSegment l = pool[best];
    if (reverse) l.Reverse();
    const TPt ts = Start(t), ls = Start(l), le = End(l);
    // The turn at the tail's end from its own start towards the next
    // line's start.
    double r, a1, a2;
    RectToPolar(ts.X - te.X, ts.Y - te.Y, r, a1);
    RectToPolar(ls.X - te.X, ls.Y - te.Y, r, a2);
    const double a = NormalizeAngle360(a2 - a1);
    TPt at = te;
    const bool square = std::fabs(a - 90.0) <= 5.0 || std::fabs(a - 270.0) <= 5.0;
    if (!square) {
      bool within;
      if (a < 90.0 || a > 270.0) {
        // The next line starts behind the tail's end.
        TPt f = Foot(ls, ts, te, within);
        if (Dist(f, te) > Dist(ts, te)) {
          chain.push_back(LineSeg(at, ts));
          at = ts;
          f = Foot(ts, ls, le, within);
        }
        chain.push_back(LineSeg(at, f));
        at = f;
      } else {
        const TPt f = Foot(te, ls, le, within);
        chain.push_back(LineSeg(at, f));
        at = f;
      }
    }
    chain.push_back(LineSeg(at, ls));
    chain.push_back(l);
  }
}

}  // namespace

void TLineChainer::AddLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (x1 == x2 && y1 == y2) return;
  TChainSegment s;
  s.X1 = x1;
  s.Y1 = y1;
  s.X2 = x2;
  s.Y2 = y2;
  Pool.push_back(s);
}

void TLineChainer::Process() {
  std::vector<TChainSegment> pool;
  pool.swap(Pool);
  std::vector<bool> taken(pool.size(), false);
  std::vector<TChain> chains;
  for (;;) {
    int64_t seed = -1;
    double longest = -1.0;
    for (std::size_t i = 0; i < pool.size(); ++i)
      if (!taken[i] && pool[i].Length() > longest) {
        longest = pool[i].Length();
        seed = int64_t(i);
      }
    if (seed < 0) break;
    taken[seed] = true;
    TChain chain{pool[seed]};
    LinkHatch(chain, pool, taken, Spacing);
    ReverseChain(chain);
    LinkHatch(chain, pool, taken, Spacing);
    ReverseChain(chain);
    chains.push_back(std::move(chain));
  }
  for (std::size_t i : TravellingOrder(chains, false)) {
    const TChain& chain = chains[i];
    if (chain.size() > 1) {
      MoveTo(chain.front().X1, chain.front().Y1);
      SetMode(2);
      PenDown();
      for (const TChainSegment& s : chain) LineTo(s.X2, s.Y2);
    }
    EndChain();
  }
}

void AdjustArcCentre(int32_t sx, int32_t sy, int32_t ex, int32_t ey, int32_t& cx, int32_t& cy) {
  const double r1 = std::hypot(double(sx) - cx, double(sy) - cy);
  const double r2 = std::hypot(double(ex) - cx, double(ey) - cy);
  if (std::fabs(r1 - r2) <= kArcRadiusSlack) return;
  TCircleEq a, b;
  a.Center = {double(sx), double(sy)};
  b.Center = {double(ex), double(ey)};
  a.Radius = b.Radius = (r1 + r2) / 2.0;
  TRealPoint q1, q2;
  uint8_t n = 0;
  IntCircles(0, a, b, q1, q2, n);
  if (n == 0) throw EArcAdjust("Arc adjust error, no intersection.");
  TRealPoint centre = q1;
  if (n >= 2) {
    const double d1 = (q1.X - cx) * (q1.X - cx) + (q1.Y - cy) * (q1.Y - cy);
    const double d2 = (q2.X - cx) * (q2.X - cx) + (q2.Y - cy) * (q2.Y - cy);
    if (d1 == d2) throw EArcAdjust("Arc adjust error, original center was on line with endpoints.");
    if (d2 < d1) centre = q2;
  }
  cx = SaturatingRound(centre.X);
  cy = SaturatingRound(centre.Y);
}
