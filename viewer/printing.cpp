#include "viewer/printing.h"

#include <algorithm>

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>

#include "paint/scene_painter.h"
#include "render/page.h"

namespace {

// The page's longer side stays within this many pixels (the painter keeps
// a mark for each pixel of the page).
constexpr double kMaxPagePixels = 16000;
constexpr int kMaxResolution = 600;

}  // namespace

QSizeF SheetMillimetres(const TDrawingDocument& doc, bool* known) {
  const std::optional<quorvex::TSheet> sheet = quorvex::SheetOf(doc.Drawing().Header.SheetSize);
  if (known) *known = sheet.has_value();
  if (sheet) return QSizeF(sheet->Width, sheet->Height);
  TDrawingDocument& d = const_cast<TDrawingDocument&>(doc);
  const quorvex::TBox box = quorvex::PictureBox(d.Look(TLookKind::kPrinted).Walk->Scene());
  return QSizeF(std::max(box.Width(), 1.0), std::max(box.Height(), 1.0));
}

void SetUpPrinter(QPrinter& printer, const TDrawingDocument& doc, TPrintFit fit) {
  const QSizeF sheet = SheetMillimetres(doc);
  if (fit == TPrintFit::kSheet) {
    const QSizeF portrait(std::min(sheet.width(), sheet.height()), std::max(sheet.width(), sheet.height()));
    const QPageSize size(portrait, QPageSize::Millimeter, QString(), QPageSize::FuzzyOrientationMatch);
    printer.setPageLayout(QPageLayout(size, sheet.width() >= sheet.height() ? QPageLayout::Landscape : QPageLayout::Portrait,
                                      QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
    printer.setFullPage(true);
  } else {
    printer.setFullPage(false);
  }
  const QSizeF paper = printer.pageLayout().fullRect(QPageLayout::Millimeter).size();
  const double longest = std::max({paper.width(), paper.height(), 1.0});
  printer.setResolution(std::clamp(static_cast<int>(kMaxPagePixels * 25.4 / longest), 72, kMaxResolution));
}

bool PaintPage(QPrinter& printer, TDrawingDocument& doc, const quorvex::TLayerShow& shown, TPrintFit fit) {
  TDrawingDocument::TLook& look = doc.Look(TLookKind::kPrinted);
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  // The device's own pixels, as the printer was started (a print dialog
  // may have given the printer a resolution of its own).
  const double pixelsPerMm = printer.logicalDpiX() / 25.4;
  // The painter's origin is the paper's corner for a full page, else the
  // printable area's.
  const QRectF area = fit == TPrintFit::kSheet ? printer.paperRect(QPrinter::DevicePixel)
                                               : QRectF(QPointF(0, 0), printer.pageRect(QPrinter::DevicePixel).size());
  const QRectF target(QPointF(0, 0), area.size());
  double scale = pixelsPerMm;
  if (fit == TPrintFit::kPaper) {
    const QSizeF sheet = SheetMillimetres(doc);
    scale = std::min(target.width() / sheet.width(), target.height() / sheet.height());
  }
  // The sheet's centre (the drawing's 0, 0) on the area's centre.
  bool known = false;
  SheetMillimetres(doc, &known);
  QPointF centre(0, 0);
  if (!known) {
    const quorvex::TBox box = quorvex::PictureBox(look.Walk->Scene());
    centre = QPointF((box.MinX + box.MaxX) / 2, (box.MinY + box.MaxY) / 2);
  }
  quorvex::TViewPaint view;
  view.World = QTransform(scale, 0, 0, -scale, target.center().x() - scale * centre.x(),
                          target.center().y() + scale * centre.y());
  view.Target = target;
  view.Index = look.Index.get();
  view.Shown = &shown;
  quorvex::PaintView(painter, *look.Walk, view);
  return painter.end();
}
