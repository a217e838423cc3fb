#include "os/outputfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <optional>
#include <utility>

#include "os/fileops.h"
#include "os/interrupts.h"
#include "os/leftovers.h"
#include "os/writebehind.h"

namespace quorvex {
namespace {

std::atomic<bool> gUnnamedAllowed{true};

std::string ProcFdPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

}  // namespace

void SetUnnamedOutputFiles(bool allowed) { gUnnamedAllowed = allowed; }

TOutputFile::TOutputFile() = default;

TOutputFile::~TOutputFile() {
  writing_.reset();  // its threads end before the file is closed
  if (!committed_ && !tempName_.empty()) RemoveIfSame(folderFd_.Get(), tempName_.c_str(), dev_, ino_);
  UnlistCleanup(slot_);
  DropReplaced();
}

int TOutputFile::Exchange(size_t used, uint8_t*& room, size_t& size) {
  room = nullptr;
  size = 0;
  if (!fd_.Valid()) return EBADF;
  if (!writing_) writing_ = std::make_unique<TWriteBehind>(fd_.Get());
  return writing_->Exchange(used, room, size);
}

int TOutputFile::Open(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  leaf_ = slash == std::string::npos ? path : path.substr(slash + 1);
  if (leaf_.empty()) return EISDIR;

  folderFd_ = TFd(FileOps().OpenAt(AT_FDCWD, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  folderReadable_ = folderFd_.Valid();
  if (!folderFd_.Valid() && errno == EACCES)
    folderFd_ = TFd(FileOps().OpenAt(AT_FDCWD, folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
  if (!folderFd_.Valid()) return errno;

  // What stands at the name now, the name itself and not where a link
  // leads: only a regular file lends its mode and owner to the output. A
  // link (or a pipe, a device) is replaced like a new name and lends
  // nothing, so that no target's mode (setuid, world-writable) is carried.
  // Nor does a file of another user's, unless this process may make the
  // new file that user's (root): its mode would open the new file, which
  // stays this user's, to that user (a world-writable file planted in a
  // shared folder would make the output writable by its planter).
  // A name that cannot be looked at fails the output: it might be a
  // private file, whose mode would not be carried.
  struct stat target{};
  const int look = LookAt(folderFd_.Get(), leaf_.c_str(), target);
  if (look != 0 && look != ENOENT) return look;
  replacing_ = look == 0;
  if (replacing_ && S_ISDIR(target.st_mode)) return EISDIR;
  const uid_t me = ::geteuid();
  keepMode_ = replacing_ && S_ISREG(target.st_mode) && (target.st_uid == me || me == 0);
  targetUid_ = target.st_uid;
  targetGid_ = target.st_gid;
  targetMode_ = target.st_mode;
  if (folderReadable_) SweepOnce(folderFd_.Get(), TLeftover::kHiddenOutput);

  // A file that replaces another is private until it takes that file's mode;
  // a new one gets 0666 less the umask from the system.
  const mode_t mode = keepMode_ ? 0600 : 0666;
  if (gUnnamedAllowed) {
    const int fd = FileOps().OpenAt(folderFd_.Get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd >= 0) {
      // Linked into place later through /proc; without it (a sandbox
      // without /proc), or when the file cannot be looked at, take the
      // named way.
      struct stat own;
      std::optional<TFileId> viaProc;
      if (LookAt(fd, own) == 0) viaProc = FileAt(ProcFdPath(fd), true);
      if (viaProc && *viaProc == TFileId{static_cast<uint64_t>(own.st_dev), static_cast<uint64_t>(own.st_ino)}) {
        // Held once it has a name, until it is in place. Where the file
        // system has no locks it stays unlocked: a sweep cannot lock it
        // there either, so never takes it.
        (void)FileOps().Flock(fd, LOCK_EX);
        fd_ = TFd(fd);
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

int TOutputFile::OpenNamed(unsigned mode) {
  for (int i = 0; i < kNameTries; ++i) {
    TInterruptsHeld held;
    int slot = ReserveCleanup();
    if (slot < 0) return kNoCleanupEntry;
    const std::string name = RandomName(TLeftover::kHiddenOutput);
    const int fd =
        FileOps().OpenAt(folderFd_.Get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
      const int err = errno;
      ReleaseCleanup(slot);
      if (err == EEXIST) continue;
      return err;
    }
    struct stat own;
    int err = LockNew(folderFd_.Get(), name, fd);
    if (err == 0) err = LookAt(fd, own);
    if (err != 0) {
      ::close(fd);
      // A sweeper has it, and removes it; or it cannot be looked at, and
      // goes again at once.
      if (err != EAGAIN) RemoveName(folderFd_.Get(), name.c_str());
      ReleaseCleanup(slot);
      if (err == EAGAIN) continue;
      return err;
    }
    fd_ = TFd(fd);
    tempName_ = name;
    dev_ = own.st_dev;
    ino_ = own.st_ino;
    ArmFileCleanup(slot, folderFd_.Get(), tempName_, dev_, ino_);
    slot_ = slot;
    return 0;
  }
  return EEXIST;
}

int TOutputFile::LinkUnnamed(const std::string& name) const {
  return FileOps().LinkAt(AT_FDCWD, ProcFdPath(fd_.Get()).c_str(), folderFd_.Get(), name.c_str(), AT_SYMLINK_FOLLOW) == 0
             ? 0
             : errno;
}

void TOutputFile::KeepReplaced() {
  struct stat st, folder;
  if (LookAt(folderFd_.Get(), leaf_.c_str(), st) != 0 || LookAt(folderFd_.Get(), folder) != 0) return;
  // In a folder with the sticky bit (/tmp, a shared folder) only the owner
  // of a file or of the folder may remove a name of it: a hidden name of
  // another user's file could never be removed again, and sweeps pass it by
  // as that user's. It is not made.
  const uid_t me = ::geteuid();
  if ((folder.st_mode & S_ISVTX) && me != 0 && me != st.st_uid && me != folder.st_uid) return;
  // A regular file is locked while it is kept, as every hidden file of this
  // program is: another run's sweep of this folder passes it by. Where the
  // file system has no locks it is kept unlocked: no sweep can lock it
  // there either.
  TFd locked;
  if (S_ISREG(st.st_mode)) {
    locked = TFd(FileOps().OpenAt(folderFd_.Get(), leaf_.c_str(),
                                  O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0));
    struct stat own;
    if (!locked.Valid() || (FileOps().Flock(locked.Get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) ||
        LookAt(locked.Get(), own) != 0 || own.st_dev != st.st_dev || own.st_ino != st.st_ino)
      return;  // in use by another program, or no longer the same file: not kept
  }
  for (int i = 0; i < kNameTries; ++i) {
    int slot = ReserveCleanup();
    if (slot < 0) return;
    const std::string name = RandomName(TLeftover::kHiddenOutput);
    if (FileOps().LinkAt(folderFd_.Get(), leaf_.c_str(), folderFd_.Get(), name.c_str(), 0) != 0) {
      ReleaseCleanup(slot);
      if (errno == EEXIST) continue;
      return;  // no hard links here, or no room: the new file goes in without
    }
    // The name is linked by name: another writer may have put a file of its
    // own there since it was looked at. That one is not this run's to keep
    // (its hidden name would outlive the run); the name goes again, as it
    // does when it cannot be looked at.
    struct stat linked;
    if (LookAt(folderFd_.Get(), name.c_str(), linked) != 0 || linked.st_dev != st.st_dev ||
        linked.st_ino != st.st_ino) {
      RemoveName(folderFd_.Get(), name.c_str());
      ReleaseCleanup(slot);
      return;
    }
    keptName_ = name;
    keptDev_ = st.st_dev;
    keptIno_ = st.st_ino;
    ArmFileCleanup(slot, folderFd_.Get(), keptName_, keptDev_, keptIno_);
    keptSlot_ = slot;
    keptFd_ = std::move(locked);
    return;
  }
}

void TOutputFile::DropReplaced() {
  if (!keptName_.empty()) RemoveIfSame(folderFd_.Get(), keptName_.c_str(), keptDev_, keptIno_);
  UnlistCleanup(keptSlot_);
  keptName_.clear();
  keptFd_.Close();
}

void TOutputFile::Unplace() {
  TInterruptsHeld held;
  if (!keptName_.empty()) {
    if (FileOps().RenameAt(folderFd_.Get(), keptName_.c_str(), folderFd_.Get(), leaf_.c_str(), 0) == 0) {
      keptName_.clear();  // it has its own name again
      UnlistCleanup(keptSlot_);
      keptFd_.Close();
    }
  } else if (!replacing_) {
    RemoveIfSame(folderFd_.Get(), leaf_.c_str(), dev_, ino_);
  }
  committed_ = false;
}

// Gives the complete file the output's name, unless an interrupt has begun
// to remove what this process made: the handler may have emptied the
// scratch folder before the drawing's images were copied in, and the
// drawing would stand without them. A handler on another thread waits
// until the name is given; one on this thread comes after it.
int TOutputFile::Place() {
  TInterruptsHeld held;
  TPlacing placing;
  if (TPlacing::Ending()) return EINTR;

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
      int slot = ReserveCleanup();
      if (slot < 0) return kNoCleanupEntry;
      const std::string name = RandomName(TLeftover::kHiddenOutput);
      const int err = LinkUnnamed(name);
      if (err == 0) {
        tempName_ = name;
        ArmFileCleanup(slot, folderFd_.Get(), tempName_, dev_, ino_);
        slot_ = slot;
      } else {
        ReleaseCleanup(slot);
        if (err != EEXIST) return err;
      }
    }
  }
  if (!inPlace) {
    if (replacing_) KeepReplaced();
    if (FileOps().RenameAt(folderFd_.Get(), tempName_.c_str(), folderFd_.Get(), leaf_.c_str(), 0) != 0) {
      const int err = errno;
      DropReplaced();
      return err;
    }
  }
  committed_ = true;
  tempName_.clear();
  UnlistCleanup(slot_);
  return 0;
}

int TOutputFile::Commit() {
  if (committed_) return 0;
  if (commitError_ != 0) return commitError_;
  commitError_ = CommitOnce();
  return commitError_;
}

int TOutputFile::TakeReplacedMode() {
  struct stat own;
  if (const int err = LookAt(fd_.Get(), own)) return err;
  bool sameOwner = own.st_uid == targetUid_, sameGroup = own.st_gid == targetGid_;
  if (!sameOwner || !sameGroup) {
    // Refused (not root, or a file system that keeps no owners): the file
    // stays this user's.
    if (FileOps().Fchown(fd_.Get(), targetUid_, targetGid_) == 0) sameOwner = sameGroup = true;
    else if (errno != EPERM) return errno;
  }
  // The permission bits only, never set-user-ID, set-group-ID or sticky; and
  // only onto a file of the replaced file's owner: otherwise it stays as it
  // was made, private. A group not carried over gets what others had.
  if (!sameOwner) return 0;
  mode_t mode = targetMode_ & 0777;
  if (!sameGroup) mode = (mode & 0707) | ((mode & 07) << 3);
  if ((own.st_mode & 07777) != mode && FileOps().Fchmod(fd_.Get(), mode) != 0) return errno;
  return 0;
}

int TOutputFile::CommitOnce() {
  if (!fd_.Valid()) return EBADF;
  if (writing_) {
    const int err = writing_->Finish();
    writing_.reset();
    if (err != 0) return err;
  }
  if (keepMode_) {
    if (const int err = TakeReplacedMode()) return err;
  }
  if (FileOps().Fsync(fd_.Get()) != 0) return errno;

  if (const int err = Place()) return err;
  // The new name survives a power loss only once the folder is synced: a
  // sync that fails fails the output, and the name goes back to what it
  // was. Some file systems cannot sync a folder at all; there the file's
  // own data are synced.
  if (folderReadable_ && FileOps().Fsync(folderFd_.Get()) != 0 && errno != EINVAL && errno != EOPNOTSUPP) {
    const int err = errno;
    Unplace();
    DropReplaced();
    // Where the file replaced could not be kept (no hard links here, or
    // none allowed) or the disk refused to give it its name back, the new
    // file keeps the name: the caller must say so, not that nothing changed.
    struct stat now;
    placed_ = LookAt(folderFd_.Get(), leaf_.c_str(), now) == 0 && static_cast<uint64_t>(now.st_dev) == dev_ &&
              static_cast<uint64_t>(now.st_ino) == ino_;
    return err;
  }
  DropReplaced();
  fd_.Close();
  folderFd_.Close();
  return 0;
}

int WriteFileDurably(const std::string& path, const void* data, size_t size) {
  TOutputFile out;
  if (const int err = out.Open(path)) return err;
  if (const int err = WriteAll(out.Fd(), data, size)) return err;
  return out.Commit();
}

}  // namespace quorvex
