// The three entity stores, the integer point and box of the entity model, the
// slot-word tests, the band masks of fast window rejection, the clip helpers
// on integer boxes and the extents pair.
//
// A store is a 1-based paged array of slots {layer/flag word, entity}. Pages
// are allocated when the slot count first reaches them and released when it
// falls below them, so a store holds at most one partly used page. Entities
// never move while a job is edited: everything refers to an entity by its slot
// index, deletion only sets bit 31 of the slot word, and only a database's
// compaction renumbers.
//
// Slot word: bit 31 = deleted; CAD store: bit n = CAD layer n (0..29); drill
// and rout stores: bit (layer - 30), drill layers 30..39 on bits 0..9, rout
// layers 40..44 on bits 10..14. Layer masks keep bit 31 set, so
// (word AND mask) read as a signed integer is > 0 exactly for live entities
// on a wanted layer.
//
// The store owns only its pages. The entity objects are created and freed by
// the database that writes them. The pages of all stores are carved from
// shared blocks of 2 MB (AllocateSlotPage).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "foundation/geometry.h"

class TRootDBObject;


// Box in database units, bounds inclusive.
struct TIntBox {
  int32_t Left = 0;    // minimum X
  int32_t Bottom = 0;  // minimum Y
  int32_t Right = 0;   // maximum X
  int32_t Top = 0;     // maximum Y
  bool operator==(const TIntBox&) const = default;
};

// ---- Slot words ---------------------------------------------------------------

constexpr uint32_t SlotDeletedBit = 0x80000000u;

// True when the slot is live and on a layer of the mask (the mask keeps bit
// 31 set): (flags AND mask) > 0 as a signed value.
constexpr bool SlotInMask(uint32_t flags, uint32_t mask) {
  return static_cast<int32_t>(flags & mask) > 0;
}
// True when the slot carries the layer bit, deleted or not.
constexpr bool SlotHasBit(uint32_t flags, uint32_t bit) {
  return static_cast<int32_t>(flags & bit) > 0;
}
constexpr bool SlotDeleted(uint32_t flags) { return (flags & SlotDeletedBit) != 0; }

// The slot-word bit of a layer: bit n for CAD layers 0..29, bit (layer - 30)
// for the drill and rout layers 30..44.
constexpr uint32_t CadLayerBit(uint8_t layer) { return 1u << layer; }
constexpr uint32_t NCLayerBit(uint8_t layer) { return 1u << (layer - 30); }

// One slot: 4-byte word and the entity reference.
struct TEntitySlot {
  uint32_t Flags = 0;
  TRootDBObject* Entity = nullptr;
};

// ---- Stores -------------------------------------------------------------------

// A page of slots count slots, every slot {0, nullptr}, carved from a block
// shared with the other pages of its size; throws std::bad_alloc when no
// memory is left. ReleaseSlotPage gives it back (a block goes back to the
// system when its last page does, but for one emptied block of each page
// size, kept for the next pages).
TEntitySlot* AllocateSlotPage(int32_t slots);
void ReleaseSlotPage(TEntitySlot* page, int32_t slots);

// A store of Pages pages of SlotsPerPage slots; valid indices are 1 to
// Pages x SlotsPerPage.
template <int32_t Pages, int32_t SlotsPerPage>
class TPagedEntityStore {
 public:
  static constexpr int32_t PageCount = Pages;
  static constexpr int32_t PageSlots = SlotsPerPage;
  static constexpr int32_t HighestIndex = Pages * SlotsPerPage;
  // Several pages share a block of 2 MB.
  static_assert(SlotsPerPage > 0 && sizeof(TEntitySlot) * SlotsPerPage <= (1u << 20));

  // name: how the error box of a full store names it ("CAD drawing", ...).
  explicit TPagedEntityStore(std::string name) : name_(std::move(name)) { SetCount(0); }
  virtual ~TPagedEntityStore() { SetCount(0); }
  TPagedEntityStore(const TPagedEntityStore&) = delete;
  TPagedEntityStore& operator=(const TPagedEntityStore&) = delete;

  // page = (index - 1) div S + 1, slot = (index - 1) mod S + 1, truncating
  // (index 0 gives slot 0).
  static void LocateSlot(int32_t index, int32_t& page, int32_t& slot) {
    page = (index - 1) / SlotsPerPage + 1;
    slot = (index - 1) % SlotsPerPage + 1;
  }

  // The slot of the index, first growing the store to it when it lies beyond
  // the slot count. An index outside 1..HighestIndex addresses no slot:
  // nullptr.
  TEntitySlot* GetSlot(int32_t index) {
    if (index < 1 || index > HighestIndex) return nullptr;
    if (index > count_) SetCount(index);
    int32_t page, slot;
    LocateSlot(index, page, slot);
    return pages_[page - 1] + (slot - 1);
  }

  // Sets the slot count (limited to 0..HighestIndex); allocates the pages
  // now needed and releases those above the last needed one. Nothing
  // changes in the pages while the last needed page stays the same.
  void SetCount(int32_t n) {
    if (n < 0) n = 0;
    if (n > HighestIndex) n = HighestIndex;
    int32_t pNew = LastPage(n);
    int32_t pOld = LastPage(count_);
    count_ = n;
    // Pages 1 to the last needed one are allocated, the others are not: only
    // the pages between the old last and the new one change (a store emptied
    // and filled with a few entities again does not walk its whole table).
    for (int32_t k = pNew + 1; k <= pOld; ++k) {
      if (pages_[k - 1] != nullptr) ReleaseSlotPage(pages_[k - 1], SlotsPerPage);
      pages_[k - 1] = nullptr;
    }
    for (int32_t k = pOld + 1; k <= pNew; ++k)
      if (pages_[k - 1] == nullptr) pages_[k - 1] = AllocateSlotPage(SlotsPerPage);
  }

  // The slot of a new entity: entityCount (the store's count global) goes up
  // by one and the store grows to it. When the store already holds
  // HighestIndex slots, an error box says so, nothing changes, and the
  // result is nullptr.
  TEntitySlot* AddSlot(int32_t& entityCount);

  // Exchanges the slots, pages and count, with another store of the kind
  // (one filled ahead goes in at once); the names stay.
  void SwapSlots(TPagedEntityStore& other) {
    std::swap(pages_, other.pages_);
    std::swap(count_, other.count_);
  }

  int32_t Count() const { return count_; }
  bool PageAllocated(int32_t page) const {
    return page >= 1 && page <= Pages && pages_[page - 1] != nullptr;
  }
  int32_t AllocatedPages() const {
    int32_t n = 0;
    for (const TEntitySlot* p : pages_) n += p != nullptr ? 1 : 0;
    return n;
  }
  const std::string& Name() const { return name_; }

 private:
  static int32_t LastPage(int32_t n) {
    if (n <= 0) return 0;
    int32_t page, slot;
    LocateSlot(n, page, slot);
    return page;
  }

  TEntitySlot* pages_[Pages] = {};
  int32_t count_ = 0;
  std::string name_;
};

// Shows the error box of a store that cannot take another entity; while a
// TStoreRefusalWatch lives, no box is shown and the watch keeps the text.
void ReportStoreFull(const std::string& storeName, int32_t highestIndex);

// True when a store of at most highestIndex entities, count slots of it in
// use, has room for needed more. Else the error box says so (the text of a
// full store, what the operation needs and the room left, and that nothing
// was done: an operation checks before it changes anything) and false.
bool StoreHasRoom(const std::string& storeName, int32_t highestIndex, int32_t count, int64_t needed,
                  const std::string& operation);

// Watches the stores for refusals while it lives (an import, which stops at
// the first and reports it once in its own way, instead of a box per entity
// refused). Watches do not nest: an inner one sees nothing.
class TStoreRefusalWatch {
 public:
  TStoreRefusalWatch();
  ~TStoreRefusalWatch();
  TStoreRefusalWatch(const TStoreRefusalWatch&) = delete;
  TStoreRefusalWatch& operator=(const TStoreRefusalWatch&) = delete;
  bool Refused() const { return !Text_.empty(); }
  // The text of the first refusal ("The drill database is full: ...").
  const std::string& Text() const { return Text_; }
  // The entities refused while the watch lived.
  int64_t Refusals() const { return Refusals_; }

 private:
  friend void ReportStoreFull(const std::string& storeName, int32_t highestIndex);
  static TStoreRefusalWatch* Active_;
  bool Owner_ = false;
  std::string Text_;
  int64_t Refusals_ = 0;
};

template <int32_t Pages, int32_t SlotsPerPage>
TEntitySlot* TPagedEntityStore<Pages, SlotsPerPage>::AddSlot(int32_t& entityCount) {
  if (entityCount >= HighestIndex || entityCount < 0) {
    ReportStoreFull(name_, HighestIndex);
    return nullptr;
  }
  ++entityCount;
  // The common case, a store filled one by one, within its last page.
  if (entityCount == count_ + 1 && count_ % SlotsPerPage != 0) {
    count_ = entityCount;
    return pages_[(entityCount - 1) / SlotsPerPage] + (entityCount - 1) % SlotsPerPage;
  }
  return GetSlot(entityCount);
}

// The CAD drawing: 100 pages of 10,000 slots (1,000,000 entities).
class TEntityArray : public TPagedEntityStore<100, 10000> {
 public:
  TEntityArray() : TPagedEntityStore("CAD drawing") {}
};
// The drill layers: 400 pages of 2,500 slots (1,000,000 entities).
class TDrillEntities : public TPagedEntityStore<400, 2500> {
 public:
  TDrillEntities() : TPagedEntityStore("drill database") {}
};
// The rout layers: 40 pages of 2,500 slots (100,000 entities).
class TRoutEntities : public TPagedEntityStore<40, 2500> {
 public:
  TRoutEntities() : TPagedEntityStore("rout database") {}
};

// The store instances, created and destroyed by their databases, and the
// number of slots in use (live and deleted) of each, kept equal to the
// store's count by the databases.
extern TEntityArray* EntityArray;
extern TDrillEntities* DrillEntities;
extern TRoutEntities* RoutEntities;
extern int32_t CadEntityCount;
extern int32_t DrillEntityCount;
extern int32_t RoutEntityCount;

// ---- Band masks and clip helpers ------------------------------------------------

// The display bands (16 bands of 2^27 units centred on 0, band 0 reaching
// down to -2^31 and band 15 up to 2^31 - 1) touched by the range between a
// and b, in either order, as bits 0..15. Inline: every entity made or moved
// computes two.
inline uint16_t BandMask(int32_t a, int32_t b) {
  // The band of a coordinate by its top five bits read as unsigned.
  static constexpr uint8_t kBands[32] = {8, 9, 10, 11, 12, 13, 14, 15, 15, 15, 15,
                                         15, 15, 15, 15, 15, 0, 0, 0, 0, 0, 0,
                                         0, 0, 0, 1, 2, 3, 4, 5, 6, 7};
  uint32_t lo = kBands[static_cast<uint32_t>(a) >> 27];
  uint32_t hi = kBands[static_cast<uint32_t>(b) >> 27];
  if (lo > hi) std::swap(lo, hi);
  // Bits lo..hi inclusive.
  return static_cast<uint16_t>(((1u << (hi + 1)) - 1u) & ~((1u << lo) - 1u));
}

// True when the point lies outside the box; the border is inside.
bool PointOutsideBox(int32_t x, int32_t y, const TIntBox& box);

// Clip code: 1 left of the box, else 2 right of it; 4 below, else 8 above;
// 0 inside (border included).
uint8_t OutCode(const TIntBox& box, int32_t x, int32_t y);

// Extents pair: min := (2147483647, 2147483647), max := (-2147483647,
// -2147483647); ExtendExtents widens both to include the point.
void InitExtents(TIntPoint& min, TIntPoint& max);
void ExtendExtents(TIntPoint& min, TIntPoint& max, const TIntPoint& point);
