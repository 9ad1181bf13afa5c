#include "routpath/endpoint_grid.h"

#include <cmath>

#include "foundation/display_units.h"
#include "foundation/utilities.h"
#include "model/cad_undo.h"
#include "model/view_services.h"
#include "platform/events.h"
#include "routpath/follow_branch_dialog.h"

TEndpointGrid EndpointGrid;

uint8_t FollowPickState = fpsIdle;
TCadHandle* BranchCandidates = nullptr;
TCadHandle* FollowPickedPath = nullptr;
TRootDBObject* FollowPickEntity = nullptr;
int32_t FollowPickIndex = 0;
TRootEntityHandle* FollowPathHead = nullptr;
bool ShowBranchAlert = true;

namespace {

TFollowBranchHost* Host = nullptr;

constexpr TColor WhiteColor = 0x00FFFFFF;

TIntPoint StartOf(TRootDBObject* entity) {
  TIntPoint p;
  entity->GetPoint(p);
  return p;
}

TIntPoint EndOf(TRootDBObject* entity) {
  TIntPoint p;
  entity->GetSecondPoint(p);
  return p;
}

}  // namespace

int32_t IntPointDistance(const TIntPoint& a, const TIntPoint& b) {
  const double dx = static_cast<double>(static_cast<int64_t>(a.X) - b.X);
  const double dy = static_cast<double>(static_cast<int64_t>(a.Y) - b.Y);
  return SaturatingRound(std::sqrt(dx * dx + dy * dy));
}

uint8_t CellShiftForTolerance(int32_t tolerance) {
  uint8_t shift = 0;
  while (shift < 31 && (int64_t{1} << shift) < tolerance) ++shift;
  return shift;
}

TFollowBranchHost* SetFollowBranchHost(TFollowBranchHost* host) {
  TFollowBranchHost* old = Host;
  Host = host;
  return old;
}

TFollowBranchHost* FollowBranchHost() { return Host; }

void DrawBranchCandidates() {
  if (BranchCandidates != nullptr) BranchCandidates->DrawListColour(PickColor);
}

void FreeBranchCandidates() {
  if (FollowPickedPath == BranchCandidates) FollowPickedPath = nullptr;
  FreeObjectList<TRootEntityHandle>(BranchCandidates);
  BranchCandidates = nullptr;
}

void InitFollowBranchUnit() {
  FollowPickState = fpsIdle;
  FreeBranchCandidates();
  FollowPickedPath = nullptr;
  FollowPickEntity = nullptr;
  FollowPickIndex = 0;
  FollowPathHead = nullptr;
}

// ---- Grid ------------------------------------------------------------------------

void TEndpointGrid::Init(uint8_t layer, int32_t tolerance, bool interactive,
                         TPointDistanceFunc distance) {
  Clear();
  Tolerance = tolerance;
  Interactive = interactive;
  Distance_ = distance != nullptr ? distance : IntPointDistance;
  LayerMask = layer == AllActiveCadLayers ? ActiveLayerMask
                                          : (CadLayerBit(layer) | SlotDeletedBit);
  // Cells never narrower than the tolerance, so the 3 x 3 cells around a
  // free end hold every end point that connects to it.
  Shift_ = CellShiftForTolerance(tolerance);
  LastResult = fpOpen;
}

void TEndpointGrid::Clear() {
  std::unordered_map<uint64_t, int32_t>().swap(Heads_);
  std::vector<TNode>().swap(Nodes_);
}

void TEndpointGrid::Enter(TRootDBObject* entity, int32_t index, uint32_t cx, uint32_t cy) {
  auto [it, fresh] = Heads_.try_emplace(CellKey(cx, cy), -1);
  Nodes_.push_back(TNode{entity, index, it->second});
  it->second = static_cast<int32_t>(Nodes_.size()) - 1;
}

void TEndpointGrid::Build() {
  if (EntityArray == nullptr) return;
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    if (i % 1000 == 0) ProcessMessages();
    TEntitySlot* slot = EntityArray->GetSlot(i);
    if (slot == nullptr || slot->Entity == nullptr) continue;
    if (!SlotInMask(slot->Flags, LayerMask)) continue;
    TRootDBObject* entity = slot->Entity;
    const uint8_t type = entity->GetType();
    if (type != etCadLine && type != etCadArc) continue;
    const TIntPoint s = StartOf(entity);
    const TIntPoint e = EndOf(entity);
    const uint32_t sx = EndpointCell(s.X, Shift_), sy = EndpointCell(s.Y, Shift_);
    const uint32_t ex = EndpointCell(e.X, Shift_), ey = EndpointCell(e.Y, Shift_);
    Enter(entity, i, sx, sy);
    if (ex != sx || ey != sy) Enter(entity, i, ex, ey);
  }
}

void TEndpointGrid::SetBranchCandidates(const std::vector<TCandidate>& candidates) {
  FreeBranchCandidates();
  // The candidate found last heads the list.
  for (const TCandidate& c : candidates) {
    auto* handle = new TCadHandle(c.Index);
    handle->Next = BranchCandidates;
    BranchCandidates = handle;
  }
}

uint8_t TEndpointGrid::NextSegment(TRootDBObject* startEntity, TRootDBObject* current,
                                   int32_t& index, bool& reversed) {
  index = 0;
  const TIntPoint p = reversed ? StartOf(current) : EndOf(current);
  FreeBranchCandidates();
  Candidates_.clear();

  const uint32_t cx = EndpointCell(p.X, Shift_);
  const uint32_t cy = EndpointCell(p.Y, Shift_);
  for (uint32_t dx = 0; dx < 3; ++dx) {
    for (uint32_t dy = 0; dy < 3; ++dy) {
      auto it = Heads_.find(CellKey(cx + dx - 1, cy + dy - 1));
      if (it == Heads_.end()) continue;
      for (int32_t n = it->second; n >= 0; n = Nodes_[n].Next) {
        const TNode& node = Nodes_[n];
        if (node.Entity == current || node.Index == index) continue;
        const int32_t dS = Distance_(p, StartOf(node.Entity));
        const int32_t dE = Distance_(p, EndOf(node.Entity));
        if (dS >= Tolerance && dE >= Tolerance) continue;
        bool known = false;
        for (const TCandidate& c : Candidates_) known = known || c.Index == node.Index;
        if (known) continue;
        reversed = dE < dS;
        index = node.Index;
        Candidates_.push_back(TCandidate{node.Entity, node.Index, dS, dE});
      }
    }
    ProcessMessages();
  }

  if (Candidates_.size() > 1) {
    // One candidate clearly nearer than all the others is taken alone.
    int32_t best = 2147483647, second = 2147483647;
    const TCandidate* bestCandidate = nullptr;
    for (auto c = Candidates_.rbegin(); c != Candidates_.rend(); ++c) {
      const int32_t d = std::min(c->DS, c->DE);
      if (d > second) continue;
      if (d > best) {
        second = d;
      } else {
        second = best;
        best = d;
        bestCandidate = &*c;
      }
    }
    if (second != 0 && static_cast<double>(best) / second < 0.25) {
      const TCandidate taken = *bestCandidate;
      Candidates_.assign(1, taken);
      index = taken.Index;
      reversed = taken.DE < taken.DS;
    }
  }

  if (Candidates_.empty()) return fpOpen;
  if (Candidates_.size() == 1) {
    return Candidates_.front().Entity == startEntity ? fpClosed : fpContinue;
  }
  SetBranchCandidates(Candidates_);
  if (!Interactive || Host == nullptr) return fpJunction;
  return InteractivePick(startEntity, p, index, reversed);
}

uint8_t TEndpointGrid::InteractivePick(TRootDBObject* startEntity, const TIntPoint& freeEnd,
                                       int32_t& index, bool& reversed) {
  FollowPickState = fpsWaitingForPick;
  DrawBranchCandidates();
  ViewServices().UpdateView();
  Host->PressBranchCommand();
  FollowPickedPath = BranchCandidates;
  if (ShowBranchAlert) {
    TModalResult result;
    bool showNext;
    {
      TModalBracket bracket;
      TFollowBranchDialog dialog;
      result = dialog.ShowModal();
      showNext = dialog.ShowAlertNextTime();
    }
    if (result != mrOk) {
      FollowPickState = fpsStopped;
      Host->BackUpOneStep();
    }
    ShowBranchAlert = showNext;
  }
  while (FollowPickState == fpsWaitingForPick && !Host->AppClosing()) ProcessMessages();

  if (BranchCandidates != nullptr) BranchCandidates->DrawList();
  FreeBranchCandidates();

  if (FollowPickState != fpsPicked || FollowPickEntity == nullptr) return fpJunction;
  FollowPickState = fpsFollowing;
  TRootDBObject* found = FollowPickEntity;
  const uint8_t type = found->GetType();
  if (type != etCadLine && type != etCadArc) return fpJunction;
  const int32_t dS = Distance_(freeEnd, StartOf(found));
  const int32_t dE = Distance_(freeEnd, EndOf(found));
  // Only an entity that touches the free end continues the path.
  if (dS >= Tolerance && dE >= Tolerance) return fpJunction;
  reversed = dE < dS;
  index = FollowPickIndex;
  return found == startEntity ? fpClosed : fpContinue;
}

uint8_t TEndpointGrid::FollowPath(TRootEntityHandle*& path, bool reversed) {
  LastResult = fpOpen;
  if (path == nullptr) return LastResult;
  // Only lines and arcs have two ends to follow from.
  TRootDBObject* start = path->GetEntity();
  if (start == nullptr) return LastResult;
  const uint8_t type = start->GetType();
  if (type != etCadLine && type != etCadArc) return LastResult;

  FollowPickState = fpsFollowing;
  FollowPathHead = path;
  TRootEntityHandle* tail = path;
  while (tail->Next != nullptr) tail = tail->Next;

  // Entities linked by this follow, so that a chain running into itself
  // stops instead of circling for ever.
  if (++FollowStamp_ == 0) {
    std::fill(OnPath_.begin(), OnPath_.end(), 0);
    FollowStamp_ = 1;
  }
  const auto mark = [this](int32_t i) {
    if (i < 0) return;
    if (static_cast<size_t>(i) >= OnPath_.size()) OnPath_.resize(i + 1, 0);
    OnPath_[i] = FollowStamp_;
  };
  const auto linked = [this](int32_t i) {
    return i >= 0 && static_cast<size_t>(i) < OnPath_.size() && OnPath_[i] == FollowStamp_;
  };

  int32_t index = path->GetIndex();
  mark(index);
  const bool startReversed = reversed;
  TRootDBObject* current = start;
  int32_t currentIndex = index;
  int32_t previousIndex = 0;
  for (;;) {
    const uint8_t r = NextSegment(start, current, index, reversed);
    LastResult = r;
    if (r == fpClosed && reversed != startReversed) {
      // Back on the start entity at the end the follow left from: the
      // chain doubled back over an entity shorter than the tolerance, so it
      // ends here, open.
      LastResult = fpOpen;
    }
    if (r != fpContinue) break;
    if (linked(index)) {
      // The chain ran back into itself: over a short last entity onto the
      // one before it (an open end), or elsewhere (a junction).
      LastResult = index == previousIndex ? fpOpen : fpJunction;
      break;
    }
    TEntitySlot* slot = EntityArray->GetSlot(index);
    if (slot == nullptr || slot->Entity == nullptr) {
      LastResult = fpOpen;
      break;
    }
    auto* handle = new TCadHandle(index);
    tail->Next = handle;
    tail = handle;
    mark(index);
    previousIndex = currentIndex;
    currentIndex = index;
    current = slot->Entity;
    if (Interactive) current->DrawColour(WhiteColor);
  }
  FollowPickState = fpsIdle;
  return LastResult;
}
