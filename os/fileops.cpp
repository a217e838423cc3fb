#include "os/fileops.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

namespace quorvex {
namespace {

class TSystemFileOps final : public TFileOps {
 public:
  constexpr TSystemFileOps() = default;
  int OpenAt(int dirFd, const char* path, int flags, unsigned mode) override {
    return ::openat(dirFd, path, flags, static_cast<mode_t>(mode));
  }
  long Write(int fd, const void* data, size_t size) override { return ::write(fd, data, size); }
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
  int CloseWritten(int fd) override { return ::close(fd); }
};

// Both set before main runs (constant initialization), so a signal handler
// finds them whenever it runs.
constinit TSystemFileOps gSystem;
constinit std::atomic<TFileOps*> gInUse{&gSystem};

}  // namespace

TFileOpKind OpenKind(int flags) {
  return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? kOpCreate : kOpOpen;
}

TFileOpKind UnlinkKind(int flags) { return flags & AT_REMOVEDIR ? kOpRemoveFolder : kOpRemove; }

TFileOps& FileOps() { return *gInUse.load(std::memory_order_acquire); }

TFileOps& SystemFileOps() { return gSystem; }

void SetFileOps(TFileOps* ops) { gInUse.store(ops ? ops : &gSystem, std::memory_order_release); }

}  // namespace quorvex
