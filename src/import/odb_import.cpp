#include "import/odb_import.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "import/counted_names.h"
#include "import/import_host.h"
#include "model/drill_database.h"
#include "model/drill_entities.h"
#include "model/entity_store.h"
#include "model/import_transaction.h"
#include "model/rout_database.h"
#include "model/rout_sequence.h"
#include "model/tool_tables.h"
#include "platform/events.h"
#include "platform/message_box.h"
#include "tapein/drill_import.h"

namespace {

constexpr double kUnitsPerInch = 25400000.0;

// Values pinned to the edge of the job's range since the import began:
// told after it, never silent.
int64_t pinnedValues = 0;

int32_t Units(double inches) {
  const double v = std::nearbyint(inches * kUnitsPerInch);
  if (!(v > -2147483647.0) || v > 2147483647.0) ++pinnedValues;
  if (!(v > -2147483647.0)) return -2147483647;
  if (v > 2147483647.0) return 2147483647;
  return static_cast<int32_t>(v);
}

// A size already in units, rounded half away from zero and pinned as Units
// pins.
int32_t RoundedUnits(double units) {
  const double v = std::round(units);
  if (!(v > -2147483647.0) || v > 2147483647.0) ++pinnedValues;
  if (!(v > -2147483647.0)) return -2147483647;
  if (v > 2147483647.0) return 2147483647;
  return static_cast<int32_t>(v);
}

// The numbers of a symbol's dimension text, one after another.
std::vector<double> SymbolNumbers(const std::string& text) {
  std::vector<double> out;
  const std::string s = NormaliseSymbolText(text);
  std::size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && s[i] == ' ') ++i;
    std::size_t j = i;
    while (j < s.size() && s[j] != ' ') ++j;
    if (j > i) out.push_back(StrToRealLenient(s.substr(i, j - i)));
    i = j;
  }
  return out;
}

}  // namespace

TValorImport::TValorImport() {
  pinnedValues = 0;
  for (int32_t i = 1; i <= DrillEntityCount && DRDB != nullptr; ++i) {
    const uint32_t word = DRDB->WordAt(i);
    if (word == 0 || SlotDeleted(word)) continue;
    if (TDrillEntity* e = DRDB->EntityAt(i)) {
      const int32_t tool = e->GetToolNumber();
      if (tool >= 1 && tool <= 1000) ToolInUse[static_cast<std::size_t>(tool)] = true;
    }
  }
  FirstNewHole = DrillEntityCount + 1;
  LayerMap.fill(-1);
}

uint8_t TValorImport::MapLayer(int32_t position, uint8_t group) {
  const uint8_t first = group == 0 ? 30 : group == 1 ? 40 : 0;
  const uint8_t last = group == 0 ? 39 : group == 1 ? 44 : 29;
  for (uint8_t l = first; l <= last; ++l)
    if (LayerMap[l] == position) return l;
  for (uint8_t l = first; l <= last; ++l)
    if (LayerMap[l] < 0) {
      LayerMap[l] = position;
      LayerNames[l] = LayerNameByRow(position, LayerNames[l]).substr(0, 20);
      return l;
    }
  return first;
}

int32_t TValorImport::ToolIndex(uint8_t layer, int32_t num) {
  const uint64_t key = uint64_t{layer} << 32 | static_cast<uint32_t>(num);
  if (const auto known = toolIndexAt_.find(key); known != toolIndexAt_.end())
    return toolIndices_[known->second].Index;
  toolIndexAt_.emplace(key, toolIndices_.size());
  toolIndices_.push_back({layer, num, ++highestToolIndex_});
  return highestToolIndex_;
}

void TValorImport::Counted() {
  if (storeWatch_.Refused()) Stop = true;
  if (++entityCount_ > 500) {
    entityCount_ = 0;
    ProcessMessages();
    ImportHost().UpdateView();
  }
}

void TValorImport::Error(const std::string& message) { ErrorBox(message); }

void TValorImport::Line(int32_t layer, const std::string&, double x1, double y1, double x2,
                        double y2) {
  cad_.Line(MapLayer(layer, 2), Units(x1), Units(y1), Units(x2), Units(y2));
  Counted();
}

void TValorImport::Arc(int32_t layer, const std::string&, double sx, double sy, double ex,
                       double ey, double cx, double cy) {
  const uint8_t l = MapLayer(layer, 2);
  if (Units(sx) == Units(ex) && Units(sy) == Units(ey)) {
    // Start on end: the whole circle.
    cad_.CircleThrough(l, Units(cx), Units(cy), Units(sx), Units(sy));
  } else {
    cad_.Arc(l, Units(sx), Units(sy), Units(ex), Units(ey), Units(cx), Units(cy));
  }
  Counted();
}

void TValorImport::Flash(int32_t layer, int32_t radius, double x, double y) {
  const uint8_t l = MapLayer(layer, 2);
  if (radius == 0) cad_.Point(l, Units(x), Units(y));
  else cad_.Circle(l, Units(x), Units(y), radius);
  Counted();
}

void TValorImport::Pad(int32_t layer, const std::string& symbol, double x, double y) {
  const int32_t shape = SymbolShapeIndex(symbol);
  std::size_t letters = 0;
  switch (shape) {
    case ssRound: case ssSquare: case ssNull: letters = 1; break;
    case ssDiamond: letters = 2; break;
    case ssOct: case ssTri: letters = 3; break;
    case ssRect: case ssOval: letters = 4; break;
    case ssHexL: case ssHexS: letters = 5; break;
    case ssDonutR: case ssDonutS: letters = 7; break;
    case ssDonutRc: letters = 8; break;
    case ssDonutO: letters = 7; break;
    default: {
      // Counted by shape (the text before its sizes), or by name for a
      // symbol of the job's own.
      std::string kind = LowerCaseStr(symbol.substr(0, symbol.find_first_of("0123456789")));
      ++SkippedSymbols[kind.empty() ? "(no symbol)" : CountedName(kind)];
      return;
    }
  }
  const std::string sizes = symbol.substr(std::min(letters, symbol.size()));
  std::vector<double> d = SymbolNumbers(sizes);
  d.resize(4, 0.0);
  const double unit = SymbolUnit / kUnitsPerInch;  // inches per symbol unit
  const double h = 0.5 * unit;
  // The pad's own offsets (dx, dy) to the drawing: mirrored in X first,
  // then turned clockwise about the pad's centre.
  const double turn = -PadAngle * M_PI / 180.0;
  const double cosT = std::cos(turn), sinT = std::sin(turn);
  const bool mirror = PadMirror;
  auto at = [&](double dx, double dy, double& px, double& py) {
    if (mirror) dx = -dx;
    px = x + dx * cosT - dy * sinT;
    py = y + dx * sinT + dy * cosT;
  };
  auto seg = [&](double dx1, double dy1, double dx2, double dy2) {
    if (dx1 == dx2 && dy1 == dy2) return;
    double x1, y1, x2, y2;
    at(dx1, dy1, x1, y1);
    at(dx2, dy2, x2, y2);
    Line(layer, symbol, x1, y1, x2, y2);
  };
  // A counter-clockwise arc of the pad; a mirror turns it clockwise, so its
  // ends are exchanged.
  auto arc = [&](double sx, double sy, double ex, double ey, double cx, double cy) {
    double x1, y1, x2, y2, xc, yc;
    at(sx, sy, x1, y1);
    at(ex, ey, x2, y2);
    at(cx, cy, xc, yc);
    if (mirror) Arc(layer, symbol, x2, y2, x1, y1, xc, yc);
    else Arc(layer, symbol, x1, y1, x2, y2, xc, yc);
  };
  auto polygon = [&](std::initializer_list<std::pair<double, double>> corners) {
    const std::vector<std::pair<double, double>> p(corners);
    for (std::size_t i = 0; i < p.size(); ++i)
      seg(p[i].first, p[i].second, p[(i + 1) % p.size()].first, p[(i + 1) % p.size()].second);
  };
  auto box = [&](double hw, double hh) { polygon({{-hw, -hh}, {hw, -hh}, {hw, hh}, {-hw, hh}}); };
  auto radius = [&](double diameter) {
    return RoundedUnits(diameter * SymbolUnit * 0.5);
  };
  // Two straight sides and a half circle at each end, across the longer
  // direction; a circle when both are equal.
  auto oval = [&](double hw, double hh) {
    if (hw == hh) {
      Flash(layer, RoundedUnits(hw * kUnitsPerInch), x, y);
    } else if (hw > hh) {
      const double a = hw - hh;
      seg(-a, -hh, a, -hh);
      arc(a, -hh, a, hh, a, 0);
      seg(a, hh, -a, hh);
      arc(-a, hh, -a, -hh, -a, 0);
    } else {
      const double a = hh - hw;
      seg(hw, -a, hw, a);
      arc(hw, a, -hw, a, 0, a);
      seg(-hw, a, -hw, -a);
      arc(-hw, -a, hw, -a, 0, -a);
    }
  };
  switch (shape) {
    case ssRound: Flash(layer, radius(d[0]), x, y); break;
    case ssSquare: box(d[0] * h, d[0] * h); break;
    case ssRect: {
      // Corners rounded ("xr") or cut ("xc") by the third size, all four or
      // those the fourth names (1 upper right, 2 upper left, 3 lower left,
      // 4 lower right).
      const std::string upper = UpperCaseStr(sizes);
      const bool rounded = upper.find("XR") != std::string::npos;
      const bool cut = upper.find("XC") != std::string::npos;
      const double hw = d[0] * h, hh = d[1] * h;
      const double c = (rounded || cut) ? std::min({d[2] * unit, hw, hh}) : 0.0;
      if (c <= 0.0) {
        box(hw, hh);
        break;
      }
      std::array<double, 5> k{0.0, c, c, c, c};
      // The corners named by the digits of a whole number ("134").
      if (d[3] > 0 && d[3] < 1e9) {
        k = {0.0, 0.0, 0.0, 0.0, 0.0};
        for (const char ch : std::to_string(static_cast<int64_t>(d[3])))
          if (ch >= '1' && ch <= '4') k[static_cast<std::size_t>(ch - '0')] = c;
      }
      seg(-hw + k[3], -hh, hw - k[4], -hh);
      seg(hw, -hh + k[4], hw, hh - k[1]);
      seg(hw - k[1], hh, -hw + k[2], hh);
      seg(-hw, hh - k[2], -hw, -hh + k[3]);
      auto corner = [&](double k0, double sx, double sy, double ex, double ey, double cx, double cy) {
        if (k0 == 0.0) return;
        if (rounded) arc(sx, sy, ex, ey, cx, cy);
        else seg(sx, sy, ex, ey);
      };
      corner(k[4], hw - c, -hh, hw, -hh + c, hw - c, -hh + c);
      corner(k[1], hw, hh - c, hw - c, hh, hw - c, hh - c);
      corner(k[2], -hw + c, hh, -hw, hh - c, -hw + c, hh - c);
      corner(k[3], -hw, -hh + c, -hw + c, -hh, -hw + c, -hh + c);
      break;
    }
    case ssDiamond: polygon({{0, d[1] * h}, {-d[0] * h, 0}, {0, -d[1] * h}, {d[0] * h, 0}}); break;
    case ssOct: {
      const double w = d[0] * h, t = d[1] * h, c = d[2] * unit;
      polygon({{-w + c, -t}, {w - c, -t}, {w, -t + c}, {w, t - c}, {w - c, t}, {-w + c, t}, {-w, t - c},
               {-w, -t + c}});
      break;
    }
    case ssHexL: {
      // Pointed left and right; the third size is the corner's width.
      const double w = d[0] * h, t = d[1] * h, c = d[2] * unit;
      polygon({{-w, 0}, {-w + c, -t}, {w - c, -t}, {w, 0}, {w - c, t}, {-w + c, t}});
      break;
    }
    case ssHexS: {
      // Pointed up and down; the third size is the corner's height.
      const double w = d[0] * h, t = d[1] * h, c = d[2] * unit;
      polygon({{0, -t}, {w, -t + c}, {w, t - c}, {0, t}, {-w, t - c}, {-w, -t + c}});
      break;
    }
    case ssDonutR:
      Flash(layer, radius(d[0]), x, y);
      Flash(layer, radius(d[1]), x, y);
      break;
    case ssDonutS:
      box(d[0] * h, d[0] * h);
      box(d[1] * h, d[1] * h);
      break;
    case ssDonutRc:
      // Width, height and the ring's line width: the outer and the inner
      // rectangle.
      box(d[0] * h, d[1] * h);
      if (d[0] > 2 * d[2] && d[1] > 2 * d[2]) box(d[0] * h - d[2] * unit, d[1] * h - d[2] * unit);
      break;
    case ssOval: oval(d[0] * h, d[1] * h); break;
    case ssDonutO:
      // Width, height and the ring's line width: the outer and the inner
      // oval.
      oval(d[0] * h, d[1] * h);
      if (d[0] > 2 * d[2] && d[1] > 2 * d[2]) oval(d[0] * h - d[2] * unit, d[1] * h - d[2] * unit);
      break;
    case ssTri:
      // Base and height, the base below, about the middle of its height.
      polygon({{-d[0] * h, -d[1] * h}, {d[0] * h, -d[1] * h}, {0, d[1] * h}});
      break;
    default: Flash(layer, 0, x, y); break;  // NULL: a point
  }
}

void TValorImport::Hole(int32_t layer, int32_t tool, double x, double y) {
  if (DRDB == nullptr) return;
  const uint8_t l = MapLayer(layer, 0);
  const int32_t index = ToolIndex(l, tool);
  if (index <= 1000 && DRDB->AddHoleOnLayer(Units(x), Units(y), l, index, false) != 0)
    ++HolesStored;
  Counted();
}

void TValorImport::RoutStart(int32_t layer, int32_t tool, uint8_t side, double x, double y) {
  routLayer_ = MapLayer(layer, 1);
  routX_ = Units(x);
  routY_ = Units(y);
  routNewPath_ = true;
  pendingSide_ = side;
  pendingTool_ = tool;
  UseRoutTool(tool);
}

// A path or hole of the layer makes its tool the layer's current tool and
// compensation index: what is drawn next on the layer takes it.
void TValorImport::UseRoutTool(int32_t tool) {
  if (IsRoutLayer(routLayer_) && ValidToolNumber(tool)) RoutLayerTools[routLayer_] = {tool, tool};
}

void TValorImport::RoutHole(int32_t layer, int32_t tool, double x, double y) {
  routLayer_ = MapLayer(layer, 1);
  routNewPath_ = true;
  UseRoutTool(tool);
  if (RTDB != nullptr && RTDB->AddHole({Units(x), Units(y)}, routLayer_, tool) != 0)
    ++RoutEntitiesAdded;
  Counted();
}

void TValorImport::RoutLineTo(double x, double y) {
  if (RTDB == nullptr) return;
  if (routNewPath_ && RTDB->AddJog({routX_, routY_}, routLayer_, pendingSide_, pendingTool_,
                                   pendingTool_) != 0)
    ++RoutEntitiesAdded;
  routNewPath_ = false;
  routX_ = Units(x);
  routY_ = Units(y);
  if (RTDB->AddLine({routX_, routY_}, routLayer_, 0, 0) != 0) ++RoutEntitiesAdded;
  Counted();
}

void TValorImport::RoutArcTo(bool clockwise, double ex, double ey, double cx, double cy) {
  if (RTDB == nullptr) return;
  if (routNewPath_ && RTDB->AddJog({routX_, routY_}, routLayer_, pendingSide_, pendingTool_,
                                   pendingTool_) != 0)
    ++RoutEntitiesAdded;
  routNewPath_ = false;
  routX_ = Units(ex);
  routY_ = Units(ey);
  if (RTDB->AddArc({routX_, routY_}, routLayer_, 0, clockwise, {Units(cx), Units(cy)}, 0) != 0)
    ++RoutEntitiesAdded;
  Counted();
}

namespace {

// "<count> <thing or things><middle><was or were><tail>:" and the list of
// names with their counts; empty when none.
std::string CountedNotice(const std::map<std::string, int64_t>& counts, const char* one, const char* many,
                          const char* middle, const char* tail) {
  if (counts.empty()) return {};
  int64_t total = 0;
  const std::string list = CountedNames(counts, total);
  std::string head = CountText(total);
  head[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(head[0])));
  return head + " " + (total == 1 ? one : many) + middle + (total == 1 ? "was" : "were") + tail + ":\n" + list;
}

}  // namespace

std::string SkippedSymbolsNotice(const std::map<std::string, int64_t>& skipped) {
  return CountedNotice(skipped, "pad", "pads", " of symbols that are not imported ", " skipped");
}

std::string SkippedFeaturesNotice(const std::map<std::string, int64_t>& skipped) {
  return CountedNotice(skipped, "feature", "features", " of kinds that are not imported ", " skipped");
}

std::string RepeatedStepsNotice(const std::map<std::string, int64_t>& repeated) {
  return CountedNotice(repeated, "copy", "copies", " of steps placed by step and repeat ",
                       " not imported with the steps that place them; choose those steps to import them");
}

namespace {

// The numbers refused beyond those shown one by one; empty when none.
std::string RefusedNumbersNotice(int64_t refused) {
  const int64_t more = refused - TValorReader::kRefusalsShown;
  if (more <= 0) return {};
  return std::to_string(more) + (more == 1 ? " more number out of range was" : " more numbers out of range were") +
         " refused after the first " + std::to_string(TValorReader::kRefusalsShown) + " shown.";
}

}  // namespace

bool TValorImport::Finish(TImportTransaction& transaction) {
  if (storeWatch_.Refused()) {
    // A full job: what the import added goes again, holes (never made
    // live), rout entities with the room they took, and the CAD entities
    // held back.
    cad_.Clear();
    transaction.TakeBack();
    NothingImported("<" + JobPath + ">: " + storeWatch_.Text());
    return false;
  }
  // A drawing without room for the CAD entities refuses the whole import
  // (the box says nothing was imported): the holes and rout paths read with
  // them go too.
  if (cad_.Count() > 0 && !cad_.Commit()) {
    transaction.TakeBack();
    return false;
  }
  std::string notice = SkippedSymbolsNotice(SkippedSymbols);
  for (const std::string& more : {SkippedFeaturesNotice(SkippedFeatures), RepeatedStepsNotice(RepeatedSteps),
                                  RefusedNumbersNotice(RefusedNumbers)})
    if (!more.empty()) notice += (notice.empty() ? "" : "\n\n") + more;
  if (pinnedValues > 0)
    notice += (notice.empty() ? "" : "\n\n") + std::to_string(pinnedValues) +
              " coordinates lie beyond the largest a job holds (84.5466 in or 2147.48 mm) and were "
              "pinned to its edge; check the job's units.";
  if (!notice.empty()) InformationBox(notice);
  if (HolesStored > 0 && DRDB != nullptr) {
    int32_t inUse = 0;
    for (int32_t t = 1000; t >= 1 && inUse == 0; --t)
      if (ToolInUse[static_cast<std::size_t>(t)]) inUse = t;
    int32_t highest = 0;
    for (const TToolIndex& t : toolIndices_) highest = std::max(highest, t.Index);
    if (int64_t{inUse} + highest > 1000) {
      ErrorBox(std::to_string(inUse) + " tool numbers are already in use and the job needs " +
               std::to_string(highest) + " more;\r\nthe tool table ends at tool 1000. " +
               "No drill holes were imported.");
      HolesStored = 0;
      // The holes held back go with their room and their journal records:
      // the drill side is as the import found it.
      transaction.TakeBackDrill();
    } else {
      if (inUse >= 1) {
        ToolOffset = inUse;
        InformationBox(std::to_string(inUse) + " tool numbers are already in use.\r\n" +
                       "New tool numbers will be offset by " + std::to_string(ToolOffset));
      }
      DRDB->ActivateFrom(FirstNewHole, ToolOffset);
      // Undo takes them back with the rest of the import (Drill Import
      // journals them itself once they are placed).
      if (DrillUndo != nullptr)
        for (int32_t i = FirstNewHole; i <= DrillEntityCount; ++i) DrillUndo->RecordAdd(i);
      int32_t layer = 0, num = 0, size = 0;
      FirstTool(false);
      while (NextTool(layer, num, size)) {
        const uint8_t l = MapLayer(layer, 0);
        const int32_t index = ToolOffset + ToolIndex(l, num);
        if (index >= 1 && index <= 1000) ToolTable[index].Diameter = size;
      }
    }
  }
  int32_t layer = 0, num = 0, size = 0;
  FirstTool(true);
  while (NextTool(layer, num, size)) {
    const uint8_t l = MapLayer(layer, 1);
    if (num < 1 || num > 1000) continue;
    RoutToolPages[l][num].Diameter = size;
    RoutToolPages[l][num].CompDiameter = size;
  }
  ImportHost().UpdateView();
  transaction.Commit();
  return true;
}

// ---- The layer dialog -----------------------------------------------------------------------

TValorLayerDialog::TValorLayerDialog(const std::vector<std::string>& layers,
                                     const std::vector<std::string>& steps)
    : TForm("TValorLayerDialog"),
      PadsCheck(Add<TPanel>("ButtonPanel").Add<TCheckBox>("PadsCheck", "&Pads")),
      HolesCheck(Get<TPanel>("ButtonPanel").Add<TCheckBox>("HolesCheck", "&Holes")),
      LinesCheck(Get<TPanel>("ButtonPanel").Add<TCheckBox>("LinesCheck", "&Lines")),
      ArcsCheck(Get<TPanel>("ButtonPanel").Add<TCheckBox>("ArcsCheck", "&Arcs")),
      SurfacesCheck(Get<TPanel>("ButtonPanel").Add<TCheckBox>("SurfacesCheck", "&Surfaces")),
      layers_(static_cast<int32_t>(layers.size())),
      steps_(static_cast<int32_t>(std::min<std::size_t>(steps.size(), 32))) {
  SetCaption("Import Valor Layers");
  // The bottom panel: the feature switches, and under them OK and Cancel
  // centred on the panel.
  TPanel& buttons = Get<TPanel>("ButtonPanel");
  buttons.SetAlign(alBottom);
  buttons.SetBevel(bvNone);
  buttons.SetFlow(TFlow::Horizontal);
  TButton& ok = buttons.Add<TButton>("OKButton", "OK", mrOk).SetDefault(true);
  TButton& cancel = buttons.Add<TButton>("CancelButton", "Cancel", mrCancel).SetCancel(true);
  const TPoint switchSize = PadsCheck.PreferredSize();
  const TPoint buttonSize = ok.PreferredSize();
  const int buttonTop = switchSize.Y + 12;
  buttons.SetHeight(buttonTop + buttonSize.Y + 8);
  buttons.OnResize = [&ok, &cancel, buttonSize, buttonTop](TControl& panel) {
    ok.SetBounds(panel.Width() / 2 - 85, buttonTop, buttonSize.X, buttonSize.Y);
    cancel.SetBounds(panel.Width() / 2 + 10, buttonTop, buttonSize.X, buttonSize.Y);
  };
  // The layer names, the grid of cells and the step names stand side by
  // side: each cell in its layer's row and under its step's number, which
  // heads the grid's column; a name column as wide as the longest name (16
  // characters at most) shows every name whole.
  int32_t nameWidth = 74;
  for (int32_t l = 1; l <= layers_; ++l)
    nameWidth = std::max(nameWidth, FormsBackend().TextExtent(layers[static_cast<std::size_t>(l - 1)]).X + 8);
  // The top panel: "Step Number:" with each step's number after it, over
  // its column of cells.
  TPanel& numbers = Add<TPanel>("StepnumberPanel");
  numbers.SetBevel(bvNone);
  TLabel& numberLabel = numbers.Add<TLabel>("StepNumberLabel", "Step Number:");
  const TPoint numberLabelSize = numberLabel.PreferredSize();
  numberLabel.SetBounds(4, 2, numberLabelSize.X, 15);
  // The rows scroll under the step numbers once there are more than 32.
  TScrollBox& rows = Add<TScrollBox>("LayerScrollBox");
  TPanel& grid = rows.Add<TPanel>("GridPanel");
  grid.SetFlow(TFlow::Horizontal);
  grid.SetBevel(bvNone);
  TPanel& names = grid.Add<TPanel>("LayerNamePanel");
  names.SetBevel(bvNone);
  names.Add<TLabel>("LayerLabel", "Layers").SetBounds(4, 0, nameWidth, 15);
  TPanel& cells = grid.Add<TPanel>("CellPanel");
  cells.SetBevel(bvNone);
  TPanel& stepPanel = grid.Add<TPanel>("StepPanel");
  stepPanel.Add<TLabel>("StepLabel", "Steps").SetBounds(4, 0, 150, 15);
  // The columns are as wide as a step's number needs, inside its raised
  // frame and the caption's margins, so that two digits read apart.
  const int pitch = std::max(16, FormsBackend().TextExtent(std::to_string(steps_)).X + 10);
  std::vector<TPanel*> stepNumbers;
  for (int32_t s = 1; s <= steps_; ++s) {
    TPanel& number = numbers.Add<TPanel>("Step" + std::to_string(s));
    number.SetCaption(std::to_string(s));
    number.SetBounds(numberLabelSize.X + 8 + (pitch + 2) * s, 2, pitch, 15);
    Clickable(number, [this, s] { ToggleColumn(s); });
    stepNumbers.push_back(&number);
    TPanel& name = stepPanel.Add<TPanel>("StepName" + std::to_string(s));
    name.SetCaption(std::to_string(s) + " " + steps[static_cast<std::size_t>(s - 1)]);
    name.SetBounds(4, 16 * s, 150, 15);
    Clickable(name, [this, s] { ToggleColumn(s); });
  }
  // Once laid out, each number stands over its column.
  grid.OnResize = [&numbers, &cells, stepNumbers, pitch](TControl&) {
    const auto left = [](const TControl& c) {
      int x = 0;
      for (const TControl* p = &c; p != nullptr && p->Parent() != nullptr; p = p->Parent()) x += p->Left();
      return x;
    };
    for (std::size_t k = 0; k < stepNumbers.size(); ++k) {
      // Centred over its column's box (14 wide).
      const int x = left(cells) - left(numbers) + pitch * int(k + 1) + 7 - pitch / 2;
      stepNumbers[k]->SetBounds(x, 2, pitch, 15);
    }
  };
  for (int32_t l = 1; l <= layers_; ++l) {
    TPanel& label = names.Add<TPanel>("Layer" + std::to_string(l));
    label.SetCaption(layers[static_cast<std::size_t>(l - 1)]);
    label.SetBounds(4, 16 * l, nameWidth, 15);
    Clickable(label, [this, l] { ToggleRow(l); });
    for (int32_t s = 1; s <= steps_; ++s) {
      TCheckBox& box = cells.Add<TCheckBox>("Cell" + std::to_string(l) + "_" + std::to_string(s));
      box.SetBounds(pitch * s, 16 * l, 14, 14);
      // A box has no room for a caption: its hint names its layer and step.
      box.SetHint(layers[static_cast<std::size_t>(l - 1)] + " in step " + std::to_string(s) + " " +
                  steps[static_cast<std::size_t>(s - 1)]);
      cells_.push_back(&box);
    }
  }
  constexpr int32_t kRowsShown = 32;
  rows.SetHeight(rows.Extent().Y - 16 * std::max(0, layers_ - kRowsShown));
}

void TValorLayerDialog::Clickable(TPanel& label, std::function<void()> toggle) {
  label.OnClick = [toggle = std::move(toggle)](TControl&) { toggle(); };
  label.OnMouseDown = [this](TControl& c, TMouseButton, TShiftState, int, int) { LabelMouseDown(c); };
  label.OnMouseUp = [this](TControl& c, TMouseButton, TShiftState, int, int) { LabelMouseUp(c); };
}

void TValorLayerDialog::LabelMouseDown(TControl& label) {
  if (auto* panel = dynamic_cast<TPanel*>(&label)) panel->SetBevel(bvLowered);
}

void TValorLayerDialog::LabelMouseUp(TControl& label) {
  if (auto* panel = dynamic_cast<TPanel*>(&label)) panel->SetBevel(bvRaised);
}

TCheckBox& TValorLayerDialog::Cell(int32_t layer, int32_t step) {
  return *cells_[static_cast<std::size_t>((layer - 1) * steps_ + (step - 1))];
}

void TValorLayerDialog::Toggle(const std::vector<TCheckBox*>& boxes) {
  const auto checked = std::count_if(boxes.begin(), boxes.end(), [](TCheckBox* b) { return b->Checked(); });
  const bool clear = checked * 2 > static_cast<long>(boxes.size());
  for (TCheckBox* b : boxes) b->SetChecked(!clear);
}

void TValorLayerDialog::ToggleRow(int32_t layer) {
  std::vector<TCheckBox*> row;
  for (int32_t s = 1; s <= steps_; ++s) row.push_back(&Cell(layer, s));
  Toggle(row);
}

void TValorLayerDialog::ToggleColumn(int32_t step) {
  std::vector<TCheckBox*> column;
  for (int32_t l = 1; l <= layers_; ++l) column.push_back(&Cell(l, step));
  Toggle(column);
}

bool ExecuteValorLayerDialog(const std::vector<std::string>& layers,
                             const std::vector<std::string>& steps, TValorSelection& selection) {
  TImportModal bracket;
  TValorLayerDialog dialog(layers, steps);
  dialog.PadsCheck.SetChecked(selection.Pads);
  dialog.HolesCheck.SetChecked(selection.Holes);
  dialog.LinesCheck.SetChecked(selection.Lines);
  dialog.ArcsCheck.SetChecked(selection.Arcs);
  dialog.SurfacesCheck.SetChecked(selection.Surfaces);
  const int32_t nl = static_cast<int32_t>(layers.size());
  const int32_t ns = static_cast<int32_t>(std::min<std::size_t>(steps.size(), 32));
  selection.Selected.resize(layers.size());
  for (int32_t l = 1; l <= nl; ++l)
    for (int32_t s = 1; s <= ns; ++s)
      dialog.Cell(l, s).SetChecked(selection.Selected[static_cast<std::size_t>(l - 1)][static_cast<std::size_t>(s - 1)]);
  if (dialog.ShowModal() != mrOk) return false;
  selection.Pads = dialog.PadsCheck.Checked();
  selection.Holes = dialog.HolesCheck.Checked();
  selection.Lines = dialog.LinesCheck.Checked();
  selection.Arcs = dialog.ArcsCheck.Checked();
  selection.Surfaces = dialog.SurfacesCheck.Checked();
  for (int32_t l = 1; l <= nl; ++l)
    for (int32_t s = 1; s <= ns; ++s)
      selection.Selected[static_cast<std::size_t>(l - 1)][static_cast<std::size_t>(s - 1)] = dialog.Cell(l, s).Checked();
  return true;
}

namespace {

// False, after a box that says so, when OK in the layer dialog leaves
// nothing to read: no layer of any step ticked, or no kind of feature.
bool SelectionReadsSomething(const TValorSelection& selection, std::size_t layers, std::size_t steps,
                             const std::string& jobName) {
  bool ticked = false;
  for (std::size_t l = 0; l < layers; ++l)
    for (std::size_t s = 0; s < steps; ++s) ticked = ticked || selection.Selected[l][s];
  const bool kinds = selection.Pads || selection.Holes || selection.Lines || selection.Arcs || selection.Surfaces;
  if (ticked && kinds) return true;
  NothingImported("<" + jobName + ">: no " + (ticked ? "kind of feature" : "layer") +
                  " was ticked in \"Import Valor Layers\".");
  return false;
}

}  // namespace

// ---- The entry ------------------------------------------------------------------------------

std::string ValorJobName(const std::string& fileName) {
  std::string name = fileName;
  for (const char* tail : {"MATRIX", "NESTING"}) {
    std::string upper = UpperCaseStr(name);
    std::replace(upper.begin(), upper.end(), '\\', '/');
    const std::string key = std::string("/") + tail;
    std::size_t at = upper.find(key + "/" + tail);
    if (at == std::string::npos && std::string(tail) == "NESTING") at = upper.find(key);
    if (at != std::string::npos) name = name.substr(0, at);
  }
  return name;
}

namespace {

// What LayersLeftOutNotice and StepsLeftOutNotice say, of layers or steps.
std::string LeftOutNotice(const std::string& jobName, const char* what, std::size_t offered,
                          const std::vector<std::string>& leftOut) {
  constexpr std::size_t kNamesShown = 20;
  std::string names;
  for (std::size_t i = 0; i < leftOut.size() && i < kNamesShown; ++i) names += (i ? ", " : "") + leftOut[i];
  if (leftOut.size() > kNamesShown) names += " and " + std::to_string(leftOut.size() - kNamesShown) + " more";
  return "<" + jobName + "> has " + std::to_string(offered + leftOut.size()) + " " + what +
         "; \"Import Valor Layers\" offers the first " + std::to_string(offered) + ". Not offered: " + names + ".";
}

}  // namespace

std::string LayersLeftOutNotice(const std::string& jobName, const std::vector<std::string>& leftOut) {
  return LeftOutNotice(jobName, "layers", kValorLayersOffered, leftOut);
}

std::string StepsLeftOutNotice(const std::string& jobName, const std::vector<std::string>& leftOut) {
  return LeftOutNotice(jobName, "steps", kValorStepsOffered, leftOut);
}

void ImportValorJob(const std::string& fileName) {
  // Whatever the import adds stays only when it is read whole.
  TImportTransaction transaction;
  const uint8_t layerBefore = CurrentLayer;
  CurrentLayer = 40;
  TValorImport job;
  std::string message;
  if (!job.Init(fileName, message, kOdbNoVerify)) {
    ErrorBox("The valor read object failed to init with the following error:\r\n<" + message + ">");
    CurrentLayer = layerBefore;
    return;
  }
  std::vector<std::string> layers, steps;
  std::string name;
  job.FirstStep();
  while (steps.size() < kValorStepsOffered && job.NextStepName(name, 16)) steps.push_back(name);
  std::vector<std::string> stepsLeftOut;
  while (job.NextStepName(name, 16)) stepsLeftOut.push_back(name);
  job.FirstLayer();
  // Every layer of a board is offered, so that none (a drill layer last of
  // many) is left out unseen; a matrix of more layers than any board has
  // names those it leaves out.
  while (layers.size() < kValorLayersOffered && job.NextLayerName(name, 16)) layers.push_back(name);
  std::vector<std::string> leftOut;
  while (job.NextLayerName(name, 16)) leftOut.push_back(name);
  if (!leftOut.empty()) InformationBox(LayersLeftOutNotice(ValorJobName(fileName), leftOut));
  if (!stepsLeftOut.empty()) InformationBox(StepsLeftOutNotice(ValorJobName(fileName), stepsLeftOut));
  TValorSelection selection;
  if (ExecuteValorLayerDialog(layers, steps, selection) &&
      SelectionReadsSomething(selection, layers.size(), steps.size(), ValorJobName(fileName))) {
    job.SetFeatureKinds(selection.Pads, selection.Lines, selection.Arcs, selection.Holes,
                        selection.Surfaces);
    for (int32_t s = 1; s <= static_cast<int32_t>(steps.size()) && !job.Stop; ++s) {
      bool any = false;
      for (std::size_t l = 0; l < layers.size(); ++l) any = any || selection.Selected[l][static_cast<std::size_t>(s - 1)];
      if (!any) continue;
      job.ReadStepProfile(s);
      for (int32_t l = 1; l <= static_cast<int32_t>(layers.size()) && !job.Stop; ++l)
        if (selection.Selected[static_cast<std::size_t>(l - 1)][static_cast<std::size_t>(s - 1)]) job.ReadStepLayer(l, s);
    }
    job.Finish(transaction);
  }
  CurrentLayer = layerBefore;
  if (RTDB != nullptr) RTDB->ResumeDrawing();
}
