// What an interrupt does: SIGINT, SIGTERM, SIGHUP, SIGPIPE and SIGQUIT
// remove every scratch folder and temporary output this process has
// listed, then end it with exit status 128 + the signal.
//
// The list is a table filled before a signal can need it, growing a chunk
// at a time. An owner takes an entry (ReserveCleanup) before it makes its
// file or folder, and lists it (ArmCleanup) once it holds it, with the
// interrupting signals held in its own thread all the while; it takes it
// off the list (UnlistCleanup) before it removes the thing itself. When no
// entry can be had the owner makes nothing: what an interrupt could not
// remove is never made.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>

namespace quorvex {

// Has SIGINT, SIGTERM, SIGHUP, SIGPIPE and SIGQUIT remove what is listed
// and end the process with exit status 128 + the signal; two of them at
// once on two threads remove it once, whole. A signal ignored when the process
// started (nohup, a background job) stays ignored. Call once, early in main.
void InstallInterruptCleanup();

// Keeps the interrupting signals away from the calling thread while it
// lives (they go to another thread of the process, or wait until they are
// let through again). A thread started meanwhile keeps them away for its
// whole life.
class TInterruptsHeld {
 public:
  TInterruptsHeld();
  ~TInterruptsHeld();
  TInterruptsHeld(const TInterruptsHeld&) = delete;
  TInterruptsHeld& operator=(const TInterruptsHeld&) = delete;

 private:
  alignas(8) unsigned char old_[128];  // the thread's signal mask before
};

// The error a maker of a file or folder reports when no entry can be had.
constexpr int kNoCleanupEntry = EMFILE;  // too many open at once

// The longest name a folder may be moved aside to.
constexpr size_t kCleanupAsideMax = 63;

// Takes a free entry for a file or folder about to be made; -1 when none
// can be had (16384 entries in use, far more than a process may hold
// descriptors for, or no memory for more): the caller must then not make
// it, and fails with kNoCleanupEntry. Once an interrupt's removal has begun
// on another thread it never returns: the process is ending.
int ReserveCleanup();
// Gives back an entry taken by ReserveCleanup whose file or folder was not
// made.
void ReleaseCleanup(int& slot);
// Lists a folder made as parentFd/name and held open as ownFd. Before it is
// emptied it is moved to `aside`, a free name of the same form, so that no
// other thread can add a file to it by its path.
void ArmFolderCleanup(int& slot, int parentFd, int ownFd, const std::string& name, const std::string& aside);
// Lists a file made as parentFd/name: removed while the name still leads to
// this inode.
void ArmFileCleanup(int& slot, int parentFd, const std::string& name, uint64_t dev, uint64_t ino);
// Takes an entry off the list. When the handler, on another thread, is
// removing it already, waits for the end of the process (the descriptors
// must stay open until then).
void UnlistCleanup(int& slot);

// Counts an output taking its name while it lives; the handler waits (a
// second at most) until none is, and from its start Ending() is true.
class TPlacing {
 public:
  TPlacing();
  ~TPlacing();
  TPlacing(const TPlacing&) = delete;
  TPlacing& operator=(const TPlacing&) = delete;
  // True once an interrupt has begun to remove what this process made: no
  // output may take its name any more, since the images it carries may
  // have been read from a scratch folder already being emptied.
  static bool Ending();
};

}  // namespace quorvex
