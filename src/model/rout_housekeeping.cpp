#include "model/rout_housekeeping.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "model/drill_database.h"
#include "model/editor_state.h"
#include "model/entity_store.h"
#include "model/rout_database.h"
#include "model/rout_sequence.h"
#include "model/step_repeat.h"

bool RoutLayerEmpty(uint8_t layer) {
  if (!IsRoutLayer(layer) || RoutEntities == nullptr) return true;
  const uint32_t bit = NCLayerBit(layer);
  for (int32_t i = 1; i <= RoutEntityCount; ++i) {
    const TEntitySlot* slot = RoutEntities->GetSlot(i);
    if (slot != nullptr && !SlotDeleted(slot->Flags) && (slot->Flags & bit) != 0) return false;
  }
  return true;
}

namespace {

bool SameCommands(const TStepCommandList& a, const TStepCommandList& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].Command != 0 && b[i].Command != 0) continue;  // two marks
    if (!(a[i] == b[i])) return false;
  }
  return true;
}

// Calls visit(entity) for every entity the sharing looks at, in order: the
// active drill entities, then rout layers 40..44 in cut order.
template <typename Visit>
void ForEachStepHolder(Visit&& visit) {
  if (DRDB != nullptr)
    for (int32_t i = 1; i <= DrillEntityCount; ++i)
      if ((DRDB->WordAt(i) & ActiveNCLayerMask) != 0)
        if (TDrillEntity* e = DRDB->EntityAt(i)) visit(static_cast<TRootDBObject*>(e));
  if (RTDB == nullptr || Seq == nullptr) return;
  for (uint8_t layer = kFirstRoutLayer; layer <= kLastRoutLayer; ++layer) {
    Seq->RewindAll();
    for (int32_t h = Seq->NextVisible(layer); h != 0; h = Seq->NextVisible(layer))
      // Only jogs, circles and holes carry a step object.
      if (TRoutEntity* r = RTDB->EntityAt(h); auto* e = r != nullptr ? r->AsStepCarrier() : nullptr)
        visit(static_cast<TRootDBObject*>(e));
  }
}

}  // namespace

bool SameStepLists(TStepObject* a, TStepObject* b) {
  if (a == nullptr || b == nullptr) return false;
  const int32_t levels = a->LevelCount();
  if (levels != b->LevelCount()) return false;
  for (int32_t n = 1; n <= levels; ++n)
    if (!SameCommands(a->GetLevel(n)->Commands(), b->GetLevel(n)->Commands())) return false;
  return true;
}

int32_t ShareIdenticalStepLists() {
  // Every listed object is held by the list itself for the whole run: moving
  // entities off an object can then never free one still being compared or
  // handed out.
  std::vector<TStepObject*> listed;
  ForEachStepHolder([&](TRootDBObject* e) {
    TStepObject* s = e->GetStepObj();
    if (s != nullptr && std::find(listed.begin(), listed.end(), s) == listed.end()) {
      s->AddRef();
      listed.push_back(s);
    }
  });
  std::vector<std::pair<TStepObject*, TStepObject*>> pairs;
  std::vector<TStepObject*> open = listed;
  for (std::size_t i = 0; i < open.size() && int32_t(pairs.size()) < kMaxStepListPairs; ++i) {
    if (open[i] == nullptr) continue;
    for (std::size_t j = 0; j < open.size(); ++j)
      if (j != i && open[j] != nullptr && SameStepLists(open[i], open[j])) {
        pairs.emplace_back(open[i], open[j]);
        open[i] = nullptr;
        break;
      }
  }
  if (!pairs.empty())
    ForEachStepHolder([&](TRootDBObject* e) {
      TStepObject* s = e->GetStepObj();  // read once, before any change
      if (s == nullptr) return;
      for (const auto& [a, b] : pairs)
        if (a == s) {
          e->SetStepObj(b);
          break;
        }
    });
  for (TStepObject* s : listed) ReleaseStepObject(s);
  return int32_t(pairs.size());
}
