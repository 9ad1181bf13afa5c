#include "plot/plot_clip.h"

#include "foundation/geometry_intersect.h"

int ClipRegion(const TClipWindow& w, double x, double y) {
  const int column = LessTol(x, w.XMin) ? 0 : GreaterTol(x, w.XMax) ? 2 : 1;
  const int row = GreaterTol(y, w.YMax) ? 0 : LessTol(y, w.YMin) ? 2 : 1;
  static constexpr int Regions[3][3] = {{1, 2, 3}, {4, 0, 5}, {6, 7, 8}};
  return Regions[row][column];
}

namespace {

enum TEdge { edTop, edBottom, edLeft, edRight };

TRealLine EdgeOf(const TClipWindow& w, TEdge edge) {
  switch (edge) {
    case edTop: return {{w.XMin, w.YMax}, {w.XMax, w.YMax}};
    case edBottom: return {{w.XMin, w.YMin}, {w.XMax, w.YMin}};
    case edLeft: return {{w.XMin, w.YMin}, {w.XMin, w.YMax}};
    case edRight: return {{w.XMax, w.YMin}, {w.XMax, w.YMax}};
  }
  return {};
}

bool AllAbove(int r) { return r >= 1 && r <= 3; }
bool AllBelow(int r) { return r >= 6; }
bool AllLeft(int r) { return r == 1 || r == 4 || r == 6; }
bool AllRight(int r) { return r == 3 || r == 5 || r == 8; }

// Moves the end in region r to the segment's crossing with the edges of
// that region, tried in order; false when it crosses none.
bool MoveToEdge(const TClipWindow& w, const TRealLine& segment, int r, bool isEnd, TRealPoint& p) {
  TEdge edges[2];
  int count = 1;
  switch (r) {
    case 2: edges[0] = edTop; break;
    case 7: edges[0] = edBottom; break;
    case 4: edges[0] = edLeft; break;
    case 5: edges[0] = edRight; break;
    case 1: edges[0] = edTop, edges[1] = edLeft, count = 2; break;
    case 3: edges[0] = edTop, edges[1] = edRight, count = 2; break;
    case 6: edges[0] = edBottom, edges[1] = edLeft, count = 2; break;
    case 8:
      if (isEnd) edges[0] = edRight, edges[1] = edBottom;
      else edges[0] = edBottom, edges[1] = edRight;
      count = 2;
      break;
    default: return true;
  }
  for (int i = 0; i < count; ++i) {
    TRealPoint q;
    uint8_t status = 0;
    IntSegments(segment, EdgeOf(w, edges[i]), q, status);
    if (status == 0) {
      p = q;
      return true;
    }
  }
  return false;
}

}  // namespace

TRealLine ClipSegmentToWindow(const TClipWindow& w, const TRealLine& segment) {
  SetGeomError(0);
  SetGeomRoutine("ClipSegmentToWindow");
  // A window with no inside (or no numbers) clips nothing sensibly.
  if (!(w.XMin < w.XMax) || !(w.YMin < w.YMax)) {
    SetGeomError(2);
    return {};
  }
  const int r1 = ClipRegion(w, segment.P1.X, segment.P1.Y);
  const int r2 = ClipRegion(w, segment.P2.X, segment.P2.Y);
  if (r1 == 0 && r2 == 0) return segment;
  if ((AllAbove(r1) && AllAbove(r2)) || (AllBelow(r1) && AllBelow(r2)) ||
      (AllLeft(r1) && AllLeft(r2)) || (AllRight(r1) && AllRight(r2)))
    return {};
  TRealLine out = segment;
  if (!MoveToEdge(w, segment, r1, false, out.P1)) return {};
  if (!MoveToEdge(w, {out.P1, segment.P2}, r2, true, out.P2)) return {};
  return out;
}
