// Fixed-size slots for the objects a job holds by the hundred thousand
// (drill holes and slots, CAD circles, rout holes and their display
// records): a class's own operator new and delete take them from here
// instead of from the heap, one allocation per object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

#include "foundation/utilities.h"

#if defined(__SANITIZE_ADDRESS__)
#define KORVEX_POOL_POISON 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KORVEX_POOL_POISON 1
#endif
#endif
#ifdef KORVEX_POOL_POISON
#include <sanitizer/asan_interface.h>
#endif

// Blocks of 2 MB, aligned to their size so that a slot finds its block by
// masking its address (NewAlignedBlock). A block goes back to the system as soon as its last slot is
// freed, but for one kept for the next entities: a job emptied and filled
// again (File > New, an import withdrawn) does not map and fault a fresh
// block each time. Freed slots of a block are reused before the current
// block grows. Only for a final class: every size asked for is its own.
template <std::size_t Bytes, std::size_t Align>
class TSlotPool {
 public:
  static constexpr std::size_t SlotBytes = (Bytes + Align - 1) / Align * Align;

  void* Allocate() {
    if (TBlock* b = Partial_) {
      void* slot = b->Free;
      Unpoison(slot);
      b->Free = *static_cast<void**>(slot);
      ++b->Live;
      if (b->Free == nullptr) Unlink(b);
      return slot;
    }
    if (Current_ == nullptr || Current_->Bumped == kSlots) {
      // A kept block's slots are all poisoned already: each one handed out
      // was poisoned again when it came back.
      const bool fresh = Spare_ == nullptr;
      void* memory = fresh ? NewBlock() : Spare_;
      Spare_ = nullptr;
      Current_ = new (memory) TBlock{};
      if (fresh) Poison(SlotAt(Current_, 0), kSlots * kSlotBytes);
    }
    void* slot = SlotAt(Current_, Current_->Bumped++);
    ++Current_->Live;
    Unpoison(slot);
    return slot;
  }

  void Release(void* slot) {
    TBlock* b = reinterpret_cast<TBlock*>(reinterpret_cast<std::uintptr_t>(slot) &
                                          ~std::uintptr_t(kBlockBytes - 1));
    if (--b->Live == 0) {
      if (b->Listed) Unlink(b);
      if (b == Current_) Current_ = nullptr;
      if (Spare_ == nullptr) {
        Poison(slot, kSlotBytes);
        Spare_ = b;
      } else {
        // Memory given back to the system carries no marks of the pool.
        Unpoison(SlotAt(b, 0), kSlots * kSlotBytes);
        FreeBlock(b);
      }
      return;
    }
    *static_cast<void**>(slot) = b->Free;
    b->Free = slot;
    Poison(slot, kSlotBytes);
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
    TBlock* Prev = nullptr;  // the blocks with freed slots
    TBlock* Next = nullptr;
    void* Free = nullptr;  // freed slots, linked through their first word
    uint32_t Live = 0;
    uint32_t Bumped = 0;  // slots handed out from the block's unused end
    bool Listed = false;
  };
  static constexpr std::size_t kBlockBytes = std::size_t(2) << 20;
  static constexpr std::size_t kSlotBytes = SlotBytes;
  static constexpr std::size_t kFirstSlot = 64;
  static constexpr uint32_t kSlots = uint32_t((kBlockBytes - kFirstSlot) / kSlotBytes);
  static_assert(sizeof(TBlock) <= kFirstSlot && Align <= kFirstSlot);
  static_assert(kSlotBytes >= sizeof(void*));

  // A block of kBlockBytes aligned to its size; throws std::bad_alloc.
  static void* NewBlock() { return NewAlignedBlock(kBlockBytes); }
  static void FreeBlock(TBlock* b) { FreeAlignedBlock(b, kBlockBytes); }
  static void* SlotAt(TBlock* b, uint32_t i) {
    return reinterpret_cast<char*>(b) + kFirstSlot + std::size_t(i) * kSlotBytes;
  }
  void Unlink(TBlock* b) {
    if (b->Prev != nullptr) b->Prev->Next = b->Next; else Partial_ = b->Next;
    if (b->Next != nullptr) b->Next->Prev = b->Prev;
    b->Prev = b->Next = nullptr;
    b->Listed = false;
  }
#ifdef KORVEX_POOL_POISON
  static void Poison(void* p, std::size_t n) { ASAN_POISON_MEMORY_REGION(p, n); }
  static void Unpoison(void* p, std::size_t n = kSlotBytes) { ASAN_UNPOISON_MEMORY_REGION(p, n); }
#else
  static void Poison(void*, std::size_t) {}
  static void Unpoison(void*, std::size_t = kSlotBytes) {}
#endif

  TBlock* Current_ = nullptr;
  TBlock* Partial_ = nullptr;
  // An emptied block kept for the next slots.
  TBlock* Spare_ = nullptr;
};

// The pool of the objects of type T.
template <class T>
TSlotPool<sizeof(T), alignof(T)>& SlotPoolOf() {
  static TSlotPool<sizeof(T), alignof(T)> pool;
  return pool;
}

// A class's own operator new and delete on its pool, for a class open to
// derived ones: one of another size takes its memory from the heap.
template <class T>
void* NewPooled(std::size_t size) {
  return size == sizeof(T) ? SlotPoolOf<T>().Allocate() : ::operator new(size);
}

template <class T>
void DeletePooled(void* p, std::size_t size) noexcept {
  if (p == nullptr) return;
  if (size == sizeof(T)) SlotPoolOf<T>().Release(p);
  else ::operator delete(p);
}
