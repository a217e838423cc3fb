// The thumbnailer as a file manager runs it: a PNG of the asked size that
// shows the drawing, and a failure without a picture for what is no drawing.
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TstThumbnail : public QObject {
  Q_OBJECT

 private slots:
  void SampleBecomesAPictureOfTheAskedSize() {
    QTemporaryDir dir;
    const QString png = dir.filePath("sample.png");
    QCOMPARE(QProcess::execute(QUORVEX_THUMBNAIL_BIN,
                               {"-s", "256", QUORVEX_SOURCE_DIR "/samples/sample.jww", png}),
             0);
    const QImage image(png);
    QCOMPARE(std::max(image.width(), image.height()), 256);
    // The frame, the dimensions, the block and the image: far more than a
    // few stray pixels differ from the white background.
    int drawn = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) drawn += image.pixel(x, y) != qRgb(255, 255, 255);
    QVERIFY2(drawn > 1000, qPrintable(QString("%1 pixels drawn").arg(drawn)));
  }

  // A drawing made on a black background is drawn on black, in its own
  // screen colours.
  void DrawnOnTheDrawingsOwnBackground() {
    const QString real = QUORVEX_SOURCE_DIR "/../shared/real/blocks-two.jww";
    if (!QFile::exists(real)) QSKIP("real drawings folder ../shared/real is absent");
    QTemporaryDir dir;
    const QString png = dir.filePath("black.png");
    QCOMPARE(QProcess::execute(QUORVEX_THUMBNAIL_BIN, {real, png}), 0);
    const QImage image(png);
    QCOMPARE(image.pixel(0, 0), qRgb(0, 0, 0));
    int white = 0;  // its pen 2 is white on screen: light strokes
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) white += qGray(image.pixel(x, y)) > 96;
    QVERIFY2(white > 100, qPrintable(QString("%1 light pixels").arg(white)));
    // As printed: on white paper.
    QCOMPARE(QProcess::execute(QUORVEX_THUMBNAIL_BIN, {"--print", real, png}), 0);
    QCOMPARE(QImage(png).pixel(0, 0), qRgb(255, 255, 255));
  }

  void NoDrawingNoPicture() {
    QTemporaryDir dir;
    const QString png = dir.filePath("none.png");
    QCOMPARE(QProcess::execute(QUORVEX_THUMBNAIL_BIN, {QUORVEX_SOURCE_DIR "/README.md", png}), 1);
    QVERIFY(!QFile::exists(png));
  }
};

QTEST_GUILESS_MAIN(TstThumbnail)
#include "tst_thumbnail.moc"
