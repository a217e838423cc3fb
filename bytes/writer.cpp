#include "bytes/writer.h"

#include <algorithm>
#include <cerrno>

namespace quorvex {
namespace {

// The first room of a writer in memory.
constexpr size_t kMemoryStart = size_t(1) << 12;

}  // namespace

TArchiveWriter::TArchiveWriter() : mem_(std::make_unique<TBigBlock>()) {
  if (!mem_->Allocate(kMemoryStart)) {
    Fail(ENOMEM);
    return;
  }
  room_ = next_ = mem_->Data();
  end_ = room_ + mem_->Size();
}

TArchiveWriter::TArchiveWriter(TByteSink& sink) : sink_(&sink) {
  (void)Flush();  // takes the first room; a failure stays in Error()
}

TArchiveWriter::~TArchiveWriter() = default;

void TArchiveWriter::MakeRoom(size_t n) {
  if (err_ != 0) return;
  if (sink_) {
    (void)Flush();  // a failure stays in Error()
    if (err_ == 0 && static_cast<size_t>(end_ - next_) < n) Fail(EINVAL);  // a room smaller than one field
    return;
  }
  // In memory: the room grows, into a block of its own (huge pages, and no
  // byte of it touched before it is written).
  const size_t used = static_cast<size_t>(next_ - room_);
  auto bigger = std::make_unique<TBigBlock>();
  if (used + n < used || !bigger->Allocate(std::max(mem_->Size() * 2, used + n))) {
    Fail(ENOMEM);
    return;
  }
  std::memcpy(bigger->Data(), room_, used);
  mem_ = std::move(bigger);
  room_ = mem_->Data();
  next_ = room_ + used;
  end_ = room_ + mem_->Size();
}

void TArchiveWriter::BytesSlow(const uint8_t* p, size_t n) {
  while (n > 0 && err_ == 0) {
    if (next_ == end_) MakeRoom(1);
    const size_t piece = std::min(n, static_cast<size_t>(end_ - next_));
    if (piece > 0) std::memcpy(next_, p, piece);
    next_ += piece;
    p += piece;
    n -= piece;
  }
}

void TArchiveWriter::Zeros(size_t n) {
  static constexpr uint8_t kZeros[256] = {};
  while (n > 0 && err_ == 0) {
    const size_t piece = std::min(n, sizeof kZeros);
    Bytes(kZeros, piece);
    n -= piece;
  }
}

bool TArchiveWriter::Flush() {
  if (err_ != 0) return false;
  if (!sink_) return true;
  const size_t used = static_cast<size_t>(next_ - room_);
  uint8_t* room = nullptr;
  size_t size = 0;
  if (const int err = sink_->Exchange(used, room, size); err != 0 || !room) {
    Fail(err != 0 ? err : EIO);
    return false;
  }
  flushed_ += used;
  room_ = next_ = room;
  end_ = room + size;
  return true;
}

void TArchiveWriter::Fail(int err) {
  if (err_ == 0) err_ = err != 0 ? err : EIO;
  end_ = next_;  // no room: every later write is dropped
}

}  // namespace quorvex
