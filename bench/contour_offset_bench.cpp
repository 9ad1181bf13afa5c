// Offsetting a board of 2,000 closed outlines (lines and arcs, 200,000
// segments) by a cutter radius with the contour offset engine, against a
// general polygon offsetter (the Debian polyclipping library, used here only
// as a yardstick) on the same outlines flattened to polygons, in the same
// run. The yardstick also checks the results: the area between the two
// rings stays under 0.1% of the ring's area.
#include <benchmark/benchmark.h>

#include <polyclipping/clipper.hpp>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

#include "support/bench_run.h"
#include "routpath/contour_offset.h"

namespace {

const int kOutlines = korvex_bench::Size(2000, 20);
constexpr int kSegments = 100;          // per outline: 200,000 in all
constexpr double kRadius = 8890000.0;   // 0.35 in
constexpr double kPitch = 20320000.0;   // 0.8 in between outlines: a 40 x 32 in panel
constexpr int32_t kCutter = 396875;     // a 1/32 in cutter
constexpr double kChordTolerance = 2540.0;  // 0.0001 in, for flattening arcs

struct TSegment {
  bool Arc = false;
  int32_t X = 0, Y = 0, CX = 0, CY = 0;  // end point and centre
};
struct TOutline {
  int32_t X0 = 0, Y0 = 0;
  std::vector<TSegment> Segments;
};

// Wavy outlines on a grid: five lobes, so each has convex and concave
// stretches; every other segment is a counter-clockwise arc bulging out.
std::vector<TOutline> MakeBoard() {
  std::vector<TOutline> board;
  board.reserve(kOutlines);
  for (int n = 0; n < kOutlines; ++n) {
    const double ox = (n % 50 - 25) * kPitch, oy = (n / 50 - 20) * kPitch;
    const double phase = n * 0.37;
    std::vector<std::pair<double, double>> v;
    for (int k = 0; k < kSegments; ++k) {
      const double t = 2.0 * M_PI * k / kSegments;
      const double r = kRadius * (1.0 + 0.05 * std::sin(5.0 * t + phase));
      v.push_back({std::round(ox + r * std::cos(t)), std::round(oy + r * std::sin(t))});
    }
    TOutline o;
    o.X0 = int32_t(v[0].first);
    o.Y0 = int32_t(v[0].second);
    for (int k = 0; k < kSegments; ++k) {
      const auto [ax, ay] = v[k];
      const auto [bx, by] = v[(k + 1) % kSegments];
      TSegment s;
      s.X = int32_t(bx);
      s.Y = int32_t(by);
      if (k % 2 == 1) {
        // Centre left of the chord at twice the chord's length: the
        // counter-clockwise arc bulges to the right, out of the outline.
        const double dx = bx - ax, dy = by - ay, c = std::hypot(dx, dy);
        const double rho = 2.0 * c, h = std::sqrt(rho * rho - c * c / 4.0);
        s.Arc = true;
        s.CX = int32_t(std::lround((ax + bx) / 2.0 - dy / c * h));
        s.CY = int32_t(std::lround((ay + by) / 2.0 + dx / c * h));
      }
      o.Segments.push_back(s);
    }
    board.push_back(std::move(o));
  }
  return board;
}

// The points of a counter-clockwise (ccw) or clockwise arc from (ax, ay) to
// (bx, by) about (cx, cy), end included, chords within the tolerance.
void Flatten(ClipperLib::Path& path, double ax, double ay, double bx, double by, double cx,
             double cy, bool ccw) {
  const double r = std::hypot(ax - cx, ay - cy);
  const double a1 = std::atan2(ay - cy, ax - cx);
  double sweep = std::atan2(by - cy, bx - cx) - a1;
  if (ccw && sweep <= 0) sweep += 2 * M_PI;
  if (!ccw && sweep >= 0) sweep -= 2 * M_PI;
  const double step = 2.0 * std::acos(std::max(-1.0, 1.0 - kChordTolerance / std::max(r, 1.0)));
  const int n = std::max(1, int(std::ceil(std::fabs(sweep) / std::max(step, 1e-9))));
  for (int i = 1; i < n; ++i) {
    const double a = a1 + sweep * i / n;
    path.push_back({ClipperLib::cInt(std::llround(cx + r * std::cos(a))),
                    ClipperLib::cInt(std::llround(cy + r * std::sin(a)))});
  }
  path.push_back({ClipperLib::cInt(bx), ClipperLib::cInt(by)});
}

ClipperLib::Path FlattenOutline(const TOutline& o) {
  ClipperLib::Path p;
  double x = o.X0, y = o.Y0;
  for (const TSegment& s : o.Segments) {
    if (s.Arc)
      Flatten(p, x, y, s.X, s.Y, s.CX, s.CY, true);
    else
      p.push_back({s.X, s.Y});
    x = s.X;
    y = s.Y;
  }
  return p;
}

// The offset ring played back as a polygon (arcs flattened) or only
// counted.
class TRingCollector : public TContourList {
 public:
  bool Keep = false;
  std::size_t Elements = 0;
  ClipperLib::Path Ring;

 protected:
  void MoveTo(int32_t x, int32_t y) override {
    X = x;
    Y = y;
    if (Keep) Ring.push_back({x, y});
  }
  void LineTo(int32_t x, int32_t y, int32_t) override {
    ++Elements;
    X = x;
    Y = y;
    if (Keep) Ring.push_back({x, y});
  }
  void ArcToCW(int32_t x, int32_t y, int32_t, int32_t cx, int32_t cy) override { Arc(x, y, cx, cy, false); }
  void ArcToCCW(int32_t x, int32_t y, int32_t, int32_t cx, int32_t cy) override { Arc(x, y, cx, cy, true); }

 private:
  void Arc(int32_t x, int32_t y, int32_t cx, int32_t cy, bool ccw) {
    ++Elements;
    if (Keep) Flatten(Ring, X, Y, x, y, cx, cy, ccw);
    X = x;
    Y = y;
  }
  int32_t X = 0, Y = 0;
};

void Load(TContourList& list, const TOutline& o) {
  list.Start(o.X0, o.Y0);
  for (const TSegment& s : o.Segments) {
    if (s.Arc)
      list.AppendArcCCW(s.X, s.Y, 1, s.CX, s.CY);
    else
      list.AppendLine(s.X, s.Y, 1);
  }
  list.Close();
}

// Our engine: every outline offset outside.
std::size_t OffsetBoard(const std::vector<TOutline>& board) {
  TRingCollector ring;
  for (const TOutline& o : board) {
    Load(ring, o);
    ring.Offset(ring.OutsideSide(), kCutter, 25000.0);
  }
  return ring.Elements;
}

// The yardstick on the flattened outlines, round joins.
std::size_t OffsetBoardFlattened(const std::vector<ClipperLib::Path>& polygons) {
  ClipperLib::ClipperOffset offset(2.0, kChordTolerance);
  std::size_t points = 0;
  ClipperLib::Paths solution;
  for (const ClipperLib::Path& p : polygons) {
    offset.Clear();
    offset.AddPath(p, ClipperLib::jtRound, ClipperLib::etClosedPolygon);
    offset.Execute(solution, kCutter);
    for (const auto& s : solution) points += s.size();
  }
  return points;
}

// Largest ratio of the area between the two rings to the ring's area, over
// the first outlines.
double WorstDisagreement(const std::vector<TOutline>& board,
                         const std::vector<ClipperLib::Path>& polygons, int count) {
  double worst = 0.0;
  for (int i = 0; i < count; ++i) {
    TRingCollector ring;
    ring.Keep = true;
    Load(ring, board[i]);
    ring.Offset(ring.OutsideSide(), kCutter, 25000.0);
    ClipperLib::ClipperOffset offset(2.0, kChordTolerance);
    offset.AddPath(polygons[i], ClipperLib::jtRound, ClipperLib::etClosedPolygon);
    ClipperLib::Paths theirs;
    offset.Execute(theirs, kCutter);
    ClipperLib::Clipper x;
    x.AddPath(ring.Ring, ClipperLib::ptSubject, true);
    x.AddPaths(theirs, ClipperLib::ptClip, true);
    ClipperLib::Paths between;
    x.Execute(ClipperLib::ctXor, between, ClipperLib::pftNonZero, ClipperLib::pftNonZero);
    double area = 0.0;
    for (const auto& p : between) area += std::fabs(ClipperLib::Area(p));
    worst = std::max(worst, area / std::fabs(ClipperLib::Area(ring.Ring)));
  }
  return worst;
}

const std::vector<TOutline>& Board() {
  static const std::vector<TOutline> board = MakeBoard();
  return board;
}

const std::vector<ClipperLib::Path>& FlatBoard() {
  static const std::vector<ClipperLib::Path> flat = [] {
    std::vector<ClipperLib::Path> out;
    for (const TOutline& o : Board()) out.push_back(FlattenOutline(o));
    return out;
  }();
  return flat;
}

void BM_OffsetBoard(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(OffsetBoard(Board()));
  state.SetItemsProcessed(state.iterations() * kOutlines * kSegments);
}
BENCHMARK(BM_OffsetBoard)->Unit(benchmark::kMillisecond);

void BM_OffsetBoardFlattenedYardstick(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(OffsetBoardFlattened(FlatBoard()));
  state.SetItemsProcessed(state.iterations() * kOutlines * kSegments);
}
BENCHMARK(BM_OffsetBoardFlattenedYardstick)->Unit(benchmark::kMillisecond);

// Both in one run: the time ratio (goal: at most 2, judged at full size) and
// the agreement (goal: under 0.001).
void BM_OffsetRatioAndAgreement(benchmark::State& state) {
  using clock = std::chrono::steady_clock;
  double ours = 0.0, theirs = 0.0;
  for (auto _ : state) {
    auto t0 = clock::now();
    benchmark::DoNotOptimize(OffsetBoard(Board()));
    auto t1 = clock::now();
    benchmark::DoNotOptimize(OffsetBoardFlattened(FlatBoard()));
    auto t2 = clock::now();
    ours += std::chrono::duration<double>(t1 - t0).count();
    theirs += std::chrono::duration<double>(t2 - t1).count();
  }
  const double ratio = ours / theirs;
  const double disagreement = WorstDisagreement(Board(), FlatBoard(), 20);
  state.counters["time_ratio"] = ratio;
  state.counters["area_between"] = disagreement;
  if (!korvex_bench::Smoke() && ratio > 2.0) state.SkipWithError("offset slower than twice the yardstick");
  if (disagreement >= 0.001) state.SkipWithError("offset rings disagree with the yardstick");
}
BENCHMARK(BM_OffsetRatioAndAgreement)->Unit(benchmark::kMillisecond)->Iterations(korvex_bench::Iterations(3));

}  // namespace
