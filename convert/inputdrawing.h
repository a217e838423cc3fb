// The drawing a run reads, from the look at its name to the sorting of a
// read that failed: a conversion, a picture and the thumbnailer refuse a
// name, and tell whose fault a failure is, alike.
#pragma once

#include <cerrno>
#include <cstdint>
#include <string>

#include "jww/readerror.h"

namespace quorvex {

struct TInputLook {
  // 0, or why no regular file could be looked at there (links followed):
  // ENOENT for no name or nothing there, EISDIR, EINVAL for what is no
  // regular file, or why the disk could not tell (EIO, EACCES, ...).
  int Error = 0;
  uint64_t Size = 0;  // the file's size, when Error is 0
  // The name names no drawing's file: no name, not a .jww name (where one
  // is asked for), nothing or no regular file there. A file that is there
  // but cannot be looked at is no such name: its read fails with the reason.
  bool NamesNoDrawing = false;
};

// Looks at the file an input's name leads to.
TInputLook LookAtInput(const std::string& path, bool jwwName);

// Whose fault a read that failed is.
enum class TInputRead {
  kRead,           // it was read
  kInputFailed,    // the input's: it cannot be read as a drawing
  kScratchFailed,  // the scratch folder's: its carried images cannot pass through it
  kOutOfMemory,    // neither's: memory ran out
};

// Sorts a read's failure (error.Failed()) by whose fault it is.
TInputRead SortReadFailure(const TReadError& error);

// Reads the input through `read` (which fills `error` and returns whether
// it read), unless its look failed: that fails as the file that cannot be
// opened (memory the system lacked: out of memory), without reading.
template <class TRead>
TInputRead ReadInput(const TInputLook& look, TReadError& error, TRead&& read) {
  if (look.Error != 0) {
    error = TReadError();
    error.Problem = look.Error == ENOMEM ? TReadProblem::kOutOfMemory : TReadProblem::kCannotOpen;
    error.ErrorNumber = look.Error;
  } else if (read()) {
    return TInputRead::kRead;
  }
  return SortReadFailure(error);
}

}  // namespace quorvex
