#include "model/rout_entities.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "foundation/display_units.h"
#include "foundation/geometry.h"
#include "foundation/geometry_intersect.h"
#include "foundation/geometry_lines.h"
#include "foundation/geometry_matrix.h"
#include "foundation/geometry_points.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/cad_entities.h"  // IntDistance
#include "model/drawing_base.h"
#include "model/rout_shadow.h"
#include "model/slot_pool.h"
#include "model/step_repeat.h"
#include "model/view_services.h"
#include "platform/message_box.h"

TIndexedArray<bool, kFirstRoutLayer, 5> RoutLayerModified;

namespace {

constexpr int32_t kCopyMode = 4;

TRealPoint Real(const TIntPoint& p) { return {double(p.X), double(p.Y)}; }
TIntPoint Rounded(const TRealPoint& p) { return {SaturatingRound(p.X), SaturatingRound(p.Y)}; }

bool InBox(const TIntBox& box, int64_t x, int64_t y) {
  return box.Left <= x && x <= box.Right && box.Bottom <= y && y <= box.Top;
}

// Shrinks the box to the square of half-size d around the pick point.
void ShrinkBox(TIntBox& box, int32_t d, int32_t x, int32_t y) {
  box.Left = ClampCompToInt(int64_t(x) - d);
  box.Bottom = ClampCompToInt(int64_t(y) - d);
  box.Right = ClampCompToInt(int64_t(x) + d);
  box.Top = ClampCompToInt(int64_t(y) + d);
}

// The protocol's end shared by the arc, circle and hole: shrink on a take,
// answer d.
int32_t Offer(TIntBox& box, int32_t best, int32_t d, int32_t x, int32_t y) {
  if (d >= 0 && d < best) ShrinkBox(box, d, x, y);
  return d;
}

// The jog's and line's end: not near unless taken.
int32_t OfferOrNotNear(TIntBox& box, int32_t best, int32_t d, int32_t x, int32_t y) {
  if (d >= 0 && d < best) {
    ShrinkBox(box, d, x, y);
    return d;
  }
  return RoutNotNear;
}


// Distance to an axis-parallel leg from (fixed, a) to (fixed, b) (vertical)
// or from (a, fixed) to (b, fixed) (horizontal); not near when the leg lies
// wholly beyond the box.
int32_t AxisLegDistance(bool vertical, int32_t fixed, int32_t a, int32_t b, const TIntBox& box,
                        int32_t pickX, int32_t pickY) {
  int32_t lo = std::min(a, b), hi = std::max(a, b);
  // Exchange the axes of a horizontal leg so one rule serves both.
  int32_t across = vertical ? pickX : pickY;  // pick coordinate across the leg
  int32_t along = vertical ? pickY : pickX;   // pick coordinate along the leg
  int32_t boxLoAcross = vertical ? box.Left : box.Bottom;
  int32_t boxHiAcross = vertical ? box.Right : box.Top;
  int32_t boxLoAlong = vertical ? box.Bottom : box.Left;
  int32_t boxHiAlong = vertical ? box.Top : box.Right;
  if (boxLoAcross > fixed || boxHiAcross < fixed || boxHiAlong < lo || boxLoAlong > hi)
    return RoutNotNear;
  if (lo <= along && along <= hi) return ClampCompToInt(std::llabs(int64_t(across) - fixed));
  int32_t end = (std::llabs(int64_t(along) - lo) < std::llabs(int64_t(along) - hi)) ? lo : hi;
  return IntDistance(across, along, fixed, end);
}

// The distance from the pick point to the segment S-E as the line measures
// it: axis-parallel segments by their leg rule, others by halving.
int32_t SegmentDistance(const TIntPoint& s, const TIntPoint& e, const TIntBox& box,
                        int32_t pickX, int32_t pickY) {
  if (s.X == e.X) return AxisLegDistance(true, e.X, s.Y, e.Y, box, pickX, pickY);
  if (s.Y == e.Y) return AxisLegDistance(false, e.Y, s.X, e.X, box, pickX, pickY);
  return HalvingSegmentDistance(e.X, e.Y, s.X, s.Y, pickX, pickY);
}

void MidPointOf(const TIntPoint& s, int32_t x, int32_t y, TIntPoint& point) {
  point = {SaturatingRound((double(s.X) + x) * 0.5), SaturatingRound((double(s.Y) + y) * 0.5)};
}

bool BothInBox(const TIntBox& box, const TIntPoint& s, int32_t x, int32_t y) {
  return InBox(box, s.X, s.Y) && InBox(box, x, y);
}

// The point mapped by the matrix; false when it leaves the database extent.
bool MapPoint(const TMatrix3& m, int32_t x, int32_t y, TRealPoint& out) {
  TRootDBObject::TransformPoint(x, y, m.M, out.X, out.Y);
  return TRootDBObject::InRange(out);
}

// The point at distance r from the centre towards the pick point; the pick
// point itself when it lies on the centre.
void RadialPoint(const TIntPoint& centre, double r, const TIntPoint& pick, TIntPoint& point) {
  TRealPoint c = Real(centre), q = Real(pick);
  if (PointsEqualTol(q, c)) {
    point = pick;
    return;
  }
  TRealPoint p;
  OffsetPoint(c, p, r, DirectionAngle(c, q));
  point = Rounded(p);
}

double RealDistance(const TIntPoint& a, const TIntPoint& b) {
  double dx = double(b.X) - a.X, dy = double(b.Y) - a.Y;
  return std::sqrt(dx * dx + dy * dy);
}

TColor LayerColour(uint8_t layer) {
  return layer < LayerColors.size() ? LayerColors[layer] : clWhite;
}

}  // namespace

// ---- Store access -------------------------------------------------------------------

TRoutEntity* AsRoutEntity(TRootDBObject* entity) { return entity != nullptr ? entity->AsRout() : nullptr; }

TRoutEntity* RoutEntityAt(int32_t index) {
  if (RoutEntities == nullptr || index < 1 || index > RoutEntities->Count()) return nullptr;
  TEntitySlot* slot = RoutEntities->GetSlot(index);
  return slot ? AsRoutEntity(slot->Entity) : nullptr;
}

uint32_t RoutSlotFlags(int32_t index) {
  if (RoutEntities == nullptr || index < 1 || index > RoutEntities->Count()) return 0;
  TEntitySlot* slot = RoutEntities->GetSlot(index);
  return slot ? slot->Flags : 0;
}

TIntPoint PreviousPoint(int32_t prevIndex) {
  TIntPoint p;
  if (prevIndex == 0) return p;
  if (TRoutEntity* e = RoutEntityAt(prevIndex)) e->GetPoint(p);
  return p;
}

// ---- TRoutEntity ---------------------------------------------------------------------

TRoutEntity::TRoutEntity(int32_t x, int32_t y, uint8_t type, uint8_t layer)
    : X(x), Y(y), Type(type) {
  if (layer >= kFirstRoutLayer && layer <= kLastRoutLayer) RoutLayerModified[layer] = true;
  DatabaseModified = true;
}

TRoutEntity::~TRoutEntity() { FreeShadows(); }

void TRoutEntity::SetDrawPen(TDrawingBase& s, uint8_t layer) {
  TColor colour = (RoutColors == 0 && Shadow) ? s.ColorOfTool(Shadow->Tool) : LayerColour(layer);
  if (EditorMode != emRout && s.IsScreen()) colour = DimColor;
  s.SetPenMode(kCopyMode);
  s.SetColor(colour);
  s.SetPenStyle(0);
}

void TRoutEntity::Draw(uint8_t layer) {
  SetDrawPen(CurrentSurface(), layer);
  if (Shadow) Shadow->DrawChain();
}

void TRoutEntity::DrawColour(TColor colour) {
  if (!Shadow) return;
  TDrawingBase& s = PictureSurface();
  s.SetPenMode(kCopyMode);
  s.SetColor(colour);
  s.SetPenStyle(2);
  Shadow->HighlightChain();
}

void TRoutEntity::Erase() {
  TDrawingBase& s = PictureSurface();
  s.SetPenMode(kCopyMode);
  s.SetColor(BackgroundColor);
  s.SetPenStyle(0);
  if (!Shadow) return;
  Shadow->EraseChain();
  if (RoutConstructionPoints) DrawConstructionMarks();
}

void TRoutEntity::Push() {
  if (Shadow) Shadow->PushChain();
}

void TRoutEntity::GetSecondPoint(TIntPoint&) {
  ErrorBox("GetSecondPoint called on untyped entity");
}
int32_t TRoutEntity::GetRadius() {
  ErrorBox("GetRadius called on non-Circle entity");
  return 0;
}
void TRoutEntity::SetSecondPoint(const TIntPoint&) {
  ErrorBox("SetSecondPoint called on untyped entity");
}
TStepObject* TRoutEntity::GetStepObj() {
  ErrorBox("GetStepObject called on non-jog/drill");
  return nullptr;
}
void TRoutEntity::SetStepObj(TStepObject*) { ErrorBox("SetStepObject called on non-jog/drill"); }
void TRoutEntity::AppendStepObj(TStepObject*) {
  ErrorBox("AppendStepObject called on non-jog/drill");
}
uint16_t TRoutEntity::GetFeedRate() {
  ErrorBox("GetFeedRate called on untyped entity");
  return 0;
}
int32_t TRoutEntity::GetZOffset() {
  ErrorBox("GetZOffset called on untyped entity");
  return 0;
}
void TRoutEntity::GetString(std::string&) { ErrorBox("GetString called on untyped entity"); }
uint8_t TRoutEntity::GetHoldOff() {
  ErrorBox("GetHoldOff called on untyped entity");
  return 0;
}
void TRoutEntity::SetFeedRate(uint16_t) { ErrorBox("SetFeedRate called on untyped entity"); }
void TRoutEntity::SetZOffset(int32_t) { ErrorBox("SetZOffset called on untyped entity"); }
void TRoutEntity::SetRadius(int32_t) { ErrorBox("SetRadius called on non-Circle entity"); }
bool TRoutEntity::IsAG32() {
  ErrorBox("IsAG32 called on non-Circle entity");
  return false;
}
void TRoutEntity::SetG32(bool) { ErrorBox("SetG32 called on non-Circle entity"); }
uint8_t TRoutEntity::GetComp() {
  ErrorBox("GetComp called on non-jog!");
  return 0;
}
void TRoutEntity::SetComp(uint8_t) { ErrorBox("SetComp called on non-jog!"); }
int32_t TRoutEntity::GetToolNumber() {
  ErrorBox("GetToolNumber called on non-jog/hole!");
  return 0;
}
void TRoutEntity::SetToolNumber(int32_t) { ErrorBox("SetToolNumber called on non-jog/hole!"); }
int32_t TRoutEntity::GetCompIndex() {
  ErrorBox("GetCompIndex called on non-jog!");
  return 0;
}
void TRoutEntity::SetCompIndex(int32_t) { ErrorBox("SetCompIndex called on non-jog!"); }
void TRoutEntity::Mirror() { ErrorBox("Mirror called on untyped entity"); }

bool TRoutEntity::DrawStep(int32_t copyNumber) {
  TDrawingBase& s = PictureSurface();
  TColor colour =
      (RoutColors == 0 && Shadow) ? s.ColorOfTool(Shadow->Tool) : LayerColour(CurrentLayer);
  if (EditorMode != emRout) colour = DimColor;
  s.SetPenMode(kCopyMode);
  s.SetColor(colour);
  s.SetPenStyle(0);
  return Shadow ? Shadow->DrawCopy(copyNumber) : false;
}

bool TRoutEntity::HasCopy(int32_t copyNumber) {
  return Shadow ? Shadow->HasCopy(copyNumber) : false;
}

int32_t TRoutEntity::CopyCount() { return Shadow ? Shadow->MaxCopyNumber() : 1; }

void TRoutEntity::UndrawStep(int32_t copyNumber) {
  TDrawingBase& s = PictureSurface();
  s.SetPenMode(kCopyMode);
  s.SetColor(BackgroundColor);
  s.SetPenStyle(0);
  if (Shadow) Shadow->UndrawCopy(copyNumber);
}

void TRoutEntity::DrawConstructionMarks() { PictureSurface().DrawXMark(X, Y); }

void TRoutEntity::FreeShadows() {
  while (Shadow) {
    TRoutShadow* next = Shadow->Next;
    delete Shadow;
    Shadow = next;
  }
}

void TRoutEntity::AttachShadow(TRoutShadow* record) {
  if (!record) return;
  record->Next = Shadow;
  Shadow = record;
}

int32_t TRoutEntity::ShadowCount() const { return Shadow ? Shadow->ChainLength() : 0; }

void TRoutEntity::AveragePoint(int32_t, TIntPoint&) {
  ErrorBox("AveragePoint called on untyped entity!");
}
int32_t TRoutEntity::EntityLength(int32_t) {
  ErrorBox("EntityLength called on one-point entity!");
  return 0;
}

bool TRoutEntity::InsideWindow(const TIntBox& box) { return InBox(box, X, Y); }

int32_t TRoutEntity::NearestPoint(TIntBox& box, int32_t best, int32_t pickX, int32_t pickY,
                                  int32_t& outX, int32_t& outY, bool useChain) {
  if (useChain)
    return Shadow ? Shadow->NearestEndPoint(box, best, pickX, pickY, outX, outY) : RoutNotNear;
  int32_t d = OutCode(box, X, Y) != 0 ? RoutNotNear : IntDistance(pickX, pickY, X, Y);
  if (d >= 0 && d < best) {
    outX = X;
    outY = Y;
    ShrinkBox(box, d, pickX, pickY);
  }
  return d;
}

void TRoutEntity::PerpPoint(int32_t, const TIntPoint&, TIntPoint&) {
  ErrorBox("PerpPoint called on illegal entity!");
}
void TRoutEntity::PerpDefString(int32_t, std::string&) {
  ErrorBox("PerpDefString called on illegal entity!");
}

void TRoutEntity::DrawShadow() {
  if (Shadow) Shadow->DrawChain();
}

// ---- TRoutStepCarrier ------------------------------------------------------------------

TRoutStepCarrier::~TRoutStepCarrier() { ReleaseStepObject(StepObj); }

void TRoutStepCarrier::SetStepObj(TStepObject* step) {
  if (step == StepObj) return;  // releasing first could free the object kept
  if (step) step->AddRef();
  ReleaseStepObject(StepObj);
  StepObj = step;
}

void TRoutStepCarrier::AppendStepObj(TStepObject* step) {
  if (!StepObj) {
    SetStepObj(step);
    return;
  }
  TStepObject* nested = StepObj->AppendLevel(step);
  if (!nested) return;
  // The new chain lives in the old object's cache: take our reference
  // before the old object (and with it the cache) may go.
  nested->AddRef();
  ReleaseStepObject(StepObj);
  StepObj = nested;
}

void TRoutStepCarrier::TransformStepObj(const TMatrix3& matrix) {
  if (!StepObj) return;
  TStepObject* moved = StepObj->Transformed(matrix);
  if (!moved || moved == StepObj) return;
  moved->AddRef();
  ReleaseStepObject(StepObj);
  StepObj = moved;
}

bool TRoutStepCarrier::TransformOwnPoint(const TMatrix3& matrix) {
  TRealPoint p;
  bool ok = MapPoint(matrix, X, Y, p);
  if (ok) {
    X = SaturatingRound(p.X);
    Y = SaturatingRound(p.Y);
  }
  TransformStepObj(matrix);
  return ok;
}

// ---- TRoutJog --------------------------------------------------------------------------

TRoutJog::TRoutJog(const TIntPoint& point, uint8_t compSide, int32_t tool, int32_t compIndex,
                   uint8_t layer)
    : TRoutStepCarrier(point.X, point.Y, etRoutJog, layer),
      CompSide(compSide),
      Tool(tool),
      CompIndex(compIndex) {}

TRoutEntity* TRoutJog::Clone(uint8_t layer) {
  auto* jog = new TRoutJog({X, Y}, CompSide, Tool, CompIndex, layer);
  if (StepObj) jog->SetStepObj(StepObj);
  return jog;
}

void TRoutJog::AveragePoint(int32_t prevIndex, TIntPoint& point) {
  MidPointOf(PreviousPoint(prevIndex), X, Y, point);
}

int32_t TRoutJog::EntityLength(int32_t prevIndex) {
  TIntPoint s = PreviousPoint(prevIndex);
  int64_t dx = std::llabs(int64_t(X) - s.X), dy = std::llabs(int64_t(Y) - s.Y);
  return ClampCompToInt(std::max(dx, dy));
}

int32_t TRoutJog::DistanceToPoint(int32_t prevIndex, TIntBox& box, int32_t best, int32_t pickX,
                                  int32_t pickY) {
  TIntPoint s = PreviousPoint(prevIndex);
  int64_t dx = int64_t(X) - s.X, dy = int64_t(Y) - s.Y;
  int64_t m = std::min(std::llabs(dx), std::llabs(dy));
  TIntPoint k{ClampCompToInt(s.X + (dx < 0 ? -m : m)), ClampCompToInt(s.Y + (dy < 0 ? -m : m))};
  int32_t d1 = HalvingSegmentDistance(s.X, s.Y, k.X, k.Y, pickX, pickY);
  int32_t d2 = (k.X == X) ? AxisLegDistance(true, X, k.Y, Y, box, pickX, pickY)
                          : AxisLegDistance(false, Y, k.X, X, box, pickX, pickY);
  int32_t d = std::min(d1, d2);
  if (!HeadUpMoves) d = RoutNotNear;
  return OfferOrNotNear(box, best, d, pickX, pickY);
}

bool TRoutJog::InWindowTest(int32_t prevIndex, const TIntBox& box) {
  return BothInBox(box, PreviousPoint(prevIndex), X, Y);
}

// ---- TRoutLine -------------------------------------------------------------------------

TRoutLine::TRoutLine(const TIntPoint& end, uint16_t feedRate, int32_t zOffset, uint8_t layer)
    : TRoutEntity(end.X, end.Y, etRoutLine, layer), FeedRate(feedRate), ZOffset(zOffset) {}

bool TRoutLine::Transform(const TMatrix3& matrix) {
  TRealPoint p;
  if (!MapPoint(matrix, X, Y, p)) return false;
  X = SaturatingRound(p.X);
  Y = SaturatingRound(p.Y);
  return true;
}

TRoutEntity* TRoutLine::Clone(uint8_t layer) {
  return new TRoutLine({X, Y}, FeedRate, ZOffset, layer);
}

void TRoutLine::AveragePoint(int32_t prevIndex, TIntPoint& point) {
  MidPointOf(PreviousPoint(prevIndex), X, Y, point);
}

int32_t TRoutLine::EntityLength(int32_t prevIndex) {
  TIntPoint s = PreviousPoint(prevIndex);
  return IntDistance(s.X, s.Y, X, Y);
}

int32_t TRoutLine::DistanceToPoint(int32_t prevIndex, TIntBox& box, int32_t best, int32_t pickX,
                                   int32_t pickY) {
  int32_t d = SegmentDistance(PreviousPoint(prevIndex), {X, Y}, box, pickX, pickY);
  return OfferOrNotNear(box, best, d, pickX, pickY);
}

bool TRoutLine::InWindowTest(int32_t prevIndex, const TIntBox& box) {
  return BothInBox(box, PreviousPoint(prevIndex), X, Y);
}

void TRoutLine::PerpPoint(int32_t prevIndex, const TIntPoint& pick, TIntPoint& point) {
  TRealPoint s = Real(PreviousPoint(prevIndex)), e{double(X), double(Y)}, q = Real(pick);
  point = pick;
  TLineEq line;
  TLinePointDir unused;
  LineEquation(0, e, s, line, unused);
  if (GeoErrorCode != 0) return;  // no length: no line to drop onto
  TLineEq perp;
  LineEqPointDir({line.A, line.B}, q, perp);
  TRealPoint foot;
  uint8_t n = 0;
  Intersect(0, line, perp, {}, {}, {}, {}, foot, n);
  if (GeoErrorCode == 0 && n == 1) point = Rounded(foot);
}

void TRoutLine::PerpDefString(int32_t prevIndex, std::string& text) {
  TRealPoint s = Real(PreviousPoint(prevIndex)), e{double(X), double(Y)};
  TLineEq line;
  TLinePointDir unused;
  LineEquation(0, s, e, line, unused);
  if (GeoErrorCode != 0) line = {};
  text = RealToStr(line.A) + "," + RealToStr(line.B) + "," + RealToStr(line.C);
}

// ---- TRoutArc --------------------------------------------------------------------------

TRoutArc::TRoutArc(uint8_t type, uint16_t feedRate, int32_t zOffset, const TIntPoint& end,
                   const TIntPoint& centre, uint8_t layer)
    : TRoutEntity(end.X, end.Y, type, layer),
      Centre(centre),
      FeedRate(feedRate),
      ZOffset(zOffset) {}

bool TRoutArc::Transform(const TMatrix3& matrix) {
  TRealPoint e, c;
  if (!MapPoint(matrix, X, Y, e) || !MapPoint(matrix, Centre.X, Centre.Y, c)) return false;
  X = SaturatingRound(e.X);
  Y = SaturatingRound(e.Y);
  Centre = Rounded(c);
  return true;
}

TRoutEntity* TRoutArc::Clone(uint8_t layer) {
  return new TRoutArc(Type, FeedRate, ZOffset, {X, Y}, Centre, layer);
}

TRoutEntity* TRoutArc::CloneAsLine(uint8_t layer) {
  return new TRoutLine({X, Y}, FeedRate, ZOffset, layer);
}

void TRoutArc::DrawConstructionMarks() {
  TDrawingBase& s = PictureSurface();
  s.DrawXMark(X, Y);
  s.DrawXMark(Centre.X, Centre.Y);
}

void TRoutArc::AveragePoint(int32_t prevIndex, TIntPoint& point) {
  MidPointOf(PreviousPoint(prevIndex), X, Y, point);
}

int32_t TRoutArc::EntityLength(int32_t prevIndex) {
  TIntPoint s = PreviousPoint(prevIndex);
  double r1, a1, r, a2;
  RectToPolar(double(s.X) - Centre.X, double(s.Y) - Centre.Y, r1, a1);
  RectToPolar(double(X) - Centre.X, double(Y) - Centre.Y, r, a2);
  // An arc that ends where it starts is a full circle, not a point.
  double sweep = (s.X == X && s.Y == Y) ? 360.0 : std::fabs(NormalizeAngle180(a2 - a1));
  return SaturatingRound(3.141592653587 * sweep * (1.0 / 180.0) * r);
}

int32_t TRoutArc::DistanceToPoint(int32_t prevIndex, TIntBox& box, int32_t best, int32_t pickX,
                                  int32_t pickY) {
  TIntPoint start = PreviousPoint(prevIndex), end{X, Y};
  if (Type == etRoutArcReverse) std::swap(start, end);
  int32_t r = SaturatingRound(RealDistance(start, Centre));
  uint8_t lo = OutCode(box, ClampCompToInt(int64_t(Centre.X) - r),
                       ClampCompToInt(int64_t(Centre.Y) - r));
  uint8_t hi = OutCode(box, ClampCompToInt(int64_t(Centre.X) + r),
                       ClampCompToInt(int64_t(Centre.Y) + r));
  int32_t d = (lo & hi) != 0 ? RoutNotNear
                             : DistPointArc(start.X, start.Y, end.X, end.Y, Centre.X, Centre.Y,
                                            pickX, pickY, r);
  return Offer(box, best, d, pickX, pickY);
}

bool TRoutArc::InWindowTest(int32_t prevIndex, const TIntBox& box) {
  return BothInBox(box, PreviousPoint(prevIndex), X, Y);
}

void TRoutArc::PerpPoint(int32_t prevIndex, const TIntPoint& pick, TIntPoint& point) {
  TIntPoint onArc = (Type == etRoutArc) ? TIntPoint{X, Y} : PreviousPoint(prevIndex);
  RadialPoint(Centre, RealDistance(Centre, onArc), pick, point);
}

void TRoutArc::PerpDefString(int32_t, std::string& text) {
  text = RealToStr(Centre.X) + "," + RealToStr(Centre.Y) + "," +
         RealToStr(RealDistance(Centre, {X, Y}));
}

// ---- TRoutCircle -----------------------------------------------------------------------

TRoutCircle::TRoutCircle(const TIntPoint& centre, uint16_t feedRate, int32_t zOffset,
                         int32_t tool, int32_t radius, int32_t compIndex, bool g32,
                         uint8_t layer)
    : TRoutStepCarrier(centre.X, centre.Y, etRoutCircle, layer),
      Tool(tool),
      CompIndex(compIndex),
      Radius(radius),
      G32(g32),
      FeedRate(feedRate),
      ZOffset(zOffset) {}

bool TRoutCircle::Transform(const TMatrix3& matrix) {
  TRealPoint c;
  TRootDBObject::TransformPoint(X, Y, matrix.M, c.X, c.Y);
  // The length factor of the matrix, measured on a probe of 1,000,000 units
  // at 45 degrees from the centre.
  double px, py;
  PolarToRect(1000000.0, 45.0, px, py);
  TRealPoint q;
  TRootDBObject::TransformPoint(ClampCompToInt(int64_t(X) + SaturatingRound(px)),
                                ClampCompToInt(int64_t(Y) + SaturatingRound(py)), matrix.M, q.X,
                                q.Y);
  double len, angle;
  RectToPolar(q.X - c.X, q.Y - c.Y, len, angle);
  double r = Radius * (len * 0.000001);
  bool ok = InRange(c) && InRange(c.X + r, c.Y + r) && InRange(c.X - r, c.Y - r);
  if (ok) {
    X = SaturatingRound(c.X);
    Y = SaturatingRound(c.Y);
    Radius = SaturatingRound(r);
  }
  TransformStepObj(matrix);
  return ok;
}

TRoutEntity* TRoutCircle::Clone(uint8_t layer) {
  auto* circle = new TRoutCircle({X, Y}, FeedRate, ZOffset, Tool, Radius, CompIndex, G32, layer);
  if (StepObj) circle->SetStepObj(StepObj);
  return circle;
}

int32_t TRoutCircle::EntityLength(int32_t) { return SaturatingRound(Radius * 9.424777960761); }

int32_t TRoutCircle::DistanceToPoint(int32_t, TIntBox& box, int32_t best, int32_t pickX,
                                     int32_t pickY) {
  const int64_t r = Radius;
  const int64_t probes[5][2] = {
      {X - r, Y}, {X + r, Y}, {X, Y - r}, {X, Y + r}, {X, Y}};
  bool candidate = false;
  for (const auto& p : probes) candidate = candidate || InBox(box, p[0], p[1]);
  int32_t d = RoutNotNear;
  if (candidate) {
    int32_t centre = IntDistance(pickX, pickY, X, Y);
    d = (Radius < centre) ? centre - Radius : centre;
  }
  return Offer(box, best, d, pickX, pickY);
}

bool TRoutCircle::InWindowTest(int32_t, const TIntBox& box) {
  const int64_t r = Radius;
  return InBox(box, X - r, Y - r) && InBox(box, X + r, Y + r);
}

void TRoutCircle::PerpPoint(int32_t, const TIntPoint& pick, TIntPoint& point) {
  RadialPoint({X, Y}, Radius, pick, point);
}

void TRoutCircle::PerpDefString(int32_t, std::string& text) {
  text = RealToStr(X) + "," + RealToStr(Y) + "," + RealToStr(Radius);
}

// ---- TRoutHole -------------------------------------------------------------------------

// A class derived with more fields takes its memory from the heap.
void* TRoutHole::operator new(std::size_t size) {
  return size == sizeof(TRoutHole) ? SlotPoolOf<TRoutHole>().Allocate() : ::operator new(size);
}

void TRoutHole::operator delete(void* p, std::size_t size) noexcept {
  if (p == nullptr) return;
  if (size == sizeof(TRoutHole)) SlotPoolOf<TRoutHole>().Release(p); else ::operator delete(p);
}

TRoutHole::TRoutHole(const TIntPoint& point, int32_t tool, uint8_t layer)
    : TRoutStepCarrier(point.X, point.Y, etRoutHole, layer), Tool(tool) {}

TRoutEntity* TRoutHole::Clone(uint8_t layer) {
  auto* hole = new TRoutHole({X, Y}, Tool, layer);
  if (StepObj) hole->SetStepObj(StepObj);
  return hole;
}

int32_t TRoutHole::DistanceToPoint(int32_t, TIntBox& box, int32_t best, int32_t pickX,
                                   int32_t pickY) {
  int32_t d =
      OutCode(box, X, Y) == 0 ? HalvingSegmentDistance(X, Y, X, Y, pickX, pickY) : RoutNotNear;
  return Offer(box, best, d, pickX, pickY);
}

// ---- TRoutCommand ----------------------------------------------------------------------

TRoutCommand::TRoutCommand(uint8_t layer, const TIntPoint& point, const std::string& text,
                           uint8_t holdOff)
    : TRoutStepCarrier(point.X, point.Y, etRoutCommand, layer),
      Text(text.substr(0, MaxTextLength)),
      HoldOff(holdOff) {}

TRoutEntity* TRoutCommand::Clone(uint8_t layer) {
  return new TRoutCommand(layer, {X, Y}, Text, HoldOff);
}
