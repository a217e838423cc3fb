#include "convert/outcome.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "os/fdio.h"

namespace quorvex {

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  char* text = nullptr;
  const int n = ::vasprintf(&text, format, args);
  va_end(args);
  std::string out = n >= 0 ? std::string(text, static_cast<size_t>(n)) : std::string();
  std::free(text);
  return out;
}

std::string WriteFailureReason(int errorNumber, bool placed) {
  if (!placed) return Format("cannot be written: %s", std::strerror(errorNumber));
  return Format("written, but its folder could not be synced: %s; the new file has taken the name (any file that "
                "stood there is gone), and a power loss may undo that",
                std::strerror(errorNumber));
}

void Print(const TOutcome& o) {
  // Straight to the descriptors, after whatever the C library still holds:
  // a write that is interrupted or takes part of the line is made again,
  // and a line that cannot be written is not lost without a word.
  constexpr int kStandardOutput = 1, kStandardError = 2;
  std::fflush(stdout);
  std::fflush(stderr);
  std::string err = o.Err;
  if (const int e = WriteAll(kStandardOutput, o.Out.data(), o.Out.size()))
    err += Format("quorvex-convert: standard output: cannot be written: %s\n", std::strerror(e));
  (void)WriteAll(kStandardError, err.data(), err.size());
}

TOutcome ConvertOne(TConversionSession& session, const std::string& in, const std::string& out,
                    const TConvertOptions& options) {
  const TConvertResult r = session.ConvertDrawing(in, out, options);
  switch (r.Code) {
    case crDone: {
      std::string said = r.Note;
      if (r.Kind->Explodes)
        said = Format("%lld dimensions exploded, %lld lines and %lld points added",
                      static_cast<long long>(r.Exploded.DimensionsExploded),
                      static_cast<long long>(r.Exploded.LinesAdded), static_cast<long long>(r.Exploded.PointsAdded)) +
               (r.Note.empty() ? "" : "; " + r.Note);
      return {kExitOk, Format("%s -> %s: %s\n", in.c_str(), out.c_str(), said.c_str()), {}};
    }
    case crBadInput:
      return {kExitBadInput, {}, Format("quorvex-convert: %s: not an existing .jww file\n", in.c_str())};
    case crBadOutput:
      return {kExitBadOutput, {},
              Format("quorvex-convert: %s: output must be a %s file other than the input\n", out.c_str(),
                     options.AnyKind ? OutputExtensionsText().c_str() : DrawingOutput().Extension)};
    case crReadFailed:
      return {kExitReadFailed, {}, Format("quorvex-convert: %s: %s\n", in.c_str(), r.ReadError.Describe().c_str())};
    case crOutOfMemory:
      if (r.ReadError.Failed())
        return {kExitOutOfMemory, {}, Format("quorvex-convert: %s: %s\n", in.c_str(), r.ReadError.Describe().c_str())};
      return {kExitOutOfMemory, {}, Format("quorvex-convert: %s: out of memory while converting\n", in.c_str())};
    case crWriteFailed:
      if (!r.Refused.empty())
        return {kExitWriteFailed, {}, Format("quorvex-convert: %s: not converted: %s\n", in.c_str(), r.Refused.c_str())};
      if (r.Undecodable)
        return {kExitWriteFailed, {},
                Format("quorvex-convert: %s: not converted: %s\n", in.c_str(), NoConverterReason(r.ErrorNumber).c_str())};
      if (r.ReadError.IsWriteSide())  // a scratch file of the input's images
        return {kExitWriteFailed, {}, Format("quorvex-convert: %s: %s\n", in.c_str(), r.ReadError.Describe().c_str())};
      return {kExitWriteFailed, {},
              Format("quorvex-convert: %s: %s\n", out.c_str(), WriteFailureReason(r.ErrorNumber, r.OutputPlaced).c_str())};
  }
  return {kExitUsage, {}, {}};
}

std::string NoConverterReason(int errorNumber) {
  return Format("its Japanese texts cannot be decoded: the C library's Shift-JIS converter (iconv, CP932) cannot be "
                "loaded: %s",
                std::strerror(errorNumber));
}

TOutcome DrawOne(bool preview, const std::string& input, const std::string& output, TColorSet colors) {
  const TPictureResult r =
      MakePicture(input, output, preview ? TPictureMode::kPreview : TPictureMode::kAsStored, colors);
  switch (r.Code) {
    case TPictureCode::kDone:
      if (preview)
        return {kExitOk,
                Format("%s -> %s: %s; %lld lines and %lld points marked\n", input.c_str(), output.c_str(),
                       r.Caption.c_str(), static_cast<long long>(r.MarkedLines),
                       static_cast<long long>(r.MarkedPoints)),
                {}};
      return {kExitOk, Format("%s -> %s: drawn\n", input.c_str(), output.c_str()), {}};
    case TPictureCode::kBadInput:
      return {kExitBadInput, {}, Format("quorvex-convert: %s: not an existing .jww file\n", input.c_str())};
    case TPictureCode::kBadOutput:
      return {kExitBadOutput, {},
              Format("quorvex-convert: %s: the picture must be a .svg file\n", output.c_str())};
    case TPictureCode::kReadFailed:
      if (r.ReadError.Failed())
        return {kExitReadFailed, {},
                Format("quorvex-convert: %s: cannot be read as a drawing: %s\n", input.c_str(),
                       r.ReadError.Describe().c_str())};
      return {kExitReadFailed, {}, Format("quorvex-convert: %s: cannot be read as a drawing\n", input.c_str())};
    case TPictureCode::kOutOfMemory:
      if (r.ReadError.Failed())
        return {kExitOutOfMemory, {}, Format("quorvex-convert: %s: %s\n", input.c_str(), r.ReadError.Describe().c_str())};
      return {kExitOutOfMemory, {}, Format("quorvex-convert: %s: out of memory while drawing\n", input.c_str())};
    case TPictureCode::kWriteFailed:
      return {kExitWriteFailed, {},
              Format("quorvex-convert: %s: %s\n", output.c_str(),
                     WriteFailureReason(r.ErrorNumber, r.OutputPlaced).c_str())};
    case TPictureCode::kScratchFailed:  // the scratch folder's fault, not the picture's
      return {kExitWriteFailed, {}, Format("quorvex-convert: %s: %s\n", input.c_str(), r.ReadError.Describe().c_str())};
    case TPictureCode::kNoConverter:
      return {kExitWriteFailed, {},
              Format("quorvex-convert: %s: not drawn: %s\n", input.c_str(), NoConverterReason(r.ErrorNumber).c_str())};
  }
  return {kExitUsage, {}, {}};
}

}  // namespace quorvex
