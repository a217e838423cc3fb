#include "os/trash.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "os/fdio.h"
#include "os/fileops.h"

namespace quorvex {
namespace {

// How many numbered names ("plan.2.jww", "plan.3.jww" ...) are tried when
// the trash holds the name already.
constexpr int kTrashNameTries = 10000;

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string LeafOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The path from the working folder's.
std::string Absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
  return cwd ? std::string(cwd.get()) + "/" + path : std::string();
}

// A path as a trash's info file holds it: every byte but letters, digits,
// "-._~" and '/' as %XX.
std::string Escaped(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : path) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '.' || c == '_' || c == '~' || c == '/';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// The local time as an info file's DeletionDate holds it.
std::string Now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  char text[32] = "";
  if (::localtime_r(&now, &local)) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

// The n-th name for a file in the trash: "plan.jww", "plan.2.jww" ...
std::string Numbered(const std::string& leaf, int n) {
  if (n == 1) return leaf;
  const size_t dot = leaf.rfind('.');
  if (dot == std::string::npos || dot == 0) return leaf + "." + std::to_string(n);
  return leaf.substr(0, dot) + "." + std::to_string(n) + leaf.substr(dot);
}

// Looks at a path, links followed. 0, or the system error number.
int Look(const std::string& path, struct stat& st) {
  return FileOps().StatAt(AT_FDCWD, path.c_str(), &st, 0) == 0 ? 0 : errno;
}

// The device of the nearest folder of the path that exists (the path
// itself first).
int NearestDevice(std::string path, uint64_t& dev) {
  for (;;) {
    struct stat st{};
    const int err = Look(path, st);
    if (err == 0) {
      dev = st.st_dev;
      return 0;
    }
    if ((err != ENOENT && err != ENOTDIR) || path == "/") return err;
    path = FolderOf(path);
  }
}

// The top folder of the file system a folder (its real path) lies on: the
// last folder up from it on the same device.
std::string TopOf(std::string folder, uint64_t dev) {
  while (folder != "/") {
    const std::string up = FolderOf(folder);
    struct stat st{};
    if (Look(up, st) != 0 || static_cast<uint64_t>(st.st_dev) != dev) break;
    folder = up;
  }
  return folder;
}

// Whether file managers keep no trash at the top of the file system whose
// top folder this is, as GIO (GNOME's and XFCE's file managers) judges it:
// a file system of the system's own kind (memory, the kernel's views, an
// overlay) or one mounted at a folder of the system's. A file there is put
// into no trash, where the user would not find it.
bool SystemMount(const std::string& top) {
  static const char* const kFolders[] = {
      "/",         "/bin",      "/boot",     "/dev",      "/etc",          "/home",     "/lib",     "/lib64",
      "/libexec",  "/live/cow", "/live/image", "/media",  "/mnt",          "/opt",      "/rescue",  "/root",
      "/run",      "/sbin",     "/srv",      "/sys",      "/proc",         "/tmp",      "/usr",     "/usr/local",
      "/usr/src",  "/var",      "/var/crash", "/var/local", "/var/lib",    "/var/log",  "/var/log/audit",
      "/var/mail", "/var/run",  "/var/tmp"};
  for (const char* folder : kFolders)
    if (top == folder) return true;
  for (const char* under : {"/dev/", "/proc/", "/sys/"})
    if (top.starts_with(under)) return true;
  struct statfs fs{};
  if (::statfs(top.c_str(), &fs) != 0) return true;
  // tmpfs and devtmpfs, ramfs, overlay, proc, sysfs, devpts, autofs,
  // cgroup (1 and 2), debugfs, securityfs, pstore, hugetlbfs, mqueue,
  // configfs, fusectl, ecryptfs, zfs.
  static const unsigned long kTypes[] = {TMPFS_MAGIC,     RAMFS_MAGIC,   OVERLAYFS_SUPER_MAGIC, PROC_SUPER_MAGIC,
                                         SYSFS_MAGIC,     DEVPTS_SUPER_MAGIC, AUTOFS_SUPER_MAGIC, CGROUP_SUPER_MAGIC,
                                         CGROUP2_SUPER_MAGIC, DEBUGFS_MAGIC, SECURITYFS_MAGIC, PSTOREFS_MAGIC,
                                         HUGETLBFS_MAGIC, 0x19800202ul /* mqueue */, 0x62656570ul /* configfs */,
                                         0x65735543ul /* fusectl */, ECRYPTFS_SUPER_MAGIC, 0x2fc12fc1ul /* zfs */};
  const unsigned long type = static_cast<unsigned long>(fs.f_type);
  return std::find(std::begin(kTypes), std::end(kTypes), type) != std::end(kTypes);
}

// Makes a folder of mode 0700 unless there is one; with `own`, what stands
// there must be a folder of this user's and no link. 0, or the system
// error number.
int MakeFolder(const std::string& path, bool own) {
  if (FileOps().MkdirAt(AT_FDCWD, path.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  struct stat st{};
  const int err = own ? LookAt(AT_FDCWD, path.c_str(), st) : Look(path, st);
  if (err != 0) return err;
  if (!S_ISDIR(st.st_mode)) return ENOTDIR;
  if (own && st.st_uid != ::geteuid()) return EPERM;
  return 0;
}

// The same for every folder of the path that is missing.
int MakeFolders(const std::string& path) {
  struct stat st{};
  if (Look(path, st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
  if (path != "/") {
    if (const int err = MakeFolders(FolderOf(path))) return err;
  }
  return MakeFolder(path, false);
}

// The trash for a file on this device in this folder (its real path), its
// files/ and info/ made; and the file's path as its info file names it
// (from the top folder for a trash there).
int TrashFor(const std::string& folder, const std::string& leaf, uint64_t dev, std::string& trash,
             std::string& original) {
  const std::string home = HomeTrash();
  uint64_t homeDev = 0;
  if (!home.empty() && NearestDevice(home, homeDev) == 0 && homeDev == dev) {
    if (const int err = MakeFolders(home)) return err;
    trash = home;
    original = (folder == "/" ? "" : folder) + "/" + leaf;
  } else {
    const std::string top = TopOf(folder, dev);
    if (SystemMount(top)) return EXDEV;
    const std::string base = top == "/" ? "" : top;
    const std::string uid = std::to_string(::geteuid());
    trash.clear();
    // An administrator's shared .Trash, a real folder with the sticky bit,
    // holds a folder for each user.
    struct stat shared{};
    if (LookAt(AT_FDCWD, (base + "/.Trash").c_str(), shared) == 0 && S_ISDIR(shared.st_mode) &&
        (shared.st_mode & S_ISVTX) && MakeFolder(base + "/.Trash/" + uid, true) == 0)
      trash = base + "/.Trash/" + uid;
    if (trash.empty()) {
      if (MakeFolder(base + "/.Trash-" + uid, true) != 0) return EXDEV;
      trash = base + "/.Trash-" + uid;
    }
    original = folder.substr(base.size() + (folder.size() > base.size() ? 1 : 0));
    original += original.empty() ? leaf : "/" + leaf;
  }
  for (const char* part : {"/files", "/info"}) {
    if (const int err = MakeFolder(trash + part, trash != home)) return err;
  }
  return 0;
}

// Renames without replacing what stands at the new name, also where the
// file system cannot be told so (the name is looked at first there).
int RenameNoReplace(int fromFd, const char* from, int toFd, const char* to) {
  if (FileOps().RenameAt(fromFd, from, toFd, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  struct stat st{};
  const int look = LookAt(toFd, to, st);
  if (look == 0) return EEXIST;
  if (look != ENOENT) return look;
  return FileOps().RenameAt(fromFd, from, toFd, to, 0) == 0 ? 0 : errno;
}

TFd OpenFolder(const std::string& path) {
  return TFd(FileOps().OpenAt(AT_FDCWD, path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
}

}  // namespace

std::string HomeTrash() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && data[0] == '/') return std::string(data) + "/Trash";
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.local/share/Trash";
  return {};
}

int PutInTrash(const std::string& path, bool keepName, TTrashEntry& entry) {
  const std::string absolute = Absolute(path);
  if (absolute.empty()) return errno != 0 ? errno : ENOENT;
  const std::string leaf = LeafOf(absolute);
  if (leaf.empty() || leaf == "." || leaf == "..") return EISDIR;
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(FolderOf(absolute).c_str(), nullptr), &std::free);
  if (!real) return errno;
  const std::string folder = real.get();
  const TFd folderFd = OpenFolder(folder);
  if (!folderFd.Valid()) return errno;
  struct stat st{};
  if (const int err = LookAt(folderFd.Get(), leaf.c_str(), st)) return err;
  if (!S_ISREG(st.st_mode)) return EINVAL;

  std::string trash, original;
  if (const int err = TrashFor(folder, leaf, st.st_dev, trash, original)) return err;
  const TFd filesFd = OpenFolder(trash + "/files"), infoFd = OpenFolder(trash + "/info");
  if (!filesFd.Valid() || !infoFd.Valid()) return errno;
  const std::string info = "[Trash Info]\nPath=" + Escaped(original) + "\nDeletionDate=" + Now() + "\n";

  // The info file is made first, under a name no other has: it holds the
  // name in files/ for this file.
  for (int n = 1; n <= kTrashNameTries; ++n) {
    const std::string name = Numbered(leaf, n), infoName = name + ".trashinfo";
    TFd out(FileOps().OpenAt(infoFd.Get(), infoName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                             0600));
    if (!out.Valid()) {
      if (errno == EEXIST) continue;
      return errno;
    }
    int err = WriteAll(out.Get(), info.data(), info.size());
    if (err == 0) err = CloseWritten(out);
    if (err == 0) {
      err = keepName ? (FileOps().LinkAt(folderFd.Get(), leaf.c_str(), filesFd.Get(), name.c_str(), 0) == 0 ? 0 : errno)
                     : RenameNoReplace(folderFd.Get(), leaf.c_str(), filesFd.Get(), name.c_str());
    }
    if (err != 0) {
      RemoveName(infoFd.Get(), infoName.c_str());
      if (err == EEXIST) continue;  // a file in the trash without its info file
      return err;
    }
    struct stat in{};
    if (LookAt(filesFd.Get(), name.c_str(), in) != 0) in = st;
    entry.Trash = trash;
    entry.Name = name;
    entry.Dev = in.st_dev;
    entry.Ino = in.st_ino;
    return 0;
  }
  return EEXIST;
}

void RemoveFromTrash(const TTrashEntry& entry) {
  const TFd filesFd = OpenFolder(entry.Trash + "/files"), infoFd = OpenFolder(entry.Trash + "/info");
  if (filesFd.Valid()) RemoveIfSame(filesFd.Get(), entry.Name.c_str(), entry.Dev, entry.Ino);
  if (infoFd.Valid()) RemoveName(infoFd.Get(), (entry.Name + ".trashinfo").c_str());
}

int RestoreFromTrash(const TTrashEntry& entry, const std::string& path) {
  const TFd filesFd = OpenFolder(entry.Trash + "/files");
  if (!filesFd.Valid()) return errno;
  if (const int err = RenameNoReplace(filesFd.Get(), entry.Name.c_str(), AT_FDCWD, path.c_str())) return err;
  const TFd infoFd = OpenFolder(entry.Trash + "/info");
  if (infoFd.Valid()) RemoveName(infoFd.Get(), (entry.Name + ".trashinfo").c_str());
  return 0;
}

}  // namespace quorvex
