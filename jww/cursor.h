// ByteCursor: bounds-checked little-endian reading over bytes held in memory.
//
// The cursor carries the offset and a sticky error: once a read runs past
// the end, that read and every later one yield zero and the cursor stays
// failed, so a run of fields is read without a check per field and the
// error is checked once where it matters. The first failure is kept with
// its reason: the part being read (set by the reader as it goes), the byte
// where the failing field starts and what was wrong there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "jww/readerror.h"

namespace quorvex {

class ByteCursor {
 public:
  ByteCursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}

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

  // The next n bytes, or nullptr (and the cursor fails, cut short at the
  // field's first byte) when fewer remain.
  const uint8_t* Take(size_t n) {
    if (failed_ || n > size_ - pos_) {
      Fail();
      return nullptr;
    }
    const uint8_t* p = data_ + pos_;
    pos_ += n;
    return p;
  }
  bool Skip(size_t n) { return Take(n) != nullptr; }

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
    for (size_t i = n; i-- > 0;) v = (v << 8) | p[i];
    return v;
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool failed_ = false;
  TReadPart part_ = TReadPart::kFile;
  TReadError error_;
};

}  // namespace quorvex
