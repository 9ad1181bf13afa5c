// Arcs from chords (with tangent arc fitting) and circles from arcs.
//
// Both passes find neighbours through lists of the entities ending at each
// point. Points of chains and runs compare exactly, as integers.
#include <algorithm>
#include <cmath>
#include <deque>
#include <string>
#include <vector>

#include "edit/cleanup_passes.h"
#include "edit/cleanup_support.h"
#include "foundation/display_units.h"
#include "foundation/geometry.h"
#include "foundation/geometry_intersect.h"
#include "foundation/geometry_lines.h"
#include "foundation/geometry_points.h"
#include "model/cad_database.h"
#include "model/entity_store.h"
#include "model/root_entity.h"
#include "platform/events.h"

int32_t ArcCount = 0;
int32_t CircleCount = 0;
int64_t EndpointProbes = 0;

namespace {

constexpr double MaxRadius = 2147483647.0;

struct TChainNode;

// ---- Endpoint lists -----------------------------------------------------------------
// Every end point of a taking-part entity gets a number, in the order the
// entities are listed, from one open-addressed table of the exact points;
// each entity keeps the numbers of its two ends. A point's record holds the
// list of the entities ending there, threaded through a pool from the
// newest entry to the oldest, and the node of the chain being grown there.
// Chains and runs then go from point to point by number: neighbours are
// found directly, however the coordinates fall, and mostly in nearby
// memory, since a chain's points tend to be numbered in its order.

struct TEndpointEntry {
  int32_t Entity;
  int32_t Next;  // pool index of the next older entry; -1 ends the list
};

struct TPointRecord {
  int32_t X = 0;
  int32_t Y = 0;
  int32_t Head = -1;   // newest entry; -1 none
  uint32_t Chain = 0;  // the chain whose node Node is; 0 none
  TChainNode* Node = nullptr;
};

struct TPointSlot {
  int32_t X = 0;
  int32_t Y = 0;
  int32_t Id = -1;  // -1 an unused slot
};

std::vector<TPointSlot> PointTable;  // a power of two long, at most half full
std::vector<TPointRecord> Points;    // by point number
std::vector<int32_t> EndIds;         // by entity: its first end's number, then its second's
std::vector<TEndpointEntry> EndpointPool;
int32_t FreeEndpointEntry = -1;

size_t PointHash(int32_t x, int32_t y) {
  uint64_t v = (uint64_t(uint32_t(x)) << 32) | uint32_t(y);
  v ^= v >> 33;
  v *= 0xff51afd7ed558ccdull;
  v ^= v >> 33;
  v *= 0xc4ceb9fe1a85ec53ull;
  v ^= v >> 33;
  return size_t(v);
}

size_t PointSlotOf(const std::vector<TPointSlot>& table, int32_t x, int32_t y) {
  const size_t mask = table.size() - 1;
  size_t k = PointHash(x, y) & mask;
  while (table[k].Id >= 0 && !(table[k].X == x && table[k].Y == y)) k = (k + 1) & mask;
  return k;
}

void ClearEndpointHash(int32_t entities) {
  size_t size = 1024;
  while (size < size_t(entities) * 2) size *= 2;
  PointTable.assign(size, TPointSlot{});
  Points.clear();
  Points.reserve(size_t(entities) + 1);
  EndIds.assign(2 * (size_t(entities) + 1), -1);
  EndpointPool.clear();
  EndpointPool.reserve(size_t(entities) * 2);
  FreeEndpointEntry = -1;
}
void FreeEndpointHash() {
  std::vector<TPointSlot>().swap(PointTable);
  std::vector<TPointRecord>().swap(Points);
  std::vector<int32_t>().swap(EndIds);
  std::vector<TEndpointEntry>().swap(EndpointPool);
  FreeEndpointEntry = -1;
}

// The number of the point, given one when it has none.
int32_t PointNumber(const TIntPoint& p) {
  size_t k = PointSlotOf(PointTable, p.X, p.Y);
  if (PointTable[k].Id >= 0) return PointTable[k].Id;
  if (2 * (Points.size() + 1) > PointTable.size()) {
    std::vector<TPointSlot> wider(PointTable.size() * 2);
    for (const TPointSlot& old : PointTable) {
      if (old.Id >= 0) wider[PointSlotOf(wider, old.X, old.Y)] = old;
    }
    PointTable.swap(wider);
    k = PointSlotOf(PointTable, p.X, p.Y);
  }
  const int32_t id = int32_t(Points.size());
  PointTable[k] = TPointSlot{p.X, p.Y, id};
  TPointRecord r;
  r.X = p.X;
  r.Y = p.Y;
  Points.push_back(r);
  return id;
}

void LinkEndpoint(int32_t point, int32_t index) {
  int32_t& head = Points[size_t(point)].Head;
  int32_t k;
  if (FreeEndpointEntry >= 0) {
    k = FreeEndpointEntry;
    FreeEndpointEntry = EndpointPool[size_t(k)].Next;
    EndpointPool[size_t(k)] = TEndpointEntry{index, head};
  } else {
    k = int32_t(EndpointPool.size());
    EndpointPool.push_back(TEndpointEntry{index, head});
  }
  head = k;
}

// Unlinks the newest entry of the entity at the point.
void UnlinkEndpoint(int32_t point, int32_t index) {
  for (int32_t* link = &Points[size_t(point)].Head; *link >= 0;
       link = &EndpointPool[size_t(*link)].Next) {
    ++EndpointProbes;
    const int32_t k = *link;
    if (EndpointPool[size_t(k)].Entity != index) continue;
    *link = EndpointPool[size_t(k)].Next;
    EndpointPool[size_t(k)].Next = FreeEndpointEntry;
    FreeEndpointEntry = k;
    return;
  }
}

int32_t FirstEnd(int32_t index) { return EndIds[2 * size_t(index)]; }
int32_t SecondEnd(int32_t index) { return EndIds[2 * size_t(index) + 1]; }

void HashLineEnds(int32_t index) {
  TIntPoint a, b;
  EntityEnds(EntityArray->GetSlot(index)->Entity, a, b);
  if (EndIds.size() < 2 * (size_t(index) + 1)) EndIds.resize(2 * (size_t(index) + 1), -1);
  const int32_t first = PointNumber(a);
  const int32_t second = b == a ? first : PointNumber(b);
  EndIds[2 * size_t(index)] = first;
  EndIds[2 * size_t(index) + 1] = second;
  LinkEndpoint(first, index);
  if (second != first) LinkEndpoint(second, index);
}

// Lists the ends of every entity of the type on the layer, in slot order.
// The table slots of the ends of the entity some way ahead are fetched
// into the cache meanwhile: a long drawing's points spread over a table too
// large for the cache.
void HashLayerEnds(uint32_t bit, uint8_t type) {
  constexpr int32_t kAhead = 16;
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    if (i + kAhead <= CadEntityCount && LayerEntityType(i + kAhead, bit) == type) {
      TIntPoint a, b;
      EntityEnds(EntityArray->GetSlot(i + kAhead)->Entity, a, b);
      const size_t mask = PointTable.size() - 1;
      __builtin_prefetch(&PointTable[PointHash(a.X, a.Y) & mask]);
      __builtin_prefetch(&PointTable[PointHash(b.X, b.Y) & mask]);
    }
    if (LayerEntityType(i, bit) == type) HashLineEnds(i);
  }
}

void UnhashLineEnds(int32_t index) {
  if (EndIds.size() < 2 * (size_t(index) + 1) || FirstEnd(index) < 0) return;  // never listed
  const int32_t first = FirstEnd(index), second = SecondEnd(index);
  UnlinkEndpoint(first, index);
  if (second != first) UnlinkEndpoint(second, index);
}

void RemoveChordEntity(int32_t index) {
  UnhashLineEnds(index);
  RemoveCadEntity(index);
}

// ---- Geometry helpers ---------------------------------------------------------------

TRealPoint Real(int32_t x, int32_t y) { return TRealPoint{double(x), double(y)}; }

double AngleSeen(const TRealPoint& centre, double x, double y) {
  double r, a;
  RectToPolar(x - centre.X, y - centre.Y, r, a);
  return a;
}

// ---- Chord chains -------------------------------------------------------------------

struct TChainNode {
  int32_t X = 0;
  int32_t Y = 0;
  int32_t Entity = 0;  // the line from this node to the next; 0 on the tail
  int32_t PointNo = -1;  // the number of the point while the chain grows
  TChainNode* Prev = nullptr;
  TChainNode* Next = nullptr;
  bool Used = false;   // starts a chord already turned into an arc
  TRealPoint Point() const { return Real(X, Y); }
  bool At(const TIntPoint& p) const { return X == p.X && Y == p.Y; }
};

// The nodes of the pass's chains: a node dropped from a chain stays here
// until the pass ends.
std::deque<TChainNode> ChainNodes;
// The number of the chain being grown; a point's record names its node only
// while its Chain equals this.
uint32_t ChainNumber = 0;

TChainNode* NewNode(int32_t x, int32_t y, int32_t entity, int32_t pointNo = -1) {
  return &ChainNodes.emplace_back(TChainNode{x, y, entity, pointNo});
}

class TChordChain {
 public:
  TChordChain(std::vector<bool>& done, std::vector<bool>& inChain, int32_t tolerance)
      : Done(done), InChain(inChain), T(tolerance), Number(++ChainNumber) {}
  TChordChain(const TChordChain&) = delete;
  TChordChain& operator=(const TChordChain&) = delete;
  // Clears the in-chain mark of each node's entity.
  ~TChordChain() {
    for (TChainNode* n = Head; n; n = n->Next) {
      if (n->Entity) InChain[n->Entity] = false;
    }
  }

  void Start(int32_t seed) {
    const TPointRecord& a = Points[size_t(FirstEnd(seed))];
    const TPointRecord& b = Points[size_t(SecondEnd(seed))];
    Head = NewNode(a.X, a.Y, seed, FirstEnd(seed));
    Tail = NewNode(b.X, b.Y, 0, SecondEnd(seed));
    Head->Next = Tail;
    Tail->Prev = Head;
    InChain[seed] = true;
    Index(Head);
    Index(Tail);
  }

  void Grow() {
    GrowAt(true);
    GrowAt(false);
  }

  void Process();

 private:
  // The node at the point while the chain grows (its points are then all
  // different), kept in the point's record, so that a chain of any length
  // grows in linear time.
  TChainNode* FindNode(int32_t point) const {
    const TPointRecord& p = Points[size_t(point)];
    return p.Chain == Number ? p.Node : nullptr;
  }
  void Index(TChainNode* n) {
    TPointRecord& p = Points[size_t(n->PointNo)];
    p.Chain = Number;
    p.Node = n;
  }

  // Adds j at the head when it is listed at the head's point connect;
  // other is the number of its other end.
  bool AddAtHead(int32_t j, int32_t connect, int32_t other) {
    if (Closed || Head->PointNo != connect) return false;
    if (TChainNode* n = FindNode(other)) {
      Closed = true;
      while (Tail != n) {
        TChainNode* t = Tail;
        Tail = t->Prev;
        Tail->Next = nullptr;
        if (t->Entity) InChain[t->Entity] = false;
      }
      if (n->Entity) InChain[n->Entity] = false;
      n->Entity = 0;
    }
    TChainNode* h = NewNode(Points[size_t(other)].X, Points[size_t(other)].Y, j, other);
    h->Next = Head;
    Head->Prev = h;
    Head = h;
    InChain[j] = true;
    if (!Closed) Index(h);  // a closed chain grows no more
    return true;
  }

  bool AddAtTail(int32_t j, int32_t connect, int32_t other) {
    if (Closed || Tail->PointNo != connect) return false;
    if (TChainNode* n = FindNode(other)) {
      Closed = true;
      while (Head != n) {
        TChainNode* h = Head;
        Head = h->Next;
        Head->Prev = nullptr;
        if (h->Entity) InChain[h->Entity] = false;
      }
    }
    Tail->Entity = j;
    TChainNode* t = NewNode(Points[size_t(other)].X, Points[size_t(other)].Y, 0, other);
    t->Prev = Tail;
    Tail->Next = t;
    Tail = t;
    InChain[j] = true;
    if (!Closed) Index(t);
    return true;
  }

  // Grows the open chain at its head or tail through the endpoint lists;
  // the search restarts at the new end's list after every chord added.
  void GrowAt(bool atHead) {
    auto firstAtEnd = [&] { return Points[size_t((atHead ? Head : Tail)->PointNo)].Head; };
    int32_t k = firstAtEnd();
    while (!Closed && k >= 0) {
      ++EndpointProbes;
      const int32_t j = EndpointPool[size_t(k)].Entity;
      if (!Done[j] && !InChain[j]) {
        const int32_t q1 = FirstEnd(j), q2 = SecondEnd(j);
        bool added = atHead ? (AddAtHead(j, q1, q2) || AddAtHead(j, q2, q1))
                            : (AddAtTail(j, q1, q2) || AddAtTail(j, q2, q1));
        if (added) {
          k = firstAtEnd();
          continue;
        }
      }
      k = EndpointPool[size_t(k)].Next;
    }
  }

  bool ChordsEven() const;
  bool FitCircleToLoop(double& cx, double& cy, double& r) const;
  void ScanForArcs();
  bool FitRun(TChainNode* s, TChainNode* e, TRealPoint& centre, double& radius) const;
  bool TryFitArc(TChainNode*& s, TChainNode*& e);
  bool FitTangentArc(TChainNode* s, TChainNode* e, const TRealPoint& centre, double radius);
  bool CloseLoop(TChainNode* s, TChainNode* e, const TRealPoint& centre, double radius);
  bool NodesNearCircle(TChainNode* s, TChainNode* e, const TRealPoint& centre, double radius,
                       bool includeEnd, bool midpoints) const;
  static bool RunsClockwise(TChainNode* s, TChainNode* e, const TRealPoint& centre);

  std::vector<bool>& Done;
  std::vector<bool>& InChain;
  const int32_t T;
  bool Closed = false;
  TChainNode* Head = nullptr;
  TChainNode* Tail = nullptr;
  const uint32_t Number;
};

bool TChordChain::ChordsEven() const {
  int32_t n = 0;
  double sum = 0.0, longest = 0.0;
  for (TChainNode* c = Head; c && c->Next; c = c->Next) {
    double l = Distance(c->Point(), c->Next->Point());
    sum += l;
    if (l > longest) longest = l;
    ++n;
  }
  return n > 0 && 1.4 * (sum / n) > longest;
}

bool TChordChain::FitCircleToLoop(double& cx, double& cy, double& r) const {
  int32_t n = 0;
  for (TChainNode* c = Head; c->Next; c = c->Next) ++n;
  if (n < 3) return false;
  const int32_t k = n / 3, a = n / 3, b = 2 * n / 3;
  auto step = [this](TChainNode* c) { return c->Next ? c->Next : Head; };
  TChainNode* c1 = Head;
  TChainNode* c2 = c1;
  for (int32_t i = 0; i < a; ++i) c2 = step(c2);
  TChainNode* c3 = c2;
  for (int32_t i = 0; i < b - a; ++i) c3 = step(c3);
  double sx = 0.0, sy = 0.0;
  for (int32_t i = 0; i < k; ++i) {
    double x, y, rr;
    CircleThreePoints(c1->X, c1->Y, c2->X, c2->Y, c3->X, c3->Y, x, y, rr);
    if (rr <= 0.0) return false;
    sx += x;
    sy += y;
    c1 = step(c1);
    c2 = step(c2);
    c3 = step(c3);
  }
  TRealPoint centre{sx / k, sy / k};
  double sum = 0.0, dmin = HugeValue, dmax = 0.0;
  int32_t m = 0;
  for (TChainNode* c = Head; c != Tail; c = c->Next) {
    double d = Distance(c->Point(), centre);
    sum += d;
    dmin = std::min(dmin, d);
    dmax = std::max(dmax, d);
    ++m;
  }
  double radius = sum / m;
  if (radius - dmin > T || dmax - radius > T) return false;
  for (TChainNode* c = Head; c != Tail; c = c->Next) {
    TRealPoint mid;
    MidPoint(c->Point(), c->Next->Point(), mid);
    if (std::fabs(Distance(mid, centre) - radius) > T) return false;
  }
  cx = centre.X;
  cy = centre.Y;
  r = radius;
  return true;
}

void TChordChain::Process() {
  NormalizeLinesOn();
  if (Closed && ChordsEven()) {
    double cx, cy, r;
    if (FitCircleToLoop(cx, cy, r)) {
      DB->AddCircle(SaturatingRound(cx), SaturatingRound(cy), SaturatingRound(r));
      ++CircleCount;
      for (TChainNode* c = Head; c; c = c->Next) {
        if (!c->Entity) continue;
        Done[c->Entity] = true;
        RemoveChordEntity(c->Entity);
      }
      return;
    }
  }
  ScanForArcs();
  for (TChainNode* c = Head; c; c = c->Next) {
    if (c->Entity) Done[c->Entity] = true;
  }
}

void TChordChain::ScanForArcs() {
  for (TChainNode* c = Head; c; c = c->Next) c->Used = false;
  auto fourFrom = [](TChainNode* w) {
    int32_t n = 0;
    for (; w && n < 4; w = w->Next) ++n;
    return n == 4;
  };
  TChainNode* w0 = Head;
  while (w0 && fourFrom(w0)) {
    TChainNode* w1 = w0->Next;
    TChainNode* w2 = w1->Next;
    TChainNode* w3 = w2->Next;
    double x1, y1, r1, x2, y2, r2;
    CircleThreePoints(w0->X, w0->Y, w1->X, w1->Y, w3->X, w3->Y, x1, y1, r1);
    CircleThreePoints(w0->X, w0->Y, w2->X, w2->Y, w3->X, w3->Y, x2, y2, r2);
    const double t10 = 10.0 * T;
    bool ok = r1 > 0.0 && r2 > 0.0 && std::fabs(r1 - r2) <= t10 &&
              Distance(TRealPoint{x1, y1}, TRealPoint{x2, y2}) <= t10;
    if (ok) {
      TRealPoint centre{(x1 + x2) / 2.0, (y1 + y2) / 2.0};
      double r = (r1 + r2) / 2.0;
      for (auto [a, b] : {std::pair{w1, w2}, std::pair{w0, w1}, std::pair{w2, w3}}) {
        TRealPoint mid;
        MidPoint(a->Point(), b->Point(), mid);
        if (std::fabs(Distance(mid, centre) - r) > T) ok = false;
      }
    }
    if (!ok) {
      w0 = w0->Next;
      continue;
    }
    TChainNode* s = w0;
    TChainNode* e = w3;
    if (TryFitArc(s, e)) {
      for (TChainNode* c = s; c != e; c = c->Next) {
        RemoveChordEntity(c->Entity);
        c->Used = true;
      }
      w0 = e->Next;
    } else {
      w0 = w0->Next->Next;
    }
  }
}

// The mean centre of the circles through s, every node between and e, and
// the mean distance of the run's nodes from it; false when the run has fewer
// than two chords, a circle fails, or a node or chord midpoint lies more
// than T off that radius.
bool TChordChain::FitRun(TChainNode* s, TChainNode* e, TRealPoint& centre,
                         double& radius) const {
  if (s->Next == e) return false;
  double sx = 0.0, sy = 0.0;
  int32_t k = 0;
  for (TChainNode* m = s->Next; m != e; m = m->Next) {
    double x, y, r;
    CircleThreePoints(s->X, s->Y, m->X, m->Y, e->X, e->Y, x, y, r);
    if (!(r > 0.0 && r < MaxRadius)) return false;
    sx += x;
    sy += y;
    ++k;
  }
  centre = TRealPoint{sx / k, sy / k};
  double sum = 0.0;
  int32_t n = 0;
  for (TChainNode* c = s;; c = c->Next) {
    sum += Distance(c->Point(), centre);
    ++n;
    if (c == e) break;
  }
  radius = sum / n;
  if (radius > MaxRadius) return false;
  return NodesNearCircle(s, e, centre, radius, true, true);
}

bool TChordChain::NodesNearCircle(TChainNode* s, TChainNode* e, const TRealPoint& centre,
                                  double radius, bool includeEnd, bool midpoints) const {
  for (TChainNode* c = s;; c = c->Next) {
    if (c != e || includeEnd) {
      if (std::fabs(Distance(c->Point(), centre) - radius) > T) return false;
    }
    if (c == e) break;
    if (midpoints) {
      TRealPoint mid;
      MidPoint(c->Point(), c->Next->Point(), mid);
      if (std::fabs(Distance(mid, centre) - radius) > T) return false;
    }
  }
  return true;
}

bool TChordChain::RunsClockwise(TChainNode* s, TChainNode* e, const TRealPoint& centre) {
  double sum = 0.0;
  for (TChainNode* c = s; c != e; c = c->Next) {
    double a1 = AngleSeen(centre, c->X, c->Y);
    double a2 = AngleSeen(centre, c->Next->X, c->Next->Y);
    sum += NormalizeAngle360(a2 + 180.0 - a1) - 180.0;
  }
  return sum < 0.0;
}

// Grows the run from s to e while it still fits one circle: both ends, then
// before s, then after e, then (closed chains) across the seam by moving the
// last chord to the front or the first to the back. Each accepted growth
// lengthens the run, so this ends. Then emits the arc.
bool TChordChain::TryFitArc(TChainNode*& s, TChainNode*& e) {
  TRealPoint centre;
  double radius;
  if (!FitRun(s, e, centre, radius)) return false;
  while (true) {
    TRealPoint c;
    double r;
    bool before = s->Prev && !s->Prev->Used;
    bool after = e->Next && !e->Used && !e->Next->Used;
    if (before && after && FitRun(s->Prev, e->Next, c, r)) {
      s = s->Prev;
      e = e->Next;
    } else if (before && FitRun(s->Prev, e, c, r)) {
      s = s->Prev;
    } else if (after && FitRun(s, e->Next, c, r)) {
      e = e->Next;
    } else if (Closed && s == Head && e != Tail && Tail->Prev && !Tail->Prev->Used) {
      // The last chord moves to the front: a new head takes the point and
      // entity of the node before the tail, which becomes the tail.
      TChainNode* x = Tail->Prev;
      TChainNode* h = NewNode(x->X, x->Y, x->Entity);
      h->Next = Head;
      Head->Prev = h;
      Head = h;
      x->Entity = 0;
      x->Next = nullptr;
      Tail = x;
      if (!FitRun(Head, e, c, r)) break;
      s = Head;
    } else if (Closed && e == Tail && s != Head && !Head->Used) {
      // The first chord moves to the back.
      TChainNode* old = Head;
      e->Entity = old->Entity;
      TChainNode* t = NewNode(old->Next->X, old->Next->Y, 0);
      t->Prev = e;
      e->Next = t;
      Tail = t;
      Head = old->Next;
      Head->Prev = nullptr;
      if (!FitRun(s, Tail, c, r)) break;
      e = Tail;
    } else {
      break;
    }
    centre = c;
    radius = r;
  }
  if (CloseLoop(s, e, centre, radius)) return true;
  ++ArcCount;
  if (FitTangentArc(s, e, centre, radius)) return true;
  int32_t cx = SaturatingRound(centre.X), cy = SaturatingRound(centre.Y);
  if (RunsClockwise(s, e, centre)) {
    DB->AddArc(TIntPoint{e->X, e->Y}, TIntPoint{s->X, s->Y}, TIntPoint{cx, cy});
  } else {
    DB->AddArc(TIntPoint{s->X, s->Y}, TIntPoint{e->X, e->Y}, TIntPoint{cx, cy});
  }
  return true;
}

// A run of a closed chain never spans the whole loop (its ends would
// coincide). When it covers all but one chord and that chord fits the same
// circle too, the loop is emitted as two arcs meeting at the run's ends and
// at a node half-way, which the circle pass then joins into a circle; the
// leftover chord goes with them.
bool TChordChain::CloseLoop(TChainNode* s, TChainNode* e, const TRealPoint& centre,
                            double radius) {
  if (!Closed) return false;
  TChainNode* rest = nullptr;  // the node starting the chord outside the run
  if (s == Head && e->Next == Tail) {
    rest = e;
  } else if (s->Prev == Head && e == Tail) {
    rest = Head;
  }
  if (!rest || rest->Used || !rest->Entity) return false;
  if (!NodesNearCircle(rest, rest->Next, centre, radius, true, true)) return false;
  int32_t chords = 0;
  for (TChainNode* c = s; c != e; c = c->Next) ++chords;
  TChainNode* m = s;
  for (int32_t k = 0; k < chords / 2; ++k) m = m->Next;
  if (m->At(TIntPoint{s->X, s->Y})) return false;
  const TIntPoint c{SaturatingRound(centre.X), SaturatingRound(centre.Y)};
  // The two counter-clockwise arcs S to M and M to S make the whole circle,
  // whichever way the loop runs.
  DB->AddArc(TIntPoint{s->X, s->Y}, TIntPoint{m->X, m->Y}, c);
  DB->AddArc(TIntPoint{m->X, m->Y}, TIntPoint{s->X, s->Y}, c);
  ArcCount += 2;
  RemoveChordEntity(rest->Entity);
  rest->Used = true;
  return true;
}

// Replaces the run from s to e by an arc tangent to the lines that continue
// the chain before s and after e, trimming or extending them to the tangent
// points. False, with nothing changed, when it does not fit.
bool TChordChain::FitTangentArc(TChainNode* s, TChainNode* e, const TRealPoint& centre,
                                double radius) {
  // Across the seam of a closed chain the neighbour would be the duplicate
  // end node, whose point coincides with the run's end: no tangent fit.
  TChainNode* b = s->Prev;
  TChainNode* a = e->Next;
  if (!b || !a) return false;
  if (b->Entity == a->Entity) return false;
  if (b->X == a->X && b->Y == a->Y) return false;
  if (b->Used || a->Used) return false;

  const TRealPoint S = s->Point(), E = e->Point(), B = b->Point(), A = a->Point();
  const double aIn = DirectionAngle(B, S);
  const double aOut = DirectionAngle(E, A);
  const double tS = DirectionAngle(centre, S) + 90.0;
  const double tE = DirectionAngle(centre, E) + 90.0;
  if (!(std::fabs(NormalizeAngle90(tS - aIn)) < 30.0 &&
        std::fabs(NormalizeAngle90(tE - aOut)) < 30.0)) {
    return false;
  }
  TLineEq l1, l2;
  TLinePointDir f1, f2;
  LineEquation(0, B, S, l1, f1);
  if (GeoErrorCode != 0) return false;
  LineEquation(0, E, A, l2, f2);
  if (GeoErrorCode != 0) return false;

  // Foot of the perpendicular from p on the line through q0 and q1.
  auto foot = [](const TRealPoint& p, const TRealPoint& q0, const TRealPoint& q1) {
    double ux = q1.X - q0.X, uy = q1.Y - q0.Y;
    double t = ((p.X - q0.X) * ux + (p.Y - q0.Y) * uy) / (ux * ux + uy * uy);
    return TRealPoint{q0.X + t * ux, q0.Y + t * uy};
  };

  TRealPoint s2, e2, newCentre;
  double newRadius;
  if (std::fabs(NormalizeAngle90(aIn - aOut)) >= 1.1) {
    TRealLine line1{B, S}, line2{E, A};
    TCircleEq c[4];
    int32_t n = 0;
    circlestan2lines(line1, line2, n, radius, c[0], c[1], c[2], c[3]);
    if (GeoErrorCode != 0 || n <= 0) return false;
    int32_t best = 0;
    for (int32_t i = 1; i < n && i < 4; ++i) {
      if (Distance(c[i].Center, centre) < Distance(c[best].Center, centre)) best = i;
    }
    newCentre = c[best].Center;
    newRadius = radius;
    if (!NodesNearCircle(s, e, newCentre, newRadius, true, false)) return false;
    // The touching point: of the two points where the perpendicular from
    // the centre meets the circle, the one nearer the run's end.
    auto touch = [&](const TRealPoint& q0, const TRealPoint& q1, const TRealPoint& near) {
      TRealPoint f = foot(newCentre, q0, q1);
      double dx = f.X - newCentre.X, dy = f.Y - newCentre.Y;
      double d = std::sqrt(dx * dx + dy * dy);
      if (d <= 0.0) {  // the line runs through the centre
        double ux = q1.X - q0.X, uy = q1.Y - q0.Y, ul = std::sqrt(ux * ux + uy * uy);
        dx = -uy / ul;
        dy = ux / ul;
      } else {
        dx /= d;
        dy /= d;
      }
      TRealPoint p1{newCentre.X + dx * newRadius, newCentre.Y + dy * newRadius};
      TRealPoint p2{newCentre.X - dx * newRadius, newCentre.Y - dy * newRadius};
      return Distance(p1, near) <= Distance(p2, near) ? p1 : p2;
    };
    s2 = touch(B, S, S);
    e2 = touch(E, A, E);
  } else {
    TRealPoint pb = foot(E, B, S);
    TRealPoint pa = foot(S, E, A);
    if (Distance(pb, S) > T || Distance(pa, E) > T) return false;
    MidPoint(S, pb, s2);
    MidPoint(E, pa, e2);
    MidPoint(s2, e2, newCentre);
    newRadius = (Distance(s2, newCentre) + Distance(e2, newCentre)) / 2.0;
  }
  const TIntPoint S2{SaturatingRound(s2.X), SaturatingRound(s2.Y)};
  const TIntPoint E2{SaturatingRound(e2.X), SaturatingRound(e2.Y)};
  auto apart = [](const TIntPoint& p, const TChainNode* n) {
    return std::llabs(int64_t(p.X) - n->X) >= 500 || std::llabs(int64_t(p.Y) - n->Y) >= 500;
  };
  if (!apart(S2, b) || !apart(E2, a)) return false;
  if (!NodesNearCircle(s, e, newCentre, newRadius, false, true)) return false;

  const int32_t line1 = DB->AddLine(b->X, b->Y, S2.X, S2.Y);
  HashLineEnds(line1);
  const int32_t line2 = DB->AddLine(a->X, a->Y, E2.X, E2.Y);
  HashLineEnds(line2);
  s->X = S2.X;
  s->Y = S2.Y;
  e->X = E2.X;
  e->Y = E2.Y;
  const size_t widest = size_t(std::max(line1, line2)) + 1;
  if (Done.size() < widest) {
    Done.resize(widest, false);
    InChain.resize(widest, false);
  }
  InChain[line1] = InChain[b->Entity];
  Done[line1] = Done[b->Entity];
  InChain[line2] = InChain[e->Entity];
  Done[line2] = Done[e->Entity];
  RemoveChordEntity(b->Entity);
  RemoveChordEntity(e->Entity);
  b->Entity = line1;
  e->Entity = line2;

  int32_t cx = SaturatingRound(newCentre.X), cy = SaturatingRound(newCentre.Y);
  if (RunsClockwise(s, e, newCentre)) {
    DB->AddArc(TIntPoint{E2.X, E2.Y}, TIntPoint{S2.X, S2.Y}, TIntPoint{cx, cy});
  } else {
    DB->AddArc(TIntPoint{S2.X, S2.Y}, TIntPoint{E2.X, E2.Y}, TIntPoint{cx, cy});
  }
  return true;
}

std::string ArcStatusText() {
  return "Integrating arcs(" + std::to_string(ArcCount) + ") circles(" +
         std::to_string(CircleCount) + ")";
}

}  // namespace

void BuildArcsFromChords(int32_t tolerance) {
  ArcCount = 0;
  CircleCount = 0;
  EndpointProbes = 0;
  bool cancelled = false;
  CleanupStatus(ArcStatusText(), 0, cancelled);
  if (cancelled) return;
  ProcessMessages();

  const uint32_t bit = CleanupLayerBit();
  ClearEndpointHash(CadEntityCount);
  ChainNumber = 0;
  HashLayerEnds(bit, 2);
  // One mark per slot; lines added by tangent fitting widen them.
  const size_t slots = size_t(CadEntityCount) + 1;
  std::vector<bool> done(slots, false), inChain(slots, false);

  const int32_t total = CadEntityCount;
  for (int32_t i = 1; i <= total && !cancelled; ++i) {
    CleanupStatus(ArcStatusText(), int32_t(int64_t(i) * 100 / total), cancelled);
    if (cancelled) break;
    if (done[i] || LayerEntityType(i, bit) != 2) continue;
    TChordChain chain(done, inChain, tolerance);
    chain.Start(i);
    chain.Grow();
    chain.Process();
  }
  FreeEndpointHash();
  std::deque<TChainNode>().swap(ChainNodes);
}

void BuildCirclesFromArcs(int32_t tolerance) {
  CircleCount = 0;
  EndpointProbes = 0;
  bool cancelled = false;
  CleanupStatus("Integrating circles", 0, cancelled);
  if (cancelled) return;
  ProcessMessages();

  const uint32_t bit = CleanupLayerBit();
  std::vector<bool> used(size_t(CadEntityCount) + 1, false);
  ClearEndpointHash(CadEntityCount);
  HashLayerEnds(bit, 3);

  struct TArcData {
    TIntPoint Start, End, Centre;
    double Sweep, Radius;
  };
  auto readArc = [](int32_t index) {
    TRootDBObject* e = EntityArray->GetSlot(index)->Entity;
    TArcData a;
    e->GetPoint(a.Start);
    e->GetSecondPoint(a.End);
    e->GetThirdPoint(a.Centre);
    TRealPoint c = Real(a.Centre.X, a.Centre.Y);
    double sweep = AngleSeen(c, a.End.X, a.End.Y) - AngleSeen(c, a.Start.X, a.Start.Y);
    while (sweep < 0.0) sweep += 360.0;
    a.Sweep = sweep;
    a.Radius = Distance(Real(a.End.X, a.End.Y), c);
    return a;
  };

  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    CleanupStatus("Integrating circles", int32_t(int64_t(i) * 100 / CadEntityCount), cancelled);
    if (cancelled || LayerEntityType(i, bit) != 3 || used[i]) continue;

    TArcData first = readArc(i);
    std::vector<int32_t> run{i};
    used[i] = true;
    int32_t count = 1;
    TIntPoint centre = first.Centre;
    TIntPoint end = first.End;
    double total = first.Sweep;
    double sumX = first.Centre.X * first.Sweep;
    double sumY = first.Centre.Y * first.Sweep;
    double sumR = first.Radius * first.Sweep;

    int32_t k = Points[size_t(SecondEnd(i))].Head;
    while (k >= 0) {
      ++EndpointProbes;
      const int32_t j = EndpointPool[size_t(k)].Entity;
      if (!used[j] && LayerEntityType(j, bit) == 3) {
        TArcData arc = readArc(j);
        double d = Distance(Real(arc.Centre.X, arc.Centre.Y), Real(centre.X, centre.Y));
        if (arc.Start == end && d <= tolerance) {
          total += arc.Sweep;
          sumX += arc.Centre.X * arc.Sweep;
          sumY += arc.Centre.Y * arc.Sweep;
          sumR += arc.Radius * arc.Sweep;
          centre.X = SaturatingRound((double(centre.X) * count + arc.Centre.X) / (count + 1));
          centre.Y = SaturatingRound((double(centre.Y) * count + arc.Centre.Y) / (count + 1));
          ++count;
          run.push_back(j);
          used[j] = true;
          end = arc.End;
          k = Points[size_t(SecondEnd(j))].Head;
          continue;
        }
      }
      k = EndpointPool[size_t(k)].Next;
    }

    if (end == first.Start && std::fabs(total) > 1.0) {
      DB->AddCircle(SaturatingRound(sumX / total), SaturatingRound(sumY / total),
                         SaturatingRound(sumR / total));
      for (int32_t k : run) RemoveChordEntity(k);
    }
  }
  FreeEndpointHash();
}
