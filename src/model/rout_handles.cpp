#include "model/rout_handles.h"

#include <algorithm>

#include "foundation/geometry_matrix.h"
#include "model/cad_database.h"
#include "model/job_file_writer.h"
#include "model/view_services.h"
#include "platform/message_box.h"

TRoutUndo* RoutUndo = nullptr;

namespace {

TDrillStepLevelsHook DrillStepLevels;
TDrillStepObjectHook DrillStepObject;

uint8_t LayerOfRoutSlot(uint32_t flags) { return static_cast<uint8_t>(30 + LayerOfBit(flags & 0x7C00u)); }

// A new slot for the entity with the slot word, inserted at the layer's
// insertion point and journalled; 0 (entity freed) when the store or the
// sequence is full.
int32_t AddEntitySlot(TRoutEntity* entity, uint32_t flags, uint8_t layer) {
  TEntitySlot* slot = RoutEntities->AddSlot(RoutEntityCount);
  if (slot == nullptr) {
    delete entity;
    return 0;
  }
  const int32_t n = RoutEntityCount;
  if (!Seq->InsertHandle(layer, n)) {
    --RoutEntityCount;
    RoutEntities->SetCount(RoutEntityCount);
    delete entity;
    return 0;
  }
  JournalAdd(RoutUndo, n);
  slot->Flags = flags;
  slot->Entity = entity;
  return n;
}

// Takes a source entity out (journalled).
void RemoveSource(int32_t index) {
  RTDB->EraseEntity(index);
  RTDB->DeleteEntity(index);
  JournalDelete(RoutUndo, index);
}

// A drawing walk over a list: the hourglass, and the picture copied to the
// view every 1,000 entities.
class TListWalk {
 public:
  TListWalk() : copy_(0, {}, {}) {
    if (DB != nullptr) DB->GetViewRects(copy_.Source, copy_.Target);
  }
  void Drawn() { copy_.Tick(); }

 private:
  THourGlassCursor hourglass_;
  TProgressiveCopy copy_;
};

// The step chain of the level lists (level 1 outermost); nullptr when the
// first level is absent.
TStepObject* ChainFromLevels(const TEditStepLists& levels) {
  TStepObject* outer = nullptr;
  for (int k = 2; k >= 0; --k) {
    if (!levels[k]) continue;
    auto* level = new TStepObject(*levels[k]);
    if (outer != nullptr) level->SetNested(outer);
    outer = level;
  }
  return outer;
}

const char* const kDepthThree =
    "One or more of the cuts you have selected\r\nalready has a nesting depth of three.";
const char* const kDepthTwo =
    "One or more of the cuts you have selected\r\nalready has a nesting depth of two.\r\n"
    "Switching to unnested auto step.";

}  // namespace

// ---- Seams -------------------------------------------------------------------------------------

void SetDrillStepLevelsHook(TDrillStepLevelsHook hook) { DrillStepLevels = std::move(hook); }
void SetDrillStepObjectHook(TDrillStepObjectHook hook) { DrillStepObject = std::move(hook); }

void AddStepCommand(TStepCommandList& list, uint8_t command, int32_t dx, int32_t count,
                    uint8_t orientation, int32_t dy) {
  list.push_back(TStepCommand{command, count, dx, dy, orientation});
}

void FreeRoutHandles(TRootEntityHandle*& list) {
  while (list != nullptr) {
    TRootEntityHandle* next = list->Next;
    delete list;
    list = next;
  }
}

namespace {
bool Refused(TStepCommandList& list) {
  list.clear();
  return false;
}
}  // namespace

bool RoutAutoStepLists(const TAutoStepRepeatSettings& s, bool nested, TStepCommandList& first,
                   TStepCommandList& second) {
  first.clear();
  second.clear();
  const int32_t nx = s.NumberInX, ny = s.NumberInY, dx = s.DistanceInX, dy = s.DistanceInY;
  // The way back across a row or a column spans all its steps: computed in
  // 64 bits, and a span no step can state refuses the pattern.
  const int64_t backX = -int64_t{dx} * (nx - 1), backY = -int64_t{dy} * (ny - 1);
  auto step = [](TStepCommandList& l, int32_t x, int32_t y, int32_t n) {
    AddStepCommand(l, 0, x, n, 0, y);
  };
  auto mark = [](TStepCommandList& l) { AddStepCommand(l, 1, 0, 1, 0, 0); };
  if (nested) {
    TStepCommandList xs, ys;
    if (nx > 1) {
      mark(xs);
      step(xs, dx, 0, nx - 1);
      step(xs, 0, 0, 1);
    }
    if (ny > 1) {
      mark(ys);
      step(ys, 0, dy, ny - 1);
      step(ys, 0, 0, 1);
    }
    if (!s.StepHorizontalFirst) std::swap(xs, ys);
    if (xs.empty()) std::swap(xs, ys);
    first = std::move(xs);
    second = std::move(ys);
    return true;
  }
  TStepCommandList& l = first;
  mark(l);
  if (s.StepHorizontalFirst && s.Serpentine) {
    for (int32_t r = 1; r <= ny / 2; ++r) {
      if (nx > 1) step(l, dx, 0, nx - 1);
      step(l, 0, dy, 1);
      if (nx > 1) step(l, -dx, 0, nx - 1);
      if (r < ny / 2) step(l, 0, dy, 1);
    }
    if (ny % 2 == 1) {
      if (ny > 1) step(l, 0, dy, 1);
      if (nx > 1) step(l, dx, 0, nx - 1);
    }
  } else if (s.StepHorizontalFirst) {
    if (ny > 1 && (backX < -2147483647 || backX > 2147483647)) return Refused(first);
    for (int32_t r = 1; r <= ny - 1; ++r) {
      if (nx > 1) step(l, dx, 0, nx - 1);
      step(l, int32_t(backX), dy, 1);
    }
    if (nx > 1) step(l, dx, 0, nx - 1);
  } else if (s.Serpentine) {
    for (int32_t c = 1; c <= nx / 2; ++c) {
      if (ny > 1) step(l, 0, dy, ny - 1);
      step(l, dx, 0, 1);
      if (ny > 1) step(l, 0, -dy, ny - 1);
      if (c < nx / 2) step(l, dx, 0, 1);
    }
    if (nx % 2 == 1) {
      if (nx > 1) step(l, dx, 0, 1);
      if (ny > 1) step(l, 0, dy, ny - 1);
    }
  } else {
    if (nx > 1 && (backY < -2147483647 || backY > 2147483647)) return Refused(first);
    for (int32_t c = 1; c <= nx - 1; ++c) {
      if (ny > 1) step(l, 0, dy, ny - 1);
      step(l, dx, int32_t(backY), 1);
    }
    if (ny > 1) step(l, 0, dy, ny - 1);
  }
  step(l, 0, 0, 1);
  return true;
}

// ---- RoutUndo ----------------------------------------------------------------------------------

void TRoutUndo::Reset() {
  TUndoJournal::Reset();
  if (Seq != nullptr) Seq->ResetLogs();
}

// The replay changes slot words only through RTDB's DeleteEntity and
// UndeleteEntity, which report them to Seq: its walks may skip hidden
// entries by its bit maps while the journal replays.
void TRoutUndo::Undo() {
  {
    TVisibilityWatch watch(Seq);
    TUndoJournal::Undo();
  }
  if (RTDB != nullptr) RTDB->UpdateChangedPath();
}

void TRoutUndo::Redo() {
  {
    TVisibilityWatch watch(Seq);
    TUndoJournal::Redo();
  }
  if (RTDB != nullptr) RTDB->UpdateChangedPath();
}

void TRoutUndo::EraseEntity(int32_t index) {
  if (RTDB != nullptr) RTDB->EraseEntity(index);
}
void TRoutUndo::DrawEntity(int32_t index) {
  if (RTDB != nullptr) RTDB->DrawEntity(index);
}
void TRoutUndo::DeleteEntity(int32_t index) {
  if (RTDB != nullptr) RTDB->DeleteEntity(index);
}
void TRoutUndo::UndeleteEntity(int32_t index) {
  if (RTDB != nullptr) RTDB->UndeleteEntity(index);
}

void TRoutUndo::UndoChange(int32_t count, uint8_t layer) {
  if (RTDB == nullptr || Seq == nullptr || !IsRoutLayer(layer)) return;
  RTDB->ErasePathStarts(layer);
  Seq->SaveRedoLayer(layer);
  Seq->LoadUndoLayer(layer, count);
  RTDB->DrawStepRepeats(layer);
  RTDB->DrawPathStarts(layer);
}

void TRoutUndo::RedoChange(int32_t count, uint8_t layer) {
  if (RTDB == nullptr || Seq == nullptr || !IsRoutLayer(layer)) return;
  RTDB->ErasePathStarts(layer);
  Seq->AdvanceUndoPos(count);
  Seq->LoadRedoLayer(layer);
  RTDB->DrawStepRepeats(layer);
  RTDB->DrawPathStarts(layer);
}

// ---- TRoutHandle -------------------------------------------------------------------------------

TRoutEntity* TRoutHandle::RoutEntity() { return RTDB != nullptr ? RTDB->EntityAt(Index) : nullptr; }
TRootDBObject* TRoutHandle::GetEntity() { return RoutEntity(); }

namespace {
TRoutEntity* EntityOf(TRootEntityHandle* h) { return RTDB != nullptr ? RTDB->EntityAt(h->Index) : nullptr; }
uint32_t FlagsOf(TRootEntityHandle* h) {
  TEntitySlot* slot = RTDB != nullptr ? RTDB->SlotAt(h->Index) : nullptr;
  return slot != nullptr ? slot->Flags : 0;
}
}  // namespace

void TRoutHandle::DrawListColour(TColor colour) {
  TListWalk walk;
  for (TRootEntityHandle* h = this; h != nullptr; h = h->Next) {
    TRoutEntity* e = EntityOf(h);
    if (e == nullptr) continue;
    const auto* rh = dynamic_cast<TRoutHandle*>(h);
    e->DrawColour(rh != nullptr && rh->AsLine ? TColor(0x000000FF) : colour);
    walk.Drawn();
  }
}

void TRoutHandle::DrawList() {
  TListWalk walk;
  const uint8_t layer = LayerOfRoutSlot(FlagsOf(this));
  for (TRootEntityHandle* h = this; h != nullptr; h = h->Next) {
    TRoutEntity* e = EntityOf(h);
    if (e == nullptr || !SlotInMask(FlagsOf(h), DisplayedNCLayerMask)) continue;
    e->Draw(layer);
    walk.Drawn();
  }
}

void TRoutHandle::EraseList() {
  TListWalk walk;
  for (TRootEntityHandle* h = this; h != nullptr; h = h->Next) {
    TRoutEntity* e = EntityOf(h);
    if (e == nullptr) continue;
    e->Erase();
    walk.Drawn();
  }
}

void TRoutHandle::DeleteList() {
  if (RTDB == nullptr || Seq == nullptr) return;
  const TKeptInsertPoints kept;
  // The only path start of a layer leaves a copy of itself at the origin, so
  // that the layer's remaining cuts keep a start.
  if (Next == nullptr) {
    if (TRoutEntity* e = RoutEntity()) {
      const uint8_t l = Seq->LayerOf(Index);
      if (l != 0) {
        Seq->SetReadCursor(l, 1);
        int32_t first = Seq->NextPathEntity(l);
        while (first != 0 && RTDB->EntityAt(first)->GetType() == etRoutCircle)
          first = Seq->NextPathEntity(l);
        if (first == Index) {
          TRoutEntity* clone = e->Clone(l);
          clone->SetPoint({0, 0});
          Seq->SetInsertAtStart(l);
          AddEntitySlot(clone, FlagsOf(this) & ~SlotDeletedBit, l);
        }
      }
    }
  }
  for (TRootEntityHandle* h = this; h != nullptr; h = h->Next) {
    if (RTDB->SlotAt(h->Index) == nullptr) continue;
    if (SlotInMask(FlagsOf(h), ActiveNCLayerMask)) {
      RemoveSource(h->Index);
      if (h->Next == nullptr) RTDB->ReplaceNextArcByLine(h->Index);
    } else {
      RTDB->DrawEntity(h->Index);
    }
  }
}

void TRoutHandle::TransformList(const TMatrix3& matrix, bool copy, bool& failed, uint8_t,
                                bool) {
  failed = false;
  if (RTDB == nullptr || Seq == nullptr) return;
  THourGlassCursor hourglass;
  const TKeptInsertPoints kept;
  // A mirrored path runs the other way round: its arcs turn the other way and
  // its cutter goes on the other side, as a mirrored step copy does.
  const bool mirrored = MatrixIsMirrored(matrix);
  TRootEntityHandle* h = this;
  while (h != nullptr) {
    // One run: the listed handles in a row on one layer.
    const uint8_t l = Seq->LayerOf(h->Index);
    TRootEntityHandle* last = h;
    while (last->Next != nullptr && Seq->LayerOf(last->Next->Index) == l) last = last->Next;
    TRootEntityHandle* after = last->Next;
    if (l != 0) Seq->SetInsertAfter(last->Index);
    for (TRootEntityHandle* k = h; k != after; k = k->Next) {
      auto* rh = static_cast<TRoutHandle*>(k);
      TRoutEntity* e = EntityOf(k);
      const uint32_t flags = FlagsOf(k);
      if (e == nullptr || l == 0 || !rh->Include || !SlotInMask(flags, ActiveNCLayerMask)) continue;
      TRoutEntity* clone = rh->AsLine ? e->CloneAsLine(l) : e->Clone(l);
      if (!clone->Transform(matrix)) {
        // Refused: the source stays where it was.
        delete clone;
        failed = true;
        continue;
      }
      if (mirrored && IsArcType(clone->GetType())) clone->Mirror();
      if (mirrored && clone->GetType() == etRoutJog && clone->GetComp() != 0)
        clone->SetComp(clone->GetComp() == 1 ? 2 : 1);
      if (AddEntitySlot(clone, flags, l) == 0) {
        failed = true;
        continue;
      }
      if (!copy) RemoveSource(k->Index);
      else if (RTDB->DrawingEnabled) e->Erase();
    }
    // An arc that closes the run but was not moved now starts elsewhere: it
    // becomes a line to its own end point.
    auto* lastHandle = static_cast<TRoutHandle*>(last);
    TRoutEntity* le = EntityOf(last);
    if (le != nullptr && l != 0 && !lastHandle->Include && IsArcType(le->GetType()) &&
        SlotInMask(FlagsOf(last), ActiveNCLayerMask)) {
      if (AddEntitySlot(le->CloneAsLine(l), FlagsOf(last), l) != 0 && !copy)
        RemoveSource(last->Index);
    }
    h = after;
  }
  RTDB->Redraw(0);
}

void TRoutHandle::MovedStepChains(std::vector<TStepObject*>& chains, std::vector<int64_t>& drawn,
                                  std::vector<std::vector<TIntPoint>>& reach) {
  if (RTDB == nullptr || Seq == nullptr) return;
  for (TRootEntityHandle* h = this; h != nullptr; h = h->Next) {
    auto* rh = static_cast<TRoutHandle*>(h);
    auto* e = dynamic_cast<TRoutStepCarrier*>(EntityOf(h));
    if (e != nullptr && Seq->LayerOf(h->Index) != 0 && rh->Include && !rh->AsLine &&
        SlotInMask(FlagsOf(h), ActiveNCLayerMask)) {
      chains.push_back(e->GetStepObj());
      // A copied start takes its path with it: counted whole.
      drawn.push_back(e->GetStepObj() != nullptr ? RoutStartDrawn(h->Index) : 1);
      reach.push_back(e->GetStepObj() != nullptr ? RoutStartReach(h->Index) : std::vector<TIntPoint>{});
    }
  }
}

void TRoutHandle::ReversePaths(const TMatrix3& matrix, bool copy, bool& failed) {
  failed = false;
  if (RTDB == nullptr || Seq == nullptr) return;
  std::vector<TRoutHandle*> all;
  for (TRootEntityHandle* h = this; h != nullptr; h = h->Next) all.push_back(static_cast<TRoutHandle*>(h));
  // Where the reversed paths go: after the first as-line handle left out of
  // the selection, else after the last listed handle.
  TRoutHandle* anchor = all.back();
  for (TRoutHandle* h : all)
    if (h->AsLine && !h->Include) {
      anchor = h;
      break;
    }
  const TKeptInsertPoints kept;
  Seq->SetInsertAfter(anchor->Index);
  // Cut into paths (each ends before a jog or circle) and reverse each.
  std::vector<std::vector<TRoutHandle*>> paths;
  for (TRoutHandle* h : all) {
    TRoutEntity* e = EntityOf(h);
    const uint8_t t = e != nullptr ? e->GetType() : 0;
    if (paths.empty() || t == etRoutJog || t == etRoutCircle) paths.emplace_back();
    paths.back().push_back(h);
  }
  THourGlassCursor hourglass;
  for (auto& path : paths) {
    std::reverse(path.begin(), path.end());
    // The path's own start gives the new start's side, tool and index.
    uint8_t side = 0;
    int32_t tool = 1, compIndex = 0;
    TStepObject* step = nullptr;
    for (TRoutHandle* h : path)
      if (TRoutEntity* e = EntityOf(h); e != nullptr && e->GetType() == etRoutJog) {
        side = e->GetComp();
        tool = e->GetToolNumber();
        compIndex = e->GetCompIndex();
        step = e->GetStepObj();
        break;
      } else if (e != nullptr && e->GetType() == etRoutCircle) {
        tool = e->GetToolNumber();
        step = e->GetStepObj();
        break;
      }
    TRoutEntity* previous = nullptr;  // the source entity before, in reversed order
    for (TRoutHandle* h : path) {
      TRoutEntity* e = EntityOf(h);
      const uint32_t flags = FlagsOf(h);
      if (e == nullptr || !SlotInMask(flags, ActiveNCLayerMask)) continue;
      const uint8_t l = LayerOfRoutSlot(flags);
      const uint8_t t = e->GetType();
      TIntPoint p;
      e->GetPoint(p);
      TRoutEntity* made;
      if (t == etRoutCircle || t == etRoutHole || t == etRoutCommand) {
        made = e->Clone(l);
      } else if (previous == nullptr) {
        auto* jog = new TRoutJog(p, side, tool, compIndex, l);
        jog->SetStepObj(step);
        made = jog;
      } else if (IsArcType(previous->GetType())) {
        // The arc between the same points about the same centre, run the
        // other way.
        TIntPoint c;
        previous->GetCentre(c);
        const uint8_t type = previous->GetType() == etRoutArc ? etRoutArcReverse : etRoutArc;
        made = new TRoutArc(type, previous->GetFeedRate(), previous->GetZOffset(), p, c, l);
      } else if (previous->GetType() == etRoutLine) {
        made = new TRoutLine(p, previous->GetFeedRate(), previous->GetZOffset(), l);
      } else {
        made = new TRoutLine(p, 0, NoZOffset, l);
      }
      if (t != etRoutHole && t != etRoutCommand) previous = e;
      if (!made->Transform(matrix)) {
        delete made;
        failed = true;
        continue;
      }
      if (AddEntitySlot(made, flags, l) == 0) {
        failed = true;
        continue;
      }
      if (!copy) RemoveSource(h->Index);
    }
  }
  RTDB->Redraw(0);
}

int32_t TRoutHandle::MaxStepDepth(TRootEntityHandle* list) {
  int32_t depth = 0;
  for (TRootEntityHandle* h = list; h != nullptr; h = h->Next) {
    TRoutEntity* e = EntityOf(h);
    if (e == nullptr || !IsPathStartType(e->GetType())) continue;
    if (TStepObject* s = e->GetStepObj()) depth = std::max(depth, s->LevelCount());
  }
  return depth;
}

int32_t TRoutHandle::ReplaceStarts(TStepObject* step, bool append) {
  if (RTDB == nullptr || Seq == nullptr) return 0;
  // Each start replaced takes a slot of its own for its clone: without room
  // for all of them no path is given the pattern.
  int64_t starts = 0;
  for (TRootEntityHandle* h = this; h != nullptr; h = h->Next) {
    TRoutEntity* e = EntityOf(h);
    starts += e != nullptr && !SlotDeleted(FlagsOf(h)) && IsPathStartType(e->GetType());
  }
  if (!StoreHasRoom(RoutEntities->Name(), TRoutEntities::HighestIndex, RoutEntityCount, starts,
                    "Giving the paths the step pattern"))
    return 0;
  const TKeptInsertPoints kept;
  int32_t replaced = 0;
  for (TRootEntityHandle* h = this; h != nullptr; h = h->Next) {
    TRoutEntity* e = EntityOf(h);
    const uint32_t flags = FlagsOf(h);
    if (e == nullptr || SlotDeleted(flags) || !IsPathStartType(e->GetType())) continue;
    Seq->SetInsertAfter(h->Index);
    const uint8_t l = Seq->LayerOf(h->Index);
    if (l == 0) continue;
    TRoutEntity* clone = e->Clone(l);
    if (append) clone->AppendStepObj(step); else clone->SetStepObj(step);
    // Erased while its path still follows it, with the copies drawn for it.
    RTDB->EraseEntity(h->Index);
    if (AddEntitySlot(clone, flags, l) == 0) continue;
    JournalDelete(RoutUndo, h->Index);
    RTDB->DeleteEntity(h->Index);
    ++replaced;
  }
  return replaced;
}

namespace {
// The step chains of the listed path starts (nullptr for one without), how
// many entities draw with each (RoutStartDrawn) and the points their copies
// are made of (RoutStartReach).
std::vector<TStepObject*> StartChains(TRootEntityHandle* list, std::vector<int64_t>& drawn,
                                      std::vector<std::vector<TIntPoint>>& reach) {
  std::vector<TStepObject*> chains;
  drawn.clear();
  for (TRootEntityHandle* h = list; h != nullptr; h = h->Next) {
    TRoutEntity* e = EntityOf(h);
    if (e != nullptr && !SlotDeleted(FlagsOf(h)) && IsPathStartType(e->GetType())) {
      chains.push_back(e->GetStepObj());
      drawn.push_back(RoutStartDrawn(h->Index));
      reach.push_back(RoutStartReach(h->Index));
    }
  }
  return chains;
}
}  // namespace

void TRoutHandle::Step() {
  if (RTDB == nullptr) return;
  const TAutoStepRepeatSettings& s = RTDB->AutoStepRepeat;
  const int32_t depth = MaxStepDepth(this);
  if (depth >= 3) {
    MessageDlg(kDepthThree, mtError, mbOK);
    return;
  }
  if (s.NumberInX == 1 && s.NumberInY == 1) return;
  bool nested = s.Nested;
  if (nested && depth > 1) {
    MessageDlg(kDepthTwo, mtInformation, mbOK);
    nested = false;
  }
  TStepCommandList first, second;
  if (!RoutAutoStepLists(s, nested, first, second)) {
    ErrorBox(StepPatternCannotExpandText() + "\r\nThe step pattern was not made.");
    return;
  }
  if (first.empty()) return;
  TQuietStepExpansion quiet;  // JobStepsTakePattern refuses a pattern that cannot expand
  auto* step = new TStepObject(std::move(first));
  if (!second.empty()) step->SetNested(new TStepObject(std::move(second)));
  step->AddRef();  // held while the starts take it
  std::vector<int64_t> drawn;
  std::vector<std::vector<TIntPoint>> reach;
  const std::vector<TStepObject*> chains = StartChains(this, drawn, reach);
  const int32_t replaced = JobStepsTakePattern(chains, *step, drawn, reach) ? ReplaceStarts(step, true) : 0;
  ReleaseStepObject(step);
  if (replaced > 0) {
    RTDB->Redraw(0);
    if (RoutUndo != nullptr) RoutUndo->BeginOperation(kAutoStepName);
  }
}

void TRoutHandle::CreateStep() {
  if (RTDB == nullptr) return;
  if (MaxStepDepth(this) >= 3) {
    MessageDlg(kDepthThree, mtError, mbOK);
    return;
  }
  TEditStepLists levels;
  levels[0] = TStepCommandList{};
  AddStepCommand(*levels[0], 1, 0, 1, 0, 0);
  AddStepCommand(*levels[0], 0, 0, 1, 0, 0);
  if (!ExecuteEditStepDialog(levels)) return;
  TQuietStepExpansion quiet;  // JobStepsTakePattern refuses a pattern that cannot expand
  TStepObject* step = ChainFromLevels(levels);
  if (step == nullptr) return;
  step->AddRef();
  std::vector<int64_t> drawn;
  std::vector<std::vector<TIntPoint>> reach;
  const std::vector<TStepObject*> chains = StartChains(this, drawn, reach);
  if (JobStepsTakePattern(chains, *step, drawn, reach)) ReplaceStarts(step, true);
  ReleaseStepObject(step);
  RTDB->Redraw(0);
  if (RoutUndo != nullptr) RoutUndo->BeginOperation(kCreateStepName);
}

void TRoutHandle::EditStep() {
  if (RTDB == nullptr || Seq == nullptr) return;
  // A path with no start before it has no pattern to edit (reported).
  TRoutEntity* start = RTDB->EntityAt(Seq->FindPathJog(Index));
  if (start == nullptr) return;
  TStepObject* s = start->GetStepObj();
  if (s == nullptr) return;
  TEditStepLists levels, before;
  for (int k = 0; k < 3; ++k)
    if (TStepObject* level = s->GetLevel(k + 1)) levels[k] = level->Commands();
  before = levels;
  if (ExecuteEditStepDialog(levels)) {
    TStepLevelEdits edits;
    bool any = false;
    for (int k = 0; k < 3; ++k) {
      edits[k].Target = s->GetLevel(k + 1);
      if (edits[k].Target == nullptr || levels[k] == before[k]) continue;
      edits[k].Changed = true;
      edits[k].Removed = !levels[k].has_value();
      if (levels[k]) edits[k].Commands = *levels[k];
      any = true;
    }
    TStepObject* old[3];
    bool changed[3];
    for (int k = 0; k < 3; ++k) old[k] = edits[k].Target, changed[k] = edits[k].Changed;
    if (any && JobStepsTakeEdit(old, changed, levels)) {
      // Every chain made expands (counted above); one built on the way,
      // with some of its levels replaced, need not.
      TQuietStepExpansion quiet;
      s->AddRef();  // the targets live in this chain until every start is rebuilt
      RTDB->ReplaceStepLevels(edits);
      if (DrillStepLevels) DrillStepLevels(edits);
      ReleaseStepObject(s);
      ViewServices().UpdateView();
      return;
    }
  }
  RTDB->Redraw(0);
  ViewServices().UpdateView();
}

void TRoutHandle::DeleteStep() {
  if (RTDB == nullptr || Seq == nullptr) return;
  bool layers[5] = {};
  const TKeptInsertPoints kept;
  for (TRootEntityHandle* h = this; h != nullptr; h = h->Next) {
    TRoutEntity* e = EntityOf(h);
    const uint32_t flags = FlagsOf(h);
    if (e == nullptr || SlotDeleted(flags) || !IsPathStartType(e->GetType()) ||
        e->GetStepObj() == nullptr)
      continue;
    Seq->SetInsertAfter(h->Index);
    const uint8_t l = Seq->LayerOf(h->Index);
    if (l == 0) continue;
    TRoutEntity* clone = e->Clone(l);
    clone->SetStepObj(nullptr);
    // Erased while its path still follows it, with the copies drawn for it.
    RTDB->EraseEntity(h->Index);
    layers[l - kFirstRoutLayer] = true;
    if (AddEntitySlot(clone, flags, l) == 0) continue;
    RTDB->DeleteEntity(h->Index);
    JournalDelete(RoutUndo, h->Index);
  }
  // Every layer again, as after the other step commands: the erased copies
  // may have lain over another layer's cuts.
  if (std::find(std::begin(layers), std::end(layers), true) != std::end(layers)) RTDB->Redraw(0);
  if (RoutUndo != nullptr) RoutUndo->BeginOperation(kDeleteStepName);
  ViewServices().UpdateView();
}

namespace {
void CopyStepTo(TRoutHandle* list, TStepObject* step, bool (*replace)(TRoutHandle*, TStepObject*)) {
  std::vector<int64_t> drawn;
  std::vector<std::vector<TIntPoint>> reach;
  const std::vector<TStepObject*> chains = StartChains(list, drawn, reach);
  if (!JobDrawnCopiesTakeChains(chains, drawn, step, "Nothing was changed.", reach)) return;
  for (uint8_t l = kFirstRoutLayer; l <= kLastRoutLayer; ++l) RTDB->EraseLayer(l);
  if (step != nullptr) step->AddRef();
  replace(list, step);
  ReleaseStepObject(step);
  RTDB->Redraw(0);
  if (RoutUndo != nullptr) RoutUndo->BeginOperation(kAddToStepName);
}
}  // namespace

void TRoutHandle::CopyStepList(TRootEntityHandle* source) {
  if (RTDB == nullptr || Seq == nullptr || source == nullptr) return;
  TRoutEntity* start = RTDB->EntityAt(Seq->FindPathJog(source->Index));
  if (start == nullptr) return;  // no path start: reported, nothing copied
  CopyStepTo(this, start->GetStepObj(),
             [](TRoutHandle* l, TStepObject* s) { return l->ReplaceStarts(s, false) > 0; });
}

void TRoutHandle::CrossCopyStepList(int32_t drillIndex) {
  if (RTDB == nullptr || Seq == nullptr || !DrillStepObject) return;
  CopyStepTo(this, DrillStepObject(drillIndex),
             [](TRoutHandle* l, TStepObject* s) { return l->ReplaceStarts(s, false) > 0; });
}

void TRoutHandle::ExpandStepsIntoDatabase() {
  if (RTDB == nullptr || Seq == nullptr) return;
  // The room the walk below takes: a clone of every stepped start, and a
  // copy of each member of a group for each copy of its pattern. Without
  // room for all of them nothing is expanded, or the cuts beyond the room
  // would be lost with their pattern.
  {
    int64_t needed = 0, members = 0;
    const TStepObject* open = nullptr;
    uint8_t openLayer = 0;
    for (TRootEntityHandle* h = this; h != nullptr; h = h->Next) {
      TRoutEntity* e = EntityOf(h);
      if (e == nullptr || SlotDeleted(FlagsOf(h))) continue;
      if (IsPathStartType(e->GetType())) {
        const TStepObject* s = e->GetStepObj();
        const uint8_t l = Seq->LayerOf(h->Index);
        if (open != nullptr && (s != open || l != openLayer)) {
          needed += members * int64_t(open->Offsets().size());
          open = nullptr;
          members = 0;
        }
        if (s != nullptr && l != 0) {
          if (open == nullptr) open = s, openLayer = l;
          ++needed;
        }
      }
      if (open != nullptr) ++members;
    }
    if (open != nullptr) needed += members * int64_t(open->Offsets().size());
    if (!StoreHasRoom(RoutEntities->Name(), TRoutEntities::HighestIndex, RoutEntityCount, needed,
                      "Expanding the steps"))
      return;
  }
  struct TMember {
    TRoutEntity* Entity;
    int32_t Handle;
    uint32_t Flags;
  };
  const TKeptInsertPoints kept;
  TStepObject* step = nullptr;  // the open group's pattern (one reference held)
  uint8_t layer = 0;
  std::vector<TIntPoint> points;
  std::vector<TMember> members;
  auto close = [&]() {
    if (step == nullptr) return;
    if (!members.empty()) {
      step->BeginCopies(&points);
      Seq->SetInsertAfter(members.back().Handle);
      std::vector<TIntPoint> moved;
      bool mirrored = false;
      while (step->NextCopy(moved, mirrored)) {
        std::size_t k = 0;
        for (const TMember& m : members) {
          TRoutEntity* copy = m.Entity->Clone(layer);
          const uint8_t t = copy->GetType();
          if (t != etRoutLine && !IsArcType(t)) copy->SetStepObj(nullptr);
          copy->SetPoint(moved[k++]);
          if (IsArcType(t)) {
            copy->SetSecondPoint(moved[k++]);
            if (mirrored) copy->Mirror();
          }
          // A mirrored copy cuts on the other side, as its display shows it.
          if (mirrored && t == etRoutJog && copy->GetComp() != 0)
            copy->SetComp(copy->GetComp() == 1 ? 2 : 1);
          AddEntitySlot(copy, m.Flags & ~SlotDeletedBit, layer);
        }
      }
      step->BeginCopies(nullptr);
    }
    ReleaseStepObject(step);
    points.clear();
    members.clear();
  };
  for (TRootEntityHandle* h = this; h != nullptr; h = h->Next) {
    TRoutEntity* e = EntityOf(h);
    const uint32_t flags = FlagsOf(h);
    if (e == nullptr || SlotDeleted(flags)) continue;
    const uint8_t t = e->GetType();
    int32_t handle = h->Index;
    if (IsPathStartType(t)) {
      TStepObject* s = e->GetStepObj();
      const uint8_t l = Seq->LayerOf(handle);
      if (step != nullptr && (s != step || l != layer)) close();
      if (s != nullptr && l != 0) {
        // Every start of the group loses its pattern: a clone without it
        // takes its place, or its copies would be cut twice.
        const bool opens = step == nullptr;
        if (opens) {
          step = s;
          step->AddRef();
          layer = l;
        }
        Seq->SetInsertAfter(handle);
        TRoutEntity* clone = e->Clone(l);
        clone->SetStepObj(nullptr);
        // Erased while its path still follows it, with the copies drawn for it.
        RTDB->EraseEntity(handle);
        const int32_t n = AddEntitySlot(clone, flags, l);
        if (n == 0) {
          if (opens) ReleaseStepObject(step);
          continue;
        }
        RTDB->DeleteEntity(handle);
        JournalDelete(RoutUndo, handle);
        e = clone;
        handle = n;
      }
    }
    if (step == nullptr) continue;
    TIntPoint p;
    e->GetPoint(p);
    points.push_back(p);
    if (IsArcType(t)) {
      e->GetCentre(p);
      points.push_back(p);
    }
    members.push_back({e, handle, flags});
  }
  close();
  RTDB->Redraw(0);
  if (RoutUndo != nullptr) RoutUndo->BeginOperation(kExpandStepName);
}

void TRoutHandle::AveragePoint(TIntPoint& point) {
  if (TRoutEntity* e = RoutEntity()) e->AveragePoint(RTDB->PathEntityBefore(Index), point);
}

void TRoutHandle::PerpDefString(std::string& text) {
  if (TRoutEntity* e = RoutEntity()) e->PerpDefString(RTDB->PathEntityBefore(Index), text);
}

void TRoutHandle::PerpPoint(const TIntPoint& pick, TIntPoint& point) {
  if (TRoutEntity* e = RoutEntity()) e->PerpPoint(RTDB->PathEntityBefore(Index), pick, point);
}

void TRoutHandle::StartPoint(TIntPoint& point) {
  point = {0, 0};
  if (RTDB == nullptr) return;
  if (TRoutEntity* b = RTDB->EntityAt(RTDB->PathEntityBefore(Index))) b->GetPoint(point);
}

uint8_t TRoutHandle::GetEntityType() {
  TRoutEntity* e = RoutEntity();
  return e != nullptr ? e->GetType() : 0;
}
