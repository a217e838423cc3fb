// Why a drawing could not be read: what was being read, the byte where the
// reading stopped and what was found there. The reader fills one of these
// beside its Boolean result; the converter prints Describe(), the window
// words the same facts in Japanese.
#pragma once

#include <cstdint>
#include <string>

namespace quorvex {

// The part of the file that was being read.
enum class TReadPart {
  kFile,          // opening or loading the file itself
  kHeader,        // signature, version and settings
  kEntityList,    // the drawing's own entity list
  kBlockDefList,  // the block definitions with their nested lists
  kImageSection,  // the images carried at the end of the file
  kBlockTree,     // linking block insertions to their definitions
};

enum class TReadProblem {
  kNone,
  kCannotOpen,        // the file cannot be opened or loaded (ErrorNumber)
  kCutShort,          // the file ends inside the part being read
  kOldVersion,        // a version below the oldest readable one (Value: the version)
  kUnknownClass,      // an object class none of the known ones (Name)
  kBadClassTag,       // a tag that names no class read before (Value: the tag)
  kClassNameTooLong,  // a class name longer than the reader takes (Value: its length)
  kImpossibleCount,   // a count larger than the remaining bytes could hold (Value)
  kPlacesItself,      // a block definition reaches itself (Value: its number)
  kTreeTooLarge,      // the insertions reach more placements than the reader builds
                      // (Value: the number of the definition through which they do)
  kOutOfMemory,       // the drawing does not fit in this machine's memory
  kScratchWrite,      // a carried image cannot be put into the scratch folder (ErrorNumber);
                      // with no Name: no scratch folder could be made for the images
  kScratchRead,       // a carried image cannot be read back from its scratch file (ErrorNumber)
};

struct TReadError {
  TReadProblem Problem = TReadProblem::kNone;
  TReadPart Part = TReadPart::kFile;
  uint64_t Offset = 0;  // byte of the file where reading stopped
  int64_t Value = 0;    // the number the problem is about (see TReadProblem)
  std::string Name;     // a class name or file name, bytes as found
  int ErrorNumber = 0;  // the system's error number, where one applies
  // The scratch folder a carried image failed in (or the folders where
  // none could be made), set by the one who made it; may be empty.
  std::string Folder = {};
  // The file's first 8 bytes are not "JwwData.": a hint that it is no
  // drawing at all (the signature alone never fails a read).
  bool UnknownSignature = false;

  bool Failed() const { return Problem != TReadProblem::kNone; }
  // A scratch file that cannot be written or read back is a failure on the
  // writing side: the drawing itself may be sound.
  bool IsWriteSide() const {
    return Problem == TReadProblem::kScratchWrite || Problem == TReadProblem::kScratchRead;
  }
  // One line, in the user's language (text/messages.h), that names the
  // byte where the reading stopped (but for a scratch file read back, or
  // no scratch folder made: no byte of the file is at fault there), for
  // example "cut short at byte 3000 while reading the entity list"; with
  // UnknownSignature it ends "; the file does not begin like a drawing".
  std::string Describe() const;

 private:
  std::string Reason() const;
};

// "the entity list", "the header", ...
const char* PartName(TReadPart part);

}  // namespace quorvex
