// quorvex-thumbnail: a PNG picture of a drawing for file managers.
//
//   quorvex-thumbnail [-s SIZE] [--print] INPUT.jww OUTPUT.png
//
// SIZE is the picture's longest side in pixels (default 256). The drawing is
// drawn as stored, in its screen colours on its own background, or with
// --print in its printer colours on white. Exit status: 0 done, 1 the input
// cannot be read as a drawing, 2 wrong usage, 4 the picture would take the
// drawing's own place, 5 the picture cannot be written, 7 out of memory,
// 128+N ended by signal N (what it had made is removed).
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
#include "thumbnail/scene_painter.h"

using namespace quorvex;

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
    std::fprintf(stderr, "quorvex-thumbnail: %s: cannot be read as a drawing%s%s\n", input.c_str(),
                 error.Failed() ? ": " : "", error.Failed() ? error.Describe().c_str() : "");
    return error.Problem == TReadProblem::kOutOfMemory ? kExitOutOfMemory : kExitReadFailed;
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
  picture.fill(QColor::fromRgb(scene.Background));
  {
    QPainter painter(&picture);
    PaintDrawing(painter, walk, QRectF(0, 0, width, height));
  }
  // Encoded in memory, then written whole or not at all like every output
  // of the program's, its temporary file removed on an interrupt.
  QByteArray png;
  QBuffer buffer(&png);
  if (!buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "PNG")) {
    std::fprintf(stderr, "quorvex-thumbnail: %s: out of memory\n", output.c_str());
    return kExitOutOfMemory;
  }
  bool placed = false;
  if (const int err = WriteFileDurably(output, png.constData(), static_cast<size_t>(png.size()), &placed)) {
    std::fprintf(stderr, "quorvex-thumbnail: %s: %s\n", output.c_str(), WriteFailureReason(err, placed).c_str());
    return kExitWriteFailed;
  }
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  // A file manager stops a slow thumbnailer with SIGTERM: its scratch
  // folder and the picture's temporary file go with it.
  InstallInterruptCleanup();
  // File managers run thumbnailers without a display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
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
