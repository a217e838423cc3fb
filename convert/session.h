// The conversion session: the state a window or a command-line run keeps
// while it converts drawings, and the checks on the names it is given.
//
// Everything here runs without a display: the Qt window (app/Unit1) and the
// command-line converter (tools/quorvex-convert) are thin layers over it.
#pragma once

#include <memory>
#include <string>

#include "attrib/UnitGraAtt.h"
#include "convert/outputs.h"
#include "convert/scratchimages.h"
#include "explode/explode.h"
#include "jww/images.h"
#include "jww/jwwunit.h"
#include "os/replacedfile.h"
#include "os/scratch.h"

namespace quorvex {

enum TConvertCode {
  crBadInput,     // input name missing, wrong extension, or no such file
  crBadOutput,    // output name missing, of no kind allowed (convert/outputs.h), or the input file itself
  crReadFailed,   // the reader refused the input; ReadError says why
  crWriteFailed,  // the output (or a scratch file: ReadError) could not be written; ErrorNumber holds errno
  crOutOfMemory,  // the memory ran out (ReadError says where, when it was while reading)
  crDone,         // read, explode and write have run
};

struct TConvertResult {
  TConvertCode Code = crBadInput;
  // The system error number when Code is crWriteFailed; for crBadInput,
  // why no regular file stands at the input's name (EISDIR: a folder), or 0.
  int ErrorNumber = 0;
  // crWriteFailed: the complete new drawing took the output's name all the
  // same (the folder could not be synced, and the file it replaced could not
  // be given its name back: TOutputFile::Placed).
  bool OutputPlaced = false;
  TExplodeSummary Exploded;   // what the explode did (valid when Code is crDone)
  TReadError ReadError;       // why the read failed (Code crReadFailed, or crWriteFailed from a scratch file)
  const TOutputKind* Kind = nullptr;  // what the output was to be (from crReadFailed on)
  // Not written: its Japanese texts could not be decoded (no Shift-JIS
  // converter; ErrorNumber says why).
  bool Undecodable = false;
  // Not written (crWriteFailed): the output would not show the whole
  // drawing, or cannot be made here at all; why, for the message.
  std::string Refused;
  // What the run's line says of the output besides the explode's counts
  // (Code crDone): what a DXF could not carry, for one.
  std::string Note;
  // With TConvertOptions::KeepReplaced: where the file the output replaced
  // is (crDone, or OutputPlaced), or where it stays after a failed write
  // when it could not be given its name back.
  TKeptFile Kept;
  // crWriteFailed: the file at the output's name could be kept neither in
  // the trash nor as NAME~, and was not replaced (the system's error number
  // of the backup, as ErrorNumber).
  bool NotKept = false;
};

// What a conversion may write: the output's extension chooses its kind
// (convert/outputs.h), the drawing (.jww) always, the others where every
// kind is allowed (the command line; the window writes drawings only).
struct TConvertOptions {
  bool AnyKind = false;
  bool Paper = false;  // a DXF of the sheet as printed instead of real size
  bool Mono = false;   // a PDF with every line black
  // A file the output replaces goes to the desktop's trash first, or where
  // no trash can take it stays beside the output as NAME~ (the window);
  // one that can be kept neither way is not replaced.
  bool KeepReplaced = false;
};

// Where a session makes its private scratch folder.
struct TScratchPlace {
  // The folder to make it in; empty: $XDG_RUNTIME_DIR, else $TMPDIR, else
  // /tmp (the first in which a folder can be made).
  std::string Base;
};

// The state that lives as long as the window (or one command-line run):
// the drawing, the attribute tables, the scratch folder and bound images,
// the image switches and the writer's fallback numbers.
class TConversionSession {
 public:
  TConversionSession() = default;
  ~TConversionSession();
  TConversionSession(const TConversionSession&) = delete;
  TConversionSession& operator=(const TConversionSession&) = delete;

  // Start-up without widgets: empties the bound images, makes the session's
  // own scratch folder (TempDir), turns the image switches on, creates the
  // drawing and the attribute tables, sets the fallbacks.
  void StartUp(const TScratchPlace& place = {});

  // Clean-up without widgets: resets, frees the drawing and the tables, and
  // removes the scratch folder with whatever is left in it.
  void CleanUp();

  // Empties the drawing, deletes the scratch files of the bound images and
  // empties the list.
  void ResetConversion();

  // Checks the two names, then reset, read, explode (where the output's
  // kind asks for it), write, reset. The output is a drawing (.jww), or
  // with options that allow it any kind of output.
  [[nodiscard]] TConvertResult ConvertDrawing(const std::string& input, const std::string& output,
                                              const TConvertOptions& options = {});

  bool Started() const { return Drawing != nullptr; }

  // This session's own scratch folder for embedded images, with its
  // trailing '/'; empty when none could be made (ScratchError says why).
  std::string TempDir;
  int ScratchError = 0;
  bool ImageSwitchRead = true;   // carry images from the input into TempDir
  bool ImageSwitchWrite = true;  // carry images from TempDir into the output
  TWriterFallbacks Fallbacks;    // colour and line type substituted by the writer
  TScratchImages ScratchImages;  // the images' files in TempDir
  // The drawing being converted and its size in bytes, while
  // ConvertDrawing runs.
  std::string Input;
  uint64_t InputBytes = 0;
  TImageStore Images;            // BoundImages, kept in ScratchImages
  std::unique_ptr<TJwwData> Drawing;
  std::unique_ptr<TgraAttribute> Attributes;

 private:
  // Makes the scratch folder where the place says; false when it cannot.
  bool MakeScratchFolder();

  TScratchPlace place_;
  TScratchFolder scratch_;
};

// Why the name of an input drawing is refused.
enum class TInputNameProblem {
  kNone,        // a .jww name of a regular file that can be opened for reading
  kEmpty,       // no name at all
  kNotJww,      // the name does not end in .jww (in any case)
  kCannotOpen,  // no such file, a folder, a pipe or device, no right to read: ErrorNumber says which
};

struct TInputNameCheck {
  TInputNameProblem Problem = TInputNameProblem::kNone;
  // The system error number for kCannotOpen (EISDIR for a folder, EINVAL
  // for what is no regular file, ENOENT, EACCES and the rest as the system
  // says).
  int ErrorNumber = 0;
  // For kNotJww: the file begins like a drawing (the name alone is wrong).
  bool BeginsLikeADrawing = false;
};

// Checks the name of an input drawing as a conversion does, and opens it
// for reading (links followed, never waiting on a pipe), to say why it is
// refused before the user asks for a conversion.
TInputNameCheck CheckInputName(const std::string& path);

// The extension of a path's file-name part, from its last dot (dot included),
// lower-cased a to z; empty when the file name has no dot.
std::string LowerExtension(const std::string& path);

// Lower-cases the letters A to Z of a path; every other byte (those of
// multi-byte UTF-8 characters included) stays as it is.
std::string LowerCasePath(const std::string& s);

}  // namespace quorvex
