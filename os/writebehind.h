// TWriteBehind: a file written in order, a block at a time, by a thread of
// its own, and synced by another while the writing goes on.
//
// The caller fills a block in memory and hands it over, and goes on filling
// the next while the system copies the last; it waits only when it is a few
// blocks ahead. An output of one block is written by the caller itself,
// without a thread. Once a stretch of kSyncStep bytes more is in the file,
// the syncing thread syncs it, so that the disk works while the program
// does and the sync before the file takes its name finds little left to
// do. Neither thread takes a signal.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "os/bigmemory.h"

namespace quorvex {

class TSyncAhead;

class TWriteBehind {
 public:
  // How much more must be in the file before the next sync.
  static constexpr uint64_t kSyncStep = uint64_t(16) << 20;

  // Writes to `fd`, which must stay open until Finish has returned.
  explicit TWriteBehind(int fd);
  // Finishes, errors unheard.
  ~TWriteBehind();
  TWriteBehind(const TWriteBehind&) = delete;
  TWriteBehind& operator=(const TWriteBehind&) = delete;

  // Hands over the first `used` bytes of the block given last (if any) and
  // gives the next block to fill. 0, or the first error so far.
  [[nodiscard]] int Exchange(size_t used, uint8_t*& room, size_t& size);

  // Writes out every block handed over and stops the writing thread, then
  // the syncing one (which only the writing feeds, so nothing can start it
  // again). The first error of either, or 0. Safe to call again.
  [[nodiscard]] int Finish();

 private:
  static constexpr size_t kBlockSize = size_t(1) << 20;
  static constexpr size_t kBlocks = 4;

  struct TBlock {
    uint8_t* Data;
    size_t Size;
  };

  // Takes a free block to fill, waiting for one when all are queued.
  int NextBlock();
  // Queues the block being filled, with `used` bytes, for writing; from the
  // second block on the thread writes them.
  void Submit(size_t used);
  // The caller's own way when there is no thread.
  void WriteQueued();
  void Run();
  // Writes the first queued block, with the lock let go meanwhile, and
  // gives the block back to be filled again. After a failure the rest is
  // dropped: the file is no good any more.
  void WriteFirst(std::unique_lock<std::mutex>& lock);
  // The file now holds this many bytes: feeds the syncing thread, started
  // with the first full step.
  void Written(uint64_t bytes);

  const int fd_;
  TBigBlock blocks_;
  uint8_t* current_ = nullptr;  // the block the caller fills
  size_t submitted_ = 0;        // blocks handed over so far
  uint64_t total_ = 0;          // bytes in the file (by whoever writes)
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<TBlock> queue_;    // blocks handed over, in order
  std::vector<uint8_t*> free_;  // blocks to fill
  int error_ = 0;
  bool stop_ = false;
  // Made and fed by whoever writes the blocks; stopped by Finish once the
  // writing has stopped.
  std::unique_ptr<TSyncAhead> syncAhead_;
  std::thread thread_;
};

}  // namespace quorvex
