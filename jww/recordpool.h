// Memory for the record arrays of a drawing's many small stores.
//
// A drawing may hold a hundred thousand block definitions, each with a few
// small arrays of its own. Allocated one by one, each array costs a call of
// the allocator and every few of them a fresh page to fault in; taken from
// a pool of large blocks (advised for huge pages, os/bigmemory.h) they cost
// a pointer bump. The pool gives nothing back until the last array that
// took memory from it goes; then it goes too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include "os/bigmemory.h"

namespace quorvex {

class TRecordPool {
 public:
  // A new pool with one reference (the caller's).
  static TRecordPool* Create() { return new TRecordPool(); }
  // The references are counted without atomic operations: a pool serves
  // one drawing, which one thread at a time uses.
  void Ref() noexcept { ++refs_; }
  void Unref() noexcept {
    if (--refs_ == 0) Destroy();
  }
  // Memory for `bytes` bytes aligned to `align` (at most 16). Throws
  // std::bad_alloc when the system has none.
  void* Allocate(size_t bytes, size_t align);

 private:
  TRecordPool() = default;
  ~TRecordPool() = default;
  void Destroy() noexcept;

  std::vector<std::unique_ptr<TBigBlock>> blocks_;
  uint8_t* next_ = nullptr;
  uint8_t* end_ = nullptr;
  size_t nextBlock_ = size_t(2) << 20;  // the size of the next shared block
  int refs_ = 1;
};

// The allocator of a store's arrays: from a pool when given one, else as
// any large array (AllocateArray, os/bigmemory.h). A copy of an array never shares the pool: it takes its
// memory from the heap, so it may outlive the drawing it was copied from.
template <class T>
class TRecordAllocator {
 public:
  using value_type = T;
  using propagate_on_container_copy_assignment = std::false_type;
  using propagate_on_container_move_assignment = std::true_type;
  using propagate_on_container_swap = std::true_type;

  TRecordAllocator() noexcept = default;
  explicit TRecordAllocator(TRecordPool* pool) noexcept : pool_(pool) {
    if (pool_) pool_->Ref();
  }
  TRecordAllocator(const TRecordAllocator& other) noexcept : TRecordAllocator(other.pool_) {}
  template <class U>
  TRecordAllocator(const TRecordAllocator<U>& other) noexcept : TRecordAllocator(other.Pool()) {}
  TRecordAllocator& operator=(const TRecordAllocator& other) noexcept {
    if (other.pool_) other.pool_->Ref();
    if (pool_) pool_->Unref();
    pool_ = other.pool_;
    return *this;
  }
  ~TRecordAllocator() {
    if (pool_) pool_->Unref();
  }

  T* allocate(size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    if (!pool_) return static_cast<T*>(AllocateArray(n * sizeof(T), alignof(T)));
    return static_cast<T*>(pool_->Allocate(n * sizeof(T), alignof(T)));
  }
  // Pool memory is given back with the pool.
  void deallocate(T* p, size_t n) noexcept {
    if (!pool_) FreeArray(p, n * sizeof(T), alignof(T));
  }
  TRecordAllocator select_on_container_copy_construction() const noexcept { return TRecordAllocator(); }

  TRecordPool* Pool() const noexcept { return pool_; }
  template <class U>
  friend bool operator==(const TRecordAllocator& a, const TRecordAllocator<U>& b) noexcept {
    return a.Pool() == b.Pool();
  }

 private:
  TRecordPool* pool_ = nullptr;
};

// A record array of a store.
template <class T>
using TRecords = std::vector<T, TRecordAllocator<T>>;

}  // namespace quorvex
