// A double of the program's file calls (os/fileops.h) that fails chosen
// ones: it counts the calls of the kinds in its mask and fails the Nth of
// them, or the Nth and every later one (a disk that stays full), with a
// chosen error number, or lets a write take only part of its bytes.
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

  explicit TFaultyFileOps(const TPlan& plan) : plan_(plan) {}

  // Calls of the mask's kinds so far, and how many of them were made to fail
  // (or cut short).
  uint64_t Calls() const { return calls_.load(); }
  uint64_t Injected() const { return injected_.load(); }
  // The kinds of the calls that were made to fail.
  unsigned FailedKinds() const { return failedKinds_.load(); }

  int OpenAt(int dirFd, const char* path, int flags, unsigned mode) override {
    return Fails(quorvex::OpenKind(flags)) ? Failed() : Real().OpenAt(dirFd, path, flags, mode);
  }
  long Write(int fd, const void* data, size_t size) override {
    if (!Chosen(Count(quorvex::kOpWrite))) return Real().Write(fd, data, size);
    if (!plan_.ShortWrite) {
      failedKinds_.fetch_or(quorvex::kOpWrite);
      return Failed();
    }
    if (size < 2) return Real().Write(fd, data, size);  // nothing shorter to give
    injected_.fetch_add(1);
    return Real().Write(fd, data, size / 2);
  }
  int Ftruncate(int fd, unsigned long long size) override {
    return Fails(quorvex::kOpTruncate) ? Failed() : Real().Ftruncate(fd, size);
  }
  int Fsync(int fd) override { return Fails(quorvex::kOpSync) ? Failed() : Real().Fsync(fd); }
  int Fdatasync(int fd) override { return Fails(quorvex::kOpSync) ? Failed() : Real().Fdatasync(fd); }
  int LinkAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath, int flags) override {
    return Fails(quorvex::kOpLink) ? Failed() : Real().LinkAt(oldDirFd, oldPath, newDirFd, newPath, flags);
  }
  int RenameAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath, unsigned flags) override {
    return Fails(quorvex::kOpRename) ? Failed() : Real().RenameAt(oldDirFd, oldPath, newDirFd, newPath, flags);
  }
  int UnlinkAt(int dirFd, const char* path, int flags) override {
    return Fails(quorvex::UnlinkKind(flags)) ? Failed() : Real().UnlinkAt(dirFd, path, flags);
  }
  int MkdirAt(int dirFd, const char* path, unsigned mode) override {
    return Fails(quorvex::kOpMakeFolder) ? Failed() : Real().MkdirAt(dirFd, path, mode);
  }
  int Fchmod(int fd, unsigned mode) override {
    return Fails(quorvex::kOpChangeOwner) ? Failed() : Real().Fchmod(fd, mode);
  }
  int Fchown(int fd, unsigned uid, unsigned gid) override {
    return Fails(quorvex::kOpChangeOwner) ? Failed() : Real().Fchown(fd, uid, gid);
  }
  int CloseWritten(int fd) override {
    const int r = Real().CloseWritten(fd);  // closed whatever is reported
    return Fails(quorvex::kOpClose) ? Failed() : r;
  }

 private:
  // Counts a call of this kind when the mask holds it: its number, or 0.
  uint64_t Count(unsigned kind) { return plan_.Mask & kind ? calls_.fetch_add(1) + 1 : 0; }
  // Whether the call of this number is one to fail.
  bool Chosen(uint64_t n) const {
    return n != 0 && plan_.FailAt != 0 && (n == plan_.FailAt || (plan_.Persistent && n > plan_.FailAt));
  }
  // Whether a call other than a write fails (a short write fails none).
  bool Fails(unsigned kind) {
    if (!Chosen(Count(kind)) || plan_.ShortWrite) return false;
    failedKinds_.fetch_or(kind);
    return true;
  }
  int Failed() {
    injected_.fetch_add(1);
    errno = plan_.Error;
    return -1;
  }

  const TPlan plan_;
  std::atomic<uint64_t> calls_{0};
  std::atomic<uint64_t> injected_{0};
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
