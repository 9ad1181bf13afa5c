#include "model/entity_store.h"

#include "foundation/utilities.h"
#include "platform/message_box.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#define KORVEX_PAGE_POISON 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KORVEX_PAGE_POISON 1
#endif
#endif
#ifdef KORVEX_PAGE_POISON
#include <sanitizer/asan_interface.h>
#endif

TEntityArray* EntityArray = nullptr;
TDrillEntities* DrillEntities = nullptr;
TRoutEntities* RoutEntities = nullptr;
int32_t CadEntityCount = 0;
int32_t DrillEntityCount = 0;
int32_t RoutEntityCount = 0;

TStoreRefusalWatch* TStoreRefusalWatch::Active_ = nullptr;

// ---- Slot pages ------------------------------------------------------------------

namespace {

// The pages of one size, carved from blocks of 2 MB aligned to their size
// (a page finds its block by masking its address). A block's pages are
// handed out from its unused end, which the system gives zeroed, and once
// freed from the block's list of freed pages, which are zeroed again as
// they are handed out; a block goes back to the system when its last page
// does, but for one emptied block kept for the next pages.
class TSlotPagePool {
 public:
  explicit TSlotPagePool(std::size_t pageBytes)
      : PageBytes_(pageBytes), BlockPages_(uint32_t((kBlockBytes - kFirstPage) / pageBytes)) {}

  std::size_t PageBytes() const { return PageBytes_; }

  void* Allocate() {
    TBlock* b = Open_;
    if (b == nullptr) {
      if (Spare_ != nullptr) {
        b = Spare_;
        Spare_ = nullptr;
      } else {
        b = new (NewBlock()) TBlock{};
        Poison(PageAt(b, 0), std::size_t(BlockPages_) * PageBytes_);
      }
      Link(b);
    }
    void* page = nullptr;
    if (b->Free != nullptr) {
      page = b->Free;
      Unpoison(page);
      b->Free = *static_cast<void**>(page);
      std::memset(page, 0, PageBytes_);
    } else {
      page = PageAt(b, b->Bumped++);
      Unpoison(page);
      if (b->Used) std::memset(page, 0, PageBytes_);
    }
    ++b->Live;
    if (b->Free == nullptr && b->Bumped == BlockPages_) Unlink(b);
    return page;
  }

  void Release(void* page) {
    TBlock* b = reinterpret_cast<TBlock*>(reinterpret_cast<std::uintptr_t>(page) &
                                          ~std::uintptr_t(kBlockBytes - 1));
    if (--b->Live == 0) {
      if (b->Listed) Unlink(b);
      // One emptied block is kept for the next pages: a job cleared and
      // filled again does not map, fault and give back a block each time.
      // Its other pages were marked as they came back, or never handed out:
      // only this last one is marked now.
      if (Spare_ == nullptr) {
        *b = TBlock{};
        b->Used = true;
        Poison(page, PageBytes_);
        Spare_ = b;
      } else {
        FreeBlock(b);
      }
      return;
    }
    *static_cast<void**>(page) = b->Free;
    b->Free = page;
    Poison(page, PageBytes_);
    if (!b->Listed) Link(b);
  }

 private:
  struct TBlock {
    TBlock* Prev = nullptr;  // the blocks with a page to hand out
    TBlock* Next = nullptr;
    void* Free = nullptr;  // freed pages, linked through their first word
    uint32_t Live = 0;
    uint32_t Bumped = 0;  // pages handed out from the block's unused end
    bool Listed = false;
    bool Used = false;  // its unused end held pages before: cleared as handed out
  };
  static constexpr std::size_t kBlockBytes = std::size_t(2) << 20;
  static constexpr std::size_t kFirstPage = 64;
  static_assert(sizeof(TBlock) <= kFirstPage && alignof(TEntitySlot) <= kFirstPage);

  // A block of kBlockBytes aligned to its size, zeroed; throws
  // std::bad_alloc. The checked build takes it from the heap: its leak
  // check looks for the entities the slots point to there only.
  static void* NewBlock() {
#ifdef KORVEX_PAGE_POISON
    void* memory = std::aligned_alloc(kBlockBytes, kBlockBytes);
    if (memory == nullptr) throw std::bad_alloc();
    std::memset(memory, 0, kBlockBytes);
    return memory;
#else
    return NewAlignedBlock(kBlockBytes);
#endif
  }
  static void FreeBlock(TBlock* b) {
#ifdef KORVEX_PAGE_POISON
    std::free(b);
#else
    FreeAlignedBlock(b, kBlockBytes);
#endif
  }
  void* PageAt(TBlock* b, uint32_t i) const {
    return reinterpret_cast<char*>(b) + kFirstPage + std::size_t(i) * PageBytes_;
  }
  void Link(TBlock* b) {
    b->Listed = true;
    b->Prev = nullptr;
    b->Next = Open_;
    if (Open_ != nullptr) Open_->Prev = b;
    Open_ = b;
  }
  void Unlink(TBlock* b) {
    if (b->Prev != nullptr) b->Prev->Next = b->Next; else Open_ = b->Next;
    if (b->Next != nullptr) b->Next->Prev = b->Prev;
    b->Prev = b->Next = nullptr;
    b->Listed = false;
  }
#ifdef KORVEX_PAGE_POISON
  static void Poison(void* p, std::size_t n) { ASAN_POISON_MEMORY_REGION(p, n); }
  void Unpoison(void* p) const { ASAN_UNPOISON_MEMORY_REGION(p, PageBytes_); }
#else
  static void Poison(void*, std::size_t) {}
  void Unpoison(void*) const {}
#endif

  std::size_t PageBytes_;
  uint32_t BlockPages_;
  TBlock* Open_ = nullptr;
  TBlock* Spare_ = nullptr;  // emptied, kept for the next page
};

// The pool of each page size the stores use (two: the CAD store's, and the
// drill and rout stores').
TSlotPagePool& PoolFor(std::size_t pageBytes) {
  static TSlotPagePool* pools[4] = {};
  for (TSlotPagePool*& pool : pools) {
    if (pool == nullptr) pool = new TSlotPagePool(pageBytes);
    if (pool->PageBytes() == pageBytes) return *pool;
  }
  std::abort();  // more page sizes than the stores use
}

}  // namespace

TEntitySlot* AllocateSlotPage(int32_t slots) {
  static_assert(std::is_trivially_destructible_v<TEntitySlot>);
  void* page = PoolFor(std::size_t(slots) * sizeof(TEntitySlot)).Allocate();
  // The bytes are zero: every slot reads {0, nullptr}.
  return static_cast<TEntitySlot*>(page);
}

void ReleaseSlotPage(TEntitySlot* page, int32_t slots) {
  if (page != nullptr) PoolFor(std::size_t(slots) * sizeof(TEntitySlot)).Release(page);
}

TStoreRefusalWatch::TStoreRefusalWatch() {
  if (Active_ != nullptr) return;
  Active_ = this;
  Owner_ = true;
}

TStoreRefusalWatch::~TStoreRefusalWatch() {
  if (Owner_) Active_ = nullptr;
}

void ReportStoreFull(const std::string& storeName, int32_t highestIndex) {
  const std::string text = "The " + storeName + " is full: it holds at most " +
                           IntToStrGrouped(highestIndex) + " entities.";
  if (TStoreRefusalWatch* watch = TStoreRefusalWatch::Active_) {
    if (watch->Text_.empty()) watch->Text_ = text;
    ++watch->Refusals_;
    return;
  }
  ErrorBox(text);
}

bool StoreHasRoom(const std::string& storeName, int32_t highestIndex, int32_t count, int64_t needed,
                  const std::string& operation) {
  const int64_t room = std::max<int64_t>(0, int64_t{highestIndex} - count);
  if (needed <= room) return true;
  auto grouped = [](int64_t n) { return IntToStrGrouped(int32_t(std::min<int64_t>(n, INT32_MAX))); };
  ErrorBox("The " + storeName + " is full: it holds at most " + IntToStrGrouped(highestIndex) +
           " entities.\r\n" + operation + " needs " + grouped(needed) + " more; there is room for " +
           grouped(room) + ".\r\nNothing was changed.");
  return false;
}

bool PointOutsideBox(int32_t x, int32_t y, const TIntBox& box) {
  return y > box.Top || y < box.Bottom || x < box.Left || x > box.Right;
}

uint8_t OutCode(const TIntBox& box, int32_t x, int32_t y) {
  uint8_t code = 0;
  if (x < box.Left)
    code |= 1;
  else if (x > box.Right)
    code |= 2;
  if (y < box.Bottom)
    code |= 4;
  else if (y > box.Top)
    code |= 8;
  return code;
}

void InitExtents(TIntPoint& min, TIntPoint& max) {
  min = {2147483647, 2147483647};
  max = {-2147483647, -2147483647};
}

void ExtendExtents(TIntPoint& min, TIntPoint& max, const TIntPoint& point) {
  if (point.X < min.X) min.X = point.X;
  if (point.Y < min.Y) min.Y = point.Y;
  if (point.X > max.X) max.X = point.X;
  if (point.Y > max.Y) max.Y = point.Y;
}
