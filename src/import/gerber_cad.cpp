#include "import/gerber_cad.h"

#include <algorithm>
#include <cmath>

#include "foundation/display_units.h"
#include "foundation/geometry.h"
#include "foundation/nc_format.h"
#include "foundation/settings_families.h"
#include "platform/message_box.h"

namespace {
// The difference of an arc's radii at its two ends, in database units
// (nanometres), below which the ends are taken as on one circle: three
// units of a 2.3 inch file, the coarsest common format, so that a board
// written again with more decimals keeps the arcs it had.
constexpr double kArcRadiusSlackNm = 76200.0;
}  // namespace

int32_t TGerberCadReader::ToDatabase(double v) const {
  // Held to the job's range first, then rounded as nearbyint rounds (an
  // exact half to the even neighbour) without its library call.
  const double scaled = v * (GerberImportDefaults.Metric ? MetricScale : InchScale);
  if (!(scaled > -2147483647.0)) return -2147483647;
  if (scaled > 2147483647.0) return 2147483647;
  return static_cast<int32_t>(RoundHalfEven(scaled));
}

bool TGerberCadReader::FitsDatabase(double v) const {
  return std::fabs(v * (GerberImportDefaults.Metric ? MetricScale : InchScale)) <= 2147483647.0;
}

TIntPoint TGerberCadReader::ToDatabase(double x, double y) const {
  ToImage(x, y);
  return {ToDatabase(x), ToDatabase(y)};
}

void TGerberCadReader::Run() {
  const int32_t d = std::clamp<int32_t>(GerberImportDefaults.DecimalDigits, 0, 10);
  InchScale = 25400000.0 / PowersOfTen[d];
  MetricScale = 1000000.0 / PowersOfTen[d];
  room_ = CadRoomForImport();
  TGerberReader::Run();
  // Refused or cancelled before reading: the job keeps its name.
  if (!Opened) {
    ImportFailed();
    return;
  }
  if (Failed) {
    NothingImported(ErrorText);
    Pending.Clear();
    return;
  }
  const std::string notice = GerberSkippedNotice(*this);
  if (Pending.Count() == 0) {
    NothingImported("<" + FileName + "> draws nothing." + (notice.empty() ? "" : "\n" + notice));
    return;
  }
  if (!Pending.Commit()) return;
  if (notice.empty()) return;
  if (Window) Window->WriteLn(notice);
  InformationBox(notice);
}

void TGerberCadReader::Point(int64_t x, int64_t y) {
  const TIntPoint p = ToDatabase(static_cast<double>(x), static_cast<double>(y));
  Pending.Point(Layer, p.X, p.Y);
  CheckRoom();
}

void TGerberCadReader::Line(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
  const TIntPoint a = ToDatabase(static_cast<double>(x1), static_cast<double>(y1));
  const TIntPoint b = ToDatabase(static_cast<double>(x2), static_cast<double>(y2));
  Pending.Line(Layer, a.X, a.Y, b.X, b.Y);
  CheckRoom();
}

void TGerberCadReader::Circle(int64_t x, int64_t y, int64_t radius) {
  const double r = static_cast<double>(radius) * ImageScale();
  if (!FitsDatabase(r)) {
    Fail(kGerberSizeBeyondJob);
    return;
  }
  const TIntPoint c = ToDatabase(static_cast<double>(x), static_cast<double>(y));
  Pending.Circle(Layer, c.X, c.Y, ToDatabase(r));
  CheckRoom();
}

void TGerberCadReader::Arc(bool ccw, bool multi, int64_t x1, int64_t y1, int64_t x2, int64_t y2,
                           int64_t i, int64_t j) {
  double cx, cy;
  if (!multi && !AbsoluteCentre && x1 == x2 && y1 == y2) {
    // A single-quadrant arc from a point to itself sweeps nothing: a dot.
    Point(x1, y1);
    return;
  }
  if (AbsoluteCentre) {
    cx = static_cast<double>(i);
    cy = static_cast<double>(j);
  } else if (multi) {
    cx = static_cast<double>(x1 + i);
    cy = static_cast<double>(y1 + j);
  } else {
    // Single quadrant: the offsets are unsigned. Of the four centres they
    // allow, the one whose radii agree best with a sweep of at most 90
    // degrees in the given direction.
    const double ai = std::fabs(static_cast<double>(i)), aj = std::fabs(static_cast<double>(j));
    const double fx = static_cast<double>(x1), fy = static_cast<double>(y1);
    const double tx = static_cast<double>(x2), ty = static_cast<double>(y2);
    double best = -1;
    cx = fx + ai;
    cy = fy + aj;
    for (const double sx : {1.0, -1.0})
      for (const double sy : {1.0, -1.0}) {
        const double px = fx + sx * ai, py = fy + sy * aj;
        double sweep = RadToDeg(std::atan2(ty - py, tx - px) - std::atan2(fy - py, fx - px));
        if (!ccw) sweep = -sweep;
        while (sweep < 0) sweep += 360;
        while (sweep >= 360) sweep -= 360;
        const double misfit = std::fabs(std::hypot(fx - px, fy - py) - std::hypot(tx - px, ty - py)) +
                              (sweep <= 90.0 + 1e-6 ? 0.0 : 1e12);
        if (best < 0 || misfit < best) {
          best = misfit;
          cx = px;
          cy = py;
        }
      }
  }
  int64_t px = x1, py = y1, qx = x2, qy = y2;
  if (!ccw) {
    std::swap(px, qx);
    std::swap(py, qy);
  }
  const double r1 = std::hypot(static_cast<double>(px) - cx, static_cast<double>(py) - cy);
  const double r2 = std::hypot(static_cast<double>(qx) - cx, static_cast<double>(qy) - cy);
  // Ends whose radii differ by the rounding of their coordinates still make
  // an arc. The slack is a length (0.003 in), so that a drawing reads alike
  // at whatever resolution it was written; a still coarser file keeps three
  // of its own units.
  const double perUnit = GerberImportDefaults.Metric ? MetricScale : InchScale;
  const double slack = std::max(3.0, kArcRadiusSlackNm / perUnit);
  if (!(std::fabs(r1 - r2) < slack) || (DMode != 1 && !AbsoluteCentre)) {
    Line(x1, y1, x2, y2);
    return;
  }
  double imageCx = cx, imageCy = cy;
  ToImage(imageCx, imageCy);
  if (!FitsDatabase(imageCx) || !FitsDatabase(imageCy)) {
    Fail(kGerberSizeBeyondJob);
    return;
  }
  TIntPoint s = ToDatabase(static_cast<double>(px), static_cast<double>(py));
  TIntPoint e = ToDatabase(static_cast<double>(qx), static_cast<double>(qy));
  // On a film turned over the arc runs clockwise from s to e.
  if (ImageTurnsOver()) std::swap(s, e);
  const TIntPoint centre = ToDatabase(cx, cy);
  const int32_t sx = s.X, sy = s.Y, ex = e.X, ey = e.Y, ccx = centre.X, ccy = centre.Y;
  // A full circle only when the ends are the same point under G75; ends
  // that merely round together make a short arc.
  if (multi && x1 == x2 && y1 == y2) {
    Pending.CircleThrough(Layer, ccx, ccy, ex, ey);
    CheckRoom();
    return;
  }
  if (multi && sx == ex && sy == ey) {
    // Too short to keep as an arc in database units.
    Pending.Line(Layer, sx, sy, ex, ey);
    CheckRoom();
    return;
  }
  Pending.Arc(Layer, sx, sy, ex, ey, ccx, ccy);
  CheckRoom();
}

void ImportGerberToCad(const std::string& fileName) {
  TGerberCadReader reader(fileName);
  reader.Run();
}

double DetectGerberFile(const std::string& fileName) {
  TGerberCadReader reader(fileName, TGerberReader::TQuiet{});
  return DetectGerber(reader);
}
