// ByteCursor: bounds-checked little-endian reading over the bytes of a file,
// held in memory whole or read a window at a time.
//
// The cursor carries the offset and a sticky error: once a read runs past
// the end, that read and every later one yield zero and the cursor stays
// failed, so a run of fields is read without a check per field and the
// error is checked once where it matters. The first failure is kept with
// its reason: the part being read (set by the reader as it goes), the byte
// where the failing field starts and what was wrong there.
//
// A cursor over a file keeps only a window of it in memory: the blocks a
// byte source reads for it, one after the other, so a drawing of any size is
// read in a few megabytes.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "jww/readerror.h"
#include "os/bytes.h"

namespace quorvex {

class ByteCursor {
 public:
  // All the bytes in memory.
  ByteCursor(const uint8_t* data, size_t size) : window_(data), windowEnd_(size), size_(size) {}
  // A file of `size` bytes, read block by block from `blocks`.
  ByteCursor(TByteSource& blocks, size_t size) : window_(nullptr), size_(size), blocks_(&blocks) {}
  ~ByteCursor();
  ByteCursor(const ByteCursor&) = delete;
  ByteCursor& operator=(const ByteCursor&) = delete;

  // The most bytes one Take asks for (the longest archive string).
  static constexpr size_t kMaxTake = 3 + 2 * 65535;
  static_assert(kMaxTake <= TByteSource::kHeadroom);

  uint8_t U8() { return static_cast<uint8_t>(Load(1)); }
  uint16_t U16() { return static_cast<uint16_t>(Load(2)); }
  uint32_t U32() { return static_cast<uint32_t>(Load(4)); }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  double F64() {
    const uint64_t bits = Load(8);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
  }

  // The next n bytes (n at most kMaxTake), valid until the next read; or
  // nullptr (and the cursor fails, cut short at the field's first byte)
  // when fewer remain.
  const uint8_t* Take(size_t n) {
    if (!failed_ && pos_ <= windowEnd_ && n <= windowEnd_ - pos_) {
      const uint8_t* p = window_ + (pos_ - windowStart_);
      pos_ += n;
      return p;
    }
    return TakeSlow(n);
  }
  // Steps over n bytes (any number).
  bool Skip(size_t n) {
    if (failed_ || n > size_ - pos_) {
      Fail();
      return false;
    }
    pos_ += n;
    return true;
  }
  // Hands the next n bytes (any number) to sink(piece, length) piece by
  // piece, in order. False when fewer than n remain (the cursor fails, cut
  // short, and sink sees nothing) or sink returns false (the cursor stops
  // where that piece ends).
  template <class Sink>
  bool Consume(size_t n, Sink&& sink) {
    if (failed_ || n > size_ - pos_) {
      Fail();
      return false;
    }
    while (n > 0) {
      const size_t piece = n < kMaxTake ? n : kMaxTake;
      const uint8_t* p = Take(piece);
      if (!p || !sink(p, piece)) return false;
      n -= piece;
    }
    return true;
  }

  // A cursor over the bytes from the position on that are in memory now,
  // for looking ahead without reading the file: all the rest of the file
  // when AtEnd is set, else as much of it as the window holds.
  ByteCursor InMemory(bool& atEnd) const {
    atEnd = windowEnd_ == size_;
    if (failed_ || pos_ > windowEnd_) return ByteCursor(nullptr, 0);
    return ByteCursor(window_ + (pos_ - windowStart_), windowEnd_ - pos_);
  }

  bool Ok() const { return !failed_; }
  // Fails the cursor: a field that starts here runs past the end.
  void Fail() { FailAt(pos_, TReadProblem::kCutShort); }
  // Fails the cursor with this problem, found in the field that starts at
  // byte `at`. Only the first failure is kept; the position moves to the
  // end, so every later read fails too.
  void FailAt(size_t at, TReadProblem problem, int64_t value = 0, std::string name = {}, int errorNumber = 0) {
    if (!failed_) {
      failed_ = true;
      error_.Problem = problem;
      error_.Part = part_;
      error_.Offset = at;
      error_.Value = value;
      error_.Name = std::move(name);
      error_.ErrorNumber = errorNumber;
    }
    pos_ = size_;
  }
  // The part of the file that the following reads belong to.
  void SetPart(TReadPart part) { part_ = part; }
  TReadPart Part() const { return part_; }
  // The first failure (Problem kNone while the cursor is ok).
  const TReadError& Error() const { return error_; }

  size_t Offset() const { return pos_; }
  size_t Remaining() const { return size_ - pos_; }

 private:
  uint64_t Load(size_t n) {
    const uint8_t* p = Take(n);
    if (!p) return 0;
    uint64_t v = 0;
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(&v, p, n);  // one load
    } else {
      for (size_t i = n; i-- > 0;) v = (v << 8) | p[i];
    }
    return v;
  }

  // Take when the window does not hold the n bytes: moves on to the blocks
  // that do, or fails.
  const uint8_t* TakeSlow(size_t n);

  // The bytes in memory: window_[0] is the file's byte windowStart_, and
  // the window ends before the file's byte windowEnd_, the end of what has
  // been read. The position is never before the window (a skip may take it
  // beyond).
  const uint8_t* window_;
  size_t windowStart_ = 0;
  size_t windowEnd_ = 0;
  size_t size_;
  size_t pos_ = 0;
  bool failed_ = false;
  TReadPart part_ = TReadPart::kFile;
  TReadError error_;
  // For a file: where its blocks come from, and the block being read.
  TByteSource* blocks_ = nullptr;
  uint8_t* block_ = nullptr;
};

}  // namespace quorvex
