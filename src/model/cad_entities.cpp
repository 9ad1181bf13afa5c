#include "model/cad_entities.h"

#include <algorithm>
#include <cmath>

#include "foundation/display_units.h"
#include "foundation/geometry.h"
#include "foundation/geometry_intersect.h"
#include "foundation/geometry_lines.h"
#include "foundation/geometry_matrix.h"
#include "foundation/geometry_points.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/drawing_base.h"
#include "model/slot_pool.h"
#include "model/view_services.h"
#include "platform/canvas.h"
#include "platform/message_box.h"

namespace {

const char* const IllegalSecondPoint = "Error: Illegal second point call!";
const char* const IllegalThirdPoint = "Error: Illegal third point call!";
const char* const IllegalRadius = "Error: Illegal get radius call!";


bool InBox(const TIntBox& box, int32_t x, int32_t y) { return OutCode(box, x, y) == 0; }

// Shrinks the box to the square of half-size d around (x, y).
void ShrinkBox(TIntBox& box, int32_t d, int32_t x, int32_t y) {
  box.Left = ClampCompToInt(int64_t(x) - d);
  box.Bottom = ClampCompToInt(int64_t(y) - d);
  box.Right = ClampCompToInt(int64_t(x) + d);
  box.Top = ClampCompToInt(int64_t(y) + d);
}

// The protocol's ending: the box shrinks when 0 <= d < best.
int32_t Offer(TIntBox& box, int32_t best, int32_t d, int32_t x, int32_t y) {
  if (d >= 0 && d < best) ShrinkBox(box, d, x, y);
  return d;
}

// The distance of a defining point when it lies in the box, else NotNear.
int32_t BoxedDistance(const TIntBox& box, int32_t px, int32_t py, int32_t x, int32_t y) {
  return InBox(box, px, py) ? IntDistance(px, py, x, y) : NotNear;
}

// NearestPoint over a list of defining points.
int32_t NearestOf(TIntBox& box, int32_t best, int32_t& outX, int32_t& outY, int32_t x, int32_t y,
                  const TIntPoint* points, int n) {
  int32_t candidate = NotNear;
  for (int i = 0; i < n; ++i) {
    int32_t d = BoxedDistance(box, points[i].X, points[i].Y, x, y);
    if (d >= 0 && d < candidate && d < best) {
      candidate = d;
      outX = points[i].X;
      outY = points[i].Y;
    }
  }
  return Offer(box, best, candidate, x, y);
}

uint16_t Fold(uint16_t key, int32_t value) {
  uint32_t u = static_cast<uint32_t>(value);
  return key ^ static_cast<uint16_t>(u >> 16) ^ static_cast<uint16_t>(u & 0xFFFF);
}

// The corners (c - r, c - r) and (c + r, c + r) of a circle's box, saturated.
void CircleBox(int32_t cx, int32_t cy, int32_t r, TIntPoint& min, TIntPoint& max) {
  min = {ClampCompToInt(int64_t(cx) - r), ClampCompToInt(int64_t(cy) - r)};
  max = {ClampCompToInt(int64_t(cx) + r), ClampCompToInt(int64_t(cy) + r)};
}

bool CornersShareOutCode(const TIntBox& box, const TIntPoint& a, const TIntPoint& b) {
  return (OutCode(box, a.X, a.Y) & OutCode(box, b.X, b.Y)) != 0;
}

bool WindowTest(const TIntBox& box, uint8_t mode, const TIntPoint* points, int n) {
  if (mode > 1) return false;
  for (int i = 0; i < n; ++i) {
    bool inside = InBox(box, points[i].X, points[i].Y);
    if ((mode == 0) != inside) return false;
  }
  return true;
}

// The radial projection of a point onto the circle of radius r about c.
void RadialPoint(int32_t cx, int32_t cy, double r, const TIntPoint& from, TIntPoint& point) {
  TRealPoint c{double(cx), double(cy)};
  TRealPoint p{double(from.X), double(from.Y)};
  if (PointsEqualTol(p, c)) {
    point = from;
    return;
  }
  TRealPoint q;
  OffsetPoint(c, q, r, DirectionAngle(c, p));
  point = {SaturatingRound(q.X), SaturatingRound(q.Y)};
}

double DirectionDeg(int64_t dx, int64_t dy) {
  double a = std::atan2(double(dy), double(dx)) * 57.29577951308232;
  if (a < 0.0) a += 360.0;
  if (a >= 360.0) a = 0.0;
  return a;
}

// A point mapped by the matrix, or false when it leaves the database extent.
bool MapPoint(const TMatrix3& m, int32_t x, int32_t y, double& ox, double& oy) {
  TransformPoint(x, y, ox, oy, m);
  return TRootDBObject::InRange(ox, oy);
}

void DeviceX(TCanvas& canvas, int32_t x, int32_t y) {
  canvas.MoveTo(x - 2, y - 2);
  canvas.LineTo(x + 3, y + 3);
  canvas.MoveTo(x - 2, y + 2);
  canvas.LineTo(x + 3, y - 3);
}

// An X on the canvas at the device position of the world point.
void MarkAt(TCanvas& canvas, int32_t x, int32_t y) {
  int32_t dx, dy;
  PictureSurface().WorldToDevice(x, y, dx, dy);
  DeviceX(canvas, dx, dy);
}

}  // namespace

int32_t IntDistance(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
  double dx = double(x2 - x1), dy = double(y2 - y1);
  return SaturatingRound(std::sqrt(dx * dx + dy * dy));
}

TCadEntity* AsCadEntity(TRootDBObject* entity) { return dynamic_cast<TCadEntity*>(entity); }

// ---- TCadEntity ----------------------------------------------------------------------

TCadEntity::TCadEntity() { DatabaseModified = true; }

void TCadEntity::MarkStale(TDrawingBase& s) {
  if (!s.TracksStale) return;
  TIntPoint a, b;
  GetExtents(a, b);
  // Construction marks reach 3 pixels past their points.
  s.MarkStale(std::min(a.X, b.X), std::min(a.Y, b.Y), std::max(a.X, b.X), std::max(a.Y, b.Y), 0.0, 4);
}

void TCadEntity::Draw(uint8_t layer) {
  TDrawingBase& s = CurrentSurface();
  // Drawn alone, the entity may lie over what a redraw paints after it.
  MarkStale(s);
  TColor colour = (EditorMode != emCad && s.IsScreen()) ? DimColor
                  : layer < LayerColors.size()           ? LayerColors[layer]
                                                         : clWhite;
  s.SetColorIfChanged(colour);
  s.SetPenStyleIfChanged(0);
  Paint(s);
  if (ConstructionPoints) {
    s.SetColorIfChanged(clWhite);
    PaintMarks(s);
  }
}

void TCadEntity::Erase() {
  TDrawingBase& s = PictureSurface();
  MarkStale(s);
  s.SetColorIfChanged(BackgroundColor);
  s.SetPenStyleIfChanged(0);
  Paint(s);
}

void TCadEntity::DrawColour(TColor colour) {
  TDrawingBase& s = PictureSurface();
  s.SetColorIfChanged(colour);
  s.SetPenStyleIfChanged(2);
  s.SetPenModeIfChanged(4);
  Paint(s);
}

void TCadEntity::GetThirdPoint(TIntPoint& point) {
  point = {0, 0};
  ErrorBox(IllegalThirdPoint);
}

void TCadEntity::SetThirdPoint(const TIntPoint&) { ErrorBox(IllegalThirdPoint); }

void TCadEntity::GetCentre(TIntPoint& point) { MiddlePoint(point); }

bool TCadEntity::CrossesWindow(const TIntBox&) { return false; }

void TCadEntity::PointsInWindow(const TIntBox&, TPointsInside& inside) { inside = {}; }

bool TCadEntity::TransformPoints(const TMatrix3&, const TPointsInside&) { return false; }

void TCadEntity::FastDrawMarks(TCanvas&) {}

// ---- TCadPoint -------------------------------------------------------------------------

void* TCadPoint::operator new(std::size_t) { return SlotPoolOf<TCadPoint>().Allocate(); }

void TCadPoint::operator delete(void* p) noexcept {
  if (p != nullptr) SlotPoolOf<TCadPoint>().Release(p);
}

TCadPoint::TCadPoint(int32_t x, int32_t y) : X(x), Y(y) { ComputeShadow(); }

void TCadPoint::ComputeShadow() {
  XMask = BandMask(X, X);
  YMask = BandMask(Y, Y);
}

void TCadPoint::GetSecondPoint(TIntPoint& point) {
  point = {0, 0};
  ErrorBox(IllegalSecondPoint);
}

int32_t TCadPoint::GetRadius() {
  ErrorBox(IllegalRadius);
  return 0;
}

void TCadPoint::SetPoint(const TIntPoint& point) {
  X = point.X;
  Y = point.Y;
  ComputeShadow();
}

void TCadPoint::SetSecondPoint(const TIntPoint&) { ErrorBox(IllegalSecondPoint); }

bool TCadPoint::Transform(const TMatrix3& matrix) {
  double x, y;
  if (!MapPoint(matrix, X, Y, x, y)) return false;
  X = SaturatingRound(x);
  Y = SaturatingRound(y);
  ComputeShadow();
  return true;
}

void TCadPoint::InfoString(std::string& text) {
  text = RealToStr(X) + "," + RealToStr(Y) + "," + RealToStr(0);
  if (text.size() > 255) text.resize(255);
}

uint16_t TCadPoint::HashKey() { return Fold(Fold(0, X), Y); }

TCadEntity* TCadPoint::Clone() { return new TCadPoint(X, Y); }

void TCadPoint::GetExtents(TIntPoint& min, TIntPoint& max) { min = max = {X, Y}; }

int32_t TCadPoint::DistanceToPoint(TIntBox& box, int32_t best, int32_t x, int32_t y) {
  return Offer(box, best, BoxedDistance(box, X, Y, x, y), x, y);
}

int32_t TCadPoint::NearestPoint(TIntBox& box, int32_t best, int32_t& outX, int32_t& outY,
                                int32_t x, int32_t y) {
  TIntPoint p[1] = {{X, Y}};
  return NearestOf(box, best, outX, outY, x, y, p, 1);
}

bool TCadPoint::InsideWindow(const TIntBox& box, uint8_t mode) {
  TIntPoint p[1] = {{X, Y}};
  return WindowTest(box, mode, p, 1);
}

bool TCadPoint::IsDuplicateOf(TRootDBObject& other) {
  if (other.GetType() != etCadPoint) return false;
  auto& o = static_cast<TCadPoint&>(other);
  return o.X == X && o.Y == Y;
}

void TCadPoint::Paint(TDrawingBase& surface) { surface.DrawPlusMark(X, Y); }

void TCadPoint::FastDraw(TCanvas& canvas) {
  int32_t x, y;
  PictureSurface().WorldToDevice(X, Y, x, y);
  canvas.MoveTo(x - 3, y);
  canvas.LineTo(x + 3, y);
  canvas.MoveTo(x, y - 3);
  canvas.LineTo(x, y + 3);
}

// ---- TCadLine ---------------------------------------------------------------------------

void* TCadLine::operator new(std::size_t size) { return NewPooled<TCadLine>(size); }

void TCadLine::operator delete(void* p, std::size_t size) noexcept { DeletePooled<TCadLine>(p, size); }

TCadLine::TCadLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2)
    : X1(x1), Y1(y1), X2(x2), Y2(y2) {
  ComputeShadow();
}

void TCadLine::ComputeShadow() {
  XMask = BandMask(X1, X2);
  YMask = BandMask(Y1, Y2);
}

int32_t TCadLine::GetRadius() {
  ErrorBox(IllegalRadius);
  return 0;
}

void TCadLine::SetPoint(const TIntPoint& point) {
  X1 = point.X;
  Y1 = point.Y;
  ComputeShadow();
}

void TCadLine::SetSecondPoint(const TIntPoint& point) {
  X2 = point.X;
  Y2 = point.Y;
  ComputeShadow();
}

bool TCadLine::Transform(const TMatrix3& matrix) {
  double x1, y1, x2, y2;
  if (!MapPoint(matrix, X1, Y1, x1, y1) || !MapPoint(matrix, X2, Y2, x2, y2)) return false;
  X1 = SaturatingRound(x1);
  Y1 = SaturatingRound(y1);
  X2 = SaturatingRound(x2);
  Y2 = SaturatingRound(y2);
  ComputeShadow();
  return true;
}

bool TCadLine::TransformPoints(const TMatrix3& matrix, const TPointsInside& which) {
  double x1 = X1, y1 = Y1, x2 = X2, y2 = Y2;
  if (which.P1 != 0 && !MapPoint(matrix, X1, Y1, x1, y1)) return false;
  if (which.P2 != 0 && !MapPoint(matrix, X2, Y2, x2, y2)) return false;
  X1 = SaturatingRound(x1);
  Y1 = SaturatingRound(y1);
  X2 = SaturatingRound(x2);
  Y2 = SaturatingRound(y2);
  ComputeShadow();
  return true;
}

void TCadLine::InfoString(std::string& text) {
  TNormalizeLinesGuard normalised;
  TLineEq e;
  TLinePointDir f;
  LineEquation(0, {double(X1), double(Y1)}, {double(X2), double(Y2)}, e, f);
  text = RealToStr(e.A) + "," + RealToStr(e.B) + "," + RealToStr(e.C);
  if (text.size() > 255) text.resize(255);
}

uint16_t TCadLine::HashKey() { return Fold(Fold(Fold(Fold(0, X1), Y1), X2), Y2); }

TCadEntity* TCadLine::Clone() { return new TCadLine(X1, Y1, X2, Y2); }

void TCadLine::GetExtents(TIntPoint& min, TIntPoint& max) {
  min = {X1, Y1};
  max = {X2, Y2};
}

namespace {


// Vertical (axis-parallel) line test in the line's own axes: c is the shared
// coordinate, a1 and a2 the ends along the line; (pc, pa) the pick point.
int32_t AxisLineDistance(int32_t c, int32_t a1, int32_t a2, int32_t pc, int32_t pa,
                         int32_t boxLow, int32_t boxHigh, int32_t boxAlongLow,
                         int32_t boxAlongHigh) {
  int32_t lo = std::min(a1, a2), hi = std::max(a1, a2);
  if (!(boxLow <= c && c <= boxHigh && boxAlongLow <= hi && boxAlongHigh >= lo)) return NotNear;
  if (lo <= pa && pa <= hi) return ClampCompToInt(std::llabs(int64_t(pc) - c));
  // The end whose along-coordinate is nearer; the second end on a tie.
  int64_t d1 = std::llabs(int64_t(pa) - a1), d2 = std::llabs(int64_t(pa) - a2);
  int32_t end = d1 < d2 ? a1 : a2;
  return IntDistance(c, end, pc, pa);
}

}  // namespace

int32_t TCadLine::DistanceToPoint(TIntBox& box, int32_t best, int32_t x, int32_t y) {
  int32_t d;
  if (X1 == X2) {
    d = AxisLineDistance(X1, Y1, Y2, x, y, box.Left, box.Right, box.Bottom, box.Top);
  } else if (Y1 == Y2) {
    d = AxisLineDistance(Y1, X1, X2, y, x, box.Bottom, box.Top, box.Left, box.Right);
  } else if ((OutCode(box, X1, Y1) & OutCode(box, X2, Y2)) != 0) {
    d = NotNear;
  } else {
    d = HalvingSegmentDistance(X1, Y1, X2, Y2, x, y);
  }
  return Offer(box, best, d, x, y);
}

int32_t TCadLine::NearestPoint(TIntBox& box, int32_t best, int32_t& outX, int32_t& outY,
                               int32_t x, int32_t y) {
  TIntPoint p[2] = {{X1, Y1}, {X2, Y2}};
  return NearestOf(box, best, outX, outY, x, y, p, 2);
}

void TCadLine::MiddlePoint(TIntPoint& point) {
  point = {X1 / 2 + X2 / 2, Y1 / 2 + Y2 / 2};
}

double TCadLine::Angle() { return DirectionDeg(int64_t(X2) - X1, int64_t(Y2) - Y1); }

void TCadLine::PerpPoint(const TIntPoint& from, TIntPoint& point) {
  TRealPoint p1{double(X1), double(Y1)}, p2{double(X2), double(Y2)};
  TRealPoint p{double(from.X), double(from.Y)};
  TLineEq e, e2;
  TLinePointDir f, f2;
  LineEquation(0, p1, p2, e, f);
  if (GeoErrorCode != 0) {
    point = from;
    return;
  }
  // The perpendicular through the point runs along the line's normal.
  LineEqPointDir({e.A, e.B}, p, e2);
  TRealLine l1, l2;
  TRealPoint q;
  uint8_t n = 0;
  Intersect(0, e, e2, f, f2, l1, l2, q, n);
  if (GeoErrorCode != 0) {
    point = from;
    return;
  }
  point = {SaturatingRound(q.X), SaturatingRound(q.Y)};
}

void TCadLine::TangentPoint(const TIntPoint&, TIntPoint& point) {
  point = {0, 0};
  ErrorBox("Internal error: Tangent op accepted a line.\r\nReport to Orbenwright!\r\n"
           "Press <Enter> to proceed...");
}

bool TCadLine::InsideWindow(const TIntBox& box, uint8_t mode) {
  TIntPoint p[2] = {{X1, Y1}, {X2, Y2}};
  return WindowTest(box, mode, p, 2);
}

bool TCadLine::CrossesWindow(const TIntBox& box) {
  return InBox(box, X1, Y1) != InBox(box, X2, Y2);
}

void TCadLine::PointsInWindow(const TIntBox& box, TPointsInside& inside) {
  inside.P1 = InBox(box, X1, Y1) ? 1 : 0;
  inside.P2 = InBox(box, X2, Y2) ? 1 : 0;
  inside.P3 = 0;
}

bool TCadLine::IsDuplicateOf(TRootDBObject& other) {
  if (other.GetType() != etCadLine) return false;
  auto& o = static_cast<TCadLine&>(other);
  return (o.X1 == X1 && o.Y1 == Y1 && o.X2 == X2 && o.Y2 == Y2) ||
         (o.X1 == X2 && o.Y1 == Y2 && o.X2 == X1 && o.Y2 == Y1);
}

void TCadLine::Paint(TDrawingBase& surface) { surface.DrawLine(X1, Y1, X2, Y2); }

void TCadLine::PaintMarks(TDrawingBase& surface) {
  surface.DrawXMark(X1, Y1);
  surface.DrawXMark(X2, Y2);
}

void TCadLine::FastDraw(TCanvas& canvas) {
  TDrawingBase& picture = PictureSurface();
  int32_t x1, y1, x2, y2;
  picture.WorldToDevice(X1, Y1, x1, y1);
  picture.WorldToDevice(X2, Y2, x2, y2);
  canvas.MoveTo(x1, y1);
  canvas.LineTo(x2, y2);
}

void TCadLine::FastDrawMarks(TCanvas& canvas) {
  MarkAt(canvas, X1, Y1);
  MarkAt(canvas, X2, Y2);
}

// ---- TCadArc -----------------------------------------------------------------------------

void* TCadArc::operator new(std::size_t size) { return NewPooled<TCadArc>(size); }

void TCadArc::operator delete(void* p, std::size_t size) noexcept { DeletePooled<TCadArc>(p, size); }

TCadArc::TCadArc(int32_t sx, int32_t sy, int32_t ex, int32_t ey, int32_t cx, int32_t cy)
    : SX(sx), SY(sy), EX(ex), EY(ey), CX(cx), CY(cy) {
  ComputeShadow();
}

int32_t TCadArc::RadiusOf() const { return IntDistance(CX, CY, SX, SY); }

void TCadArc::ComputeShadow() {
  // The bands of the whole circle, computed wide so a large radius saturates
  // at the edge of the coordinate range instead of wrapping.
  int64_t r = RadiusOf();
  XMask = BandMask(ClampCompToInt(int64_t(CX) + r), ClampCompToInt(int64_t(CX) - r));
  YMask = BandMask(ClampCompToInt(int64_t(CY) + r), ClampCompToInt(int64_t(CY) - r));
}

int32_t TCadArc::GetRadius() {
  ErrorBox(IllegalRadius);
  return 0;
}

void TCadArc::SetPoint(const TIntPoint& point) {
  SX = point.X;
  SY = point.Y;
  ComputeShadow();
}

void TCadArc::SetSecondPoint(const TIntPoint& point) {
  EX = point.X;
  EY = point.Y;
  ComputeShadow();
}

void TCadArc::SetThirdPoint(const TIntPoint& point) {
  CX = point.X;
  CY = point.Y;
  ComputeShadow();
}

bool TCadArc::Transform(const TMatrix3& matrix) {
  if (MatrixIsUniform(matrix)) {
    double sx, sy, ex, ey, cx, cy;
    if (!MapPoint(matrix, SX, SY, sx, sy) || !MapPoint(matrix, EX, EY, ex, ey) ||
        !MapPoint(matrix, CX, CY, cx, cy))
      return false;
    if (MatrixIsMirrored(matrix)) {
      std::swap(sx, ex);
      std::swap(sy, ey);
    }
    SX = SaturatingRound(sx);
    SY = SaturatingRound(sy);
    EX = SaturatingRound(ex);
    EY = SaturatingRound(ey);
    CX = SaturatingRound(cx);
    CY = SaturatingRound(cy);
  } else {
    int32_t mx, my;
    ArcMidPoint(SX, SY, EX, EY, CX, CY, mx, my);
    double sx, sy, ex, ey, x, y;
    if (!MapPoint(matrix, SX, SY, sx, sy) || !MapPoint(matrix, mx, my, x, y) ||
        !MapPoint(matrix, EX, EY, ex, ey))
      return false;
    int32_t nsx, nsy, nex, ney, ncx, ncy, a1, a2;
    double r;
    ArcThreePointsInt(SaturatingRound(sx), SaturatingRound(sy), SaturatingRound(x),
                      SaturatingRound(y), SaturatingRound(ex), SaturatingRound(ey), nsx, nsy,
                      nex, ney, ncx, ncy, a1, a2, r);
    // Image points in a line (a degenerate scale) make no arc: refuse.
    if (!(r > 0.0)) return false;
    SX = nsx;
    SY = nsy;
    EX = nex;
    EY = ney;
    CX = ncx;
    CY = ncy;
  }
  ComputeShadow();
  return true;
}

void TCadArc::InfoString(std::string& text) {
  text = RealToStr(CX) + "," + RealToStr(CY) + "," +
         RealToStr(std::hypot(double(SX) - CX, double(SY) - CY));
  if (text.size() > 255) text.resize(255);
}

uint16_t TCadArc::HashKey() {
  uint16_t k = 0;
  for (int32_t v : {SX, SY, EX, EY, CX, CY}) k = Fold(k, v);
  return k;
}

TCadEntity* TCadArc::Clone() { return new TCadArc(SX, SY, EX, EY, CX, CY); }

void TCadArc::GetExtents(TIntPoint& min, TIntPoint& max) { CircleBox(CX, CY, RadiusOf(), min, max); }

int32_t TCadArc::DistanceToPoint(TIntBox& box, int32_t best, int32_t x, int32_t y) {
  int32_t r = RadiusOf();
  TIntPoint lo, hi;
  CircleBox(CX, CY, r, lo, hi);
  int32_t d = CornersShareOutCode(box, lo, hi) ? NotNear
                                               : DistPointArc(SX, SY, EX, EY, CX, CY, x, y, r);
  return Offer(box, best, d, x, y);
}

int32_t TCadArc::NearestPoint(TIntBox& box, int32_t best, int32_t& outX, int32_t& outY,
                              int32_t x, int32_t y) {
  TIntPoint p[3] = {{SX, SY}, {EX, EY}, {CX, CY}};
  return NearestOf(box, best, outX, outY, x, y, p, 3);
}

void TCadArc::MiddlePoint(TIntPoint& point) {
  ArcMidPoint(SX, SY, EX, EY, CX, CY, point.X, point.Y);
}

double TCadArc::Angle() { return DirectionDeg(int64_t(EX) - SX, int64_t(EY) - SY); }

void TCadArc::PerpPoint(const TIntPoint& from, TIntPoint& point) {
  RadialPoint(CX, CY, std::hypot(double(SX) - CX, double(SY) - CY), from, point);
}

bool TCadArc::InsideWindow(const TIntBox& box, uint8_t mode) {
  TIntPoint p[2] = {{SX, SY}, {EX, EY}};
  return WindowTest(box, mode, p, 2);
}

bool TCadArc::IsDuplicateOf(TRootDBObject& other) {
  if (other.GetType() != etCadArc) return false;
  auto& o = static_cast<TCadArc&>(other);
  return o.SX == SX && o.SY == SY && o.EX == EX && o.EY == EY && o.CX == CX && o.CY == CY;
}

void TCadArc::Paint(TDrawingBase& surface) { surface.DrawArc(false, SX, SY, EX, EY, CX, CY); }

void TCadArc::PaintMarks(TDrawingBase& surface) {
  surface.DrawXMark(SX, SY);
  surface.DrawXMark(EX, EY);
  surface.DrawXMark(CX, CY);
}

void TCadArc::FastDraw(TCanvas&) { PictureSurface().DrawArc(false, SX, SY, EX, EY, CX, CY); }

void TCadArc::FastDrawMarks(TCanvas& canvas) {
  MarkAt(canvas, SX, SY);
  MarkAt(canvas, EX, EY);
  MarkAt(canvas, CX, CY);
}

// ---- TCadCircle ---------------------------------------------------------------------------

void* TCadCircle::operator new(std::size_t) { return SlotPoolOf<TCadCircle>().Allocate(); }

void TCadCircle::operator delete(void* p) noexcept {
  if (p != nullptr) SlotPoolOf<TCadCircle>().Release(p);
}

TCadCircle::TCadCircle(int32_t cx, int32_t cy, int32_t radius) : CX(cx), CY(cy), Radius(radius) {
  ComputeShadow();
}

void TCadCircle::ComputeShadow() {
  TIntPoint lo, hi;
  CircleBox(CX, CY, Radius, lo, hi);
  XMask = BandMask(lo.X, hi.X);
  YMask = BandMask(lo.Y, hi.Y);
}

void TCadCircle::SetPoint(const TIntPoint& point) {
  CX = point.X;
  CY = point.Y;
  ComputeShadow();
}

void TCadCircle::SetSecondPoint(const TIntPoint& point) {
  Radius = point.X;
  ComputeShadow();
}

bool TCadCircle::Transform(const TMatrix3& matrix) {
  double vx, vy;
  PolarToRect(1000000.0, 45.0, vx, vy);
  double ox, oy, tx, ty;
  ::TransformPoint(0.0, 0.0, ox, oy, matrix);
  ::TransformPoint(vx, vy, tx, ty, matrix);
  double len, angle;
  RectToPolar(tx - ox, ty - oy, len, angle);
  double scale = len / 1000000.0;
  double cx, cy;
  ::TransformPoint(CX, CY, cx, cy, matrix);
  double r = Radius * scale;
  if (!InRange(cx + r, cy + r) || !InRange(cx - r, cy - r)) return false;
  CX = SaturatingRound(cx);
  CY = SaturatingRound(cy);
  Radius = SaturatingRound(r);
  ComputeShadow();
  return true;
}

void TCadCircle::InfoString(std::string& text) {
  text = RealToStr(CX) + "," + RealToStr(CY) + "," + RealToStr(Radius);
  if (text.size() > 255) text.resize(255);
}

uint16_t TCadCircle::HashKey() { return Fold(Fold(Fold(0, CX), CY), Radius); }

TCadEntity* TCadCircle::Clone() { return new TCadCircle(CX, CY, Radius); }

void TCadCircle::GetExtents(TIntPoint& min, TIntPoint& max) { CircleBox(CX, CY, Radius, min, max); }

int32_t TCadCircle::DistanceToPoint(TIntBox& box, int32_t best, int32_t x, int32_t y) {
  TIntPoint lo, hi;
  CircleBox(CX, CY, Radius, lo, hi);
  int32_t d = NotNear;
  if (!CornersShareOutCode(box, lo, hi)) {
    double dc = std::hypot(double(x) - CX, double(y) - CY);
    d = SaturatingRound(std::fabs(dc - Radius));
  }
  return Offer(box, best, d, x, y);
}

int32_t TCadCircle::NearestPoint(TIntBox& box, int32_t best, int32_t& outX, int32_t& outY,
                                 int32_t x, int32_t y) {
  TIntPoint p[1] = {{CX, CY}};
  return NearestOf(box, best, outX, outY, x, y, p, 1);
}

void TCadCircle::PerpPoint(const TIntPoint& from, TIntPoint& point) {
  RadialPoint(CX, CY, Radius, from, point);
}

bool TCadCircle::InsideWindow(const TIntBox& box, uint8_t mode) {
  TIntPoint p[2];
  CircleBox(CX, CY, Radius, p[0], p[1]);
  return WindowTest(box, mode, p, 2);
}

bool TCadCircle::IsDuplicateOf(TRootDBObject& other) {
  if (other.GetType() != etCadCircle) return false;
  auto& o = static_cast<TCadCircle&>(other);
  return o.CX == CX && o.CY == CY && o.Radius == Radius;
}

void TCadCircle::Paint(TDrawingBase& surface) { surface.DrawCircle(CX, CY, Radius); }

void TCadCircle::PaintMarks(TDrawingBase& surface) { surface.DrawXMark(CX, CY); }

void TCadCircle::FastDraw(TCanvas&) { PictureSurface().DrawCircle(CX, CY, Radius); }

void TCadCircle::FastDrawMarks(TCanvas& canvas) { MarkAt(canvas, CX, CY); }
