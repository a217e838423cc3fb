#include "convert/outcome.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "os/fdio.h"
#include "text/messages.h"

namespace quorvex {

std::string WriteFailureReason(int errorNumber, bool placed) {
  if (!placed) return Format(Tr("cannot be written: %s"), std::strerror(errorNumber));
  return Format(Tr("written, but its folder could not be synced: %s; the new file has taken the name (any file "
                   "that stood there is gone), and a power loss may undo that"),
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
    err += Format("quorvex-convert: %s\n", Format(Tr("standard output: cannot be written: %s"), std::strerror(e)).c_str());
  (void)WriteAll(kStandardError, err.data(), err.size());
}

namespace {

// "quorvex-convert: NAME: " and why, as a line.
std::string Fault(const std::string& name, const std::string& why) {
  return Format("quorvex-convert: %s: %s\n", name.c_str(), why.c_str());
}

// Why an input is refused by its name (crBadInput): a folder is said to be
// one; anything else is no existing .jww file.
std::string BadInputReason(int errorNumber) {
  return errorNumber == EISDIR ? Tr("is a folder, not a .jww file") : Tr("not an existing .jww file");
}

}  // namespace

TOutcome ConvertOne(TConversionSession& session, const std::string& in, const std::string& out,
                    const TConvertOptions& options) {
  const TConvertResult r = session.ConvertDrawing(in, out, options);
  switch (r.Code) {
    case crDone: {
      // The explode's counts are what a drawing's conversion did; another
      // kind of output tells them only when a dimension was exploded.
      const bool counts = r.Kind->Explodes && (r.Kind == &DrawingOutput() || r.Exploded.DimensionsExploded > 0);
      std::string said = r.Note;
      if (counts)
        said = Format(Tr("%lld dimensions exploded, %lld lines and %lld points added"),
                      static_cast<long long>(r.Exploded.DimensionsExploded),
                      static_cast<long long>(r.Exploded.LinesAdded), static_cast<long long>(r.Exploded.PointsAdded)) +
               (r.Note.empty() ? "" : Tr("; ") + r.Note);
      if (said.empty()) said = Tr("written");
      return {kExitOk, Format("%s -> %s: %s\n", in.c_str(), out.c_str(), said.c_str()), {}};
    }
    case crBadInput: return {kExitBadInput, {}, Fault(in, BadInputReason(r.ErrorNumber))};
    case crBadOutput:
      return {kExitBadOutput, {},
              Fault(out, Format(Tr("output must be a %s file other than the input"),
                                options.AnyKind ? OutputExtensionsText().c_str() : DrawingOutput().Extension))};
    case crReadFailed: return {kExitReadFailed, {}, Fault(in, r.ReadError.Describe())};
    case crOutOfMemory:
      if (r.ReadError.Failed()) return {kExitOutOfMemory, {}, Fault(in, r.ReadError.Describe())};
      return {kExitOutOfMemory, {}, Fault(in, Tr("out of memory while converting"))};
    case crWriteFailed:
      if (!r.Refused.empty())
        return {kExitWriteFailed, {}, Fault(in, Format(Tr("not converted: %s"), r.Refused.c_str()))};
      if (r.Undecodable)
        return {kExitWriteFailed, {}, Fault(in, Format(Tr("not converted: %s"), NoConverterReason(r.ErrorNumber).c_str()))};
      if (r.ReadError.IsWriteSide())  // a scratch file of the input's images
        return {kExitWriteFailed, {}, Fault(in, r.ReadError.Describe())};
      return {kExitWriteFailed, {}, Fault(out, WriteFailureReason(r.ErrorNumber, r.OutputPlaced))};
  }
  return {kExitUsage, {}, {}};
}

std::string NoConverterReason(int errorNumber) {
  return Format(Tr("its Japanese texts cannot be decoded: the C library's Shift-JIS converter (iconv, CP932) cannot "
                   "be loaded: %s"),
                std::strerror(errorNumber));
}

TOutcome DrawOne(bool preview, const std::string& input, const std::string& output, TColorSet colors) {
  const TPictureResult r =
      MakePicture(input, output, preview ? TPictureMode::kPreview : TPictureMode::kAsStored, colors);
  switch (r.Code) {
    case TPictureCode::kDone:
      if (preview)
        return {kExitOk,
                Format("%s -> %s: %s\n", input.c_str(), output.c_str(),
                       Format(Tr("%s; %lld lines and %lld points marked"),
                              PreviewCaption(r.Exploded, r.MarkedLines, r.MarkedPoints, true).c_str(),
                              static_cast<long long>(r.MarkedLines), static_cast<long long>(r.MarkedPoints))
                           .c_str()),
                {}};
      return {kExitOk, Format("%s -> %s: %s\n", input.c_str(), output.c_str(), Tr("drawn")), {}};
    case TPictureCode::kBadInput: return {kExitBadInput, {}, Fault(input, BadInputReason(r.ErrorNumber))};
    case TPictureCode::kBadOutput: return {kExitBadOutput, {}, Fault(output, Tr("the picture must be a .svg file"))};
    case TPictureCode::kReadFailed:
      if (r.ReadError.Failed())
        return {kExitReadFailed, {},
                Fault(input, Format(Tr("cannot be read as a drawing: %s"), r.ReadError.Describe().c_str()))};
      return {kExitReadFailed, {}, Fault(input, Tr("cannot be read as a drawing"))};
    case TPictureCode::kOutOfMemory:
      if (r.ReadError.Failed()) return {kExitOutOfMemory, {}, Fault(input, r.ReadError.Describe())};
      return {kExitOutOfMemory, {}, Fault(input, Tr("out of memory while drawing"))};
    case TPictureCode::kWriteFailed:
      return {kExitWriteFailed, {}, Fault(output, WriteFailureReason(r.ErrorNumber, r.OutputPlaced))};
    case TPictureCode::kScratchFailed:  // the scratch folder's fault, not the picture's
      return {kExitWriteFailed, {}, Fault(input, r.ReadError.Describe())};
    case TPictureCode::kNoConverter:
      return {kExitWriteFailed, {}, Fault(input, Format(Tr("not drawn: %s"), NoConverterReason(r.ErrorNumber).c_str()))};
  }
  return {kExitUsage, {}, {}};
}

}  // namespace quorvex
