// TReadAhead: a file read from start to end a block at a time, by a thread
// of its own, a few blocks ahead of the reader: while the reader decodes
// one block the system copies the next ones.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "jww/bigmemory.h"

namespace quorvex {

class TReadAhead {
 public:
  // The bytes of a block; kHeadroom bytes before Data may be written (the
  // reader puts there what it still needs of the block before).
  struct TBlock {
    uint8_t* Data = nullptr;
    uint64_t Offset = 0;  // the file's byte Data[0] is
    size_t Size = 0;
    int Error = 0;  // set (Size 0) where the file cannot be read further
  };
  static constexpr size_t kHeadroom = size_t(256) << 10;
  static constexpr size_t kBlockSize = size_t(1) << 20;

  // A file of `size` bytes open for reading as `fd`.
  TReadAhead(int fd, uint64_t size) : fd_(fd), size_(size) {}
  ~TReadAhead() { Stop(); }
  TReadAhead(const TReadAhead&) = delete;
  TReadAhead& operator=(const TReadAhead&) = delete;

  // Sets aside the blocks; false when there is no memory for them.
  bool Start();
  // The next block of the file, in order, once it is read (an empty block
  // with Error set where the file cannot be read further, and after that).
  TBlock Next();
  // Hands a block's memory back for reading on.
  void Release(uint8_t* data);

 private:
  void Run();
  // Reads the block at `offset` into `data` (the thread's work, or the
  // reader's own when there is no thread).
  TBlock ReadBlock(uint8_t* data, uint64_t offset) const;
  void Stop();

  const int fd_;
  const uint64_t size_;
  TBigBlock memory_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<uint8_t*> free_;  // block memory to read into
  std::deque<TBlock> ready_;    // blocks read, in file order
  uint64_t next_ = 0;           // offset of the next block to read
  int error_ = 0;               // no thread: the error met by the last block read
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace quorvex
