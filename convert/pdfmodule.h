// What the converter and its PDF module hand each other. The module (pdf/,
// a library of its own that the converter loads only when a PDF is asked
// for, so that its other outputs start without Qt) paints with Qt what the
// converter has read and laid out, into the converter's output. The module
// is built with the program and finds the program's own code in it.
#pragma once

#include <string>

#include "bytes/writer.h"
#include "render/page.h"
#include "render/scene.h"

namespace quorvex {

// Starting Qt, once, on the program's main thread.
struct TPdfStart {
  std::string Problem;  // empty when Qt has started; else why not
};

// One PDF: the walk of the drawing, its page and how it is printed, and
// the writer of the output file (which the converter commits).
struct TPdfJob {
  TSceneWalk* Walk = nullptr;
  const TPage* Page = nullptr;
  bool Mono = false;
  std::string Title;  // UTF-8
  TArchiveWriter* Out = nullptr;
};

struct TPdfDone {
  // Empty when the PDF shows the whole drawing; else why it does not.
  std::string Problem;
  // Qt's writer could not write the file (Out's error says why, if any).
  bool WriterFailed = false;
};

// The module's entry points, by their C names, and the version it was
// built as (a module of another build is not used).
using TPdfStartEntry = void(TPdfStart&);
using TPdfWriteEntry = void(const TPdfJob&, TPdfDone&);
constexpr char kPdfStartEntry[] = "QuorvexStartPdf";
constexpr char kPdfWriteEntry[] = "QuorvexWritePdf";
constexpr char kPdfVersionEntry[] = "QuorvexPdfVersion";

}  // namespace quorvex
