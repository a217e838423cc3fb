// The PDF output of a conversion: the drawing as stored, as `--svg
// --print` draws it, on one page of its sheet (render/page.h), written by
// the PDF module (convert/pdfmodule.h) into a file that takes its name
// only when complete (TOutputFile).
#pragma once

#include <cstdint>
#include <string>

#include "attrib/UnitGraAtt.h"
#include "convert/pdfmodule.h"
#include "jww/images.h"
#include "jww/jwwunit.h"

namespace quorvex {

struct TPdfOptions {
  bool Mono = false;  // every line black
  const TgraAttribute* Attributes = nullptr;  // the defaults when null
  uint64_t ImageBudget = 64u << 20;           // bytes of images the page may unpack
  std::string Title;                          // the PDF's title, UTF-8
};

struct TPdfReport {
  std::string Page;  // what the run's line says of the page (render/page.h)
  // Not written: the PDF would not show the whole drawing, or no PDF can
  // be made here (no module, Qt cannot start): why.
  std::string Problem;
  // Not written: its Japanese texts could not be decoded (no Shift-JIS
  // converter); the result is the converter's error number.
  bool Undecodable = false;
};

// Makes `write` the PDF writer of this program, in place of the module: a
// program that holds Qt and its painting already (the viewer, which
// paints with paint/ itself) writes its PDFs with paint/'s writer, as the
// module does, and loads no module, whose program's own code it would not
// find. Set before the first PDF; the converter never sets it and loads
// the module only when a PDF is asked for.
void SetPdfWriter(TPdfWriteEntry* write);

// Readies the PDF writer on the calling thread (the program's main
// thread, before the conversions start): loads the module and starts Qt.
// Once per run; a writer that was not readied readies itself.
void PreparePdf();

// Writes the drawing, as stored, as a PDF at `path`, with the images it
// shows taken from the store's scratch files. 0, or the system error
// number (EINVAL with report.Problem, the converter's error with
// report.Undecodable); a file that stood at the path is then untouched,
// unless *placed is set (TOutputFile::Placed).
[[nodiscard]] int WritePdfFile(const TJwwData& d, const TImageStore& images, const TPdfOptions& options,
                               const std::string& path, TPdfReport& report, bool* placed = nullptr);

}  // namespace quorvex
