#include "os/leftovers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "os/fdio.h"
#include "os/fileops.h"
#include "os/interrupts.h"

namespace quorvex {
namespace {

constexpr char kScratchPrefix[] = "quorvex-";  // then six letters or digits
constexpr char kOutputPrefix[] = ".quorvex-";  // likewise
constexpr size_t kRandomLength = 6;
constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
// A scratch folder is moved aside to a name of its own kind before it is
// emptied by an interrupt.
static_assert(sizeof kOutputPrefix - 1 + kRandomLength <= kCleanupAsideMax);

const char* Prefix(TLeftover kind) { return kind == TLeftover::kScratchFolder ? kScratchPrefix : kOutputPrefix; }

bool IsRandomName(const char* name, const char* prefix) {
  const size_t p = std::strlen(prefix);
  if (std::strncmp(name, prefix, p) != 0 || std::strlen(name) != p + kRandomLength) return false;
  for (size_t i = p; i < p + kRandomLength; ++i)
    if (!std::strchr(kLetters, name[i])) return false;
  return true;
}

bool SameInode(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

std::string RandomName(TLeftover kind) {
  unsigned char r[kRandomLength];
  if (::getrandom(r, sizeof r, 0) != static_cast<ssize_t>(sizeof r)) {
    static std::atomic<unsigned> counter{0};
    struct timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    unsigned long long x = static_cast<unsigned long long>(ts.tv_nsec) ^ (static_cast<unsigned long long>(::getpid()) << 20) ^
                           (static_cast<unsigned long long>(counter++) << 40);
    for (unsigned char& b : r) b = static_cast<unsigned char>(x), x = x * 6364136223846793005ULL + 1442695040888963407ULL;
  }
  std::string name = Prefix(kind);
  for (unsigned char b : r) name += kLetters[b % (sizeof kLetters - 1)];
  return name;
}

bool LockNew(int parentFd, const std::string& name, int fd) {
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) return false;
  struct stat own, named;
  return ::fstat(fd, &own) == 0 && own.st_nlink > 0 &&
         ::fstatat(parentFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && SameInode(own, named);
}

void SweepLeftovers(int folderFd, TLeftover kind) {
  const int listFd = FileOps().OpenAt(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (listFd < 0) return;
  DIR* dir = ::fdopendir(listFd);
  if (!dir) {
    ::close(listFd);
    return;
  }
  const bool folders = kind == TLeftover::kScratchFolder;
  std::vector<std::string> names;
  while (const struct dirent* d = ::readdir(dir))
    if (IsRandomName(d->d_name, Prefix(kind))) names.emplace_back(d->d_name);
  ::closedir(dir);

  const uid_t me = ::geteuid();
  for (const std::string& name : names) {
    struct stat st;
    if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_uid != me) continue;
    if (folders ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode)) continue;
    const int flags = (folders ? O_DIRECTORY : O_NONBLOCK | O_NOCTTY) | O_RDONLY | O_NOFOLLOW | O_CLOEXEC;
    const int fd = FileOps().OpenAt(folderFd, name.c_str(), flags, 0);
    if (fd < 0) continue;
    struct stat locked;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &locked) == 0 && SameInode(st, locked)) {
      if (folders) {
        EmptyFolder(fd);
        FileOps().UnlinkAt(folderFd, name.c_str(), AT_REMOVEDIR);
      } else {
        RemoveIfSame(folderFd, name.c_str(), locked.st_dev, locked.st_ino);
      }
    }
    ::close(fd);
  }
}

void SweepOutputFolderOnce(int folderFd) {
  struct stat st;
  if (::fstat(folderFd, &st) != 0) return;
  static std::mutex mutex;
  static std::set<std::pair<dev_t, ino_t>> swept;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!swept.insert({st.st_dev, st.st_ino}).second) return;
  }
  SweepLeftovers(folderFd, TLeftover::kHiddenOutput);
}

}  // namespace quorvex
