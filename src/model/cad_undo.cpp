#include "model/cad_undo.h"

#include "model/cad_database.h"
#include "model/view_services.h"

TCadUndo* CadUndo = nullptr;

// ---- TCadUndo ---------------------------------------------------------------------------

void TCadUndo::EraseEntity(int32_t index) {
  if (DB != nullptr) DB->EraseEntity(index);
}
void TCadUndo::DrawEntity(int32_t index) {
  if (DB != nullptr) DB->DrawEntity(index);
}
void TCadUndo::DeleteEntity(int32_t index) {
  if (DB != nullptr) DB->MarkDeleted(index);
}
void TCadUndo::UndeleteEntity(int32_t index) {
  if (DB != nullptr) DB->Undelete(index);
}

// ---- Walk helpers ---------------------------------------------------------------------------

namespace {

// A drawing walk: the view rectangles, the hourglass for its length, and the
// progressive copy of the picture to the view.
class TDrawWalk {
 public:
  TDrawWalk() : copy_(0, {}, {}) {
    if (DB != nullptr) DB->GetViewRects(copy_.Source, copy_.Target);
  }
  void Drawn() { copy_.Tick(); }

 private:
  THourGlassCursor hourglass_;
  TProgressiveCopy copy_;
};

// The slot of a handle, or nullptr when the walk must stop there.
TEntitySlot* WalkSlot(TRootEntityHandle* h) {
  return DB != nullptr ? DB->SlotAt(h->Index) : nullptr;
}

// Appends the clone on the source's flags (or the given layer), draws and
// journals it. False, with the clone freed, when the store is full.
bool AppendClone(TCadEntity* clone, uint32_t flags, uint8_t layer, bool changeLayer) {
  TEntitySlot* slot = EntityArray->AddSlot(CadEntityCount);
  if (slot == nullptr) {
    delete clone;
    return false;
  }
  slot->Entity = clone;
  if (changeLayer && layer <= 29) {
    slot->Flags = CadLayerBit(layer);
    clone->Draw(layer);
  } else {
    slot->Flags = flags;
    clone->Draw(LayerOfBit(flags));
  }
  JournalAdd(ActiveUndo, CadEntityCount);
  return true;
}

// Takes the source out of the drawing (journalled).
void RemoveSource(int32_t index) {
  DB->EraseEntity(index);
  DB->MarkDeleted(index);
  JournalDelete(ActiveUndo, index);
}

}  // namespace

// ---- TCadHandle ------------------------------------------------------------------------------

TCadEntity* TCadHandle::CadEntity() {
  return DB != nullptr ? DB->EntityAt(Index) : nullptr;
}

TRootDBObject* TCadHandle::GetEntity() { return CadEntity(); }

void TCadHandle::DrawListColour(TColor colour) {
  TDrawWalk walk;
  for (TRootEntityHandle* h = this; h != nullptr; h = h->Next) {
    TEntitySlot* slot = WalkSlot(h);
    if (slot == nullptr) break;
    slot->Entity->DrawColour(colour);
    walk.Drawn();
  }
}

void TCadHandle::DrawList() {
  TDrawWalk walk;
  for (TRootEntityHandle* h = this; h != nullptr; h = h->Next) {
    TEntitySlot* slot = WalkSlot(h);
    if (slot == nullptr) break;
    if (!SlotInMask(slot->Flags, DisplayedLayerMask)) continue;
    slot->Entity->Draw(LayerOfBit(slot->Flags));
    walk.Drawn();
  }
}

void TCadHandle::EraseList() {
  TDrawWalk walk;
  for (TRootEntityHandle* h = this; h != nullptr; h = h->Next) {
    TEntitySlot* slot = WalkSlot(h);
    if (slot == nullptr) break;
    slot->Entity->Erase();
    walk.Drawn();
  }
}

void TCadHandle::DeleteList() {
  TDrawWalk walk;
  for (TRootEntityHandle* h = this; h != nullptr; h = h->Next) {
    TEntitySlot* slot = WalkSlot(h);
    if (slot == nullptr) break;
    if (SlotInMask(slot->Flags, ActiveLayerMask)) {
      RemoveSource(h->Index);
    } else {
      DB->DrawEntity(h->Index);
    }
    walk.Drawn();
  }
}

void TCadHandle::TransformList(const TMatrix3& matrix, bool copy, bool& failed, uint8_t layer,
                               bool changeLayer) {
  failed = false;
  {
    TDrawWalk walk;
    for (TRootEntityHandle* h = this; h != nullptr; h = h->Next) {
      TEntitySlot* slot = WalkSlot(h);
      if (slot == nullptr) break;
      if (!SlotInMask(slot->Flags, ActiveLayerMask)) continue;
      auto* source = static_cast<TCadEntity*>(slot->Entity);
      uint32_t flags = slot->Flags;
      TCadEntity* clone = source->Clone();
      if (!clone->Transform(matrix)) {
        // Refused: the source stays where it was, back in its colours.
        delete clone;
        failed = true;
        DB->DrawEntity(h->Index);
        continue;
      }
      // The store may move its pages as it grows: no slot pointer is used
      // after the append.
      int32_t sourceIndex = h->Index;
      if (!copy) RemoveSource(sourceIndex);
      if (!AppendClone(clone, flags, layer, changeLayer)) {
        failed = true;
        if (!copy) {
          // No room for the moved entity: keep the original.
          DB->Undelete(sourceIndex);
          DB->DrawEntity(sourceIndex);
          if (ActiveUndo != nullptr) ActiveUndo->RecordAdd(sourceIndex);
        }
        continue;
      }
      walk.Drawn();
    }
  }
  if (copy) DrawList();
}

void TCadHandle::GetMiddlePoint(TIntPoint& point) {
  if (TCadEntity* e = CadEntity()) e->MiddlePoint(point);
}

void TCadHandle::GetInfoString(std::string& text) {
  if (TCadEntity* e = CadEntity()) e->InfoString(text);
}

void TCadHandle::GetPerpPoint(const TIntPoint& from, TIntPoint& point) {
  if (TCadEntity* e = CadEntity()) e->PerpPoint(from, point);
}

void TCadHandle::GetSecondPoint(TIntPoint& point) {
  if (TCadEntity* e = CadEntity()) e->GetSecondPoint(point);
}

// ---- TCadStretchHandle ---------------------------------------------------------------------

void TCadStretchHandle::Stretch(const TMatrix3& matrix, bool& failed, uint8_t layer,
                                bool changeLayer) {
  failed = false;
  {
    TDrawWalk walk;
    for (TRootEntityHandle* h = this; h != nullptr; h = h->Next) {
      TEntitySlot* slot = WalkSlot(h);
      if (slot == nullptr) break;
      if (!SlotInMask(slot->Flags, ActiveLayerMask)) continue;
      auto* source = static_cast<TCadEntity*>(slot->Entity);
      uint32_t flags = slot->Flags;
      TPointsInside which;
      if (auto* sh = dynamic_cast<TCadStretchHandle*>(h)) which = sh->Inside;
      TCadEntity* clone = source->Clone();
      if (!clone->TransformPoints(matrix, which)) {
        delete clone;
        failed = true;
        continue;
      }
      int32_t sourceIndex = h->Index;
      RemoveSource(sourceIndex);
      if (!AppendClone(clone, flags, layer, changeLayer)) {
        failed = true;
        DB->Undelete(sourceIndex);
        if (ActiveUndo != nullptr) ActiveUndo->RecordAdd(sourceIndex);
        continue;
      }
      walk.Drawn();
    }
  }
  DrawList();
}
