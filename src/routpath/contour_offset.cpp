#include "routpath/contour_offset.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "foundation/geometry.h"
#include "platform/message_box.h"


namespace {

using TElement = TContourElement;

bool IsArc(uint8_t kind) { return kind == ckArcCW || kind == ckArcCCW; }

uint8_t SwapKind(uint8_t kind) {
  if (kind == ckArcCW) return ckArcCCW;
  if (kind == ckArcCCW) return ckArcCW;
  return kind;
}

double Direction(double dx, double dy) {
  double r, a;
  RectToPolar(dx, dy, r, a);
  return a;
}

double StartDir(const TElement& e) {
  if (e.Kind == ckArcCW) return NormalizeAngle360(Direction(e.X1 - e.CX, e.Y1 - e.CY) - 90.0);
  if (e.Kind == ckArcCCW) return NormalizeAngle360(Direction(e.X1 - e.CX, e.Y1 - e.CY) + 90.0);
  return NormalizeAngle360(Direction(e.X2 - e.X1, e.Y2 - e.Y1));
}

double EndDir(const TElement& e) {
  if (e.Kind == ckArcCW) return NormalizeAngle360(Direction(e.X2 - e.CX, e.Y2 - e.CY) - 90.0);
  if (e.Kind == ckArcCCW) return NormalizeAngle360(Direction(e.X2 - e.CX, e.Y2 - e.CY) + 90.0);
  return NormalizeAngle360(Direction(e.X2 - e.X1, e.Y2 - e.Y1));
}

bool Degenerate(const TElement& e) { return e.X1 == e.X2 && e.Y1 == e.Y2; }

// A rotation about the origin, exact for quarter turns.
struct TRotation {
  double C = 1.0, S = 0.0;
  explicit TRotation(double angle) {
    const double a = NormalizeAngle360(angle);
    if (a == 0.0) return;
    if (a == 90.0) {
      C = 0.0;
      S = 1.0;
    } else if (a == 180.0) {
      C = -1.0;
    } else if (a == 270.0) {
      C = 0.0;
      S = -1.0;
    } else {
      C = CosDeg(a);
      S = SinDeg(a);
    }
  }
  void Apply(double& x, double& y) const {
    const double nx = x * C - y * S;
    y = x * S + y * C;
    x = nx;
  }
  void Apply(TElement* e, int n) const {
    for (int i = 0; i < n; ++i) {
      Apply(e[i].X1, e[i].Y1);
      Apply(e[i].X2, e[i].Y2);
      Apply(e[i].CX, e[i].CY);
    }
  }
};

void Translate(TElement* e, int n, double dx, double dy) {
  for (int i = 0; i < n; ++i) {
    e[i].X1 += dx;
    e[i].X2 += dx;
    e[i].CX += dx;
    e[i].Y1 += dy;
    e[i].Y2 += dy;
    e[i].CY += dy;
  }
}

// Reverses the order, each element's direction and the arc kinds.
void Reverse(TElement* e, int n) {
  std::reverse(e, e + n);
  for (int i = 0; i < n; ++i) {
    std::swap(e[i].X1, e[i].X2);
    std::swap(e[i].Y1, e[i].Y2);
    e[i].Kind = SwapKind(e[i].Kind);
  }
}

double Limit(double v) { return std::clamp(v, -CoordinateLimit, CoordinateLimit); }

TElement Line(double x1, double y1, double x2, double y2, uint8_t source) {
  TElement e;
  e.Kind = ckLine;
  e.X1 = x1;
  e.Y1 = y1;
  e.X2 = x2;
  e.Y2 = y2;
  e.Source = source;
  return e;
}

TElement CornerArc(double x1, double y1, double x2, double y2) {
  TElement e = Line(x1, y1, x2, y2, 0);
  e.Kind = ckArcCCW;
  return e;
}

// Chooses between rounding (true) and cutting the corner sharp (false).
bool RoundCorner(uint8_t k1, uint8_t k2, double b) {
  if (k1 == ckLine && k2 == ckLine) return b > 90.1 && b <= 180.0;
  const bool line = k1 == ckLine || k2 == ckLine;
  if (line && (k1 == ckArcCW || k2 == ckArcCW)) return !(b > 180.0 || b < 0.1);
  if (line) return b < 180.0;
  if (k1 == ckArcCCW && k2 == ckArcCCW) return !(b >= 180.0 || b < 0.1);
  return !(b > 180.0 || b <= 0.1);
}

// The point where the offset line meets the offset circle of the arc, nearer
// the corner (the origin); a near miss within tolerance touches the circle
// at its point nearest the line. arc arrives at or leaves the corner.
bool LineArcMeet(const TElement& arc, const TElement& line, double r, double ra,
                 double tolerance, double& px, double& py) {
  const double rho = std::fabs(arc.Kind == ckArcCW ? ra - r : ra + r);
  const double dx = line.X2 - line.X1, dy = line.Y2 - line.Y1;
  const double len = std::hypot(dx, dy);
  if (len == 0.0) return false;
  const double ux = dx / len, uy = dy / len;
  // The offset line: right of travel by r.
  const double lx = line.X1 + uy * r, ly = line.Y1 - ux * r;
  const double t = (arc.CX - lx) * ux + (arc.CY - ly) * uy;
  const double fx = lx + t * ux, fy = ly + t * uy;
  const double d = std::hypot(fx - arc.CX, fy - arc.CY);
  double rad = rho * rho - d * d;
  if (rad < 0.0 && rad >= -Epsilon) rad = 0.0;
  if (rad >= 0.0) {
    const double h = std::sqrt(rad);
    const double x1 = fx + h * ux, y1 = fy + h * uy, x2 = fx - h * ux, y2 = fy - h * uy;
    if (x1 * x1 + y1 * y1 <= x2 * x2 + y2 * y2) {
      px = x1;
      py = y1;
    } else {
      px = x2;
      py = y2;
    }
    return true;
  }
  if (std::fabs(d - rho) <= tolerance && d > 0.0) {
    px = arc.CX + (fx - arc.CX) * rho / d;
    py = arc.CY + (fy - arc.CY) * rho / d;
    return true;
  }
  return false;
}

// Sharp corner of the pair in the corner frame (element 1 arrives at the
// origin along +X); the offset is to the right.
int SharpCorner(TElement* e, double r, double b, double resolution) {
  double px, py;
  if (e[0].Kind == ckLine && e[1].Kind == ckLine) {
    const double h = (b - 180.0) / 2.0;
    double xc = b > 270.0 ? -r * TanDeg(90.0 - h) : -r / TanDeg(h);
    if (std::fabs(xc) > CoordinateLimit) xc = std::copysign(std::trunc(CoordinateLimit), xc);
    px = xc;
    py = -r;
  } else if (IsArc(e[0].Kind) && IsArc(e[1].Kind)) {
    const double d1 = e[0].Kind == ckArcCW ? -r : r;
    const double d2 = e[1].Kind == ckArcCW ? -r : r;
    const double ra1 = std::hypot(e[0].X1 - e[0].CX, e[0].Y1 - e[0].CY);
    const double ra2 = std::hypot(e[1].X1 - e[1].CX, e[1].Y1 - e[1].CY);
    const double r1 = ra1 + d1, r2 = ra2 + d2;
    const bool same = e[0].Kind == e[1].Kind;
    const double cdx = e[1].CX - e[0].CX, cdy = e[1].CY - e[0].CY;
    const double dc = std::hypot(cdx, cdy);
    // Where both offset elements would end without a corner: (0, -r) for
    // the first, to the right of the second's start direction for the
    // second.
    const double b2 = (b - 90.0) * M_PI / 180.0;
    const double sx = r * std::cos(b2), sy = r * std::sin(b2);
    if (dc / resolution <= 2.0) {
      px = 0.0;
      py = same ? -std::fabs(d1) : std::fabs(d1);
    } else if (r1 + r2 > dc) {
      const double a = (dc * dc + r1 * r1 - r2 * r2) / (2.0 * dc);
      double rad = (r1 / dc) * (r1 / dc) - (a / dc) * (a / dc);
      if (rad < 0.0 && rad >= -Epsilon) rad = 0.0;
      if (rad >= 0.0) {
        const double h = dc * std::sqrt(rad);
        const double ux = cdx / dc, uy = cdy / dc;
        const double bx = e[0].CX + a * ux, by = e[0].CY + a * uy;
        const double x1 = bx - h * uy, y1 = by + h * ux, x2 = bx + h * uy, y2 = by - h * ux;
        // The crossing nearer where the first element's offset ends.
        if (x1 * x1 + (y1 + r) * (y1 + r) <= x2 * x2 + (y2 + r) * (y2 + r)) {
          px = x1;
          py = y1;
        } else {
          px = x2;
          py = y2;
        }
      } else {
        // One offset circle inside the other: meet between the two ends.
        px = sx / 2.0;
        py = (sy - r) / 2.0;
      }
    } else {
      px = 0.0;
      py = -std::fabs(d1);
    }
  } else {
    const bool arcFirst = IsArc(e[0].Kind);
    TElement pair[2] = {e[0], e[1]};
    if (!arcFirst) {
      // Mirror in the X axis and reverse: the arc arrives, the line leaves,
      // and the offset stays on the right.
      for (TElement& x : pair) {
        x.Y1 = -x.Y1;
        x.Y2 = -x.Y2;
        x.CY = -x.CY;
        x.Kind = SwapKind(x.Kind);
      }
      Reverse(pair, 2);
    }
    const TElement& arc = pair[0];
    // The arc's radius at its end away from the corner.
    const double ra = std::hypot(arc.X1 - arc.CX, arc.Y1 - arc.CY);
    if (!LineArcMeet(arc, pair[1], r, ra, 2.6 * resolution, px, py)) return 2;
    if (!arcFirst) py = -py;
  }
  px = Limit(px);
  py = Limit(py);
  e[0].X2 = e[1].X1 = px;
  e[0].Y2 = e[1].Y1 = py;
  return 2;
}

// The corner of the pair translated to the origin, offset to the right.
int CornerStep(TElement* e, double r, double resolution) {
  if (Degenerate(e[0])) {
    const double a = StartDir(e[1]);
    TRotation(-a).Apply(e, 2);
    TElement second = e[1];
    second.X1 = 0.0;
    second.Y1 = -r;
    e[0] = Line(0.0, 0.0, 0.0, -r, 0);
    e[1] = second;
    TRotation(a).Apply(e, 2);
    return 2;
  }
  const double a = EndDir(e[0]);
  TRotation(-a).Apply(e, 2);
  int n = 2;
  if (Degenerate(e[1])) {
    e[0].X2 = 0.0;
    e[0].Y2 = -r;
    e[1] = Line(0.0, -r, 0.0, 0.0, 1);
  } else {
    const double b = StartDir(e[1]);
    if (RoundCorner(e[0].Kind, e[1].Kind, b)) {
      const double px = r * SinDeg(b), py = -r * CosDeg(b);
      TElement second = e[1];
      e[0].X2 = 0.0;
      e[0].Y2 = -r;
      if (b < 0.1) {
        second.X1 = 0.0;
        second.Y1 = -r;
        e[1] = second;
      } else if (b <= 90.0) {
        second.X1 = px;
        second.Y1 = py;
        e[1] = CornerArc(0.0, -r, px, py);
        e[2] = second;
        n = 3;
      } else {
        second.X1 = px;
        second.Y1 = py;
        e[1] = CornerArc(0.0, -r, r, 0.0);
        e[2] = CornerArc(r, 0.0, px, py);
        e[3] = second;
        n = 4;
      }
    } else {
      n = SharpCorner(e, r, b, resolution);
    }
  }
  TRotation(a).Apply(e, n);
  return n;
}

}  // namespace

int OffsetContour(TContourElement out[4], const TContourElement in[2], double radius, bool right,
                  double resolution) {
  out[0] = in[0];
  out[1] = in[1];
  out[0].Source = 0;
  out[1].Source = 1;
  if (ArcAdjustDisabled) return 2;
  TEpsilonGuard epsilon(2.0e-5 * resolution);
  if (!right) Reverse(out, 2);
  const double kx = out[0].X2, ky = out[0].Y2;
  Translate(out, 2, -kx, -ky);
  int n = CornerStep(out, radius, resolution);
  Translate(out, n, kx, ky);
  if (!right) Reverse(out, n);
  // The first element derives from element 1, the last (element 2 or the
  // lead-out line) from element 2, the inserted ones from element 1.
  for (int i = 0; i < n; ++i) out[i].Source = i == n - 1 ? 1 : 0;
  for (int i = n - 2; i >= 1; --i) {
    if (std::fabs(out[i].X1 - out[i].X2) < 2.0 && std::fabs(out[i].Y1 - out[i].Y2) < 2.0) {
      for (int j = i; j < n - 1; ++j) out[j] = out[j + 1];
      --n;
    }
  }
  return n;
}

// ---- TContourList -------------------------------------------------------------------

void TContourList::Clear() {
  Nodes_.clear();
  Closed_ = false;
  Repeated_ = 0;
}

void TContourList::Start(int32_t x, int32_t y) {
  Clear();
  Nodes_.push_back(TContourNode{x, y, 0, 0, 0, 0});
}

void TContourList::Append(uint8_t kind, int32_t x, int32_t y, int32_t tag, int32_t cx,
                          int32_t cy) {
  if (Nodes_.empty()) return;
  Nodes_.push_back(TContourNode{x, y, tag, kind, cx, cy});
}

void TContourList::AppendLine(int32_t x, int32_t y, int32_t tag) { Append(1, x, y, tag, 0, 0); }

void TContourList::AppendArcCW(int32_t x, int32_t y, int32_t tag, int32_t cx, int32_t cy) {
  Append(2, x, y, tag, cx, cy);
}

void TContourList::AppendArcCCW(int32_t x, int32_t y, int32_t tag, int32_t cx, int32_t cy) {
  Append(3, x, y, tag, cx, cy);
}

void TContourList::Close() {
  if (Nodes_.empty() || Closed_) return;
  const TContourNode head = Nodes_.front();
  if (Nodes_.back().X != head.X || Nodes_.back().Y != head.Y) AppendLine(head.X, head.Y, 0);
  if (Nodes_.size() < 3) return;  // fewer than two elements: nothing to close
  const TContourNode second = Nodes_[1], third = Nodes_[2];
  Nodes_.push_back(second);
  Nodes_.push_back(third);
  Repeated_ = 2;
  Closed_ = true;
}

double TContourList::SignedArea2() const {
  double sum = 0.0;
  const std::size_t end = Nodes_.size() - Repeated_;
  for (std::size_t i = 1; i < end; ++i) {
    const TContourNode& p = Nodes_[i - 1];
    const TContourNode& q = Nodes_[i];
    sum += double(p.X) * q.Y - double(q.X) * p.Y;
    if (q.Kind == 2 || q.Kind == 3) {
      // The circular segment between the chord and the arc.
      const double a1 = std::atan2(double(p.Y) - q.CY, double(p.X) - q.CX);
      const double a2 = std::atan2(double(q.Y) - q.CY, double(q.X) - q.CX);
      double sweep = a2 - a1;
      if (q.Kind == 3) {
        if (sweep <= 0.0) sweep += 2.0 * M_PI;
      } else if (sweep >= 0.0) {
        sweep -= 2.0 * M_PI;
      }
      const double r = (std::hypot(double(p.X) - q.CX, double(p.Y) - q.CY) +
                        std::hypot(double(q.X) - q.CX, double(q.Y) - q.CY)) /
                       2.0;
      sum += r * r * (sweep - std::sin(sweep));
    }
  }
  return sum;
}

bool TContourList::IsClockwise() const {
  if (!Closed_) {
    InformationBox("No start or not closed on IsCCW call!");
    return true;
  }
  const double area = SignedArea2();
  if (area == 0.0) {
    InformationBox("Figure eight detected in IsCCW call!");
    return true;
  }
  return area < 0.0;
}

void TContourList::Offset(uint8_t side, int32_t radius, double resolution) {
  ArcAdjustDisabled = false;
  if (Nodes_.size() < 2) return;
  int skip = Closed_ ? 2 : 1;
  TContourElement in[2];
  in[1].Kind = ckLine;
  in[1].X1 = in[1].X2 = Nodes_[0].X;
  in[1].Y1 = in[1].Y2 = Nodes_[0].Y;
  TContourElement out[4];
  auto round = [](double v) { return static_cast<int32_t>(std::nearbyint(v)); };
  for (std::size_t i = 0; i + 1 < Nodes_.size(); ++i) {
    const TContourNode& p = Nodes_[i];
    const TContourNode& q = Nodes_[i + 1];
    in[0] = in[1];
    TContourElement& e = in[1];
    e.X1 = in[0].X2;
    e.Y1 = in[0].Y2;
    e.X2 = q.X;
    e.Y2 = q.Y;
    e.Kind = q.Kind == 2 ? ckArcCW : q.Kind == 3 ? ckArcCCW : ckLine;
    e.CX = q.CX;
    e.CY = q.CY;
    const int n = OffsetContour(out, in, radius, side != 0, resolution);
    if (skip > 0 && n > 2) skip += n - 2;
    for (int k = 0; k < n - 1; ++k) {
      const TContourElement& r = out[k];
      if (skip == 1) {
        MoveTo(round(r.X2), round(r.Y2));
      } else if (skip == 0) {
        const int32_t tag = k == 0 ? p.Tag : 0;
        const int32_t x = round(r.X2), y = round(r.Y2);
        if (r.Kind == ckArcCW)
          ArcToCW(x, y, tag, round(r.CX), round(r.CY));
        else if (r.Kind == ckArcCCW)
          ArcToCCW(x, y, tag, round(r.CX), round(r.CY));
        else
          LineTo(x, y, tag);
      }
      if (skip > 0) --skip;
    }
  }
}
