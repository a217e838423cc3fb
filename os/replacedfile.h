// A file an output is about to replace, kept where a user finds it again:
// in the desktop's trash (os/trash.h), from which a file manager restores
// it, or where no trash can take it, beside the output as NAME~ (the
// simple backup `cp --backup` makes). It keeps its own name until the new
// file takes that name, so that nothing is lost however the writing ends.
#pragma once

#include <cstdint>
#include <string>

#include "os/trash.h"

namespace quorvex {

enum class TKeptIn {
  kNothing,  // nothing was replaced (or it stands at its own name again)
  kTrash,    // in the desktop's trash
  kBackup,   // beside the output, as NAME~
};

// Where the file an output replaced is.
struct TKeptFile {
  TKeptIn Where = TKeptIn::kNothing;
  std::string Path;    // its path there
  int TrashError = 0;  // kBackup: why no trash could take it
};

class TReplacedFile {
 public:
  TReplacedFile() = default;
  // A keep that was neither Replaced nor NotReplaced is undone, as after
  // NotReplaced.
  ~TReplacedFile();
  TReplacedFile(const TReplacedFile&) = delete;
  TReplacedFile& operator=(const TReplacedFile&) = delete;

  // Before the output is written: the regular file that stands at its
  // name, if one does, gets a second name in the trash (it keeps its own
  // until replaced) or, where files have no second names, is moved there;
  // failing both, the same is done with NAME~ beside it (NAME~ itself is
  // replaced only once the output has taken its name). 0 (also when no
  // regular file stands there: a link, a pipe lose nothing when replaced),
  // or the system error number of the backup (or of the look at the name,
  // which may hide a file): the output must then not be written, the file
  // would be lost.
  [[nodiscard]] int Keep(const std::string& output);

  // The output has taken its name: where the file it replaced is now.
  TKeptFile Replaced();
  // The output was not written (the file at its name is the old one): a
  // moved file is given its name back, a second name goes again. Where it
  // is: kNothing when it stands at its own name as before, else where it
  // could not be brought back from.
  TKeptFile NotReplaced();

 private:
  enum class TWay { kNone, kTrashLinked, kTrashMoved, kBackupLinked, kBackupMoved };

  TWay way_ = TWay::kNone;
  std::string output_;
  TTrashEntry trash_;
  int trashError_ = 0;
  std::string backup_;  // NAME~
  std::string held_;    // the hidden second name that becomes NAME~
  uint64_t dev_ = 0, ino_ = 0;
};

}  // namespace quorvex
