#include "jww/recordpool.h"

#include <algorithm>
#include <cstdint>
#include <new>

namespace quorvex {
namespace {

constexpr size_t kLargestShared = size_t(32) << 20;  // shared blocks grow up to this size

}  // namespace

void TRecordPool::Destroy() noexcept { delete this; }

void* TRecordPool::Allocate(size_t bytes, size_t align) {
  if (bytes == 0) bytes = 1;
  // An array larger than a quarter of a shared block gets a block of its
  // own: no room in the shared blocks is lost to it.
  if (bytes > nextBlock_ / 4) {
    auto block = std::make_unique<TBigBlock>();
    if (!block->Allocate(bytes)) throw std::bad_alloc();
    void* p = block->Data();
    blocks_.push_back(std::move(block));
    return p;
  }
  uintptr_t at = (reinterpret_cast<uintptr_t>(next_) + align - 1) & ~uintptr_t(align - 1);
  if (!next_ || at + bytes > reinterpret_cast<uintptr_t>(end_)) {
    auto block = std::make_unique<TBigBlock>();
    if (!block->Allocate(nextBlock_)) throw std::bad_alloc();
    next_ = block->Data();
    end_ = next_ + block->Size();
    blocks_.push_back(std::move(block));
    nextBlock_ = std::min(nextBlock_ * 2, kLargestShared);
    at = (reinterpret_cast<uintptr_t>(next_) + align - 1) & ~uintptr_t(align - 1);
  }
  next_ = reinterpret_cast<uint8_t*>(at + bytes);
  return reinterpret_cast<void*>(at);
}

}  // namespace quorvex
