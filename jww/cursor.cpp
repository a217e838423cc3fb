#include "jww/cursor.h"

#include <cerrno>
#include <cstring>

namespace quorvex {

ByteCursor::~ByteCursor() {
  if (block_) blocks_->Release(block_);
}

const uint8_t* ByteCursor::TakeSlow(size_t n) {
  if (failed_ || n > size_ - pos_ || !blocks_ || n > kMaxTake) {
    // Past the end, all bytes in memory already, or longer than any field.
    Fail();
    return nullptr;
  }
  while (pos_ > windowEnd_ || n > windowEnd_ - pos_) {
    const TByteSource::TBlock b = blocks_->Next();
    if (b.Size == 0) {
      // A read error, or the file shrank while being read.
      part_ = TReadPart::kFile;
      if (b.Error == ENOMEM) {
        FailAt(b.Offset, TReadProblem::kOutOfMemory);  // the system's memory, not the file
      } else {
        FailAt(b.Offset, TReadProblem::kCannotOpen, 0, {}, b.Error != 0 ? b.Error : EIO);
      }
      return nullptr;
    }
    // What the field needs of the block before goes in front of this one.
    const size_t keep = pos_ < windowEnd_ ? windowEnd_ - pos_ : 0;
    if (keep > 0) std::memcpy(b.Data - keep, window_ + (pos_ - windowStart_), keep);
    if (block_) blocks_->Release(block_);
    block_ = b.Data;
    window_ = b.Data - keep;
    windowStart_ = static_cast<size_t>(b.Offset) - keep;
    windowEnd_ = static_cast<size_t>(b.Offset) + b.Size;
  }
  const uint8_t* p = window_ + (pos_ - windowStart_);
  pos_ += n;
  return p;
}

}  // namespace quorvex
