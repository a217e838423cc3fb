// TReadAhead: a file read from start to end a block at a time, by a thread
// of its own, a few blocks ahead of the reader: while the reader decodes
// one block the system copies the next ones.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "os/bigmemory.h"
#include "os/bytes.h"
#include "os/fdio.h"

namespace quorvex {

class TReadAhead : public TByteSource {
 public:
  static constexpr size_t kBlockSize = size_t(1) << 20;

  TReadAhead() = default;
  ~TReadAhead() override { Stop(); }
  TReadAhead(const TReadAhead&) = delete;
  TReadAhead& operator=(const TReadAhead&) = delete;

  // Opens a regular file (a link is followed) for reading from its start.
  // 0, or the system error number (EISDIR for a folder, EINVAL for anything
  // else that is not a regular file).
  [[nodiscard]] int Open(const std::string& path);
  // The file's size when it was opened.
  uint64_t Size() const { return size_; }
  // Sets aside the blocks; false when there is no memory for them.
  [[nodiscard]] bool Start();
  TBlock Next() override;
  void Release(uint8_t* data) override;

 private:
  void Run();
  // Reads the block at `offset` into `data` (the thread's work, or the
  // reader's own when there is no thread).
  TBlock ReadBlock(uint8_t* data, uint64_t offset) const;
  void Stop();

  TFd fd_;  // closed after the thread has stopped
  uint64_t size_ = 0;
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
