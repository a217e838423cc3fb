#include "os/writebehind.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "os/fdio.h"
#include "os/fileops.h"
#include "os/quietthread.h"

namespace quorvex {

// Syncs a file's data in a thread of its own each time another stretch of
// it has been written. The thread touches nothing but the descriptor.
class TSyncAhead {
 public:
  // Without a thread to be had nothing is synced ahead: the last sync
  // syncs it all.
  explicit TSyncAhead(int fd) : fd_(fd) { StartQuietThread(thread_, [this] { Run(); }); }
  ~TSyncAhead() { Stop(); }
  TSyncAhead(const TSyncAhead&) = delete;
  TSyncAhead& operator=(const TSyncAhead&) = delete;

  void Written(uint64_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    written_ = bytes;
    if (written_ >= requested_ + TWriteBehind::kSyncStep) wake_.notify_one();
  }

  // Waits for the sync under way, if any; the first error met, or 0.
  int Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    return error_;
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stop_ || written_ >= requested_ + TWriteBehind::kSyncStep; });
      if (stop_) return;
      requested_ = written_;
      lock.unlock();
      // An error is kept for the end: the sync that meets it is the one
      // that reports it, so the last sync could no longer see it.
      const int err = FileOps().Fdatasync(fd_) == 0 ? 0 : errno;
      lock.lock();
      if (err != 0 && error_ == 0) error_ = err;
    }
  }

  const int fd_;
  std::mutex mutex_;
  std::condition_variable wake_;
  uint64_t written_ = 0;    // bytes written so far
  uint64_t requested_ = 0;  // bytes written when the last sync began
  bool stop_ = false;
  int error_ = 0;
  std::thread thread_;
};

TWriteBehind::TWriteBehind(int fd) : fd_(fd) {}

TWriteBehind::~TWriteBehind() { (void)Finish(); }

int TWriteBehind::Exchange(size_t used, uint8_t*& room, size_t& size) {
  room = nullptr;
  size = 0;
  if (current_ && used > 0) Submit(std::min(used, kBlockSize));
  if (!current_) {
    if (const int err = NextBlock()) return err;
  }
  room = current_;
  size = kBlockSize;
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

int TWriteBehind::Finish() {
  if (thread_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  } else {
    WriteQueued();
  }
  // Nothing writes any more, so nothing feeds or starts the syncing.
  const int syncError = syncAhead_ ? syncAhead_->Stop() : 0;
  syncAhead_.reset();
  std::lock_guard<std::mutex> lock(mutex_);
  return error_ != 0 ? error_ : syncError;
}

int TWriteBehind::NextBlock() {
  if (!blocks_.Data()) {
    if (!blocks_.Allocate(kBlocks * kBlockSize)) return ENOMEM;
    for (size_t i = 0; i < kBlocks; ++i) free_.push_back(blocks_.Data() + i * kBlockSize);
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (!thread_.joinable() && free_.empty()) {
    // No thread (none could be had): the caller writes what is queued.
    lock.unlock();
    WriteQueued();
    lock.lock();
  }
  wake_.wait(lock, [this] { return !free_.empty() || error_ != 0; });
  if (error_ != 0) return error_;
  current_ = free_.back();
  free_.pop_back();
  return 0;
}

void TWriteBehind::Submit(size_t used) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back({current_, used});
  }
  current_ = nullptr;
  // Without a thread to be had, the caller writes the blocks itself.
  if (!thread_.joinable() && ++submitted_ >= 2) StartQuietThread(thread_, [this] { Run(); });
  wake_.notify_all();
}

void TWriteBehind::WriteQueued() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!queue_.empty()) WriteFirst(lock);
}

void TWriteBehind::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
    if (queue_.empty()) return;  // stopped, and everything is written
    WriteFirst(lock);
    wake_.notify_all();
  }
}

void TWriteBehind::WriteFirst(std::unique_lock<std::mutex>& lock) {
  const TBlock b = queue_.front();
  queue_.pop_front();
  const bool failed = error_ != 0;
  lock.unlock();
  const int err = failed ? 0 : WriteAll(fd_, b.Data, b.Size);
  if (!failed && err == 0) Written(total_ += b.Size);
  lock.lock();
  if (err != 0 && error_ == 0) error_ = err;
  free_.push_back(b.Data);
}

void TWriteBehind::Written(uint64_t bytes) {
  if (bytes < kSyncStep) return;
  if (!syncAhead_) syncAhead_ = std::make_unique<TSyncAhead>(fd_);
  syncAhead_->Written(bytes);
}

}  // namespace quorvex
