// The thumbnailer as a file manager runs it: a PNG of the asked size that
// shows the drawing, and a failure without a picture for what is no drawing.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

  void APipeIsRefusedWithoutBeingOpened() {
    // A file manager asks for a pipe named .jww: opening it for reading
    // would wait for a writer that never comes. A writer's non-blocking
    // open succeeds only while the thumbnailer has it open for reading;
    // then the test lets it go on and fails.
    QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath("pipe.jww"));
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    QProcess run;
    run.start(QUORVEX_THUMBNAIL_BIN, {QString::fromLocal8Bit(fifo), dir.filePath("pipe.png")});
    QVERIFY(run.waitForStarted());
    bool opened = false;
    while (!run.waitForFinished(5)) {
      if (const int w = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); w >= 0) {
        ::close(w);
        opened = true;
      }
    }
    QVERIFY(!opened);
    QCOMPARE(run.exitCode(), 1);
    QVERIFY(!QFile::exists(dir.filePath("pipe.png")));
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
