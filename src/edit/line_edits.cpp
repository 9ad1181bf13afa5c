// The Modify commands of the CAD mode: trim/extend, join/meet, fillet,
// chamfer and break. A picked line keeps the part on the side where it
// was picked; the other end moves to the construction point.
#include <algorithm>
#include <cmath>

#include "command/command_text.h"
#include "edit/cad_snaps.h"
#include "edit/edit_commands.h"
#include "foundation/display_units.h"
#include "foundation/geometry_lines.h"
#include "foundation/geometry_points.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/undo_journal.h"
#include "platform/message_box.h"

double FilletRadius = 0.0;
double ChamferDistanceA = 0.0;
double ChamferDistanceB = 0.0;

namespace {
// A picked entity with the point where it was picked (PICKAT: reference,
// X, Y).
struct TPickAt {
  int32_t Index = 0;
  TRealPoint At;
  TPickedShape Shape;
};

TPickAt PickArg(const std::string& text, int n) {
  TPickAt p;
  p.Index = GetCommandEntityRef(text, n);
  int32_t x = 0, y = 0;
  GetCommandInteger(text, n + 1, x);
  GetCommandInteger(text, n + 2, y);
  p.At = {double(x), double(y)};
  p.Shape = PickedShape(p.Index);
  return p;
}

TRealPoint Minus(const TRealPoint& a, const TRealPoint& b) { return {a.X - b.X, a.Y - b.Y}; }
double Dot(const TRealPoint& a, const TRealPoint& b) { return a.X * b.X + a.Y * b.Y; }
double Cross(const TRealPoint& a, const TRealPoint& b) { return a.X * b.Y - a.Y * b.X; }

// The end of the line that stays: the one on the pick's side of q (the
// farther one when both or neither are).
const TRealPoint& KeptEnd(const TPickAt& line, const TRealPoint& q) {
  const TRealPoint toPick = Minus(line.At, q);
  const bool first = Dot(Minus(line.Shape.P1, q), toPick) > 0;
  const bool second = Dot(Minus(line.Shape.P2, q), toPick) > 0;
  if (first != second) return first ? line.Shape.P1 : line.Shape.P2;
  return DistanceSqr(line.Shape.P1, q) >= DistanceSqr(line.Shape.P2, q) ? line.Shape.P1
                                                                         : line.Shape.P2;
}

void Replace(int32_t index, const TRealPoint& a, const TRealPoint& b) {
  TCadHandle handle(index);
  DB->ReplaceWithLine(&handle, a, b, true);
}

bool Step(const std::string& name) {
  if (ActiveUndo != nullptr) ActiveUndo->BeginOperation(name);
  return true;
}

bool TwoLines(const TPickAt& a, const TPickAt& b) {
  if (DB == nullptr || a.Shape.Kind != TPickedShape::skLine || b.Shape.Kind != TPickedShape::skLine ||
      a.Index == b.Index) {
    InformationBox("Pick two different lines.");
    return false;
  }
  return true;
}

bool Corner(const TPickAt& a, const TPickAt& b, TRealPoint& q) {
  if (!IntersectEntities(a.Index, b.Index, a.At, q)) {
    InformationBox("The lines are parallel.");
    return false;
  }
  return true;
}

TIntPoint Rounded(const TRealPoint& p) { return {SaturatingRound(p.X), SaturatingRound(p.Y)}; }

// The point of the shape's circle at the angle (degrees).
void PntAngleAt(const TPickedShape& s, double degrees, TRealPoint& p) {
  p = {s.Center.X + s.Radius * CosDeg(degrees), s.Center.Y + s.Radius * SinDeg(degrees)};
}
}  // namespace

// LINETRIM(boundary, line): the line is cut at or extended to the boundary.
bool ExecLineTrim(const std::string& text) {
  const TPickAt boundary = PickArg(text, 1), line = PickArg(text, 4);
  if (DB == nullptr || line.Shape.Kind != TPickedShape::skLine || boundary.Index == line.Index ||
      boundary.Shape.Kind == TPickedShape::skNone || boundary.Shape.Kind == TPickedShape::skPoint) {
    InformationBox("Pick the boundary, then the line to trim or extend.");
    return false;
  }
  TRealPoint q;
  if (!IntersectEntities(boundary.Index, line.Index, line.At, q)) {
    InformationBox("The line does not meet the boundary.");
    return false;
  }
  Replace(line.Index, KeptEnd(line, q), q);
  return Step("Trim Line");
}

bool ExecLineMeet(const std::string& text) {
  const TPickAt a = PickArg(text, 1), b = PickArg(text, 4);
  TRealPoint q;
  if (!TwoLines(a, b) || !Corner(a, b, q)) return false;
  Replace(a.Index, KeptEnd(a, q), q);
  Replace(b.Index, KeptEnd(b, q), q);
  return Step("Join Lines");
}

bool ExecLineFillet(const std::string& text) {
  const TPickAt a = PickArg(text, 1), b = PickArg(text, 4);
  TRealPoint q;
  if (!TwoLines(a, b) || !Corner(a, b, q)) return false;
  const TRealPoint ka = KeptEnd(a, q), kb = KeptEnd(b, q);
  if (FilletRadius <= 0.0) {
    Replace(a.Index, ka, q);
    Replace(b.Index, kb, q);
    return Step("Fillet Lines");
  }
  const double la = Distance(ka, q), lb = Distance(kb, q);
  if (la == 0.0 || lb == 0.0) return false;
  const TRealPoint ua{(ka.X - q.X) / la, (ka.Y - q.Y) / la};
  const TRealPoint ub{(kb.X - q.X) / lb, (kb.Y - q.Y) / lb};
  const double half = std::acos(std::clamp(Dot(ua, ub), -1.0, 1.0)) / 2.0;
  if (half < 1e-9 || std::fabs(half - M_PI / 2) < 1e-9) {
    InformationBox("The lines are parallel.");
    return false;
  }
  const double d = FilletRadius / std::tan(half);
  if (d > la || d > lb) {
    InformationBox("The fillet radius is too large for these lines.");
    return false;
  }
  const TRealPoint ta{q.X + ua.X * d, q.Y + ua.Y * d}, tb{q.X + ub.X * d, q.Y + ub.Y * d};
  TRealPoint bis{ua.X + ub.X, ua.Y + ub.Y};
  const double bl = std::hypot(bis.X, bis.Y);
  const double reach = FilletRadius / std::sin(half);
  const TRealPoint c{q.X + bis.X / bl * reach, q.Y + bis.Y / bl * reach};
  Replace(a.Index, ka, ta);
  Replace(b.Index, kb, tb);
  // Counter-clockwise from the one tangent point to the other.
  const bool ccw = Cross(Minus(ta, c), Minus(tb, c)) > 0;
  DB->AddArc(Rounded(ccw ? ta : tb), Rounded(ccw ? tb : ta), Rounded(c));
  return Step("Fillet Lines");
}

bool ExecLineChamfer(const std::string& text) {
  const TPickAt a = PickArg(text, 1), b = PickArg(text, 4);
  TRealPoint q;
  if (!TwoLines(a, b) || !Corner(a, b, q)) return false;
  const TRealPoint ka = KeptEnd(a, q), kb = KeptEnd(b, q);
  const double la = Distance(ka, q), lb = Distance(kb, q);
  if (ChamferDistanceA > la || ChamferDistanceB > lb) {
    InformationBox("The chamfer distances are too large for these lines.");
    return false;
  }
  const TRealPoint ta{q.X + (ka.X - q.X) / la * ChamferDistanceA,
                      q.Y + (ka.Y - q.Y) / la * ChamferDistanceA};
  const TRealPoint tb{q.X + (kb.X - q.X) / lb * ChamferDistanceB,
                      q.Y + (kb.Y - q.Y) / lb * ChamferDistanceB};
  Replace(a.Index, ka, ta);
  Replace(b.Index, kb, tb);
  if (!(Rounded(ta) == Rounded(tb))) {
    const TIntPoint p = Rounded(ta), r = Rounded(tb);
    DB->AddLine(p.X, p.Y, r.X, r.Y);
  }
  return Step("Chamfer Lines");
}

std::string BuildBreakCommand(int32_t index) {
  const TPickedShape s = PickedShape(index);
  const std::string ref = EntityRefText(index);
  auto whole = [](double v) { return std::to_string(SaturatingRound(v)); };
  auto point = [&whole](const TRealPoint& p) { return whole(p.X) + "," + whole(p.Y); };
  switch (s.Kind) {
    case TPickedShape::skLine: {
      TLineEq e;
      TLinePointDir f;
      if (!PointsEqualTol(s.P1, s.P2)) LineEquation(0, s.P1, s.P2, e, f);
      return "BREAKLI(" + ref + "," + RealToStr(e.A) + "," + RealToStr(e.B) + "," + RealToStr(e.C) + "," +
             point(s.P1) + "," + point(s.P2) + ",CLICK,CLICK)";
    }
    case TPickedShape::skArc: {
      const double r = (Distance(s.Center, s.P1) + Distance(s.Center, s.P2)) / 2.0;
      return "BREAKA2(" + ref + "," + point(s.P1) + "," + point(s.P2) + "," + point(s.Center) + "," +
             RealToStr(r) + ",CLICK,CLICK)";
    }
    case TPickedShape::skCircle:
      return "BREAKC2(" + ref + "," + point(s.Center) + "," + whole(s.Radius) + ",CLICK,CLICK)";
    default:
      return "";
  }
}

// BREAKLI, BREAKA2 or BREAKC2 (the entity, what it is, the first and the
// second break point): the part between the two points is taken out (of a
// circle: counter-clockwise from the first to the second).
bool ExecBreak(const std::string& text) {
  const int32_t index = GetCommandEntityRef(text, 1);
  const TPickedShape s = PickedShape(index);
  // The break points follow what the text says of the entity.
  const std::string word = CommandWord(text);
  const int at = word == "BREAKLI" || word == "BREAKA2" ? 9 : word == "BREAKC2" ? 5 : 2;
  const TIntPoint b1 = GetCommandPoint(text, at), b2 = GetCommandPoint(text, at + 2);
  const TRealPoint p1{double(b1.X), double(b1.Y)}, p2{double(b2.X), double(b2.Y)};
  TCadHandle handle(index);
  switch (s.Kind) {
    case TPickedShape::skLine: {
      const TRealPoint d = Minus(s.P2, s.P1);
      const double len2 = Dot(d, d);
      if (len2 == 0.0) return false;
      double t1 = std::clamp(Dot(Minus(p1, s.P1), d) / len2, 0.0, 1.0);
      double t2 = std::clamp(Dot(Minus(p2, s.P1), d) / len2, 0.0, 1.0);
      if (t1 > t2) std::swap(t1, t2);
      const TRealPoint b1{s.P1.X + d.X * t1, s.P1.Y + d.Y * t1};
      const TRealPoint b2{s.P1.X + d.X * t2, s.P1.Y + d.Y * t2};
      if (t1 > 0.0) {
        DB->ReplaceWithLine(&handle, s.P1, b1, true);
        if (t2 < 1.0) {
          const TIntPoint a = Rounded(b2), e = Rounded(s.P2);
          DB->AddLine(a.X, a.Y, e.X, e.Y);
        }
      } else if (t2 < 1.0) {
        DB->ReplaceWithLine(&handle, b2, s.P2, true);
      } else {
        return false;
      }
      return Step("Break");
    }
    case TPickedShape::skCircle: {
      const double a1 = DirectionAngle(s.Center, p1), a2 = DirectionAngle(s.Center, p2);
      if (a1 == a2) return false;
      TRealPoint from, to;
      PntAngleAt(s, a2, from);
      PntAngleAt(s, a1, to);
      DB->ReplaceEntity(&handle, true, s.Center, from, to);
      return Step("Break");
    }
    case TPickedShape::skArc: {
      const double sweep = NormalizeAngle360(s.EndAngle - s.StartAngle);
      double u1 = NormalizeAngle360(DirectionAngle(s.Center, p1) - s.StartAngle);
      double u2 = NormalizeAngle360(DirectionAngle(s.Center, p2) - s.StartAngle);
      if (u1 > u2) std::swap(u1, u2);
      u1 = std::min(u1, sweep);
      u2 = std::min(u2, sweep);
      TRealPoint b1, b2;
      PntAngleAt(s, s.StartAngle + u1, b1);
      PntAngleAt(s, s.StartAngle + u2, b2);
      if (u1 > 0.0) {
        DB->ReplaceEntity(&handle, true, s.Center, s.P1, b1);
        if (u2 < sweep) DB->AddArc(Rounded(b2), Rounded(s.P2), Rounded(s.Center));
      } else if (u2 < sweep) {
        DB->ReplaceEntity(&handle, true, s.Center, b2, s.P2);
      } else {
        return false;
      }
      return Step("Break");
    }
    default:
      return false;
  }
}
