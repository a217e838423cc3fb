#include "os/bigmemory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <new>

namespace quorvex {
namespace {

constexpr uintptr_t kHugePage = uintptr_t(1) << 21;
// Under AddressSanitizer (GCC says so one way, clang another) every array
// comes from the heap, where an access past its end is caught.
#if defined(__SANITIZE_ADDRESS__)
#define QUORVEX_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORVEX_ADDRESS_SANITIZER 1
#endif
#endif
#ifdef QUORVEX_ADDRESS_SANITIZER
constexpr size_t kMapArraysFrom = SIZE_MAX;
#else
constexpr size_t kMapArraysFrom = kBigArrayFrom;
#endif

// Maps `bytes` rounded up to whole huge pages, starting on a huge-page
// boundary; the mapped size goes to `mapped`, and null means nothing was
// mapped. From kBigArrayFrom bytes on the block is advised for huge pages,
// its last piece too: a block used to its end then costs up to a huge page
// more memory, but not hundreds of faults of 4 KiB each. A smaller block
// costs address space only beyond what is used.
void* MapAligned(size_t bytes, size_t& mapped) {
  const size_t rounded = (bytes + kHugePage - 1) & ~(kHugePage - 1);
  if (rounded < bytes || rounded > SIZE_MAX - kHugePage) return nullptr;  // no such size
  // Mapped one huge page larger, so that the block can start on a boundary.
  void* p = ::mmap(nullptr, rounded + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  const uintptr_t start = reinterpret_cast<uintptr_t>(p);
  const uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
  // Unmap the unaligned head and the tail beyond the block.
  if (aligned > start) ::munmap(p, aligned - start);
  const size_t tail = (start + rounded + kHugePage) - (aligned + rounded);
  if (tail > 0) ::munmap(reinterpret_cast<void*>(aligned + rounded), tail);
  if (bytes >= kBigArrayFrom) ::madvise(reinterpret_cast<void*>(aligned), rounded, MADV_HUGEPAGE);
  mapped = rounded;
  return reinterpret_cast<void*>(aligned);
}

}  // namespace

void* AllocateArray(size_t bytes, size_t align) {
  if (bytes < kMapArraysFrom) {
    return align <= __STDCPP_DEFAULT_NEW_ALIGNMENT__ ? ::operator new(bytes)
                                                     : ::operator new(bytes, std::align_val_t(align));
  }
  size_t mapped = 0;
  void* p = MapAligned(bytes, mapped);
  if (!p) throw std::bad_alloc();
  return p;
}

void FreeArray(void* p, size_t bytes, size_t align) noexcept {
  if (!p) return;
  if (bytes < kMapArraysFrom) {
    if (align <= __STDCPP_DEFAULT_NEW_ALIGNMENT__) {
      ::operator delete(p);
    } else {
      ::operator delete(p, std::align_val_t(align));
    }
    return;
  }
  ::munmap(p, (bytes + kHugePage - 1) & ~(kHugePage - 1));
}

void* GrowArray(void* p, size_t oldBytes, size_t newBytes, size_t align) {
  if (newBytes <= oldBytes) return p;
  if (oldBytes < kMapArraysFrom) {
    // From the heap: moved to its new memory (a small array, or one that
    // becomes large now).
    void* q = AllocateArray(newBytes, align);
    std::memcpy(q, p, oldBytes);
    FreeArray(p, oldBytes, align);
    return q;
  }
  const size_t oldMapped = (oldBytes + kHugePage - 1) & ~(kHugePage - 1);
  const size_t newMapped = (newBytes + kHugePage - 1) & ~(kHugePage - 1);
  if (newMapped < newBytes) throw std::bad_alloc();  // no such size
  if (newMapped == oldMapped) return p;
  // Where the address space behind it is free, the mapping grows in place.
  if (::mremap(p, oldMapped, newMapped, 0) != MAP_FAILED) {
    ::madvise(static_cast<uint8_t*>(p) + oldMapped, newMapped - oldMapped, MADV_HUGEPAGE);
    return p;
  }
  // Else its pages move to a new place on a huge-page boundary, taken
  // first so that the move keeps the huge pages whole.
  size_t mapped = 0;
  void* to = MapAligned(newBytes, mapped);
  if (!to) throw std::bad_alloc();
  if (::mremap(p, oldMapped, newMapped, MREMAP_MAYMOVE | MREMAP_FIXED, to) == MAP_FAILED) {
    ::munmap(to, mapped);
    throw std::bad_alloc();
  }
  ::madvise(to, newMapped, MADV_HUGEPAGE);
  return to;
}

bool TBigBlock::Allocate(size_t bytes) {
  Free();
  if (bytes == 0) return true;
  size_t mapped = 0;
  void* p = MapAligned(bytes, mapped);
  if (!p) return false;
  data_ = static_cast<uint8_t*>(p);
  size_ = bytes;
  mapped_ = mapped;
  return true;
}

void TBigBlock::Free() {
  if (data_) ::munmap(data_, mapped_);
  data_ = nullptr;
  size_ = mapped_ = 0;
}

}  // namespace quorvex
