#include "os/fileops.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace quorvex {
namespace {

class TSystemFileOps final : public TFileOps {
 public:
  constexpr TSystemFileOps() = default;
  int OpenAt(int dirFd, const char* path, int flags, unsigned mode) override {
    return ::openat(dirFd, path, flags, static_cast<mode_t>(mode));
  }
  int StatAt(int dirFd, const char* path, struct stat* st, int flags) override {
    return ::fstatat(dirFd, path, st, flags);
  }
  long Read(int fd, void* data, size_t size) override { return ::read(fd, data, size); }
  long PRead(int fd, void* data, size_t size, uint64_t offset) override {
    return ::pread(fd, data, size, static_cast<off_t>(offset));
  }
  long Write(int fd, const void* data, size_t size) override { return ::write(fd, data, size); }
  int Ftruncate(int fd, unsigned long long size) override { return ::ftruncate(fd, static_cast<off_t>(size)); }
  int Fsync(int fd) override { return ::fsync(fd); }
  int Fdatasync(int fd) override { return ::fdatasync(fd); }
  int LinkAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath, int flags) override {
    return ::linkat(oldDirFd, oldPath, newDirFd, newPath, flags);
  }
  int RenameAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath, unsigned flags) override {
    return ::renameat2(oldDirFd, oldPath, newDirFd, newPath, flags);
  }
  int UnlinkAt(int dirFd, const char* path, int flags) override { return ::unlinkat(dirFd, path, flags); }
  int MkdirAt(int dirFd, const char* path, unsigned mode) override {
    return ::mkdirat(dirFd, path, static_cast<mode_t>(mode));
  }
  int Fchmod(int fd, unsigned mode) override { return ::fchmod(fd, static_cast<mode_t>(mode)); }
  int Fchown(int fd, unsigned uid, unsigned gid) override {
    return ::fchown(fd, static_cast<uid_t>(uid), static_cast<gid_t>(gid));
  }
  int Flock(int fd, int operation) override { return ::flock(fd, operation); }
  int CloseWritten(int fd) override { return ::close(fd); }
};

// Both set before main runs (constant initialization), so a signal handler
// finds them whenever it runs.
constinit TSystemFileOps gSystem;
constinit std::atomic<TFileOps*> gInUse{&gSystem};

// A call interrupted by a signal before it did anything is made again; only
// one interrupted this many times over (signals that never stop coming)
// fails with EINTR.
constexpr int kInterruptedTries = 1000;

TFileOps& InUse() { return *gInUse.load(std::memory_order_acquire); }

template <class TCall>
auto Again(TCall call) -> decltype(call()) {
  for (int tries = 1;; ++tries) {
    const auto r = call();
    if (r >= 0 || errno != EINTR || tries == kInterruptedTries) return r;
  }
}

// The calls as the program makes them: those in use, each made again while
// it is interrupted. A close that was interrupted has closed all the same
// (on Linux the descriptor is gone either way) and is never made again: the
// number might already name another file.
class TRetryingFileOps final : public TFileOps {
 public:
  constexpr TRetryingFileOps() = default;
  int OpenAt(int dirFd, const char* path, int flags, unsigned mode) override {
    return Again([&] { return InUse().OpenAt(dirFd, path, flags, mode); });
  }
  int StatAt(int dirFd, const char* path, struct stat* st, int flags) override {
    return Again([&] { return InUse().StatAt(dirFd, path, st, flags); });
  }
  long Read(int fd, void* data, size_t size) override {
    return Again([&] { return InUse().Read(fd, data, size); });
  }
  long PRead(int fd, void* data, size_t size, uint64_t offset) override {
    return Again([&] { return InUse().PRead(fd, data, size, offset); });
  }
  long Write(int fd, const void* data, size_t size) override {
    return Again([&] { return InUse().Write(fd, data, size); });
  }
  int Ftruncate(int fd, unsigned long long size) override {
    return Again([&] { return InUse().Ftruncate(fd, size); });
  }
  int Fsync(int fd) override { return Again([&] { return InUse().Fsync(fd); }); }
  int Fdatasync(int fd) override { return Again([&] { return InUse().Fdatasync(fd); }); }
  int LinkAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath, int flags) override {
    return Again([&] { return InUse().LinkAt(oldDirFd, oldPath, newDirFd, newPath, flags); });
  }
  int RenameAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath, unsigned flags) override {
    return Again([&] { return InUse().RenameAt(oldDirFd, oldPath, newDirFd, newPath, flags); });
  }
  int UnlinkAt(int dirFd, const char* path, int flags) override {
    return Again([&] { return InUse().UnlinkAt(dirFd, path, flags); });
  }
  int MkdirAt(int dirFd, const char* path, unsigned mode) override {
    return Again([&] { return InUse().MkdirAt(dirFd, path, mode); });
  }
  int Fchmod(int fd, unsigned mode) override { return Again([&] { return InUse().Fchmod(fd, mode); }); }
  int Fchown(int fd, unsigned uid, unsigned gid) override {
    return Again([&] { return InUse().Fchown(fd, uid, gid); });
  }
  int Flock(int fd, int operation) override { return Again([&] { return InUse().Flock(fd, operation); }); }
  int CloseWritten(int fd) override {
    const int r = InUse().CloseWritten(fd);
    return r != 0 && errno == EINTR ? 0 : r;
  }
};

constinit TRetryingFileOps gRetrying;

}  // namespace

TFileOpKind OpenKind(int flags) {
  return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? kOpCreate : kOpOpen;
}

TFileOpKind UnlinkKind(int flags) { return flags & AT_REMOVEDIR ? kOpRemoveFolder : kOpRemove; }

TFileOps& FileOps() { return gRetrying; }

TFileOps& SystemFileOps() { return gSystem; }

void SetFileOps(TFileOps* ops) { gInUse.store(ops ? ops : &gSystem, std::memory_order_release); }

}  // namespace quorvex
