// The file a drawing or a picture is written into before it takes the
// output's name. Where the file system allows, it has no name at all until
// it is complete (nothing is left if the process dies); elsewhere it is a
// hidden ".quorvex-output-" file in the output's folder, locked and listed
// for removal by an interrupt. Unless committed it is closed and removed when
// the object goes, however the writing ended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "os/bytes.h"
#include "os/fdio.h"

namespace quorvex {

class TWriteBehind;

class TOutputFile : public TByteSink {
 public:
  TOutputFile();
  ~TOutputFile() override;
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  // Sweeps away the hidden outputs that ended processes left in the
  // output's folder (once per folder and process), then opens the
  // temporary file there. 0, or the system error number.
  [[nodiscard]] int Open(const std::string& path);
  // The temporary file, open for writing (write to it either here or
  // through Exchange, not both).
  int Fd() const { return fd_.Get(); }
  // Appends to the file the first `used` bytes of the room given last (none
  // the first time) and gives the room for the next bytes; a large output
  // is written and synced by threads of the file's own (TWriteBehind). 0,
  // or the errno of the first failure so far (Commit fails with it too).
  [[nodiscard]] int Exchange(size_t used, uint8_t*& room, size_t& size) override;
  // Makes the file durable and gives it the output's name: a regular file
  // of this user's that is replaced lends its permission bits (never
  // set-user-ID, set-group-ID or sticky), and so does another user's when
  // the process may give the new file that user as owner (root); a new
  // file, one that replaces another user's file or a link or another
  // special file (the link goes, its target is untouched), has 0666 less
  // the umask. The file is synced, then linked or renamed into place, then
  // the folder is synced. 0, or the system error number (the temporary file
  // then goes with the object, and a file that stood at the path is
  // untouched, unless Placed()). A folder that cannot be synced after the
  // name was given fails it too: the file that stood there takes its name
  // back (it was kept under a hidden name of its own meanwhile), or a new
  // name goes again.
  [[nodiscard]] int Commit();
  // After a failed Commit: the complete new file has the output's name all
  // the same, and the file it replaced is gone. So it is when the folder
  // could not be synced and the file replaced could not be kept for the
  // way back (a file system without hard links, such as FAT; a link
  // refused) or the disk refused to give it its name back. The new name
  // may not survive a power loss.
  bool Placed() const { return placed_; }

 private:
  int CommitOnce();
  // Gives the file the owner, group and permission bits of the file it
  // replaces, as far as Commit says. 0, or the system error number.
  int TakeReplacedMode();
  int OpenNamed(unsigned mode);
  int Place();
  int LinkUnnamed(const std::string& name) const;
  // Keeps the file that stands at the output's name under a hidden name of
  // its own until the new one has taken its place durably; nothing where
  // the file system has no hard links.
  void KeepReplaced();
  // Undoes Place after the folder could not be synced.
  void Unplace();
  // Removes the kept file once it is no longer needed.
  void DropReplaced();

  // Declared first, closed last: the writing threads have stopped by then.
  TFd folderFd_;
  bool folderReadable_ = false;  // open for reading: can be synced
  TFd fd_;
  int slot_ = -1;
  std::string leaf_;      // the output's file name in its folder
  std::string tempName_;  // the hidden name, while the file has one
  uint64_t dev_ = 0;
  uint64_t ino_ = 0;
  bool replacing_ = false;  // a name stands at the output's path
  bool keepMode_ = false;   // a regular file whose mode and owner may be carried over
  // The file replaced: its owner, group and mode.
  unsigned targetUid_ = 0, targetGid_ = 0, targetMode_ = 0;
  bool committed_ = false;
  bool placed_ = false;
  int commitError_ = 0;  // what the last Commit failed with
  // The replaced file while the new one takes its place: its hidden name,
  // inode and entry in the removal on interrupt.
  std::string keptName_;
  uint64_t keptDev_ = 0, keptIno_ = 0;
  int keptSlot_ = -1;
  TFd keptFd_;  // holds its lock
  std::unique_ptr<TWriteBehind> writing_;
};

// Writes the bytes to `path` through a TOutputFile: durable, complete or
// not there at all, a replaced file keeping its mode. 0, or the system error
// number (a file that stood at the path is then untouched, unless
// TOutputFile::Placed would say otherwise).
[[nodiscard]] int WriteFileDurably(const std::string& path, const void* data, size_t size);

// Whether outputs may be written through unnamed files where the file
// system has them (on by default; off makes every output take the named
// way, for testing that way on any file system).
void SetUnnamedOutputFiles(bool allowed);

}  // namespace quorvex
