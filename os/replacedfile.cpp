#include "os/replacedfile.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/random.h>
#include <sys/stat.h>

#include <cerrno>

#include "os/fdio.h"
#include "os/fileops.h"

namespace quorvex {
namespace {

// Whether a link failed because the file system gives files no second
// name (FAT, some network shares) or refuses one to this file (a file of
// another user's where links are protected).
bool NoSecondNames(int err) { return err == EPERM || err == EOPNOTSUPP || err == EMLINK || err == ENOSYS; }

// ".NAME~" and six random letters, in the output's folder: the second name
// that becomes NAME~ once the output is in place. A run that ends between
// leaves it behind rather than the old file lost.
std::string HeldName(const std::string& output) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char r[6] = {};
  if (::getrandom(r, sizeof r, 0) != static_cast<ssize_t>(sizeof r)) {
    static unsigned counter = 0;
    unsigned x = ++counter * 2654435761u;
    for (unsigned char& b : r) b = static_cast<unsigned char>(x), x = x * 1103515245u + 12345u;
  }
  const size_t slash = output.rfind('/');
  std::string name = output.substr(0, slash + 1) + "." + output.substr(slash + 1) + "~";
  for (const unsigned char b : r) name += kLetters[b % 36];
  return name;
}

int Link(const std::string& from, const std::string& to) {
  return FileOps().LinkAt(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 0) == 0 ? 0 : errno;
}

int Rename(const std::string& from, const std::string& to, unsigned flags) {
  return FileOps().RenameAt(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), flags) == 0 ? 0 : errno;
}

// Removes a name while it still leads to this file.
void RemoveIfStill(const std::string& path, uint64_t dev, uint64_t ino) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const TFd fd(FileOps().OpenAt(AT_FDCWD, folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
  if (fd.Valid()) RemoveIfSame(fd.Get(), path.c_str() + slash + 1, dev, ino);
}

}  // namespace

TReplacedFile::~TReplacedFile() {
  if (way_ != TWay::kNone) (void)NotReplaced();
}

int TReplacedFile::Keep(const std::string& output) {
  output_ = output;
  way_ = TWay::kNone;
  struct stat st{};
  // A name that cannot be looked at may hide a drawing: it is not replaced.
  if (const int look = LookAt(AT_FDCWD, output.c_str(), st)) return look == ENOENT || look == ENOTDIR ? 0 : look;
  if (!S_ISREG(st.st_mode)) return 0;
  dev_ = st.st_dev;
  ino_ = st.st_ino;

  trashError_ = PutInTrash(output, true, trash_);
  if (trashError_ == 0) {
    way_ = TWay::kTrashLinked;
    return 0;
  }
  if (NoSecondNames(trashError_)) {
    trashError_ = PutInTrash(output, false, trash_);
    if (trashError_ == 0) {
      way_ = TWay::kTrashMoved;
      return 0;
    }
  }

  backup_ = output + "~";
  int err = EEXIST;
  for (int tries = 0; tries < 100 && err == EEXIST; ++tries) {
    held_ = HeldName(output);
    err = Link(output, held_);
  }
  if (err == 0) {
    way_ = TWay::kBackupLinked;
    return 0;
  }
  if (!NoSecondNames(err)) return err;
  // No second names here: the file takes the backup's name now (an older
  // backup goes, as with cp --backup) and gets its own back should the
  // output fail.
  if (const int moved = Rename(output, backup_, 0)) return moved;
  way_ = TWay::kBackupMoved;
  return 0;
}

TKeptFile TReplacedFile::Replaced() {
  TKeptFile kept;
  switch (way_) {
    case TWay::kNone: return kept;
    case TWay::kTrashLinked:
    case TWay::kTrashMoved:
      kept.Where = TKeptIn::kTrash;
      kept.Path = trash_.File();
      break;
    case TWay::kBackupLinked:
      kept.Where = TKeptIn::kBackup;
      kept.TrashError = trashError_;
      // Where the hidden name cannot become NAME~, the file stays under it.
      kept.Path = Rename(held_, backup_, 0) == 0 ? backup_ : held_;
      break;
    case TWay::kBackupMoved:
      kept.Where = TKeptIn::kBackup;
      kept.TrashError = trashError_;
      kept.Path = backup_;
      break;
  }
  way_ = TWay::kNone;
  return kept;
}

TKeptFile TReplacedFile::NotReplaced() {
  TKeptFile kept;
  switch (way_) {
    case TWay::kNone: break;
    case TWay::kTrashLinked: RemoveFromTrash(trash_); break;
    case TWay::kTrashMoved:
      if (RestoreFromTrash(trash_, output_) != 0) {
        kept.Where = TKeptIn::kTrash;
        kept.Path = trash_.File();
      }
      break;
    case TWay::kBackupLinked: RemoveIfStill(held_, dev_, ino_); break;
    case TWay::kBackupMoved:
      if (Rename(backup_, output_, RENAME_NOREPLACE) != 0) {
        kept.Where = TKeptIn::kBackup;
        kept.TrashError = trashError_;
        kept.Path = backup_;
      }
      break;
  }
  way_ = TWay::kNone;
  return kept;
}

}  // namespace quorvex
