// The PDF module: quorvex-convert loads it only when a PDF is asked for
// (convert/pdffile), so that its other outputs start without Qt. It starts
// Qt offscreen as the thumbnailer does and writes each PDF, one at a time,
// with the painter every Qt program here shares (paint/pdf_page). The
// program's own code (reading, the scene walk, the output file) is the
// program's: the module finds it there.
#include <QGuiApplication>

#include <memory>
#include <new>

#include "convert/pdfmodule.h"
#include "os/startguard.h"
#include "paint/pdf_page.h"
#include "paint/qt_failures.h"
#include "paint/quiet_start.h"
#include "text/messages.h"

using namespace quorvex;

namespace {

QGuiApplication* gApplication = nullptr;  // lives until the process ends

}  // namespace

#define QUORVEX_ENTRY extern "C" __attribute__((visibility("default")))

QUORVEX_ENTRY const char QuorvexPdfVersion[] = QUORVEX_VERSION;

QUORVEX_ENTRY void QuorvexStartPdf(TPdfStart& start) {
  // Qt's warnings (a broken image's, say) are not the converter's lines:
  // the run's own message says what a PDF could not show.
  CatchQtFailures("quorvex-convert", TrLater("PDF"), false);
  // Qt takes no argument of the converter's.
  static int argc = 1;
  static char name[] = "quorvex-convert";
  static char* argv[] = {name, nullptr};
  try {
    gApplication = StartQtQuietly(argc, argv).release();
  } catch (const std::bad_alloc&) {
    start.Problem = Tr("out of memory while Qt starts");
    return;
  }
  if (!PrepareQtPainting()) {
    start.Problem = Tr("Qt cannot start a thread it needs: the system gives no more");
    // Qt would wait at the end for a thread that never started.
    if (QtPoolBroken()) EndBeforeEarlierCleanUp();
  }
}

QUORVEX_ENTRY void QuorvexWritePdf(const TPdfJob& job, TPdfDone& done) { WritePdfJob(job, done); }
