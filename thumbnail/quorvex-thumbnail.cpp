// quorvex-thumbnail: a PNG picture of a drawing for file managers.
//
//   quorvex-thumbnail [-s SIZE] [--print] INPUT.jww OUTPUT.png
//
// SIZE is the picture's longest side in pixels (default 256). The drawing is
// drawn as stored, in its screen colours on its own background, or with
// --print in its printer colours on white. Exit status: 0 done, 1 the input
// cannot be read as a drawing, 2 wrong usage, 4 the picture would take the
// drawing's own place, 5 the picture cannot be written or made whole (its
// carried images cannot pass through the scratch folder, the Shift-JIS
// converter cannot be loaded, Qt cannot start), 7 out of memory (also
// while its libraries start), 128+N ended by signal N (what it had made is
// removed).
#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "convert/exitcodes.h"
#include "convert/outcome.h"
#include "convert/picture.h"
#include "os/fdio.h"
#include "os/interrupts.h"
#include "os/outputfile.h"
#include "os/startguard.h"
#include "text/utf8.h"
#include "thumbnail/qt_failures.h"
#include "thumbnail/scene_painter.h"

using namespace quorvex;

// Memory that runs out while Qt and its libraries start is reported as such.
QUORVEX_START_GUARD("quorvex-thumbnail", kExitOutOfMemory);

namespace {

constexpr int kDefaultSize = 256;
constexpr int kMaxSize = 4096;

int Usage() {
  std::fputs("Usage: quorvex-thumbnail [-s SIZE] [--print] INPUT.jww OUTPUT.png\n", stderr);
  return kExitUsage;
}

int Run(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  int size = kDefaultSize;
  if (args.size() == 4 && args[0] == "-s") {
    char* end = nullptr;
    const long v = std::strtol(args[1].c_str(), &end, 10);
    if (end == args[1].c_str() || *end != '\0' || v < 1 || v > kMaxSize) return Usage();
    size = static_cast<int>(v);
    args.erase(args.begin(), args.begin() + 2);
  }
  TColorSet colors = TColorSet::kScreen;
  if (args.size() == 3 && args[0] == "--print") {
    colors = TColorSet::kPrinter;
    args.erase(args.begin());
  }
  if (args.size() != 2) return Usage();
  const std::string& input = args[0];
  const std::string& output = args[1];
  // The picture takes its name in place of whatever stood there: never in
  // place of the drawing itself.
  if (SameFile(input, output)) {
    std::fprintf(stderr, "quorvex-thumbnail: %s: not written: it is the drawing itself\n", output.c_str());
    return kExitBadOutput;
  }

  TJwwData d;
  std::vector<TStoredImage> images;
  TReadError error;
  if (!ReadDrawingWithImages(input, d, images, error)) {
    // The scratch folder's failure, or memory's, is not the drawing's.
    if (error.IsWriteSide() || error.Problem == TReadProblem::kOutOfMemory) {
      std::fprintf(stderr, "quorvex-thumbnail: %s: %s\n", input.c_str(), error.Describe().c_str());
      return error.IsWriteSide() ? kExitWriteFailed : kExitOutOfMemory;
    }
    std::fprintf(stderr, "quorvex-thumbnail: %s: cannot be read as a drawing%s%s\n", input.c_str(),
                 error.Failed() ? ": " : "", error.Failed() ? error.Describe().c_str() : "");
    return kExitReadFailed;
  }
  TRenderOptions options;
  options.Colors = colors;
  options.Images = &images;
  options.ImageBudget = ImageBudgetFor(RegularFileSize(input).value_or(0));
  TSceneWalk walk(d, options);
  const TScene& scene = walk.Scene();

  // The longest side is `size`; the other follows the drawing's shape.
  const TBox box = PictureBox(scene);
  const double aspect = box.Width() / box.Height();
  int width = size, height = size;
  if (aspect > 1) height = std::max(1, static_cast<int>(std::lround(size / aspect)));
  else width = std::max(1, static_cast<int>(std::lround(size * aspect)));

  QImage picture(width, height, QImage::Format_RGB32);
  if (picture.isNull()) throw std::bad_alloc();
  picture.fill(QColor::fromRgb(scene.Background));
  const bool threads = PrepareQtPainting();
  {
    QPainter painter(&picture);
    PaintDrawing(painter, walk, QRectF(0, 0, width, height), kMaxPaintedPrimitives, threads);
  }
  // Texts whose characters were lost make no picture.
  if (walk.UndecodedStrings() > 0) {
    const int err = Cp932ConverterError();
    std::fprintf(stderr, "quorvex-thumbnail: %s: not drawn: %s\n", input.c_str(), NoConverterReason(err).c_str());
    return err == ENOMEM ? kExitOutOfMemory : kExitWriteFailed;
  }
  // Encoded in memory, then written whole or not at all like every output
  // of the program's, its temporary file removed on an interrupt.
  QByteArray png;
  QBuffer buffer(&png);
  if (!buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "PNG")) {
    std::fprintf(stderr, "quorvex-thumbnail: %s: out of memory\n", output.c_str());
    return kExitOutOfMemory;
  }
  if (const int err = WriteFileDurably(output, png.constData(), static_cast<size_t>(png.size()))) {
    std::fprintf(stderr, "quorvex-thumbnail: %s: cannot be written: %s\n", output.c_str(), std::strerror(err));
    return kExitWriteFailed;
  }
  return kExitOk;
}

// Run's status, or that of what it threw.
int RunCaught(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fputs("quorvex-thumbnail: out of memory\n", stderr);
    return kExitOutOfMemory;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quorvex-thumbnail: %s\n", e.what());
    return kExitReadFailed;
  }
}

}  // namespace

int main(int argc, char** argv) {
  StartGuardDone();
  // A file manager stops a slow thumbnailer with SIGTERM: its scratch
  // folder and the picture's temporary file go with it.
  InstallInterruptCleanup();
  CatchQtFailures();
  // File managers run thumbnailers without a display, and the picture is
  // painted in memory: never on the platform the session names (one that
  // needs a display would fail here).
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Nor does it run an event loop: Qt's own, not GLib's, which aborts the
  // process when its memory runs out.
  qputenv("QT_NO_GLIB", "1");
  // Qt is given no argument of the thumbnailer's (nor takes its options,
  // such as -platform, from them).
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  try {
    QGuiApplication app(qtArgc, qtArgv);
    const int status = RunCaught(argc, argv);
    if (QtPoolBroken()) {
      // Qt would wait at its end for a thread that never started.
      std::fflush(nullptr);
      std::_Exit(status);
    }
    return status;
  } catch (const std::bad_alloc&) {
    std::fputs("quorvex-thumbnail: out of memory while Qt starts\n", stderr);
    return kExitOutOfMemory;
  }
}
