#include "paint/pdf_page.h"

#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTransform>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <new>

#include "text/messages.h"

namespace quorvex {
namespace {

// The writer's device units: fine enough that no coordinate rounds.
constexpr int kDotsPerInch = 1200;

// A character for a message: itself and its code point.
std::string CharacterText(char32_t c) {
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
  return "'" + QString::fromUcs4(&c, 1).toStdString() + "' (" + code + ")";
}

// Qt's writer writes into the output's writer through this device.
class TWriterDevice final : public QIODevice {
 public:
  explicit TWriterDevice(TArchiveWriter& out) : out_(out) { open(QIODevice::WriteOnly); }
  bool isSequential() const override { return true; }

 protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char* data, qint64 size) override {
    out_.Bytes(data, static_cast<size_t>(size));
    return out_.Ok() ? size : -1;
  }

 private:
  TArchiveWriter& out_;
};

std::mutex gWriting;  // one PDF at a time: Qt's painting is shared

}  // namespace

void WritePdfJob(const TPdfJob& job, TPdfDone& done) {
  std::lock_guard<std::mutex> lock(gWriting);
  try {
    TWriterDevice device(*job.Out);
    TPageStyle style;
    style.Mono = job.Mono;
    const TPdfPageResult r = WritePdfPage(*job.Walk, *job.Page, device, style,
                                          QString::fromUtf8(job.Title.data(), static_cast<qsizetype>(job.Title.size())));
    done.Problem = r.Problem;
    done.WriterFailed = r.WriterFailed;
  } catch (const std::bad_alloc&) {
    job.Out->Fail(ENOMEM);
  }
}

TPdfPageResult WritePdfPage(TSceneWalk& walk, const TPage& page, QIODevice& out, const TPageStyle& style,
                            const QString& title) {
  TPdfPageResult result;
  const TScene& scene = walk.Scene();
  if (scene.ImagesNotShown > 0) {
    result.Problem = Format(TrCount("%lld image it carries cannot be shown (of no known format, broken, or beyond "
                                    "what a picture may unpack)",
                                    "%lld images it carries cannot be shown (of no known format, broken, or beyond "
                                    "what a picture may unpack)",
                                    scene.ImagesNotShown),
                            static_cast<long long>(scene.ImagesNotShown));
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
    result.Problem = Format(TrCount("no font on this system shows the characters of %lld text (the first: %s); a "
                                    "Japanese font is needed, such as IPAGothic (Debian: fonts-ipafont-gothic) or Noto "
                                    "Sans CJK JP (fonts-noto-cjk)",
                                    "no font on this system shows the characters of %lld texts (the first: %s); a "
                                    "Japanese font is needed, such as IPAGothic (Debian: fonts-ipafont-gothic) or Noto "
                                    "Sans CJK JP (fonts-noto-cjk)",
                                    shown.TextsWithoutGlyphs),
                            static_cast<long long>(shown.TextsWithoutGlyphs), CharacterText(shown.MissingCharacter).c_str());
  } else if (shown.UnreadImages > 0) {
    result.Problem = Format(TrCount("%lld image it carries cannot be read", "%lld images it carries cannot be read",
                                    shown.UnreadImages),
                            static_cast<long long>(shown.UnreadImages));
  } else if (shown.Cut) {
    result.Problem = Format(Tr("its block insertions place more than %lld shapes, more than a page is painted with"),
                            static_cast<long long>(kMaxPaintedPrimitives));
  }
  return result;
}

}  // namespace quorvex
