// Shared helpers of the clean-up passes, duplicate removal and overlapping
// line removal.
#include "edit/cleanup_passes.h"

#include <cmath>
#include <cstdlib>
#include <deque>
#include <vector>

#include "edit/cleanup_support.h"
#include "foundation/settings.h"
#include "model/cad_database.h"
#include "model/entity_store.h"
#include "model/root_entity.h"
#include "model/undo_journal.h"
#include "model/view_services.h"
#include "platform/events.h"

uint32_t CleanupLayerBit() { return 1u << (CurrentLayer % 32); }

void EraseCadEntity(int32_t index) {
  if (index < 1 || index > CadEntityCount) return;
  TEntitySlot* slot = EntityArray->GetSlot(index);
  if (slot && slot->Entity) slot->Entity->Erase();
}

void MarkCadEntityDeleted(int32_t index) {
  if (index < 1 || index > CadEntityCount) return;
  TEntitySlot* slot = EntityArray->GetSlot(index);
  if (slot) slot->Flags |= SlotDeletedBit;
}

void RemoveCadEntity(int32_t index) {
  EraseCadEntity(index);
  MarkCadEntityDeleted(index);
  if (ActiveUndo) ActiveUndo->RecordDelete(index);
}

double NormalizeAngle90(double angle) {
  if (!std::isfinite(angle)) return 0.0;
  angle = std::fmod(angle, 180.0);
  if (angle <= -90.0) angle += 180.0;
  if (angle > 90.0) angle -= 180.0;
  return angle;
}

// ---- Support shared with the arc passes ------------------------------------------

TRootDBObject* LayerEntity(int32_t index, uint32_t layerBit) {
  if (index < 1 || index > CadEntityCount) return nullptr;
  TEntitySlot* slot = EntityArray->GetSlot(index);
  if (!slot || slot->Flags != layerBit) return nullptr;
  return slot->Entity;
}

uint8_t LayerEntityType(int32_t index, uint32_t layerBit) {
  TRootDBObject* e = LayerEntity(index, layerBit);
  return e ? e->GetType() : 0;
}

void EntityEnds(TRootDBObject* entity, TIntPoint& first, TIntPoint& second) {
  entity->GetPoint(first);
  entity->GetSecondPoint(second);
}

namespace {
// Tick of the last status update that let the message loop run.
uint32_t LastStatusTick = 0;
bool StatusTickValid = false;
}  // namespace

bool CleanupStatus(const std::string& text, int32_t percent, bool& cancelled) {
  bool cancel = false;
  ViewServices().UpdateStatus(text, percent, cancel);
  if (cancel) cancelled = true;
  // The status box redraws at most every 500 ms; after such a redraw the
  // message loop runs once so that Cancel can be pressed.
  uint32_t now = GetTickCount();
  if (StatusTickValid && now - LastStatusTick < StatusRedrawInterval) return false;
  LastStatusTick = now;
  StatusTickValid = true;
  ProcessMessages();
  return true;
}

void ResetCleanupStatusClock() { StatusTickValid = false; }

uint16_t CadHashKey(TRootDBObject* entity) {
  return static_cast<TCadEntity*>(entity)->HashKey();
}

bool CadIsDuplicate(TRootDBObject* entity, TRootDBObject* other) {
  return static_cast<TCadEntity*>(entity)->IsDuplicateOf(*other);
}

// ---- Duplicate removal ------------------------------------------------------------

void EraseDuplicates() {
  const uint32_t bit = CleanupLayerBit();
  bool cancelled = false;
  CleanupStatus("Preparing database", 0, cancelled);
  if (cancelled) return;

  // 65,536 lists threaded through next[]: a node for slot i goes to the
  // front of its key's list, so each list runs from the highest index down.
  std::vector<int32_t> heads(65536, 0);
  const int32_t count = CadEntityCount;
  std::vector<int32_t> next(static_cast<size_t>(count) + 1, 0);
  for (int32_t i = 1; i <= count; ++i) {
    TRootDBObject* e = LayerEntity(i, bit);
    if (!e) continue;
    uint16_t key = CadHashKey(e);
    next[i] = heads[key];
    heads[key] = i;
  }

  CleanupStatus("Erasing duplicates", 0, cancelled);
  int32_t deleted = 0;
  for (int32_t b = 0; b < 65536; ++b) {
    int32_t third = CadEntityCount / 3;
    CleanupStatus("Erasing duplicates", deleted * 100 / (third > 1 ? third : 1), cancelled);
    for (int32_t p = heads[b]; p != 0 && !cancelled; p = next[p]) {
      TRootDBObject* pe = LayerEntity(p, bit);
      if (!pe) continue;
      uint8_t type = pe->GetType();
      for (int32_t q = next[p]; q != 0; q = next[q]) {
        TRootDBObject* qe = LayerEntity(q, bit);
        if (!qe || qe->GetType() != type || !CadIsDuplicate(qe, pe)) continue;
        RemoveCadEntity(q);
        ++deleted;
      }
    }
  }
}

// ---- Overlapping line removal ------------------------------------------------------

namespace {

struct TBandNode {
  int32_t Index;
  TBandNode* Next;
};

enum class TOverlapStage { Horizontal, Vertical, Angled };

// The cell of a coordinate: its top byte read as 0..255.
int32_t CellOfCoordinate(int32_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v) >> 24); }

class TOverlapRemover {
 public:
  explicit TOverlapRemover(int32_t tolerance)
      : T(tolerance), Bit(CleanupLayerBit()), Cells(256 * 256) {}

  void Run() {
    CleanupStatus("Preparing database", 0, Cancelled);
    if (Cancelled) return;
    for (int32_t i = 1; i <= CadEntityCount; ++i) {
      uint8_t type = LayerEntityType(i, Bit);
      if (type == 2 || type == 3) ListInCells(i);
    }
    ProcessMessages();
    RunStage(TOverlapStage::Horizontal);
    RunStage(TOverlapStage::Vertical);
    RunStage(TOverlapStage::Angled);
  }

 private:
  // ---- cell grid ----
  std::vector<int32_t>& CellOf(const TIntPoint& p) {
    return Cells[CellOfCoordinate(p.X) * 256 + CellOfCoordinate(p.Y)];
  }
  void ListInCells(int32_t index) {
    TRootDBObject* e = EntityArray->GetSlot(index)->Entity;
    TIntPoint a, b;
    EntityEnds(e, a, b);
    std::vector<int32_t>& first = CellOf(a);
    first.push_back(index);
    std::vector<int32_t>& second = CellOf(b);
    if (&second != &first) second.push_back(index);
  }
  void UnlinkFromCells(int32_t index) {
    TRootDBObject* e = EntityArray->GetSlot(index)->Entity;
    TIntPoint a, b;
    EntityEnds(e, a, b);
    for (std::vector<int32_t>* cell : {&CellOf(a), &CellOf(b)}) {
      for (size_t k = 0; k < cell->size(); ++k) {
        if ((*cell)[k] == index) {
          cell->erase(cell->begin() + static_cast<std::ptrdiff_t>(k));
          break;
        }
      }
    }
  }
  // True when an entity other than p and q has an end within T (per axis)
  // of the point.
  bool JunctionAt(const TIntPoint& x, int32_t p, int32_t q) {
    int32_t cx = CellOfCoordinate(x.X), cy = CellOfCoordinate(x.Y);
    for (int32_t dx = -1; dx <= 1; ++dx) {
      for (int32_t dy = -1; dy <= 1; ++dy) {
        const std::vector<int32_t>& cell = Cells[((cx + dx) & 255) * 256 + ((cy + dy) & 255)];
        for (int32_t k : cell) {
          if (k == p || k == q) continue;
          TIntPoint a, b;
          EntityEnds(EntityArray->GetSlot(k)->Entity, a, b);
          for (const TIntPoint& e : {a, b}) {
            if (std::llabs(int64_t(e.X) - x.X) < T && std::llabs(int64_t(e.Y) - x.Y) < T) {
              return true;
            }
          }
        }
      }
    }
    return false;
  }

  // ---- bands ----
  TBandNode* NewNode(int32_t index, TBandNode* next) {
    Pool.push_back(TBandNode{index, next});
    return &Pool.back();
  }
  int32_t Neighbour(int32_t b) const { return (b + 1) % BandCount; }

  static int32_t DirectionClass(const TIntPoint& a, const TIntPoint& b, int32_t t) {
    double dx = double(b.X) - double(a.X);
    double dy = double(b.Y) - double(a.Y);
    if (std::fabs(dx) < t) return 90;
    double deg = std::nearbyint(std::atan(dy / dx) * 180.0 / M_PI);
    int32_t c = static_cast<int32_t>(deg);
    while (c < 0) c += 180;
    while (c > 179) c -= 180;
    return c;
  }

  void RunStage(TOverlapStage stage) {
    Stage = stage;
    BandCount = stage == TOverlapStage::Angled ? 180 : 65536;
    Prepared.assign(BandCount, nullptr);
    Fresh.assign(BandCount, nullptr);
    Pool.clear();
    const char* name = stage == TOverlapStage::Horizontal ? "horizontal"
                       : stage == TOverlapStage::Vertical ? "vertical"
                                                           : "angled";
    std::string prepare = std::string("Preparing ") + name + " lines";
    for (int32_t i = 1; i <= CadEntityCount; ++i) {
      CleanupStatus(prepare, int32_t(int64_t(i) * 100 / CadEntityCount), Cancelled);
      if (Cancelled || LayerEntityType(i, Bit) != 2) continue;
      TIntPoint a, b;
      EntityEnds(EntityArray->GetSlot(i)->Entity, a, b);
      int32_t band;
      if (stage == TOverlapStage::Horizontal) {
        if (a.Y != b.Y) continue;
        band = int32_t(uint32_t(a.Y) >> 16);
      } else if (stage == TOverlapStage::Vertical) {
        if (a.X != b.X) continue;
        band = int32_t(uint32_t(a.X) >> 16);
      } else {
        band = DirectionClass(a, b, T);
      }
      Prepared[band] = NewNode(i, Prepared[band]);
    }
    if (stage == TOverlapStage::Angled) ProcessMessages();

    const std::string removing = std::string("Removing ") + name + " overlaps, pass ";
    const int32_t last = BandCount - 1;
    for (int32_t b = 0; b < BandCount; ++b) {
      CleanupStatus(removing + "1", b * 100 / last, Cancelled);
      Pass1(b);
    }
    for (int32_t b = 0; b < BandCount; ++b) {
      CleanupStatus(removing + "2", b * 100 / last, Cancelled);
      Pass2(b);
    }
    Prepared.clear();
    Fresh.clear();
    Pool.clear();
  }

  bool Live(const TBandNode* n) const { return n->Index != 0 && LayerEntity(n->Index, Bit); }

  // Tries q against p with every candidate of the list; true when p merged.
  bool TryList(TBandNode* p, TBandNode* list, int32_t band) {
    for (TBandNode* q = list; q; q = q->Next) {
      if (q == p || !Live(q)) continue;
      if (TryPair(p, q, band)) return true;
    }
    return false;
  }

  void Pass1(int32_t b) {
    bool skipOwn = Stage == TOverlapStage::Angled && (b == 0 || b == 90);
    for (TBandNode* p = Prepared[b]; p; p = p->Next) {
      if (Cancelled || !Live(p)) continue;
      if (!skipOwn && TryList(p, p->Next, b)) continue;
      TryList(p, Prepared[Neighbour(b)], b);
    }
  }

  void Pass2(int32_t b) {
    TBandNode* list = Fresh[b];
    Fresh[b] = nullptr;
    while (true) {
      for (TBandNode* p = list; p; p = p->Next) {
        if (Cancelled || !Live(p)) continue;
        if (TryList(p, p->Next, b)) continue;
        if (TryList(p, Fresh[Neighbour(b)], b)) continue;
        if (TryList(p, Prepared[b], b)) continue;
        TryList(p, Prepared[Neighbour(b)], b);
      }
      if (!Fresh[b]) break;
      if (!list) {
        list = Fresh[b];
      } else {
        TBandNode* tail = list;
        while (tail->Next) tail = tail->Next;
        tail->Next = Fresh[b];
      }
      Fresh[b] = nullptr;
    }
  }

  // Picks the outer end points (a, b) and the inner ones (c, d) of two lines
  // ordered along the main axis, with gap the largest allowed end-to-end gap.
  // main() reads the main-axis coordinate. False when no case applies.
  template <class TMain>
  static bool PickEnds(const TIntPoint& pa, const TIntPoint& pb, const TIntPoint& qa,
                       const TIntPoint& qb, int64_t gap, TMain main, TIntPoint& a, TIntPoint& b,
                       TIntPoint& c, TIntPoint& d) {
    int64_t pA = main(pa), pB = main(pb), qA = main(qa), qB = main(qb);
    if (pA <= qA && qB <= pB) {
      a = pa, b = pb, c = qa, d = qb;
    } else if (pA <= qA && qB > pB && qA <= pB + gap) {
      a = pa, b = qb, c = pb, d = qa;
    } else if (pA > qA && pB <= qB) {
      a = qa, b = qb, c = pa, d = pb;
    } else if (pA > qA && pB > qB && pA <= qB + gap) {
      a = qa, b = pb, c = pa, d = qb;
    } else {
      return false;
    }
    return true;
  }

  bool TryPair(TBandNode* p, TBandNode* q, int32_t band) {
    TIntPoint p1, p2, q1, q2;
    EntityEnds(EntityArray->GetSlot(p->Index)->Entity, p1, p2);
    EntityEnds(EntityArray->GetSlot(q->Index)->Entity, q1, q2);
    bool byY = Stage == TOverlapStage::Vertical ||
               (Stage == TOverlapStage::Angled && band >= 46 && band <= 134);
    auto main = [byY](const TIntPoint& v) -> int64_t { return byY ? v.Y : v.X; };
    auto cross = [byY](const TIntPoint& v) -> int64_t { return byY ? v.X : v.Y; };
    if (Stage != TOverlapStage::Angled) {
      if (std::llabs(cross(p1) - cross(q1)) >= T) return false;
    }
    if (main(p2) < main(p1)) std::swap(p1, p2);
    if (main(q2) < main(q1)) std::swap(q1, q2);
    TIntPoint a, b, c, d;
    if (Stage == TOverlapStage::Angled) {
      const int64_t t2 = 2 * int64_t(T);
      int64_t pmin = std::min(cross(p1), cross(p2)), pmax = std::max(cross(p1), cross(p2));
      int64_t qmin = std::min(cross(q1), cross(q2)), qmax = std::max(cross(q1), cross(q2));
      bool near = pmin <= qmin ? (qmax <= pmax || qmin <= pmax + t2)
                               : (pmax <= qmax || pmin <= qmax + t2);
      if (!near) return false;
      if (!PickEnds(p1, p2, q1, q2, t2, main, a, b, c, d)) return false;
      double ux = double(b.X) - a.X, uy = double(b.Y) - a.Y;
      double limit = double(T) * double(T) * (ux * ux + uy * uy);
      for (const TIntPoint& x : {c, d}) {
        double cr = uy * (double(x.X) - a.X) - ux * (double(x.Y) - a.Y);
        if (!(cr * cr < limit)) return false;
      }
    } else if (!PickEnds(p1, p2, q1, q2, T, main, a, b, c, d)) {
      return false;
    }
    return MergeCollinearPair(p, q, a, b, c, d, band);
  }

  bool MergeCollinearPair(TBandNode* p, TBandNode* q, const TIntPoint& a, const TIntPoint& b,
                          const TIntPoint& c, const TIntPoint& d, int32_t band) {
    for (const TIntPoint& inner : {c, d}) {
      if (inner == a || inner == b) continue;
      if (JunctionAt(inner, p->Index, q->Index)) return false;
    }
    UnlinkFromCells(p->Index);
    UnlinkFromCells(q->Index);
    RemoveCadEntity(q->Index);
    RemoveCadEntity(p->Index);
    p->Index = 0;
    q->Index = 0;
    int32_t added = DB->AddLine(a.X, a.Y, b.X, b.Y);
    // Only a line takes part further (a span below 500 units in both axes
    // is stored as a point).
    if (LayerEntityType(added, Bit) == 2) {
      Fresh[band] = NewNode(added, Fresh[band]);
      ListInCells(added);
    }
    return true;
  }

  const int32_t T;
  const uint32_t Bit;
  bool Cancelled = false;
  std::vector<std::vector<int32_t>> Cells;
  TOverlapStage Stage = TOverlapStage::Horizontal;
  int32_t BandCount = 0;
  std::vector<TBandNode*> Prepared;
  std::vector<TBandNode*> Fresh;
  std::deque<TBandNode> Pool;
};

}  // namespace

void RemoveOverlaps(int32_t tolerance) {
  TOverlapRemover remover(tolerance);
  remover.Run();
}
