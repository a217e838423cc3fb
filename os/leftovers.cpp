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
#include <mutex>
#include <set>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "os/fdio.h"
#include "os/fileops.h"
#include "os/interrupts.h"

namespace quorvex {
namespace {

// A name this program gives is its kind's prefix, a fixed tag, the
// process's id and six random letters or digits:
//   quorvex-scratch-3f9c2e7a51d84b06-12345-Ab3xZ9   a scratch folder
//   .quorvex-output-3f9c2e7a51d84b06-12345-Ab3xZ9   a hidden temporary output
// A user's own file or folder does not carry the tag by accident (a folder
// "quorvex-master" of an unpacked archive, a ".quorvex-config"), so a sweep
// that goes only by the whole form never takes one of them for a leftover.
constexpr char kScratchPrefix[] = "quorvex-scratch-";
constexpr char kOutputPrefix[] = ".quorvex-output-";
constexpr char kTag[] = "3f9c2e7a51d84b06-";
constexpr size_t kMaxPidDigits = 10;
constexpr size_t kRandomLength = 6;
constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
// A scratch folder is moved aside to a name of its own kind before it is
// emptied by an interrupt.
static_assert(sizeof kScratchPrefix - 1 + sizeof kTag - 1 + kMaxPidDigits + 1 + kRandomLength <= kCleanupAsideMax);

const char* Prefix(TLeftover kind) { return kind == TLeftover::kScratchFolder ? kScratchPrefix : kOutputPrefix; }

// Whether a name has the whole form of this kind's names.
bool IsOwnName(const char* name, TLeftover kind) {
  std::string_view n(name);
  for (std::string_view part : {std::string_view(Prefix(kind)), std::string_view(kTag)}) {
    if (!n.starts_with(part)) return false;
    n.remove_prefix(part.size());
  }
  size_t digits = 0;
  while (digits < n.size() && n[digits] >= '0' && n[digits] <= '9') ++digits;
  if (digits == 0 || digits > kMaxPidDigits || n[0] == '0' || digits == n.size() || n[digits] != '-') return false;
  n.remove_prefix(digits + 1);
  return n.size() == kRandomLength && n.find_first_not_of(kLetters) == std::string_view::npos;
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
  name += kTag;
  name += std::to_string(static_cast<unsigned long>(::getpid()));
  name += '-';
  for (unsigned char b : r) name += kLetters[b % (sizeof kLetters - 1)];
  return name;
}

int LockNew(int parentFd, const std::string& name, int fd) {
  if (FileOps().Flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) return EAGAIN;
  struct stat own, named;
  if (const int err = LookAt(fd, own)) return err;
  if (own.st_nlink == 0) return EAGAIN;
  const int err = LookAt(parentFd, name.c_str(), named);
  if (err == ENOENT) return EAGAIN;
  if (err != 0) return err;
  return SameInode(own, named) ? 0 : EAGAIN;
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
    if (IsOwnName(d->d_name, kind)) names.emplace_back(d->d_name);
  ::closedir(dir);

  const uid_t me = ::geteuid();
  for (const std::string& name : names) {
    struct stat st;
    if (LookAt(folderFd, name.c_str(), st) != 0 || st.st_uid != me) continue;
    if (folders ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode)) continue;
    const int flags = (folders ? O_DIRECTORY : O_NONBLOCK | O_NOCTTY) | O_RDONLY | O_NOFOLLOW | O_CLOEXEC;
    const int fd = FileOps().OpenAt(folderFd, name.c_str(), flags, 0);
    if (fd < 0) continue;
    struct stat locked;
    if (FileOps().Flock(fd, LOCK_EX | LOCK_NB) == 0 && LookAt(fd, locked) == 0 && SameInode(st, locked)) {
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

void SweepOnce(int folderFd, TLeftover kind) {
  struct stat st;
  if (LookAt(folderFd, st) != 0) return;
  static std::mutex mutex;
  static std::set<std::tuple<dev_t, ino_t, TLeftover>> swept;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!swept.insert({st.st_dev, st.st_ino, kind}).second) return;
  }
  SweepLeftovers(folderFd, kind);
}

}  // namespace quorvex
