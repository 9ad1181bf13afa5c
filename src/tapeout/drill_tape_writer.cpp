#include "tapeout/drill_tape_writer.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "foundation/display_units.h"
#include "foundation/nc_format.h"
#include "foundation/utilities.h"
#include "model/drill_database.h"
#include "model/drill_entities.h"
#include "model/entity_store.h"
#include "model/hit_patterns.h"
#include "platform/events.h"
#include "platform/message_box.h"
#include "tapeout/rout_tape_writer.h"
#include "model/tool_tables.h"

int64_t TDrillTapeProgram::HitCount() const {
  const int32_t cusp = DrillCuspLimit();
  int64_t n = 0;
  for (const TDrillTapeTool& t : Tools) {
    // A slot, circle or text the machine drills from its one line is
    // counted in hits as the tool table counts it.
    auto hits = [&](const TDrillTapeItem& item) -> int64_t {
      switch (item.Kind) {
        case TDrillTapeItemKind::Slot:
          return CountSlotHits(item.Points[0], item.Points[1], t.Diameter, cusp);
        case TDrillTapeItemKind::Circle:
          return CountCircleHits(item.Points[0], item.Diameter / 2, t.Diameter, cusp);
        case TDrillTapeItemKind::Text:
          return CountTextHits(item.Text);
        default:
          return static_cast<int64_t>(item.Points.size());
      }
    };
    for (const TDrillTapeItem& item : t.Items) n += hits(item);
    for (const TDrillTapePattern& p : t.Patterns)
      for (const TDrillTapeItem& item : p.Items) n += hits(item) * (1 + p.Copies);
  }
  return n;
}

namespace {

TDrillTapeLayerMask LayerMaskHook;

constexpr uint32_t kAllDrillLayers = 0x80000000u | 0x3FFu;

// ---- Collection ------------------------------------------------------------------------

class TCollectHits : public TDrilledSlotPattern {
 public:
  TCollectHits(TIntPoint a, TIntPoint b, int32_t diameter, int32_t cusp,
               std::vector<TIntPoint>& out, std::vector<TIntPoint>& pilots)
      : TDrilledSlotPattern(0, a, b, diameter, cusp), Out(out), Pilots(pilots) {}
  void EmitHit(int32_t x, int32_t y) override { Out.push_back({x, y}); }
  void EmitPilotHit(int32_t x, int32_t y) override { Pilots.push_back({x, y}); }
  std::vector<TIntPoint>& Out;
  std::vector<TIntPoint>& Pilots;
};

class TCollectCircleHits : public TDrilledCirclePattern {
 public:
  TCollectCircleHits(TIntPoint c, int32_t radius, int32_t diameter, int32_t cusp,
                     std::vector<TIntPoint>& out)
      : TDrilledCirclePattern(c.X, c.Y, radius, diameter, cusp), Out(out) {}
  void EmitHit(int32_t x, int32_t y) override { Out.push_back({x, y}); }
  std::vector<TIntPoint>& Out;
};

class TCollectTextHits : public TDrilledTextPattern {
 public:
  TCollectTextHits(const std::string& text, int32_t diameter, bool vertical, TIntPoint origin,
                   std::vector<TIntPoint>& out)
      : TDrilledTextPattern(text, diameter, 1, vertical), Origin(origin), Out(out) {}
  void EmitHit(int32_t x, int32_t y) override {
    Out.push_back({ClampCompToInt(int64_t{Origin.X} + x), ClampCompToInt(int64_t{Origin.Y} + y)});
  }
  TIntPoint Origin;
  std::vector<TIntPoint>& Out;
};

// The item of an entity at the given points (first point; a slot's second).
// An expanded slot is drilled the way the slot algorithm settings ask; the
// hits of its pilot drill (pilotDiameter above 0) go to pilots.
TDrillTapeItem MakeItem(TDrillEntity& e, const std::vector<TIntPoint>& points,
                        const TMakeTapeDefaults& options, int32_t diameter, int32_t cusp,
                        int32_t pilotDiameter, std::vector<TIntPoint>& pilots) {
  TDrillTapeItem item;
  switch (e.GetType()) {
    case etDrillSlot:
      if (options.ExpandSlots) {
        TCollectHits hits(points[0], points[1], diameter, cusp, item.Points, pilots);
        GenerateSlotHits(hits, DRDB->SlotAlgorithm, pilotDiameter);
      } else {
        item.Kind = TDrillTapeItemKind::Slot;
        item.Points = {points[0], points[1]};
      }
      break;
    case etDrillCircle:
      if (options.ExpandCircles) {
        TCollectCircleHits hits(points[0], e.GetRadius(), diameter, cusp, item.Points);
        hits.Generate();
      } else {
        item.Kind = TDrillTapeItemKind::Circle;
        item.Points = {points[0]};
        item.Diameter = static_cast<int32_t>(std::min<int64_t>(2 * int64_t{e.GetRadius()}, 2147483647));
      }
      break;
    case etDrillText: {
      std::string text;
      e.GetString(text);
      if (options.ExpandDrilledText) {
        TCollectTextHits hits(text, diameter, e.GetVertical(), points[0], item.Points);
        hits.Generate();
      } else {
        item.Kind = TDrillTapeItemKind::Text;
        item.Points = {points[0]};
        item.Text = text;
        item.Vertical = e.GetVertical();
      }
      break;
    }
    default:
      item.Points = {points[0]};
      break;
  }
  return item;
}

std::vector<TIntPoint> EntityPoints(TDrillEntity& e) {
  TIntPoint p;
  e.GetPoint(p);
  if (e.GetType() != etDrillSlot) return {p};
  TIntPoint q;
  e.GetSecondPoint(q);
  return {p, q};
}

// ---- Tape lines --------------------------------------------------------------------------

class TDrillTapeBuilder {
 public:
  TDrillTapeBuilder(const TDrillFormatRecord& format, const TMakeTapeDefaults& options,
                    std::vector<std::string>& lines, std::vector<std::string>& errors)
      : f_(format), o_(options), lines_(lines), errors_(errors) {}

  bool Build(const TDrillTapeProgram& program, const TSwapTapeFrame& frame);
  // The line that closes the tape's header block ("%"); the writer puts the
  // export filter's own close there. npos when the tape has no header.
  std::size_t CloseLine = std::string::npos;

 private:
  int32_t IntegerDigits() const { return f_.Metric ? f_.MetricIntegerDigits : f_.IntegerDigits; }
  int32_t DecimalDigits() const { return f_.Metric ? f_.MetricDecimalDigits : f_.DecimalDigits; }
  double UnitsPerTapeUnit() const { return static_cast<double>(UnitsFactorOf(f_.Metric)); }
  std::string FormatName() const {
    return std::string(f_.Metric ? "metric " : "inch ") + IntToShortStr(IntegerDigits()) + "." +
           IntToShortStr(DecimalDigits());
  }

  // The tape steps (units of the last decimal) of a database length.
  bool Steps(double units, int64_t& steps) const {
    const int32_t d = DecimalDigits();
    if (d < 0 || d > 10) return false;
    const double scaled = units / UnitsPerTapeUnit() * PowersOfTen[d];
    if (!std::isfinite(scaled) || std::fabs(scaled) > 9.0e15) return false;
    steps = static_cast<int64_t>(std::nearbyint(scaled));
    return true;
  }
  bool Word(char letter, int64_t steps, std::string& out) {
    std::string text;
    const int32_t d = DecimalDigits();
    if (d < 0 || d > 10 ||
        !FormatTapeDigits(f_.ZerosUsed, IntegerDigits(), d, static_cast<double>(steps) / PowersOfTen[d], text))
      return false;
    out += letter;
    out += text;
    return true;
  }
  // "X..Y.." of a point as the job holds it, absolute or from the last
  // point. The G93 word ahead of the program states the panel origin; the
  // points are not moved by it, as the tape import (Resolve G93 off) and
  // the rout tape writer take them.
  bool Point(const TIntPoint& p, std::string& out);
  // "X..Y.." of a vector (pattern offsets, the G93 origin), always as it
  // is; false, with nothing reported, when it does not fit.
  bool Vector(int64_t x, int64_t y, std::string& out);
  void Problem(const std::string& text) {
    if (errors_.size() < 20) errors_.push_back(text);
    else if (errors_.size() == 20) errors_.push_back("...");
  }
  void Item(const TDrillTapeItem& item);
  bool CheckTools(const TDrillTapeProgram& program);
  std::string SizeText(int32_t diameter, bool& fits) const;
  // "H" and the tool's hit limit, a plain count; nothing without a limit.
  static std::string HitLimit(const TDrillTapeTool& t) {
    return t.MaxHits > 0 ? "H" + IntToShortStr(t.MaxHits) : std::string();
  }

  const TDrillFormatRecord& f_;
  const TMakeTapeDefaults& o_;
  std::vector<std::string>& lines_;
  std::vector<std::string>& errors_;
  TUncarriedTapeTexts uncarried_;
  int32_t tool_ = 0;  // the tool whose items are being written
  int64_t lastX_ = 0, lastY_ = 0;
  bool pointFault_ = false;
};

std::string TDrillTapeBuilder::SizeText(int32_t diameter, bool& fits) const {
  // Sizes carry one decimal more than a coordinate in inches (0.0135) and as
  // many as the unit's digits in millimetres.
  const int32_t decimals = f_.Metric ? std::max<int32_t>(3, DecimalDigits()) : std::max<int32_t>(4, DecimalDigits());
  TNCFormatStatus status = TNCFormatStatus::Fits;
  const double value = diameter / UnitsPerTapeUnit();
  const std::string text = FormatDecimalNumber(decimals, value, &status);
  const double limit = std::pow(10.0, IntegerDigits());
  fits = status == TNCFormatStatus::Fits && value < limit &&
         std::nearbyint(value * PowersOfTen[std::min(decimals, 10)]) >= 1.0;
  return text;
}

bool TDrillTapeBuilder::CheckTools(const TDrillTapeProgram& program) {
  bool ok = true;
  for (const TDrillTapeTool& t : program.Tools) {
    // T<tool><offset> holds two digits of tool: T100 would read as tool 1.
    if (t.Tool < 1 || t.Tool > 99) {
      Problem("Tool T" + IntToShortStr(t.Tool) +
              " cannot be written: tape tool numbers run from 1 to 99.");
      ok = false;
    }
    if (o_.OutputToolDiameters && t.Diameter <= 0) {
      // No size at all is a gap in the tool table, not a format too narrow.
      Problem("Tool T" + IntToShortStr(t.Tool) +
              " has no size: give it one in the tool table before writing the tape.");
      ok = false;
    } else if (o_.OutputToolDiameters) {
      bool fits = false;
      const std::string text = SizeText(t.Diameter, fits);
      if (!fits) {
        Problem("Tool T" + IntToShortStr(t.Tool) + " size " + text +
                " does not fit the drill output format " + FormatName() + ".");
        ok = false;
      }
    }
  }
  return ok;
}

bool TDrillTapeBuilder::Point(const TIntPoint& p, std::string& out) {
  int64_t tx = 0, ty = 0, sx = 0, sy = 0;
  ToTapeAxes(f_.Version, p.X, p.Y, tx, ty);
  if (Steps(static_cast<double>(tx), sx) && Steps(static_cast<double>(ty), sy)) {
    const int64_t wx = f_.Absolute ? sx : sx - lastX_;
    const int64_t wy = f_.Absolute ? sy : sy - lastY_;
    if (Word('X', wx, out) && Word('Y', wy, out)) {
      lastX_ = sx;
      lastY_ = sy;
      return true;
    }
  }
  if (!pointFault_)
    Problem("The point " + IntToShortStr(p.X) + "," + IntToShortStr(p.Y) +
            " does not fit the drill output format " + FormatName() + ".");
  pointFault_ = true;
  return false;
}

bool TDrillTapeBuilder::Vector(int64_t x, int64_t y, std::string& out) {
  int64_t tx = 0, ty = 0, sx = 0, sy = 0;
  ToTapeAxes(f_.Version, x, y, tx, ty);
  return Steps(static_cast<double>(tx), sx) && Steps(static_cast<double>(ty), sy) &&
         Word('X', sx, out) && Word('Y', sy, out);
}

void TDrillTapeBuilder::Item(const TDrillTapeItem& item) {
  std::string words;
  switch (item.Kind) {
    case TDrillTapeItemKind::Hits:
      for (const TIntPoint& p : item.Points) {
        words.clear();
        if (Point(p, words)) lines_.push_back(words);
      }
      break;
    case TDrillTapeItemKind::Slot:
      if (Point(item.Points[0], words)) {
        words += "G85";
        if (Point(item.Points[1], words)) lines_.push_back(words);
      }
      break;
    case TDrillTapeItemKind::Circle: {
      if (!Point(item.Points[0], words)) break;
      int64_t steps = 0;
      words += "G84";
      // The diameter is a length, never incremental.
      if (Steps(static_cast<double>(item.Diameter), steps) && Word('X', steps, words))
        lines_.push_back(words);
      else
        Problem("The circle diameter " + IntToShortStr(item.Diameter) +
                " does not fit the drill output format " + FormatName() + ".");
      break;
    }
    case TDrillTapeItemKind::Text:
      // A control character would end the block or reach the machine's
      // control as it stands, a tape reader passes over DEL, and a byte
      // from 0x80 on is no text to it: Build reports them all at once.
      if (uncarried_.Note(item.Text, tool_)) break;
      lines_.push_back((item.Vertical ? "M98," : "M97,") + item.Text);
      if (Point(item.Points[0], words)) lines_.push_back(words);
      break;
  }
}

bool TDrillTapeBuilder::Build(const TDrillTapeProgram& program, const TSwapTapeFrame& frame) {
  if (!CheckTools(program)) return false;
  // With a header the tools are defined in it: the writer's own, or the
  // export filter's when that opens one (its lines come first, these
  // follow them inside its block); without one each size goes with its
  // tool change.
  const bool header = o_.OutputM48Header || frame.HeaderHasM48;
  if (header) {
    if (!frame.HeaderHasM48) lines_.push_back("M48");
    if (!frame.HeaderHasUnits) lines_.push_back(TapeUnitsLine(f_.Metric, f_.ZerosUsed));
    const std::string digits =
        TapeDigitsComment(f_.Metric, IntegerDigits(), DecimalDigits(), f_.ZerosUsed);
    if (!digits.empty()) lines_.push_back(digits);
    if (o_.OutputToolDiameters)
      for (const TDrillTapeTool& t : program.Tools) {
        bool fits = false;
        lines_.push_back("T" + PadIntText(t.Tool, 2, '0') + "C" + SizeText(t.Diameter, fits) +
                         HitLimit(t));
      }
    CloseLine = lines_.size();
    lines_.push_back("%");
  }
  lines_.push_back(f_.Absolute ? "G90" : "G91");
  const TIntPoint& origin = program.G93Origin;
  if (o_.OutputG93 && (origin.X != 0 || origin.Y != 0)) {
    std::string words = "G93";
    if (Vector(origin.X, origin.Y, words))
      lines_.push_back(words);
    else
      Problem("The G93 origin " + TapeStepOffsetText(origin.X, origin.Y, f_.Metric, DecimalDigits()) +
              " does not fit the drill output format " + FormatName() + ".");
  }
  for (const TDrillTapeTool& t : program.Tools) {
    std::string tool = "T" + PadIntText(t.Tool, 2, '0');
    if (o_.OutputToolDiameters && !header) {
      bool fits = false;
      tool += "C" + SizeText(t.Diameter, fits) + HitLimit(t);
    }
    lines_.push_back(tool);
    tool_ = t.Tool;
    for (const TDrillTapeItem& item : t.Items) Item(item);
    for (const TDrillTapePattern& pattern : t.Patterns) {
      if (pattern.Items.empty()) continue;
      lines_.push_back("M25");
      for (const TDrillTapeItem& item : pattern.Items) Item(item);
      lines_.push_back("M01");
      for (const TStepCommand& c : TapePatternRepeats(pattern.Commands)) {
        std::string words = "M02";
        if (!Vector(c.DX, c.DY, words)) {
          // A panel's copies may lie within the format where the step
          // between them does not: expanded, each goes out at its own point.
          Problem("The step offset " + TapeStepOffsetText(c.DX, c.DY, f_.Metric, DecimalDigits()) +
                  " does not fit the drill output format " + FormatName() +
                  ". Make Drill Tape with Expand Steps ticked writes such a panel, each copy with its own "
                  "coordinates.");
          continue;
        }
        if (c.Orientation & 1) words += "M70";
        if (c.Orientation & 2) words += "M80";
        if (c.Orientation & 4) words += "M90";
        if (c.Count > 1) words += "R" + IntToShortStr(c.Count);
        lines_.push_back(words);
      }
      lines_.push_back("M08");
    }
  }
  if (!frame.TrailerHasM30) lines_.push_back("M30");
  if (!uncarried_.Empty()) {
    using TText = TUncarriedTapeTexts::TText;
    const auto named = [](const TText& t) { return t.Shown + " of tool T" + IntToShortStr(t.Place); };
    Problem(uncarried_.Sentence([&](const TText& t) { return "The drilled text " + named(t); }, "drilled texts",
                                named) +
            ".");
  }
  return errors_.empty();
}

}  // namespace

bool WritableAsPattern(const TStepCommandList& c, uint8_t axisVersion) {
  if (c.empty() || c.front().Command == 0) return false;
  for (std::size_t i = 1; i < c.size(); ++i) {
    if (c[i].Command != 0) return false;
    if (axisVersion != 1 && c[i].Orientation != 0) return false;
  }
  return true;
}

TStepCommandList TapePatternRepeats(const TStepCommandList& commands) {
  if (commands.empty()) return {};
  TStepCommandList steps(commands.begin() + 1, commands.end());
  if (!steps.empty()) {
    if (steps.back().Count > 1) --steps.back().Count;
    else steps.pop_back();
  }
  // A step repeated more often than one count word says is stated as runs
  // of the same step: each run makes its copies as the step would.
  TStepCommandList stated;
  for (TStepCommand c : steps) {
    for (; c.Count > kMostTapeRepeats; c.Count -= kMostTapeRepeats) {
      TStepCommand run = c;
      run.Count = kMostTapeRepeats;
      stated.push_back(run);
    }
    stated.push_back(c);
  }
  return stated;
}

std::string TapeStepOffsetText(int32_t dx, int32_t dy, bool metric, int32_t decimals) {
  const int32_t d = std::clamp(decimals, 1, 10);
  const auto length = [&](int32_t units) {
    std::string text = FormatDecimalNumber(d, units / static_cast<double>(UnitsFactorOf(metric)));
    // Every decimal the tape has, trailing zeros included.
    const std::size_t point = text.find('.');
    if (point != std::string::npos && text.size() - point - 1 < static_cast<std::size_t>(d))
      text.append(static_cast<std::size_t>(d) - (text.size() - point - 1), '0');
    return text + (metric ? " mm" : " in");
  };
  return "X " + length(dx) + ", Y " + length(dy);
}

void SetDrillTapeLayerMask(TDrillTapeLayerMask mask) { LayerMaskHook = std::move(mask); }

uint32_t DrillTapeLayerMask() { return LayerMaskHook ? LayerMaskHook() : kAllDrillLayers; }

TDrillTapeProgram CollectDrillTape(const TMakeTapeDefaults& options, uint32_t layerMask,
                                   const TDrillFormatRecord& format) {
  TDrillTapeProgram program;
  if (DRDB == nullptr) return program;
  program.G93Origin = {DRDB->G93OriginX, DRDB->G93OriginY};
  const int32_t cusp = DrillCuspLimit();
  std::map<int32_t, TDrillTapeTool> tools;
  std::map<std::pair<int32_t, TStepObject*>, std::size_t> patternOf;
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    const uint32_t word = DRDB->WordAt(i);
    TDrillEntity* e = DRDB->EntityAt(i);
    if (e == nullptr || !SlotInMask(word, layerMask | 0x80000000u)) continue;
    const int32_t toolNumber = e->GetToolNumber();
    if (!DrillToolActive(toolNumber)) continue;
    TDrillTapeTool& tool = tools[toolNumber];
    tool.Tool = toolNumber;
    tool.Diameter = DrillToolDiameter(toolNumber);
    tool.MaxHits = ValidToolNumber(toolNumber) ? std::max(ToolTable[toolNumber].MaxHits, 0) : 0;
    const std::vector<TIntPoint> points = EntityPoints(*e);
    TStepObject* step = e->GetStepObj();
    // A piloted slot's pilot hits are drilled by the pilot tool.
    int32_t pilotTool = 0;
    if (e->GetType() == etDrillSlot && options.ExpandSlots &&
        (DRDB->SlotAlgorithm.MultiToolPiloting || DRDB->SlotAlgorithm.DoShortSlotComp == 2)) {
      pilotTool = PilotToolFor(tool.Diameter, DRDB->SlotAlgorithm);
      if (pilotTool == toolNumber || !DrillToolActive(pilotTool)) pilotTool = 0;
    }
    // The items of a tool: its own, or those of its pattern of the step list.
    auto itemsOf = [&](int32_t number, TStepObject* pattern) -> std::vector<TDrillTapeItem>& {
      TDrillTapeTool& t = tools[number];
      if (pattern == nullptr) return t.Items;
      auto key = std::make_pair(number, pattern);
      auto found = patternOf.find(key);
      if (found == patternOf.end()) {
        found = patternOf.emplace(key, t.Patterns.size()).first;
        t.Patterns.push_back({pattern->Commands(), {}, pattern->CopyCount()});
      }
      return t.Patterns[found->second].Items;
    };
    // A pattern may expand to nothing (a text of blanks): no item then.
    auto add = [&](TStepObject* pattern, const std::vector<TIntPoint>& at) {
      std::vector<TIntPoint> pilots;
      TDrillTapeItem item = MakeItem(*e, at, options, tool.Diameter, cusp,
                                     pilotTool != 0 ? DrillToolDiameter(pilotTool) : 0, pilots);
      if (!item.Points.empty()) itemsOf(toolNumber, pattern).push_back(std::move(item));
      if (pilots.empty()) return;
      TDrillTapeTool& pilot = tools[pilotTool];
      pilot.Tool = pilotTool;
      pilot.Diameter = DrillToolDiameter(pilotTool);
      pilot.MaxHits = std::max(ToolTable[pilotTool].MaxHits, 0);
      TDrillTapeItem hits;
      hits.Points = std::move(pilots);
      itemsOf(pilotTool, pattern).push_back(std::move(hits));
    };
    if (step == nullptr) {
      add(nullptr, points);
      continue;
    }
    if (!options.ExpandSteps && format.Absolute && step->LevelCount() == 1 &&
        WritableAsPattern(step->Commands(), format.Version)) {
      add(step, points);
      continue;
    }
    // The entity and each of its copies as items of their own.
    add(nullptr, points);
    std::vector<TIntPoint> copy;
    bool mirrored = false;
    step->BeginCopies(&points);
    while (step->NextCopy(copy, mirrored)) add(nullptr, copy);
    step->BeginCopies(nullptr);
  }
  for (auto& [number, tool] : tools)
    if (!tool.Items.empty() || !tool.Patterns.empty()) program.Tools.push_back(std::move(tool));
  return program;
}

namespace {

bool OrderItems(std::vector<TDrillTapeItem>& items, TIntPoint& at, TOptimizerOptions options,
                int64_t totalItems) {
  if (items.empty()) return true;
  if (options.Cancelled && options.Cancelled()) return false;
  // Each list gets its share of the time budget, at least 5 ms.
  options.BudgetMilliseconds = static_cast<uint32_t>(std::max<int64_t>(
      5, int64_t{options.BudgetMilliseconds} * static_cast<int64_t>(items.size()) /
             std::max<int64_t>(1, totalItems)));
  std::vector<TIntPoint> points;
  points.reserve(items.size());
  for (const TDrillTapeItem& item : items) points.push_back(item.Points.front());
  const std::vector<int32_t> order = OptimizeDrillPath(points, at, options);
  std::vector<TDrillTapeItem> sorted;
  sorted.reserve(items.size());
  for (int32_t i : order) sorted.push_back(std::move(items[i]));
  items = std::move(sorted);
  at = items.back().Last();
  return true;
}

}  // namespace

bool OrderDrillTape(TDrillTapeProgram& program, const TOptimizerOptions& options) {
  int64_t total = 0;
  for (const TDrillTapeTool& tool : program.Tools) {
    total += static_cast<int64_t>(tool.Items.size());
    for (const TDrillTapePattern& pattern : tool.Patterns)
      total += static_cast<int64_t>(pattern.Items.size());
  }
  TIntPoint at = program.G93Origin;
  auto inside = [](const std::vector<TIntBox>& boxes, const TIntPoint& p) {
    for (const TIntBox& b : boxes)
      if (p.X >= b.Left && p.X <= b.Right && p.Y >= b.Bottom && p.Y <= b.Top) return true;
    return false;
  };
  for (TDrillTapeTool& tool : program.Tools) {
    if (!program.FirstMarks.empty() || !program.LastMarks.empty()) {
      // The marked-first items, the others, the marked-last items: each group
      // in its own order, one after the other.
      std::vector<TDrillTapeItem> groups[3];
      for (TDrillTapeItem& item : tool.Items) {
        const TIntPoint p = item.Points.front();
        const int g = inside(program.FirstMarks, p) ? 0 : inside(program.LastMarks, p) ? 2 : 1;
        groups[g].push_back(std::move(item));
      }
      tool.Items.clear();
      for (auto& group : groups) {
        if (!OrderItems(group, at, options, total)) return false;
        for (TDrillTapeItem& item : group) tool.Items.push_back(std::move(item));
      }
    } else if (!OrderItems(tool.Items, at, options, total)) {
      return false;
    }
    for (TDrillTapePattern& pattern : tool.Patterns)
      if (!OrderItems(pattern.Items, at, options, total)) return false;
  }
  return true;
}

void AddFirstLastHitCoupon(TDrillTapeProgram& program, const TFirstLastHitDefaults& coupon,
                           const TIntPoint& origin) {
  if (!coupon.FirstHit && !coupon.LastHit) return;
  const int64_t step = coupon.Vertical ? coupon.VerticalSpacing : coupon.HorizontalSpacing;
  const int64_t across = coupon.Vertical ? coupon.HorizontalSpacing : coupon.VerticalSpacing;
  auto at = [&](int64_t along, int64_t side) {
    const int64_t x = int64_t{origin.X} + (coupon.Vertical ? side * across : along * step);
    const int64_t y = int64_t{origin.Y} + (coupon.Vertical ? along * step : side * across);
    return TIntPoint{ClampCompToInt(x), ClampCompToInt(y)};
  };
  const bool both = coupon.FirstHit && coupon.LastHit;
  int64_t k = 0;
  for (TDrillTapeTool& tool : program.Tools) {
    if (!ValidToolNumber(tool.Tool) || ToolTable[tool.Tool].FirstLastHit == 0) continue;
    const int64_t firstAlong = coupon.OneRow && both ? 2 * k : k;
    const TIntPoint last = coupon.OneRow ? at(both ? 2 * k + 1 : k, 0) : at(k, 1);
    if (coupon.FirstHit)
      tool.Items.insert(tool.Items.begin(),
                        TDrillTapeItem{TDrillTapeItemKind::Hits, {at(firstAlong, 0)}, 0, "", false});
    if (coupon.LastHit) tool.Items.push_back({TDrillTapeItemKind::Hits, {last}, 0, "", false});
    ++k;
  }
}

bool BuildDrillTapeLines(const TDrillTapeProgram& program, const TDrillFormatRecord& format,
                         const TMakeTapeDefaults& options, bool headerHasM48, bool trailerHasM30,
                         std::vector<std::string>& lines, std::vector<std::string>& errors) {
  TSwapTapeFrame frame;
  frame.HeaderHasM48 = frame.HeaderHasUnits = headerHasM48;
  frame.TrailerHasM30 = trailerHasM30;
  TDrillTapeBuilder builder(format, options, lines, errors);
  return builder.Build(program, frame);
}

bool WriteDrillTape(const TDrillTapeProgram& program, const TDrillFormatRecord& format,
                    const TMakeTapeDefaults& options, uint8_t filter,
                    const std::string& fileName) {
  TTapeSwapWriter writer;
  if (!writer.Open(fileName, filter)) return false;
  writer.StateUnits(TapeUnitsLine(format.Metric, format.ZerosUsed), format.ZerosUsed == 3);
  std::vector<std::string> lines;
  std::vector<std::string> errors;
  TDrillTapeBuilder builder(format, options, lines, errors);
  if (!builder.Build(program, writer.Frame())) {
    writer.Abandon();
    std::string text = "The drill tape was not written:";
    for (const std::string& e : errors) text += "\r\n" + e;
    ErrorBox(text);
    return false;
  }
  writer.WriteHeader();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i == builder.CloseLine) writer.CloseHeader();
    else writer.WriteLine(lines[i]);
    if ((i & 0xFFFF) == 0xFFFF) ProcessMessages();
  }
  writer.WriteTrailer();
  return writer.Commit();
}
