#include "os/fdio.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "os/fileops.h"

namespace quorvex {
namespace {

// Removes a file's name, trying again after a failure of the disk: a name
// that one failing call would leave stays only where the disk keeps
// failing. Safe in a signal handler.
void UnlinkTrying(int dirFd, const char* name) {
  for (int tries = 0; tries < 3; ++tries)
    if (FileOps().UnlinkAt(dirFd, name, 0) == 0 || errno == ENOENT || errno == ENOTDIR || errno == EISDIR) return;
}

// How many times a look at a file is made before its failure counts.
constexpr int kLookTries = 3;

// Looks at a file through the file calls, again after a failure that may
// pass; 0, or the system error number (ENOENT, ENOTDIR: nothing there).
int LookTrying(int dirFd, const char* path, struct stat& st, int flags) {
  for (int tries = 1;; ++tries) {
    if (FileOps().StatAt(dirFd, path, &st, flags) == 0) return 0;
    if (errno == ENOENT || errno == ENOTDIR || tries == kLookTries) return errno;
  }
}

// "." or "..".
bool IsDots(const char* name) { return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)); }

// Why a file of this type is not opened as a regular file.
int TypeError(mode_t mode) { return S_ISDIR(mode) ? EISDIR : S_ISLNK(mode) ? ELOOP : EINVAL; }

}  // namespace

void TFd::Close() { CloseFd(fd_); }

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

int WriteAll(int fd, const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  size_t done = 0;
  while (done < size) {
    // FileOps() makes an interrupted call again; what takes only part of
    // the bytes is given the rest.
    const long r = FileOps().Write(fd, p + done, size - done);
    if (r < 0) return errno;
    if (r == 0) return EIO;
    done += static_cast<size_t>(r);
  }
  return 0;
}

int ReadSome(int fd, void* data, size_t size, size_t& got) {
  got = 0;
  const long r = FileOps().Read(fd, data, size);  // made again when interrupted
  if (r < 0) return errno;
  got = static_cast<size_t>(r);
  return 0;
}

int OpenRegularFile(const std::string& path, bool followLinks, TFd& fd, uint64_t& size) {
  fd.Close();
  // The type is looked at before anything is opened: opening a pipe for
  // reading waits for a writer that may never come, and opening a device
  // may act on it. The open itself never waits either, and the type is
  // checked again on what was opened, in case the name was replaced
  // between the two.
  struct stat st{};
  if (const int err = LookTrying(AT_FDCWD, path.c_str(), st, followLinks ? 0 : AT_SYMLINK_NOFOLLOW)) return err;
  if (!S_ISREG(st.st_mode)) return TypeError(st.st_mode);
  fd = TFd(FileOps().OpenAt(AT_FDCWD, path.c_str(),
                            O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW), 0));
  if (!fd.Valid()) return errno;
  int err = LookAt(fd.Get(), st);
  if (err == 0 && !S_ISREG(st.st_mode)) err = TypeError(st.st_mode);
  if (err == 0) {
    const int flags = ::fcntl(fd.Get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0) err = errno;
  }
  if (err != 0) {
    fd.Close();
    return err;
  }
  size = static_cast<uint64_t>(st.st_size);
  return 0;
}

int ReadRegularFile(const std::string& path, std::vector<uint8_t>& out) {
  out.clear();
  TFd fd;
  uint64_t size = 0;
  if (const int err = OpenRegularFile(path, false, fd, size)) return err;
  if (size > out.max_size()) return EFBIG;
  out.resize(static_cast<size_t>(size));
  size_t done = 0;
  while (done < out.size()) {
    size_t got = 0;
    if (const int err = ReadSome(fd.Get(), out.data() + done, out.size() - done, got)) return err;
    if (got == 0) break;  // the file shrank meanwhile
    done += got;
  }
  out.resize(done);
  return 0;
}

int CreateNewFile(const std::string& path, TFd& fd) {
  RemoveFile(path);
  fd = TFd(FileOps().OpenAt(AT_FDCWD, path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!fd.Valid()) return errno != 0 ? errno : EIO;
  return 0;
}

int CloseWritten(TFd& fd) {
  return FileOps().CloseWritten(fd.Release()) == 0 ? 0 : errno;
}

void RemoveFile(const std::string& path) { UnlinkTrying(AT_FDCWD, path.c_str()); }

bool PathMissing(const std::string& path) {
  struct stat st{};
  return LookAt(AT_FDCWD, path.c_str(), st) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

int LookAt(int parentFd, const char* name, struct stat& st) {
  return LookTrying(parentFd, name, st, AT_SYMLINK_NOFOLLOW);
}

int LookAt(int fd, struct stat& st) { return LookTrying(fd, "", st, AT_EMPTY_PATH); }

bool SameFile(const std::string& a, const std::string& b) {
  const std::optional<TFileId> fa = FileAt(a, true);
  return fa && fa == FileAt(b, true);
}

std::optional<TFileId> FileAt(const std::string& path, bool followLinks) {
  struct stat st{};
  if (LookTrying(AT_FDCWD, path.c_str(), st, followLinks ? 0 : AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
  return TFileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

std::optional<uint64_t> RegularFileSize(const std::string& path) {
  uint64_t size = 0;
  if (RegularFileAt(path, size) != 0) return std::nullopt;
  return size;
}

int RegularFileAt(const std::string& path, uint64_t& size) {
  struct stat st{};
  if (const int err = LookTrying(AT_FDCWD, path.c_str(), st, 0)) return err;
  if (!S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  size = static_cast<uint64_t>(st.st_size);
  return 0;
}

int FolderAt(const std::string& path) {
  struct stat st{};
  if (const int err = LookTrying(AT_FDCWD, path.c_str(), st, 0)) return err;
  return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

bool NamesNoRegularFile(int err) { return err == ENOENT || err == ENOTDIR || err == EISDIR || err == EINVAL; }

void RemoveIfSame(int parentFd, const char* name, uint64_t dev, uint64_t ino) {
  struct stat st;
  if (LookAt(parentFd, name, st) == 0 && st.st_dev == dev && st.st_ino == ino) UnlinkTrying(parentFd, name);
}

void RemoveName(int parentFd, const char* name) { UnlinkTrying(parentFd, name); }

void EmptyFolder(int fd) {
  alignas(8) char buf[4096];
  for (int pass = 0; pass < 16; ++pass) {
    if (::lseek(fd, 0, SEEK_SET) < 0) return;
    int seen = 0, removed = 0;
    for (;;) {
      const ssize_t n = ::getdents64(fd, buf, sizeof buf);
      if (n <= 0) break;
      for (ssize_t at = 0; at < n;) {
        const auto* d = reinterpret_cast<const struct dirent64*>(buf + at);
        at += d->d_reclen;
        if (IsDots(d->d_name)) continue;
        ++seen;
        if (FileOps().UnlinkAt(fd, d->d_name, 0) == 0) ++removed;
      }
    }
    if (seen == 0 || removed == 0) return;
  }
}

}  // namespace quorvex
