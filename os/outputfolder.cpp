#include "os/outputfolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "os/fdio.h"
#include "os/fileops.h"
#include "os/interrupts.h"
#include "os/leftovers.h"
#include "os/scratch.h"

namespace quorvex {
namespace {

// Whether every entry of an open folder is a regular file whose name is
// accepted. 0, or ENOTEMPTY (or the error met while reading the folder or
// looking at an entry).
int HoldsOnly(int folderFd, bool (*replaceable)(std::string_view name)) {
  const int listFd = ::dup(folderFd);
  if (listFd < 0) return errno;
  DIR* dir = ::fdopendir(listFd);
  if (!dir) {
    const int err = errno;
    ::close(listFd);
    return err;
  }
  int result = 0;
  while (const struct dirent* e = ::readdir(dir)) {
    const std::string_view name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    if (const int err = LookAt(folderFd, e->d_name, st)) {
      result = err;
      break;
    }
    if (!S_ISREG(st.st_mode) || !replaceable(name)) {
      result = ENOTEMPTY;
      break;
    }
  }
  ::closedir(dir);
  return result;
}

// Swaps two names of a folder, or (where the file system cannot swap)
// moves the first aside to `aside` and the second into its place. The
// name the first has afterwards goes to `moved`. 0, or the system error
// number (nothing changed then).
int Swap(int parentFd, const std::string& first, const std::string& second, const std::string& aside,
         std::string& moved) {
  if (FileOps().RenameAt(parentFd, second.c_str(), parentFd, first.c_str(), RENAME_EXCHANGE) == 0) {
    moved = second;
    return 0;
  }
  if (errno != EINVAL && errno != ENOSYS) return errno;
  if (FileOps().RenameAt(parentFd, first.c_str(), parentFd, aside.c_str(), 0) != 0) return errno;
  if (FileOps().RenameAt(parentFd, second.c_str(), parentFd, first.c_str(), 0) != 0) {
    const int err = errno;
    FileOps().RenameAt(parentFd, aside.c_str(), parentFd, first.c_str(), 0);
    return err;
  }
  moved = aside;
  return 0;
}

// Gives a name to a folder where none stands. 0, or the system error number.
int RenameNew(int parentFd, const std::string& from, const std::string& to) {
  if (FileOps().RenameAt(parentFd, from.c_str(), parentFd, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  struct stat st;
  if (const int look = LookAt(parentFd, to.c_str(), st); look != ENOENT) return look == 0 ? EEXIST : look;
  return FileOps().RenameAt(parentFd, from.c_str(), parentFd, to.c_str(), 0) == 0 ? 0 : errno;
}

// A disk that failed for a moment is asked this many times to remove a
// folder or to give a folder its name back.
constexpr int kTries = 3;

// Empties and removes a folder of files by its name, again when a try
// fails.
void RemoveFolder(int parentFd, const std::string& name, int fd) {
  for (int tries = 0; tries < kTries; ++tries) {
    EmptyFolder(fd);
    if (FileOps().UnlinkAt(parentFd, name.c_str(), AT_REMOVEDIR) == 0) break;
  }
}

}  // namespace

TOutputFolder::~TOutputFolder() {
  if (placed_) {
    if (!keepOld_) RemoveOld();
  } else {
    RemoveNew();
  }
  CloseFd(newFd_);
  CloseFd(oldFd_);
  CloseFd(parentFd_);
}

int TOutputFolder::Open(const std::string& path, bool (*replaceable)(std::string_view name)) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  leaf_ = slash == std::string::npos ? path : path.substr(slash + 1);
  if (leaf_.empty() || leaf_ == "." || leaf_ == "..") return EISDIR;
  parentFd_ = FileOps().OpenAt(AT_FDCWD, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (parentFd_ < 0) return errno;

  struct stat st;
  const int look = LookAt(parentFd_, leaf_.c_str(), st);
  if (look == 0) {
    if (!S_ISDIR(st.st_mode)) return ENOTDIR;
    oldFd_ = FileOps().OpenAt(parentFd_, leaf_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
    if (oldFd_ < 0) return errno;
    if (const int err = HoldsOnly(oldFd_, replaceable)) return err;
    replacing_ = true;
  } else if (look != ENOENT) {
    return look;
  }
  SweepOnce(parentFd_, TLeftover::kScratchFolder);
  // A new folder of files anyone may read, as a new output file; one that
  // replaces a folder of this user's takes its permission bits when it
  // takes its place (never set-user-ID, set-group-ID or sticky).
  lendsMode_ = replacing_ && st.st_uid == ::geteuid();
  oldMode_ = st.st_mode & 0777;
  return MakeOwnFolder(parentFd_, 0777, newName_, newFd_, newSlot_);
}

int TOutputFolder::Add(const std::string& name, const void* data, size_t size) {
  if (newFd_ < 0) return EBADF;
  TFd fd(FileOps().OpenAt(newFd_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (!fd.Valid()) return errno;
  int err = WriteAll(fd.Get(), data, size);
  if (err == 0 && FileOps().Fsync(fd.Get()) != 0) err = errno;
  if (const int closing = CloseWritten(fd); err == 0) err = closing;
  if (err != 0) FileOps().UnlinkAt(newFd_, name.c_str(), 0);
  return err;
}

int TOutputFolder::Place() {
  if (placed_ || newFd_ < 0) return placed_ ? 0 : EBADF;
  if (lendsMode_ && FileOps().Fchmod(newFd_, oldMode_) != 0) return errno;
  if (FileOps().Fsync(newFd_) != 0) return errno;
  TInterruptsHeld held;
  // The folder that stands there is locked while it is kept under a name
  // of the scratch folders' form, so that no other run's sweep takes it;
  // an interrupt removes it once the output has its name.
  int oldSlot = -1;
  if (replacing_) {
    if (FileOps().Flock(oldFd_, LOCK_EX | LOCK_NB) != 0) return errno;
    oldSlot = ReserveCleanup();
    if (oldSlot < 0) return kNoCleanupEntry;
  }
  // The new folder is an output from now on: an interrupt no longer takes
  // it (its entry would name whatever stands at its old name next).
  UnlistCleanup(newSlot_);
  const int err = replacing_ ? Swap(parentFd_, leaf_, newName_, RandomName(TLeftover::kScratchFolder), oldName_)
                             : RenameNew(parentFd_, newName_, leaf_);
  if (err != 0) {
    ReleaseCleanup(oldSlot);
    newSlot_ = ReserveCleanup();
    if (newSlot_ >= 0) ArmFolderCleanup(newSlot_, parentFd_, newFd_, newName_, RandomName(TLeftover::kScratchFolder));
    return err;
  }
  if (replacing_) ArmFolderCleanup(oldSlot, parentFd_, oldFd_, oldName_, RandomName(TLeftover::kScratchFolder));
  oldSlot_ = oldSlot;
  placed_ = true;
  return 0;
}

void TOutputFolder::Unplace() {
  if (!placed_) return;
  TInterruptsHeld held;
  std::string back;
  int err = 0;
  for (int tries = 0; tries < kTries; ++tries) {
    err = replacing_ ? Swap(parentFd_, leaf_, oldName_, newName_, back) : RenameNew(parentFd_, leaf_, newName_);
    if (err == 0) break;
  }
  if (err != 0) {
    // The disk refuses that too: the new folder stays, and the folder that
    // stood there is kept whole under the name it has now (the old DXF
    // refers to its files), neither removed nor left to an interrupt.
    if (replacing_) {
      UnlistCleanup(oldSlot_);
      oldSlot_ = -1;
      keepOld_ = true;
    }
    return;
  }
  if (replacing_) {
    UnlistCleanup(oldSlot_);
    newName_ = back;
  }
  oldName_.clear();
  placed_ = false;
  newSlot_ = ReserveCleanup();
  if (newSlot_ >= 0) ArmFolderCleanup(newSlot_, parentFd_, newFd_, newName_, RandomName(TLeftover::kScratchFolder));
}

void TOutputFolder::RemoveNew() {
  if (newFd_ < 0) return;
  RemoveFolder(parentFd_, newName_, newFd_);
  UnlistCleanup(newSlot_);
}

void TOutputFolder::RemoveOld() {
  if (oldFd_ < 0 || oldName_.empty()) return;
  RemoveFolder(parentFd_, oldName_, oldFd_);
  UnlistCleanup(oldSlot_);
}

}  // namespace quorvex
