// A double of the program's file calls (os/fileops.h) that fails chosen
// ones: it counts the calls of the kinds in its mask and fails the Nth of
// them, or the Nth and every later one (a disk that stays full), with a
// chosen error number, or lets a write take only part of its bytes. It can
// follow two such plans in one run, each counting the calls of its own mask
// (a link that fails, and a later sync).
#pragma once

#include <cerrno>
#include <cstdint>

#include <atomic>

#include "os/fileops.h"

namespace qtest {

// The system's calls, each passed on unchanged: a double that changes one
// kind of call derives from it and overrides that one alone.
class TPassingFileOps : public quorvex::TFileOps {
 public:
  int OpenAt(int d, const char* p, int f, unsigned m) override { return Real().OpenAt(d, p, f, m); }
  int StatAt(int d, const char* p, struct stat* st, int f) override { return Real().StatAt(d, p, st, f); }
  long Read(int fd, void* data, size_t size) override { return Real().Read(fd, data, size); }
  long PRead(int fd, void* data, size_t size, uint64_t at) override { return Real().PRead(fd, data, size, at); }
  long Write(int fd, const void* data, size_t size) override { return Real().Write(fd, data, size); }
  int Ftruncate(int fd, unsigned long long size) override { return Real().Ftruncate(fd, size); }
  int Fsync(int fd) override { return Real().Fsync(fd); }
  int Fdatasync(int fd) override { return Real().Fdatasync(fd); }
  int LinkAt(int od, const char* op, int nd, const char* np, int f) override {
    return Real().LinkAt(od, op, nd, np, f);
  }
  int RenameAt(int od, const char* op, int nd, const char* np, unsigned f) override {
    return Real().RenameAt(od, op, nd, np, f);
  }
  int UnlinkAt(int d, const char* p, int f) override { return Real().UnlinkAt(d, p, f); }
  int MkdirAt(int d, const char* p, unsigned m) override { return Real().MkdirAt(d, p, m); }
  int Fchmod(int fd, unsigned m) override { return Real().Fchmod(fd, m); }
  int Fchown(int fd, unsigned u, unsigned g) override { return Real().Fchown(fd, u, g); }
  int Flock(int fd, int op) override { return Real().Flock(fd, op); }
  int CloseWritten(int fd) override { return Real().CloseWritten(fd); }

 protected:
  static quorvex::TFileOps& Real() { return quorvex::SystemFileOps(); }
};

class TFaultyFileOps : public TPassingFileOps {
 public:
  struct TPlan {
    uint64_t FailAt = 0;       // the call to fail, counted from 1 among those of Mask; 0: none
    bool Persistent = false;   // every later call of Mask fails too
    int Error = EIO;           // the error number of a failed call
    bool ShortWrite = false;   // a write takes half its bytes instead of failing (other calls pass)
    unsigned Mask = quorvex::kOpAll;
  };

  explicit TFaultyFileOps(const TPlan& plan) : plans_{plan, TPlan{}} {}
  // Two plans at once; a call that both choose fails as the first says.
  TFaultyFileOps(const TPlan& first, const TPlan& second) : plans_{first, second} {}

  // Calls of a plan's kinds so far, and how many calls were made to fail
  // (or cut short) by either plan, or by one.
  uint64_t Calls(int plan = 0) const { return calls_[plan].load(); }
  uint64_t Injected() const { return injected_[0].load() + injected_[1].load(); }
  uint64_t Injected(int plan) const { return injected_[plan].load(); }
  // The kinds of the calls that were made to fail.
  unsigned FailedKinds() const { return failedKinds_.load(); }

  int OpenAt(int dirFd, const char* path, int flags, unsigned mode) override {
    return Unless(quorvex::OpenKind(flags), [&] { return Real().OpenAt(dirFd, path, flags, mode); });
  }
  int StatAt(int dirFd, const char* path, struct stat* st, int flags) override {
    return Unless(quorvex::kOpLook, [&] { return Real().StatAt(dirFd, path, st, flags); });
  }
  long Read(int fd, void* data, size_t size) override {
    return Unless(quorvex::kOpRead, [&] { return Real().Read(fd, data, size); });
  }
  long PRead(int fd, void* data, size_t size, uint64_t at) override {
    return Unless(quorvex::kOpRead, [&] { return Real().PRead(fd, data, size, at); });
  }
  long Write(int fd, const void* data, size_t size) override {
    const TPlan* plan = Chosen(quorvex::kOpWrite);
    if (!plan) return Real().Write(fd, data, size);
    if (!plan->ShortWrite) return Failed(quorvex::kOpWrite, *plan);
    if (size < 2) return Real().Write(fd, data, size);  // nothing shorter to give
    injected_[plan - plans_].fetch_add(1);
    return Real().Write(fd, data, size / 2);
  }
  int Ftruncate(int fd, unsigned long long size) override {
    return Unless(quorvex::kOpTruncate, [&] { return Real().Ftruncate(fd, size); });
  }
  int Fsync(int fd) override { return Unless(quorvex::kOpSync, [&] { return Real().Fsync(fd); }); }
  int Fdatasync(int fd) override { return Unless(quorvex::kOpSync, [&] { return Real().Fdatasync(fd); }); }
  int LinkAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath, int flags) override {
    return Unless(quorvex::kOpLink, [&] { return Real().LinkAt(oldDirFd, oldPath, newDirFd, newPath, flags); });
  }
  int RenameAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath, unsigned flags) override {
    return Unless(quorvex::kOpRename, [&] { return Real().RenameAt(oldDirFd, oldPath, newDirFd, newPath, flags); });
  }
  int UnlinkAt(int dirFd, const char* path, int flags) override {
    return Unless(quorvex::UnlinkKind(flags), [&] { return Real().UnlinkAt(dirFd, path, flags); });
  }
  int MkdirAt(int dirFd, const char* path, unsigned mode) override {
    return Unless(quorvex::kOpMakeFolder, [&] { return Real().MkdirAt(dirFd, path, mode); });
  }
  int Fchmod(int fd, unsigned mode) override {
    return Unless(quorvex::kOpChangeOwner, [&] { return Real().Fchmod(fd, mode); });
  }
  int Fchown(int fd, unsigned uid, unsigned gid) override {
    return Unless(quorvex::kOpChangeOwner, [&] { return Real().Fchown(fd, uid, gid); });
  }
  int Flock(int fd, int op) override {
    return Unless(quorvex::kOpLock, [&] { return Real().Flock(fd, op); });
  }
  int CloseWritten(int fd) override {
    const int r = Real().CloseWritten(fd);  // closed whatever is reported
    return Unless(quorvex::kOpClose, [r] { return r; });
  }

 private:
  // Counts a call of this kind in each plan whose mask holds it, and gives
  // the plan that chooses it to fail (the first, when both do), or none.
  const TPlan* Chosen(unsigned kind) {
    const TPlan* chosen = nullptr;
    for (int i = 1; i >= 0; --i) {
      const TPlan& p = plans_[i];
      if (!(p.Mask & kind)) continue;
      const uint64_t n = calls_[i].fetch_add(1) + 1;
      if (p.FailAt != 0 && (n == p.FailAt || (p.Persistent && n > p.FailAt))) chosen = &p;
    }
    return chosen;
  }
  // Makes the call unless a plan chooses it to fail (a plan of short writes
  // fails no other call).
  template <class TCall>
  auto Unless(unsigned kind, TCall call) -> decltype(call()) {
    const TPlan* plan = Chosen(kind);
    if (!plan || plan->ShortWrite) return call();
    return Failed(kind, *plan);
  }
  int Failed(unsigned kind, const TPlan& plan) {
    failedKinds_.fetch_or(kind);
    injected_[&plan - plans_].fetch_add(1);
    errno = plan.Error;
    return -1;
  }

  const TPlan plans_[2];
  std::atomic<uint64_t> calls_[2] = {0, 0};
  std::atomic<uint64_t> injected_[2] = {0, 0};
  std::atomic<unsigned> failedKinds_{0};
};

// Puts a double in place of the file calls while it lives.
class TFileOpsInPlace {
 public:
  explicit TFileOpsInPlace(quorvex::TFileOps& ops) { quorvex::SetFileOps(&ops); }
  ~TFileOpsInPlace() { quorvex::SetFileOps(nullptr); }
  TFileOpsInPlace(const TFileOpsInPlace&) = delete;
  TFileOpsInPlace& operator=(const TFileOpsInPlace&) = delete;
};

}  // namespace qtest
