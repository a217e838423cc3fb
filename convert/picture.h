// Pictures of drawings: reading a drawing with the images it carries, and
// the whole road from a drawing file to an SVG file, as stored or as the
// conversion would write it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "convert/drawingfile.h"
#include "explode/explode.h"
#include "jww/images.h"
#include "jww/readerror.h"
#include "render/scene.h"

namespace quorvex {

// Reads a drawing and the images it carries. The images pass through a
// private scratch folder that is removed before this returns. False when
// the drawing cannot be read, or its images cannot pass through the
// scratch folder (error.IsWriteSide(), the folder named in error.Folder):
// a picture without them would not show what the drawing holds. *error
// then says why.
// A watch, when given, follows the reading (convert/drawingfile.h).
[[nodiscard]] bool ReadDrawingWithImages(const std::string& path, TJwwData& d, std::vector<TStoredImage>& images,
                           TReadError& error, TReadWatch* watch = nullptr);

// The images the store keeps in its scratch files, read back as stored.
// 0, or the system error number (ENOMEM when memory ran out), with the
// entry that failed in *failed.
[[nodiscard]] int KeptImages(const TImageStore& store, std::vector<TStoredImage>& images,
                             const TBindImageType** failed = nullptr);

// Bytes of image data a picture of a drawing file of this size may embed.
uint64_t ImageBudgetFor(uint64_t drawingBytes);

enum class TPictureMode {
  kAsStored,  // the drawing as it is
  kPreview,   // as the conversion would write it, its work highlighted
};

enum class TPictureCode {
  kDone,
  kBadInput,     // input name missing, not .jww, or no such file (ErrorNumber: why, EISDIR for a folder)
  kBadOutput,    // output name missing or not .svg
  kReadFailed,   // ReadError says why
  kWriteFailed,  // ErrorNumber holds the system error number
  kOutOfMemory,  // the memory ran out (ReadError says where, when it was while reading)
  kScratchFailed,  // the carried images could not pass through the scratch folder: ReadError says why
  kNoConverter,  // texts would lose their characters: the Shift-JIS converter cannot be
                 // loaded (ErrorNumber says why)
};

struct TPictureResult {
  TPictureCode Code = TPictureCode::kBadInput;
  int ErrorNumber = 0;
  bool OutputPlaced = false;  // kWriteFailed: the complete picture took the name all the same
  TReadError ReadError;
  TExplodeSummary Exploded;  // preview: what the explode did
  int64_t MarkedLines = 0;   // preview: elements marked "exploded"
  int64_t MarkedPoints = 0;
  std::string Caption;       // preview: the caption under the drawing
};

// The caption of a preview: the explode's counts, and how many of its lines
// and points are not drawn because they lie in block definitions that
// nothing places (the conversion drops those definitions). In English, as
// the picture carries it, or in the user's language for a message.
std::string PreviewCaption(const TExplodeSummary& done, int64_t markedLines, int64_t markedPoints,
                           bool inUsersLanguage = false);

// Reads `input`, explodes it for a preview, and writes the picture to
// `output` durably (nothing else is written), in the drawing's screen
// colours or its printer colours.
[[nodiscard]] TPictureResult MakePicture(const std::string& input, const std::string& output, TPictureMode mode,
                                         TColorSet colors = TColorSet::kScreen);

}  // namespace quorvex
