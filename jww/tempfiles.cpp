#include "jww/tempfiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include "jww/bigmemory.h"
#include "jww/quietthread.h"

namespace quorvex {
namespace {

constexpr char kScratchPrefix[] = "quorvex-";  // then six letters or digits
constexpr char kOutputPrefix[] = ".quorvex-";  // likewise
constexpr size_t kRandomLength = 6;
constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr int kNameTries = 100;
constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<bool> gUnnamedAllowed{true};

bool IsDots(const char* name) { return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)); }

bool SameInode(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// ---- What an interrupt removes ----
//
// A fixed table filled before a signal can need it. The handler only reads
// it and calls what is safe in a signal handler: fstatat, unlinkat,
// renameat2, lseek, getdents64, clock_gettime and _exit. Each entry's state
// is changed by compare-and-swap, so that an owner never reuses or closes
// what the handler is removing.
//
// An owner takes its entry (kFilling) before it makes its file or folder,
// and lists it (kArmed) once it holds it, with the interrupting signals held
// in its own thread all the while. A handler running on another thread waits
// for an entry being filled, so that nothing made meanwhile is missed.

enum : int { kFree, kFilling, kArmed, kCleaning };
enum class TKind : int { Folder, File };

constexpr size_t kRandomNameMax = sizeof kOutputPrefix - 1 + kRandomLength;

struct TCleanupEntry {
  std::atomic<int> State{kFree};
  TKind Kind = TKind::File;
  int ParentFd = -1;  // the folder that holds it
  int OwnFd = -1;     // a folder: the folder itself, open for reading
  dev_t Dev = 0;      // a file: the inode its name must still lead to
  ino_t Ino = 0;
  char Name[NAME_MAX + 1] = {};
  // A folder: a free name of the same form, which it is moved to before it
  // is emptied, so that no other thread can add a file to it by its path.
  char Aside[kRandomNameMax + 1] = {};
};
static_assert(std::atomic<int>::is_always_lock_free);

constexpr int kCleanupEntries = 64;
TCleanupEntry gCleanup[kCleanupEntries];

// Takes a free entry for a file or folder about to be made; -1 when the
// table is full (what is not listed is swept by the next run).
int Reserve() {
  for (int i = 0; i < kCleanupEntries; ++i) {
    int expected = kFree;
    if (gCleanup[i].State.compare_exchange_strong(expected, kFilling)) return i;
  }
  return -1;
}

// Gives back an entry taken by Reserve whose file or folder was not made.
void Release(int& slot) {
  if (slot >= 0) gCleanup[slot].State.store(kFree);
  slot = -1;
}

// Lists what was made in the entry taken for it.
void Arm(int& slot, TKind kind, int parentFd, int ownFd, const std::string& name, dev_t dev, ino_t ino,
         const std::string& aside = {}) {
  if (slot < 0) return;
  if (name.size() > NAME_MAX || aside.size() > kRandomNameMax) return Release(slot);
  TCleanupEntry& e = gCleanup[slot];
  e.Kind = kind;
  e.ParentFd = parentFd;
  e.OwnFd = ownFd;
  e.Dev = dev;
  e.Ino = ino;
  std::memcpy(e.Name, name.c_str(), name.size() + 1);
  std::memcpy(e.Aside, aside.c_str(), aside.size() + 1);
  e.State.store(kArmed);
}

void Unregister(int& slot) {
  if (slot < 0) return;
  int expected = kArmed;
  if (!gCleanup[slot].State.compare_exchange_strong(expected, kFree)) {
    // The handler, on another thread, is removing it and then ends the
    // process: its descriptors must stay open until then.
    for (;;) ::pause();
  }
  slot = -1;
}

// Removes a name only while it still leads to this inode.
void RemoveIfSame(int parentFd, const char* name, dev_t dev, ino_t ino) {
  struct stat st;
  if (::fstatat(parentFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_dev == dev && st.st_ino == ino)
    ::unlinkat(parentFd, name, 0);
}

// Unlinks every entry of an open folder; safe in a signal handler. The
// folder is read again from its start while a pass still removes something
// (removing while reading may skip entries).
void EmptyFolder(int fd) {
  alignas(8) char buf[4096];
  for (int pass = 0; pass < 16; ++pass) {
    if (::lseek(fd, 0, SEEK_SET) < 0) return;
    int seen = 0, removed = 0;
    for (;;) {
      const ssize_t n = ::getdents64(fd, buf, sizeof buf);
      if (n <= 0) break;
      for (ssize_t at = 0; at < n;) {
        const auto* d = reinterpret_cast<const struct dirent64*>(buf + at);
        at += d->d_reclen;
        if (IsDots(d->d_name)) continue;
        ++seen;
        if (::unlinkat(fd, d->d_name, 0) == 0) ++removed;
      }
    }
    if (seen == 0 || removed == 0) return;
  }
}

// Set by the handler before it removes anything: from then on no output
// takes its name, since the images it carries may have been read from a
// scratch folder already being emptied.
std::atomic<bool> gEnding{false};
// Outputs taking their names now (see TOutputFile::Commit).
std::atomic<int> gPlacing{0};

// Counts an output taking its name while it lives.
struct TPlacing {
  TPlacing() { gPlacing.fetch_add(1); }
  ~TPlacing() { gPlacing.fetch_sub(1); }
  TPlacing(const TPlacing&) = delete;
  TPlacing& operator=(const TPlacing&) = delete;
};

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
  if (e.Aside[0] && ::renameat2(e.ParentFd, e.Name, e.ParentFd, e.Aside, RENAME_NOREPLACE) == 0) name = e.Aside;
  for (int tries = 0; tries < 8; ++tries) {
    EmptyFolder(e.OwnFd);
    if (::unlinkat(e.ParentFd, name, AT_REMOVEDIR) == 0 || errno != ENOTEMPTY) return;
  }
}

extern "C" void OnInterrupt(int sig) {
  gEnding.store(true);
  WaitWhile([] { return gPlacing.load() > 0; });
  for (TCleanupEntry& e : gCleanup) {
    WaitWhile([&e] { return e.State.load() == kFilling; });
    int expected = kArmed;
    if (!e.State.compare_exchange_strong(expected, kCleaning)) continue;
    if (e.Kind == TKind::Folder) RemoveFolderNow(e);
    else RemoveIfSame(e.ParentFd, e.Name, e.Dev, e.Ino);
  }
  ::_exit(128 + sig);
}

std::string RandomName(const char* prefix) {
  unsigned char r[kRandomLength];
  if (::getrandom(r, sizeof r, 0) != static_cast<ssize_t>(sizeof r)) {
    static std::atomic<unsigned> counter{0};
    struct timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    unsigned long long x = static_cast<unsigned long long>(ts.tv_nsec) ^ (static_cast<unsigned long long>(::getpid()) << 20) ^
                           (static_cast<unsigned long long>(counter++) << 40);
    for (unsigned char& b : r) b = static_cast<unsigned char>(x), x = x * 6364136223846793005ULL + 1442695040888963407ULL;
  }
  std::string name = prefix;
  for (unsigned char b : r) name += kLetters[b % (sizeof kLetters - 1)];
  return name;
}

bool IsRandomName(const char* name, const char* prefix) {
  const size_t p = std::strlen(prefix);
  if (std::strncmp(name, prefix, p) != 0 || std::strlen(name) != p + kRandomLength) return false;
  for (size_t i = p; i < p + kRandomLength; ++i)
    if (!std::strchr(kLetters, name[i])) return false;
  return true;
}

// Takes the lock of a folder or file that this process has just made as
// parent/name, and checks that the name still leads to it: a sweeper that
// came between the making and the locking holds the lock, or has removed
// it. False then; the caller makes another. On a file system without locks
// it stays unlocked: a sweeper cannot lock it there either, so never
// removes it.
bool LockNew(int parentFd, const std::string& name, int fd) {
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) return false;
  struct stat own, named;
  return ::fstat(fd, &own) == 0 && own.st_nlink > 0 &&
         ::fstatat(parentFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && SameInode(own, named);
}

// Removes from a folder the scratch folders or hidden outputs of this
// program that belong to this user and whose lock nobody holds: their
// owners have ended.
void SweepLeftovers(int folderFd, TKind kind) {
  const int listFd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listFd < 0) return;
  DIR* dir = ::fdopendir(listFd);
  if (!dir) {
    ::close(listFd);
    return;
  }
  const char* prefix = kind == TKind::Folder ? kScratchPrefix : kOutputPrefix;
  std::vector<std::string> names;
  while (const struct dirent* d = ::readdir(dir))
    if (IsRandomName(d->d_name, prefix)) names.emplace_back(d->d_name);
  ::closedir(dir);

  const uid_t me = ::geteuid();
  for (const std::string& name : names) {
    struct stat st;
    if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_uid != me) continue;
    if (kind == TKind::Folder ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode)) continue;
    const int flags = (kind == TKind::Folder ? O_DIRECTORY : O_NONBLOCK | O_NOCTTY) | O_RDONLY | O_NOFOLLOW | O_CLOEXEC;
    const int fd = ::openat(folderFd, name.c_str(), flags);
    if (fd < 0) continue;
    struct stat locked;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &locked) == 0 && SameInode(st, locked)) {
      if (kind == TKind::Folder) {
        EmptyFolder(fd);
        ::unlinkat(folderFd, name.c_str(), AT_REMOVEDIR);
      } else {
        RemoveIfSame(folderFd, name.c_str(), locked.st_dev, locked.st_ino);
      }
    }
    ::close(fd);
  }
}

// An output folder is swept once per process: a batch writing many
// drawings into one folder reads it once.
void SweepOutputFolderOnce(int folderFd) {
  struct stat st;
  if (::fstat(folderFd, &st) != 0) return;
  static std::mutex mutex;
  static std::set<std::pair<dev_t, ino_t>> swept;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!swept.insert({st.st_dev, st.st_ino}).second) return;
  }
  SweepLeftovers(folderFd, TKind::File);
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

std::string ProcFdPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

}  // namespace

void InstallInterruptCleanup() {
  struct sigaction sa{};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  for (int sig : kInterrupts) sigaddset(&sa.sa_mask, sig);
  for (int sig : kInterrupts) {
    struct sigaction old{};
    if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(sig, &sa, nullptr);
  }
}

TInterruptsHeld::TInterruptsHeld() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kInterrupts) sigaddset(&set, sig);
  pthread_sigmask(SIG_BLOCK, &set, &old_);
}

TInterruptsHeld::~TInterruptsHeld() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }

void SetUnnamedOutputFiles(bool allowed) { gUnnamedAllowed = allowed; }

std::vector<std::string> ScratchBases() {
  std::vector<std::string> bases;
  for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"})
    if (const char* v = std::getenv(name); v && *v) bases.emplace_back(v);
  bases.emplace_back("/tmp");
  return bases;
}

// ---- The scratch folder ----

int TScratchFolder::Create(const std::string& base) {
  Remove();
  std::string folder = base;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (folder.empty()) return ENOENT;
  baseFd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (baseFd_ < 0) return errno;
  SweepLeftovers(baseFd_, TKind::Folder);
  if (folder != "/") folder += '/';
  for (int i = 0; i < kNameTries; ++i) {
    TInterruptsHeld held;
    int slot = Reserve();
    const std::string name = RandomName(kScratchPrefix);
    if (::mkdirat(baseFd_, name.c_str(), 0700) != 0) {
      const int err = errno;
      Release(slot);
      if (err == EEXIST) continue;
      CloseFd(baseFd_);
      return err;
    }
    const int fd = ::openat(baseFd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 || !LockNew(baseFd_, name, fd)) {
      // A sweeper removed it already, or has it and removes it.
      if (fd >= 0) ::close(fd);
      Release(slot);
      continue;
    }
    fd_ = fd;
    name_ = name;
    path_ = folder + name + "/";
    Arm(slot, TKind::Folder, baseFd_, fd_, name_, 0, 0, RandomName(kScratchPrefix));
    slot_ = slot;
    return 0;
  }
  CloseFd(baseFd_);
  return EEXIST;
}

int TScratchFolder::CreateInFirst(const std::vector<std::string>& bases) {
  int err = ENOENT;
  for (const std::string& base : bases)
    if ((err = Create(base)) == 0) break;
  return err;
}

void TScratchFolder::Remove() {
  if (fd_ >= 0) {
    EmptyFolder(fd_);
    ::unlinkat(baseFd_, name_.c_str(), AT_REMOVEDIR);
  }
  Unregister(slot_);
  CloseFd(fd_);  // gives up the lock last
  CloseFd(baseFd_);
  name_.clear();
  path_.clear();
}

// ---- The temporary output ----

// Syncs a file's data in a thread of its own each time another stretch of
// it has been written. The thread takes no signal (they stay with the
// program's own threads) and touches nothing but the descriptor.
class TSyncAhead {
 public:
  // Without a thread to be had nothing is synced ahead: Commit syncs it all.
  explicit TSyncAhead(int fd) : fd_(fd) { StartQuietThread(thread_, [this] { Run(); }); }
  ~TSyncAhead() { Stop(); }
  TSyncAhead(const TSyncAhead&) = delete;
  TSyncAhead& operator=(const TSyncAhead&) = delete;

  void Written(uint64_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    written_ = bytes;
    if (written_ >= requested_ + kStep) wake_.notify_one();
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

  // How much more must be written before the next sync.
  static constexpr uint64_t kStep = uint64_t(16) << 20;

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stop_ || written_ >= requested_ + kStep; });
      if (stop_) return;
      requested_ = written_;
      lock.unlock();
      // An error is kept for Commit: the sync that meets it is the one that
      // reports it, so Commit's own sync could no longer see it.
      const int err = ::fdatasync(fd_) == 0 ? 0 : errno;
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

// Writes a file in order, a block at a time, by a thread of its own: the
// caller fills a block in memory and hands it over, and goes on filling
// the next while the system copies the last; it waits only when it is a
// few blocks ahead. An output of one block is written by the caller itself,
// without a thread. The thread takes no signal.
class TWriteBehind {
 public:
  using TWritten = std::function<void(uint64_t)>;
  TWriteBehind(int fd, TWritten written) : fd_(fd), written_(std::move(written)) {}
  ~TWriteBehind() { Finish(); }
  TWriteBehind(const TWriteBehind&) = delete;
  TWriteBehind& operator=(const TWriteBehind&) = delete;

  // Hands over the first `used` bytes of the block given last (if any) and
  // gives the next block to fill. 0, or the first error so far.
  int Exchange(size_t used, uint8_t*& room, size_t& size) {
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

  // Writes out every block handed over and stops the thread; the first
  // error, or 0.
  int Finish() {
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
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
  }

 private:
  static constexpr size_t kBlockSize = size_t(1) << 20;
  static constexpr size_t kBlocks = 4;

  // Takes a free block to fill, waiting for one when all are queued.
  int NextBlock() {
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

  // Queues the block being filled, with `used` bytes, for writing; from the
  // second block on the thread writes them.
  void Submit(size_t used) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back({current_, used});
    }
    current_ = nullptr;
    // Without a thread to be had, the caller writes the blocks itself.
    if (!thread_.joinable() && ++submitted_ >= 2) StartQuietThread(thread_, [this] { Run(); });
    wake_.notify_all();
  }

  // The caller's own way when there is no thread.
  void WriteQueued() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!queue_.empty()) WriteFirst(lock);
  }

  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
      if (queue_.empty()) return;  // stopped, and everything is written
      WriteFirst(lock);
      wake_.notify_all();
    }
  }

  // Writes the first queued block, with the lock let go meanwhile, and
  // gives the block back to be filled again. After a failure the rest is
  // dropped: the file is no good any more.
  void WriteFirst(std::unique_lock<std::mutex>& lock) {
    const TBlock b = queue_.front();
    queue_.pop_front();
    const bool failed = error_ != 0;
    lock.unlock();
    const int err = failed ? 0 : WriteAll(fd_, b.Data, b.Size);
    if (!failed && err == 0) written_(total_ += b.Size);
    lock.lock();
    if (err != 0 && error_ == 0) error_ = err;
    free_.push_back(b.Data);
  }

  struct TBlock {
    uint8_t* Data;
    size_t Size;
  };

  const int fd_;
  const TWritten written_;
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
  std::thread thread_;
};

TOutputFile::TOutputFile() = default;

int TOutputFile::NextRoom(size_t used, uint8_t*& room, size_t& size) {
  room = nullptr;
  size = 0;
  if (fd_ < 0) return EBADF;
  if (!writeBehind_) writeBehind_ = std::make_unique<TWriteBehind>(fd_, [this](uint64_t bytes) { Written(bytes); });
  return writeBehind_->Exchange(used, room, size);
}

int TOutputFile::FinishAppending() {
  if (!writeBehind_) return 0;
  const int err = writeBehind_->Finish();
  writeBehind_.reset();
  return err;
}

void TOutputFile::Written(uint64_t bytes) {
  if (fd_ < 0 || bytes < TSyncAhead::kStep) return;
  if (!syncAhead_) syncAhead_ = std::make_unique<TSyncAhead>(fd_);
  syncAhead_->Written(bytes);
}

int TOutputFile::StopSyncAhead() {
  if (!syncAhead_) return 0;
  const int err = syncAhead_->Stop();
  syncAhead_.reset();
  return err;
}

TOutputFile::~TOutputFile() {
  FinishAppending();
  StopSyncAhead();
  if (!committed_ && !tempName_.empty()) RemoveIfSame(folderFd_, tempName_.c_str(), dev_, ino_);
  Unregister(slot_);
  CloseFd(fd_);
  CloseFd(folderFd_);
}

int TOutputFile::Open(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  leaf_ = slash == std::string::npos ? path : path.substr(slash + 1);
  if (leaf_.empty()) return EISDIR;

  folderFd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  folderReadable_ = folderFd_ >= 0;
  if (folderFd_ < 0 && errno == EACCES) folderFd_ = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (folderFd_ < 0) return errno;

  replacing_ = ::fstatat(folderFd_, leaf_.c_str(), &target_, 0) == 0;
  if (replacing_ && S_ISDIR(target_.st_mode)) return EISDIR;
  if (folderReadable_) SweepOutputFolderOnce(folderFd_);

  // A file that replaces another is private until it takes that file's mode;
  // a new one gets 0666 less the umask from the system.
  const mode_t mode = replacing_ ? 0600 : 0666;
  if (gUnnamedAllowed) {
    const int fd = ::openat(folderFd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd >= 0) {
      // Linked into place later through /proc; without it, take the named way.
      struct stat own, viaProc;
      if (::fstat(fd, &own) == 0 && ::stat(ProcFdPath(fd).c_str(), &viaProc) == 0 && SameInode(own, viaProc)) {
        ::flock(fd, LOCK_EX);  // held once it has a name, until it is in place
        fd_ = fd;
        dev_ = own.st_dev;
        ino_ = own.st_ino;
        return 0;
      }
      ::close(fd);
    } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
      return errno;  // the named way would fail too (no rights, no space, read-only)
    }
  }
  return OpenNamed(mode);
}

int TOutputFile::OpenNamed(mode_t mode) {
  for (int i = 0; i < kNameTries; ++i) {
    TInterruptsHeld held;
    int slot = Reserve();
    const std::string name = RandomName(kOutputPrefix);
    const int fd = ::openat(folderFd_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
      const int err = errno;
      Release(slot);
      if (err == EEXIST) continue;
      return err;
    }
    struct stat own;
    if (!LockNew(folderFd_, name, fd) || ::fstat(fd, &own) != 0) {
      ::close(fd);  // a sweeper has it: it removes it
      Release(slot);
      continue;
    }
    fd_ = fd;
    tempName_ = name;
    dev_ = own.st_dev;
    ino_ = own.st_ino;
    Arm(slot, TKind::File, folderFd_, -1, tempName_, dev_, ino_);
    slot_ = slot;
    return 0;
  }
  return EEXIST;
}

int TOutputFile::LinkUnnamed(const std::string& name) const {
  return ::linkat(AT_FDCWD, ProcFdPath(fd_).c_str(), folderFd_, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

// Gives the complete file the output's name, unless an interrupt has begun
// to remove what this process made: the handler may have emptied the
// scratch folder before the drawing's images were copied in, and the
// drawing would stand without them. A handler on another thread waits
// until the name is given; one on this thread comes after it.
int TOutputFile::Place() {
  TInterruptsHeld held;
  TPlacing placing;
  if (gEnding.load()) return EINTR;

  bool inPlace = false;
  if (tempName_.empty()) {
    // Unnamed: a new output is linked straight to its name; one that
    // replaces a file (or a name taken meanwhile) is linked to a hidden
    // name first and renamed over it below.
    if (!replacing_) {
      const int err = LinkUnnamed(leaf_);
      if (err == 0) inPlace = true;
      else if (err != EEXIST) return err;
    }
    for (int i = 0; !inPlace && tempName_.empty(); ++i) {
      if (i == kNameTries) return EEXIST;
      int slot = Reserve();
      const std::string name = RandomName(kOutputPrefix);
      const int err = LinkUnnamed(name);
      if (err == 0) {
        tempName_ = name;
        Arm(slot, TKind::File, folderFd_, -1, tempName_, dev_, ino_);
        slot_ = slot;
      } else {
        Release(slot);
        if (err != EEXIST) return err;
      }
    }
  }
  if (!inPlace && ::renameat(folderFd_, tempName_.c_str(), folderFd_, leaf_.c_str()) != 0) return errno;
  committed_ = true;
  tempName_.clear();
  Unregister(slot_);
  return 0;
}

int TOutputFile::Commit() {
  if (committed_) return 0;
  if (fd_ < 0) return EBADF;
  if (const int err = FinishAppending()) return err;
  if (const int err = StopSyncAhead()) return err;
  if (replacing_) {
    struct stat own;
    if (::fstat(fd_, &own) != 0) return errno;
    if ((own.st_uid != target_.st_uid || own.st_gid != target_.st_gid) &&
        ::fchown(fd_, target_.st_uid, target_.st_gid) != 0 && errno != EPERM)
      return errno;
    if (::fchmod(fd_, target_.st_mode & 07777) != 0) return errno;
  }
  if (::fsync(fd_) != 0) return errno;

  if (const int err = Place()) return err;
  // The new name survives a power loss only once the folder is synced. Some
  // file systems cannot sync a folder; the file's own data are synced.
  if (folderReadable_) ::fsync(folderFd_);
  CloseFd(fd_);
  CloseFd(folderFd_);
  return 0;
}

int WriteAll(int fd, const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  size_t done = 0;
  while (done < size) {
    const ssize_t r = ::write(fd, p + done, size - done);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return errno;
    if (r == 0) return EIO;
    done += static_cast<size_t>(r);
  }
  return 0;
}

int WriteFileDurably(const std::string& path, const void* data, size_t size) {
  TOutputFile out;
  if (const int err = out.Open(path)) return err;
  if (const int err = WriteAll(out.Fd(), data, size)) return err;
  return out.Commit();
}

}  // namespace quorvex
