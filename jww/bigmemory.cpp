#include "jww/bigmemory.h"

#include <sys/mman.h>

namespace quorvex {
namespace {

constexpr uintptr_t kHugePage = uintptr_t(1) << 21;
// Below this a block is not worth the advice.
constexpr size_t kAdviseFrom = size_t(4) << 20;

}  // namespace

void AdviseHugePages(const void* p, size_t bytes) {
  if (!p || bytes < kAdviseFrom) return;
  const uintptr_t from = (reinterpret_cast<uintptr_t>(p) + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t to = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(kHugePage - 1);
  if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

bool TBigBlock::Allocate(size_t bytes) {
  Free();
  if (bytes == 0) return true;
  // Rounded up to whole huge pages, and mapped one huge page larger so that
  // the block can start on a huge-page boundary.
  const size_t rounded = (bytes + kHugePage - 1) & ~(kHugePage - 1);
  void* p = ::mmap(nullptr, rounded + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return false;
  const uintptr_t start = reinterpret_cast<uintptr_t>(p);
  const uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
  // Unmap the unaligned head and the tail beyond the block.
  if (aligned > start) ::munmap(p, aligned - start);
  const size_t tail = (start + rounded + kHugePage) - (aligned + rounded);
  if (tail > 0) ::munmap(reinterpret_cast<void*>(aligned + rounded), tail);
  data_ = reinterpret_cast<uint8_t*>(aligned);
  size_ = bytes;
  mapped_ = rounded;
  if (bytes >= kHugePage) ::madvise(data_, rounded, MADV_HUGEPAGE);
  return true;
}

void TBigBlock::Free() {
  if (data_) ::munmap(data_, mapped_);
  data_ = nullptr;
  size_ = mapped_ = 0;
}

}  // namespace quorvex
