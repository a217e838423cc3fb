// Memory for the record arrays of a drawing's many small stores.
//
// A drawing may hold a hundred thousand block definitions, each with a few
// small arrays of its own. Allocated one by one, each array costs a call of
// the allocator and every few of them a fresh page to fault in; taken from
// a pool of large blocks (advised for huge pages, os/bigmemory.h) they cost
// a pointer bump. The pool gives nothing back until the last array that
// took memory from it goes; then it goes too.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>
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

// Whether an array's elements may be moved to other memory byte for byte
// (no element points into itself): true for those that can be copied so,
// and declared for records that hold strings or arrays of their own
// (jwwtype.h). A TRecords array grows by moving its memory, not its
// elements one by one.
template <class T>
struct TRelocatable : std::is_trivially_copyable<T> {};

// A record array of a store: a vector of the operations the program uses,
// whose memory comes from a pool when given one, else as any large array
// (AllocateArray, os/bigmemory.h). A large array grows by remapping its
// pages where they are (GrowArray), so that growing never copies it nor
// holds it twice, and room is taken in proportion to what is used instead
// of for the worst case. A copy never shares the pool: it takes its memory
// of its own, so it may outlive the drawing it was copied from.
template <class T>
class TRecords {
  static_assert(TRelocatable<T>::value, "a record array moves its elements byte for byte");

 public:
  using value_type = T;
  using size_type = size_t;
  using difference_type = ptrdiff_t;
  using reference = T&;
  using const_reference = const T&;
  using pointer = T*;
  using const_pointer = const T*;
  using iterator = T*;
  using const_iterator = const T*;

  TRecords() noexcept = default;
  explicit TRecords(TRecordPool* pool) noexcept : pool_(pool) {
    if (pool_) pool_->Ref();
  }
  TRecords(size_t n, const T& value) { assign(n, value); }
  TRecords(std::initializer_list<T> values) {
    reserve(values.size());
    for (const T& v : values) push_back(v);
  }
  TRecords(const TRecords& other) { CopyFrom(other); }
  TRecords(TRecords&& other) noexcept { Take(other); }
  TRecords& operator=(const TRecords& other) {
    if (this != &other) {
      clear();
      CopyFrom(other);
    }
    return *this;
  }
  TRecords& operator=(TRecords&& other) noexcept {
    if (this != &other) {
      Free();
      if (pool_) pool_->Unref();
      pool_ = nullptr;
      Take(other);
    }
    return *this;
  }
  ~TRecords() {
    Free();
    if (pool_) pool_->Unref();
  }

  size_t size() const noexcept { return size_; }
  size_t capacity() const noexcept { return capacity_; }
  bool empty() const noexcept { return size_ == 0; }
  T* data() noexcept { return data_; }
  const T* data() const noexcept { return data_; }
  T* begin() noexcept { return data_; }
  T* end() noexcept { return data_ + size_; }
  const T* begin() const noexcept { return data_; }
  const T* end() const noexcept { return data_ + size_; }
  const T* cbegin() const noexcept { return data_; }
  const T* cend() const noexcept { return data_ + size_; }
  T& operator[](size_t i) noexcept { return data_[i]; }
  const T& operator[](size_t i) const noexcept { return data_[i]; }
  T& at(size_t i) {
    if (i >= size_) throw std::out_of_range("record index out of range");
    return data_[i];
  }
  const T& at(size_t i) const {
    if (i >= size_) throw std::out_of_range("record index out of range");
    return data_[i];
  }
  T& front() noexcept { return data_[0]; }
  const T& front() const noexcept { return data_[0]; }
  T& back() noexcept { return data_[size_ - 1]; }
  const T& back() const noexcept { return data_[size_ - 1]; }
  TRecordPool* Pool() const noexcept { return pool_; }

  // Room for n elements in all; never shrinks.
  void reserve(size_t n) {
    if (n > capacity_) Grow(n);
  }
  template <class... Args>
  T& emplace_back(Args&&... args) {
    if (size_ == capacity_) Grow(NextCapacity(size_ + 1));
    T* p = ::new (static_cast<void*>(data_ + size_)) T(std::forward<Args>(args)...);
    ++size_;
    return *p;
  }
  void push_back(const T& value) {
    if (size_ == capacity_) {
      const T copy = value;  // the value may lie in this array, which moves
      emplace_back(std::move(copy));
    } else {
      emplace_back(value);
    }
  }
  void push_back(T&& value) {
    if (size_ == capacity_) {
      T moved = std::move(value);
      emplace_back(std::move(moved));
    } else {
      emplace_back(std::move(value));
    }
  }
  void pop_back() noexcept { data_[--size_].~T(); }
  void resize(size_t n) {
    if (n <= size_) return Truncate(n);
    reserve(n);
    while (size_ < n) {
      ::new (static_cast<void*>(data_ + size_)) T();
      ++size_;
    }
  }
  void resize(size_t n, const T& value) {
    if (n <= size_) return Truncate(n);
    const T copy = value;
    reserve(n);
    while (size_ < n) {
      ::new (static_cast<void*>(data_ + size_)) T(copy);
      ++size_;
    }
  }
  void assign(size_t n, const T& value) {
    const T copy = value;
    clear();
    resize(n, copy);
  }
  void clear() noexcept { Truncate(0); }
  // Removes [first, last), moving the elements behind it forward.
  T* erase(const T* first, const T* last) {
    T* to = data_ + (first - data_);
    if (first == last) return to;
    T* from = data_ + (last - data_);
    T* out = std::move(from, end(), to);
    Truncate(static_cast<size_t>(out - data_));
    return to;
  }
  // Gives back the memory of an empty array (a pool's stays with the pool).
  void shrink_to_fit() noexcept {
    if (size_ == 0) Free();
  }

  friend bool operator==(const TRecords& a, const TRecords& b) {
    return a.size_ == b.size_ && std::equal(a.begin(), a.end(), b.begin());
  }

 private:
  static size_t NextCapacity(size_t needed) {
    // Half as much again: the room not yet used is address space only.
    return std::max<size_t>({needed, size_t(4), size_t(needed / 2 * 3)});
  }

  void Grow(size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    const size_t bytes = n * sizeof(T);
    if (pool_) {
      // Pool memory goes with the pool; the old room stays unused in it.
      T* p = static_cast<T*>(pool_->Allocate(bytes, alignof(T)));
      if (size_ > 0) std::memcpy(static_cast<void*>(p), static_cast<const void*>(data_), size_ * sizeof(T));
      data_ = p;
    } else if (!data_) {
      data_ = static_cast<T*>(AllocateArray(bytes, alignof(T)));
    } else {
      data_ = static_cast<T*>(GrowArray(data_, capacity_ * sizeof(T), bytes, alignof(T)));
    }
    capacity_ = n;
  }

  void Truncate(size_t n) noexcept {
    if constexpr (!std::is_trivially_destructible_v<T>)
      for (size_t i = n; i < size_; ++i) data_[i].~T();
    size_ = std::min(size_, n);
  }

  void Free() noexcept {
    clear();
    if (data_ && !pool_) FreeArray(data_, capacity_ * sizeof(T), alignof(T));
    data_ = nullptr;
    capacity_ = 0;
  }

  void CopyFrom(const TRecords& other) {
    reserve(other.size_);
    for (const T& v : other) emplace_back(v);
  }

  void Take(TRecords& other) noexcept {
    data_ = other.data_;
    size_ = other.size_;
    capacity_ = other.capacity_;
    pool_ = other.pool_;
    other.data_ = nullptr;
    other.size_ = other.capacity_ = 0;
    other.pool_ = nullptr;
  }

  T* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
  TRecordPool* pool_ = nullptr;
};

}  // namespace quorvex
