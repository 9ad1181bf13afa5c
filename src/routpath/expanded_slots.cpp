#include "routpath/expanded_slots.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/drill_database.h"
#include "model/drill_entities.h"
#include "model/editor_state.h"
#include "model/entity_store.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "platform/message_box.h"

double NibblePitch(double radius, double cusp) {
  if (radius <= cusp) return 0;
  return 2.0 * std::sqrt(radius * radius - (radius - cusp) * (radius - cusp));
}

TExpandedSlotFinder::TExpandedSlotFinder(double radius, double cusp)
    : Pitch(NibblePitch(radius, cusp)), CellSize(std::max(1.0, std::ceil(Pitch) + 1.0)) {}

int64_t TExpandedSlotFinder::CellOf(double v) const { return int64_t(std::floor(v / CellSize)); }

namespace {
uint64_t CellKey(int64_t cx, int64_t cy) { return (uint64_t(cx) << 32) ^ uint64_t(uint32_t(cy)); }
}  // namespace

void TExpandedSlotFinder::AddHit(int32_t x, int32_t y, int32_t index) {
  Hits.push_back({x, y, index, 0, -1, false, -1, -1, -1});
}

void TExpandedSlotFinder::BuildPlaces() {
  std::vector<std::tuple<int32_t, int32_t, int32_t>> sorted(Hits.size());
  for (size_t h = 0; h < Hits.size(); ++h) sorted[h] = {Hits[h].X, Hits[h].Y, int32_t(h)};
  std::sort(sorted.begin(), sorted.end());
  PlaceHits.resize(Hits.size());
  for (size_t k = 0; k < sorted.size(); ++k) PlaceHits[k] = std::get<2>(sorted[k]);
  Ahead.resize(PlaceHits.size());
  for (int32_t k = 0; k < int32_t(PlaceHits.size());) {
    const int32_t first = k;
    const int32_t x = Hits[PlaceHits[k]].X, y = Hits[PlaceHits[k]].Y;
    while (k < int32_t(PlaceHits.size()) && Hits[PlaceHits[k]].X == x && Hits[PlaceHits[k]].Y == y) ++k;
    for (int32_t r = first; r < k; ++r) {
      THit& h = Hits[PlaceHits[r]];
      h.Slot = r;
      h.First = first;
      h.End = k;
      Ahead[r] = r;
    }
    Cells[CellKey(CellOf(x), CellOf(y))].push_back(PlaceHits[first]);
  }
}

TExpandedSlotFinder::TLine TExpandedSlotFinder::LineThrough(int32_t a, int32_t b) const {
  const double dx = double(Hits[b].X) - Hits[a].X, dy = double(Hits[b].Y) - Hits[a].Y;
  const double length = std::hypot(dx, dy);
  return {double(Hits[a].X), double(Hits[a].Y), dx / length, dy / length};
}

int32_t TExpandedSlotFinder::FirstFree(int32_t first, int32_t end) {
  // Visited hits that are in no row yet are those of the row being traced,
  // at most one at a place.
  for (int32_t r = first;; ++r) {
    while (r < end && Ahead[r] != r) {
      const int32_t next = Ahead[r];
      if (next < int32_t(Ahead.size())) Ahead[r] = Ahead[next];
      r = next;
    }
    if (r >= end) return -1;
    if (!Hits[PlaceHits[r]].Visited) return PlaceHits[r];
  }
}

void TExpandedSlotFinder::Settle(int32_t h) { Ahead[Hits[h].Slot] = Hits[h].Slot + 1; }

int32_t TExpandedSlotFinder::FindNeighbour(int32_t p, const TLine* line, double outward) {
  // Of hits at the same distance, the first of the first cell looked at
  // wins; at a place, its first free hit.
  const THit& from = Hits[p];
  const int64_t cx = CellOf(from.X), cy = CellOf(from.Y);
  double best = Pitch;
  int32_t found = -1, foundCell = -1, cell = -1;
  for (int64_t i = cx - 1; i <= cx + 1; ++i)
    for (int64_t j = cy - 1; j <= cy + 1; ++j) {
      ++cell;
      auto places = Cells.find(CellKey(i, j));
      if (places == Cells.end()) continue;
      for (const int32_t k : places->second) {
        const THit& to = Hits[k];  // the place's first hit
        int32_t q = k;
        if (to.Visited) {
          if (to.End - to.First == 1) continue;
          q = FirstFree(to.First, to.End);
          if (q < 0) continue;
        }
        const double dx = double(to.X) - from.X, dy = double(to.Y) - from.Y;
        if (std::fabs(dx) > best || std::fabs(dy) > best) continue;
        if (dx == 0 && dy == 0) continue;  // a hole at the same place is no neighbour
        const double d = std::hypot(dx, dy);
        if (d > best) continue;
        if (line != nullptr) {
          if ((dx * line->UX + dy * line->UY) * outward <= 0) continue;
          const double off = (double(to.X) - line->AX) * line->UY - (double(to.Y) - line->AY) * line->UX;
          if (std::fabs(off) > RowLineTolerance) continue;
        }
        if (found >= 0 && d == best && (foundCell != cell || q > found)) continue;
        best = d;
        found = q;
        foundCell = cell;
      }
    }
  return found;
}

void TExpandedSlotFinder::TraceRow(int32_t s) {
  Hits[s].Visited = true;
  const int32_t n1 = FindNeighbour(s, nullptr, 0);
  if (n1 < 0) {
    Hits[s].Visited = false;
    return;
  }
  Hits[n1].Visited = true;
  // The row grows outward only, beyond the end hit on either side along its
  // line, so that its ends are its outermost hits in whatever order the
  // hits were drilled: a hit back inside the row, or stacked at a place the
  // row holds, is passed over and left for a row of its own.
  std::vector<int32_t> ahead{n1}, behind{s};  // from the start pair outward
  for (;;) {
    const TLine line = LineThrough(behind.back(), ahead.back());
    const int32_t n = FindNeighbour(ahead.back(), &line, 1);
    if (n < 0) break;
    Hits[n].Visited = true;
    ahead.push_back(n);
  }
  for (;;) {
    const TLine line = LineThrough(behind.back(), ahead.back());
    const int32_t n = FindNeighbour(behind.back(), &line, -1);
    if (n < 0) break;
    Hits[n].Visited = true;
    behind.push_back(n);
  }
  if (ahead.size() + behind.size() < 3) {  // a pair is no row
    Hits[s].Visited = Hits[n1].Visited = false;
    return;
  }
  std::vector<int32_t> row(behind.rbegin(), behind.rend());
  row.insert(row.end(), ahead.begin(), ahead.end());
  const int32_t id = int32_t(Rows.size());
  for (int32_t h : row) {
    Hits[h].Status = 3;
    Settle(h);
  }
  Hits[row.front()].Status = Hits[row.back()].Status = 1;
  Hits[row.front()].Row = Hits[row.back()].Row = id;
  Rows.push_back(std::move(row));
}

void TExpandedSlotFinder::Find() {
  if (Pitch <= 0) return;
  BuildPlaces();
  for (int32_t s = 0; s < int32_t(Hits.size()); ++s)
    if (!Hits[s].Visited) TraceRow(s);
}

void TExpandedSlotFinder::Emit() {
  for (THit& h : Hits) {
    if (h.Status == 0) {
      KeepHit(h.X, h.Y, h.Index);
      continue;
    }
    DeleteHit(h.X, h.Y, h.Index);
    if (h.Status == 1) {
      THit& f = Hits[Rows[h.Row].front()];
      THit& e = Hits[Rows[h.Row].back()];
      if (&h == &f)
        AddSlot(f.X, f.Y, e.X, e.Y);
      else
        AddSlot(e.X, e.Y, f.X, f.Y);
      f.Status = e.Status = 3;
    }
  }
  Hits.clear();
  PlaceHits.clear();
  Ahead.clear();
  Cells.clear();
  Rows.clear();
}

// ---- The command ------------------------------------------------------------------------

namespace {

class TExpandedSlotConverter : public TExpandedSlotFinder {
 public:
  TExpandedSlotConverter(double radius, double cusp, int32_t tool, uint8_t layer, TStepObject* step)
      : TExpandedSlotFinder(radius, cusp), Tool(tool), Layer(layer), Step(step) {}
  int32_t Slots = 0;

 protected:
  void AddSlot(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override {
    const int32_t n = DRDB->AddSlotOnLayer(x1, y1, x2, y2, Layer, Tool, Step == nullptr);
    if (n == 0) return;
    ++Slots;
    if (Step != nullptr) {
      // Invisible while it has no step object yet: drawn with its copies.
      DRDB->EntityAt(n)->SetStepObj(Step);
      DRDB->Undelete(n);
      DRDB->DrawEntity(n);
    }
  }
  void DeleteHit(int32_t, int32_t, int32_t index) override {
    if (DRDB->DeleteEntity(index)) DRDB->EraseEntityImage(index);
  }

 private:
  int32_t Tool;
  uint8_t Layer;
  TStepObject* Step;
};

}  // namespace

void ConvertExpandedSlots() {
  if (DRDB == nullptr) return;
  std::string answer = RealToStr(25400.0 / double(UnitsPerDisplayUnit));
  ViewServices().BeginModal();
  const bool ok = InputQuery("Maximum nibble size",
                             Metric ? "Enter nib size in mm" : "Enter nib size in inches", answer);
  ViewServices().EndModal();
  if (!ok) return;
  const double nib = std::nearbyint(StrToRealLenient(answer) * double(UnitsPerDisplayUnit));
  if (!(nib >= 2540 && nib <= 6350000)) {
    ErrorBox("Illegal value.");
    return;
  }
  THourGlassCursor hourglass;
  // The holes of each layer, tool and step object, in store order.
  using TGroup = std::tuple<uint8_t, int32_t, TStepObject*>;
  std::map<TGroup, std::vector<int32_t>> groups;
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    const uint32_t word = DRDB->WordAt(i);
    if (static_cast<int32_t>(word) <= 0 || (word & 0x3FFu) == 0) continue;
    TDrillEntity* e = DRDB->EntityAt(i);
    if (e == nullptr || e->GetType() != etDrillHole) continue;
    groups[{uint8_t(30 + LayerOfBit(word & 0x3FFu)), e->Tool, e->GetStepObj()}].push_back(i);
  }
  // Every group's rows are found before any is converted: without room for
  // all their slots nothing is, or the hits of a row beyond the room would
  // be deleted with no slot for them.
  std::vector<std::unique_ptr<TExpandedSlotConverter>> converters;
  int64_t slots = 0;
  for (const auto& [group, holes] : groups) {
    if (holes.size() < 3) continue;
    const auto& [layer, tool, step] = group;
    // The cusp the nibble allows, in the units of the tool's radius.
    auto converter =
        std::make_unique<TExpandedSlotConverter>(DrillToolDiameter(tool) / 2, 4.0 * nib, tool, layer, step);
    for (int32_t i : holes) {
      TIntPoint p;
      DRDB->EntityAt(i)->GetPoint(p);
      converter->AddHit(p.X, p.Y, i);
    }
    converter->Find();
    if (converter->RowCount() == 0) continue;
    slots += converter->RowCount();
    converters.push_back(std::move(converter));
  }
  if (!StoreHasRoom(DrillEntities->Name(), TDrillEntities::HighestIndex, DrillEntityCount, slots,
                    "Converting the expanded slots"))
    return;
  for (const auto& converter : converters) converter->Emit();
  if (DrillUndo != nullptr) DrillUndo->BeginOperation("Expanded Slot Conv.");
}
