#include "routpath/path_selection.h"

#include <cmath>
#include <set>

#include "command/command_text.h"
#include "foundation/display_units.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "routpath/auto_rout.h"
#include "routpath/cad_path_link.h"
#include "routpath/part_rout.h"

namespace {

// Rounded distance, as the ordering compares it.
int64_t RoundedDistance(const TIntPoint& a, const TIntPoint& b) {
  return std::llround(std::hypot(double(a.X) - b.X, double(a.Y) - b.Y));
}

TIntPoint FirstPoint(TRootEntityHandle* h) {
  TIntPoint p{0, 0};
  if (TRootDBObject* o = h->GetEntity()) o->GetPoint(p);
  return p;
}

bool IsCircle(TRootEntityHandle* h) {
  TRootDBObject* o = h->GetEntity();
  return o != nullptr && o->GetType() == etCadCircle;
}

// Detaches the front handle of the list.
TRootEntityHandle* PopFront(TRootEntityHandle*& list) {
  TRootEntityHandle* front = list;
  list = front->Next;
  front->Next = nullptr;
  return front;
}

}  // namespace

void OrderPathsNearestFirst(TRoutDatabase&, TRootEntityHandle*& selection) {
  TRootEntityHandle* ordered = nullptr;
  TRootEntityHandle** tail = &ordered;
  TIntPoint from{0, 0};
  while (selection != nullptr) {
    TRootEntityHandle** best = &selection;
    int64_t bestDistance = RoundedDistance(FirstPoint(selection), from);
    for (TRootEntityHandle** at = &selection->Next; *at != nullptr; at = &(*at)->Next) {
      const int64_t d = RoundedDistance(FirstPoint(*at), from);
      if (d < bestDistance) {
        best = at;
        bestDistance = d;
      }
    }
    TRootEntityHandle* taken = *best;
    *best = taken->Next;
    taken->Next = nullptr;
    from = FirstPoint(taken);
    *tail = taken;
    tail = &taken->Next;
  }
  selection = ordered;
}

void RemovePathFromSelection(TRoutDatabase&, TRootEntityHandle*& selection, TRootEntityHandle* path) {
  std::set<int32_t> inPath;
  for (TRootEntityHandle* h = path; h != nullptr; h = h->Next) inPath.insert(h->GetIndex());
  TRootEntityHandle** at = &selection;
  while (*at != nullptr) {
    if (inPath.count((*at)->GetIndex()) != 0) {
      TRootEntityHandle* dropped = *at;
      *at = dropped->Next;
      delete dropped;
    } else {
      at = &(*at)->Next;
    }
  }
}

bool TakeFirstPath(TRoutDatabase& rtdb, TRootEntityHandle*& selection, TRootEntityHandle*& path) {
  path = nullptr;
  if (selection == nullptr) return false;
  if (selection->Next == nullptr || IsCircle(selection)) {
    path = PopFront(selection);
    return true;
  }
  while (selection != nullptr) {
    const int32_t front = selection->GetIndex();
    TRootEntityHandle* chain = new TCadHandle(front);
    if (LinkClosedPathTest(chain, false) && chain != nullptr) {
      // The path starts at its longest side (the earlier of equals).
      std::vector<TProfileEntity> profile = ProfileOf(chain);
      int32_t start = chain->GetIndex();
      double longest = 0.0;
      std::size_t i = 0;
      for (TRootEntityHandle* h = chain; h != nullptr && i < profile.size(); h = h->Next, ++i) {
        const double l = profile[i].Length();
        if (l > longest) {
          longest = l;
          start = h->GetIndex();
        }
      }
      RemovePathFromSelection(rtdb, selection, chain);
      FreeObjectList(chain);
      path = new TCadHandle(start);
      return true;
    }
    if (chain != nullptr) chain->DrawList();
    RemovePathFromSelection(rtdb, selection, chain);
    FreeObjectList(chain);
    // The front handle goes even when the chain lost it.
    TCadHandle frontOnly(front);
    RemovePathFromSelection(rtdb, selection, &frontOnly);
  }
  return false;
}

std::string PathRoutOperationName(TPathRoutKind kind) {
  switch (kind) {
    case prkAutoOutside: return "auto rout outside";
    case prkAutoInside: return "auto rout inside";
    case prkPocket: return "Pocket Rout";
    default: return "Milled Pocket Rout";
  }
}

namespace {

bool RoutOne(TRoutDatabase& rtdb, TRootEntityHandle*& path, TPathRoutKind kind, bool group,
             bool& suppress) {
  switch (kind) {
    case prkAutoOutside:
    case prkAutoInside:
      return AutoRoutPath(rtdb, path, kind == prkAutoInside, false, group, suppress);
    default: return PocketRoutPath(rtdb, path, kind == prkMilledPocket, group);
  }
}

}  // namespace

bool RoutSelection(TRoutDatabase& rtdb, TRootEntityHandle*& selection, TPathRoutKind kind) {
  if (selection == nullptr) return false;
  bool suppress = false;
  if (selection->Next == nullptr) {
    TRootEntityHandle* path = selection;
    selection = nullptr;
    const bool routed = RoutOne(rtdb, path, kind, false, suppress);
    FreeObjectList(path);
    return routed;
  }
  const int32_t before = RoutEntityCount;
  // Whatever the group wrote is one step, also when a path throws.
  struct TGroupStep {
    std::string Name;
    ~TGroupStep() {
      if (RoutUndo != nullptr) RoutUndo->BeginOperation(Name);
    }
  } step{PathRoutOperationName(kind)};
  OrderPathsNearestFirst(rtdb, selection);
  TRootEntityHandle* path = nullptr;
  try {
    while (TakeFirstPath(rtdb, selection, path)) {
      RoutOne(rtdb, path, kind, true, suppress);
      FreeObjectList(path);
      path = nullptr;
    }
  } catch (...) {
    FreeObjectList(path);
    FreeObjectList(selection);
    selection = nullptr;
    throw;
  }
  return RoutEntityCount > before;
}

TRootEntityHandle* SelectionOfCommand(const std::string& text) {
  if (DB == nullptr) return nullptr;
  const int32_t index = GetCommandEntityRef(text, 1);
  if (index != 0) return DB->EntityAt(index) != nullptr ? new TCadHandle(index) : nullptr;
  TRootEntityHandle* list = nullptr;
  DB->SelectInWindow(GetCommandPoint(text, 1), GetCommandPoint(text, 3), true, 0, list);
  return list;
}
