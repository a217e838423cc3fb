// The one way the program uses files and folders: every call that opens,
// creates, reads, writes, truncates, syncs, links, renames or removes a
// file, changes its mode or owner, closes a file written, or makes or
// removes a folder goes through FileOps(). The system's own calls sit
// behind it; a test puts a double in its place that fails chosen calls, so
// that every failure of the disk is a tested outcome.
//
// Each call returns what the system call returns, with errno set on
// failure. So do the looks at a file and the locks whose answers decide
// what is written, kept or removed (fdio's LookAt, RegularFileAt and the
// rest); only the listing of a folder goes to the system directly.
#pragma once

#include <cstddef>
#include <cstdint>

struct stat;

namespace quorvex {

// The kinds of call, as bits (a double fails the kinds of a mask).
enum TFileOpKind : unsigned {
  kOpOpen = 1u << 0,          // opening an existing file or folder
  kOpCreate = 1u << 1,        // making a new file (O_CREAT, O_TMPFILE)
  kOpWrite = 1u << 2,
  kOpSync = 1u << 3,          // fsync, fdatasync
  kOpLink = 1u << 4,
  kOpRename = 1u << 5,
  kOpRemove = 1u << 6,        // unlinking a file
  kOpMakeFolder = 1u << 7,
  kOpRemoveFolder = 1u << 8,
  kOpChangeOwner = 1u << 9,   // fchmod, fchown
  kOpClose = 1u << 10,        // closing a file that was written
  kOpTruncate = 1u << 11,     // ftruncate
  kOpRead = 1u << 12,         // read, pread
  kOpLook = 1u << 13,         // fstatat, fstat
  kOpLock = 1u << 14,         // flock
  kOpAll = (1u << 15) - 1,
};

class TFileOps {
 public:
  virtual ~TFileOps() = default;
  // openat(2); the kind is kOpCreate with O_CREAT or O_TMPFILE, else kOpOpen.
  virtual int OpenAt(int dirFd, const char* path, int flags, unsigned mode) = 0;
  // fstatat(2); with AT_EMPTY_PATH and an empty path, fstat(2) of dirFd.
  virtual int StatAt(int dirFd, const char* path, struct stat* st, int flags) = 0;
  virtual long Read(int fd, void* data, size_t size) = 0;
  virtual long PRead(int fd, void* data, size_t size, uint64_t offset) = 0;
  virtual long Write(int fd, const void* data, size_t size) = 0;
  virtual int Ftruncate(int fd, unsigned long long size) = 0;
  virtual int Fsync(int fd) = 0;
  virtual int Fdatasync(int fd) = 0;
  virtual int LinkAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath, int flags) = 0;
  // renameat2(2); flags 0 is renameat(2).
  virtual int RenameAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath, unsigned flags) = 0;
  // unlinkat(2); the kind is kOpRemoveFolder with AT_REMOVEDIR.
  virtual int UnlinkAt(int dirFd, const char* path, int flags) = 0;
  virtual int MkdirAt(int dirFd, const char* path, unsigned mode) = 0;
  virtual int Fchmod(int fd, unsigned mode) = 0;
  virtual int Fchown(int fd, unsigned uid, unsigned gid) = 0;
  // flock(2).
  virtual int Flock(int fd, int operation) = 0;
  // close(2) of a file written, whose error counts; the descriptor is
  // closed whatever it returns.
  virtual int CloseWritten(int fd) = 0;
};

// The kind of an OpenAt call with these flags, and of an UnlinkAt call.
TFileOpKind OpenKind(int flags);
TFileOpKind UnlinkKind(int flags);

// The calls in use: the system's, unless a test has put a double in place;
// a call interrupted by a signal is made again (a thousand times at most),
// a close that was interrupted counts as done. Safe in a signal handler.
TFileOps& FileOps();
// The system's own calls.
TFileOps& SystemFileOps();
// Puts `ops` in place of the calls in use (nullptr: the system's again).
// For tests, while no other thread changes files.
void SetFileOps(TFileOps* ops);

}  // namespace quorvex
