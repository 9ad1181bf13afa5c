#include "model/rout_database.h"

#include <algorithm>
#include <cmath>

#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "model/cad_database.h"
#include "model/rout_handles.h"
#include "model/rout_shadow.h"
#include "model/undo_journal.h"
#include "model/view_services.h"
#include "platform/message_box.h"

TRoutDatabase* RTDB = nullptr;

namespace {

constexpr uint8_t kLayers[] = {40, 41, 42, 43, 44};

uint8_t SlotLayer(uint32_t flags) { return static_cast<uint8_t>(30 + LayerOfBit(flags & 0x7C00u)); }
bool IsJogOrCircle(uint8_t t) { return t == etRoutJog || t == etRoutCircle; }
bool IsOnePoint(uint8_t t) { return t == etRoutHole || t == etRoutCommand; }

TIntBox PickBox(const TIntPoint& p, int32_t tolerance) {
  return {ClampCompToInt(int64_t(p.X) - tolerance), ClampCompToInt(int64_t(p.Y) - tolerance),
          ClampCompToInt(int64_t(p.X) + tolerance), ClampCompToInt(int64_t(p.Y) + tolerance)};
}

// Appends handles to a list in order.
class TListBuilder {
 public:
  explicit TListBuilder(TRootEntityHandle*& head) : head_(head) {
    tail_ = head_;
    while (tail_ != nullptr && tail_->Next != nullptr) tail_ = tail_->Next;
  }
  TRoutHandle* Add(int32_t index, bool asLine = false, bool include = true) {
    auto* h = new TRoutHandle(index, asLine, include);
    if (tail_ == nullptr) head_ = h; else tail_->Next = h;
    tail_ = h;
    return h;
  }

 private:
  TRootEntityHandle*& head_;
  TRootEntityHandle* tail_ = nullptr;
};

}  // namespace

// ---- Construction ---------------------------------------------------------------------------

TRoutDatabase::TRoutDatabase() {
  RoutEntities = new TRoutEntities();
  RoutEntityCount = 0;
  LoadAutoTabSettings(AutoTab);
  LoadAutoStepRepeatSettings(AutoStepRepeat);
  LoadAutoRoutCompensation(AutoRoutCompensation);
  LoadAutoRoutSettings(AutoRout);
  LoadFullPanelAutoRout(PocketDusting);
  LoadFullPanelInlineRout(FullPanelInline);
  RoutOutputFormat = DefaultRoutFormat(true);
  RoutInputFormat = DefaultRoutFormat(false);
  LoadRoutFormatDefaults(RoutOutputFormat, RoutFormatOutput);
  LoadRoutFormatDefaults(RoutInputFormat, RoutFormatInput);
  SetSequenceHost(this);
  RoutZoomExtents = [this](TIntPoint& min, TIntPoint& max) {
    TIntBox box;
    if (!GetExtents(box, true)) return false;
    ExtendExtents(min, max, {box.Left, box.Bottom});
    ExtendExtents(min, max, {box.Right, box.Top});
    return true;
  };
}

// Shutdown frees only what the database owns: the sequence store, the tool
// pages and the journal may already be gone, so none of them is touched.
TRoutDatabase::~TRoutDatabase() {
  PlayList.clear();
  FreeAllEntities();
  delete RoutEntities;
  RoutEntities = nullptr;
  RoutEntityCount = 0;
  if (SequenceHost() == this) SetSequenceHost(nullptr);
  RoutZoomExtents = nullptr;
  SaveAutoRoutCompensation(AutoRoutCompensation);
}

void TRoutDatabase::FreeAllEntities() {
  if (RoutEntities == nullptr) return;
  for (int32_t i = 1; i <= RoutEntityCount && i <= RoutEntities->Count(); ++i) {
    TEntitySlot* slot = RoutEntities->GetSlot(i);
    delete slot->Entity;
    slot->Entity = nullptr;
    slot->Flags = 0;
  }
  RoutEntityCount = 0;
  RoutEntities->SetCount(0);
}

void TRoutDatabase::ResetJournal() {
  if (RoutUndo != nullptr) RoutUndo->Reset();
}

TEntitySlot* TRoutDatabase::SlotAt(int32_t handle) {
  if (RoutEntities == nullptr || handle < 1 || handle > RoutEntityCount) return nullptr;
  return RoutEntities->GetSlot(handle);
}

TRoutEntity* TRoutDatabase::EntityAt(int32_t handle) {
  TEntitySlot* slot = SlotAt(handle);
  return slot != nullptr ? static_cast<TRoutEntity*>(slot->Entity) : nullptr;
}

void TRoutDatabase::SetLastPoint(int32_t x, int32_t y, uint8_t layer) {
  if (!IsRoutLayer(layer)) return;
  PathState[layer].LastX = x;
  PathState[layer].LastY = y;
}

void TRoutDatabase::RecordSequenceSave(int32_t count, uint8_t layer) {
  if (RoutUndo != nullptr) RoutUndo->RecordChange(count, layer);
}

// ---- Compact, Clear, DeleteLayer ---------------------------------------------------------------

void TRoutDatabase::Compact() {
  EndSingleStep();
  THourGlass hourglass;
  hourglass.Show("Compacting database.  Please wait...");
  int32_t kept = 0;
  const int32_t count = RoutEntityCount;
  std::vector<int32_t> dropped;
  for (int32_t i = 1; i <= count; ++i) {
    TEntitySlot* slot = RoutEntities->GetSlot(i);
    if (SlotDeleted(slot->Flags)) {
      delete slot->Entity;
      *slot = {};
      dropped.push_back(i);
    } else {
      ++kept;
      if (kept < i) {
        *RoutEntities->GetSlot(kept) = *slot;
        *slot = {};
      }
    }
  }
  if (Seq != nullptr) Seq->DropHandlesRenumber(dropped);
  RoutEntityCount = kept;
  RoutEntities->SetCount(kept);
  hourglass.Hide();
  EntityChanged = PathChanged = 0;
  FirstChangedEntity = FirstChangedPath = kNoChangedHandle;
  if (Seq != nullptr)
    for (uint8_t l : kLayers) Seq->SetInsertAtEnd(l);
  // A compaction that removed nothing leaves the undo history usable.
  if (kept != count) ResetJournal();
}

void TRoutDatabase::Clear() {
  EndSingleStep();
  FreeAllEntities();
  G93Origins.Fill({});
  delete Seq;
  Seq = nullptr;
  Seq = new TSequenceStore();
  // The default tool page file is read once for all the layers.
  const TRoutToolPage defaults = DefaultRoutToolPage();
  for (uint8_t l : kLayers) {
    RoutLayerTools[l] = {1, 1};
    RoutToolPages[l] = defaults;
  }
  PathState.Fill({});
  EntityChanged = PathChanged = 0;
  FirstChangedEntity = FirstChangedPath = kNoChangedHandle;
  SingleStepActive = 0;
  Animate = 0;
  PlayList.clear();
  PlayCursor = -1;
  DrawingEnabled = 1;
  ResetJournal();
}

void TRoutDatabase::DeleteLayer(uint8_t layer) {
  if (!IsRoutLayer(layer)) return;
  EmptyLayer(layer);
  ResetJournal();
}

void TRoutDatabase::EmptyLayer(uint8_t layer) {
  if (!IsRoutLayer(layer)) return;
  if (SingleStepActive && PlayedLayer == layer) EndSingleStep();
  const uint32_t bit = NCLayerBit(layer);
  for (int32_t i = 1; i <= RoutEntityCount; ++i)
    if (SlotHasBit(RoutEntities->GetSlot(i)->Flags, bit)) DeleteEntity(i);
  if (Seq != nullptr) Seq->ClearLayer(layer);
  G93Origins[layer] = {};
  PathState[layer] = {};
  EntityChanged = PathChanged = 0;
  FirstChangedEntity = FirstChangedPath = kNoChangedHandle;
}

// ---- Selection and picking -------------------------------------------------------------------

bool TRoutDatabase::SelectInWindow(const TIntPoint& corner1, const TIntPoint& corner2,
                                   bool allLayers, TRootEntityHandle*& list, uint8_t mode) {
  const TIntBox box{std::min(corner1.X, corner2.X), std::min(corner1.Y, corner2.Y),
                    std::max(corner1.X, corner2.X), std::max(corner1.Y, corner2.Y)};
  list = nullptr;
  if (Seq == nullptr) return false;
  TListBuilder out(list);
  Seq->RewindAll();
  for (uint8_t l : kLayers) {
    if (!allLayers && l != CurrentLayer) continue;
    if (!SlotHasBit(ActiveNCLayerMask, NCLayerBit(l))) continue;
    std::vector<int32_t> path;
    bool qualifies = true;
    int32_t prev = 0;
    auto close = [&]() {
      if (!path.empty() && qualifies)
        for (int32_t h : path) out.Add(h);
      path.clear();
      qualifies = true;
    };
    for (int32_t h = Seq->NextVisible(l); h != 0; h = Seq->NextVisible(l)) {
      TRoutEntity* e = EntityAt(h);
      if (e == nullptr) continue;
      const uint8_t t = e->GetType();
      if (IsPathStartType(t)) close();
      const bool tested = !path.empty() || t == etRoutCircle || t == etRoutHole;
      if (tested) {
        // Inside: the entity's own window test. Outside: not inside, and
        // neither of its ends in the window, so that a cut crossing the
        // window's edge counts in neither mode.
        bool ok;
        if (mode == 0) {
          ok = e->InWindowTest(prev, box);
        } else {
          TRoutEntity* before = EntityAt(prev);
          ok = !e->InWindowTest(prev, box) && !e->InsideWindow(box) &&
               (IsOnePoint(t) || t == etRoutCircle || before == nullptr ||
                !before->InsideWindow(box));
        }
        if (!ok) qualifies = false;
      }
      path.push_back(h);
      if (!IsOnePoint(t)) prev = h;
    }
    close();
  }
  return list != nullptr;
}

bool TRoutDatabase::SelectPathsInWindow(const TIntPoint& corner1, const TIntPoint& corner2,
                                        TRootEntityHandle*& list) {
  // An entity is taken when its own point lies in the window. An arc taken
  // while the entity before it is not inside keeps its start outside: it is
  // marked to be rebuilt as a line by the window path commands.
  const TIntBox box{std::min(corner1.X, corner2.X), std::min(corner1.Y, corner2.Y),
                    std::max(corner1.X, corner2.X), std::max(corner1.Y, corner2.Y)};
  list = nullptr;
  if (Seq == nullptr) return false;
  TListBuilder out(list);
  Seq->RewindAll();
  for (uint8_t l : kLayers) {
    if (!SlotHasBit(ActiveNCLayerMask, NCLayerBit(l))) continue;
    bool prevInside = false;
    for (int32_t h = Seq->NextVisible(l); h != 0; h = Seq->NextVisible(l)) {
      TRoutEntity* e = EntityAt(h);
      if (e == nullptr) continue;
      const bool inside = e->InsideWindow(box);
      if (inside) out.Add(h, IsArcType(e->GetType()) && !prevInside, true);
      if (!IsOnePoint(e->GetType())) prevInside = inside;
    }
  }
  return list != nullptr;
}

int32_t TRoutDatabase::PickWalk(int32_t tolerance, const TIntPoint& point, bool allLayers,
                                bool byPoint, int32_t& distance) {
  TIntBox box = PickBox(point, tolerance);
  int32_t best = RoutNotNear, found = 0;
  distance = RoutNotNear;
  if (Seq == nullptr) return 0;
  Seq->RewindAll();
  for (uint8_t l : kLayers) {
    if (!allLayers && l != CurrentLayer) continue;
    int32_t prev = 0;
    for (int32_t h = Seq->NextVisible(l); h != 0; h = Seq->NextVisible(l)) {
      TEntitySlot* slot = SlotAt(h);
      TRoutEntity* e = EntityAt(h);
      if (e == nullptr || !SlotInMask(slot->Flags, ActiveNCLayerMask)) continue;
      int32_t d;
      if (byPoint) {
        int32_t ox = 0, oy = 0;
        d = e->NearestPoint(box, best, point.X, point.Y, ox, oy, false);
      } else {
        d = e->DistanceToPoint(prev, box, best, point.X, point.Y);
        // Drawn at full width, a path is taken by a click on its kerf too.
        if (DisplayRoutsFullWidth && e->Shadow != nullptr) {
          const int32_t kerf = e->Shadow->KerfDistance(point.X, point.Y, tolerance);
          if (kerf <= tolerance && kerf < best && (d < 0 || kerf < d)) {
            d = kerf;
            box = PickBox(point, kerf);
          }
        }
      }
      if (d >= 0 && d < best) {
        best = d;
        found = h;
      }
      if (!IsOnePoint(e->GetType())) prev = h;
    }
  }
  distance = best;
  return found;
}

bool TRoutDatabase::PickNearest(int32_t tolerance, const TIntPoint& point, bool allLayers,
                                TRootEntityHandle*& list, int32_t& distance) {
  list = nullptr;
  const int32_t h = PickWalk(tolerance, point, allLayers, false, distance);
  if (h == 0) {
    distance = RoutNotNear;
    return false;
  }
  list = new TRoutHandle(h);
  return true;
}

bool TRoutDatabase::PickPath(int32_t tolerance, const TIntPoint& point, bool allLayers,
                             TRootEntityHandle*& list) {
  list = nullptr;
  int32_t distance;
  const int32_t picked = PickWalk(tolerance, point, allLayers, false, distance);
  if (picked == 0) return false;
  // A path without a jog before it (a loaded job may start with a line)
  // has no start to follow: FindPathJog has reported it; nothing is picked.
  return ListPath(Seq->FindPathJog(picked), list);
}

bool TRoutDatabase::ListPath(int32_t start, TRootEntityHandle*& list) {
  list = nullptr;
  if (start == 0) return false;
  const uint8_t l = Seq->LayerOf(start);
  TListBuilder out(list);
  Seq->SeekHandle(start);
  for (int32_t h = Seq->NextVisible(l); h != 0; h = Seq->NextVisible(l)) {
    TRoutEntity* e = EntityAt(h);
    if (e == nullptr) continue;
    if (h != start && IsPathStartType(e->GetType())) break;
    out.Add(h);
  }
  return list != nullptr;
}

bool TRoutDatabase::PickEntity(int32_t tolerance, const TIntPoint& point,
                               TRootEntityHandle*& list) {
  list = nullptr;
  int32_t distance;
  const int32_t picked = PickWalk(tolerance, point, true, false, distance);
  if (picked == 0) return false;
  const uint8_t l = Seq->LayerOf(picked);
  TListBuilder out(list);
  Seq->SeekHandle(picked);
  const int32_t before = Seq->PrevPathEntity(l);
  if (before != 0 && SlotInMask(SlotAt(before)->Flags, ActiveNCLayerMask)) out.Add(before);
  out.Add(picked);
  Seq->SeekHandle(picked);
  int32_t after = Seq->NextPathEntity(l);
  if (after == picked) after = Seq->NextPathEntity(l);
  if (after != 0 && SlotInMask(SlotAt(after)->Flags, ActiveNCLayerMask)) out.Add(after);
  return true;
}

bool TRoutDatabase::PickByPoint(int32_t tolerance, const TIntPoint& point,
                                TRootEntityHandle*& list) {
  list = nullptr;
  int32_t distance;
  const int32_t picked = PickWalk(tolerance, point, true, true, distance);
  if (picked == 0) return false;
  list = new TRoutHandle(picked);
  return true;
}

bool TRoutDatabase::PickPathByPoint(int32_t tolerance, const TIntPoint& point,
                                    TRootEntityHandle*& list) {
  if (!PickByPoint(tolerance, point, list)) return false;
  const int32_t picked = list->Index;
  const uint8_t l = Seq->LayerOf(picked);
  Seq->SeekHandle(picked);
  int32_t after = Seq->NextPathEntity(l);
  if (after == picked) after = Seq->NextPathEntity(l);
  if (after != 0 && SlotInMask(SlotAt(after)->Flags, ActiveNCLayerMask))
    list->Next = new TRoutHandle(after);
  return true;
}

bool TRoutDatabase::FindEntityAt(const TIntPoint& point, uint8_t layer, int32_t& handle) {
  handle = 0;
  if (Seq == nullptr || !IsRoutLayer(layer)) return false;
  Seq->SetReadCursor(layer, 1);
  for (int32_t h = Seq->NextPathEntity(layer); h != 0; h = Seq->NextPathEntity(layer)) {
    TRoutEntity* e = EntityAt(h);
    if (e == nullptr || !SlotInMask(SlotAt(h)->Flags, ActiveNCLayerMask)) continue;
    TIntPoint p;
    e->GetPoint(p);
    if (p == point) handle = h;
  }
  return handle != 0;
}

bool TRoutDatabase::FindNearestPoint(int32_t tolerance, const TIntPoint& point, uint8_t mode,
                                     TIntPoint& out) {
  TIntBox box = PickBox(point, tolerance);
  int32_t best = RoutNotNear;
  out = point;
  bool found = false;
  if (Seq == nullptr) return false;
  Seq->RewindAll();
  for (uint8_t l : kLayers) {
    for (int32_t h = Seq->NextVisible(l); h != 0; h = Seq->NextVisible(l)) {
      TRoutEntity* e = EntityAt(h);
      if (e == nullptr || !SlotInMask(SlotAt(h)->Flags, ActiveNCLayerMask)) continue;
      int32_t ox = point.X, oy = point.Y;
      const int32_t d = e->NearestPoint(box, best, point.X, point.Y, ox, oy, mode != 0);
      if (d >= 0 && d < best) {
        best = d;
        out = {ox, oy};
        found = true;
      }
    }
  }
  return found;
}

// ---- Drawing ---------------------------------------------------------------------------------

void TRoutDatabase::Redraw(uint8_t flag) {
  if (!DrawingEnabled) return;
  // The records as they are made, then every layer in redraw order: while
  // the rout layers lie on top, the picture is left as a redraw paints it.
  const TPaintedInOrder inOrder(CurrentSurface(), EditorMode == emRout);
  {
    // DrawLayers paints every record again. It walks the same lists, so
    // only an entity listed twice (whose first records are dropped by the
    // second rebuild) would miss its second drawing.
    struct TDrawnAgain {
      explicit TDrawnAgain(bool on) : Kept(RoutShapesDrawnAgain) { RoutShapesDrawnAgain = on; }
      ~TDrawnAgain() { RoutShapesDrawnAgain = Kept; }
      bool Kept;
    } again(Seq != nullptr && &PictureSurface() == &CurrentSurface() && Seq->HandlesDistinct());
    DrawAllStepRepeats(flag);
  }
  DrawLayers();
  // Every path was worked out again: no change waits for its layer.
  EntityChanged = PathChanged = 0;
  FirstChangedEntity = FirstChangedPath = kNoChangedHandle;
  EndSingleStep();
  ViewServices().PictureCanvas().Pen.Width = 1;
}

void TRoutDatabase::DrawLayers() {
  if (!DrawingEnabled || Seq == nullptr) return;
  TDrawingBase& picture = PictureSurface();
  Seq->RewindAll();
  auto drawLayer = [&](uint8_t l) {
    picture.SetPenMode(4);
    picture.SetPenStyle(0);
    picture.SetColor(EditorMode == emRout ? LayerColors[l] : DimColor);
    Seq->SetReadCursor(l, 1);
    for (int32_t h = Seq->NextVisible(l); h != 0; h = Seq->NextVisible(l)) {
      TRoutEntity* e = EntityAt(h);
      if (e == nullptr) continue;
      if (RoutColors == 1) e->DrawShadow(); else e->Draw(l);
    }
  };
  for (uint8_t l : kLayers)
    if (l != CurrentLayer || EditorMode != emRout) drawLayer(l);
  if (EditorMode == emRout && IsRoutLayer(CurrentLayer)) drawLayer(CurrentLayer);
  if (RoutConstructionPoints) {
    picture.SetColor(HighlightColor);
    for (uint8_t l : kLayers) {
      Seq->SetReadCursor(l, 1);
      for (int32_t h = Seq->NextVisible(l); h != 0; h = Seq->NextVisible(l))
        if (TRoutEntity* e = EntityAt(h)) e->DrawConstructionMarks();
    }
  }
}

void TRoutDatabase::DrawLayer(uint8_t layer) {
  if (!DrawingEnabled || Seq == nullptr || !IsRoutLayer(layer)) return;
  Seq->SetReadCursor(layer, 1);
  std::vector<TRoutEntity*> drawn;
  for (int32_t h = Seq->NextVisible(layer); h != 0; h = Seq->NextVisible(layer))
    if (TRoutEntity* e = EntityAt(h)) {
      e->Draw(layer);
      drawn.push_back(e);
    }
  if (RoutConstructionPoints) {
    PictureSurface().SetColor(HighlightColor);
    for (TRoutEntity* e : drawn) e->DrawConstructionMarks();
  }
}

void TRoutDatabase::DrawFrom(int32_t handle) {
  if (!DrawingEnabled || Seq == nullptr) return;
  uint8_t l;
  if (handle == 0) {
    l = CurrentLayer;
    if (!IsRoutLayer(l)) return;
    Seq->SetReadCursor(l, 1);
  } else {
    l = Seq->LayerOf(handle);
    if (l == 0) return;
    Seq->SeekHandle(handle);
  }
  std::vector<TRoutEntity*> drawn;
  for (int32_t h = Seq->NextVisible(l); h != 0; h = Seq->NextVisible(l))
    if (TRoutEntity* e = EntityAt(h)) {
      e->Draw(l);
      drawn.push_back(e);
    }
  if (RoutConstructionPoints) {
    PictureSurface().SetColor(HighlightColor);
    for (TRoutEntity* e : drawn) e->DrawConstructionMarks();
  }
}

namespace {
// The entities from the handle up to, not including, the next jog or circle.
std::vector<TRoutEntity*> PathFrom(TRoutDatabase& db, int32_t handle) {
  std::vector<TRoutEntity*> path;
  const uint8_t l = Seq->LayerOf(handle);
  if (l == 0) return path;
  Seq->SeekHandle(handle);
  for (int32_t h = Seq->NextVisible(l); h != 0; h = Seq->NextVisible(l)) {
    TRoutEntity* e = db.EntityAt(h);
    if (e == nullptr) continue;
    if (!path.empty() && IsJogOrCircle(e->GetType())) break;
    path.push_back(e);
  }
  return path;
}
}  // namespace

void TRoutDatabase::DrawPath(int32_t handle) {
  if (!DrawingEnabled || Seq == nullptr) return;
  const uint8_t l = Seq->LayerOf(handle);
  auto path = PathFrom(*this, handle);
  for (TRoutEntity* e : path) e->Draw(l);
  if (RoutConstructionPoints) {
    PictureSurface().SetColor(HighlightColor);
    for (TRoutEntity* e : path) e->DrawConstructionMarks();
  }
}

void TRoutDatabase::ErasePath(int32_t handle) {
  if (!DrawingEnabled || Seq == nullptr) return;
  auto path = PathFrom(*this, handle);
  for (TRoutEntity* e : path) e->Erase();
  if (RoutConstructionPoints) {
    PictureSurface().SetColor(BackgroundColor);
    for (TRoutEntity* e : path) e->DrawConstructionMarks();
  }
}

namespace {
template <class TAction>
void WalkPathStarts(TRoutDatabase& db, uint8_t layer, TAction action) {
  if (Seq == nullptr || !IsRoutLayer(layer)) return;
  Seq->SetReadCursor(layer, 1);
  bool afterStart = false;
  for (int32_t h = Seq->NextVisible(layer); h != 0; h = Seq->NextVisible(layer)) {
    TRoutEntity* e = db.EntityAt(h);
    if (e == nullptr) continue;
    const bool start =
        IsJogOrCircle(e->GetType()) && SlotInMask(db.SlotAt(h)->Flags, ActiveNCLayerMask);
    if (start || afterStart) action(e);
    afterStart = start;
  }
}
}  // namespace

void TRoutDatabase::ErasePathStarts(uint8_t layer) {
  if (!DrawingEnabled) return;
  WalkPathStarts(*this, layer, [](TRoutEntity* e) { e->Erase(); });
}

void TRoutDatabase::DrawPathStarts(uint8_t layer) {
  if (!DrawingEnabled) return;
  WalkPathStarts(*this, layer, [layer](TRoutEntity* e) { e->Draw(layer); });
}

void TRoutDatabase::EraseLayer(uint8_t layer) {
  if (!DrawingEnabled || Seq == nullptr || !IsRoutLayer(layer)) return;
  Seq->SetReadCursor(layer, 1);
  for (int32_t h = Seq->NextVisible(layer); h != 0; h = Seq->NextVisible(layer))
    if (TRoutEntity* e = EntityAt(h)) e->Erase();
}

void TRoutDatabase::DrawStepRepeats(uint8_t layer) {
  TGougeReport report;
  DrawStepRepeats(layer, report);
}

void TRoutDatabase::DrawStepRepeats(uint8_t layer, TGougeReport& report) {
  if (!DrawingEnabled || Seq == nullptr || !IsRoutLayer(layer)) return;
  if (!ModelServices.LayerCompensation) return;
  std::unique_ptr<TLayerCompensation> compensation = ModelServices.LayerCompensation(layer);
  TLayerCompensation& compensator = *compensation;
  // The group: paths in a row whose starts carry the same step object.
  TStepObject* groupStep = nullptr;
  std::vector<TRoutEntity*> group;
  std::vector<TIntPoint> points;
  auto closeGroup = [&]() {
    if (groupStep != nullptr && !group.empty()) {
      groupStep->BeginCopies(&points);
      std::vector<TIntPoint> moved;
      bool mirrored = false;
      for (int32_t copy = 2; groupStep->NextCopy(moved, mirrored); ++copy) {
        std::size_t k = 0;
        for (TRoutEntity* e : group) {
          uint8_t type = e->GetType();
          const TIntPoint p = moved[k++];
          TIntPoint c = p;
          if (IsArcType(type)) {
            c = moved[k++];
            if (mirrored) type = type == etRoutArc ? etRoutArcReverse : etRoutArc;
          }
          compensator.AddStepEntity(e, p, mirrored, copy, type, c);
        }
      }
      groupStep->BeginCopies(nullptr);
    }
    group.clear();
    points.clear();
  };
  Seq->SetReadCursor(layer, 1);
  for (int32_t h = Seq->NextVisible(layer); h != 0; h = Seq->NextVisible(layer)) {
    TRoutEntity* e = EntityAt(h);
    if (e == nullptr) continue;
    const uint8_t t = e->GetType();
    if (IsPathStartType(t)) {
      TStepObject* step = e->GetStepObj();
      if (step != groupStep) {
        closeGroup();
        groupStep = step;
      }
    }
    e->FreeShadows();
    compensator.AddEntity(e);
    if (groupStep == nullptr) continue;  // no copies to make of this group
    TIntPoint p;
    e->GetPoint(p);
    points.push_back(p);
    if (IsArcType(t)) {
      e->GetCentre(p);
      points.push_back(p);
    }
    group.push_back(e);
  }
  closeGroup();
  compensator.Finish();
  compensator.Done(report);
}

void TRoutDatabase::DrawAllStepRepeats(uint8_t flag) {
  TGougeReport report;
  for (uint8_t l : kLayers) {
    report.ShowViolations = l == kLastRoutLayer ? flag : 0;
    DrawStepRepeats(l, report);
  }
}

void TRoutDatabase::DrawCurrentLayer(int32_t handle) {
  if (!IsRoutLayer(CurrentLayer)) return;
  DrawStepRepeats(CurrentLayer);
  DrawFrom(handle);
}

void TRoutDatabase::DrawG93Origin() {
  if (!DrawingEnabled || !IsRoutLayer(CurrentLayer) || !ShowG93) return;
  const TIntPoint o = G93Origins[CurrentLayer];
  PictureSurface().DrawOriginMark(ClampCompToInt(-int64_t(o.X)), ClampCompToInt(-int64_t(o.Y)),
                                  LayerColors[CurrentLayer]);
}

void TRoutDatabase::EraseG93Origin() {
  if (!DrawingEnabled || !IsRoutLayer(CurrentLayer)) return;
  const TIntPoint o = G93Origins[CurrentLayer];
  PictureSurface().DrawOriginMark(ClampCompToInt(-int64_t(o.X)), ClampCompToInt(-int64_t(o.Y)),
                                  BackgroundColor);
}

void TRoutDatabase::SuspendDrawing() { DrawingEnabled = 0; }

void TRoutDatabase::ResumeDrawing() {
  DrawingEnabled = 1;
  Redraw(0);
}

// ---- Queries -----------------------------------------------------------------------------------

int32_t TRoutDatabase::Distance(const TIntPoint& a, const TIntPoint& b) {
  return SaturatingRound(std::hypot(double(a.X) - b.X, double(a.Y) - b.Y));
}

bool TRoutDatabase::GetExtents(TIntBox& box, bool withSteps) {
  // Every displayed entity stands in its layer's sequence, so the walk in
  // cut order sees the same entities as the store and knows each entity's
  // path start without searching back for it.
  if (Seq == nullptr) return false;
  TIntPoint min, max;
  InitExtents(min, max);
  bool counted = false;
  for (uint8_t l : kLayers) {
    Seq->SetReadCursor(l, 1);
    TRoutEntity* start = nullptr;
    for (int32_t h = Seq->NextVisible(l); h != 0; h = Seq->NextVisible(l)) {
      TRoutEntity* e = EntityAt(h);
      if (e == nullptr) continue;
      const uint8_t t = e->GetType();
      if (IsPathStartType(t)) start = e;
      if (t == etRoutCommand) continue;
      TIntPoint p;
      e->GetPoint(p);
      ExtendExtents(min, max, p);
      counted = true;
      if (!withSteps || start == nullptr) continue;
      if (TStepObject* step = start->GetStepObj()) step->ExtendByCopies(p, min, max);
    }
  }
  if (!counted) return false;
  if (withSteps) {
    int32_t largest = 0;
    for (uint8_t l : kLayers)
      for (int32_t t = 1; t <= kToolCount; ++t)
        largest = std::max(largest, RoutToolPages[l][t].Diameter);
    const int32_t half = largest / 2;
    min = {ClampCompToInt(int64_t(min.X) - half), ClampCompToInt(int64_t(min.Y) - half)};
    max = {ClampCompToInt(int64_t(max.X) + half), ClampCompToInt(int64_t(max.Y) + half)};
  }
  box = {min.X, min.Y, max.X, max.Y};
  return true;
}

void TRoutDatabase::PathLengths(TPathLengthTable& table) {
  for (uint8_t l : kLayers) table[l].Fill(0.0);
  if (Seq == nullptr) return;
  bool startless = false;
  for (uint8_t l : kLayers) {
    Seq->SetReadCursor(l, 1);
    TRoutEntity* start = nullptr;
    int32_t prev = 0;
    for (int32_t h = Seq->NextVisible(l); h != 0; h = Seq->NextVisible(l)) {
      TRoutEntity* e = EntityAt(h);
      if (e == nullptr) continue;
      const uint8_t t = e->GetType();
      if (t == etRoutJog || t == etRoutCircle) start = e;
      const int32_t before = prev;
      if (!IsOnePoint(t)) prev = h;
      if (t == etRoutJog || IsOnePoint(t)) continue;
      if (start == nullptr) {
        startless = true;  // a cut with no jog before it has no tool
        continue;
      }
      TStepObject* step = start->GetStepObj();
      const double copies = step != nullptr ? step->CopyCount() + 1.0 : 1.0;
      const int32_t tool = start->GetToolNumber();
      if (!ValidToolNumber(tool)) continue;
      table[l][tool] += double(e->EntityLength(before)) * copies;
    }
  }
  if (startless)
    MessageDlg("DataBase error.  Jog missing from sequence.", mtError, mbOK);
}

void TRoutDatabase::CollectStatistics(TRoutStatistics& counters) {
  THourGlass hourglass;
  hourglass.Show("Collecting statistics.  Please wait...");
  TRoutStatistics c{};
  for (int32_t i = 1; i <= RoutEntityCount; ++i) {
    TEntitySlot* slot = RoutEntities->GetSlot(i);
    if (slot->Entity == nullptr) continue;
    const uint8_t t = static_cast<TRoutEntity*>(slot->Entity)->GetType();
    if (t > 15) continue;
    ++c[SlotDeleted(slot->Flags) ? t : t + 15];
  }
  counters = c;
}

// ---- Per-index operations ------------------------------------------------------------------------

// The marks hold the first change of one layer: a change on another layer
// than the one marked (the lines just added on one layer, then a tab on
// another) first brings the marked layer up to date, or its paths would
// keep the records they had before the change.
void TRoutDatabase::KeepChangesToOneLayer(int32_t handle) {
  if (Seq == nullptr || !(PathChanged || EntityChanged)) return;
  const uint8_t layer = Seq->LayerOf(handle);
  if (layer == 0) return;
  // A mark on no layer (its entity gone from the sequence) draws nothing.
  auto elsewhere = [&](uint8_t changed, int32_t first) {
    if (!changed) return false;
    const uint8_t l = Seq->LayerOf(first);
    return l != 0 && l != layer;
  };
  if (elsewhere(PathChanged, FirstChangedPath) || elsewhere(EntityChanged, FirstChangedEntity))
    DrawChangedPaths();
}

void TRoutDatabase::MarkPathChanged(int32_t handle) {
  KeepChangesToOneLayer(handle);
  PathChanged = 1;
  if (Seq != nullptr && Seq->IsBefore(handle, FirstChangedPath)) FirstChangedPath = handle;
}

void TRoutDatabase::MarkEntityChanged(int32_t handle) {
  KeepChangesToOneLayer(handle);
  EntityChanged = 1;
  if (Seq != nullptr && Seq->IsBefore(handle, FirstChangedEntity)) FirstChangedEntity = handle;
}

void TRoutDatabase::DeleteEntity(int32_t handle) {
  TEntitySlot* slot = SlotAt(handle);
  if (slot == nullptr) return;
  slot->Flags |= SlotDeletedBit;
  if (Seq != nullptr) Seq->VisibilityChanged(handle);
  if (slot->Entity != nullptr && IsJogOrCircle(static_cast<TRoutEntity*>(slot->Entity)->GetType()))
    MarkPathChanged(handle);
}

void TRoutDatabase::UndeleteEntity(int32_t handle) {
  TEntitySlot* slot = SlotAt(handle);
  if (slot == nullptr) return;
  if (slot->Entity != nullptr && IsJogOrCircle(EntityAt(handle)->GetType()))
    MarkPathChanged(handle);
  slot->Flags &= ~SlotDeletedBit;
  if (Seq != nullptr) Seq->VisibilityChanged(handle);
}

int32_t TRoutDatabase::PathEntityAfter(int32_t handle) {
  if (Seq == nullptr) return 0;
  const uint8_t l = Seq->LayerOf(handle);
  if (l == 0) return 0;
  Seq->SeekHandle(handle);
  int32_t n = Seq->NextPathEntity(l);
  if (n == handle) n = Seq->NextPathEntity(l);
  return n;
}
int32_t TRoutDatabase::PathEntityBefore(int32_t handle) {
  if (Seq == nullptr) return 0;
  const uint8_t l = Seq->LayerOf(handle);
  if (l == 0) return 0;
  Seq->SeekHandle(handle);
  return Seq->PrevPathEntity(l);
}

void TRoutDatabase::EraseEntity(int32_t handle) {
  TRoutEntity* e = EntityAt(handle);
  if (e == nullptr) return;
  // A start's pattern gives every entity of its path copies, each drawn with
  // the entity it copies: they all go with the start.
  if (DrawingEnabled && Seq != nullptr && IsPathStartType(e->GetType()) && e->GetStepObj() != nullptr &&
      Seq->LayerOf(handle) != 0) {
    for (TRoutEntity* m : PathFrom(*this, handle)) m->Erase();
  }
  if (DrawingEnabled) e->Erase();
  MarkEntityChanged(handle);
  if (Seq == nullptr) return;
  if (TRoutEntity* n = EntityAt(PathEntityAfter(handle)); n != nullptr && DrawingEnabled)
    n->Erase();
}

void TRoutDatabase::DrawEntity(int32_t handle) {
  TRoutEntity* e = EntityAt(handle);
  if (e == nullptr) return;
  if (DrawingEnabled) e->Draw(SlotLayer(SlotAt(handle)->Flags));
  MarkEntityChanged(handle);
  if (Seq == nullptr) return;
  if (TRoutEntity* n = EntityAt(PathEntityAfter(handle)); n != nullptr && DrawingEnabled)
    n->Erase();
}

void TRoutDatabase::UpdateChangedPath() {
  if (Seq == nullptr) return;
  DrawChangedPaths();
  PathStateFromSequence(CurrentLayer);
}

void TRoutDatabase::DrawChangedPaths() {
  if (Seq == nullptr) return;
  if (PathChanged || EntityChanged) {
    if (EntityChanged && Seq->IsBefore(FirstChangedEntity, FirstChangedPath))
      FirstChangedPath = FirstChangedEntity;
    const int32_t first = FirstChangedPath;
    const uint8_t l = Seq->LayerOf(first);
    if (l != 0 && DrawingEnabled) {
      Seq->SeekHandle(first);
      const int32_t p = Seq->PrevPathEntity(l);
      if (p != 0) {
        if (TRoutEntity* e = EntityAt(first)) e->Erase();
      } else {
        Seq->SeekHandle(first);
      }
      bool afterStart = false;
      for (int32_t h = Seq->NextVisible(l); h != 0; h = Seq->NextVisible(l)) {
        TRoutEntity* e = EntityAt(h);
        if (e == nullptr) continue;
        const bool start = IsJogOrCircle(e->GetType());
        if (SlotInMask(SlotAt(h)->Flags, ActiveNCLayerMask) && (afterStart || start)) e->Erase();
        afterStart = start;
      }
      DrawStepRepeats(l);
      DrawFrom(first);
    }
    EntityChanged = PathChanged = 0;
    FirstChangedEntity = FirstChangedPath = kNoChangedHandle;
  }
}

void TRoutDatabase::PathStateFromSequence(uint8_t c) {
  if (!IsRoutLayer(c) || Seq == nullptr) return;
  if (Seq->AtLayerStart(c)) {
    PathState[c] = {};
    return;
  }
  TRoutEntity* before = EntityAt(Seq->EntityBeforeInsert(c));
  if (before == nullptr) return;
  TIntPoint p;
  before->GetPoint(p);
  PathState[c].LastX = p.X;
  PathState[c].LastY = p.Y;
  TRoutEntity* start = EntityAt(Seq->FindPathJog(Seq->EntityBeforeInsert(c)));
  if (start == nullptr) return;  // reported by FindPathJog
  PathState[c].Tool = start->GetToolNumber();
  PathState[c].CompIndex = start->GetCompIndex();
}

TKeptInsertPoints::TKeptInsertPoints() {
  if (RTDB == nullptr || Seq == nullptr) return;
  for (uint8_t l : kLayers) {
    const int32_t at = Seq->InsertPoint(l);
    Kept_[l - kFirstRoutLayer] = {Seq->HandleAt(l, at), Seq->HandleAt(l, at - 1), RTDB->PathState[l]};
  }
}

TKeptInsertPoints::~TKeptInsertPoints() {
  if (RTDB == nullptr || Seq == nullptr) return;
  for (uint8_t l : kLayers) {
    const TKept& kept = Kept_[l - kFirstRoutLayer];
    uint8_t layer = 0;
    const int32_t at = kept.Anchor != 0 ? Seq->FindHandle(kept.Anchor, layer) : 0;
    Seq->SetInsertPoint(l, at != 0 && layer == l ? at : Seq->Count(l) + 1);
    // Another entry before the point (the path drawn last moved, or others
    // came after it): drawing goes on from what now stands there.
    if (Seq->HandleAt(l, Seq->InsertPoint(l) - 1) == kept.Before) RTDB->PathState[l] = kept.State;
    else RTDB->PathStateFromSequence(l);
  }
}

void TRoutDatabase::ReplaceNextArcByLine(int32_t handle) {
  if (Seq == nullptr || SlotAt(handle) == nullptr) return;
  const uint8_t l = Seq->LayerOf(handle);
  if (l == 0) return;
  TIntPoint p{0, 0};
  if (TRoutEntity* b = EntityAt(PathEntityBefore(handle))) b->GetPoint(p);
  Seq->SetInsertAfter(handle);
  const int32_t n = PathEntityAfter(handle);
  TRoutEntity* next = EntityAt(n);
  if (next == nullptr) return;
  if (DrawingEnabled) next->Erase();
  if (!IsArcType(next->GetType())) return;
  DeleteEntity(n);
  if (ActiveUndo != nullptr) ActiveUndo->RecordDelete(n);
  TIntPoint end;
  next->GetPoint(end);
  const TRoutPathState saved = PathState[l];
  PathState[l].LastX = p.X;
  PathState[l].LastY = p.Y;
  InsertLineOn(l, end, 0, NoZOffset);
  PathState[l].LastX = saved.LastX;
  PathState[l].LastY = saved.LastY;
}

void TRoutDatabase::ReplaceStepLevels(const TStepLevelEdits& edits) {
  for (uint8_t l : kLayers) EraseLayer(l);
  for (int32_t i = 1; i <= RoutEntityCount; ++i) {
    TRoutEntity* e = EntityAt(i);
    if (e == nullptr || !IsPathStartType(e->GetType())) continue;
    TStepObject* old = e->GetStepObj();
    if (old == nullptr) continue;
    TStepObject* chain = old;
    // Replacing a level keeps the levels inside it, so the outer levels go
    // first and each later target is still found in the new chain.
    for (const TStepLevelEdit& edit : edits) {
      if (!edit.Changed || edit.Target == nullptr || chain == nullptr) continue;
      bool emptied = false;
      TStepObject* next =
          chain->ReplaceLevel(edit.Target, edit.Removed ? nullptr : &edit.Commands, emptied);
      if (next != nullptr || emptied) chain = next;
    }
    if (chain != old) {
      // Keep the old chain alive while the new one, cached in it, is taken.
      old->AddRef();
      e->SetStepObj(chain);
      ReleaseStepObject(old);
    }
  }
  Redraw(0);
}
