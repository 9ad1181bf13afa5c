#include "edit/cad_constructions.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "command/command_text.h"
#include "edit/cad_snaps.h"
#include "foundation/display_units.h"
#include "foundation/geometry_intersect.h"
#include "foundation/geometry_points.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/editor_state.h"
#include "model/rout_database.h"
#include "platform/message_box.h"

namespace {

TRealPoint Real(const TIntPoint& p) { return {double(p.X), double(p.Y)}; }
TIntPoint Rounded(const TRealPoint& p) { return {SaturatingRound(p.X), SaturatingRound(p.Y)}; }

bool IsRound(const TPickedShape& s) {
  return s.Kind == TPickedShape::skCircle || s.Kind == TPickedShape::skArc;
}

// The values between "[" and "]" of a token that starts with the prefix.
bool TokenValues(const std::string& token, const std::string& prefix, std::vector<double>& values) {
  values.clear();
  if (token.compare(0, prefix.size(), prefix) != 0) return false;
  const size_t open = token.find('[');
  if (open == std::string::npos) return false;
  const size_t close = token.find(']', open);
  const std::string body = token.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
  size_t at = 0;
  while (at <= body.size()) {
    const size_t comma = std::min(body.find(',', at), body.size());
    const std::string item = body.substr(at, comma - at);
    char* end = nullptr;
    const double v = std::strtod(item.c_str(), &end);
    if (item.empty() || end == item.c_str() || *end != '\0' || !std::isfinite(v)) return false;
    values.push_back(v);
    at = comma + 1;
  }
  return true;
}

// The point of the line through p and q nearest to m.
TRealPoint Foot(const TRealPoint& p, const TRealPoint& q, const TRealPoint& m) {
  const double dx = q.X - p.X, dy = q.Y - p.Y;
  const double len2 = dx * dx + dy * dy;
  if (len2 == 0.0) return p;
  const double t = ((m.X - p.X) * dx + (m.Y - p.Y) * dy) / len2;
  return {p.X + t * dx, p.Y + t * dy};
}

// The arc or circle of a snap text's argument 1 as centre and radius.
bool CircleOfSnap(const std::string& text, TCircleEq& circle) {
  const TPickedShape s = PickedShape(GetCommandEntityRef(text, 1));
  if (!IsRound(s)) return false;
  circle.Center = s.Center;
  circle.Radius = s.Radius;
  return true;
}

bool SnapIs(const std::string& text, const char* word) {
  return CommandWord(text) == word;
}

// The tangent from a point to the token's circle, touching nearer its pick.
bool TangentFrom(const std::vector<double>& v, const TIntPoint& from, TIntPoint& touch) {
  TCircleEq c;
  c.Center = {v[0], v[1]};
  c.Radius = v[2];
  TRealLine t1, t2;
  int32_t n = 0;
  tanpntcircle(c, Real(from), t1, t2, n);
  if (n == 0) {
    InformationBox("The point lies inside the circle: there is no tangent.");
    return false;
  }
  const TRealPoint pick{v[3], v[4]};
  touch = Rounded(n == 1 || DistanceSqr(t1.P2, pick) <= DistanceSqr(t2.P2, pick) ? t1.P2 : t2.P2);
  return true;
}

// The parallel to the picked line of a Snap Parallel that touches the
// token's circle on the side of its pick; the second point lies on it at
// the pointer's foot (or the snap's distance along it).
bool ParallelTangent(const std::vector<double>& v, const std::string& snap, const TIntPoint& pointer,
                     TIntPoint& first, TIntPoint& second) {
  const TPickedShape line = PickedShape(GetCommandEntityRef(snap, 1));
  if (line.Kind != TPickedShape::skLine) return false;
  const double dx = line.P2.X - line.P1.X, dy = line.P2.Y - line.P1.Y;
  const double length = std::hypot(dx, dy);
  if (length == 0.0) return false;
  const TRealPoint u{dx / length, dy / length}, n{-u.Y, u.X};
  const TRealPoint centre{v[0], v[1]}, pick{v[3], v[4]};
  const double side = (pick.X - centre.X) * n.X + (pick.Y - centre.Y) * n.Y < 0.0 ? -1.0 : 1.0;
  const TRealPoint touch{centre.X + side * v[2] * n.X, centre.Y + side * v[2] * n.Y};
  const TRealPoint m = Real(pointer);
  double along = (m.X - touch.X) * u.X + (m.Y - touch.Y) * u.Y;
  if (std::fabs(along) < 1.0) {
    double distance = 0.0;
    GetCommandReal(snap, 2, distance);
    along = distance * UnitsPerDisplayUnit;
  }
  first = Rounded(touch);
  second = Rounded({touch.X + along * u.X, touch.Y + along * u.Y});
  return first != second;
}

// The line that touches the circle (on the side of pick) and stands at right
// angles to the other entity: across a line, or through the centre of an arc
// or a circle. touch lies on the circle, foot on the other entity; false
// when there is none (the user is told why).
bool TangentPerpendicular(const TCircleEq& circle, const TRealPoint& pick, const TPickedShape& other,
                          TIntPoint& touch, TIntPoint& foot) {
  if (other.Kind == TPickedShape::skLine) {
    const double dx = other.P2.X - other.P1.X, dy = other.P2.Y - other.P1.Y;
    const double length = std::hypot(dx, dy);
    if (length > 0.0) {
      // The radius to the touching point runs along the line.
      const TRealPoint u{dx / length * circle.Radius, dy / length * circle.Radius};
      const TRealPoint t1{circle.Center.X + u.X, circle.Center.Y + u.Y};
      const TRealPoint t2{circle.Center.X - u.X, circle.Center.Y - u.Y};
      const TRealPoint t = DistanceSqr(t1, pick) <= DistanceSqr(t2, pick) ? t1 : t2;
      touch = Rounded(t);
      foot = Rounded(Foot(other.P1, other.P2, t));
      if (touch != foot) return true;
    }
    InformationBox("The line touches the circle: there is no perpendicular.");
    return false;
  }
  if (IsRound(other)) {
    TRealLine t1, t2;
    int32_t n = 0;
    if (Distance(other.Center, circle.Center) > circle.Radius)
      tanpntcircle(circle, other.Center, t1, t2, n);
    if (n == 0) {
      InformationBox("The centre lies inside the circle: there is no tangent through it.");
      return false;
    }
    const TRealPoint t = n == 1 || DistanceSqr(t1.P2, pick) <= DistanceSqr(t2.P2, pick) ? t1.P2 : t2.P2;
    const double d = Distance(other.Center, t);
    touch = Rounded(t);
    foot = Rounded({other.Center.X + (t.X - other.Center.X) / d * other.Radius,
                    other.Center.Y + (t.Y - other.Center.Y) / d * other.Radius});
    return true;
  }
  InformationBox("Perpendicular needs a line, an arc or a circle.");
  return false;
}

}  // namespace

std::string GetPerpDefString(int32_t index, bool tangent) {
  const TPickedShape s = PickedShape(index);
  auto n = [](double v) { return RealToStr(double(SaturatingRound(v))); };
  if (s.Kind == TPickedShape::skLine && !tangent)
    return "PRPLIN[" + n(s.P1.X) + "," + n(s.P1.Y) + "," + n(s.P2.X) + "," + n(s.P2.Y);
  if (IsRound(s))
    return std::string(tangent ? "TNCIR[" : "PRPCIR[") + n(s.Center.X) + "," + n(s.Center.Y) + "," +
           RealToStr(s.Radius);
  return "";
}

std::string BuildPerpDefText(int32_t index, double x, double y, bool tangent) {
  const std::string def = GetPerpDefString(index, tangent);
  if (def.empty()) return "";
  return def + "," + RealToStr(x) + "," + RealToStr(y) + "]";
}

bool ParseTnCirToken(const std::string& token, int32_t& cx, int32_t& cy, double& radius, int32_t& px,
                     int32_t& py) {
  std::vector<double> v;
  if (!TokenValues(token, "TNCIR", v) || v.size() < 5) return false;
  auto whole = [](double d) { return SaturatingRound(std::trunc(d)); };
  cx = whole(v[0]);
  cy = whole(v[1]);
  radius = v[2];
  px = whole(v[3]);
  py = whole(v[4]);
  return true;
}

bool GetPickedRadius(const std::string& text, double& radius, TIntPoint& point) {
  const TPickedShape s = PickedShape(GetCommandEntityRef(text, 1));
  if (s.Kind == TPickedShape::skArc) {
    radius = Distance(s.P1, s.Center);
    point = Rounded(s.P1);
    return true;
  }
  if (s.Kind == TPickedShape::skCircle) {
    radius = s.Radius;
    point = Rounded(s.Center);
    return true;
  }
  return false;
}

std::string ResolveTnCirSnap(const std::string& token, const std::string& text, int32_t mouseX,
                             int32_t mouseY) {
  std::vector<double> v;
  if (token.empty() || !TokenValues(token, "TNCIR", v) || v.size() < 5) return "";
  TCircleEq first;
  first.Center = {v[0], v[1]};
  first.Radius = v[2];
  TCircleEq second;
  if (!CircleOfSnap(text, second) || PointsEqualTol(first.Center, second.Center)) return "";
  TRealLine lines[4];
  int32_t n = 0;
  TangentLinesTwoCircles(first, second, n, lines[0], lines[1], lines[2], lines[3]);
  if (n == 3) n = 2;
  if (n <= 0) return "";
  const TRealPoint pick{v[3], v[4]};
  for (int i = 0; i < n; ++i) {
    // The first end on the token's circle.
    TRealLine& l = lines[i];
    if (std::fabs(Distance(l.P2, first.Center) - first.Radius) <
        std::fabs(Distance(l.P1, first.Center) - first.Radius))
      std::swap(l.P1, l.P2);
  }
  std::stable_sort(lines, lines + n, [&](const TRealLine& a, const TRealLine& b) {
    return Distance(a.P1, pick) < Distance(b.P1, pick);
  });
  const int kept = std::max(1, n / 2);
  const TRealPoint mouse{double(mouseX), double(mouseY)};
  const TRealLine* chosen = &lines[0];
  if (kept == 2 && DistanceSqr(lines[1].P2, mouse) < DistanceSqr(lines[0].P2, mouse)) chosen = &lines[1];
  const TIntPoint a = Rounded(chosen->P1), b = Rounded(chosen->P2);
  return std::to_string(a.X) + "," + std::to_string(a.Y) + "," + std::to_string(b.X) + "," +
         std::to_string(b.Y);
}

bool ResolvePrl(const std::string& text, TIntPoint& point) {
  std::vector<double> v;
  if (!TokenValues(text, "PRL", v) || v.size() < 4 || (v[2] == 0.0 && v[3] == 0.0)) return false;
  const TRealPoint p{v[0], v[1]};
  point = Rounded(Foot(p, {p.X + v[2], p.Y + v[3]}, Real(point)));
  return true;
}

bool BuildParallelToken(const std::string& text, const TIntPoint& pointer, std::string& token,
                        TIntPoint& point) {
  const TPickedShape s = PickedShape(GetCommandEntityRef(text, 1));
  if (s.Kind != TPickedShape::skLine || !ResolveParallelSnap(text, pointer, point)) return false;
  const int32_t dx = SaturatingRound(s.P2.X - s.P1.X), dy = SaturatingRound(s.P2.Y - s.P1.Y);
  if (dx == 0 && dy == 0) return false;
  token = "PRL[" + std::to_string(point.X) + "," + std::to_string(point.Y) + "," + std::to_string(dx) + "," +
          std::to_string(dy) + "]";
  return true;
}

bool ResolveParallelPoint(const std::string& token, const TIntPoint& given, TIntPoint& point) {
  point = given;
  return ResolvePrl(token, point);
}

TConstructionResult ResolveConstruction(const std::string& token, const std::string& nextSnap,
                                        const TIntPoint* next, const TIntPoint& pointer, TIntPoint& first,
                                        TIntPoint& second) {
  auto result = [](bool built) { return built ? crSettled : crRefused; };
  std::vector<double> v;
  int32_t cx = 0, cy = 0, px = 0, py = 0;
  double radius = 0.0;
  if (ParseTnCirToken(token, cx, cy, radius, px, py)) {
    v = {double(cx), double(cy), radius, double(px), double(py)};
    const TRealPoint pick{v[3], v[4]};
    TCircleEq circle;
    circle.Center = {v[0], v[1]};
    circle.Radius = v[2];
    if (next == nullptr) {
      if (SnapIs(nextSnap, "POSTAN1")) {
        double otherRadius = 0.0;
        TIntPoint otherPoint;
        if (!GetPickedRadius(nextSnap, otherRadius, otherPoint)) {
          InformationBox("Tangent needs an arc or a circle.");
          return crRefused;
        }
        const std::string pair = ResolveTnCirSnap(token, nextSnap, pointer.X, pointer.Y);
        if (pair.empty()) {
          InformationBox("No line touches both circles.");
          return crRefused;
        }
        const std::string text = "P(" + pair + ")";
        first = GetCommandPoint(text, 1);
        second = GetCommandPoint(text, 3);
        return crSettled;
      }
      if (SnapIs(nextSnap, "POSPERP2"))
        return result(TangentPerpendicular(circle, pick, PickedShape(GetCommandEntityRef(nextSnap, 1)), first,
                                           second));
      if (SnapIs(nextSnap, "POSPAR1") && ParallelTangent(v, nextSnap, pointer, first, second)) return crSettled;
      return crOther;
    }
    second = *next;
    return result(TangentFrom(v, *next, first));
  }
  // A tangent after a perpendicular: the same line, from the other end.
  const bool acrossLine = TokenValues(token, "PRPLIN", v) && v.size() >= 6;
  if (next == nullptr && SnapIs(nextSnap, "POSTAN1") &&
      (acrossLine || (TokenValues(token, "PRPCIR", v) && v.size() >= 5))) {
    TCircleEq circle;
    if (!CircleOfSnap(nextSnap, circle)) {
      InformationBox("Tangent needs an arc or a circle.");
      return crRefused;
    }
    TPickedShape other;
    if (acrossLine) {
      other.Kind = TPickedShape::skLine;
      other.P1 = {v[0], v[1]};
      other.P2 = {v[2], v[3]};
    } else {
      other.Kind = TPickedShape::skCircle;
      other.Center = {v[0], v[1]};
      other.Radius = v[2];
    }
    return result(TangentPerpendicular(circle, Real(pointer), other, second, first));
  }
  if (next == nullptr) return crOther;
  if (acrossLine) {
    first = Rounded(Foot({v[0], v[1]}, {v[2], v[3]}, Real(*next)));
    second = *next;
    return crSettled;
  }
  if (TokenValues(token, "PRPCIR", v) && v.size() >= 5) {
    const double dx = next->X - v[0], dy = next->Y - v[1], d = std::hypot(dx, dy);
    if (d == 0.0) {
      InformationBox("Perpendicular needs a point to start from.");
      return crRefused;
    }
    first = Rounded({v[0] + dx / d * v[2], v[1] + dy / d * v[2]});
    second = *next;
    return crSettled;
  }
  if (TokenValues(token, "PRL", v) && v.size() >= 4) {
    first = Rounded({v[0], v[1]});
    return result(ResolveParallelPoint(token, *next, second));
  }
  return crOther;
}

bool OrderEntityEnds(const std::string& text, const TIntPoint& reference, TIntPoint& first,
                     TIntPoint& second) {
  const int32_t index = GetCommandEntityRef(text, 1);
  TRootDBObject* e = nullptr;
  switch (EditorMode) {
    case emDrill: e = DRDB != nullptr ? DRDB->EntityAt(index) : nullptr; break;
    case emRout: e = RTDB != nullptr ? RTDB->EntityAt(index) : nullptr; break;
    default: e = DB != nullptr ? DB->EntityAt(index) : nullptr; break;
  }
  if (e == nullptr) return false;
  const uint8_t type = e->GetType();
  // A rout command (11) has no ends.
  if (type == 11) return false;
  e->GetPoint(first);
  second = first;
  const bool twoPoint = type == 2 || type == 3 || type == 6 || type == 7 || type == 8 || type == 13 || type == 15;
  if (twoPoint) e->GetSecondPoint(second);
  if (DistanceSqr(Real(second), Real(reference)) < DistanceSqr(Real(first), Real(reference)))
    std::swap(first, second);
  return true;
}

double GetEntityAngle(const std::string& text) {
  TCadEntity* e = DB != nullptr ? DB->EntityAt(GetCommandEntityRef(text, 1)) : nullptr;
  if (e == nullptr) return 0.0;
  const double angle = e->Angle();
  return angle >= 180.0 ? angle - 180.0 : angle;
}

bool GetEntityMidPointAndAngle(const std::string& text, TIntPoint& point, double& angle) {
  if (!EvalPosMid(text, point)) return false;
  angle = GetEntityAngle(text);
  return true;
}

bool SubstituteMidPoint(std::string& text, size_t limit, const std::string& queued) {
  TIntPoint mid;
  const size_t at = text.rfind('R');
  if (at == std::string::npos || !EvalPosMid(queued, mid)) return false;
  const std::string replaced =
      text.substr(0, at) + std::to_string(mid.X) + "," + std::to_string(mid.Y) + text.substr(at + 1);
  if (replaced.size() > limit) return false;
  text = replaced;
  return true;
}
