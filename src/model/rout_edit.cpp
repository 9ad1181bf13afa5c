#include "model/rout_edit.h"

#include <algorithm>
#include <cmath>

// ---- Angles --------------------------------------------------------------------------------

double NormalizeDegrees(double angle) {
  if (!std::isfinite(angle)) return 0.0;
  double a = std::fmod(angle, 360.0);  // exact, sign of the angle
  if (a < 0.0) a += 360.0;
  if (a >= 360.0) a -= 360.0;  // a tiny negative remainder rounds up to 360
  return a;
}

namespace {
// 90 times the whole quadrants below the normalised angle.
double QuadrantFloor(double a) { return 90.0 * std::trunc(a * (1.0 / 90.0)); }
}  // namespace

double NextQuadrantAngle(double angle) {
  const double a = NormalizeDegrees(angle);
  double q = QuadrantFloor(a);
  if (q != a) q += 90.0;
  return std::round(NormalizeDegrees(q));
}

double PreviousQuadrantAngle(double angle) {
  const double a = NormalizeDegrees(angle);
  double q = QuadrantFloor(a);
  if (q == a) q -= 90.0;
  return std::round(NormalizeDegrees(q));
}

std::vector<double> ArcPieceAngles(double a0, double a1, bool clockwise, bool quadrantCut) {
  std::vector<double> ends;
  if (!std::isfinite(a0) || !std::isfinite(a1)) return ends;
  a0 = NormalizeDegrees(a0);
  a1 = NormalizeDegrees(a1);
  const double sweep = clockwise ? NormalizeDegrees(a0 - a1) : NormalizeDegrees(a1 - a0);
  if (quadrantCut) {
    // Quadrant angles strictly inside the sweep, in the order of travel. A
    // quadrant angle equal to the start would give a piece of no length,
    // which surfaces and machines read as a full circle.
    std::vector<std::pair<double, double>> inside;  // (distance along the sweep, angle)
    for (double q : {0.0, 90.0, 180.0, 270.0}) {
      const double along = clockwise ? NormalizeDegrees(a0 - q) : NormalizeDegrees(q - a0);
      if (along > 0.0 && along < sweep) inside.emplace_back(along, q);
    }
    std::sort(inside.begin(), inside.end());
    for (const auto& [along, q] : inside) ends.push_back(q);
    return ends;
  }
  const int32_t n = static_cast<int32_t>(std::trunc(sweep / kMaxArcPieceSweep)) + 1;
  const double step = (clockwise ? -sweep : sweep) / n;
  for (int32_t k = 1; k < n; ++k) ends.push_back(a0 + k * step);
  return ends;
}

void ArcChordSteps(const TRealPoint& centre, const TRealPoint& start, const TRealPoint& end,
                   double tolerance, int32_t& steps, double& angle) {
  const double r = std::hypot(start.X - centre.X, start.Y - centre.Y);
  double sweep = 360.0;
  if (!(start == end)) {
    const double a0 = std::atan2(start.Y - centre.Y, start.X - centre.X) * 180.0 / M_PI;
    const double a1 = std::atan2(end.Y - centre.Y, end.X - centre.X) * 180.0 / M_PI;
    sweep = NormalizeDegrees(a1 - a0);
    if (sweep == 0.0) sweep = 360.0;
  }
  steps = 1;
  if (std::isfinite(r) && std::isfinite(tolerance) && tolerance > 0.0 && tolerance < r) {
    const double maxStep = 2.0 * std::acos(1.0 - tolerance / r) * 180.0 / M_PI;
    const double n = std::ceil(sweep / maxStep);
    steps = static_cast<int32_t>(std::clamp(n, 1.0, 10000.0));
  }
  angle = sweep / steps;
}

// ---- Window-side services -----------------------------------------------------------------------

int32_t LocateEntity = 0;
int32_t LocateEntityLine = 1;

void THeadlessRoutEditServices::SetPromptLine(int32_t column, int32_t line,
                                              const std::string& text) {
  if (line < 1 || line > 3 || column < 1) return;
  std::string& s = Prompts[line - 1];
  std::string t = text;
  if (!t.empty() && t.back() == '>') t += ' ';
  const std::size_t at = static_cast<std::size_t>(column - 1);
  if (s.size() < at) s.resize(at, ' ');
  s = s.substr(0, at) + t;
  if (s.size() > 256) s.resize(256);
}

std::string THeadlessRoutEditServices::SaveRoutLayerToScratch(uint8_t) { return {}; }

bool THeadlessRoutEditServices::RunTextEditor(const std::string& fileName, int32_t) {
  Edited.push_back(fileName);
  return false;
}

namespace {
TRoutEditServices* InstalledServices = nullptr;
}

THeadlessRoutEditServices& HeadlessRoutEditServices() {
  static THeadlessRoutEditServices services;
  return services;
}

TRoutEditServices* SetRoutEditServices(TRoutEditServices* services) {
  TRoutEditServices* old = InstalledServices;
  InstalledServices = services;
  return old;
}

TRoutEditServices& RoutEditServices() {
  return InstalledServices != nullptr ? *InstalledServices : HeadlessRoutEditServices();
}
