// The byte writer every format writes with: numbers little-endian and
// bytes, buffered, into a sink (os/bytes.h) or memory. The drawing's writer,
// the SVG writer and the DXF writer fill it; where its bytes go is their
// callers' business.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "os/bigmemory.h"
#include "os/bytes.h"

namespace quorvex {

// Buffered little-endian output with a sticky error. With a sink the bytes
// go there whenever the room fills; without one they stay in memory
// (Data()). The first failure's errno is kept; after it nothing more is
// taken.
class TArchiveWriter {
 public:
  TArchiveWriter();  // in memory
  explicit TArchiveWriter(TByteSink& sink);
  ~TArchiveWriter();
  TArchiveWriter(const TArchiveWriter&) = delete;
  TArchiveWriter& operator=(const TArchiveWriter&) = delete;

  void U8(uint8_t v) { Put<1>(v); }
  void U16(uint16_t v) { Put<2>(v); }
  void U32(uint32_t v) { Put<4>(v); }
  void I32(int32_t v) { Put<4>(static_cast<uint32_t>(v)); }
  void F64(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    Put<8>(bits);
  }
  void Bytes(const void* p, size_t n) {
    if (n <= static_cast<size_t>(end_ - next_)) {
      if (n > 0) std::memcpy(next_, p, n);
      next_ += n;
    } else {
      BytesSlow(static_cast<const uint8_t*>(p), n);
    }
  }
  void Zeros(size_t n);
  // Room for at least n more bytes (n no larger than a few kilobytes), to be
  // filled in place and then taken with Used; null once the writer has
  // failed. For text written a field at a time without a copy.
  uint8_t* Room(size_t n) {
    if (end_ - next_ < static_cast<ptrdiff_t>(n)) {
      MakeRoom(n);
      if (end_ - next_ < static_cast<ptrdiff_t>(n)) return nullptr;
    }
    return next_;
  }
  // Takes the first n bytes of the room given by Room.
  void Used(size_t n) { next_ += n; }

  // Hands the bytes written to the sink; false on failure.
  [[nodiscard]] bool Flush();
  // Records a failure with its errno (the first one sticks).
  void Fail(int err);
  bool Ok() const { return err_ == 0; }
  int Error() const { return err_; }
  // The bytes written, in memory.
  std::vector<uint8_t> Data() const { return std::vector<uint8_t>(room_, next_); }
  // Bytes written so far, flushed or not.
  uint64_t Position() const { return flushed_ + static_cast<uint64_t>(next_ - room_); }

 private:
  template <size_t N>
  void Put(uint64_t v) {
    if (end_ - next_ < static_cast<ptrdiff_t>(N)) {
      MakeRoom(N);
      if (end_ - next_ < static_cast<ptrdiff_t>(N)) return;  // failed: nothing more is taken
    }
    uint8_t* p = next_;  // a local: a store through it cannot change next_
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(p, &v, N);  // one store
    } else {
      for (size_t i = 0; i < N; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
    next_ = p + N;
  }
  void BytesSlow(const uint8_t* p, size_t n);
  // Makes room for n more bytes: flushes to the sink, or grows the memory.
  // Leaves no room at all once the writer has failed.
  void MakeRoom(size_t n);

  TByteSink* sink_ = nullptr;  // none: in memory
  int err_ = 0;
  uint64_t flushed_ = 0;       // bytes handed to the sink
  std::unique_ptr<TBigBlock> mem_;  // in memory: the bytes and the room after them
  uint8_t* room_ = nullptr;    // the room being filled
  uint8_t* next_ = nullptr;    // the next byte to write in it
  uint8_t* end_ = nullptr;     // the end of the room, or next_ after a failure
};

}  // namespace quorvex
