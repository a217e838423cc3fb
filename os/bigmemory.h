// Large blocks of memory: the blocks the input is read into and the output
// is written from, and the big record arrays of a drawing.
//
// Every page of fresh memory costs a fault when it is first touched, and on
// some machines (virtual ones above all) a fault costs more than filling the
// page. Large blocks are therefore backed by huge pages where the system
// allows it: one fault for each 2 MiB instead of one for each 4 KiB. This is
// advice only; without huge pages everything works the same, only slower.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvex {

// Memory for a large array: from `kBigArrayFrom` bytes on, mapped on its own
// on a huge-page boundary and advised as a TBigBlock, so that not even its
// first pages are faulted in one 4 KiB page at a time (the heap would start
// it just past a page boundary); smaller ones come from the heap.
// AllocateArray throws std::bad_alloc when the system has no memory; an
// array is freed with the size it was allocated with.
constexpr size_t kBigArrayFrom = size_t(256) << 10;
void* AllocateArray(size_t bytes, size_t align);
void FreeArray(void* p, size_t bytes, size_t align) noexcept;
// Grows an array allocated with oldBytes to newBytes (more), keeping its
// bytes; the old pointer is then no longer valid. A mapped array keeps its
// pages: they are remapped to a larger place (in place where the address
// space behind it is free), neither copied nor held twice, and its huge
// pages stay whole. Throws std::bad_alloc (the old array untouched) when
// the system has no memory.
void* GrowArray(void* p, size_t oldBytes, size_t newBytes, size_t align);

// A block of memory of its own (not from the heap), starting on a huge-page
// boundary, rounded up to whole huge pages and, from kBigArrayFrom bytes on,
// advised for them.
class TBigBlock {
 public:
  TBigBlock() = default;
  ~TBigBlock() { Free(); }
  TBigBlock(const TBigBlock&) = delete;
  TBigBlock& operator=(const TBigBlock&) = delete;

  // A block of at least `bytes` (its old contents are gone). False when the
  // system has no memory for it.
  bool Allocate(size_t bytes);
  void Free();

  uint8_t* Data() const { return data_; }
  size_t Size() const { return size_; }

 private:
  uint8_t* data_ = nullptr;
  size_t size_ = 0;    // usable bytes
  size_t mapped_ = 0;  // bytes mapped from data_
};

}  // namespace quorvex
