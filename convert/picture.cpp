#include "convert/picture.h"

#include <algorithm>
#include <cerrno>
#include <new>

#include "bytes/writer.h"
#include "convert/drawingfile.h"
#include "convert/inputdrawing.h"
#include "convert/outcome.h"
#include "convert/scratchimages.h"
#include "convert/session.h"
#include "jww/images.h"
#include "os/fdio.h"
#include "os/outputfile.h"
#include "os/scratch.h"
#include "render/svg.h"
#include "text/messages.h"
#include "text/utf8.h"

namespace quorvex {
namespace {

// The folders a scratch folder may be made in, for a message.
std::string Listed(const std::vector<std::string>& folders) {
  std::string list;
  for (const std::string& f : folders) list += (list.empty() ? "" : ", ") + f;
  return list;
}

}  // namespace

int KeptImages(const TImageStore& store, std::vector<TStoredImage>& images, const TBindImageType** failed) {
  images.clear();
  for (const TBindImageType& e : store.BoundImages) {
    if (e.ScratchNumber == 0) continue;
    TStoredImage image;
    image.FileName = e.FileName;
    int err = 0;
    try {
      err = store.KeptBytes(e, image.Data);
    } catch (const std::bad_alloc&) {
      err = ENOMEM;
    }
    // What comes back is what was put there, or the scratch file failed.
    if (err == 0 && image.Data.size() != static_cast<size_t>(std::max(e.DataSize, 0))) err = EIO;
    if (err == 0) {
      try {
        images.push_back(std::move(image));
      } catch (const std::bad_alloc&) {
        err = ENOMEM;
      }
    }
    if (err != 0) {
      if (failed) *failed = &e;
      return err;
    }
  }
  return 0;
}

bool ReadDrawingWithImages(const std::string& path, TJwwData& d, std::vector<TStoredImage>& images,
                           TReadError& error, TReadWatch* watch) {
  images.clear();
  // The images pass through a scratch folder of this reading's own, locked
  // and swept like a conversion's.
  TScratchFolder folder;
  const std::vector<std::string> bases = ScratchBases();
  if (const int err = folder.CreateInFirst(bases); err != 0) {
    // Without one the drawing is read without its images; one that carries
    // any cannot be shown whole.
    if (!ReadDrawingFile(path, d, nullptr, &error, watch)) return false;
    if (d.ImageEntriesRead == 0) return true;
    error = TReadError();
    error.Problem = TReadProblem::kScratchWrite;
    error.Part = TReadPart::kImageSection;
    error.ErrorNumber = err;
    error.Folder = Listed(bases);
    return false;
  }
  TScratchImages kept(folder.Path());
  TImageStore store;
  store.Keeper = &kept;
  bool ok = ReadDrawingFile(path, d, &store, &error, watch);
  if (ok) {
    const TBindImageType* failed = nullptr;
    if (const int err = KeptImages(store, images, &failed)) {
      error = TReadError();
      error.Problem = err == ENOMEM ? TReadProblem::kOutOfMemory : TReadProblem::kScratchRead;
      error.Part = TReadPart::kImageSection;
      error.ErrorNumber = err;
      if (!failed->FileName.ToFileName(error.Name)) error.Name.assign(1, '?');  // (GCC 12 wrongly warns of = "?" here)
      ok = false;
    }
  }
  if (!ok && error.IsWriteSide()) error.Folder = folder.Path();
  store.DropImages();
  return ok;
}

uint64_t ImageBudgetFor(uint64_t drawingBytes) { return (16u << 20) + 4 * drawingBytes; }

std::string PreviewCaption(const TExplodeSummary& done, int64_t markedLines, int64_t markedPoints,
                           bool inUsersLanguage) {
  const auto said = [&](const char* english) { return inUsersLanguage ? Tr(english) : english; };
  std::string caption = Format(said(TrLater("%lld dimensions exploded: %lld lines and %lld points added")),
                               static_cast<long long>(done.DimensionsExploded),
                               static_cast<long long>(done.LinesAdded), static_cast<long long>(done.PointsAdded));
  const int64_t hidden = done.LinesAdded + done.PointsAdded - markedLines - markedPoints;
  if (hidden > 0)
    caption += Format(said(TrLater(" (%lld of them in block definitions that nothing places, not drawn)")),
                      static_cast<long long>(hidden));
  return caption;
}

TPictureResult MakePicture(const std::string& input, const std::string& output, TPictureMode mode,
                           TColorSet colors) {
  TPictureResult result;
  const TInputLook look = LookAtInput(input, true);
  if (look.NamesNoDrawing) {
    result.Code = TPictureCode::kBadInput;
    result.ErrorNumber = look.Error;
    return result;
  }
  if (output.empty() || LowerExtension(output) != ".svg") {
    result.Code = TPictureCode::kBadOutput;
    return result;
  }
  TJwwData d;
  std::vector<TStoredImage> images;
  switch (ReadInput(look, result.ReadError, [&] { return ReadDrawingWithImages(input, d, images, result.ReadError); })) {
    case TInputRead::kRead: break;
    case TInputRead::kInputFailed: result.Code = TPictureCode::kReadFailed; return result;
    case TInputRead::kOutOfMemory: result.Code = TPictureCode::kOutOfMemory; return result;
    case TInputRead::kScratchFailed:
      result.Code = TPictureCode::kScratchFailed;
      result.ErrorNumber = result.ReadError.ErrorNumber;
      return result;
  }
  int converterError = 0;
  try {
    TgraAttribute attributes;
    attributes.SetColorScheme(0);
    attributes.FillColors();
    TRenderOptions options;
    options.Attributes = &attributes;
    options.Colors = colors;
    options.Images = &images;
    options.ImageBudget = ImageBudgetFor(look.Size);
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
      // Texts whose characters were lost take no picture's name.
      if (walk.UndecodedStrings() > 0) converterError = Cp932ConverterError();
      if (converterError == 0) {
        result.ErrorNumber = out.Flush() ? file.Commit() : out.Error();
        result.OutputPlaced = file.Placed();
      }
    }
  } catch (const std::bad_alloc&) {
    result.ErrorNumber = ENOMEM;
  }
  if (converterError != 0) {
    result.ErrorNumber = converterError;
    result.Code = converterError == ENOMEM ? TPictureCode::kOutOfMemory : TPictureCode::kNoConverter;
    return result;
  }
  result.Code = result.ErrorNumber == 0        ? TPictureCode::kDone
                : result.ErrorNumber == ENOMEM ? TPictureCode::kOutOfMemory
                                               : TPictureCode::kWriteFailed;
  return result;
}

}  // namespace quorvex
