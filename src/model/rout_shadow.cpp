#include "model/rout_shadow.h"

#include <algorithm>
#include <cmath>

#include "foundation/display_units.h"
#include "foundation/geometry_points.h"
#include "foundation/settings.h"
#include "model/cad_entities.h"  // IntDistance
#include "model/drawing_base.h"
#include "model/rout_entities.h"
#include "model/slot_pool.h"
#include "model/tool_tables.h"
#include "model/view_services.h"

namespace {

TRoutCadTarget* CadTarget = nullptr;

constexpr uint8_t kSolid = 0, kDashed = 1, kDotted = 2, kDashDot = 3;
constexpr TColor kViolationColour = 0x000000FF;  // red

}  // namespace

bool RoutShapesDrawnAgain = false;

TRoutCadTarget* SetRoutCadTarget(TRoutCadTarget* target) {
  TRoutCadTarget* old = CadTarget;
  CadTarget = target;
  return old;
}

TRoutCadTarget* RoutCadTarget() { return CadTarget; }

TRoutShadow::TRoutShadow(const TIntPoint& a, const TIntPoint& b, const TIntPoint& c, bool headUp,
                         int32_t tool, uint8_t kind, bool isCopy, int32_t copyNumber,
                         uint8_t layer, uint16_t feedRate, int32_t zOffset)
    : A(a),
      B(b),
      C(c),
      Kind(kind),
      CopyNumber(copyNumber),
      Tool(tool),
      Layer(layer),
      HeadUp(headUp),
      IsCopy(isCopy),
      FeedRate(feedRate),
      ZOffset(zOffset) {}

// A class derived with more fields takes its memory from the heap.
void* TRoutShadow::operator new(std::size_t size) {
  return size == sizeof(TRoutShadow) ? SlotPoolOf<TRoutShadow>().Allocate() : ::operator new(size);
}

void TRoutShadow::operator delete(void* p, std::size_t size) noexcept {
  if (p == nullptr) return;
  if (size == sizeof(TRoutShadow)) SlotPoolOf<TRoutShadow>().Release(p); else ::operator delete(p);
}

int32_t TRoutShadow::ToolDiameter() const {
  if (!ValidToolNumber(Tool) || Layer < kFirstRoutLayer || Layer > kLastRoutLayer) return 0;
  return RoutToolPages[Layer][Tool].Diameter;
}

int32_t TRoutShadow::ChainLength() const {
  int32_t n = 0;
  for (const TRoutShadow* r = this; r; r = r->Next) ++n;
  return n;
}

int32_t TRoutShadow::MaxCopyNumber() const {
  int32_t most = CopyNumber;
  for (const TRoutShadow* r = Next; r; r = r->Next) most = std::max(most, r->CopyNumber);
  return most;
}

bool TRoutShadow::HasCopy(int32_t copyNumber) const {
  if (!DisplayStepsDashed) return false;
  for (const TRoutShadow* r = this; r; r = r->Next)
    if (r->CopyNumber == copyNumber) return true;
  return false;
}

int32_t TRoutShadow::NearestEndPoint(TIntBox& box, int32_t best, int32_t pickX, int32_t pickY,
                                     int32_t& outX, int32_t& outY) {
  for (TRoutShadow* r = this; r; r = r->Next) {
    if (r->Kind == rsHeadUpMove || r->Kind == rsSequenceNumber || r->Kind == rsViolationMark)
      return best;
    auto distance = [&](const TIntPoint& p) {
      return OutCode(box, p.X, p.Y) == 0 ? IntDistance(pickX, pickY, p.X, p.Y) : RoutNotNear;
    };
    TIntPoint taken = r->A;
    int32_t d = distance(r->A);
    if (r->Kind == rsLine || r->Kind == rsArc) {
      int32_t d2 = distance(r->B);
      if (d2 < d) {
        d = d2;
        taken = r->B;
      }
    }
    if (d >= 0 && d < best) {
      outX = taken.X;
      outY = taken.Y;
      box.Left = ClampCompToInt(int64_t(pickX) - d);
      box.Bottom = ClampCompToInt(int64_t(pickY) - d);
      box.Right = ClampCompToInt(int64_t(pickX) + d);
      box.Top = ClampCompToInt(int64_t(pickY) + d);
    }
    best = std::min(best, d);
  }
  return best;
}

int32_t TRoutShadow::KerfDistance(int32_t pickX, int32_t pickY, int32_t limit) const {
  int32_t best = RoutNotNear;
  for (const TRoutShadow* r = this; r; r = r->Next) {
    if (r->IsCopy || r->HeadUp || (r->Kind != rsLine && r->Kind != rsArc)) continue;
    const int64_t half = r->ToolDiameter() / 2, reach = half + std::max(0, limit);
    int32_t d;
    if (r->Kind == rsLine) {
      // A cut whose box, widened by the reach, misses the point is passed
      // over unmeasured: a pick walks every path of the layer.
      if (pickX < std::min(r->A.X, r->B.X) - reach || pickX > std::max(r->A.X, r->B.X) + reach ||
          pickY < std::min(r->A.Y, r->B.Y) - reach || pickY > std::max(r->A.Y, r->B.Y) + reach)
        continue;
      d = HalvingSegmentDistance(r->A.X, r->A.Y, r->B.X, r->B.Y, pickX, pickY);
    } else {
      // The picture takes the shorter way round.
      const int64_t ax = int64_t(r->A.X) - r->C.X, ay = int64_t(r->A.Y) - r->C.Y;
      const int64_t bx = int64_t(r->B.X) - r->C.X, by = int64_t(r->B.Y) - r->C.Y;
      const double radius = std::hypot(double(ax), double(ay));
      if (std::abs(std::hypot(double(pickX) - r->C.X, double(pickY) - r->C.Y) - radius) > double(reach)) continue;
      const bool ccw = double(ax) * double(by) - double(ay) * double(bx) >= 0;
      const TIntPoint& s = ccw ? r->A : r->B;
      const TIntPoint& e = ccw ? r->B : r->A;
      d = DistPointArc(s.X, s.Y, e.X, e.Y, r->C.X, r->C.Y, pickX, pickY, SaturatingRound(radius));
    }
    best = std::min<int64_t>(best, std::max<int64_t>(0, int64_t(d) - half));
  }
  return best;
}

// The world box a record may paint in, its kerf, marks and arrows
// included, for the screen picture's stale box.
void TRoutShadow::MarkStale(TDrawingBase& s) const {
  constexpr double Inch = 25400000.0;
  double minX = std::min(A.X, B.X), minY = std::min(A.Y, B.Y);
  double maxX = std::max(A.X, B.X), maxY = std::max(A.Y, B.Y);
  double reach = 0.0;
  switch (Kind) {
    case rsArc: {
      const double r = std::hypot(double(A.X) - C.X, double(A.Y) - C.Y);
      minX = C.X - r, minY = C.Y - r, maxX = C.X + r, maxY = C.Y + r;
      break;
    }
    case rsHole: minX = maxX = A.X, minY = maxY = A.Y; break;
    case rsFullCircle:
      minX = maxX = A.X, minY = maxY = A.Y;
      reach = std::fabs(double(B.X));
      break;
    case rsSequenceNumber:
      // Digits of 0.2 in from 0.08 in right of the point, 0.36 in high.
      minX = maxX = A.X, minY = maxY = A.Y;
      maxX += Inch * (0.08 + 0.2 * 11), maxY += Inch * 0.36;
      break;
    case rsViolationMark: minX = maxX = A.X, minY = maxY = A.Y, reach = Inch / 2; break;
    default: break;
  }
  // Half the kerf, and the direction arrows and feed marks beside the cut.
  reach += std::fabs(double(ToolDiameter())) / 2 + Inch / 10;
  s.MarkStale(minX, minY, maxX, maxY, reach, 8);
}

// One record by the rules of a pass. The caller has set the pass's pen.
void TRoutShadow::PaintRecord(TDrawingBase& s, TPass pass) {
  // A highlight is no part of the picture a redraw paints; it goes when
  // the entity is drawn or erased again.
  if (s.TracksStale && pass != psHighlight) MarkStale(s);
  const bool draw = pass == psDraw;
  const bool highlight = pass == psHighlight;
  const bool toggles = draw || highlight;
  // The pen style of a step copy in a normal draw; the highlight and the
  // background passes draw copies like the entity.
  const bool dashedCopy = draw && IsCopy && DisplayStepsDashed;
  const uint8_t back = highlight ? kDotted : kSolid;
  auto copyStyle = [&](auto paint) {
    if (dashedCopy) s.SetPenStyle(kDotted);
    paint();
    if (dashedCopy) s.SetPenStyle(kSolid);
  };
  const int32_t diameter = ToolDiameter();
  // Head-up moves hidden are neither drawn nor highlighted, so their erase
  // leaves the picture below them alone (a change of the setting redraws).
  const bool hidden = (toggles || pass == psErase) && !HeadUpMoves;

  switch (Kind) {
    case rsHeadUpMove:
      if (hidden) return;
      if (toggles) s.SetPenStyle(highlight ? kDashDot : (IsCopy ? kDashDot : kDashed));
      s.DrawTableMove(A.X, A.Y, B.X, B.Y);
      if (toggles) s.SetPenStyle(back);
      return;
    case rsLine:
      if (HeadUp && hidden) return;
      if (HeadUp && toggles) {
        s.SetPenStyle(highlight ? kDashed : (dashedCopy ? kDashDot : kDashed));
        s.DrawRoutLine(A.X, A.Y, B.X, B.Y, diameter);
        s.SetPenStyle(back);
        return;
      }
      copyStyle([&] {
        s.OpenRoutEnds = OpenEnds;
        s.DrawRoutLine(A.X, A.Y, B.X, B.Y, diameter);
        s.OpenRoutEnds = 0;
        s.DrawFeedRateLineMark(A.X, A.Y, B.X, B.Y, diameter, FeedRate);
        if (ZOffset != NoZOffset) s.DrawZOffsetLineMark(A.X, A.Y, B.X, B.Y, diameter);
      });
      return;
    case rsArc:
      copyStyle([&] {
        s.OpenRoutEnds = OpenEnds;
        s.DrawRoutArc(A.X, A.Y, B.X, B.Y, C.X, C.Y, diameter);
        s.OpenRoutEnds = 0;
        s.DrawFeedRateArcMark(A.X, A.Y, B.X, B.Y, C.X, C.Y, diameter, FeedRate);
        if (ZOffset != NoZOffset) s.DrawZOffsetMark(A.X, A.Y, B.X, B.Y, C.X, C.Y, diameter);
      });
      return;
    case rsHole:
      copyStyle([&] { s.DrawCircleDia(A.X, A.Y, diameter); });
      return;
    case rsSequenceNumber:
      if (pass != psUndraw && !DisplaySequenceNumbers) return;
      s.DrawNumber(A.X, A.Y, Tool);
      return;
    case rsFullCircle:
      copyStyle([&] { s.DrawCircleDia(A.X, A.Y, 2.0 * B.X); });
      return;
    case rsViolationMark:
      if (pass == psUndraw || !GougeDetect) return;
      s.DrawPolygonMark(A.X, A.Y, B.X, pass == psErase ? BackgroundColor : kViolationColour);
      return;
    default:
      return;
  }
}

void TRoutShadow::DrawRecord(TDrawingBase& surface) { PaintRecord(surface, psDraw); }

void TRoutShadow::DrawChain() {
  TDrawingBase& s = CurrentSurface();
  for (TRoutShadow* r = this; r; r = r->Next) r->PaintRecord(s, psDraw);
}

void TRoutShadow::HighlightChain() {
  TDrawingBase& s = PictureSurface();
  for (TRoutShadow* r = this; r; r = r->Next) r->PaintRecord(s, psHighlight);
}

void TRoutShadow::EraseChain() {
  TDrawingBase& s = PictureSurface();
  for (TRoutShadow* r = this; r; r = r->Next) r->PaintRecord(s, psErase);
}

bool TRoutShadow::DrawCopy(int32_t copyNumber) {
  TDrawingBase& s = PictureSurface();
  bool drawn = false;
  for (TRoutShadow* r = this; r; r = r->Next) {
    if (r->CopyNumber != copyNumber) continue;
    if (r->Kind == rsLine && r->HeadUp && r->IsCopy) {
      // Single-step play shows a copy's head-up line dash-dot whatever the
      // dashed-steps setting.
      if (HeadUpMoves) {
        s.SetPenStyle(kDashDot);
        s.DrawRoutLine(r->A.X, r->A.Y, r->B.X, r->B.Y, r->ToolDiameter());
        s.SetPenStyle(kSolid);
      }
    } else {
      r->PaintRecord(s, psDraw);
    }
    drawn = true;
  }
  return drawn;
}

void TRoutShadow::UndrawCopy(int32_t copyNumber) {
  TDrawingBase& s = PictureSurface();
  for (TRoutShadow* r = this; r; r = r->Next)
    if (r->CopyNumber == copyNumber) r->PaintRecord(s, psUndraw);
}

void TRoutShadow::PushChain() {
  TRoutCadTarget* target = CadTarget;
  if (!target) return;
  for (TRoutShadow* r = this; r; r = r->Next) {
    switch (r->Kind) {
      case rsHeadUpMove:
        if (HeadUpMoves) target->AddCadHeadUpMove(r->A.X, r->A.Y, r->B.X, r->B.Y);
        break;
      case rsLine:
        if (!r->HeadUp || HeadUpMoves)
          target->AddCadRoutLine(r->A.X, r->A.Y, r->B.X, r->B.Y, r->ToolDiameter());
        break;
      case rsArc:
        target->AddCadRoutArc(r->A.X, r->A.Y, r->B.X, r->B.Y, r->C.X, r->C.Y,
                              r->ToolDiameter(), r->Turn);
        break;
      case rsHole:
        target->AddCadHoleCircle(r->A.X, r->A.Y, r->ToolDiameter());
        break;
      case rsFullCircle:
        target->AddCadHoleCircle(r->A.X, r->A.Y, ClampCompToInt(2 * int64_t(r->B.X)));
        break;
      case rsSequenceNumber:
        if (DisplaySequenceNumbers) target->AddCadSequenceNumber(r->A.X, r->A.Y, r->Tool);
        break;
      default:
        break;
    }
  }
}
