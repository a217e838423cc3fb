#include "os/interrupts.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>

#include "os/fdio.h"
#include "os/fileops.h"

namespace quorvex {
namespace {

// The handler only reads the table and calls what is safe in a signal
// handler: fstatat, unlinkat, renameat2, lseek, getdents64, clock_gettime,
// pause and _exit. Each entry's state is changed by compare-and-swap, so that an
// owner never reuses or closes what the handler is removing. A handler
// running on another thread waits for an entry being filled, and an owner
// that takes an entry once the handler has begun makes nothing (the handler
// may have passed that entry), so that nothing made meanwhile is missed.

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT};

// The interrupting signals as a set.
sigset_t InterruptSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kInterrupts) sigaddset(&set, sig);
  return set;
}

static_assert(sizeof(sigset_t) <= sizeof(unsigned char[128]) && alignof(sigset_t) <= 8);

enum : int { kFree, kFilling, kArmed, kCleaning };
enum class TKind : int { Folder, File };

struct TCleanupEntry {
  std::atomic<int> State{kFree};
  TKind Kind = TKind::File;
  int ParentFd = -1;  // the folder that holds it
  int OwnFd = -1;     // a folder: the folder itself, open for reading
  uint64_t Dev = 0;   // a file: the inode its name must still lead to
  uint64_t Ino = 0;
  char Name[NAME_MAX + 1] = {};
  char Aside[kCleanupAsideMax + 1] = {};
};
static_assert(std::atomic<int>::is_always_lock_free);

// The table grows a chunk at a time, as owners need entries; a chunk, once
// published, stays for the life of the process, so that the handler may
// read it at any moment. 256 chunks of 64 entries are far more than the
// descriptors a process may hold open (each entry's owner holds one or two).
constexpr int kChunkEntries = 64;
constexpr int kChunks = 256;
std::atomic<TCleanupEntry*> gChunks[kChunks];
static_assert(std::atomic<TCleanupEntry*>::is_always_lock_free);
std::mutex gGrowing;  // one owner at a time adds a chunk

TCleanupEntry& Entry(int slot) {
  return gChunks[slot / kChunkEntries].load(std::memory_order_acquire)[slot % kChunkEntries];
}

// Set by the first handler to run: a signal that arrives on another thread
// meanwhile waits for the end of the process instead of ending it halfway
// through the removing.
std::atomic<bool> gHandling{false};

// Set by the handler before it removes anything (see TPlacing::Ending).
std::atomic<bool> gEnding{false};
// Outputs taking their names now.
std::atomic<int> gPlacing{0};

void Arm(int& slot, TKind kind, int parentFd, int ownFd, const std::string& name, uint64_t dev, uint64_t ino,
         const std::string& aside) {
  if (slot < 0) return;
  if (name.size() > NAME_MAX || aside.size() > kCleanupAsideMax) return ReleaseCleanup(slot);
  TCleanupEntry& e = Entry(slot);
  e.Kind = kind;
  e.ParentFd = parentFd;
  e.OwnFd = ownFd;
  e.Dev = dev;
  e.Ino = ino;
  std::memcpy(e.Name, name.c_str(), name.size() + 1);
  std::memcpy(e.Aside, aside.c_str(), aside.size() + 1);
  e.State.store(kArmed);
}

// Waits, a second at most, while another thread is busy.
template <class TBusy>
void WaitWhile(TBusy busy) {
  struct timespec start{}, now{};
  ::clock_gettime(CLOCK_MONOTONIC, &start);
  while (busy()) {
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    if (now.tv_sec - start.tv_sec > 1) return;
  }
}

// Removes a scratch folder while other threads may still be adding files
// to it by its path: moved aside it takes no new ones, and a file whose
// making had begun before the move is caught by emptying it again.
void RemoveFolderNow(const TCleanupEntry& e) {
  const char* name = e.Name;
  if (e.Aside[0] && FileOps().RenameAt(e.ParentFd, e.Name, e.ParentFd, e.Aside, RENAME_NOREPLACE) == 0)
    name = e.Aside;
  for (int tries = 0; tries < 8; ++tries) {
    EmptyFolder(e.OwnFd);
    if (FileOps().UnlinkAt(e.ParentFd, name, AT_REMOVEDIR) == 0 || errno != ENOTEMPTY) return;
  }
}

extern "C" void OnInterrupt(int sig) {
  // The interrupting signals are held on this thread while it runs, but
  // another thread may take one of them: that one waits here until the
  // first has removed everything and ended the process.
  bool first = false;
  if (!gHandling.compare_exchange_strong(first, true)) {
    for (;;) ::pause();
  }
  gEnding.store(true);
  WaitWhile([] { return gPlacing.load() > 0; });
  for (int c = 0; c < kChunks; ++c) {
    TCleanupEntry* chunk = gChunks[c].load(std::memory_order_acquire);
    if (!chunk) break;
    for (int i = 0; i < kChunkEntries; ++i) {
      TCleanupEntry& e = chunk[i];
      WaitWhile([&e] { return e.State.load() == kFilling; });
      int expected = kArmed;
      if (!e.State.compare_exchange_strong(expected, kCleaning)) continue;
      if (e.Kind == TKind::Folder) RemoveFolderNow(e);
      else RemoveIfSame(e.ParentFd, e.Name, e.Dev, e.Ino);
    }
  }
  ::_exit(128 + sig);
}

}  // namespace

void InstallInterruptCleanup() {
  struct sigaction sa{};
  sa.sa_handler = OnInterrupt;
  sa.sa_mask = InterruptSet();
  for (int sig : kInterrupts) {
    struct sigaction old{};
    if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(sig, &sa, nullptr);
  }
}

TInterruptsHeld::TInterruptsHeld() {
  const sigset_t set = InterruptSet();
  pthread_sigmask(SIG_BLOCK, &set, reinterpret_cast<sigset_t*>(old_));
}

TInterruptsHeld::~TInterruptsHeld() { pthread_sigmask(SIG_SETMASK, reinterpret_cast<sigset_t*>(old_), nullptr); }

int ReserveCleanup() {
  for (int c = 0; c < kChunks; ++c) {
    TCleanupEntry* chunk = gChunks[c].load(std::memory_order_acquire);
    if (!chunk) {
      std::lock_guard<std::mutex> lock(gGrowing);
      chunk = gChunks[c].load(std::memory_order_acquire);
      if (!chunk) {
        // Never freed: the handler may read it whenever a signal comes.
        chunk = new (std::nothrow) TCleanupEntry[kChunkEntries];
        if (!chunk) return -1;
        gChunks[c].store(chunk, std::memory_order_release);
      }
    }
    for (int i = 0; i < kChunkEntries; ++i) {
      int expected = kFree;
      if (!chunk[i].State.compare_exchange_strong(expected, kFilling)) continue;
      if (gEnding.load()) {
        // The handler, on another thread, has begun and may have passed
        // this entry already: what it listed would be missed. Nothing more
        // is made; the handler ends the process.
        chunk[i].State.store(kFree);
        for (;;) ::pause();
      }
      return c * kChunkEntries + i;
    }
  }
  return -1;
}

void ReleaseCleanup(int& slot) {
  if (slot >= 0) Entry(slot).State.store(kFree);
  slot = -1;
}

void ArmFolderCleanup(int& slot, int parentFd, int ownFd, const std::string& name, const std::string& aside) {
  Arm(slot, TKind::Folder, parentFd, ownFd, name, 0, 0, aside);
}

void ArmFileCleanup(int& slot, int parentFd, const std::string& name, uint64_t dev, uint64_t ino) {
  Arm(slot, TKind::File, parentFd, -1, name, dev, ino, {});
}

void UnlistCleanup(int& slot) {
  if (slot < 0) return;
  int expected = kArmed;
  if (!Entry(slot).State.compare_exchange_strong(expected, kFree)) {
    // The handler, on another thread, is removing it and then ends the
    // process: its descriptors must stay open until then.
    for (;;) ::pause();
  }
  slot = -1;
}

TPlacing::TPlacing() { gPlacing.fetch_add(1); }
TPlacing::~TPlacing() { gPlacing.fetch_sub(1); }
bool TPlacing::Ending() { return gEnding.load(); }

}  // namespace quorvex
