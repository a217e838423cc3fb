// Large blocks of memory: the input file held whole while it is read, the
// output buffer, and the big record arrays of a drawing.
//
// Every page of fresh memory costs a fault when it is first touched, and on
// some machines (virtual ones above all) a fault costs more than filling the
// page. Large blocks are therefore backed by huge pages where the system
// allows it: one fault for each 2 MiB instead of one for each 4 KiB. This is
// advice only; without huge pages everything works the same, only slower.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvex {

// Asks for huge pages for the whole 2 MiB pieces of [p, p + bytes). Call it
// before the memory is first touched; blocks below a few MiB are left alone.
void AdviseHugePages(const void* p, size_t bytes);

// The capacity of a vector, advised as above.
template <class T, class A>
void AdviseHugePages(const std::vector<T, A>& v) {
  AdviseHugePages(v.data(), v.capacity() * sizeof(T));
}

// A block of memory of its own (not from the heap), starting on a huge-page
// boundary and, from 2 MiB on, advised for huge pages.
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
