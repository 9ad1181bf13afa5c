#include "routpath/path_follower.h"

#include "foundation/utilities.h"
#include "model/cad_undo.h"
#include "model/editor_state.h"
#include "model/entity_store.h"
#include "routpath/endpoint_grid.h"

TPathFollower::~TPathFollower() {
  if (Active_) EndpointGrid.Clear();
}

void TPathFollower::Setup(uint32_t mask, bool gridFlag) {
  Paths_ = 0;
  const int32_t count = EntityArray != nullptr ? CadEntityCount : 0;
  Done_.assign(std::size_t(count) + 1, true);
  EndpointGrid.Init(AllActiveCadLayers, LinkTolerance, gridFlag);
  EndpointGrid.LayerMask = mask;
  EndpointGrid.Build();
  Active_ = true;
  for (int32_t i = 1; i <= count; ++i) {
    TEntitySlot* slot = EntityArray->GetSlot(i);
    if (slot == nullptr || slot->Entity == nullptr || !SlotInMask(slot->Flags, mask)) continue;
    const uint8_t t = slot->Entity->GetType();
    if (t == etCadLine || t == etCadArc) Done_[std::size_t(i)] = false;
  }
}

void TPathFollower::Init(uint32_t layerMask) { Setup(layerMask, false); }

void TPathFollower::InitFlag(bool gridFlag) { Setup(ActiveLayerMask, gridFlag); }

void TPathFollower::Run() {
  const int32_t count = int32_t(Done_.size()) - 1;
  for (int32_t i = 1; i <= count; ++i) {
    if (Done_[std::size_t(i)]) continue;
    Start_ = i;
    TRootEntityHandle* path = new TCadHandle(i);
    const uint8_t result = EndpointGrid.FollowPath(path, false);
    for (TRootEntityHandle* h = path; h != nullptr; h = h->Next) {
      const int32_t index = h->GetIndex();
      if (index >= 1 && index <= count) Done_[std::size_t(index)] = true;
    }
    Done_[std::size_t(i)] = true;
    ++Paths_;
    bool flag = false;
    // The chain is freed whatever the handlers do.
    struct TFree {
      TRootEntityHandle*& Path;
      ~TFree() {
        FreeObjectList(Path);
        Path = nullptr;
      }
    } free{path};
    if (result == fpClosed) ClosedPath(path, flag);
    else OpenPath(path, flag);
    AfterPath();
  }
}

void TPathFollower::Done() {
  std::vector<bool>().swap(Done_);
  if (Active_) EndpointGrid.Clear();
  Active_ = false;
}

void TPathFollower::ClosedPath(TRootEntityHandle*&, bool&) {}

void TPathFollower::OpenPath(TRootEntityHandle*& path, bool&) {
  if (path != nullptr) path->DrawList();
}
