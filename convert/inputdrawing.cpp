#include "convert/inputdrawing.h"

#include <cerrno>

#include "convert/session.h"
#include "os/fdio.h"

namespace quorvex {

TInputLook LookAtInput(const std::string& path, bool jwwName) {
  TInputLook look;
  look.Error = path.empty() ? ENOENT : RegularFileAt(path, look.Size);
  look.NamesNoDrawing = path.empty() || (jwwName && LowerExtension(path) != ".jww") || NamesNoRegularFile(look.Error);
  return look;
}

TInputRead SortReadFailure(const TReadError& error) {
  // A carried image that cannot pass through the scratch folder is a
  // failure on the writing side, with the system's reason; memory that runs
  // out is neither side's fault; anything else is the input's.
  if (error.IsWriteSide()) return TInputRead::kScratchFailed;
  if (error.Problem == TReadProblem::kOutOfMemory) return TInputRead::kOutOfMemory;
  return TInputRead::kInputFailed;
}

}  // namespace quorvex
