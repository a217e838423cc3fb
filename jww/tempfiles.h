// The temporary files and folders of this program: the private scratch
// folder of a session, the temporary file that becomes a written drawing,
// their removal when SIGINT, SIGTERM or SIGHUP ends the process, and the
// sweeping away of those left by processes that no longer exist.
//
// Each of them is locked (flock) by its owner for its whole life; a run
// removes only those whose lock it can take, so a live session's folder or
// output is never touched, while those of a killed or crashed process go at
// the next run in the same place.
#pragma once

#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorvex {

// Has SIGINT, SIGTERM and SIGHUP remove every scratch folder and temporary
// output of this process and end it with exit status 128 + the signal. A
// signal ignored when the process started (nohup, a background job) stays
// ignored. Call once, early in main.
void InstallInterruptCleanup();

// Keeps SIGINT, SIGTERM and SIGHUP away from the calling thread while it
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
  sigset_t old_;
};

// Folders a session's scratch folder may be made in, in the order tried:
// $XDG_RUNTIME_DIR, then $TMPDIR, then /tmp (unset or empty ones skipped).
std::vector<std::string> ScratchBases();

// A folder that one session alone uses ("quorvex-" and six letters or
// digits, mode 0700), removed with whatever is in it when the session ends.
class TScratchFolder {
 public:
  TScratchFolder() = default;
  ~TScratchFolder() { Remove(); }
  TScratchFolder(const TScratchFolder&) = delete;
  TScratchFolder& operator=(const TScratchFolder&) = delete;

  // Sweeps away the scratch folders that ended processes left in base, then
  // makes a new one there. 0, or the system error number.
  int Create(const std::string& base);
  // The same in the first of `bases` where a folder can be made. 0, or the
  // error of the last one tried.
  int CreateInFirst(const std::vector<std::string>& bases);
  // Removes the folder with everything in it (nothing when there is none).
  void Remove();

  bool Exists() const { return fd_ >= 0; }
  // The folder's path with a trailing '/' (empty when there is none).
  const std::string& Path() const { return path_; }

 private:
  int baseFd_ = -1;
  int fd_ = -1;  // the folder itself: holds its lock
  int slot_ = -1;
  std::string name_;
  std::string path_;
};

class TSyncAhead;
class TWriteBehind;

// The file a drawing is written into before it takes the output's name.
// Where the file system allows, it has no name at all until it is complete
// (nothing is left if the process dies); elsewhere it is a hidden
// ".quorvex-" file in the output's folder. Unless committed it is closed
// and removed when the object goes, however the writing ended.
class TOutputFile {
 public:
  TOutputFile();
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  // Sweeps away the hidden outputs that ended processes left in the
  // output's folder (once per folder and process), then opens the
  // temporary file there. 0, or the system error number.
  int Open(const std::string& path);
  // The temporary file, open for writing (write to it either here or
  // through NextRoom, not both).
  int Fd() const { return fd_; }
  // Appends to the file the first `used` bytes of the room given last (none
  // the first time) and gives the room for the next bytes. A large output
  // is written by a thread of the file's own while the caller fills the
  // next room, and once a few megabytes are in the file another thread
  // syncs them while the writing goes on, so that the disk works while the
  // program does and the sync of Commit finds little left to do. 0, or the
  // errno of the first failure so far (Commit fails with it too).
  int NextRoom(size_t used, uint8_t*& room, size_t& size);
  // Makes the file durable and gives it the output's name: a file replaced
  // keeps its permission bits (and its owner and group where the process
  // may set them); a new file has 0666 less the umask. The file is synced,
  // then linked or renamed into place, then the folder is synced. 0, or the
  // system error number (the temporary file then goes with the object, and
  // a file that stood at the path is untouched).
  int Commit();

 private:
  int OpenNamed(mode_t mode);
  int Place();
  int LinkUnnamed(const std::string& name) const;
  // The file now holds this many bytes (called as they are written).
  void Written(uint64_t bytes);
  // Writes out everything appended and stops the writing thread; the first
  // error, or 0.
  int FinishAppending();
  // Stops the syncing thread; its first error, or 0.
  int StopSyncAhead();

  int folderFd_ = -1;
  bool folderReadable_ = false;  // open for reading: can be synced
  int fd_ = -1;
  int slot_ = -1;
  std::string leaf_;      // the output's file name in its folder
  std::string tempName_;  // the hidden name, while the file has one
  dev_t dev_ = 0;
  ino_t ino_ = 0;
  bool replacing_ = false;
  struct stat target_ {};  // the file replaced
  bool committed_ = false;
  std::unique_ptr<TWriteBehind> writeBehind_;
  std::unique_ptr<TSyncAhead> syncAhead_;
};

// Writes all `size` bytes to the descriptor, again after an interruption.
// 0, or the system error number (EIO when the system takes nothing and
// names no error).
int WriteAll(int fd, const void* data, size_t size);

// Writes the bytes to `path` through a TOutputFile: durable, complete or
// not there at all, a replaced file keeping its mode. 0, or the system error
// number (a file that stood at the path is then untouched).
int WriteFileDurably(const std::string& path, const void* data, size_t size);

// Whether outputs may be written through unnamed files where the file
// system has them (on by default; off makes every output take the named
// way, for testing that way on any file system).
void SetUnnamedOutputFiles(bool allowed);

}  // namespace quorvex
