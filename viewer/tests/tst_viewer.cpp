// The viewer driven as a user would: its real window, canvas and layer
// panel, with the file dialogs, message boxes and the print dialog
// answered by a recording stand-in. Runs without a display (offscreen).
#include <cmath>
#include <fstream>
#include <memory>
#include <optional>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QPrinter>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "jww/builder.h"
#include "paint/scene_index.h"
#include "viewer/dialogs.h"
#include "viewer/layerpanel.h"
#include "viewer/mainwindow.h"

using namespace quorvex;
using namespace quorvex::builder;

namespace {

class TRecordingDialogs : public TViewerDialogs {
 public:
  QStringList OpenDrawings(QWidget*, const QString&) override { return ToOpen; }
  std::optional<QString> SaveName(QWidget*, const QString&, const QString& suggested, const QString&) override {
    Suggested.append(suggested);
    if (SaveAs.isEmpty()) return std::nullopt;
    return SaveAs.takeFirst();
  }
  void Message(QWidget*, const QString& text, bool error) override {
    Messages.append(text);
    Errors.append(error);
  }
  bool Print(QWidget*, QPrinter& printer, TPrintFit& fit) override {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(PrintTo);
    fit = Fit;
    return !PrintTo.isEmpty();
  }
  void Preview(QWidget*, QPrinter& printer, TPrintFit& fit, const std::function<void(QPrinter&, TPrintFit)>& setup,
               const std::function<void(QPrinter&, TPrintFit)>& paint) override {
    // Into a file, as a preview paints into no printer.
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(PreviewTo);
    setup(printer, fit);
    paint(printer, fit);
    ++Previews;
  }

  QStringList ToOpen;
  QStringList SaveAs;  // given out in order, then "cancel"
  QStringList Suggested;
  QStringList Messages;
  QList<bool> Errors;
  QString PrintTo, PreviewTo;
  TPrintFit Fit = TPrintFit::kSheet;
  int Previews = 0;
};

bool WriteBytes(const QString& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(QFile::encodeName(path).toStdString(), std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return !bytes.empty() && out.good();
}

TEntJwwCommon OnLayer(uint16_t group, uint16_t layer, uint16_t color = 1) {
  TEntJwwCommon c = Pen(1, color, layer);
  c.LayerGroup = group;
  return c;
}

// A drawing of the A3 sheet: a line on layer 0-0 along y = -100, one on
// layer 0-1 along y = 100, both from x -150 to 150; with `dimension`, a
// dimension without a value on layer 0-0 from (-100, 0) to (0, 0).
// `hideLayer1` stores layer 0-1 as hidden.
TJwwData TestDrawing(bool dimension, bool hideLayer1 = false) {
  TJwwData d = NewDrawing(kVersionImages);
  d.Header.SheetSize = 3;
  d.LayerGroups[0].Scale = 50;
  AddToDrawing(d, MakeLine(-150, -100, 150, -100, OnLayer(0, 0)));
  AddToDrawing(d, MakeLine(-150, 100, 150, 100, OnLayer(0, 1)));
  if (dimension) {
    TEntJwwDimension dim = MakeDimension(N(""), true);
    static_cast<TEntJwwCommon&>(dim) = OnLayer(0, 0);
    dim.DimLine = MakeLine(-100, 0, 0, 0, OnLayer(0, 0));
    dim.AuxLine1 = MakeLine(-100, 0, -100, -20, OnLayer(0, 0));
    dim.AuxLine2 = MakeLine(0, 0, 0, -20, OnLayer(0, 0));
    AddToDrawing(d, dim);
  }
  if (hideLayer1) {
    // States that mean something: the write group and its write layer shown.
    d.Header.WriteLayerGroup = 0;
    for (auto& g : d.LayerGroups) g.State = 2;
    for (auto& l : d.Layers) l.State = 2;
    d.LayerGroups[0].WriteLayer = 0;
    d.Layers[1].State = 0;
  }
  return d;
}

// Whether a row of the picture holds ink (a pixel unlike the background)
// between two columns.
int InkOnRow(const QImage& image, int row, int from, int to, QRgb background) {
  int ink = 0;
  if (row < 0 || row >= image.height()) return 0;
  for (int x = std::max(from, 0); x < std::min(to, image.width()); ++x)
    if ((image.pixel(x, row) & 0xFFFFFF) != (background & 0xFFFFFF)) ++ink;
  return ink;
}

// Pixels of the highlight colour's hue (magenta, 327 degrees), however
// antialiasing blends it with the background.
int Highlighted(const QImage& image) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.hsvSaturation() > 60 && c.hsvHue() >= 315 && c.hsvHue() <= 340) ++n;
    }
  return n;
}

}  // namespace

class TestViewer : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QApplication::setOrganizationName(QStringLiteral("QuorvexTest"));
    QApplication::setApplicationName(QStringLiteral("quorvex-view-test"));
    QVERIFY(settingsDir_.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir_.path());
  }

  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    plain_ = dir_->filePath(QStringLiteral("plain.jww"));
    dims_ = dir_->filePath(QStringLiteral("with-dims.jww"));
    TJwwData a = TestDrawing(false), b = TestDrawing(true);
    QVERIFY(WriteBytes(plain_, Serialize(a, kVersionImages)));
    QVERIFY(WriteBytes(dims_, Serialize(b, kVersionImages)));
    dialogs_ = std::make_unique<TRecordingDialogs>();
    window_ = std::make_unique<TViewerWindow>(*dialogs_);
    window_->resize(1000, 700);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }

  void cleanup() {
    window_.reset();
    dialogs_.reset();
    dir_.reset();
  }

  // Opens one drawing and waits for its picture.
  TDrawingTab* OpenAndWait(const QString& path) {
    window_->Open({path});
    TDrawingTab* tab = window_->CurrentTab();
    if (!tab) return nullptr;
    if (!QTest::qWaitFor([&] { return tab->State() != TDrawingTab::TState::kLoading; }, 10000)) return nullptr;
    if (tab->State() == TDrawingTab::TState::kShown && !WaitPainted(tab)) return nullptr;
    return tab;
  }

  static bool WaitPainted(TDrawingTab* tab) {
    return QTest::qWaitFor([&] { return tab->Canvas()->PictureCurrent(); }, 10000);
  }

  // The canvas row of a drawing's y.
  static int RowOf(TDrawingTab* tab, double y) { return qRound(tab->Canvas()->World().map(QPointF(0, y)).y()); }
  static int ColumnOf(TDrawingTab* tab, double x) { return qRound(tab->Canvas()->World().map(QPointF(x, 0)).x()); }
  static QRgb Background(TDrawingTab* tab) { return tab->Canvas()->Picture().pixel(2, 2); }

  void opensFittedWithItsNameInTheTitle() {
    TDrawingTab* tab = OpenAndWait(plain_);
    QVERIFY(tab);
    QCOMPARE(tab->State(), TDrawingTab::TState::kShown);
    QVERIFY(window_->windowTitle().contains(QStringLiteral("plain.jww")));
    QCOMPARE(window_->Tabs()->tabText(0), QStringLiteral("plain.jww"));
    // Fitted: both lines whole in the picture, their ends inside it.
    TDrawingCanvas* canvas = tab->Canvas();
    for (double x : {-150.0, 150.0})
      for (double y : {-100.0, 100.0}) QVERIFY(canvas->rect().contains(canvas->World().map(QPointF(x, y)).toPoint()));
    const QImage& picture = canvas->Picture();
    const int left = ColumnOf(tab, -140), right = ColumnOf(tab, 140);
    QVERIFY(InkOnRow(picture, RowOf(tab, -100), left, right, Background(tab)) > (right - left) * 9 / 10);
    QVERIFY(InkOnRow(picture, RowOf(tab, 100), left, right, Background(tab)) > (right - left) * 9 / 10);
    QVERIFY(InkOnRow(picture, RowOf(tab, 0), left, right, Background(tab)) == 0);
    // The sheet and the write group's scale.
    QCOMPARE(window_->SheetStatus()->text(), QStringLiteral("A3, 1:50"));
  }

  void wheelZoomsAtThePointerAndDraggingPans() {
    TDrawingTab* tab = OpenAndWait(plain_);
    QVERIFY(tab);
    TDrawingCanvas* canvas = tab->Canvas();
    const QPointF at(canvas->width() * 0.3, canvas->height() * 0.7);
    const QPointF under = canvas->ToDrawing(at);
    const double scale = canvas->Scale();
    QWheelEvent wheel(at, canvas->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas, &wheel);
    QVERIFY(std::abs(canvas->Scale() / scale - 1.25) < 1e-9);
    const QPointF still = canvas->ToDrawing(at);
    QVERIFY2(std::hypot(still.x() - under.x(), still.y() - under.y()) < 1e-6, "the point under the pointer moved");
    QVERIFY(WaitPainted(tab));

    // A drag of (40, 30) pixels moves the drawing with the pointer.
    const QPoint from(200, 200), to(240, 230);
    const QPointF before = canvas->World().map(QPointF(0, 0));
    QTest::mousePress(canvas, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(canvas, QPoint(220, 215));
    QTest::mouseMove(canvas, to);
    QTest::mouseRelease(canvas, Qt::LeftButton, Qt::NoModifier, to);
    const QPointF after = canvas->World().map(QPointF(0, 0));
    QVERIFY(std::abs(after.x() - before.x() - 40) < 1e-6 && std::abs(after.y() - before.y() - 30) < 1e-6);

    // The right arrow shows more of the right: the drawing moves left.
    canvas->setFocus();
    QTest::keyClick(canvas, Qt::Key_Right);
    QVERIFY(canvas->World().map(QPointF(0, 0)).x() < after.x() - 1);
    // The pointer's position in paper and real millimetres (scale 1:50).
    QTest::mouseMove(canvas, canvas->World().map(QPointF(10, 20)).toPoint());
    const QPointF pointed = canvas->ToDrawing(canvas->World().map(QPointF(10, 20)).toPoint());
    QVERIFY(window_->PointerStatus()->text().contains(QLocale().toString(pointed.x() * 50, 'f', 2)));

    // Ctrl+0 and Home fit again; + and - zoom about the middle.
    window_->FitAction->trigger();
    const QTransform fitted = canvas->World();
    window_->ZoomInAction->trigger();
    QVERIFY(std::abs(canvas->Scale() / (std::sqrt(std::abs(fitted.determinant())) * 1.25) - 1) < 1e-9);
    window_->ZoomOutAction->trigger();
    window_->ZoomOutAction->trigger();
    QVERIFY(canvas->Scale() < std::sqrt(std::abs(fitted.determinant())));
    QVERIFY(window_->FitAction->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_0)));
    QVERIFY(window_->FitAction->shortcuts().contains(QKeySequence(Qt::Key_Home)));
    window_->FitAction->trigger();
    QCOMPARE(canvas->World(), fitted);
    QVERIFY(WaitPainted(tab));
  }

  void layerBoxesHideTheirLines() {
    TDrawingTab* tab = OpenAndWait(plain_);
    QVERIFY(tab);
    TLayerPanel* panel = window_->Layers();
    const int left = ColumnOf(tab, -140), right = ColumnOf(tab, 140);
    QVERIFY(InkOnRow(tab->Canvas()->Picture(), RowOf(tab, 100), left, right, Background(tab)) > 0);
    panel->LayerItem(0, 1)->setCheckState(0, Qt::Unchecked);
    QVERIFY(WaitPainted(tab));
    QCOMPARE(InkOnRow(tab->Canvas()->Picture(), RowOf(tab, 100), left, right, Background(tab)), 0);
    QVERIFY(InkOnRow(tab->Canvas()->Picture(), RowOf(tab, -100), left, right, Background(tab)) > 0);
    // The group's box hides all of its layers; checked again, layer 0-1
    // stays hidden as its own box says.
    panel->GroupItem(0)->setCheckState(0, Qt::Unchecked);
    QVERIFY(WaitPainted(tab));
    QCOMPARE(InkOnRow(tab->Canvas()->Picture(), RowOf(tab, -100), left, right, Background(tab)), 0);
    panel->GroupItem(0)->setCheckState(0, Qt::Checked);
    QVERIFY(WaitPainted(tab));
    QVERIFY(InkOnRow(tab->Canvas()->Picture(), RowOf(tab, -100), left, right, Background(tab)) > 0);
    QCOMPARE(InkOnRow(tab->Canvas()->Picture(), RowOf(tab, 100), left, right, Background(tab)), 0);
  }

  void layersStartAsStored() {
    const QString hidden = dir_->filePath(QStringLiteral("hidden.jww"));
    TJwwData d = TestDrawing(false, true);
    d.Layers[1].Name = N("walls");
    QVERIFY(WriteBytes(hidden, Serialize(d, kVersionImages)));
    TDrawingTab* tab = OpenAndWait(hidden);
    QVERIFY(tab);
    TLayerPanel* panel = window_->Layers();
    QCOMPARE(panel->LayerItem(0, 1)->checkState(0), Qt::Unchecked);
    QCOMPARE(panel->LayerItem(0, 0)->checkState(0), Qt::Checked);
    QCOMPARE(panel->LayerItem(0, 1)->text(0), QStringLiteral("[0-1] walls"));
    // Fitted to what the stored states show; zoomed out, the hidden line's
    // place is in view.
    window_->ZoomOutAction->trigger();
    window_->ZoomOutAction->trigger();
    window_->ZoomOutAction->trigger();
    QVERIFY(WaitPainted(tab));
    const int left = ColumnOf(tab, -140), right = ColumnOf(tab, 140);
    QCOMPARE(InkOnRow(tab->Canvas()->Picture(), RowOf(tab, 100), left, right, Background(tab)), 0);
    panel->LayerItem(0, 1)->setCheckState(0, Qt::Checked);
    QVERIFY(WaitPainted(tab));
    QVERIFY(InkOnRow(tab->Canvas()->Picture(), RowOf(tab, 100), left, right, Background(tab)) > 0);
  }

  void highlightsWhatTheExplodeChanges() {
    TDrawingTab* tab = OpenAndWait(dims_);
    QVERIFY(tab);
    // On at opening, for a drawing with a dimension without a value.
    QVERIFY(window_->HighlightAction->isChecked());
    QVERIFY(window_->ExplodeStatus()->text().startsWith(QStringLiteral("1 dimensions without a value")));
    QVERIFY(Highlighted(tab->Canvas()->Picture()) > 50);
    window_->HighlightAction->trigger();
    QVERIFY(WaitPainted(tab));
    QCOMPARE(Highlighted(tab->Canvas()->Picture()), 0);
    // As stored, the dimension is drawn all the same.
    const int left = ColumnOf(tab, -95), right = ColumnOf(tab, -5);
    QVERIFY(InkOnRow(tab->Canvas()->Picture(), RowOf(tab, 0), left, right, Background(tab)) > (right - left) / 2);
    window_->HighlightAction->trigger();
    QVERIFY(WaitPainted(tab));
    QVERIFY(Highlighted(tab->Canvas()->Picture()) > 50);

    TDrawingTab* other = OpenAndWait(plain_);
    QVERIFY(other);
    QVERIFY(!window_->HighlightAction->isChecked());
    QCOMPARE(window_->ExplodeStatus()->text(), QStringLiteral("no dimension without a value; converting changes no figure"));
    QCOMPARE(window_->Tabs()->count(), 2);
  }

  void explodesAndExportsAsTheConverterDoes() {
    TDrawingTab* tab = OpenAndWait(dims_);
    QVERIFY(tab);
    const QString exploded = dir_->filePath(QStringLiteral("out.jww"));
    dialogs_->SaveAs = {exploded};
    window_->ExplodeAction->trigger();
    QCOMPARE(dialogs_->Suggested.value(0), dir_->filePath(QStringLiteral("with-dims-exploded.jww")));
    QCOMPARE(dialogs_->Errors.value(0), false);
    QVERIFY(dialogs_->Messages.value(0).contains(QStringLiteral("1 dimensions exploded: 3 lines and 4 points added")));
    const QString reference = dir_->filePath(QStringLiteral("reference.jww"));
    QCOMPARE(QProcess::execute(QUORVEX_CONVERT_BIN, {dims_, reference}), 0);
    QCOMPARE(ReadAll(exploded), ReadAll(reference));

    const QString svg = dir_->filePath(QStringLiteral("out"));  // the suffix is added
    const QString dxf = dir_->filePath(QStringLiteral("out.dxf"));
    window_->HighlightAction->setChecked(false);
    dialogs_->SaveAs = {svg, dxf};
    window_->ExportSvgAction->trigger();
    window_->ExportDxfAction->trigger();
    QCOMPARE(dialogs_->Errors, QList<bool>({false, false, false}));
    const QString svgReference = dir_->filePath(QStringLiteral("reference.svg"));
    QCOMPARE(QProcess::execute(QUORVEX_CONVERT_BIN, {QStringLiteral("--svg"), dims_, svgReference}), 0);
    QCOMPARE(ReadAll(svg + QStringLiteral(".svg")), ReadAll(svgReference));
    const QString dxfReference = dir_->filePath(QStringLiteral("reference.dxf"));
    QCOMPARE(QProcess::execute(QUORVEX_CONVERT_BIN, {dims_, dxfReference}), 0);
    QCOMPARE(ReadAll(dxf), ReadAll(dxfReference));
    // The highlight on: the SVG is the converter's preview.
    window_->HighlightAction->setChecked(true);
    dialogs_->SaveAs = {dir_->filePath(QStringLiteral("preview.svg"))};
    window_->ExportSvgAction->trigger();
    const QString previewReference = dir_->filePath(QStringLiteral("reference-preview.svg"));
    QCOMPARE(QProcess::execute(QUORVEX_CONVERT_BIN, {QStringLiteral("--preview"), dims_, previewReference}), 0);
    QCOMPARE(ReadAll(dir_->filePath(QStringLiteral("preview.svg"))), ReadAll(previewReference));
    // The PDF, written within the viewer: what the converter writes with
    // its module, but for the time it was made.
    {
      const QString pdf = dir_->filePath(QStringLiteral("out.pdf"));
      dialogs_->SaveAs = {pdf};
      window_->ExportPdfAction->trigger();
      QVERIFY2(!dialogs_->Errors.last(), qPrintable(dialogs_->Messages.last()));
      const QString pdfReference = dir_->filePath(QStringLiteral("reference.pdf"));
      QCOMPARE(QProcess::execute(QUORVEX_CONVERT_BIN, {dims_, pdfReference}), 0);
      const QRegularExpression made(QStringLiteral("/CreationDate \\(D:[0-9Z+']*\\)"));
      QCOMPARE(QString::fromLatin1(ReadAll(pdf)).remove(made), QString::fromLatin1(ReadAll(pdfReference)).remove(made));
      QVERIFY(ReadAll(pdf).startsWith("%PDF"));
    }
    // A cancelled dialog writes nothing and says nothing.
    const qsizetype said = dialogs_->Messages.size();
    window_->ExportDxfAction->trigger();
    QCOMPARE(dialogs_->Messages.size(), said);
    // The drawing itself as the output is refused, and said so.
    dialogs_->SaveAs = {dims_};
    window_->ExplodeAction->trigger();
    QCOMPARE(dialogs_->Errors.last(), true);
  }

  void exportsAPdfPageOfTheSheet() {
    TDrawingTab* tab = OpenAndWait(plain_);
    QVERIFY(tab);
    QVERIFY(window_->ExportPdfAction->isVisible());
    QVERIFY(window_->ExportPdfAction->isEnabled());
    dialogs_->SaveAs = {dir_->filePath(QStringLiteral("sheet"))};  // the suffix is added
    window_->ExportPdfAction->trigger();
    QCOMPARE(dialogs_->Suggested.value(0), dir_->filePath(QStringLiteral("plain.pdf")));
    QCOMPARE(dialogs_->Errors, QList<bool>({false}));
    const QString pdf = dir_->filePath(QStringLiteral("sheet.pdf"));
    QVERIFY(QFileInfo::exists(pdf));
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {pdf});
    if (!info.waitForStarted(5000))
      QSKIP("pdfinfo (poppler-utils) is not installed: the exported PDF's pages are not checked");
    QVERIFY(info.waitForFinished(60000));
    const QString said = QString::fromUtf8(info.readAllStandardOutput());
    QVERIFY2(info.exitCode() == 0, qPrintable(QString::fromUtf8(info.readAllStandardError())));
    // One page, the drawing's A3 sheet (420 x 297 mm), within a point.
    QVERIFY2(QRegularExpression(QStringLiteral("^Pages:\\s+1$"), QRegularExpression::MultilineOption).match(said).hasMatch(),
             qPrintable(said));
    const QRegularExpressionMatch size =
        QRegularExpression(QStringLiteral("^Page size:\\s+([0-9.]+) x ([0-9.]+) pts"), QRegularExpression::MultilineOption)
            .match(said);
    QVERIFY2(size.hasMatch(), qPrintable(said));
    QVERIFY2(std::abs(size.captured(1).toDouble() - 420 * 72 / 25.4) <= 1 &&
                 std::abs(size.captured(2).toDouble() - 297 * 72 / 25.4) <= 1,
             qPrintable(said));
    // 1:1: the line from x -150 to 150 mm is 300 mm long on the page.
    const std::optional<double> length = InkWidthMillimetres(pdf);
    if (!length) QSKIP("pdftoppm (poppler-utils) is not installed: the PDF's scale is not checked");
    QVERIFY2(std::abs(*length - 300) < 1.5, qPrintable(QString::number(*length)));
  }

  void printsTheSheetAtOneToOneOrFitted() {
    TDrawingTab* tab = OpenAndWait(plain_);
    QVERIFY(tab);
    dialogs_->PrintTo = dir_->filePath(QStringLiteral("sheet.pdf"));
    window_->PrintAction->trigger();
    QVERIFY(window_->PrintAction->shortcut() == QKeySequence::Print);
    // A3 landscape: 420 x 297 mm.
    // Qt gives a page size in whole points.
    QVERIFY(Near(MediaBox(dialogs_->PrintTo), QSizeF(420 * 72 / 25.4, 297 * 72 / 25.4)));
    // The line from x -150 to 150 mm is 300 mm long on the paper.
    const std::optional<double> length = InkWidthMillimetres(dialogs_->PrintTo);
    if (!length) QSKIP("pdftoppm (poppler-utils) is not installed: the print's scale is not checked");
    QVERIFY2(std::abs(*length - 300) < 1.5, qPrintable(QString::number(*length)));
    // Fitted to A4 paper: the page is A4 and the sheet's 420 mm become the
    // printable width.
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir_->filePath(QStringLiteral("fit.pdf")));
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Landscape);
    SetUpPrinter(printer, *tab->Document(), TPrintFit::kPaper);
    QVERIFY(window_->PrintOn(printer, TPrintFit::kPaper));
    QVERIFY(Near(MediaBox(printer.outputFileName()), QSizeF(297 * 72 / 25.4, 210 * 72 / 25.4)));
    const QRectF printable = printer.pageRect(QPrinter::Millimeter);
    const double scale = std::min(printable.width() / 420, printable.height() / 297);
    const std::optional<double> fitted = InkWidthMillimetres(printer.outputFileName());
    QVERIFY(fitted);
    QVERIFY2(std::abs(*fitted - 300 * scale) < 1.5, qPrintable(QStringLiteral("%1 against %2").arg(*fitted).arg(300 * scale)));
    // The preview paints through the same road.
    dialogs_->PreviewTo = dir_->filePath(QStringLiteral("preview.pdf"));
    window_->PreviewAction->trigger();
    QCOMPARE(dialogs_->Previews, 1);
    QVERIFY(Near(MediaBox(dialogs_->PreviewTo), QSizeF(420 * 72 / 25.4, 297 * 72 / 25.4)));
  }

  void aDrawingThatCannotBeReadSaysWhyAndTheViewerStays() {
    const QString bad = dir_->filePath(QStringLiteral("bad.jww"));
    QFile f(bad);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("JwwData.");
    f.close();
    TDrawingTab* tab = OpenAndWait(bad);
    QVERIFY(tab);
    QCOMPARE(tab->State(), TDrawingTab::TState::kFailed);
    QVERIFY(tab->Failure().startsWith(QStringLiteral("The drawing cannot be read: bad.jww\ncut short at byte")));
    QVERIFY(tab->findChild<QLabel*>(QStringLiteral("message"))->text() == tab->Failure());
    QVERIFY(!window_->PrintAction->isEnabled());
    QVERIFY(OpenAndWait(plain_));
    QCOMPARE(window_->Tabs()->count(), 2);
    QVERIFY(window_->PrintAction->isEnabled());
  }

  void tabsDropsCloseAndRecent() {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(plain_), QUrl::fromLocalFile(dims_), QUrl::fromLocalFile(dir_->path())});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &drop);
    QCOMPARE(window_->Tabs()->count(), 2);
    // Opened again: the tab that shows it comes to the front.
    window_->Open({plain_});
    QCOMPARE(window_->Tabs()->count(), 2);
    QCOMPARE(window_->CurrentTab()->Path(), plain_);
    QCOMPARE(window_->Recent().mid(0, 2), QStringList({plain_, dims_}));
    QVERIFY(window_->CloseAction->shortcut() == QKeySequence::Close);
    window_->CloseAction->trigger();
    QCOMPARE(window_->Tabs()->count(), 1);
    QCOMPARE(window_->CurrentTab()->Path(), dims_);
    window_->CloseAction->trigger();
    QCOMPARE(window_->Tabs()->count(), 0);
    QCOMPARE(window_->windowTitle(), QStringLiteral("Quorvex Viewer"));
  }

  void reloadsWhenTheFileChanges() {
    TDrawingTab* tab = OpenAndWait(plain_);
    QVERIFY(tab);
    QVERIFY(!window_->HighlightAction->isChecked());
    // Another drawing written over it, as a CAD program saves: by a new
    // file renamed over the old.
    const QString fresh = dir_->filePath(QStringLiteral("fresh.jww"));
    QVERIFY(QFile::copy(dims_, fresh));
    QVERIFY(std::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(plain_).constData()) == 0);
    QTRY_VERIFY_WITH_TIMEOUT(tab->Document() && tab->Document()->Exploded().DimensionsExploded == 1, 10000);
    QVERIFY(WaitPainted(tab));
    QVERIFY(window_->HighlightAction->isChecked());
  }

  void escStopsTheReading() {
    const QString big = dir_->filePath(QStringLiteral("big.jww"));
    TJwwData d = LargeDrawing(200000);
    QVERIFY(WriteBytes(big, Serialize(d, kVersionImages)));
    window_->Open({big});
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    TDrawingTab* tab = window_->CurrentTab();
    QTRY_VERIFY_WITH_TIMEOUT(tab->State() != TDrawingTab::TState::kLoading, 20000);
    QCOMPARE(tab->State(), TDrawingTab::TState::kStopped);
    QVERIFY(tab->Failure().contains(QStringLiteral("stopped")));
    // Reloaded, it opens.
    window_->ReloadAction->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(tab->State() == TDrawingTab::TState::kShown, 20000);
  }

  // The index finds exactly the items whose boxes meet a view, on shown
  // layers, whatever their sizes; with a pixel larger than its finest
  // cells it keeps a few of those, never one out of view. Filed by two
  // threads at once, it finds the same items as filed by one, down to which
  // item stands for a cell's crowd.
  void theIndexFindsTheItemsInView() {
    TScene scene;
    uint64_t seed = 12345;
    auto next = [&seed] {
      seed = seed * 6364136223846793005ull + 1442695040888963407ull;
      return static_cast<double>(seed >> 11) / static_cast<double>(1ull << 53);
    };
    for (int i = 0; i < 20000; ++i) {
      TBox b;
      if (i % 97 == 0) {  // one that draws nothing
        scene.ItemBoxes.push_back(b);
        scene.ItemLayers.push_back(0);
        continue;
      }
      const double x = next() * 1000 - 500, y = next() * 700 - 350;
      const double size = i % 10 == 0 ? next() * 600 : i % 3 == 0 ? 0 : next() * 5;
      b.Add({x, y});
      b.Add({x + size * next(), y + size * next()});
      scene.ItemBoxes.push_back(b);
      scene.ItemLayers.push_back(static_cast<uint8_t>(i % 7 == 0 ? 255 : i % 32));
    }
    const TSceneIndex index(scene);
    const TSceneIndex single(scene, false);
    TLayerShow shown;
    shown.fill(true);
    for (int l = 0; l < 256; l += 3) shown[l] = false;
    auto meets = [](const TBox& b, const TBox& v) {
      return !b.Empty() && !(b.MaxX < v.MinX || b.MinX > v.MaxX || b.MaxY < v.MinY || b.MinY > v.MaxY);
    };
    std::vector<uint64_t> bits, alone;
    for (int q = 0; q < 40; ++q) {
      TBox view;
      const double x = next() * 1200 - 600, y = next() * 900 - 450, w = q % 4 == 0 ? 2000 : next() * 100;
      view.Add({x, y});
      view.Add({x + w, y + w * 0.6});
      const TLayerShow* layers = q % 2 ? &shown : nullptr;
      const size_t set = index.Query(view, 1e-6, layers, bits);
      size_t expected = 0;
      for (size_t i = 0; i < scene.ItemBoxes.size(); ++i) {
        const uint8_t layer = scene.ItemLayers[i];
        const bool want = meets(scene.ItemBoxes[i], view) && (!layers || layer == 255 || shown[layer]);
        const bool got = (bits[i / 64] >> (i % 64)) & 1;
        if (want != got) QFAIL(qPrintable(QStringLiteral("item %1, view %2: wanted %3").arg(i).arg(q).arg(want)));
        expected += want;
      }
      QCOMPARE(set, expected);
      // A pixel as large as the whole: one item of a cell stands for the
      // cell's crowd, none farther from the view than cells reach.
      const size_t few = index.Query(view, 5000, layers, bits);
      QVERIFY(expected == 0 || few > 0);
      for (double pixel : {5000.0, 20.0, 1.0}) {
        index.Query(view, pixel, layers, bits);
        single.Query(view, pixel, layers, alone);
        QVERIFY(bits == alone);
      }
      index.Query(view, 5000, layers, bits);
      for (size_t i = 0; i < scene.ItemBoxes.size(); ++i) {
        if (!((bits[i / 64] >> (i % 64)) & 1)) continue;
        TBox wide = view;
        const double cell = 3000.0;  // twice the coarsest cells' side: a cell's reach and its item's
        wide.MinX -= cell, wide.MinY -= cell, wide.MaxX += cell, wide.MaxY += cell;
        QVERIFY(meets(scene.ItemBoxes[i], wide));
      }
    }
  }

  void helpAndVersionWithoutADisplay() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    auto run = [&](const QStringList& args) {
      QProcess p;
      p.setProcessEnvironment(env);
      p.start(QUORVEX_VIEW_BIN, args);
      p.waitForFinished(20000);
      return std::pair(p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()));
    };
    const auto [versionStatus, version] = run({QStringLiteral("--version")});
    QCOMPARE(versionStatus, 0);
    QCOMPARE(version, QStringLiteral("quorvex-view " QUORVEX_VERSION "\n"));
    const auto [helpStatus, help] = run({QStringLiteral("--help")});
    QCOMPARE(helpStatus, 0);
    QVERIFY(help.contains(QStringLiteral("--version")));
    if (!QUORVEX_VIEW_TRANSLATED) QSKIP("built without Qt Linguist's lrelease: no Japanese to check");
    // The desktop's language chooses the viewer's.
    env.insert(QStringLiteral("LANGUAGE"), QStringLiteral("ja"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("ja_JP.UTF-8"));
    env.insert(QStringLiteral("LANG"), QStringLiteral("ja_JP.UTF-8"));
    const auto [jaStatus, ja] = run({QStringLiteral("--help")});
    QCOMPARE(jaStatus, 0);
    QVERIFY2(ja.contains(QStringLiteral("バージョン")), qPrintable(ja));
  }

 private:
  static bool Near(const QSizeF& a, const QSizeF& b) {
    return std::abs(a.width() - b.width()) <= 0.5 && std::abs(a.height() - b.height()) <= 0.5;
  }

  static QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }

  // The page size of a PDF's first page, in points, from its MediaBox.
  static QSizeF MediaBox(const QString& pdf) {
    const QByteArray bytes = ReadAll(pdf);
    const QRegularExpression box(QStringLiteral("/MediaBox \\[\\s*([-0-9.]+) ([-0-9.]+) ([-0-9.]+) ([-0-9.]+)\\s*\\]"));
    const QRegularExpressionMatch m = box.match(QString::fromLatin1(bytes));
    if (!m.hasMatch()) return QSizeF();
    const QSizeF size(m.captured(3).toDouble() - m.captured(1).toDouble(), m.captured(4).toDouble() - m.captured(2).toDouble());
    return QSizeF(std::round(size.width() * 100) / 100, std::round(size.height() * 100) / 100);
  }

  // The width of the ink on the page in millimetres, from pdftoppm's
  // picture at 10 pixels a millimetre; nothing without pdftoppm.
  std::optional<double> InkWidthMillimetres(const QString& pdf) {
    const QString prefix = dir_->filePath(QStringLiteral("page"));
    QProcess p;
    p.start(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("254"), QStringLiteral("-png"),
                                         QStringLiteral("-singlefile"), pdf, prefix});
    if (!p.waitForStarted(5000)) return std::nullopt;
    p.waitForFinished(60000);
    const QImage page(prefix + QStringLiteral(".png"));
    if (page.isNull()) return std::nullopt;
    int left = page.width(), right = -1;
    for (int y = 0; y < page.height(); ++y)
      for (int x = 0; x < page.width(); ++x)
        if (qGray(page.pixel(x, y)) < 200) left = std::min(left, x), right = std::max(right, x);
    return right < left ? 0.0 : (right - left + 1) / 10.0;
  }

  QTemporaryDir settingsDir_;
  std::unique_ptr<QTemporaryDir> dir_;
  QString plain_, dims_;
  std::unique_ptr<TRecordingDialogs> dialogs_;
  std::unique_ptr<TViewerWindow> window_;
};

QTEST_MAIN(TestViewer)
#include "tst_viewer.moc"
