// The contour offset engine behind the NC tape reader's offset seam: the
// reader's move records are offset as two consecutive elements and come back
// as the reader's records, each carrying the fields of the move it derives
// from.
#include <cmath>

#include "foundation/display_units.h"
#include "routpath/contour_offset.h"
#include "tapein/contour_offset_seam.h"

namespace {

uint8_t ElementKind(uint8_t moveKind) {
  if (moveKind == NCMoveArcCW) return ckArcCW;
  if (moveKind == NCMoveArcCCW) return ckArcCCW;
  return ckLine;
}

uint8_t MoveKind(uint8_t elementKind) {
  if (elementKind == ckArcCW) return NCMoveArcCW;
  if (elementKind == ckArcCCW) return NCMoveArcCCW;
  return NCMoveLine;
}

TContourElement Element(const TNCMove& m) {
  TContourElement e;
  e.Kind = ElementKind(m.Kind);
  e.X1 = m.StartX;
  e.Y1 = m.StartY;
  e.X2 = m.EndX;
  e.Y2 = m.EndY;
  e.CX = m.CentreX;
  e.CY = m.CentreY;
  return e;
}

void OffsetTapeMoves(TNCMove* out, int32_t& count, const TNCMove* in, int32_t radius, bool side,
                     double resolution) {
  const TContourElement pair[2] = {Element(in[0]), Element(in[1])};
  TContourElement result[4];
  const int n = OffsetContour(result, pair, radius, side, resolution);
  for (int i = 0; i < n; ++i) {
    const TContourElement& e = result[i];
    TNCMove m = in[e.Source];
    // A line or arc of the tape keeps its kind; an inserted element takes
    // the kind the engine gave it.
    if (!(i == 0 || i == n - 1) || m.Kind == NCMoveLine || m.Kind == NCMoveArcCW ||
        m.Kind == NCMoveArcCCW)
      m.Kind = MoveKind(e.Kind);
    m.StartX = SaturatingRound(e.X1);
    m.StartY = SaturatingRound(e.Y1);
    m.EndX = SaturatingRound(e.X2);
    m.EndY = SaturatingRound(e.Y2);
    if (e.Kind != ckLine) {
      m.CentreX = SaturatingRound(e.CX);
      m.CentreY = SaturatingRound(e.CY);
    }
    out[i] = m;
  }
  // The head flag: when both moves agree every record takes it; otherwise
  // only the record at the end that had it.
  const uint8_t h1 = in[0].Head, h2 = in[1].Head;
  if (h1 != h2)
    for (int i = 0; i < n; ++i)
      out[i].Head = (h1 != 0 && i == 0) || (h2 != 0 && i == n - 1) ? 1 : 0;
  count = n;
}

}  // namespace

void InstallContourOffsetEngine() { SetOffsetContourEngine(OffsetTapeMoves); }
