#include "os/readahead.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "os/fileops.h"
#include "os/quietthread.h"

namespace quorvex {
namespace {

constexpr size_t kBlocks = 4;
constexpr size_t kSlot = TReadAhead::kHeadroom + TReadAhead::kBlockSize;

}  // namespace

int TReadAhead::Open(const std::string& path) {
  if (const int err = OpenRegularFile(path, true, fd_, size_)) return err;
  ::posix_fadvise(fd_.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  return 0;
}

bool TReadAhead::Start() {
  // A file that fits in one block is read by the reader itself.
  const size_t blocks = size_ <= kBlockSize ? 1 : kBlocks;
  if (!memory_.Allocate(blocks * kSlot)) return false;
  for (size_t i = blocks; i-- > 0;) free_.push_back(memory_.Data() + i * kSlot + kHeadroom);
  if (blocks == 1) return true;
  // Without a thread to be had, the reader reads each block when it needs it.
  StartQuietThread(thread_, [this] { Run(); });
  return true;
}

TReadAhead::TBlock TReadAhead::ReadBlock(uint8_t* data, uint64_t offset) const {
  TBlock b;
  b.Data = data;
  b.Offset = offset;
  const size_t want = static_cast<size_t>(std::min<uint64_t>(kBlockSize, size_ - offset));
  while (b.Size < want) {
    // Made again when interrupted.
    const long r = FileOps().PRead(fd_.Get(), data + b.Size, want - b.Size, offset + b.Size);
    if (r <= 0) {
      // A read error, or the file shrank while being read: what came in is
      // a block, the error comes as the next one.
      b.Error = r < 0 ? errno : EIO;
      break;
    }
    b.Size += static_cast<size_t>(r);
  }
  return b;
}

TReadAhead::TBlock TReadAhead::Next() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!thread_.joinable()) {
    // No thread: read the block now, into memory handed back before.
    if (error_ != 0 || next_ >= size_ || free_.empty()) {
      TBlock end;
      end.Offset = next_;
      end.Error = error_ != 0 ? error_ : EINVAL;
      return end;
    }
    uint8_t* data = free_.back();
    free_.pop_back();
    TBlock b = ReadBlock(data, next_);
    next_ += b.Size;
    error_ = b.Error;
    if (b.Size == 0) free_.push_back(data);
    if (b.Size > 0) b.Error = 0;  // the data first; the error with the next block
    return b;
  }
  wake_.wait(lock, [this] { return !ready_.empty(); });
  TBlock b = ready_.front();
  if (b.Size > 0 || ready_.size() > 1) ready_.pop_front();  // an error block stays for every later call
  return b;
}

void TReadAhead::Release(uint8_t* data) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(data);
  }
  wake_.notify_all();
}

void TReadAhead::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_ && next_ < size_) {
    wake_.wait(lock, [this] { return stop_ || !free_.empty(); });
    if (stop_) return;
    uint8_t* data = free_.back();
    free_.pop_back();
    const uint64_t offset = next_;
    lock.unlock();
    TBlock b = ReadBlock(data, offset);
    lock.lock();
    next_ += b.Size;
    const int error = b.Error;
    b.Error = 0;
    if (b.Size > 0) {
      ready_.push_back(b);
    } else {
      free_.push_back(data);
    }
    if (error != 0) {
      TBlock end;
      end.Offset = next_;
      end.Error = error;
      ready_.push_back(end);
      wake_.notify_all();
      return;
    }
    wake_.notify_all();
  }
  // The whole file is read: later calls find an end block.
  TBlock end;
  end.Offset = next_;
  end.Error = EINVAL;
  ready_.push_back(end);
  wake_.notify_all();
}

void TReadAhead::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

}  // namespace quorvex
