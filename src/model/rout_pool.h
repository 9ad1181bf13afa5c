// Shared blocks for the rout objects that come by the hundred thousand: the
// holes of a tape and the display records the compensator hangs on every
// entity at each redraw. One heap allocation each made the allocator the
// largest cost of a rebuild and of emptying the store.
//
// Blocks of 2 MB aligned to their size (an object finds its block by masking
// its address). Freed places of a block are reused before a fresh one is
// taken; a block goes back to the system when its last object does, but for
// one kept for the next objects, so a store emptied and filled again (File >
// New, a tape read again) maps no new pages. Not for use by more than one
// thread. Under the address sanitizer a free place is poisoned.
#pragma once
#include <cstddef>
#include <cstdint>
#include <new>

#include "foundation/utilities.h"  // NewAlignedBlock

#if defined(__SANITIZE_ADDRESS__)
#define KORVEX_ROUT_POOL_POISON 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KORVEX_ROUT_POOL_POISON 1
#endif
#endif
#ifdef KORVEX_ROUT_POOL_POISON
#include <sanitizer/asan_interface.h>
#endif

// Places of Bytes bytes aligned to Align.
template <std::size_t Bytes, std::size_t Align>
class TRoutPool {
 public:
  static constexpr std::size_t PlaceBytes = (Bytes + Align - 1) / Align * Align;

  void* Allocate() {
    if (TBlock* b = Partial_) {
      void* place = b->Free;
      Unpoison(place, PlaceBytes);
      b->Free = *static_cast<void**>(place);
      ++b->Live;
      if (b->Free == nullptr) Unlink(b);
      return place;
    }
    if (Current_ == nullptr || Current_->Used == kPlaces) {
      // A kept block's places are all poisoned already.
      const bool fresh = Spare_ == nullptr;
      void* memory = fresh ? NewAlignedBlock(kBlockBytes) : Spare_;
      Spare_ = nullptr;
      Current_ = new (memory) TBlock{};
      if (fresh) Poison(PlaceAt(Current_, 0), kPlaces * PlaceBytes);
    }
    void* place = PlaceAt(Current_, Current_->Used++);
    ++Current_->Live;
    Unpoison(place, PlaceBytes);
    return place;
  }

  void Release(void* place) {
    auto* b = reinterpret_cast<TBlock*>(reinterpret_cast<std::uintptr_t>(place) &
                                        ~std::uintptr_t(kBlockBytes - 1));
    if (--b->Live == 0) {
      if (b->Listed) Unlink(b);
      if (b == Current_) Current_ = nullptr;
      if (Spare_ == nullptr) {
        Poison(place, PlaceBytes);  // every other place is poisoned
        Spare_ = b;
      } else {
        Unpoison(b, kBlockBytes);  // the next mapping there starts clean
        FreeAlignedBlock(b, kBlockBytes);
      }
      return;
    }
    *static_cast<void**>(place) = b->Free;
    b->Free = place;
    Poison(place, PlaceBytes);
    if (!b->Listed) {
      b->Listed = true;
      b->Prev = nullptr;
      b->Next = Partial_;
      if (Partial_ != nullptr) Partial_->Prev = b;
      Partial_ = b;
    }
  }

 private:
  struct TBlock {
    TBlock* Prev = nullptr;  // the blocks with freed places
    TBlock* Next = nullptr;
    void* Free = nullptr;  // freed places, linked through their first word
    uint32_t Live = 0;
    uint32_t Used = 0;  // places handed out from the block's unused end
    bool Listed = false;
  };
  static constexpr std::size_t kBlockBytes = std::size_t(2) << 20;
  static constexpr std::size_t kFirstPlace = 64;
  static constexpr uint32_t kPlaces = uint32_t((kBlockBytes - kFirstPlace) / PlaceBytes);
  static_assert(sizeof(TBlock) <= kFirstPlace && Align <= kFirstPlace && PlaceBytes >= sizeof(void*));

  static void* PlaceAt(TBlock* b, uint32_t i) {
    return reinterpret_cast<char*>(b) + kFirstPlace + std::size_t(i) * PlaceBytes;
  }
  void Unlink(TBlock* b) {
    if (b->Prev != nullptr) b->Prev->Next = b->Next; else Partial_ = b->Next;
    if (b->Next != nullptr) b->Next->Prev = b->Prev;
    b->Prev = b->Next = nullptr;
    b->Listed = false;
  }
#ifdef KORVEX_ROUT_POOL_POISON
  static void Poison(void* p, std::size_t n) { ASAN_POISON_MEMORY_REGION(p, n); }
  static void Unpoison(void* p, std::size_t n) { ASAN_UNPOISON_MEMORY_REGION(p, n); }
#else
  static void Poison(void*, std::size_t) {}
  static void Unpoison(void*, std::size_t) {}
#endif

  TBlock* Current_ = nullptr;
  TBlock* Partial_ = nullptr;
  TBlock* Spare_ = nullptr;  // an emptied block kept for the next objects
};

// The pool of objects of type T: `static TRoutPool<...>& pool = RoutPoolOf<T>();`
template <class T>
TRoutPool<sizeof(T), alignof(T)>& RoutPoolOf() {
  static TRoutPool<sizeof(T), alignof(T)> pool;
  return pool;
}
