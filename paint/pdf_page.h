// A drawing as a PDF of one page, written with Qt's own PDF writer: the
// page the drawing's sheet gives (render/page.h), 1:1, painted by the scene
// painter as a print (PaintPage), its texts as text in embedded subsets of
// their fonts. The converter's PDF module and the viewer's export both
// write with this, through WritePdfJob: the converter's PDF output
// (convert/pdffile) hands it its job.
#pragma once

#include <QIODevice>
#include <QString>

#include <string>

#include "convert/pdfmodule.h"
#include "paint/scene_painter.h"
#include "render/page.h"
#include "render/scene.h"

namespace quorvex {

struct TPdfPageResult {
  // Empty when the page shows the whole drawing; else why it does not (a
  // font with the texts' characters missing, an image that cannot be read,
  // insertions beyond what is painted), for a message: such a PDF is not
  // to be kept.
  std::string Problem;
  // Qt's PDF writer could not start on the device or finish its file (the
  // device's own error says more).
  bool WriterFailed = false;
};

// Writes the walk's drawing on `page` as a PDF into `out` (open for
// writing, which is written to in order, never sought back). The PDF's
// title is `title`; its creation date is the time it is written.
TPdfPageResult WritePdfPage(TSceneWalk& walk, const TPage& page, QIODevice& out, const TPageStyle& style,
                            const QString& title);

// Writes the job's PDF into its writer, one PDF at a time: the writer of
// convert/pdffile's PDF output (TPdfWriteEntry), the module's, and the one
// a program that paints with Qt itself sets (SetPdfWriter). Needs a
// running Qt application; out of memory fails the job's writer.
void WritePdfJob(const TPdfJob& job, TPdfDone& done);

}  // namespace quorvex
