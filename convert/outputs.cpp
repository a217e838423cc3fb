#include "convert/outputs.h"

#include <iterator>

#include "convert/drawingfile.h"
#include "convert/dxffiles.h"
#include "convert/outcome.h"
#include "convert/pdffile.h"
#include "convert/picture.h"
#include "convert/session.h"
#include "text/messages.h"

namespace quorvex {
namespace {

int WriteDrawing(TConversionSession& s, const std::string& path, const TConvertOptions&, TConvertResult& result) {
  return WriteDrawingFile(*s.Drawing, path, s.Drawing->Header.Version, s.Fallbacks,
                          s.ImageSwitchWrite ? &s.Images : nullptr, &result.OutputPlaced);
}

int WriteDxf(TConversionSession& s, const std::string& path, const TConvertOptions& options, TConvertResult& result) {
  TDxfOptions dxf;
  dxf.Paper = options.Paper;
  dxf.Attributes = s.Attributes.get();
  const TImageStore none;
  TDxfLosses losses;
  const int err = WriteDxfFiles(*s.Drawing, s.ImageSwitchWrite ? s.Images : none, dxf, path, losses,
                                &result.OutputPlaced);
  result.Undecodable = losses.Undecoded > 0;
  if (const std::string lost = DescribeLosses(losses); !lost.empty())
    result.Note = Format(Tr("not carried: %s"), lost.c_str());
  return err;
}

int WritePdf(TConversionSession& s, const std::string& path, const TConvertOptions& options, TConvertResult& result) {
  TPdfOptions pdf;
  pdf.Mono = options.Mono;
  pdf.Attributes = s.Attributes.get();
  pdf.ImageBudget = ImageBudgetFor(s.InputBytes);
  pdf.Title = s.Input.substr(s.Input.rfind('/') + 1);
  const TImageStore none;
  TPdfReport report;
  const int err = WritePdfFile(*s.Drawing, s.ImageSwitchWrite ? s.Images : none, pdf, path, report,
                               &result.OutputPlaced);
  result.Note = report.Page;
  result.Undecodable = report.Undecodable;
  result.Refused = report.Problem;
  return err;
}

constexpr TOutputKind kKinds[] = {
    {".jww", nullptr, nullptr, nullptr, nullptr, nullptr, TrLater("the drawing, in the input's format version\n"),
     true, WriteDrawing, nullptr},
    {".dxf", "--dxf", TrLater("write each drawing as DXF"), "--paper", &TConvertOptions::Paper,
     TrLater("with a DXF output: the sheet as printed, not at real size"),
     TrLater("a DXF file (R2007, UTF-8) at real size, the images the drawing\n"
             "carries in the folder OUTPUT-images beside it (DXF texts have no\n"
             "character spacing: each is fitted to the width it takes)\n"),
     true, WriteDxf, nullptr},
    {".pdf", "--pdf", TrLater("write each drawing as PDF"), "--mono", &TConvertOptions::Mono,
     TrLater("with a PDF output: every line black"),
     TrLater("a PDF of one page, the drawing's sheet, 1:1 (the drawing as\n"
             "stored, in its printer colours; texts searchable)\n"),
     false, WritePdf, PreparePdf},
};

}  // namespace

std::span<const TOutputKind> OutputKinds() { return kKinds; }

const TOutputKind& DrawingOutput() { return kKinds[0]; }

const TOutputKind* OutputKindOf(const std::string& path) {
  const std::string extension = LowerExtension(path);
  for (const TOutputKind& k : kKinds)
    if (extension == k.Extension) return &k;
  return nullptr;
}

const TOutputKind* KindOfBatchOption(const std::string& word) {
  for (const TOutputKind& k : kKinds)
    if (k.BatchOption && word == k.BatchOption) return &k;
  return nullptr;
}

const TOutputKind* KindOfOption(const std::string& word) {
  for (const TOutputKind& k : kKinds)
    if (k.Option && word == k.Option) return &k;
  return nullptr;
}

std::string OutputExtensionsText() {
  std::string text;
  const size_t n = std::size(kKinds);
  for (size_t i = 0; i < n; ++i) {
    if (i > 0) text += i + 1 == n ? Tr(" or ") : Tr(", ");
    text += kKinds[i].Extension;
  }
  return text;
}

}  // namespace quorvex
