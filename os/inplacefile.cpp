#include "os/inplacefile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "os/fdio.h"
#include "os/fileops.h"
#include "os/outputfile.h"

namespace quorvex {
namespace {

// A regular file with one name: the only kind written into. A file with
// other names may be someone else's too (a hard link of the drawing, say).
bool OneNamedRegularFile(const struct stat& st) { return S_ISREG(st.st_mode) && st.st_nlink == 1; }

}  // namespace

int WriteFileInPlace(const std::string& path, const void* data, size_t size) {
  // A name that cannot be looked at may well be the caller's file: it is
  // neither written into nor replaced.
  struct stat named{};
  const int look = LookAt(AT_FDCWD, path.c_str(), named);
  if (look != 0 && look != ENOENT) return look;
  if (look != 0 || !OneNamedRegularFile(named)) return WriteFileDurably(path, data, size);
  // Never waits and never follows a link, should the name have been
  // replaced since it was looked at; what was opened is checked again.
  TFd fd(FileOps().OpenAt(AT_FDCWD, path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0));
  if (!fd.Valid()) return errno;
  struct stat opened{};
  if (const int err = LookAt(fd.Get(), opened)) return err;
  if (!OneNamedRegularFile(opened) || opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
    fd.Close();
    return WriteFileDurably(path, data, size);
  }
  int err = FileOps().Ftruncate(fd.Get(), 0) != 0 ? errno : 0;
  if (err == 0) err = WriteAll(fd.Get(), data, size);
  if (err != 0) {
    // A reader must not take half a file for the whole: empty it again.
    (void)FileOps().Ftruncate(fd.Get(), 0);
    fd.Close();
    return err;
  }
  return CloseWritten(fd);
}

}  // namespace quorvex
