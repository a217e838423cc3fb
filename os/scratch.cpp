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

int TScratchFolder::Create(const std::string& base) {
  Remove();
  std::string folder = base;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (folder.empty()) return ENOENT;
  baseFd_ = FileOps().OpenAt(AT_FDCWD, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (baseFd_ < 0) return errno;
  SweepOnce(baseFd_, TLeftover::kScratchFolder);
  if (folder != "/") folder += '/';
  for (int i = 0; i < kNameTries; ++i) {
    TInterruptsHeld held;
    int slot = ReserveCleanup();
    if (slot < 0) {
      CloseFd(baseFd_);
      return kNoCleanupEntry;
    }
    const std::string name = RandomName(TLeftover::kScratchFolder);
    if (FileOps().MkdirAt(baseFd_, name.c_str(), 0700) != 0) {
      const int err = errno;
      ReleaseCleanup(slot);
      if (err == EEXIST) continue;
      CloseFd(baseFd_);
      return err;
    }
    const int fd = FileOps().OpenAt(baseFd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
    if (fd < 0 && errno != ENOENT) {
      // It cannot be opened (no descriptor left, a failing disk): it goes
      // again, empty as it was made, and the session has none.
      const int err = errno;
      FileOps().UnlinkAt(baseFd_, name.c_str(), AT_REMOVEDIR);
      ReleaseCleanup(slot);
      CloseFd(baseFd_);
      return err;
    }
    const int locked = fd < 0 ? EAGAIN : LockNew(baseFd_, name, fd);
    if (locked != 0) {
      // A sweeper removed it already, or has it and removes it; or it
      // cannot be looked at, and goes again, empty as it was made.
      if (fd >= 0) ::close(fd);
      ReleaseCleanup(slot);
      if (locked == EAGAIN) continue;
      FileOps().UnlinkAt(baseFd_, name.c_str(), AT_REMOVEDIR);
      CloseFd(baseFd_);
      return locked;
    }
    fd_ = fd;
    name_ = name;
    path_ = folder + name + "/";
    ArmFolderCleanup(slot, baseFd_, fd_, name_, RandomName(TLeftover::kScratchFolder));
    slot_ = slot;
    return 0;
  }
  CloseFd(baseFd_);
  return EEXIST;
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
