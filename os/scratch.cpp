#include "os/scratch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "os/fdio.h"
#include "os/fileops.h"
#include "os/interrupts.h"
#include "os/leftovers.h"

namespace quorvex {

std::vector<std::string> ScratchBases() {
  std::vector<std::string> bases;
  for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"})
    if (const char* v = std::getenv(name); v && *v) bases.emplace_back(v);
  bases.emplace_back("/tmp");
  return bases;
}

int MakeOwnFolder(int baseFd, unsigned mode, std::string& name, int& fd, int& slot) {
  for (int i = 0; i < kNameTries; ++i) {
    TInterruptsHeld held;
    int reserved = ReserveCleanup();
    if (reserved < 0) return kNoCleanupEntry;
    const std::string made = RandomName(TLeftover::kScratchFolder);
    if (FileOps().MkdirAt(baseFd, made.c_str(), mode) != 0) {
      const int err = errno;
      ReleaseCleanup(reserved);
      if (err == EEXIST) continue;
      return err;
    }
    const int own = FileOps().OpenAt(baseFd, made.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
    if (own < 0 && errno != ENOENT) {
      // It cannot be opened (no descriptor left, a failing disk): it goes
      // again, empty as it was made.
      const int err = errno;
      FileOps().UnlinkAt(baseFd, made.c_str(), AT_REMOVEDIR);
      ReleaseCleanup(reserved);
      return err;
    }
    const int locked = own < 0 ? EAGAIN : LockNew(baseFd, made, own);
    if (locked != 0) {
      // A sweeper removed it already, or has it and removes it; or it
      // cannot be looked at, and goes again, empty as it was made.
      if (own >= 0) ::close(own);
      ReleaseCleanup(reserved);
      if (locked == EAGAIN) continue;
      FileOps().UnlinkAt(baseFd, made.c_str(), AT_REMOVEDIR);
      return locked;
    }
    name = made;
    fd = own;
    ArmFolderCleanup(reserved, baseFd, fd, name, RandomName(TLeftover::kScratchFolder));
    slot = reserved;
    return 0;
  }
  return EEXIST;
}

int TScratchFolder::Create(const std::string& base) {
  Remove();
  std::string folder = base;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (folder.empty()) return ENOENT;
  baseFd_ = FileOps().OpenAt(AT_FDCWD, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (baseFd_ < 0) return errno;
  SweepOnce(baseFd_, TLeftover::kScratchFolder);
  if (folder != "/") folder += '/';
  if (const int err = MakeOwnFolder(baseFd_, 0700, name_, fd_, slot_)) {
    CloseFd(baseFd_);
    return err;
  }
  path_ = folder + name_ + "/";
  return 0;
}

int TScratchFolder::CreateInFirst(const std::vector<std::string>& bases) {
  int err = ENOENT;
  for (const std::string& base : bases)
    if ((err = Create(base)) == 0) break;
  return err;
}

void TScratchFolder::Remove() {
  if (fd_ >= 0) {
    // Again when a removal fails: a disk that failed for a moment (twice,
    // as it may), or a file that came in meanwhile.
    for (int tries = 0; tries < 3; ++tries) {
      EmptyFolder(fd_);
      if (FileOps().UnlinkAt(baseFd_, name_.c_str(), AT_REMOVEDIR) == 0) break;
    }
  }
  UnlistCleanup(slot_);
  CloseFd(fd_);  // gives up the lock last
  CloseFd(baseFd_);
  name_.clear();
  path_.clear();
}

}  // namespace quorvex
