#include "jww/cursor.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace quorvex {

const uint8_t* ByteCursor::TakeSlow(size_t n) {
  if (failed_ || n > size_ - pos_) {
    Fail();
    return nullptr;
  }
  if (fd_ < 0 || n > bufferSize_) {
    // All bytes are in memory (and these are not there), or a take longer
    // than any field.
    Fail();
    return nullptr;
  }
  // Fill the buffer from the position on: as much as it holds, at least n.
  const size_t want = std::min(bufferSize_, size_ - pos_);
  size_t got = 0;
  while (got < want) {
    const ssize_t r = ::pread(fd_, buffer_ + got, want - got, static_cast<off_t>(pos_ + got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      // A read error, or the file shrank while being read.
      const int err = r < 0 ? errno : EIO;
      part_ = TReadPart::kFile;
      FailAt(pos_ + got, TReadProblem::kCannotOpen, 0, {}, err);
      return nullptr;
    }
    got += static_cast<size_t>(r);
  }
  window_ = buffer_;
  windowStart_ = pos_;
  windowEnd_ = pos_ + got;
  const uint8_t* p = window_;
  pos_ += n;
  return p;
}

}  // namespace quorvex
