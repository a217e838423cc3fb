#include "convert/session.h"

#include <cerrno>
#include <new>
#include <string_view>
#include <vector>

#include "convert/drawingfile.h"
#include "convert/inputdrawing.h"
#include "jww/jwwtype.h"
#include "os/fdio.h"

namespace quorvex {
namespace {

// Whether the regular file at the path begins with a drawing's signature.
bool BeginsWithSignature(const std::string& path) {
  TFd fd;
  uint64_t size = 0;
  if (OpenRegularFile(path, true, fd, size) != 0 || size < kSignature.size()) return false;
  char head[16];
  size_t got = 0;
  return ReadSome(fd.Get(), head, kSignature.size(), got) == 0 && got == kSignature.size() &&
         std::string_view(head, got) == kSignature;
}

}  // namespace

TInputNameCheck CheckInputName(const std::string& path) {
  TInputNameCheck check;
  if (path.empty()) {
    check.Problem = TInputNameProblem::kEmpty;
  } else if (LowerExtension(path) != ".jww") {
    check.Problem = TInputNameProblem::kNotJww;
    check.BeginsLikeADrawing = BeginsWithSignature(path);
  } else {
    TFd fd;
    uint64_t size = 0;
    if (const int err = OpenRegularFile(path, true, fd, size)) {
      check.Problem = TInputNameProblem::kCannotOpen;
      check.ErrorNumber = err;
    }
  }
  return check;
}

std::string LowerCasePath(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string LowerExtension(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t start = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < start) return {};
  return LowerCasePath(path.substr(dot));
}

TConversionSession::~TConversionSession() {
  if (Started()) CleanUp();
}

bool TConversionSession::MakeScratchFolder() {
  ScratchError = scratch_.CreateInFirst(place_.Base.empty() ? ScratchBases() : std::vector<std::string>{place_.Base});
  TempDir = scratch_.Path();
  ScratchImages.Folder = TempDir;
  Images.Keeper = &ScratchImages;
  return scratch_.Exists();
}

void TConversionSession::StartUp(const TScratchPlace& place) {
  Images.Clear();
  place_ = place;
  MakeScratchFolder();
  ImageSwitchRead = ImageSwitchWrite = true;
  Drawing = std::make_unique<TJwwData>();
  Attributes = std::make_unique<TgraAttribute>();
  Attributes->SetModeByte(0);
  Attributes->SetColorScheme(0);
  Attributes->FillColors();
  Fallbacks = TWriterFallbacks{1, 1};
}

void TConversionSession::CleanUp() {
  ResetConversion();
  Drawing.reset();
  Attributes.reset();
  Images.Clear();
  scratch_.Remove();
  TempDir.clear();
  ScratchImages.Folder.clear();
}

void TConversionSession::ResetConversion() {
  if (Drawing) Drawing->Reset();
  Images.DropImages();
}

TConvertResult TConversionSession::ConvertDrawing(const std::string& input, const std::string& output,
                                                  const TConvertOptions& options) {
  TConvertResult result;
  const TInputLook look = LookAtInput(input, true);
  if (look.NamesNoDrawing) {
    result.Code = crBadInput;
    result.ErrorNumber = look.Error;
    return result;
  }
  const TOutputKind* kind = OutputKindOf(output);
  if (!options.AnyKind && kind != &DrawingOutput()) kind = nullptr;
  if (output.empty() || !kind || LowerCasePath(input) == LowerCasePath(output) || SameFile(input, output)) {
    result.Code = crBadOutput;
    return result;
  }
  result.Kind = kind;
  if (!Started()) StartUp();
  Input = input;
  InputBytes = look.Size;
  if (!scratch_.Exists() && !MakeScratchFolder()) {
    // No folder for the images to pass through: nothing is read, nothing lost.
    result.Code = crWriteFailed;
    result.ErrorNumber = ScratchError;
    return result;
  }

  ResetConversion();
  // However the conversion ends, the drawing and the scratch files of its
  // images go with it: a failed read or write leaves nothing for the next.
  struct TResetAtEnd {
    TConversionSession& Session;
    ~TResetAtEnd() { Session.ResetConversion(); }
  } resetAtEnd{*this};
  switch (ReadInput(look, result.ReadError, [&] {
    return ReadDrawingFile(input, *Drawing, ImageSwitchRead ? &Images : nullptr, &result.ReadError);
  })) {
    case TInputRead::kRead: break;
    case TInputRead::kInputFailed: result.Code = crReadFailed; return result;
    case TInputRead::kOutOfMemory: result.Code = crOutOfMemory; return result;
    case TInputRead::kScratchFailed:
      result.Code = crWriteFailed;
      result.ErrorNumber = result.ReadError.ErrorNumber;
      result.ReadError.Folder = TempDir;
      return result;
  }
  int err = 0;
  TReplacedFile replaced;
  try {
    if (kind->Explodes) result.Exploded = ExplodeDimensions(*Drawing);
    if (options.KeepReplaced) {
      if (const int kept = replaced.Keep(output)) {
        result.Code = crWriteFailed;
        result.ErrorNumber = kept;
        result.NotKept = true;
        return result;
      }
    }
    err = kind->Write(*this, output, options, result);
  } catch (const std::bad_alloc&) {
    err = ENOMEM;
  }
  // The old file is where the user finds it again, whichever way it went.
  result.Kept = err == 0 || result.OutputPlaced ? replaced.Replaced() : replaced.NotReplaced();
  if (err != 0) {
    result.Code = err == ENOMEM ? crOutOfMemory : crWriteFailed;
    result.ErrorNumber = err;
    return result;
  }
  result.Code = crDone;
  return result;
}

}  // namespace quorvex
