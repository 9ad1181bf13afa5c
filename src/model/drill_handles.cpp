#include "model/drill_handles.h"

#include <algorithm>
#include <vector>

#include "foundation/settings.h"
#include "model/cad_database.h"
#include "model/job_file_writer.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "platform/message_box.h"

std::function<TStepObject*(int32_t routIndex)> RoutPathStepObject;
std::function<void(bool, bool, const TEditStepLists&, TStepObject*, TStepObject*, TStepObject*,
                   bool)>
    RoutReplaceStepLevels;
std::function<TAutoStepRepeatSettings()> AutoStepRepeatSettings;

namespace {

void CloseOperation(const std::string& name) {
  if (DrillUndo != nullptr) DrillUndo->BeginOperation(name);
}

bool InStore(const TDrillHandle* h) { return h->Index >= 1 && h->Index <= DrillEntityCount; }

// The listed handles up to the first index beyond the store.
template <class F>
void Walk(TDrillHandle* list, F&& f) {
  for (TDrillHandle* h = list; h != nullptr && InStore(h); h = h->NextHandle()) f(h);
}

// The drawing walks: hourglass and a copy to the view every 1,000 entities.
template <class F>
void DrawingWalk(TDrillHandle* list, F&& f) {
  THourGlassCursor hourglass;
  TRect source, target;
  DrillViewRects(source, target);
  TProgressiveCopy copy(0, source, target);
  Walk(list, [&](TDrillHandle* h) {
    f(h);
    copy.Tick();
  });
}

void SetPen(TColor colour, uint8_t style) {
  TDrawingBase& p = PictureSurface();
  p.SetColor(colour);
  p.SetPenMode(4);
  p.SetPenStyle(style);
}

// Replaces the entity of the handle by its clone changed by `change`: the
// clone is appended with the old word, the old entity marked deleted, both
// journalled.
template <class F>
void ReplaceByClone(TDrillHandle* h, F&& change) {
  TDrillEntity* e = DRDB->EntityAt(h->Index);
  TDrillEntity* c = e->Clone();
  change(c);
  int32_t n = DRDB->AppendEntity(c, DRDB->WordAt(h->Index));
  if (n == 0) return;
  JournalDelete(DrillUndo, h->Index);
  DRDB->MarkDeleted(h->Index);
  JournalAdd(DrillUndo, n);
}

void DisposeIfUnused(TStepObject* pattern) {
  if (pattern != nullptr && pattern->IsUnused()) delete pattern;
}

int64_t ListedCount(TDrillHandle* list) {
  int64_t n = 0;
  Walk(list, [&](TDrillHandle*) { ++n; });
  return n;
}

// Each entity replaced by its changed clone takes a slot of its own until
// the store is packed: false, with the box, when the store has no room for
// `clones` of them, so that no entity of the list is changed.
bool RoomForClones(int64_t clones, const std::string& operation) {
  return StoreHasRoom(DrillEntities->Name(), TDrillEntities::HighestIndex, DrillEntityCount, clones,
                      operation);
}

TAutoStepRepeatSettings CurrentAutoStepSettings() {
  if (AutoStepRepeatSettings) return AutoStepRepeatSettings();
  TAutoStepRepeatSettings s;
  LoadAutoStepRepeatSettings(s);
  return s;
}

}  // namespace

// ---- Plain operations ------------------------------------------------------------------

TRootDBObject* TDrillHandle::GetEntity() { return DrillEntity(); }
TDrillEntity* TDrillHandle::DrillEntity() { return DRDB != nullptr ? DRDB->EntityAt(Index) : nullptr; }

void TDrillHandle::DrawListColour(TColor) {
  SetPen(HighlightColor, 2);
  DrawingWalk(this, [](TDrillHandle* h) { h->DrillEntity()->DrawColour(HighlightColor); });
}

void TDrillHandle::DrawList() {
  SetPen(BackgroundColor, 0);
  DrawingWalk(this, [](TDrillHandle* h) {
    if (SlotInMask(DRDB->WordAt(h->Index), DisplayedNCLayerMask)) DRDB->DrawEntity(h->Index);
  });
}

void TDrillHandle::EraseList() {
  SetPen(BackgroundColor, 0);
  DrawingWalk(this, [](TDrillHandle* h) { h->DrillEntity()->Erase(); });
}

void TDrillHandle::DeleteList() {
  SetPen(BackgroundColor, 0);
  Walk(this, [](TDrillHandle* h) {
    if (!SlotInMask(DRDB->WordAt(h->Index), ActiveNCLayerMask)) {
      DRDB->DrawEntity(h->Index);
      return;
    }
    DRDB->EraseEntity(h->Index);
    DRDB->MarkDeleted(h->Index);
    JournalDelete(DrillUndo, h->Index);
  });
}

void TDrillHandle::TransformList(const TMatrix3& matrix, bool copy, bool& failed, uint8_t layer,
                                 bool changeLayer) {
  failed = false;
  if (changeLayer && !CheckDrillLayer(layer)) {
    failed = true;
    return;
  }
  SetPen(BackgroundColor, 0);
  DrawingWalk(this, [&](TDrillHandle* h) {
    uint32_t word = DRDB->WordAt(h->Index);
    if (!SlotInMask(word, ActiveNCLayerMask)) return;
    TDrillEntity* c = h->DrillEntity()->Clone();
    if (!c->Transform(matrix)) {
      // The entity stays where it was; only the refusal is reported.
      delete c;
      failed = true;
      return;
    }
    int32_t n = DRDB->AppendEntity(c, changeLayer ? NCLayerBit(layer) : word);
    if (n == 0) {
      failed = true;
      return;
    }
    if (!copy) {
      DRDB->EraseEntity(h->Index);
      DRDB->MarkDeleted(h->Index);
      JournalDelete(DrillUndo, h->Index);
    }
    DRDB->DrawEntity(n);
    JournalAdd(DrillUndo, n);
  });
  if (copy) DrawList();
}

void TDrillHandle::MovedStepChains(std::vector<TStepObject*>& chains, std::vector<int64_t>& drawn,
                                   std::vector<std::vector<TIntPoint>>& reach) {
  Walk(this, [&](TDrillHandle* h) {
    if (!SlotInMask(DRDB->WordAt(h->Index), ActiveNCLayerMask)) return;
    chains.push_back(h->DrillEntity()->GetStepObj());
    drawn.push_back(1);
    reach.push_back(h->DrillEntity()->StepPoints());
  });
}

void CopySelectionToLayer(TDrillHandle* list, bool copy, int32_t tool, bool changeLayer,
                          uint8_t layer) {
  if (list == nullptr) return;
  if (changeLayer && !CheckDrillLayer(layer)) return;
  if (!ValidToolNumber(tool)) tool = 1;
  SetPen(BackgroundColor, 0);
  DrawingWalk(list, [&](TDrillHandle* h) {
    uint32_t word = DRDB->WordAt(h->Index);
    if (!SlotInMask(word, ActiveNCLayerMask)) return;
    TDrillEntity* c = h->DrillEntity()->Clone();
    c->SetToolNumber(uint16_t(tool));
    int32_t n = DRDB->AppendEntity(c, changeLayer ? NCLayerBit(layer) : word);
    if (n == 0) return;
    if (!copy) {
      DRDB->EraseEntity(h->Index);
      DRDB->MarkDeleted(h->Index);
      JournalDelete(DrillUndo, h->Index);
    }
    DRDB->DrawEntity(n);
    JournalAdd(DrillUndo, n);
  });
  if (copy) list->DrawList();
}

int32_t NestingDepth(TDrillHandle* list) {
  int32_t depth = 0;
  Walk(list, [&](TDrillHandle* h) {
    if (TStepObject* s = h->DrillEntity()->GetStepObj()) depth = std::max(depth, s->LevelCount());
  });
  return depth;
}

void TDrillHandle::GetMiddlePoint(TIntPoint& point) { DrillEntity()->MidPoint(point); }
void TDrillHandle::GetDefString(std::string& text) { DrillEntity()->DefString(text); }
void TDrillHandle::GetPerpPoint(const TIntPoint& from, TIntPoint& point) {
  DrillEntity()->PerpPoint(from, point);
}
void TDrillHandle::GetSecondPoint(TIntPoint& point) { DrillEntity()->GetSecondPoint(point); }
uint8_t TDrillHandle::GetEntityType() { return DrillEntity()->GetType(); }

// ---- Step and repeat ----------------------------------------------------------------------

void DrillAutoStepLists(const TAutoStepRepeatSettings& s, bool nested, TStepCommandList& first,
                   TStepCommandList& second) {
  const int32_t nx = s.NumberInX, ny = s.NumberInY, dx = s.DistanceInX, dy = s.DistanceInY;
  const TStepCommand mark{1, 1, 0, 0, 0}, end{0, 1, 0, 0, 0};
  first.clear();
  second.clear();
  if (nested) {
    if (nx > 1) first = {mark, TStepCommand{0, nx - 1, dx, 0, 0}, end};
    if (ny > 1) second = {mark, TStepCommand{0, ny - 1, 0, dy, 0}, end};
    if (first.empty()) std::swap(first, second);
    return;
  }
  first.push_back(mark);
  const int32_t rows = ny / 2;
  for (int32_t k = 1; k <= rows; ++k) {
    if (nx > 1) first.push_back({0, nx - 1, dx, 0, 0});
    first.push_back({0, 1, 0, dy, 0});
    if (nx > 1) first.push_back({0, nx - 1, -dx, 0, 0});
    if (k < rows) first.push_back({0, 1, 0, dy, 0});
  }
  if (ny % 2 == 1) {
    if (ny > 1) first.push_back({0, 1, 0, dy, 0});
    if (nx > 1) first.push_back({0, nx - 1, dx, 0, 0});
  }
  first.push_back(end);
}

namespace {
// The step chains of the listed entities (nullptr for one without), and
// the points their copies are made of.
std::vector<TStepObject*> ChainsOf(TDrillHandle* list, std::vector<std::vector<TIntPoint>>& reach) {
  std::vector<TStepObject*> chains;
  Walk(list, [&](TDrillHandle* h) {
    chains.push_back(h->DrillEntity()->GetStepObj());
    reach.push_back(h->DrillEntity()->StepPoints());
  });
  return chains;
}

// Replaces every listed entity by a clone that carries the pattern as its
// outermost level, closes the operation and redraws. Without room for every
// clone nothing is replaced (the pattern is freed).
void AppendPatternToList(TDrillHandle* list, TStepObject* pattern, const std::string& name) {
  if (!RoomForClones(ListedCount(list), "Giving the holes the step pattern")) {
    DisposeIfUnused(pattern);
    return;
  }
  // Held while the clones take it: a clone the store refused gives its
  // reference back, which must not free the pattern under the others.
  pattern->AddRef();
  bool any = false;
  Walk(list, [&](TDrillHandle* h) {
    any = true;
    ReplaceByClone(h, [&](TDrillEntity* c) { c->AppendStepObj(pattern); });
  });
  ReleaseStepObject(pattern);
  if (!any) return;
  DRDB->Redraw();
  CloseOperation(name);
}
}  // namespace

void TDrillHandle::Step() {
  if (NestingDepth(this) > 2) {
    ErrorBox("One or more of the holes you have selected\r\nalready has a nesting depth of three.");
    return;
  }
  TAutoStepRepeatSettings s = CurrentAutoStepSettings();
  if (s.NumberInX == 1 && s.NumberInY == 1) return;
  bool nested = s.Nested;
  if (nested && NestingDepth(this) > 1) {
    InformationBox(
        "One or more of the cuts you have selected\r\nalready has a nesting depth of "
        "two.\r\nSwitching to unnested auto step.");
    nested = false;
  }
  TStepCommandList a, b;
  DrillAutoStepLists(s, nested, a, b);
  TQuietStepExpansion quiet;  // JobStepsTakePattern refuses a pattern that cannot expand
  auto* pattern = new TStepObject(std::move(a));
  if (!b.empty()) pattern->SetNested(new TStepObject(std::move(b)));
  std::vector<std::vector<TIntPoint>> reach;
  const std::vector<TStepObject*> chains = ChainsOf(this, reach);
  if (!JobStepsTakePattern(chains, *pattern, {}, reach)) {
    DisposeIfUnused(pattern);
    return;
  }
  AppendPatternToList(this, pattern, "Auto Step && Repeat");
}

void TDrillHandle::CreateStep() {
  if (NestingDepth(this) > 2) {
    ErrorBox("One or more of the cuts you have selected\r\nalready has a nesting depth of three.");
    return;
  }
  TEditStepLists lists;
  lists[0] = TStepCommandList{{1, 1, 0, 0, 0}, {0, 1, 0, 0, 0}};
  if (!ExecuteEditStepDialog(lists) || !lists[0]) return;
  TQuietStepExpansion quiet;  // JobStepsTakePattern refuses a pattern that cannot expand
  auto* pattern = new TStepObject(std::move(*lists[0]));
  std::vector<std::vector<TIntPoint>> reach;
  const std::vector<TStepObject*> chains = ChainsOf(this, reach);
  if (!JobStepsTakePattern(chains, *pattern, {}, reach)) {
    DisposeIfUnused(pattern);
    return;
  }
  AppendPatternToList(this, pattern, "Create Step && Repea");
}

void TDrillHandle::EditStep() {
  TDrillEntity* e = DrillEntity();
  TStepObject* s = e != nullptr ? e->GetStepObj() : nullptr;
  if (s == nullptr) {
    ViewServices().UpdateView();
    return;
  }
  // Keep the chain alive while entities let go of it.
  s->AddRef();
  TStepObject* levels[3] = {s, s->GetLevel(2), s->GetLevel(3)};
  TEditStepLists before;
  for (int k = 0; k < 3; ++k)
    if (levels[k] != nullptr) before[k] = levels[k]->Commands();
  TEditStepLists lists = before;
  if (ExecuteEditStepDialog(lists)) {
    bool changed[3];
    for (int k = 0; k < 3; ++k) changed[k] = lists[k] != before[k];
    if ((changed[0] || changed[1] || changed[2]) && JobStepsTakeEdit(levels, changed, lists)) {
      // Every chain made expands (counted above); one built on the way,
      // with some of its levels replaced, need not.
      TQuietStepExpansion quiet;
      DRDB->ReplaceStepLevels(changed[0], changed[1], lists, levels[2], levels[1], levels[0],
                              changed[2]);
      if (RoutReplaceStepLevels)
        RoutReplaceStepLevels(changed[0], changed[1], lists, levels[2], levels[1], levels[0],
                              changed[2]);
    }
  }
  ReleaseStepObject(s);
  DRDB->Redraw();
  ViewServices().UpdateView();
}

void TDrillDatabase::ReplaceStepLevels(bool change1, bool change2, const TEditStepLists& lists,
                                       TStepObject* old3, TStepObject* old2, TStepObject* old1,
                                       bool change3) {
  if (!change1 && !change2 && !change3) return;
  EraseAll();
  const bool change[3] = {change1, change2, change3};
  TStepObject* old[3] = {old1, old2, old3};
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    TDrillEntity* e = EntityAt(i);
    TStepObject* chain = e->GetStepObj();
    if (chain == nullptr) continue;
    TStepObject* result = nullptr;
    bool emptied = false;
    for (int k = 0; k < 3; ++k) {
      if (!change[k] || old[k] == nullptr) continue;
      TStepObject* base = result != nullptr ? result : chain;
      const TStepCommandList* commands = lists[k] ? &*lists[k] : nullptr;
      TStepObject* r = base->ReplaceLevel(old[k], commands, emptied);
      if (r != nullptr) result = r;
    }
    if (result != nullptr || emptied) e->SetStepObj(result);
  }
  Redraw();
  ViewServices().UpdateView();
}

void TDrillHandle::DeleteStep() {
  int64_t stepped = 0;
  Walk(this, [&](TDrillHandle* h) { stepped += h->DrillEntity()->GetStepObj() != nullptr; });
  if (!RoomForClones(stepped, "Deleting the step patterns")) return;
  DRDB->EraseAll();
  Walk(this, [](TDrillHandle* h) {
    if (h->DrillEntity()->GetStepObj() == nullptr) return;
    ReplaceByClone(h, [](TDrillEntity* c) { c->SetStepObj(nullptr); });
  });
  DRDB->Redraw();
  CloseOperation("Delete Step && Repea");
  ViewServices().UpdateView();
}

namespace {
void CopyPattern(TDrillHandle* list, TStepObject* pattern, const std::string& name) {
  std::vector<std::vector<TIntPoint>> reach;
  if (!JobDrawnCopiesTakeChains(ChainsOf(list, reach), {}, pattern, "Nothing was changed.", reach)) return;
  if (!RoomForClones(ListedCount(list), "Giving the holes the step pattern")) return;
  if (pattern != nullptr) pattern->AddRef();  // held while clones take it
  DRDB->EraseAll();
  Walk(list, [&](TDrillHandle* h) {
    ReplaceByClone(h, [&](TDrillEntity* c) { c->SetStepObj(pattern); });
  });
  ReleaseStepObject(pattern);
  DRDB->Redraw();
  CloseOperation(name);
}
}  // namespace

void TDrillHandle::CopyStepList(TRootEntityHandle* source) {
  TRootDBObject* e = source != nullptr ? source->GetEntity() : nullptr;
  if (e == nullptr) return;
  CopyPattern(this, e->GetStepObj(), "Add To Step && Repea");
}

void TDrillHandle::CrossCopyStepList(int32_t routIndex) {
  if (!RoutPathStepObject) return;
  CopyPattern(this, RoutPathStepObject(routIndex), "Duplicate Step && Re");
}

void TDrillHandle::ExpandStepsIntoDatabase() {
  // Each stepped entity becomes an unstepped one and a copy of it for each
  // copy of its pattern: without room for all of them nothing is expanded,
  // or the holes beyond the room would be lost with their pattern.
  int64_t needed = 0;
  Walk(this, [&](TDrillHandle* h) {
    if (const TStepObject* step = h->DrillEntity()->GetStepObj())
      needed += 1 + int64_t(step->Offsets().size());
  });
  if (!StoreHasRoom(DrillEntities->Name(), TDrillEntities::HighestIndex, DrillEntityCount, needed,
                    "Expanding the steps"))
    return;
  struct TMember {
    int32_t BaseIndex;
    bool Slot;
  };
  TStepObject* groupStep = nullptr;
  std::vector<TMember> members;
  std::vector<TIntPoint> points;

  auto expandGroup = [&]() {
    if (groupStep == nullptr || members.empty()) return;
    std::vector<TIntPoint> copy;
    bool mirrored;
    groupStep->BeginCopies(&points);
    while (groupStep->NextCopy(copy, mirrored)) {
      std::size_t k = 0;
      for (const TMember& m : members) {
        TDrillEntity* c = DRDB->EntityAt(m.BaseIndex)->Clone();
        c->SetPoint(copy[k++]);
        if (m.Slot) c->SetSecondPoint(copy[k++]);
        int32_t n = DRDB->AppendEntity(c, DRDB->WordAt(m.BaseIndex));
        if (n != 0) JournalAdd(DrillUndo, n);
      }
    }
    groupStep->BeginCopies(nullptr);
    members.clear();
    points.clear();
  };

  Walk(this, [&](TDrillHandle* h) {
    TDrillEntity* e = h->DrillEntity();
    TStepObject* step = e->GetStepObj();
    if (step == nullptr) return;
    if (step != groupStep) {
      expandGroup();
      groupStep = step;
    }
    TDrillEntity* base = e->Clone();
    base->SetStepObj(nullptr);
    int32_t n = DRDB->AppendEntity(base, DRDB->WordAt(h->Index));
    if (n == 0) return;
    JournalAdd(DrillUndo, n);
    JournalDelete(DrillUndo, h->Index);
    DRDB->MarkDeleted(h->Index);
    bool slot = e->GetType() == etDrillSlot;
    TIntPoint p;
    e->GetPoint(p);
    points.push_back(p);
    if (slot) {
      e->GetSecondPoint(p);
      points.push_back(p);
    }
    members.push_back({n, slot});
  });
  expandGroup();
  DRDB->Redraw();
  CloseOperation("Expand Step && Repea");
}
