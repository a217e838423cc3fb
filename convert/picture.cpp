#include "convert/picture.h"

#include <cerrno>
#include <new>

#include "convert/drawingfile.h"
#include "convert/scratchimages.h"
#include "convert/session.h"
#include "jww/archive.h"
#include "jww/images.h"
#include "os/fdio.h"
#include "os/outputfile.h"
#include "os/scratch.h"
#include "render/svg.h"

namespace quorvex {
bool ReadDrawingWithImages(const std::string& path, TJwwData& d, std::vector<TStoredImage>& images,
                           TReadError& error) {
  images.clear();
  // The images pass through a scratch folder of this reading's own, locked
  // and swept like a conversion's.
  TScratchFolder folder;
  if (folder.CreateInFirst(ScratchBases()) != 0) return ReadDrawingFile(path, d, nullptr, &error);  // the drawing without its images
  TScratchImages kept(folder.Path());
  TImageStore store;
  store.Keeper = &kept;
  const bool ok = ReadDrawingFile(path, d, &store, &error);
  if (ok) {
    for (const TBindImageType& e : store.BoundImages) {
      TStoredImage image;
      image.FileName = e.FileName;
      if (e.ScratchNumber != 0 && store.KeptBytes(e, image.Data) == 0) images.push_back(std::move(image));
    }
  }
  store.DropImages();
  return ok;
}

uint64_t ImageBudgetFor(uint64_t drawingBytes) { return (16u << 20) + 4 * drawingBytes; }

std::string PreviewCaption(const TExplodeSummary& done, int64_t markedLines, int64_t markedPoints) {
  std::string caption = std::to_string(done.DimensionsExploded) + " dimensions exploded: " +
                        std::to_string(done.LinesAdded) + " lines and " + std::to_string(done.PointsAdded) +
                        " points added";
  const int64_t hidden = done.LinesAdded + done.PointsAdded - markedLines - markedPoints;
  if (hidden > 0)
    caption += " (" + std::to_string(hidden) + " of them in block definitions that nothing places, not drawn)";
  return caption;
}

TPictureResult MakePicture(const std::string& input, const std::string& output, TPictureMode mode,
                           TColorSet colors) {
  TPictureResult result;
  uint64_t inputSize = 0;
  const int look = input.empty() ? ENOENT : RegularFileAt(input, inputSize);
  if (input.empty() || LowerExtension(input) != ".jww" || NamesNoRegularFile(look)) {
    result.Code = TPictureCode::kBadInput;
    return result;
  }
  if (output.empty() || LowerExtension(output) != ".svg") {
    result.Code = TPictureCode::kBadOutput;
    return result;
  }
  if (look != 0) {  // there, but it cannot be looked at: the reason says why
    result.Code = TPictureCode::kReadFailed;
    result.ReadError.Problem = TReadProblem::kCannotOpen;
    result.ReadError.ErrorNumber = look;
    return result;
  }
  TJwwData d;
  std::vector<TStoredImage> images;
  if (!ReadDrawingWithImages(input, d, images, result.ReadError)) {
    // A carried image that cannot be put into the scratch folder is a
    // failure on the writing side, as for a conversion.
    result.Code = result.ReadError.IsWriteSide()                               ? TPictureCode::kWriteFailed
                  : result.ReadError.Problem == TReadProblem::kOutOfMemory ? TPictureCode::kOutOfMemory
                                                                             : TPictureCode::kReadFailed;
    result.ErrorNumber = result.ReadError.IsWriteSide() ? result.ReadError.ErrorNumber : 0;
    return result;
  }
  try {
    TgraAttribute attributes;
    attributes.SetColorScheme(0);
    attributes.FillColors();
    TRenderOptions options;
    options.Attributes = &attributes;
    options.Colors = colors;
    options.Images = &images;
    options.ImageBudget = ImageBudgetFor(inputSize);
    TAppendStarts start;
    TSvgOptions svg;
    if (mode == TPictureMode::kPreview) {
      start = ExplodeStart(d);
      result.Exploded = ExplodeDimensions(d);
      options.Exploded = &start;
    }
    TSceneWalk walk(d, options);
    const TScene& scene = walk.Scene();
    if (mode == TPictureMode::kPreview) {
      result.MarkedLines = scene.ExplodedLines;
      result.MarkedPoints = scene.ExplodedPoints;
      svg.Caption = result.Caption = PreviewCaption(result.Exploded, scene.ExplodedLines, scene.ExplodedPoints);
    }
    // Written as it is made, into a file that takes the output's name only
    // when complete and durable.
    TOutputFile file;
    result.ErrorNumber = file.Open(output);
    if (result.ErrorNumber == 0) {
      TArchiveWriter out(file);
      WriteSvg(walk, out, svg);
      result.ErrorNumber = out.Flush() ? file.Commit() : out.Error();
      result.OutputPlaced = file.Placed();
    }
  } catch (const std::bad_alloc&) {
    result.ErrorNumber = ENOMEM;
  }
  result.Code = result.ErrorNumber == 0        ? TPictureCode::kDone
                : result.ErrorNumber == ENOMEM ? TPictureCode::kOutOfMemory
                                               : TPictureCode::kWriteFailed;
  return result;
}

}  // namespace quorvex
