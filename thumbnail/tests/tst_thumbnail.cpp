// The thumbnailer as a file manager runs it: a PNG of the asked size that
// shows the drawing, and a failure without a picture for what is no drawing.
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <functional>
#include <utility>

#include <algorithm>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QtTest>

#include "fuzz/fuzz_paint.h"
#include "jww/builder.h"
#include "jww/header.h"
#include "jww/kinds.h"
#include "paint/scene_painter.h"

using namespace quorvex;
using namespace quorvex::builder;

namespace {

// In a child about to run a program: from here on no thread can be
// started (clone3 is refused as unknown, clone of a thread with EAGAIN, as
// when the address space or the process table is full); processes still
// can.
void RefuseThreads() {
  struct sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_clone3, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_clone, 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, args[0])),
      BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, CLONE_THREAD, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EAGAIN),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  struct sock_fprog program = {static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
  if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
    ::_exit(126);
}

// The thumbnailer's exit status and its error output; -1 when it had not
// ended after a minute (it was then killed), -2 when it crashed.
std::pair<int, QString> Thumbnail(const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                                  std::function<void()> inChild = {}, const QString& program = QUORVEX_THUMBNAIL_BIN) {
  QProcess run;
  run.setProcessEnvironment(env);
  if (inChild) run.setChildProcessModifier(inChild);
  run.start(program, args);
  if (!run.waitForFinished(60000)) {
    run.kill();
    run.waitForFinished();
    return {-1, QString()};
  }
  return {run.exitStatus() == QProcess::NormalExit ? run.exitCode() : -2,
          QString::fromLocal8Bit(run.readAllStandardError())};
}

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The bytes a descriptor reads from its file's start.
QByteArray ReadFromStart(int fd) {
  QByteArray bytes;
  char buf[65536];
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(fd, buf, sizeof buf, at);
    if (n <= 0) return bytes;
    bytes.append(buf, n);
    at += n;
  }
}

// The longest side of a PNG, 0 for anything else.
int LongestSide(const QByteArray& bytes) {
  const QImage image = QImage::fromData(bytes, "PNG");
  return image.isNull() ? 0 : std::max(image.width(), image.height());
}

// The drawing painted by itself into a white picture of this size.
QImage Painted(const TJwwData& d, int size = 200) {
  TSceneWalk walk(d);
  QImage image(size, size, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  PaintDrawing(painter, walk, QRectF(0, 0, size, size));
  painter.end();
  return image;
}

// How far a pixel is from white, 0 (white) to 1 (black).
double Ink(const QImage& image, int x, int y) { return 1 - qGray(image.pixel(x, y)) / 255.0; }

// The pixels of a picture that are not white.
int InkedPixels(const QImage& image, const QRect& area) {
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) n += image.pixel(x, y) != qRgb(255, 255, 255);
  return n;
}

// Where a drawing's point lands in a picture of PaintDrawing's.
QPointF PixelOf(const TJwwData& d, TPt p, int size = 200) {
  const TBox box = PictureBox(TSceneWalk(d).Scene());
  const double scale = std::min(size / box.Width(), size / box.Height());
  return {size / 2.0 + scale * (p.X - (box.MinX + box.MaxX) / 2), size / 2.0 - scale * (p.Y - (box.MinY + box.MaxY) / 2)};
}

// Four black lines round the square from (0, 0) to (100, 100), which sets
// the picture's extent.
TJwwData Framed() {
  TJwwData d = NewDrawing(600);
  const TEntJwwCommon black = Pen(1, 2);
  AddToDrawing(d, MakeLine(0, 0, 100, 0, black));
  AddToDrawing(d, MakeLine(100, 0, 100, 100, black));
  AddToDrawing(d, MakeLine(100, 100, 0, 100, black));
  AddToDrawing(d, MakeLine(0, 100, 0, 0, black));
  return d;
}

}  // namespace

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
    // The sample's orange disc (a solid that stores a circle of radius 6)
    // is a disc about 15 pixels across, not a shape of its numbers.
    QRect orange;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (image.pixel(x, y) == qRgb(255, 128, 0)) orange |= QRect(x, y, 1, 1);
    QVERIFY2(orange.width() >= 10 && orange.width() <= 16 && std::abs(orange.width() - orange.height()) <= 1,
             qPrintable(QString("orange in %1 x %2 pixels").arg(orange.width()).arg(orange.height())));
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
    // With a size too, in either order, as the usage line allows.
    for (const QStringList& options : {QStringList{"-s", "64", "--print"}, QStringList{"--print", "-s", "64"}}) {
      QCOMPARE(QProcess::execute(QUORVEX_THUMBNAIL_BIN, options + QStringList{real, png}), 0);
      const QImage small(png);
      QCOMPARE(std::max(small.width(), small.height()), 64);
      QCOMPARE(small.pixel(0, 0), qRgb(255, 255, 255));
    }
  }

  // The limit on what block placements may cost stops their expansion, not
  // the drawing's own entities after them. A definition that places itself
  // (made in code: the reader refuses such a file) is not placed inside
  // itself.
  void TheDrawingsOwnEntitiesArePaintedWhateverItsBlocksCost() {
    TJwwData d;
    SizeSettingsTables(d);
    d.Header.Version = 700;
    TEntJwwLine line;
    line.PenStyle = 1, line.PenColor = 2;
    d.BlockDefs.resize(1);
    d.BlockDefCount = d.Header.BlockDefListCount = 1;
    TEntJwwBlockDef& def = d.BlockDefs[0];
    def.Number = 1;
    for (int i = 0; i < 50; ++i) {
      line.StartX = line.EndX = i * 0.2, line.StartY = 0, line.EndY = 40;
      AppendEntity(def, def.EntityCount, line);
    }
    TEntJwwBlockRef placed;
    placed.PenColor = 2, placed.ScaleX = placed.ScaleY = 1, placed.BlockNumber = 1;
    AppendEntity(def, def.EntityCount, placed);
    for (int k = 0; k < 10; ++k) {
      placed.RefX = k * 10;
      AppendEntity(d, d.Header.EntityCount, placed);
    }
    line.StartX = 0, line.EndX = 100, line.StartY = line.EndY = 80;  // the last entity
    AppendEntity(d, d.Header.EntityCount, line);
    TSceneWalk walk(d);
    QImage image(200, 200, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
      QPainter painter(&image);
      QCOMPARE(PaintDrawing(painter, walk, QRectF(0, 0, 200, 200), 100), int64_t(100));
    }
    // The last line runs across the top of the picture.
    int drawn = 0;
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 200; ++x) drawn += qGray(image.pixel(x, y)) < 200;
    QVERIFY2(drawn > 150, qPrintable(QString("%1 pixels drawn").arg(drawn)));
  }

  // A text's runs of half-width and full-width characters stand where the
  // CAD program lays them out: a half-width character followed by half
  // the spacing. "漢ab字" (width 4, spacing 1) puts 字 at 5 + 2 * 2.5 = 10,
  // where a text of 字 alone placed at 10 puts it, whatever the font's
  // own widths of a and b.
  void TextRunsStandWhereTheDrawingLaysThemOut() {
    QTemporaryDir dir;
    // The drawing through the thumbnailer (which starts Qt's fonts), 1296
    // pixels wide: the frame and the picture's margin (0.96
    // each side) at 50 pixels a unit.
    auto picture = [&](const std::vector<std::pair<QByteArray, double>>& texts) {
      TJwwData d;
      SizeSettingsTables(d);
      d.Header.Version = 600;
      TEntJwwLine frame;
      frame.PenStyle = 1, frame.PenColor = 1, frame.StartX = -2, frame.StartY = -2, frame.EndX = 22, frame.EndY = 6;
      AppendEntity(d, d.Header.EntityCount, frame);
      for (const auto& [sjis, x] : texts) {
        TEntJwwText t;
        t.PenStyle = 1, t.PenColor = 1, t.StartX = x, t.SizeX = t.SizeY = 4, t.Spacing = 1;
        t.Text = JwwString::Narrow(std::string(sjis.constData(), static_cast<size_t>(sjis.size())));
        AppendEntity(d, d.Header.EntityCount, t);
      }
      TArchiveWriter w;
      if (!d.WriteTo(w, 600, TWriterFallbacks{}, nullptr)) return QImage();
      const std::vector<uint8_t> bytes = w.Data();
      QFile file(dir.filePath("text.jww"));
      if (!file.open(QIODevice::WriteOnly) || file.write(reinterpret_cast<const char*>(bytes.data()), bytes.size()) < 0)
        return QImage();
      file.close();
      if (Thumbnail({"-s", "1296", dir.filePath("text.jww"), dir.filePath("text.png")}).first != 0) return QImage();
      return QImage(dir.filePath("text.png"));
    };
    const QImage mixed = picture({{"\x8a\xbf" "ab\x8e\x9a", 0}});
    const QImage apart = picture({{"\x8a\xbf", 0}, {"\x8e\x9a", 10}});
    QCOMPARE(std::tuple(mixed.width(), apart.size()), std::tuple(1296, mixed.size()));
    // The columns of 漢 and of 字: the same ink; those of "ab" only in the
    // first.
    int differ = 0, inked = 0;
    for (int y = 0; y < mixed.height(); ++y)
      for (int x = 0; x < mixed.width(); ++x) {
        const double unit = x / 50.0 - 2.96;
        if (unit > 4.5 && unit < 9.9) continue;
        const bool a = mixed.pixel(x, y) != mixed.pixel(0, 0), b = apart.pixel(x, y) != apart.pixel(0, 0);
        differ += a != b, inked += a;
      }
    QVERIFY2(inked > 500 && differ < inked / 50, qPrintable(QString("%1 of %2 pixels differ").arg(differ).arg(inked)));
  }

  // A figure on a hidden layer group is not painted, where the drawing's
  // states count (the write group and layer shown).
  void HiddenFiguresAreNotPainted() {
    TJwwData d = Framed();
    TEntJwwLine across = MakeLine(0, 50, 100, 50, Pen(1, 2));
    across.LayerGroup = 1;
    AddToDrawing(d, across);
    const int row = qRound(PixelOf(d, {50, 50}).y());
    const QRect middle(80, row - 2, 40, 5);
    QVERIFY(InkedPixels(Painted(d), middle) > 30);  // shown while every state is 0
    d.LayerGroups[0].State = 3;
    d.Layers[0].State = 3;
    QCOMPARE(InkedPixels(Painted(d), middle), 0);
  }

  // A block whose only figure is a horizontal line has a box of no height:
  // it is painted all the same.
  void ABlockOfOneHorizontalLineIsPainted() {
    TJwwData d = Framed();
    TEntJwwBlockDef& def = AddBlockDef(d, 1, N("rail"));
    Add(def, def.EntityCount, MakeLine(0, 0, 80, 0, Pen(1, 2)));
    AddToDrawing(d, MakeBlockRef(1, 10, 50));
    const int row = qRound(PixelOf(d, {50, 50}).y());
    QVERIFY2(InkedPixels(Painted(d), QRect(60, row - 2, 80, 5)) > 60, "the block's line is missing");
  }

  // A pen thinner than a pixel at the picture's scale is drawn 0.8 pixels
  // wide: a faint line of the drawing's detail, neither lost nor as heavy
  // as a pen a pixel wide.
  void AHairlineCoversFourFifthsOfAPixel() {
    TJwwData d = Framed();
    AddToDrawing(d, MakeLine(0, 50, 100, 50, Pen(1, 2)));
    const QImage image = Painted(d);
    const int row = qRound(PixelOf(d, {50, 50}).y());
    for (const int x : {70, 100, 130}) {
      double ink = 0;  // the line's coverage across its column, in pixels
      for (int y = row - 3; y <= row + 3; ++y) ink += Ink(image, x, y);
      QVERIFY2(std::abs(ink - 0.8) < 0.08, qPrintable(QString("column %1 covered %2 pixels").arg(x).arg(ink)));
    }
  }

  // A text a few pixels high is painted (as a smudge of its size); one
  // below a pixel and a half shows nothing and is left out.
  void SmallTextsShowAndTinyOnesAreLeftOut() {
    const auto inked = [](double pixels) {
      TJwwData d = Framed();
      TEntJwwText text = MakeText(N("WWWWWWWW"), Pen(1, 2));
      text.StartX = 20, text.StartY = 40, text.EndX = 80, text.EndY = 40;
      AddToDrawing(d, text);
      const TBox box = PictureBox(TSceneWalk(d).Scene());
      const double perUnit = 200 / std::max(box.Width(), box.Height());
      // The size stored is the run's height in the drawing's units here
      // (scale 1).
      d.Texts[0].SizeX = d.Texts[0].SizeY = pixels / perUnit;
      const QPointF at = PixelOf(d, {20, 40});
      return InkedPixels(Painted(d), QRect(qFloor(at.x()), qFloor(at.y()) - 8, 40, 10));
    };
    QVERIFY2(inked(2) > 0, "a text two pixels high is missing");
    QVERIFY2(inked(4) > 0, "a text four pixels high is missing");
    QCOMPARE(inked(1.2), 0);
  }

  void ThePictureNeverTakesTheDrawingsPlace() {
    // The same name twice (a slip of the hand): the drawing must stay a
    // drawing, not become its own thumbnail.
    QTemporaryDir dir;
    const QString drawing = dir.filePath("plan.jww");
    QVERIFY(QFile::copy(QUORVEX_SOURCE_DIR "/samples/sample.jww", drawing));
    QFile original(QUORVEX_SOURCE_DIR "/samples/sample.jww");
    QVERIFY(original.open(QIODevice::ReadOnly));
    QCOMPARE(QProcess::execute(QUORVEX_THUMBNAIL_BIN, {drawing, drawing}), 4);
    QFile kept(drawing);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), original.readAll());
  }

  void PaintsWithoutThreadsWhenNoneCanBeStarted() {
    // Qt hands the drawing of a large image to threads and waits for them
    // without end when it cannot start them; the thumbnailer paints all
    // the same, its image sampled by itself.
    QTemporaryDir dir;
    const QString with = dir.filePath("with.png"), without = dir.filePath("without.png");
    const QString sample = QUORVEX_SOURCE_DIR "/samples/sample.jww";
    QCOMPARE(Thumbnail({sample, with}).first, 0);
    const auto [status, err] = Thumbnail({sample, without}, QProcessEnvironment::systemEnvironment(), RefuseThreads);
    QVERIFY2(status == 0, qPrintable(QString("status %1 (-1: still running after a minute): %2").arg(status).arg(err)));
    const QImage a(with), b(without);
    QCOMPARE(b.size(), a.size());
    int differ = 0;  // pixels off by more than an eighth in a colour
    for (int y = 0; y < a.height(); ++y)
      for (int x = 0; x < a.width(); ++x) {
        const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
        differ += std::abs(qRed(p) - qRed(q)) > 32 || std::abs(qGreen(p) - qGreen(q)) > 32 ||
                  std::abs(qBlue(p) - qBlue(q)) > 32;
      }
    // The sample's image covers about 1,600 of these 47,360 pixels: drawn
    // as a crossed frame instead, most of them would differ.
    QVERIFY2(differ < 240, qPrintable(QString("%1 pixels differ").arg(differ)));
  }

  // The largest picture asked for, of a drawing that carries an image,
  // when no thread can be started at all, and when only Qt's cannot (the
  // program's own check for a thread passes, Qt's pool then counts a worker
  // that never started, and Qt must not wait for it, neither for work nor
  // at its end).
  void TheLargestPictureIsPaintedWithoutThreads_data() {
    QTest::addColumn<bool>("onlyQts");
    QTest::newRow("no thread at all") << false;
    QTest::newRow("none of Qt's") << true;
  }
  void TheLargestPictureIsPaintedWithoutThreads() {
    QFETCH(bool, onlyQts);
    QTemporaryDir dir;
    const QString png = dir.filePath("large.png");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (onlyQts) {
      env.insert("LD_PRELOAD", QUORVEX_REFUSE_QT_THREADS);
      // A sanitized build's runtime need not come first here.
      env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":verify_asan_link_order=0");
    }
    const auto [status, err] = Thumbnail({"-s", "4096", QUORVEX_SOURCE_DIR "/samples/sample.jww", png}, env,
                                         onlyQts ? std::function<void()>() : RefuseThreads);
    QVERIFY2(status == 0, qPrintable(QString("status %1 (-1: still running after a minute): %2").arg(status).arg(err)));
    QCOMPARE(LongestSide(ReadAll(png)), 4096);
  }

  void NeedsNoDisplayWhateverPlatformTheSessionNames() {
    // A desktop session names its own platform; a file manager runs the
    // thumbnailer where there is no display to connect to.
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    const auto [status, err] = Thumbnail({QUORVEX_SOURCE_DIR "/samples/sample.jww", dir.filePath("x.png")}, env);
    QVERIFY2(status == 0, qPrintable(QString("status %1: %2").arg(status).arg(err)));
  }

  void NoPlatformPluginIsAStatusOfTheTableNotAnAbort() {
    // A copy of the thumbnailer beside a qt.conf whose plugins folder is
    // empty: Qt finds no platform plugin.
    QTemporaryDir dir;
    QVERIFY(QDir().mkdir(dir.filePath("plugins")));
    const QString copy = dir.filePath("quorvex-thumbnail");
    QVERIFY(QFile::copy(QUORVEX_THUMBNAIL_BIN, copy));
    QFile conf(dir.filePath("qt.conf"));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("[Paths]\nPlugins = " + QFile::encodeName(dir.filePath("plugins")) + "\n");
    conf.close();
    const QString png = dir.filePath("x.png");
    const auto [status, err] = Thumbnail({QUORVEX_SOURCE_DIR "/samples/sample.jww", png},
                                         QProcessEnvironment::systemEnvironment(), {}, copy);
    QCOMPARE(status, 5);
    QVERIFY2(err.contains("quorvex-thumbnail: Qt cannot start"), qPrintable(err));
    QVERIFY(!QFile::exists(png));
  }

  // A thumbnail service makes the output file itself, keeps it open and
  // reads the picture through its own descriptor: the picture must go into
  // that very file, which keeps its mode and stays the file at the name.
  void ThePictureGoesIntoTheFileItsCallerMade() {
    QTemporaryDir dir;
    QByteArray name = QFile::encodeName(dir.filePath("tumbler-XXXXXX.png"));
    const int fd = ::mkstemps(name.data(), 4);  // 0600, empty, as the service makes it
    QVERIFY(fd >= 0);
    struct stat before{};
    QCOMPARE(::fstat(fd, &before), 0);
    const int status = QProcess::execute(QUORVEX_THUMBNAIL_BIN, {"-s", "128", QUORVEX_SOURCE_DIR "/samples/sample.jww",
                                                                 QFile::decodeName(name)});
    const QByteArray seen = ReadFromStart(fd);
    struct stat after{}, named{};
    QCOMPARE(::fstat(fd, &after), 0);
    ::close(fd);
    QCOMPARE(status, 0);
    QCOMPARE(LongestSide(seen), 128);
    QCOMPARE(::stat(name.constData(), &named), 0);
    QCOMPARE(named.st_ino, before.st_ino);
    QCOMPARE(after.st_mode & 07777, mode_t(0600));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 1);
  }

  // Whatever else stands at the picture's name is replaced by a new file,
  // never written through: a link's target, another name of a file and a
  // pipe (which no one reads) stay as they were.
  void ANameThatIsNoPlainFileOfItsOwnIsReplaced_data() {
    QTest::addColumn<QString>("what");
    QTest::newRow("a symbolic link") << "link";
    QTest::newRow("a file with a second name") << "hard link";
    QTest::newRow("a pipe") << "pipe";
  }
  void ANameThatIsNoPlainFileOfItsOwnIsReplaced() {
    QFETCH(QString, what);
    QTemporaryDir dir;
    const QString png = dir.filePath("out.png"), other = dir.filePath("other");
    const QByteArray old = "someone else's bytes";
    if (what != "pipe") {
      QFile f(other);
      QVERIFY(f.open(QIODevice::WriteOnly) && f.write(old) == old.size());
    }
    if (what == "link") QVERIFY(QFile::link(other, png));
    if (what == "hard link") QCOMPARE(::link(QFile::encodeName(other).constData(), QFile::encodeName(png).constData()), 0);
    if (what == "pipe") QCOMPARE(::mkfifo(QFile::encodeName(png).constData(), 0600), 0);
    QProcess run;
    run.start(QUORVEX_THUMBNAIL_BIN, {"-s", "32", QUORVEX_SOURCE_DIR "/samples/sample.jww", png});
    QVERIFY2(run.waitForFinished(60000), "it waits for a reader of the pipe");
    QCOMPARE(run.exitCode(), 0);
    QVERIFY(!QFileInfo(png).isSymLink());
    QCOMPARE(LongestSide(ReadAll(png)), 32);
    if (what != "pipe") QCOMPARE(ReadAll(other), old);
  }

  // Under a file manager's thumbnail service (no runtime folder set) and in
  // GNOME's sandbox, whose /tmp must be empty again afterwards: a run leaves
  // nothing in the folders it is given and prints nothing.
  void ARunLeavesNothingAndSaysNothing_data() {
    QTest::addColumn<bool>("runtimeSet");
    QTest::newRow("no runtime folder") << false;
    QTest::newRow("a runtime folder of its own") << true;
  }
  void ARunLeavesNothingAndSaysNothing() {
    QFETCH(bool, runtimeSet);
    QTemporaryDir dir, tmp, runtime;
    QVERIFY(QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"XDG_RUNTIME_DIR", "QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) env.remove(name);
    env.insert("TMPDIR", tmp.path());
    if (runtimeSet) env.insert("XDG_RUNTIME_DIR", runtime.path());
    QProcess run;
    run.setProcessEnvironment(env);
    // A drawing that carries an image: its scratch folder is used too.
    run.start(QUORVEX_THUMBNAIL_BIN, {"-s", "128", QUORVEX_SOURCE_DIR "/samples/sample.jww", dir.filePath("s.png")});
    QVERIFY(run.waitForFinished(60000));
    QCOMPARE(run.exitCode(), 0);
    QCOMPARE(QString::fromLocal8Bit(run.readAllStandardError()), QString());
    QCOMPARE(QString::fromLocal8Bit(run.readAllStandardOutput()), QString());
    const auto names = [](const QString& path) {
      return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    };
    QCOMPARE(names(tmp.path()), QStringList());
    QCOMPARE(names(runtime.path()), QStringList());
    QCOMPARE(names(dir.path()), QStringList{"s.png"});
  }

  // Asked for its help and version as any command is: on the standard
  // output, with status 0, and without Qt or a display.
  void HelpAndVersion() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) env.remove(name);
    env.insert("QT_QPA_PLATFORM", "xcb");  // a platform that cannot start here
    const auto ask = [&env](const QString& word, QString& out) {
      QProcess run;
      run.setProcessEnvironment(env);
      run.start(QUORVEX_THUMBNAIL_BIN, {word});
      if (!run.waitForFinished(30000)) return -1;
      out = QString::fromLocal8Bit(run.readAllStandardOutput());
      return run.exitStatus() == QProcess::NormalExit ? run.exitCode() : 1000;
    };
    QString out;
    QCOMPARE(ask("--help", out), 0);
    QVERIFY2(out.startsWith("Usage: quorvex-thumbnail [-s SIZE] [--print] INPUT.jww OUTPUT.png\n") &&
                 out.contains("\n  --version "),
             qPrintable(out));
    QCOMPARE(ask("--version", out), 0);
    QCOMPARE(out, QStringLiteral("quorvex-thumbnail " QUORVEX_VERSION "\n"));
    QCOMPARE(ask("--bogus", out), 2);
    // Sizes outside 1 to 4096 are wrong usage, not a picture.
    QTemporaryDir dir;
    for (const char* size : {"0", "4097", "-5", "12x"})
      QCOMPARE(QProcess::execute(QUORVEX_THUMBNAIL_BIN, {"-s", size, QUORVEX_SOURCE_DIR "/samples/sample.jww", dir.filePath("x.png")}), 2);
    QVERIFY(!QFile::exists(dir.filePath("x.png")));
  }

  void NoDrawingNoPicture() {
    QTemporaryDir dir;
    const QString png = dir.filePath("none.png");
    QCOMPARE(QProcess::execute(QUORVEX_THUMBNAIL_BIN, {QUORVEX_SOURCE_DIR "/README.md", png}), 1);
    QVERIFY(!QFile::exists(png));
  }

  // The fuzz corpus replayed through the painting fuzz target's check
  // (fuzz/fuzz_paint.h), with Qt's image drawing and without: each file
  // that reads is painted as a thumbnail and written as a PDF, whole.
  void TheFuzzCorpusIsPaintedAndPrinted() {
    const QStringList files = QDir(QUORVEX_SOURCE_DIR "/fuzz/corpus").entryList(QDir::Files, QDir::Name);
    QVERIFY(!files.isEmpty());
    const bool threads = PrepareQtPainting();
    for (const QString& name : files) {
      QFile file(QUORVEX_SOURCE_DIR "/fuzz/corpus/" + name);
      QVERIFY(file.open(QIODevice::ReadOnly));
      const QByteArray bytes = file.readAll();
      const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
      QTemporaryDir scratch;
      TScratchImages kept(scratch.path().toStdString() + "/");
      for (const bool withThreads : {threads, false})
        QCOMPARE(QString::fromStdString(CheckPainting(data, static_cast<size_t>(bytes.size()), kept, withThreads)) +
                     " (" + name + ")",
                 " (" + name + ")");
    }
  }
};

// A GUI application: the painter lays out texts with its fonts.
QTEST_MAIN(TstThumbnail)
#include "tst_thumbnail.moc"
