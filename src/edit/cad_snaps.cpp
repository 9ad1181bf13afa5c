#include "edit/cad_snaps.h"

#include <cmath>

#include "command/command_text.h"
#include "edit/cad_constructions.h"
#include "foundation/display_units.h"
#include "foundation/geometry_intersect.h"
#include "foundation/geometry_lines.h"
#include "foundation/geometry_points.h"
#include "foundation/settings.h"
#include "model/cad_database.h"
#include "model/entity_store.h"
#include "platform/message_box.h"

namespace {
TRealPoint Real(const TIntPoint& p) { return {double(p.X), double(p.Y)}; }
TIntPoint Rounded(const TRealPoint& p) { return {SaturatingRound(p.X), SaturatingRound(p.Y)}; }

bool OnArc(const TPickedShape& s, const TRealPoint& p) {
  if (s.Kind != TPickedShape::skArc) return true;
  const double a = DirectionAngle(s.Center, p);
  const double sweep = NormalizeAngle360(s.EndAngle - s.StartAngle);
  return NormalizeAngle360(a - s.StartAngle) <= sweep + 1e-9 || sweep == 0.0;
}

bool IsRound(const TPickedShape& s) {
  return s.Kind == TPickedShape::skCircle || s.Kind == TPickedShape::skArc;
}

TCircleEq CircleOf(const TPickedShape& s) {
  TCircleEq c;
  c.Center = s.Center;
  c.Radius = s.Radius;
  return c;
}

// Up to two candidate points of two shapes.
int Candidates(const TPickedShape& a, const TPickedShape& b, TRealPoint q[2]) {
  using K = TPickedShape;
  if (a.Kind == K::skLine && b.Kind == K::skLine) {
    TLineEq e1, e2;
    TLinePointDir f1, f2;
    TRealLine l1{a.P1, a.P2}, l2{b.P1, b.P2};
    BothLineEquations(a.P1, a.P2, e1, f1);
    BothLineEquations(b.P1, b.P2, e2, f2);
    uint8_t n = 0;
    Intersect(0, e1, e2, f1, f2, l1, l2, q[0], n);
    return GeoErrorCode == 0 ? n : 0;
  }
  if (a.Kind == K::skLine && IsRound(b)) {
    TLineEq e;
    TLinePointDir f;
    BothLineEquations(a.P1, a.P2, e, f);
    uint8_t n = 0;
    IntCircleLine(2, CircleOf(b), TRealLine{a.P1, a.P2}, f, q[0], q[1], n);
    return GeoErrorCode == 0 ? n : 0;
  }
  if (IsRound(a) && b.Kind == K::skLine) return Candidates(b, a, q);
  if (IsRound(a) && IsRound(b)) {
    TCircleEq c1 = CircleOf(a), c2 = CircleOf(b);
    uint8_t n = 0;
    IntCircles(0, c1, c2, q[0], q[1], n);
    return GeoErrorCode == 0 ? n : 0;
  }
  return 0;
}
}  // namespace

TPickedShape PickedShape(int32_t index) {
  TPickedShape s;
  TCadEntity* e = DB != nullptr ? DB->EntityAt(index) : nullptr;
  TEntitySlot* slot = DB != nullptr ? DB->SlotAt(index) : nullptr;
  if (e == nullptr || slot == nullptr || (slot->Flags & SlotDeletedBit) != 0) return s;
  switch (e->GetType()) {
    case etCadPoint: {
      auto* p = static_cast<TCadPoint*>(e);
      s.Kind = TPickedShape::skPoint;
      s.P1 = s.P2 = s.Center = {double(p->X), double(p->Y)};
      break;
    }
    case etCadLine: {
      auto* l = static_cast<TCadLine*>(e);
      s.Kind = TPickedShape::skLine;
      s.P1 = {double(l->X1), double(l->Y1)};
      s.P2 = {double(l->X2), double(l->Y2)};
      break;
    }
    case etCadArc: {
      auto* a = static_cast<TCadArc*>(e);
      s.Kind = TPickedShape::skArc;
      s.Center = {double(a->CX), double(a->CY)};
      s.P1 = {double(a->SX), double(a->SY)};
      s.P2 = {double(a->EX), double(a->EY)};
      s.Radius = (Distance(s.Center, s.P1) + Distance(s.Center, s.P2)) / 2.0;
      s.StartAngle = DirectionAngle(s.Center, s.P1);
      s.EndAngle = DirectionAngle(s.Center, s.P2);
      break;
    }
    case etCadCircle: {
      auto* c = static_cast<TCadCircle*>(e);
      s.Kind = TPickedShape::skCircle;
      s.Center = s.P1 = s.P2 = {double(c->CX), double(c->CY)};
      s.Radius = c->Radius;
      break;
    }
    default: break;
  }
  return s;
}

bool IntersectEntities(int32_t index1, int32_t index2, const TRealPoint& reference,
                       TRealPoint& point) {
  const TPickedShape a = PickedShape(index1), b = PickedShape(index2);
  TRealPoint q[2];
  const int n = Candidates(a, b, q);
  bool found = false;
  bool foundOnArcs = false;
  double best = 0.0;
  for (int i = 0; i < n; ++i) {
    const bool onArcs = OnArc(a, q[i]) && OnArc(b, q[i]);
    const double d = DistanceSqr(q[i], reference);
    // A point on the arcs themselves wins over one on their circles only.
    if (!found || (onArcs && !foundOnArcs) || (onArcs == foundOnArcs && d < best)) {
      point = q[i];
      best = d;
      found = true;
      foundOnArcs = onArcs;
    }
  }
  return found;
}

bool EvalPosEnd(const std::string& text, const TIntPoint& pointer, TIntPoint& point) {
  // The end nearer the pick (a circle's centre), of the entity in the
  // database the pick searched.
  TIntPoint farther;
  return OrderEntityEnds(text, pointer, point, farther);
}

bool EvalPosInter(const std::string& text, const TIntPoint& pointer, TIntPoint& point) {
  TRealPoint q;
  if (!IntersectEntities(GetCommandEntityRef(text, 1), GetCommandEntityRef(text, 2), Real(pointer),
                         q)) {
    InformationBox("The entities do not intersect.");
    return false;
  }
  point = Rounded(q);
  return true;
}

bool EvalPosMid(const std::string& text, TIntPoint& point) {
  TCadEntity* e = DB != nullptr ? DB->EntityAt(GetCommandEntityRef(text, 1)) : nullptr;
  if (e == nullptr) return false;
  e->MiddlePoint(point);
  return true;
}

bool EvalPosCtr(const std::string& text, TIntPoint& point) {
  TCadEntity* e = DB != nullptr ? DB->EntityAt(GetCommandEntityRef(text, 1)) : nullptr;
  if (e == nullptr) return false;
  e->GetCentre(point);
  return true;
}

bool EvalPerpPoint(const std::string& text, const TIntPoint* last, TIntPoint& point) {
  TCadEntity* e = DB != nullptr ? DB->EntityAt(GetCommandEntityRef(text, 1)) : nullptr;
  if (e == nullptr) return false;
  if (last == nullptr) {
    InformationBox("Perpendicular needs a point to start from.");
    return false;
  }
  e->PerpPoint(*last, point);
  return true;
}

bool EvalTangentPoint(const std::string& text, const TIntPoint* last, const TIntPoint& pointer,
                      TIntPoint& point) {
  const TPickedShape s = PickedShape(GetCommandEntityRef(text, 1));
  if (!IsRound(s)) {
    InformationBox("Tangent needs an arc or a circle.");
    return false;
  }
  if (last == nullptr) {
    InformationBox("Tangent needs a point to start from.");
    return false;
  }
  TRealLine t1, t2;
  int32_t n = 0;
  tanpntcircle(CircleOf(s), Real(*last), t1, t2, n);
  if (n == 0) {
    InformationBox("The point lies inside the circle: there is no tangent.");
    return false;
  }
  // Of the two tangents the one touching nearer the pick.
  const TRealPoint p = Real(pointer);
  const TRealPoint& touch = (n == 1 || DistanceSqr(t1.P2, p) <= DistanceSqr(t2.P2, p)) ? t1.P2 : t2.P2;
  point = Rounded(touch);
  return true;
}

bool ResolveParallelSnap(const std::string& text, const TIntPoint& pointer, TIntPoint& point) {
  const TPickedShape s = PickedShape(GetCommandEntityRef(text, 1));
  double offset = 0.0;
  if (s.Kind != TPickedShape::skLine || !GetCommandReal(text, 2, offset)) return false;
  offset *= UnitsPerDisplayUnit;
  const TRealPoint m = Real(pointer);
  const double dx = s.P2.X - s.P1.X, dy = s.P2.Y - s.P1.Y;
  const double len2 = dx * dx + dy * dy;
  if (len2 == 0.0) return false;
  const double t = ((m.X - s.P1.X) * dx + (m.Y - s.P1.Y) * dy) / len2;
  const TRealPoint foot{s.P1.X + t * dx, s.P1.Y + t * dy};
  double r = 0.0, angle = 0.0;
  RectToPolar(m.X - foot.X, m.Y - foot.Y, r, angle);
  if (r == 0.0) return false;
  double ox = 0.0, oy = 0.0;
  PolarToRect(offset, angle, ox, oy);
  point = Rounded({foot.X + ox, foot.Y + oy});
  return true;
}
