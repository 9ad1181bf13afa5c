#include "workspace/view_mapping.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "command/command_services.h"
#include "foundation/display_units.h"
#include "foundation/geometry_matrix.h"
#include "model/view_services.h"
#include "platform/forms.h"

TRubberPaint* RubberPaint = nullptr;
std::function<uint8_t()> CurrentCompensationSide;

namespace {

// 1 / 25,400,000 in extended precision.
constexpr long double InchPerUnit = 1.0L / 25400000.0L;

}  // namespace

TRubberPaint::TRubberPaint() { LastPolyline.reserve(MaxPolylinePoints); }

TCanvas* TRubberPaint::Canvas() {
  if (Canvas_ != nullptr) return Canvas_;
  if (PaintBox_ != nullptr) return &PaintBox_->Canvas();
  return nullptr;
}

// ---- Mapping ----------------------------------------------------------------------------

double TRubberPaint::PixelsPerInch() { return ViewServices().PixelsPerInch(); }

double TRubberPaint::ScreenXReal(double x) {
  return double((static_cast<long double>(x) - WindowLeft) * InchPerUnit * PixelsPerInch());
}

double TRubberPaint::ScreenYReal(double y) {
  return double((static_cast<long double>(WindowTop) - y) * InchPerUnit * PixelsPerInch());
}

int32_t TRubberPaint::ScaleLength(double length) {
  return SaturatingRound(double(length * InchPerUnit * PixelsPerInch()));
}

int32_t TRubberPaint::ScreenX(double x) { return SaturatingRound(ScreenXReal(x)); }
int32_t TRubberPaint::ScreenY(double y) { return SaturatingRound(ScreenYReal(y)); }

// ---- Screen drawing -----------------------------------------------------------------------

void TRubberPaint::SetXorPen() {
  TCanvas* c = Canvas();
  if (c == nullptr) return;
  c->Pen.Style = psSolid;
  c->Pen.Mode = pmXor;
  c->Pen.Color = clWhite;
  c->Pen.Width = 1;
}

void TRubberPaint::DrawScreenLine(int x1, int y1, int x2, int y2) {
  TCanvas* c = Canvas();
  if (c == nullptr) return;
  c->MoveTo(x1, y1);
  c->LineTo(x2, y2);
}

void TRubberPaint::DrawScreenArc(const TPoint& start, const TPoint& end, const TPoint& centre) {
  if (start == end) return;
  TCanvas* c = Canvas();
  if (c == nullptr) return;
  double dx = double(start.X) - centre.X, dy = double(start.Y) - centre.Y;
  int r = SaturatingRound(std::sqrt(dx * dx + dy * dy));
  c->Arc(centre.X - r, centre.Y - r, centre.X + r, centre.Y + r, start.X, start.Y, end.X, end.Y);
}

void TRubberPaint::DrawScreenEllipse(int x1, int y1, int x2, int y2) {
  TCanvas* c = Canvas();
  if (c == nullptr) return;
  c->Arc(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2), x2, y2, x2, y2);
}

void TRubberPaint::DrawScreenPolyline(const std::vector<TPoint>& points) {
  TCanvas* c = Canvas();
  if (c == nullptr || points.empty()) return;
  c->MoveTo(points[0].X, points[0].Y);
  for (size_t i = 1; i < points.size(); ++i) c->LineTo(points[i].X, points[i].Y);
}

void TRubberPaint::DrawScreenDigits(double x, double y, int32_t number) {
  TCanvas* c = Canvas();
  if (c == nullptr) return;
  constexpr int s = 2;
  const int sx = ScreenX(x), sy = ScreenY(y);
  std::string text = std::to_string(number);
  int offset = 0;
  for (char ch : text) {
    if (ch >= '0' && ch <= '9') {
      const auto& glyph = DigitStrokes[size_t(ch - '0')];
      auto at = [&](int i) {
        return TPoint{sx + offset + 2 * s + glyph[i][0] * s, sy - 10 * s + glyph[i][1] * s};
      };
      TPoint p = at(0);
      c->MoveTo(p.X, p.Y);
      for (int i = 1; i < 16 && glyph[i][0] > 0; ++i) {
        p = at(i);
        c->LineTo(p.X, p.Y);
      }
    }
    offset += 5 * s;
  }
}

void TRubberPaint::DrawCrossMark(double x, double y) {
  int sx = ScreenX(x), sy = ScreenY(y);
  DrawScreenLine(sx - 10, sy - 10, sx + 10, sy + 10);
  DrawScreenLine(sx - 10, sy + 10, sx + 10, sy - 10);
}

void TRubberPaint::DrawArrowHead(double angle, int sx, int sy) {
  TCanvas* c = Canvas();
  if (c == nullptr) return;
  uint8_t side = CurrentCompensationSide ? CurrentCompensationSide() : 0;
  double lean = side == 1 ? 10.0 : side == 2 ? -10.0 : 0.0;
  auto at = [&](double lx, double ly) {
    RotatePoint(lx, ly, angle);
    return TPoint{sx + SaturatingRound(lx), sy - SaturatingRound(ly)};
  };
  TPoint p;
  p = at(0, lean);
  c->MoveTo(p.X, p.Y);
  p = at(15, lean);
  c->LineTo(p.X, p.Y);
  p = at(10, lean + 5);
  c->LineTo(p.X, p.Y);
  p = at(15, lean);
  c->MoveTo(p.X, p.Y);
  p = at(10, lean - 5);
  c->LineTo(p.X, p.Y);
}

// ---- Rubber-band shapes -------------------------------------------------------------------

void TRubberPaint::RubberLine(const TRealPoint& a, const TRealPoint& b, bool noErase,
                              bool noDraw) {
  std::array<int32_t, 4> line{ScreenX(a.X), ScreenY(a.Y), ScreenX(b.X), ScreenY(b.Y)};
  if (!noErase) DrawScreenLine(LastLine[0], LastLine[1], LastLine[2], LastLine[3]);
  if (!noDraw) DrawScreenLine(line[0], line[1], line[2], line[3]);
  LastLine = line;
}

void TRubberPaint::RubberCircle(const TRealPoint& centre, double radius, bool noErase,
                                bool noDraw) {
  std::array<int32_t, 4> box{ScreenX(centre.X - radius), ScreenY(centre.Y - radius),
                             ScreenX(centre.X + radius), ScreenY(centre.Y + radius)};
  if (!noErase)
    DrawScreenEllipse(LastCircleBox[0], LastCircleBox[1], LastCircleBox[2], LastCircleBox[3]);
  if (!noDraw) DrawScreenEllipse(box[0], box[1], box[2], box[3]);
  LastCircleBox = box;
}

void TRubberPaint::RubberArrow(const TRealPoint& point, double angle, bool noErase,
                               bool noDraw) {
  std::array<int32_t, 2> p{ScreenX(point.X), ScreenY(point.Y)};
  if (!noErase) DrawArrowHead(LastArrowAngle, LastArrowPoint[0], LastArrowPoint[1]);
  if (!noDraw) DrawArrowHead(angle, p[0], p[1]);
  LastArrowPoint = p;
  LastArrowAngle = angle;
}

void TRubberPaint::DrawArcRecord(const std::array<int32_t, 6>& arc) {
  DrawScreenArc({arc[0], arc[1]}, {arc[2], arc[3]}, {arc[4], arc[5]});
}

void TRubberPaint::RubberArc(const TRealPoint& start, const TRealPoint& end,
                             const TRealPoint& centre, const TRealPoint* fourth, bool noErase,
                             bool noDraw) {
  std::array<int32_t, 6> arc{ScreenX(start.X),  ScreenY(start.Y),  ScreenX(end.X),
                             ScreenY(end.Y),    ScreenX(centre.X), ScreenY(centre.Y)};
  // Without a fourth point the radius line ends at the centre: a line of no
  // pixels, so erasing it later is harmless.
  std::array<int32_t, 2> lineEnd{arc[4], arc[5]};
  if (fourth != nullptr) lineEnd = {ScreenX(fourth->X), ScreenY(fourth->Y)};
  if (!noErase) {
    // A transformed arc has no radius line.
    if (ArcIsPolyline) {
      DrawScreenPolyline(LastPolyline);
    } else {
      DrawArcRecord(LastArc);
      DrawScreenLine(LastArc[4], LastArc[5], LastArcLineEnd[0], LastArcLineEnd[1]);
    }
  }
  if (!noDraw) {
    DrawArcRecord(arc);
    DrawScreenLine(arc[4], arc[5], lineEnd[0], lineEnd[1]);
  }
  LastArc = arc;
  LastArcLineEnd = lineEnd;
  ArcIsPolyline = false;
}

void TRubberPaint::DrawRectangle(const std::array<int32_t, 4>& r) {
  TCanvas* c = Canvas();
  if (c == nullptr) return;
  // Each corner pixel once, so a second copy removes the first exactly.
  c->MoveTo(r[0], r[1]);
  c->LineTo(r[2], r[1]);
  c->LineTo(r[2], r[3]);
  c->LineTo(r[0], r[3]);
  c->LineTo(r[0], r[1]);
}

void TRubberPaint::RubberRectangle(const TRealPoint& a, const TRealPoint& b, bool noErase,
                                   bool noDraw) {
  std::array<int32_t, 4> r{ScreenX(a.X), ScreenY(a.Y), ScreenX(b.X), ScreenY(b.Y)};
  if (!noErase) DrawRectangle(LastRect);
  if (!noDraw) DrawRectangle(r);
  LastRect = r;
}

void TRubberPaint::DrawCrossHair(const std::array<int32_t, 2>& p) {
  DrawScreenLine(p[0] - 8, p[1], p[0] + 9, p[1]);
  DrawScreenLine(p[0], p[1] - 8, p[0], p[1] + 9);
}

void TRubberPaint::RubberCrossHair(const TRealPoint& point, bool noErase, bool noDraw) {
  std::array<int32_t, 2> p{ScreenX(point.X), ScreenY(point.Y)};
  if (!noErase) DrawCrossHair(LastCross);
  if (!noDraw) DrawCrossHair(p);
  LastCross = p;
}

void TRubberPaint::RubberLabelledBox(const TRealPoint& a, const TRealPoint& b, TColor colour,
                                     uint8_t number, bool /*noErase*/, bool noDraw) {
  std::array<int32_t, 4> r{ScreenX(a.X), ScreenY(a.Y), ScreenX(b.X), ScreenY(b.Y)};
  TCanvas* c = Canvas();
  if (!noDraw && c != nullptr) {
    TPen saved = c->Pen;
    c->Pen.Color = colour;
    c->Pen.Style = psSolid;
    c->Pen.Mode = pmCopy;
    DrawScreenDigits(a.X, a.Y, number);
    DrawRectangle(r);
    c->Pen.Color = saved.Color;
    c->Pen.Style = saved.Style;
    c->Pen.Mode = saved.Mode;
  }
  LastRect = r;
}

void TRubberPaint::DrawCornerShape(const std::array<int32_t, 8>& k, int32_t t) {
  if (k[0] != k[2] || k[1] != k[3]) DrawScreenLine(k[0], k[1], k[2], k[3]);
  if (k[4] != k[6] || k[5] != k[7]) DrawScreenLine(k[4], k[5], k[6], k[7]);
  if (t > 0) {
    DrawScreenLine(k[6] - t, k[7] - t, k[6] + t, k[7] + t);
    DrawScreenLine(k[6] - t, k[7] + t, k[6] + t, k[7] - t);
  }
}

void TRubberPaint::RubberCorner(const TIntPoint& p1, const TIntPoint& p2, const TIntPoint& p3,
                                const TIntPoint& p4, int32_t markSize, bool cornerArc,
                                bool noErase, bool noDraw) {
  std::array<int32_t, 8> k{ScreenX(p1.X), ScreenY(p1.Y), ScreenX(p2.X), ScreenY(p2.Y),
                           ScreenX(p3.X), ScreenY(p3.Y), ScreenX(p4.X), ScreenY(p4.Y)};
  // The corner arc: 32 pixels about P2, from the P1 side to the P4 side.
  bool arcWanted = false;
  std::array<int32_t, 6> arc{};
  TRealPoint r1{double(p1.X), double(p1.Y)}, r2{double(p2.X), double(p2.Y)},
      r4{double(p4.X), double(p4.Y)};
  if (cornerArc && !PointsEqualTol(r1, r2) && !PointsEqualTol(r4, r2)) {
    double cx = ScreenXReal(r2.X), cy = ScreenYReal(r2.Y);
    auto toward = [&](const TRealPoint& p, int32_t& ox, int32_t& oy) {
      double dx = ScreenXReal(p.X) - cx, dy = ScreenYReal(p.Y) - cy;
      double len = std::sqrt(dx * dx + dy * dy);
      if (!(len > 0.0)) return false;
      ox = SaturatingRound(cx + dx / len * 32.0);
      oy = SaturatingRound(cy + dy / len * 32.0);
      return true;
    };
    arc[4] = k[2];
    arc[5] = k[3];
    arcWanted = toward(r1, arc[0], arc[1]) && toward(r4, arc[2], arc[3]);
  }
  if (!noErase) {
    DrawCornerShape(LastCorner, LastCornerMark);
    if (CornerArcShown) DrawArcRecord(LastCornerArc);
  }
  if (!noDraw) {
    DrawCornerShape(k, markSize);
    if (arcWanted) DrawArcRecord(arc);
  }
  LastCorner = k;
  LastCornerMark = markSize;
  if (arcWanted) LastCornerArc = arc;
  CornerArcShown = arcWanted;
}

void TRubberPaint::RubberDoubleArc(const std::array<TIntPoint, 6>& p, bool noErase, bool noDraw) {
  auto real = [](const TIntPoint& q) { return TRealPoint{double(q.X), double(q.Y)}; };
  // The second arc goes through slot 0 with its own remembered copy swapped
  // in; the main arc's copy, radius line and polyline state wait aside.
  SpareArc = LastArc;
  std::array<int32_t, 2> mainLineEnd = LastArcLineEnd;
  bool mainWasPolyline = ArcIsPolyline;
  LastArc = SecondArc;
  LastArcLineEnd = {SecondArc[4], SecondArc[5]};
  ArcIsPolyline = false;
  RubberArc(real(p[0]), real(p[1]), real(p[4]), nullptr, noErase, noDraw);
  SecondArc = LastArc;
  LastArc = SpareArc;
  LastArcLineEnd = mainLineEnd;
  ArcIsPolyline = mainWasPolyline;
  TRealPoint lineEnd = real(p[5]);
  RubberArc(real(p[2]), real(p[3]), real(p[4]), &lineEnd, noErase, noDraw);
}

void TRubberPaint::RubberTransformedArc(const TRealPoint& start, const TRealPoint& centre,
                                        const TRealPoint& end, const TMatrix3& transform,
                                        bool noErase, bool noDraw) {
  double sx = ScreenXReal(start.X), sy = ScreenYReal(start.Y);
  double cx = ScreenXReal(centre.X), cy = ScreenYReal(centre.Y);
  double ex = ScreenXReal(end.X), ey = ScreenYReal(end.Y);
  double r, a0;
  RectToPolar(sx - cx, sy - cy, r, a0);
  int32_t n = 1;
  double sweep = 0.0;
  if (r > 0.0) {
    double t = ArcDisplayTolerance();
    double st = 2.0 * ArcCosDeg((r - t) / r);
    if (!(std::fabs(st) >= 0.5)) st = 1.0;
    double a1 = a0;
    if (!(ex == sx && ey == sy)) {
      double r1;
      RectToPolar(ex - cx, ey - cy, r1, a1);
    }
    if (std::fabs(a0 - a1) < 0.0001) {
      sweep = 360.0;
    } else {
      sweep = a1 - a0;
      if (sweep < 0.0) sweep += 360.0;
    }
    double chords = std::min(std::fabs(sweep / st), 100.0);
    n = int32_t(chords);
    if (chords > n) ++n;
    if (n < 1) n = 1;
  }
  double step = sweep / n;
  double cs = std::cos(step * M_PI / 180.0), sn = std::sin(step * M_PI / 180.0);
  std::vector<TPoint> points;
  points.reserve(n + 1);
  double px = sx, py = sy;
  auto add = [&](double x, double y) {
    double tx, ty;
    TransformPoint(x, y, tx, ty, transform);
    points.push_back({SaturatingRound(tx), SaturatingRound(ty)});
  };
  add(px, py);
  if (r > 0.0) {
    for (int32_t i = 0; i < n && int(points.size()) < MaxPolylinePoints; ++i) {
      double dx = px - cx, dy = py - cy;
      px = cx + dx * cs - dy * sn;
      py = cy + dx * sn + dy * cs;
      add(px, py);
    }
  }
  if (!noErase) {
    if (ArcIsPolyline) {
      DrawScreenPolyline(LastPolyline);
    } else {
      DrawArcRecord(LastArc);
      DrawScreenLine(LastArc[4], LastArc[5], LastArcLineEnd[0], LastArcLineEnd[1]);
    }
  }
  if (!noDraw) DrawScreenPolyline(points);
  LastPolyline = std::move(points);
  ArcIsPolyline = true;
}
