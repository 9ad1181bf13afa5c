#include "import/gerber_macro.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "foundation/utilities.h"

namespace {

constexpr double Pi = 3.14159265358979323846;
// The most vertices a polygon primitive is drawn with.
constexpr double kMaxPolygonVertices = 100000;
// The deepest an expression nests its parentheses and signs: far beyond any
// macro, shallow enough for the stack of the recursive descent.
constexpr int32_t kMaxExpressionDepth = 100;

// Recursive descent over one expression.
class TExpression {
 public:
  TExpression(const std::string& text, const std::vector<double>& vars) : s_(text), vars_(vars) {}
  // A value that is no finite number (a product past the largest double)
  // is no size of any aperture: refused as a broken one.
  bool Evaluate(double& value) {
    if (!Sum(value)) return false;
    Blanks();
    return p_ == s_.size() && std::isfinite(value);
  }

 private:
  void Blanks() {
    while (p_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[p_]))) ++p_;
  }
  bool Sum(double& v) {
    if (!Product(v)) return false;
    for (Blanks(); p_ < s_.size() && (s_[p_] == '+' || s_[p_] == '-'); Blanks()) {
      const char op = s_[p_++];
      double r = 0;
      if (!Product(r)) return false;
      v = op == '+' ? v + r : v - r;
    }
    return true;
  }
  bool Product(double& v) {
    if (!Factor(v)) return false;
    for (Blanks(); p_ < s_.size() && (s_[p_] == 'x' || s_[p_] == 'X' || s_[p_] == '/'); Blanks()) {
      const char op = s_[p_++];
      double r = 0;
      if (!Factor(r)) return false;
      if (op == '/') {
        if (r == 0.0) return false;
        v /= r;
      } else {
        v *= r;
      }
    }
    return true;
  }
  bool Factor(double& v) {
    Blanks();
    if (p_ >= s_.size()) return false;
    const char c = s_[p_];
    if (c == '-' || c == '+' || c == '(') {
      if (depth_ >= kMaxExpressionDepth) return false;
      ++depth_;
      ++p_;
      const bool read = c == '(' ? Sum(v) && (Blanks(), p_ < s_.size() && s_[p_] == ')') : Factor(v);
      --depth_;
      if (!read) return false;
      if (c == '(') ++p_;
      if (c == '-') v = -v;
      return true;
    }
    if (c == '$') {
      ++p_;
      std::size_t n = 0, digits = 0;
      while (p_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[p_])) && digits < 6) {
        n = n * 10 + static_cast<std::size_t>(s_[p_++] - '0');
        ++digits;
      }
      if (digits == 0) return false;
      v = n < vars_.size() ? vars_[n] : 0.0;
      return true;
    }
    const char* start = s_.c_str() + p_;
    char* end = nullptr;
    v = std::strtod(start, &end);
    if (end == start || !std::isfinite(v)) return false;
    // strtod would take an exponent or a hexadecimal form: a macro knows neither.
    for (const char* q = start; q < end; ++q)
      if (!std::isdigit(static_cast<unsigned char>(*q)) && *q != '.') return false;
    p_ += static_cast<std::size_t>(end - start);
    return true;
  }

  const std::string& s_;
  const std::vector<double>& vars_;
  std::size_t p_ = 0;
  int32_t depth_ = 0;
};

std::vector<std::string> SplitCommas(const std::string& s) {
  std::vector<std::string> out(1);
  for (char c : s) {
    if (c == ',') out.emplace_back();
    else out.back() += c;
  }
  return out;
}

TRealPoint Rotated(double x, double y, double degrees) {
  if (degrees == 0.0) return {x, y};
  const double a = degrees * Pi / 180.0;
  return {x * std::cos(a) - y * std::sin(a), x * std::sin(a) + y * std::cos(a)};
}

// A rectangle of centre (cx, cy) and size w x h, turned about the origin.
TMacroShape Rectangle(double cx, double cy, double w, double h, double rotation, bool dark) {
  TMacroShape s;
  s.Dark = dark;
  const double corners[4][2] = {{-w / 2, -h / 2}, {w / 2, -h / 2}, {w / 2, h / 2}, {-w / 2, h / 2}};
  for (const auto& c : corners) s.Points.push_back(Rotated(cx + c[0], cy + c[1], rotation));
  return s;
}

TMacroShape CircleShape(double cx, double cy, double r, double rotation, bool dark) {
  TMacroShape s;
  s.IsCircle = true;
  s.Dark = dark;
  const TRealPoint c = Rotated(cx, cy, rotation);
  s.Cx = c.X;
  s.Cy = c.Y;
  s.R = r;
  return s;
}

}  // namespace

bool EvaluateMacroExpression(const std::string& text, const std::vector<double>& variables,
                             double& value) {
  TExpression e(text, variables);
  return e.Evaluate(value);
}

bool ParseMacro(const std::string& group, TMacro& macro) {
  if (group.size() < 3 || group.compare(0, 2, "AM") != 0) return false;
  std::size_t star = group.find('*');
  macro.Name = group.substr(2, star == std::string::npos ? std::string::npos : star - 2);
  macro.Statements.clear();
  while (star != std::string::npos) {
    const std::size_t next = group.find('*', star + 1);
    std::string statement = group.substr(star + 1, next == std::string::npos ? std::string::npos : next - star - 1);
    std::string clean;
    for (char c : statement)
      if (c != '\r' && c != '\n') clean += c;
    if (!clean.empty()) macro.Statements.push_back(clean);
    star = next;
  }
  return !macro.Name.empty();
}

namespace {

// The walk of FlattenMacro; with no shapes it only spends the steps (and
// finds the errors) that the flattening would.
bool WalkMacro(const TMacro& macro, const std::vector<double>& parameters, std::vector<TMacroShape>* made,
               std::string& error, int64_t* stepsLeft) {
  std::vector<TMacroShape> none;
  std::vector<TMacroShape>& shapes = made != nullptr ? *made : none;
  // Names and statements are quoted by their start: a file's macro may be
  // millions of characters long.
  const std::string name = TextStart(macro.Name, 40);
  int64_t ownSteps = kMaxMacroSteps;
  int64_t& left = stepsLeft != nullptr ? *stepsLeft : ownSteps;
  // Each statement read costs four steps (it is parsed), each point made
  // one, each circle four (its room): a macro drawn past the steps left is
  // refused.
  const auto spend = [&](double steps) {
    if (!(steps < static_cast<double>(left))) {
      left = 0;
      error = "the aperture macros make more than " + IntToStrGrouped(static_cast<int32_t>(kMaxMacroSteps)) +
              " points (macro " + name + ")";
      return false;
    }
    left -= static_cast<int64_t>(steps);
    return true;
  };
  std::vector<double> vars(parameters.size() + 1, 0.0);
  for (std::size_t k = 0; k < parameters.size(); ++k) vars[k + 1] = parameters[k];
  for (const std::string& statement : macro.Statements) {
    if (!spend(4)) return false;
    if (statement.empty() || statement[0] == '0') continue;  // comment
    if (statement[0] == '$') {
      const std::size_t eq = statement.find('=');
      double value = 0.0;
      // The variable's number: up to four digits (a longer one is refused).
      std::size_t n = 0;
      for (std::size_t k = 1; k < statement.size() && k <= 5 && std::isdigit(static_cast<unsigned char>(statement[k])); ++k)
        n = n * 10 + std::size_t(statement[k] - '0');
      if (eq == std::string::npos || n == 0 || n > 9999 ||
          !EvaluateMacroExpression(statement.substr(eq + 1), vars, value)) {
        error = "the macro " + name + " holds a bad assignment " + QuotedStart(statement);
        return false;
      }
      if (vars.size() <= n) vars.resize(n + 1, 0.0);
      vars[n] = value;
      continue;
    }
    const std::vector<std::string> fields = SplitCommas(statement);
    std::vector<double> v;
    for (const std::string& f : fields) {
      double value = 0.0;
      if (!EvaluateMacroExpression(f, vars, value)) {
        error = "the macro " + name + " holds a bad value in " + QuotedStart(statement);
        return false;
      }
      v.push_back(value);
    }
    auto at = [&v](std::size_t k) { return k < v.size() ? v[k] : 0.0; };
    // The primitive's code, and the field that counts its outline points,
    // polygon vertices or moire rings, are whole numbers before they are
    // taken as such.
    const int code = std::fabs(at(0)) <= 1e6 ? static_cast<int>(at(0)) : -1;
    if (const std::size_t counted = code == 4 || code == 5 ? 2 : code == 6 ? 6 : 0;
        counted != 0 && !(std::fabs(at(counted)) <= 1e6)) {
      error = "the macro " + name + " holds a count out of range in " + QuotedStart(statement);
      return false;
    }
    const bool dark = at(1) != 0.0;
    switch (code) {
      case 1:  // circle: exposure, diameter, centre, rotation
        if (!spend(4)) return false;
        if (made != nullptr) shapes.push_back(CircleShape(at(3), at(4), at(2) / 2, at(5), dark));
        break;
      case 2:
      case 20: {  // vector line: exposure, width, start, end, rotation
        const double sx = at(3), sy = at(4), ex = at(5), ey = at(6), w = at(2);
        const double len = std::hypot(ex - sx, ey - sy);
        if (len == 0.0) break;
        if (!spend(4)) return false;
        if (made == nullptr) break;
        const double nx = -(ey - sy) / len * w / 2, ny = (ex - sx) / len * w / 2;
        TMacroShape s;
        s.Dark = dark;
        for (const TRealPoint& p : {TRealPoint{sx + nx, sy + ny}, TRealPoint{ex + nx, ey + ny},
                                    TRealPoint{ex - nx, ey - ny}, TRealPoint{sx - nx, sy - ny}})
          s.Points.push_back(Rotated(p.X, p.Y, at(7)));
        shapes.push_back(s);
        break;
      }
      case 21:  // centre line: exposure, width, height, centre, rotation
        if (!spend(4)) return false;
        if (made != nullptr) shapes.push_back(Rectangle(at(4), at(5), at(2), at(3), at(6), dark));
        break;
      case 22:  // lower-left line: exposure, width, height, lower left, rotation
        if (!spend(4)) return false;
        if (made != nullptr) shapes.push_back(Rectangle(at(4) + at(2) / 2, at(5) + at(3) / 2, at(2), at(3), at(6), dark));
        break;
      case 4: {  // outline: exposure, n, n + 1 points, rotation
        const int n = static_cast<int>(at(2));
        if (n < 1 || v.size() < static_cast<std::size_t>(2 * n + 6)) {
          error = "the macro " + name + " holds a short outline";
          return false;
        }
        if (!spend(n + 1)) return false;
        if (made == nullptr) break;
        TMacroShape s;
        s.Dark = dark;
        const double rotation = at(static_cast<std::size_t>(2 * n + 5));
        for (int k = 0; k <= n; ++k)
          s.Points.push_back(Rotated(at(static_cast<std::size_t>(3 + 2 * k)),
                                     at(static_cast<std::size_t>(4 + 2 * k)), rotation));
        if (s.Points.size() > 1 && s.Points.front() == s.Points.back()) s.Points.pop_back();
        shapes.push_back(s);
        break;
      }
      case 5: {  // polygon: exposure, vertices, centre, diameter, rotation
        // Any count from 3 is drawn; one beyond kMaxPolygonVertices is no
        // aperture but a broken number.
        if (!(at(2) >= 3 && at(2) <= kMaxPolygonVertices)) {
          error = "the macro " + name + " holds a polygon of " + (fields.size() > 2 ? TextStart(fields[2], 40) : "no") +
                  " vertices";
          return false;
        }
        const int n = static_cast<int>(at(2));
        if (!spend(n)) return false;
        if (made == nullptr) break;
        TMacroShape s;
        s.Dark = dark;
        for (int k = 0; k < n; ++k) {
          const double a = 2 * Pi * k / n;
          s.Points.push_back(Rotated(at(3) + at(5) / 2 * std::cos(a), at(4) + at(5) / 2 * std::sin(a), at(6)));
        }
        shapes.push_back(s);
        break;
      }
      case 6: {  // moire: centre, outer diameter, ring thickness, gap, rings, cross-hair, rotation
        const double cx = at(1), cy = at(2), thickness = at(4), gap = at(5);
        double d = at(3);
        for (int ring = 0; ring < static_cast<int>(at(6)) && d > 0; ++ring) {
          if (!spend(8)) return false;
          if (made != nullptr) shapes.push_back(CircleShape(cx, cy, d / 2, at(9), true));
          if (made != nullptr && d / 2 - thickness > 0) shapes.push_back(CircleShape(cx, cy, d / 2 - thickness, at(9), true));
          d -= 2 * (thickness + gap);
        }
        if (!spend(8)) return false;
        if (made == nullptr) break;
        shapes.push_back(Rectangle(cx, cy, at(8), at(7), at(9), true));
        shapes.push_back(Rectangle(cx, cy, at(7), at(8), at(9), true));
        break;
      }
      case 7: {  // thermal: centre, outer and inner diameter, gap, rotation
        const double cx = at(1), cy = at(2), ro = at(3) / 2, ri = at(4) / 2, g = at(5) / 2;
        if (ro <= 0 || g >= ro) break;
        if (!spend(72)) return false;
        if (made == nullptr) break;
        const double oa = std::asin(g / ro), ia = ri > g ? std::asin(g / ri) : Pi / 4;
        for (int q = 0; q < 4; ++q) {
          TMacroShape s;
          const double base = q * Pi / 2;
          constexpr int steps = 8;
          for (int k = 0; k <= steps; ++k) {
            const double a = base + oa + (Pi / 2 - 2 * oa) * k / steps;
            s.Points.push_back(Rotated(cx + ro * std::cos(a), cy + ro * std::sin(a), at(6)));
          }
          if (ri > g) {
            for (int k = steps; k >= 0; --k) {
              const double a = base + ia + (Pi / 2 - 2 * ia) * k / steps;
              s.Points.push_back(Rotated(cx + ri * std::cos(a), cy + ri * std::sin(a), at(6)));
            }
          } else {
            s.Points.push_back(Rotated(cx + g * std::cos(base) - g * std::sin(base),
                                       cy + g * std::sin(base) + g * std::cos(base), at(6)));
          }
          shapes.push_back(s);
        }
        break;
      }
      default:
        error = "the macro " + name + " holds the unknown primitive " + QuotedStart(statement);
        return false;
    }
  }
  return true;
}

}  // namespace

bool FlattenMacro(const TMacro& macro, const std::vector<double>& parameters,
                  std::vector<TMacroShape>& shapes, std::string& error, int64_t* stepsLeft) {
  return WalkMacro(macro, parameters, &shapes, error, stepsLeft);
}

bool CountMacroSteps(const TMacro& macro, const std::vector<double>& parameters, std::string& error,
                     int64_t* stepsLeft) {
  return WalkMacro(macro, parameters, nullptr, error, stepsLeft);
}
