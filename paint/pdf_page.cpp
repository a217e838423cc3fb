#include "paint/pdf_page.h"

#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTransform>

#include <cstdio>

namespace quorvex {
namespace {

// The writer's device units: fine enough that no coordinate rounds.
constexpr int kDotsPerInch = 1200;

std::string Plural(int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// A character for a message: itself and its code point.
std::string CharacterText(char32_t c) {
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
  return "'" + QString::fromUcs4(&c, 1).toStdString() + "' (" + code + ")";
}

}  // namespace

TPdfPageResult WritePdfPage(TSceneWalk& walk, const TPage& page, QIODevice& out, const TPageStyle& style,
                            const QString& title) {
  TPdfPageResult result;
  const TScene& scene = walk.Scene();
  if (scene.ImagesNotShown > 0) {
    result.Problem = Plural(scene.ImagesNotShown, "image", "images") +
                     " it carries cannot be shown (of no known format, broken, or beyond what a picture may unpack)";
    return result;
  }
  QPdfWriter writer(&out);
  writer.setResolution(kDotsPerInch);
  writer.setTitle(title);
  writer.setCreator(QStringLiteral("Quorvex " QUORVEX_VERSION));
  const QPageSize size(QSizeF(page.Width, page.Height), QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
  writer.setPageLayout(QPageLayout(size, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
  QPainter painter;
  if (!painter.begin(&writer)) {
    result.WriterFailed = true;
    return result;
  }
  // Paper millimetres onto the device, the page's centre on the page
  // coordinates' centre: the size the page has in the file (whole points)
  // decides where its centre is.
  const QSizeF points = writer.pageLayout().fullRectPoints().size();
  const double units = kDotsPerInch / 25.4;  // device units to the millimetre
  const double toUnits = kDotsPerInch / 72.0;
  const QTransform paper(units, 0, 0, -units, points.width() / 2 * toUnits - units * page.CentreX,
                         points.height() / 2 * toUnits + units * page.CentreY);
  const TPageShown shown = PaintPage(painter, walk, paper, style);
  if (!painter.end()) result.WriterFailed = true;
  if (shown.TextsWithoutGlyphs > 0) {
    result.Problem = "no font on this system shows the characters of " +
                     Plural(shown.TextsWithoutGlyphs, "text", "texts") + " (the first: " +
                     CharacterText(shown.MissingCharacter) +
                     "); a Japanese font is needed, such as IPAGothic (Debian: fonts-ipafont-gothic) or Noto Sans "
                     "CJK JP (fonts-noto-cjk)";
  } else if (shown.UnreadImages > 0) {
    result.Problem = Plural(shown.UnreadImages, "image", "images") + " it carries cannot be read";
  } else if (shown.Cut) {
    result.Problem = "its block insertions place more than " + std::to_string(kMaxPaintedPrimitives) +
                     " shapes, more than a page is painted with";
  }
  return result;
}

}  // namespace quorvex
