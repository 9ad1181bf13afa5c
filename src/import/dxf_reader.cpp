#include "import/dxf_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "foundation/display_units.h"
#include "foundation/file_dialogs.h"
#include "foundation/file_utils.h"
#include "foundation/geometry_matrix.h"
#include "foundation/import_guard.h"
#include "foundation/stroke_glyphs.h"
#include "foundation/utilities.h"
#include "import/counted_names.h"
#include "platform/paths.h"

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double Radians = Pi / 180.0;

// Editors and some writers put the UTF-8 byte order mark in front of the
// first line; it is no part of the drawing.
constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";
void DropUtf8Mark(std::string& line) {
  if (line.rfind(Utf8Mark, 0) == 0) line.erase(0, Utf8Mark.size());
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool ParseInt(std::string_view s, int32_t& v) {
  s = Trim(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool ParseReal(std::string_view s, double& v) {
  s = Trim(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(v);
}

std::string WithoutBlanks(std::string_view s) {
  std::string out;
  for (char c : s.substr(0, 80))
    if (c != ' ') out += c;
  return out;
}

bool IsGroupCodeLine(std::string_view s) {
  s = Trim(s);
  if (s.empty() || s.size() > 3) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// The groups of one entity, looked up by code.
class TGroups {
 public:
  explicit TGroups(const std::vector<TDxfReader::TGroup>& g) : g_(g) {}
  const TDxfReader::TGroup* Find(int32_t code) const {
    const TDxfReader::TGroup* found = nullptr;
    for (const auto& x : g_)
      if (x.Code == code) found = &x;  // the last one read counts
    return found;
  }
  bool Has(int32_t code) const { return Find(code) != nullptr; }
  bool Real(int32_t code, double& v) const {
    const auto* x = Find(code);
    return x != nullptr && ParseReal(x->Value, v);
  }
  double RealOr(int32_t code, double fallback) const {
    double v = fallback;
    return Real(code, v) ? v : fallback;
  }
  int32_t IntOr(int32_t code, int32_t fallback) const {
    int32_t v = fallback;
    const auto* x = Find(code);
    return x != nullptr && ParseInt(x->Value, v) ? v : fallback;
  }
  std::string_view Text(int32_t code) const {
    const auto* x = Find(code);
    return x != nullptr ? x->Value : std::string_view();
  }

 private:
  const std::vector<TDxfReader::TGroup>& g_;
};

// a x b of two counts, held at most (no product overflows).
int64_t CappedProduct(int64_t a, int64_t b, int64_t most) {
  if (a <= 0 || b <= 0) return 0;
  return a > most / b ? most : std::min(a * b, most);
}

// What an entity costs each time a block that holds it is inserted: one,
// a lightweight polyline its vertices and a text its characters (each
// makes lines of its own), and one more for every 16 groups it carries
// (an entity of a million groups of data is read again at every copy).
int64_t EntityUnits(std::string_view name, const std::vector<TDxfReader::TGroup>& groups) {
  int64_t units = 1 + static_cast<int64_t>(groups.size() / 16);
  if (name == "LWPOLYLINE")
    units = std::max<int64_t>(
        units, std::count_if(groups.begin(), groups.end(), [](const TDxfReader::TGroup& g) { return g.Code == 10; }));
  else if (name == "TEXT")
    units = std::max<int64_t>(units, 1 + static_cast<int64_t>(std::min<std::size_t>(TGroups(groups).Text(1).size(), 255)));
  return units;
}

std::string NestedBlocksText() {
  return "the drawing nests its blocks more than " + std::to_string(ImportNestingLimit) + " deep";
}

}  // namespace

TDxfReader::TDxfReader(const std::string& fileName, double scale) : FileName(fileName), Scale(scale) {}

void TDxfReader::Fail(const TCursor& c, const std::string& what) {
  if (Failed) return;
  Failed = true;
  ErrorText = FileName + ", line " + std::to_string(c.Line) + ": " + what;
  Error(ErrorText);
}

bool TDxfReader::InRange(std::initializer_list<double> values) {
  for (const double v : values) {
    if (std::fabs(v) <= 2147483647.0) continue;
    if (!Failed) {
      Failed = true;
      OutOfRange = true;
      ErrorText = FileName + ", line " + std::to_string(entityLine_) +
                  ": the drawing reaches beyond the largest coordinate a job holds (84.5466 in or "
                  "2147.48 mm); check the drawing units.";
      Error(ErrorText);
    }
    return false;
  }
  return true;
}

bool TDxfReader::ReadGroup(TCursor& c, TGroup& g) {
  auto nextLine = [&c](std::string_view& line) {
    if (c.P >= c.End) return false;
    const char* start = c.P;
    while (c.P < c.End && *c.P != '\n' && *c.P != '\r') ++c.P;
    line = std::string_view(start, static_cast<std::size_t>(c.P - start));
    // LF, CR LF or a lone CR (older systems) ends the line; so does the
    // CR CR LF of a twice-converted transfer. Two lone CRs keep the empty
    // value between them.
    if (c.P < c.End && *c.P == '\r') {
      ++c.P;
      if (c.End - c.P >= 2 && c.P[0] == '\r' && c.P[1] == '\n') ++c.P;
    }
    if (c.P < c.End && *c.P == '\n') ++c.P;
    ++c.Line;
    return true;
  };
  std::string_view code, value;
  if (Failed) return false;
  if (!nextLine(code)) {
    Fail(c, "the drawing ends too early");
    return false;
  }
  if (!ParseInt(code, g.Code)) {
    Fail(c, QuotedStart(Trim(code)) + " is not a group code");
    return false;
  }
  if (!nextLine(value)) {
    Fail(c, "the drawing ends too early");
    return false;
  }
  if (g.Code != 1) value = Trim(value);
  g.Value = value;
  LineCount = c.Line;
  if ((g.Code >= 10 && g.Code <= 59) || (g.Code >= 60 && g.Code <= 79)) {
    double v = 0.0;
    if (!ParseReal(value, v)) {
      Fail(c, QuotedStart(value) + " is not a number");
      return false;
    }
  }
  return true;
}

bool TDxfReader::NextEntity(TCursor& c, std::string_view& name, std::vector<TGroup>& groups) {
  groups.clear();
  TGroup g{};
  do {
    if (!ReadGroup(c, g)) return false;
  } while (g.Code != 0);
  name = g.Value;
  entityLine_ = c.Line - 1;
  if (name == "EOF") return true;  // whatever follows is no part of the drawing
  while (true) {
    const TCursor before = c;
    if (c.P >= c.End) {
      if (c.Bounded || name == "EOF" || name == "ENDSEC" || name == "ENDBLK") return true;
      Fail(c, "the drawing ends inside " + std::string(name));
      return false;
    }
    if (!ReadGroup(c, g)) return false;
    if (g.Code == 0) {
      c = before;
      return true;
    }
    groups.push_back(g);
  }
}

void TDxfReader::SkipToEndOfSection(TCursor& c) {
  std::string_view name;
  std::vector<TGroup> groups;
  while (NextEntity(c, name, groups))
    if (name == "ENDSEC" || name == "EOF") return;
}

void TDxfReader::ReadTables(TCursor& c) {
  std::string_view name;
  std::vector<TGroup> groups;
  bool layerTable = false;
  while (NextEntity(c, name, groups)) {
    if (name == "ENDSEC" || name == "EOF") break;
    if (name == "TABLE") {
      layerTable = TGroups(groups).Text(2) == "LAYER";
    } else if (name == "ENDTAB") {
      if (layerTable) LayerTableDone();
      layerTable = false;
    } else if (name == "LAYER" && layerTable) {
      const std::string layer = WithoutBlanks(TGroups(groups).Text(2));
      if (layerIndex_.find(layer) == layerIndex_.end())
        layerIndex_.emplace(layer, static_cast<int32_t>(LayerNames.size()));
      layerByUpper_.emplace(UpperCaseStr(layer), static_cast<int32_t>(LayerNames.size()));
      LayerNames.push_back(layer);
    }
  }
}

void TDxfReader::ReadBlocks(TCursor& c) {
  std::string_view name;
  std::vector<TGroup> groups;
  while (NextEntity(c, name, groups)) {
    if (name == "ENDSEC" || name == "EOF") return;
    if (name != "BLOCK") continue;
    const TGroups g(groups);
    TBlock block;
    block.BaseX = g.RealOr(10, 0.0);
    block.BaseY = g.RealOr(20, 0.0);
    const std::string blockName(g.Text(2).substr(0, 80));
    block.Body = c;
    TCursor end = c;
    while (NextEntity(c, name, groups)) {
      if (name == "ENDBLK" || name == "ENDSEC" || name == "EOF") break;
      end = c;
    }
    if (Failed) return;
    block.Body.End = end.P;
    block.Body.Bounded = true;
    if (name == "ENDSEC" || name == "EOF") {
      blocks_.emplace(blockName, block);
      blockByUpper_.emplace(UpperCaseStr(blockName), blockName);
      return;
    }
    blocks_.emplace(blockName, block);
    blockByUpper_.emplace(UpperCaseStr(blockName), blockName);
  }
}

void TDxfReader::Read() {
  std::FILE* f = std::fopen(NativePath(FileName).c_str(), "rb");
  if (f == nullptr) {
    Failed = true;
    ErrorText = FileName + ": the file cannot be opened";
    Error(ErrorText);
    return;
  }
  // The drawing is held whole (a block is read again where it is
  // inserted): a file beyond what that may take is refused unread.
  if (FileSizeOf(FileName) > ImportWholeFileLimit()) {
    std::fclose(f);
    Failed = true;
    ErrorText = ImportFileTooLargeText(FileName);
    Error(ErrorText);
    return;
  }
  // The drawing is read in blocks; a line longer than any drawing holds
  // ends the reading there, so a file without line ends is refused at once
  // instead of being read whole first.
  text_.clear();
  std::vector<char> block(kMaxTextLine);
  std::size_t run = 0;
  int32_t line = 1;
  bool afterReturn = false;
  for (std::size_t got; (got = std::fread(block.data(), 1, block.size(), f)) > 0;) {
    for (std::size_t i = 0; i < got; ++i) {
      const char ch = block[i];
      if (ch == '\n' || ch == '\r') {
        if (ch == '\r' || !afterReturn) ++line;
        afterReturn = ch == '\r';
        run = 0;
        continue;
      }
      afterReturn = false;
      if (++run > kMaxTextLine) {
        std::fclose(f);
        text_.clear();
        Fail(TCursor{nullptr, nullptr, line},
             "the line is longer than " + IntToStrGrouped(int32_t(kMaxTextLine)) + " characters");
        return;
      }
    }
    // A file that grows while it is read, or a pipe, stops at the limit too.
    if (static_cast<int64_t>(text_.size() + got) > ImportWholeFileLimit()) {
      std::fclose(f);
      text_.clear();
      Failed = true;
      ErrorText = ImportFileTooLargeText(FileName);
      Error(ErrorText);
      return;
    }
    text_.append(block.data(), got);
  }
  std::fclose(f);
  if (text_.rfind("AutoCAD Binary DXF", 0) == 0) {
    Failed = true;
    ErrorText = FileName + " is a binary DXF file; only ASCII DXF drawings can be read.";
    Error(ErrorText);
    return;
  }
  ReadDrawing();
  // A drawing made on its sheet alone, with no entity in its model, is read
  // from the sheet; otherwise the sheet's entities (title blocks, frames)
  // are only counted.
  if (!Failed && modelEntities_ == 0 && !paperSkipped_.empty()) {
    LayerNames.clear();
    layerIndex_.clear();
    layerByUpper_.clear();
    blocks_.clear();
    blockByUpper_.clear();
    expandedSize_.clear();
    Skipped.clear();
    NotAsDrawn.clear();
    handled_ = 0;
    made_ = 0;
    paperSpace_ = true;
    ReadDrawing();
  }
  for (const auto& [type, count] : paperSkipped_)
    if (!paperSpace_) Skipped[type] += count;
}

void TDxfReader::ReadDrawing() {
  TCursor c{text_.data(), text_.data() + text_.size(), 0};
  if (text_.rfind(Utf8Mark, 0) == 0) c.P += Utf8Mark.size();
  TContext top{IdentityMatrix, std::fabs(Scale), Scale < 0, {}};
  ScaleMatrix({0.0, 0.0}, top.Matrix, Scale, Scale);
  std::string_view name;
  std::vector<TGroup> groups;
  while (!Failed && c.P < c.End && NextEntity(c, name, groups)) {
    if (name == "EOF") break;
    if (name != "SECTION") continue;
    const std::string_view section = TGroups(groups).Text(2);
    if (section == "TABLES") ReadTables(c);
    else if (section == "BLOCKS") ReadBlocks(c);
    else if (section == "ENTITIES") ReadEntities(c, top, "ENDSEC");
    else SkipToEndOfSection(c);
  }
}

void TDxfReader::ReadEntities(TCursor& c, const TContext& ctx, std::string_view stop) {
  std::string_view name;
  std::vector<TGroup> groups;
  int32_t count = 0;
  while (c.P < c.End && NextEntity(c, name, groups)) {
    if (name == stop || name == "ENDSEC" || name == "EOF") return;
    if (ctx.Chain.empty() && !paperSpace_ && TGroups(groups).IntOr(67, 0) == 1) {
      // On the sheet, not in the model; a polyline's vertices and an
      // insertion's attributes go with their entity.
      if (name != "VERTEX" && name != "SEQEND" && name != "ATTRIB")
        ++paperSkipped_[std::string(name) + " (paper space)"];
      continue;
    }
    if (ctx.Chain.empty() && name != "VIEWPORT") ++modelEntities_;
    HandleEntity(name, groups, c, ctx);
    // Copies of blocks that make more than a CAD drawing holds: the file is
    // refused now, not after all of them.
    if (!ctx.Chain.empty() && MakesOneDrawing() && made_ > static_cast<int64_t>(TPendingCad::MostItems))
      Fail(c, "the drawing makes more than " + IntToStrGrouped(static_cast<int32_t>(TPendingCad::MostItems)) +
                  " entities through its blocks; a CAD drawing holds no more");
    if (Failed) return;
    if (++count % 256 == 0) Progress();
  }
}

int32_t TDxfReader::LayerOf(const std::vector<TGroup>& groups) {
  const TGroups g(groups);
  if (!g.Has(8)) return 0;
  const std::string name = WithoutBlanks(g.Text(8));
  const auto it = layerIndex_.find(name);
  if (it != layerIndex_.end()) return it->second;
  // Names are the same in any case: "outline" is the table's OUTLINE.
  const auto other = layerByUpper_.find(UpperCaseStr(name));
  if (other != layerByUpper_.end()) return other->second;
  int32_t number = 0;
  return ParseInt(name, number) && !name.empty() && name.find(' ') == std::string::npos ? number : 0;
}

// ---- Geometry through the context ---------------------------------------------------------

void TDxfReader::Line(const TContext& ctx, int32_t layer, double x1, double y1, double x2, double y2) {
  TransformPoint(x1, y1, x1, y1, ctx.Matrix);
  TransformPoint(x2, y2, x2, y2, ctx.Matrix);
  if (!InRange({x1, y1, x2, y2})) return;
  AddLine(layer, x1, y1, x2, y2);
  ++made_;
  ExtendBounds(x1, y1);
  ExtendBounds(x2, y2);
}

void TDxfReader::Circle(const TContext& ctx, int32_t layer, double cx, double cy, double r) {
  TransformPoint(cx, cy, cx, cy, ctx.Matrix);
  r *= ctx.RadiusScale;
  if (!InRange({cx - r, cy - r, cx + r, cy + r})) return;
  if (ctx.Stretched) ++NotAsDrawn["CIRCLE"];
  AddCircle(layer, cx, cy, r);
  ++made_;
  ExtendBounds(cx - r, cy - r);
  ExtendBounds(cx + r, cy + r);
}

// A counter-clockwise arc in drawing units. The end directions go through
// the matrix, so a rotated block turns the arc with it and a mirrored one
// reflects it (its ends are then swapped to keep it counter-clockwise).
void TDxfReader::Arc(const TContext& ctx, int32_t layer, double cx, double cy, double r, double a1,
                     double a2) {
  const TMatrix3& m = ctx.Matrix;
  auto direction = [&m](double a) {
    const double dx = std::cos(a * Radians), dy = std::sin(a * Radians);
    return std::atan2(m(1, 2) * dx + m(2, 2) * dy, m(1, 1) * dx + m(2, 1) * dy) / Radians;
  };
  double b1 = direction(a1), b2 = direction(a2);
  if (ctx.Mirrored) std::swap(b1, b2);
  b1 = NormalizeAngle360(b1);
  b2 = NormalizeAngle360(b2);
  double x = cx, y = cy;
  TransformPoint(x, y, x, y, m);
  const double rr = r * ctx.RadiusScale;
  const double sx = x + rr * std::cos(b1 * Radians), sy = y + rr * std::sin(b1 * Radians);
  const double ex = x + rr * std::cos(b2 * Radians), ey = y + rr * std::sin(b2 * Radians);
  if (!InRange({x - rr, y - rr, x + rr, y + rr})) return;
  if (ctx.Stretched) ++NotAsDrawn["ARC"];
  AddArc(layer, sx, sy, ex, ey, x, y, b1, b2);
  ++made_;
}

void TDxfReader::BulgeSegment(const TContext& ctx, int32_t layer, double x1, double y1, double x2,
                              double y2, double bulge) {
  // A vertex repeated (a closed polyline that also ends on its first
  // vertex) makes no segment, not a point.
  if (x1 == x2 && y1 == y2) return;
  if (bulge == 0.0) {
    Line(ctx, layer, x1, y1, x2, y2);
    return;
  }
  const double alpha = std::atan(bulge) * 720.0 / Pi;  // included angle, degrees
  const double chord = std::hypot(x2 - x1, y2 - y1);
  if (chord == 0.0) return;
  const double r = (chord / 2) / std::sin(alpha / 2 * Radians);
  const double theta = std::atan2(y2 - y1, x2 - x1) / Radians;
  const double thetaC = theta + 90 - alpha / 2;
  const double cx = x1 + r * std::cos(thetaC * Radians), cy = y1 + r * std::sin(thetaC * Radians);
  const double a1 = std::atan2(y1 - cy, x1 - cx) / Radians, a2 = std::atan2(y2 - cy, x2 - cx) / Radians;
  if (alpha > 0) Arc(ctx, layer, cx, cy, std::fabs(r), a1, a2);
  else Arc(ctx, layer, cx, cy, std::fabs(r), a2, a1);
}

// ---- Entities -------------------------------------------------------------------------------

// The frame of an entity drawn in its own coordinate system (extrusion
// direction 210/220/230 other than +Z): its X and Y axes by the arbitrary
// axis rule, lifted by the entity's elevation and projected onto the
// drawing plane, ahead of the context.
static bool ObjectFrame(const TDxfReader::TContext& ctx, double nx, double ny, double nz,
                        double elevation, TDxfReader::TContext& out) {
  const double length = std::sqrt(nx * nx + ny * ny + nz * nz);
  if (length == 0.0 || (nx == 0.0 && ny == 0.0 && nz > 0.0)) return false;
  nx /= length;
  ny /= length;
  nz /= length;
  double ax, ay, az;
  if (std::fabs(nx) < 1.0 / 64 && std::fabs(ny) < 1.0 / 64) {
    ax = nz;  // (0, 1, 0) x N
    ay = 0.0;
    az = -nx;
  } else {
    ax = -ny;  // (0, 0, 1) x N
    ay = nx;
    az = 0.0;
  }
  const double al = std::sqrt(ax * ax + ay * ay + az * az);
  ax /= al;
  ay /= al;
  az /= al;
  const double bx = ny * az - nz * ay, by = nz * ax - nx * az;  // N x Ax
  out = ctx;
  TMatrix3 frame = IdentityMatrix;
  frame(1, 1) = ax;
  frame(1, 2) = ay;
  frame(2, 1) = bx;
  frame(2, 2) = by;
  frame(3, 1) = elevation * nx;
  frame(3, 2) = elevation * ny;
  ConcatMatrix(ctx.Matrix, frame);
  out.Matrix = frame;
  if (ax * by - ay * bx < 0) out.Mirrored = !ctx.Mirrored;
  // A plane tilted against the drawing's shows its circles as ellipses.
  if (std::fabs(nz) < 1.0 - 1e-9) out.Stretched = true;
  return true;
}

void TDxfReader::HandleEntity(std::string_view name, const std::vector<TGroup>& groups, TCursor& c,
                              const TContext& outer) {
  const TGroups g(groups);
  // Only planar entities are drawn in their own frame: the points of a
  // LINE, a POINT, a 3D polyline or a mesh are world points whatever their
  // extrusion direction says.
  const bool planar = name == "ARC" || name == "CIRCLE" || name == "LWPOLYLINE" || name == "TRACE" ||
                      name == "SOLID" || name == "TEXT" || name == "INSERT" ||
                      (name == "POLYLINE" && (g.IntOr(70, 0) & (8 | 16 | 64)) == 0);
  TContext framed;
  const bool ownFrame = planar && g.Has(230) && ObjectFrame(outer, g.RealOr(210, 0.0), g.RealOr(220, 0.0),
                                                  g.RealOr(230, 1.0), g.RealOr(30, g.RealOr(38, 0.0)), framed);
  const TContext& ctx = ownFrame ? framed : outer;
  // Nested and arrayed blocks can multiply a small file without bound: what
  // a block's copies do counts by its cost.
  handled_ += ctx.Chain.empty() ? 1 : EntityUnits(name, groups);
  if (handled_ > MaxHandledEntities) {
    Fail(c, "the drawing expands to more than " + std::to_string(MaxHandledEntities) +
         " entities through its blocks");
    return;
  }
  const int32_t layer = LayerOf(groups);
  double x1, y1, x2, y2, x3, y3, x4, y4, r, a1, a2;
  if (name == "LINE" || name == "3DLINE") {
    if (g.Real(10, x1) && g.Real(20, y1) && g.Real(11, x2) && g.Real(21, y2))
      Line(ctx, layer, x1, y1, x2, y2);
  } else if (name == "CIRCLE") {
    if (g.Real(10, x1) && g.Real(20, y1) && g.Real(40, r)) Circle(ctx, layer, x1, y1, r);
  } else if (name == "ARC") {
    if (g.Real(10, x1) && g.Real(20, y1) && g.Real(40, r) && g.Real(50, a1) && g.Real(51, a2)) {
      if (a1 == a2) Circle(ctx, layer, x1, y1, r);
      else Arc(ctx, layer, x1, y1, r, a1, a2);
    }
  } else if (name == "POINT") {
    if (g.Real(10, x1) && g.Real(20, y1)) {
      TransformPoint(x1, y1, x1, y1, ctx.Matrix);
      if (!InRange({x1, y1})) return;
      AddPoint(layer, x1, y1);
      ++made_;
      ExtendBounds(x1, y1);
    }
  } else if (name == "TRACE" || name == "SOLID") {
    if (g.Real(10, x1) && g.Real(20, y1) && g.Real(11, x2) && g.Real(21, y2) && g.Real(12, x3) &&
        g.Real(22, y3) && g.Real(13, x4) && g.Real(23, y4)) {
      Line(ctx, layer, x1, y1, x3, y3);
      if (name == "TRACE" || x3 != x4 || y3 != y4) Line(ctx, layer, x3, y3, x4, y4);
      Line(ctx, layer, x4, y4, x2, y2);
      Line(ctx, layer, x2, y2, x1, y1);
    }
  } else if (name == "POLYLINE") {
    ReadPolyline(groups, c, ctx, layer);
  } else if (name == "LWPOLYLINE") {
    struct TVertex {
      double X = 0.0, Y = 0.0, Bulge = 0.0;
    };
    std::vector<TVertex> v;
    for (const TGroup& gr : groups) {
      double value = 0.0;
      if (gr.Code == 10) {
        v.emplace_back();
        ParseReal(gr.Value, v.back().X);
      } else if (!v.empty() && (gr.Code == 20 || gr.Code == 42) && ParseReal(gr.Value, value)) {
        (gr.Code == 20 ? v.back().Y : v.back().Bulge) = value;
      }
    }
    for (std::size_t k = 1; k < v.size(); ++k)
      BulgeSegment(ctx, layer, v[k - 1].X, v[k - 1].Y, v[k].X, v[k].Y, v[k - 1].Bulge);
    if ((g.IntOr(70, 0) & 1) != 0 && v.size() > 1)
      BulgeSegment(ctx, layer, v.back().X, v.back().Y, v.front().X, v.front().Y, v.back().Bulge);
  } else if (name == "INSERT") {
    Insert(groups, ctx, layer);
  } else if (name == "TEXT") {
    StrokeText(groups, ctx, layer);
  } else if (name == "ATTDEF" && !ctx.Chain.empty()) {
    // A block's attribute definitions are templates: an insertion shows
    // its ATTRIBs (counted), never these.
  } else if (name != "SEQEND" && name != "VIEWPORT") {
    // Everything else is left out, and the user is told (a polyline's end
    // and the paper space views draw nothing).
    ++Skipped[CountedName(name)];
  }
}

std::string NotAsDrawnNotice(const std::map<std::string, int64_t>& entities) {
  if (entities.empty()) return {};
  int64_t total = 0;
  const std::string types = CountedNames(entities, total);
  return std::to_string(total) + (total == 1 ? " entity was" : " entities were") +
         " not imported as drawn (ellipses in the drawing, imported as circles and arcs of the mean "
         "radius):\n" + types;
}

std::string SkippedEntitiesNotice(const std::map<std::string, int64_t>& skipped) {
  if (skipped.empty()) return {};
  int64_t total = 0;
  const std::string types = CountedNames(skipped, total);
  return std::to_string(total) + (total == 1 ? " entity" : " entities") +
         " of types that are not imported " + (total == 1 ? "was" : "were") + " skipped:\n" + types;
}

void TDxfReader::ReadPolyline(const std::vector<TGroup>& groups, TCursor& c, const TContext& ctx,
                              int32_t layer) {
  const int32_t flags = TGroups(groups).IntOr(70, 0);
  // A polygon mesh (16) or a polyface mesh (64) is a surface: its vertices
  // are no path, and it is told as skipped.
  const bool mesh = (flags & (16 | 64)) != 0;
  struct TVertex {
    double X, Y, Bulge;
    bool Frame;  // a control point of a spline-fit polyline's frame
  };
  std::vector<TVertex> points;
  std::string_view name;
  std::vector<TGroup> vertex;
  int64_t vertices = 0;
  while (c.P < c.End) {
    const TCursor before = c;
    if (!NextEntity(c, name, vertex)) return;
    if (name == "SEQEND") break;
    if (name != "VERTEX") {
      // Some writers leave out the SEQEND: the polyline ends at the next
      // entity, which is read as it stands.
      c = before;
      break;
    }
    ++vertices;
    const TGroups v(vertex);
    double x, y;
    if (mesh || !v.Real(10, x) || !v.Real(20, y)) continue;
    points.push_back({x, y, v.RealOr(42, 0.0), (v.IntOr(70, 0) & 16) != 0});
  }
  // The vertices of a block's polyline are read again at every copy.
  if (!ctx.Chain.empty()) handled_ += vertices;
  if (mesh) {
    ++Skipped[(flags & 64) != 0 ? "POLYLINE (polyface mesh)" : "POLYLINE (polygon mesh)"];
    return;
  }
  // The control frame of a spline-fit polyline is not drawn, only the
  // fitted curve; a polyline that holds nothing but its frame draws that.
  const bool fitted = std::any_of(points.begin(), points.end(), [](const TVertex& p) { return !p.Frame; });
  if (fitted)
    points.erase(std::remove_if(points.begin(), points.end(), [](const TVertex& p) { return p.Frame; }),
                 points.end());
  for (std::size_t k = 1; k < points.size() && !Failed; ++k)
    BulgeSegment(ctx, layer, points[k - 1].X, points[k - 1].Y, points[k].X, points[k].Y, points[k - 1].Bulge);
  if (Failed || points.empty() || (flags & 1) == 0) return;
  const TVertex &first = points.front(), &last = points.back();
  if (last.X != first.X || last.Y != first.Y || last.Bulge != 0.0)
    BulgeSegment(ctx, layer, last.X, last.Y, first.X, first.Y, last.Bulge);
}

const TDxfReader::TBlock* TDxfReader::FindBlock(const std::string& name) const {
  auto it = blocks_.find(name);
  if (it == blocks_.end()) {
    // Names are the same in any case.
    const auto other = blockByUpper_.find(UpperCaseStr(name));
    if (other != blockByUpper_.end()) it = blocks_.find(other->second);
  }
  return it == blocks_.end() ? nullptr : &it->second;
}

int64_t TDxfReader::ExpandedSize(const std::string& name, std::vector<std::string>& chain) {
  constexpr int64_t Huge = int64_t(1) << 50;
  const auto known = expandedSize_.find(name);
  if (known != expandedSize_.end()) return known->second;
  const TBlock* block = FindBlock(name);
  if (block == nullptr) return 0;
  const std::string link = UpperCaseStr(name);
  for (const std::string& other : chain)
    if (other == link) return 0;
  if (chain.size() >= static_cast<std::size_t>(ImportNestingLimit)) {
    Fail(TCursor{nullptr, nullptr, LineCount}, NestedBlocksText());
    return Huge;
  }
  chain.push_back(link);
  int64_t size = 0;
  TCursor c = block->Body;
  std::string_view entity;
  std::vector<TGroup> groups;
  while (c.P < c.End && NextEntity(c, entity, groups) && size < Huge) {
    if (entity != "INSERT") {
      size += EntityUnits(entity, groups);
      continue;
    }
    const TGroups g(groups);
    const int64_t copies = int64_t(std::max(1, g.IntOr(70, 1))) * std::max(1, g.IntOr(71, 1));
    // Every copy costs at least one, of an empty block too.
    const int64_t each = std::max<int64_t>(1, ExpandedSize(std::string(g.Text(2).substr(0, 80)), chain));
    size += 1 + CappedProduct(each, copies, Huge);
  }
  chain.pop_back();
  size = std::min(size, Huge);
  expandedSize_[name] = size;
  return size;
}

void TDxfReader::Insert(const std::vector<TGroup>& groups, const TContext& ctx, int32_t) {
  const TGroups g(groups);
  const std::string name(g.Text(2).substr(0, 80));
  const std::string link = UpperCaseStr(name.substr(0, 40));
  for (const std::string& other : ctx.Chain)
    if (other == link) return;  // a block inserting itself
  const TBlock* found = FindBlock(name);
  if (found == nullptr) {
    ++Skipped["INSERT (block not defined)"];
    return;
  }
  if (ctx.Chain.size() >= static_cast<std::size_t>(ImportNestingLimit)) {
    Fail(TCursor{nullptr, nullptr, LineCount}, NestedBlocksText());
    return;
  }
  double px, py;
  if (!g.Real(10, px) || !g.Real(20, py)) return;
  const double sx = g.RealOr(41, 1.0), sy = g.RealOr(42, 1.0), rotation = g.RealOr(50, 0.0);
  const int32_t columns = std::max(1, g.IntOr(70, 1)), rows = std::max(1, g.IntOr(71, 1));
  const double columnStep = g.RealOr(44, 0.0), rowStep = g.RealOr(45, 0.0);
  const TBlock& block = *found;
  std::vector<std::string> chain;
  // Every copy costs at least one, of an empty block too.
  const int64_t each = std::max<int64_t>(1, ExpandedSize(name, chain));
  if (Failed) return;
  const int64_t size = CappedProduct(each, int64_t{columns} * rows, MaxHandledEntities + 1);
  if (handled_ + size > MaxHandledEntities) {
    TCursor here{nullptr, nullptr, LineCount};
    Fail(here, "the drawing expands to more than " + std::to_string(MaxHandledEntities) +
                   " entities through its blocks");
    return;
  }
  for (int32_t row = 0; row < rows && !Failed; ++row)
    for (int32_t column = 0; column < columns && !Failed; ++column) {
      TContext inner{IdentityMatrix, ctx.RadiusScale * (std::fabs(sx) + std::fabs(sy)) / 2,
                     ctx.Mirrored != (sx * sy < 0), ctx.Chain,
                     ctx.Stretched || std::fabs(std::fabs(sx) - std::fabs(sy)) >
                                          1e-9 * std::max(std::fabs(sx), std::fabs(sy))};
      TranslateMatrix(inner.Matrix, -block.BaseX, -block.BaseY);
      ScaleMatrix({0.0, 0.0}, inner.Matrix, sx, sy);
      TranslateMatrix(inner.Matrix, column * columnStep, row * rowStep);
      if (rotation != 0.0) RotateMatrix({0.0, 0.0}, inner.Matrix, -rotation);
      TranslateMatrix(inner.Matrix, px, py);
      ConcatMatrix(ctx.Matrix, inner.Matrix);
      inner.Chain.push_back(link);
      TCursor body = block.Body;
      const int64_t before = handled_;
      ReadEntities(body, inner, "ENDBLK");
      if (handled_ == before) ++handled_;
    }
}

void TDxfReader::StrokeText(const std::vector<TGroup>& groups, const TContext& ctx, int32_t layer) {
  const TGroups g(groups);
  double x, y, h;
  if (!g.Real(10, x) || !g.Real(20, y) || !g.Real(40, h) || !g.Has(1)) return;
  const double w = g.RealOr(41, 1.0), r = g.RealOr(50, 0.0);
  const std::string text(g.Text(1).substr(0, 255));
  {
    double ix = x, iy = y, cx = 0.9 * h, cy = 0.8 * h * w;
    TransformPoint(ix, iy, ix, iy, ctx.Matrix);
    TransformPoint(cx, cy, cx, cy, ctx.Matrix);
    if (AddText(text, SaturatingRound(ix), SaturatingRound(iy), SaturatingRound(cx),
                SaturatingRound(cy), r))
      return;
  }
  const double insertX = std::round(100 * x), insertY = std::round(100 * y);
  double originX = insertX, originY = insertY;
  const double stepX = std::round(100 * 0.8 * h * w) / 15, stepY = std::round(100 * 0.9 * h) / 15;
  const double cosR = std::cos(r * Radians), sinR = std::sin(r * Radians);
  auto place = [&](double gx, double gy, double& px, double& py) {
    px = originX + std::round(gx * stepX);
    py = originY + std::round(gy * stepY);
    if (r != 0.0) {
      const double dx = px - insertX, dy = py - insertY;
      px = insertX + dx * cosR - dy * sinR;
      py = insertY + dx * sinR + dy * cosR;
    }
  };
  for (char ch : text) {
    const char* glyph = nullptr;
    for (const char* record : ViewStrokeFont)
      if (record[0] == ch) {
        glyph = record;
        break;
      }
    if (glyph != nullptr) {
      double penX = 0, penY = 0;
      const char* p = glyph + 2;
      while (*p != '\0' && *p != 'E') {
        const char command = *p++;
        int gx = 0, gy = 0;
        while (*p >= '0' && *p <= '9') gx = gx * 10 + (*p++ - '0');
        if (*p == ',') ++p;
        while (*p >= '0' && *p <= '9') gy = gy * 10 + (*p++ - '0');
        while (*p == ' ') ++p;
        double px, py;
        place(gx, gy, px, py);
        if (command == 'D') Line(ctx, layer, penX * 0.01, penY * 0.01, px * 0.01, py * 0.01);
        penX = px;
        penY = py;
      }
    }
    // The next glyph stands one cell further along the unturned baseline:
    // place() turns every point about the insertion point, the glyph's
    // offset with it (turned once, the text runs along its angle).
    originX = std::round(originX + 15 * stepX);
  }
}

// ---- Header units ----------------------------------------------------------------------------

bool DxfDeclaredUnits(const std::string& fileName, bool& inches, double& metricFactor) {
  std::FILE* f = std::fopen(NativePath(fileName).c_str(), "rb");
  if (f == nullptr) return false;
  std::string codeLine, value, variable;
  bool inHeader = false;
  int32_t insUnits = 0, measurement = -1;
  int32_t code = 0;
  bool first = true;
  // Group pairs up to the end of the header; a drawing whose first section
  // is another one declares nothing.
  while (ReadTextLineLimited(f, codeLine) == lrLine && ReadTextLineLimited(f, value) == lrLine) {
    if (first) DropUtf8Mark(codeLine);
    first = false;
    if (!ParseInt(codeLine, code)) break;
    const std::string clean = CleanUpperCase(value);
    if (code == 0 && clean != "SECTION") break;
    if (code == 2 && !inHeader) {
      if (clean != "HEADER") break;
      inHeader = true;
      continue;
    }
    if (code == 9) {
      variable = clean;
      continue;
    }
    if (code == 70 && variable == "$INSUNITS") ParseInt(value, insUnits);
    if (code == 70 && variable == "$MEASUREMENT") ParseInt(value, measurement);
    if (code == 70) variable.clear();
  }
  std::fclose(f);
  if (insUnits == 0 && (measurement == 0 || measurement == 1)) insUnits = measurement == 0 ? 1 : 4;
  switch (insUnits) {
    case 1: inches = true; metricFactor = 1; return true;
    case 4: inches = false; metricFactor = 1; return true;
    case 5: inches = false; metricFactor = 10; return true;
    case 6: inches = false; metricFactor = 1000; return true;
    default: return false;
  }
}

// ---- Detection ------------------------------------------------------------------------------

double DetectDxf(const std::string& fileName) {
  if (FileIsNotText(fileName)) return 0.0;
  std::FILE* f = std::fopen(NativePath(fileName).c_str(), "rb");
  if (f == nullptr) return 0.0;
  // Lines are read up to the longest a drawing holds: a file without line
  // ends is not read whole just to be turned down.
  auto readLine = [f](std::string& text) { return ReadTextLineLimited(f, text) == lrLine; };
  std::string line;
  int32_t lines = 0, run = 0, codeParity = 1;
  bool start = true;
  auto codeIs = [](const std::string& text, int32_t expected) {
    int32_t v = -1;
    return IsGroupCodeLine(text) && ParseInt(text, v) && v == expected;
  };
  // Comment groups (999) ahead of the first section are passed over (a
  // few thousand at most: a file of them is not read to its end).
  std::string comment;
  bool first = true;
  for (int comments = 0; comments < 4000 && readLine(line); ++comments) {
    if (first) DropUtf8Mark(line);
    first = false;
    if (!codeIs(line, 999)) break;
    if (!readLine(comment)) break;
    line.clear();
  }
  bool pending = !line.empty() || !std::feof(f);
  while (lines <= 100 && (pending || readLine(line))) {
    pending = false;
    ++lines;
    if (lines == 1 && line.size() > 78) break;
    if (lines <= 4 && start) {
      const std::string clean = CleanUpperCase(line);
      if (lines == 1) start = codeIs(line, 0);
      if (lines == 2) start = clean == "SECTION";
      if (lines == 3) start = codeIs(line, 2);
      if (lines == 4) start = clean == "HEADER" || clean == "TABLES" || clean == "BLOCKS" ||
                              clean == "ENTITIES";
      // The usual start, unless the file ends right there.
      if (lines == 4 && start && readLine(line)) {
        std::fclose(f);
        return 0.9;
      }
      if (lines == 4 && start) break;
    }
    if (lines % 2 == codeParity) {
      if (IsGroupCodeLine(line)) {
        ++run;
      } else {
        run = 0;
        codeParity = 1 - codeParity;
      }
    }
  }
  std::fclose(f);
  if (lines == 1 && line.size() > 78) return 0.0;
  return lines > 0 ? static_cast<double>(run) / lines : 0.0;
}
