// The layer writers of the ODB++ export: which entity becomes which
// feature, with the step-and-repeat copies written as further features.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "foundation/display_units.h"
#include "model/cad_database.h"
#include "model/cad_entities.h"
#include "model/drill_database.h"
#include "model/drill_entities.h"
#include "model/entity_store.h"
#include "model/hit_patterns.h"
#include "model/rout_database.h"
#include "model/rout_entities.h"
#include "model/rout_sequence.h"
#include "model/step_repeat.h"
#include "model/tool_tables.h"
#include "platform/events.h"
#include "plot/odb_export.h"
#include "routpath/comp_corner.h"
#include "routpath/endpoint_grid.h"
#include "routpath/path_follower.h"

std::string OdbStepName = "KORVEX6";

namespace {

bool CadOnLayer(int32_t i, int32_t layer) {
  const uint32_t flags = DB->SlotAt(i)->Flags;
  return !SlotDeleted(flags) && (flags & CadLayerBit(static_cast<uint8_t>(layer))) != 0;
}

bool DrillOnLayer(int32_t i, int32_t layer) {
  const uint32_t word = DRDB->WordAt(i);
  return word != 0 && !SlotDeleted(word) && (word & NCLayerBit(static_cast<uint8_t>(layer))) != 0;
}

bool RoutOnLayer(int32_t i, int32_t layer) {
  const TEntitySlot* slot = RTDB->SlotAt(i);
  return slot != nullptr && slot->Flags != 0 && !SlotDeleted(slot->Flags) &&
         (slot->Flags & NCLayerBit(static_cast<uint8_t>(layer))) != 0;
}

std::vector<TOdbToolRecord> ToolList(const std::vector<bool>& used, bool rout, int32_t layer) {
  std::vector<TOdbToolRecord> tools;
  for (int32_t t = 1; t <= 1000; ++t) {
    if (!used[static_cast<std::size_t>(t)]) continue;
    TOdbToolRecord r;
    r.Num = t;
    r.Type = rout ? 1 : 0;
    r.FinishSize = r.DrillSize = rout ? RoutToolPages[layer][t].Diameter : ToolTable[t].Diameter;
    r.Layer = layer;
    tools.push_back(r);
  }
  return tools;
}

// Hit generators whose hits become pads of the entity's tool.
class TSlotPads : public TDrilledSlotPattern {
 public:
  TSlotPads(TOdbWriter& w, int32_t tool, TIntPoint a, TIntPoint b, int32_t d, int32_t cusp)
      : TDrilledSlotPattern(0, a, b, d, cusp), W(w), Tool(tool) {}
  void EmitHit(int32_t x, int32_t y) override { W.WriteToolPad(x, y, Tool); }
  TOdbWriter& W;
  int32_t Tool;
};

class TCirclePads : public TDrilledCirclePattern {
 public:
  TCirclePads(TOdbWriter& w, int32_t tool, TIntPoint c, int32_t r, int32_t d, int32_t cusp)
      : TDrilledCirclePattern(c.X, c.Y, r, d, cusp), W(w), Tool(tool) {}
  void EmitHit(int32_t x, int32_t y) override { W.WriteToolPad(x, y, Tool); }
  TOdbWriter& W;
  int32_t Tool;
};

class TTextPads : public TDrilledTextPattern {
 public:
  TTextPads(TOdbWriter& w, int32_t tool, TIntPoint origin, const std::string& text, int32_t d,
            bool vertical)
      : TDrilledTextPattern(text, d, 1, vertical), W(w), Tool(tool), Origin(origin) {}
  void EmitHit(int32_t x, int32_t y) override { W.WriteToolPad(Origin.X + x, Origin.Y + y, Tool); }
  TOdbWriter& W;
  int32_t Tool;
  TIntPoint Origin;
};

void WriteDrillFeature(TOdbWriter& w, TDrillEntity* e, int32_t tool, const TIntPoint& p,
                       const TIntPoint& q) {
  const int32_t diameter = ToolTable[tool].Diameter;
  const int32_t cusp = DRDB->SlotAlgorithm.CuspDefault;
  switch (e->GetType()) {
    case etDrillSlot: {
      // The drilled slot algorithm's pass and short-slot compensation; the
      // pads are all of the slot's tool, so no pilot pass.
      TSlotPads pads(w, tool, p, q, diameter, cusp);
      GenerateSlotHits(pads, DRDB->SlotAlgorithm, 0);
      break;
    }
    case etDrillCircle: {
      TCirclePads pads(w, tool, p, e->GetRadius(), diameter, cusp);
      pads.Generate();
      break;
    }
    case etDrillText: {
      auto* text = static_cast<TDrillText*>(e);
      TTextPads pads(w, tool, p, text->Text, diameter, text->GetVertical());
      pads.Generate();
      break;
    }
    default: w.WriteToolPad(p.X, p.Y, tool); break;
  }
}

void WriteRoutCircle(TOdbWriter& w, const TIntPoint& c, int32_t r, bool clockwise, int32_t tool) {
  constexpr int32_t d = 254000;
  int32_t dx = 0, dy = 0;
  const bool entry = CompensationEntryArc(r, dx, dy);
  const int32_t top = c.Y + r, bottom = c.Y - r, left = c.X - r, right = c.X + r;
  if (!entry) {
    // Too small for a lead-in: the bare circle from its top.
    w.RoutMoveTo(c.X, top, tool, clockwise ? 2 : 1);
  } else if (clockwise) {
    w.RoutMoveTo(left + d, c.Y, tool, 2);
    w.RoutArcTo(c.X, top, true, c.X + dx, c.Y + dy);
  } else {
    w.RoutMoveTo(right - d, c.Y, tool, 1);
    w.RoutArcTo(c.X, top, false, c.X - dx, c.Y + dy);
  }
  if (clockwise) {
    w.RoutArcTo(right, c.Y, true, c.X, c.Y);
    w.RoutArcTo(c.X, bottom, true, c.X, c.Y);
    w.RoutArcTo(left, c.Y, true, c.X, c.Y);
    w.RoutArcTo(c.X, top, true, c.X, c.Y);
    if (entry) w.RoutArcTo(right - d, c.Y, true, c.X - dx, c.Y + dy);
  } else {
    w.RoutArcTo(left, c.Y, false, c.X, c.Y);
    w.RoutArcTo(c.X, bottom, false, c.X, c.Y);
    w.RoutArcTo(right, c.Y, false, c.X, c.Y);
    w.RoutArcTo(c.X, top, false, c.X, c.Y);
    if (entry) w.RoutArcTo(left + d, c.Y, false, c.X + dx, c.Y + dy);
  }
}

}  // namespace

void WriteCadLayer(TOdbWriter& w, int32_t layer) {
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    if (i % 1000 == 0) ProcessMessages();
    if (!CadOnLayer(i, layer)) continue;
    TCadEntity* e = DB->EntityAt(i);
    TIntPoint p, q, c;
    e->GetPoint(p);
    switch (e->GetType()) {
      case 1: w.WritePad(p.X, p.Y); break;
      case 2: e->GetSecondPoint(q); w.WriteLine(p.X, p.Y, q.X, q.Y); break;
      case 3:
        e->GetSecondPoint(q);
        e->GetThirdPoint(c);
        w.WriteArc(p.X, p.Y, q.X, q.Y, c.X, c.Y);
        break;
      case 4: w.WriteCircle(p.X, p.Y, e->GetRadius()); break;
      default: break;
    }
  }
}

void WriteDrillLayer(TOdbWriter& w, int32_t layer, const std::string& name) {
  const std::string odbName = name.empty() ? LayerNames[layer] : name;
  std::vector<bool> used(1001, false);
  for (int32_t i = 1; i <= DrillEntityCount; ++i)
    if (DrillOnLayer(i, layer)) {
      const int32_t t = DRDB->EntityAt(i)->GetToolNumber();
      if (t >= 1 && t <= 1000) used[static_cast<std::size_t>(t)] = true;
    }
  w.WriteTools(odbName, OdbStepName, false, ToolList(used, false, layer));
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    if (!DrillOnLayer(i, layer)) continue;
    TDrillEntity* e = DRDB->EntityAt(i);
    const int32_t tool = e->GetToolNumber();
    if (tool < 1 || tool > 1000) continue;
    TIntPoint p, q;
    e->GetPoint(p);
    if (e->GetType() == etDrillSlot) e->GetSecondPoint(q);
    WriteDrillFeature(w, e, tool, p, q);
    if (TStepObject* step = e->GetStepObj()) {
      // A slot's copies run from the copy of its second point to that of P.
      std::vector<TIntPoint> points;
      if (e->GetType() == etDrillSlot) points = {q, p};
      else points = {p};
      std::vector<TIntPoint> copy;
      bool mirrored = false;
      step->BeginCopies(&points);
      while (step->NextCopy(copy, mirrored)) {
        if (copy.empty()) continue;
        WriteDrillFeature(w, e, tool, copy[0], copy.size() > 1 ? copy[1] : copy[0]);
      }
    }
  }
  w.CloseFeatures();
}

void WriteRoutLayer(TOdbWriter& w, int32_t layer, const std::string& name) {
  const std::string odbName = name.empty() ? LayerNames[layer] : name;
  std::vector<bool> used(1001, false);
  for (int32_t i = 1; i <= RoutEntityCount; ++i) {
    if (!RoutOnLayer(i, layer)) continue;
    TRoutEntity* e = RTDB->EntityAt(i);
    const uint8_t type = e->GetType();
    if (type != etRoutJog && type != etRoutCircle && type != etRoutHole) continue;
    const int32_t t = e->GetToolNumber();
    if (t >= 1 && t <= 1000) used[static_cast<std::size_t>(t)] = true;
  }
  w.WriteTools(odbName, OdbStepName, true, ToolList(used, true, layer));
  if (Seq == nullptr) {
    w.CloseFeatures();
    return;
  }
  const uint8_t l = static_cast<uint8_t>(layer);
  // Holes, grouped by tool; each run sharing one step object is followed
  // by its copies.
  for (int32_t t = 1; t <= 1000; ++t) {
    if (!used[static_cast<std::size_t>(t)]) continue;
    std::vector<TIntPoint> points;
    TStepObject* previous = nullptr;
    const auto copies = [&]() {
      if (previous == nullptr || points.empty()) return;
      std::vector<TIntPoint> copy;
      bool mirrored = false;
      previous->BeginCopies(&points);
      while (previous->NextCopy(copy, mirrored))
        for (const TIntPoint& p : copy) w.WriteToolPad(p.X, p.Y, t);
      points.clear();
    };
    Seq->RewindAll();
    for (int32_t h = Seq->NextVisible(l); h != 0; h = Seq->NextVisible(l)) {
      TRoutEntity* e = RTDB->EntityAt(h);
      if (e == nullptr || e->GetType() != etRoutHole || e->GetToolNumber() != t) continue;
      TIntPoint p;
      e->GetPoint(p);
      w.WriteToolPad(p.X, p.Y, t);
      TStepObject* s = e->GetStepObj();
      if (s != previous && previous != nullptr) copies();
      if (s != nullptr) points.push_back(p);
      previous = s;
    }
    copies();
  }
  // Paths, each run of paths sharing a step object replayed per copy.
  struct TRecorded {
    TRoutEntity* Entity;
    int32_t Tool;
  };
  std::vector<TRecorded> run;
  std::vector<TIntPoint> points;
  TStepObject* runStep = nullptr;
  int32_t runTool = 1;
  const auto write = [&](TRoutEntity* e, int32_t tool, const TIntPoint& p, const TIntPoint& centre,
                         bool mirrored) {
    switch (e->GetType()) {
      case etRoutJog: {
        uint8_t comp = e->GetComp();
        if (mirrored && comp != 0) comp = comp == 1 ? 2 : 1;
        w.RoutMoveTo(p.X, p.Y, tool, comp);
        break;
      }
      case etRoutCircle: WriteRoutCircle(w, p, e->GetRadius(), e->IsAG32(), tool); break;
      case etRoutArc:
      case etRoutArcReverse:
        w.RoutArcTo(p.X, p.Y, (e->GetType() == etRoutArcReverse) != mirrored, centre.X, centre.Y);
        break;
      default: w.RoutLineTo(p.X, p.Y); break;
    }
  };
  const auto replay = [&]() {
    if (runStep == nullptr || run.empty()) return;
    std::vector<TIntPoint> copy;
    bool mirrored = false;
    runStep->BeginCopies(&points);
    while (runStep->NextCopy(copy, mirrored)) {
      std::size_t k = 0;
      for (const TRecorded& r : run) {
        const TIntPoint p = k < copy.size() ? copy[k] : TIntPoint{};
        ++k;
        TIntPoint centre{};
        const uint8_t type = r.Entity->GetType();
        if (type == etRoutArc || type == etRoutArcReverse) centre = k < copy.size() ? copy[k++] : TIntPoint{};
        write(r.Entity, r.Tool, p, centre, mirrored);
      }
    }
    run.clear();
    points.clear();
  };
  Seq->RewindAll();
  for (int32_t h = Seq->NextPathEntity(l); h != 0; h = Seq->NextPathEntity(l)) {
    TRoutEntity* e = RTDB->EntityAt(h);
    if (e == nullptr) continue;
    const uint8_t type = e->GetType();
    if (type == etRoutJog || type == etRoutCircle) {
      TStepObject* s = e->GetStepObj();
      if (s != runStep && runStep != nullptr) replay();
      runTool = e->GetToolNumber();
      runStep = s;
    }
    TIntPoint p, centre{};
    e->GetPoint(p);
    const bool arc = type == etRoutArc || type == etRoutArcReverse;
    if (arc) e->GetSecondPoint(centre);
    if (runStep != nullptr) {
      run.push_back({e, runTool});
      points.push_back(p);
      if (arc) points.push_back(centre);
    }
    write(e, runTool, p, centre, false);
  }
  replay();
  w.CloseFeatures();
}

namespace {

// Writes the first closed chain of the layer as the step profile; later
// closed chains and open ones are left out.
class TOdbProfileFollower : public TPathFollower {
 public:
  explicit TOdbProfileFollower(TOdbWriter& w) : W(w) {}
  TOdbWriter& W;
  bool Written = false;
  void AfterPath() override { ProcessMessages(); }
  void ClosedPath(TRootEntityHandle*& path, bool&) override {
    if (Written || path == nullptr) return;
    bool first = true;
    TIntPoint current{};
    for (TRootEntityHandle* h = path; h != nullptr; h = h->Next) {
      TRootDBObject* e = h->GetEntity();
      if (e == nullptr) continue;
      TIntPoint a, b;
      e->GetPoint(a);
      e->GetSecondPoint(b);
      if (first) {
        W.BeginSurface(a.X, a.Y);
        current = a;
        first = false;
      }
      const bool backwards = IntPointDistance(b, current) <= IntPointDistance(a, current);
      const TIntPoint end = backwards ? a : b;
      if (e->GetType() == etCadArc) {
        TIntPoint c;
        e->GetThirdPoint(c);
        W.SurfaceArc(end.X, end.Y, backwards, c.X, c.Y);
      } else {
        W.SurfaceSegment(end.X, end.Y);
      }
      current = end;
    }
    Written = !first;
  }
};

}  // namespace

bool WriteLayerProfile(TOdbWriter& w, int32_t layer) {
  w.OpenProfile(OdbStepName);
  TOdbProfileFollower follower(w);
  follower.Init(CadLayerBit(static_cast<uint8_t>(layer)) | SlotDeletedBit);
  follower.Run();
  follower.Done();
  w.CloseFeatures();
  return follower.Written;
}

void WriteExtentsProfile(TOdbWriter& w) {
  w.OpenProfile(OdbStepName);
  TIntPoint lo{2147483647, 2147483647}, hi{-2147483647, -2147483647};
  if (DB != nullptr) DB->GetExtents(lo, hi);
  if (RTDB != nullptr) {
    TIntBox box{2147483647, 2147483647, -2147483647, -2147483647};
    if (RTDB->GetExtents(box, false)) {
      lo = {std::min(lo.X, box.Left), std::min(lo.Y, box.Bottom)};
      hi = {std::max(hi.X, box.Right), std::max(hi.Y, box.Top)};
    }
  }
  if (DRDB != nullptr) {
    int32_t minX = 2147483647, minY = 2147483647, maxX = -2147483647, maxY = -2147483647;
    if (DRDB->VisibleExtents(minX, minY, maxX, maxY, false)) {
      lo = {std::min(lo.X, minX), std::min(lo.Y, minY)};
      hi = {std::max(hi.X, maxX), std::max(hi.Y, maxY)};
    }
  }
  // Nothing displayed: the profile stays without an outline.
  if (lo.X <= hi.X && lo.Y <= hi.Y) {
    w.BeginSurface(lo.X, lo.Y);
    w.SurfaceSegment(hi.X, lo.Y);
    w.SurfaceSegment(hi.X, hi.Y);
    w.SurfaceSegment(lo.X, hi.Y);
    w.SurfaceSegment(lo.X, lo.Y);
  }
  w.CloseFeatures();
}
