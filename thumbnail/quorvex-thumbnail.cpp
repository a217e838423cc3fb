// quorvex-thumbnail: a PNG picture of a drawing for file managers.
//
//   quorvex-thumbnail [-s SIZE] [--print] INPUT.jww OUTPUT.png
//   quorvex-thumbnail --help | --version
//
// SIZE is the picture's longest side in pixels (default 256). The drawing is
// drawn as stored, in its screen colours on its own background, or with
// --print in its printer colours on white. The output belongs to the caller:
// a file that stands at its name is written into (a thumbnail service makes
// it and reads it back through its own descriptor). Exit status: 0 done, 1
// the input cannot be read as a drawing, 2 wrong usage, 4 the picture would
// take the drawing's own place, 5 the picture cannot be written or made
// whole (its carried images cannot pass through the scratch folder, the
// Shift-JIS converter cannot be loaded, Qt cannot start), 7 out of memory
// (also while its libraries start), 128+N ended by signal N (what it had
// made is removed).
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QPainter>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "convert/exitcodes.h"
#include "convert/inputdrawing.h"
#include "convert/outcome.h"
#include "convert/picture.h"
#include "os/fdio.h"
#include "os/inplacefile.h"
#include "os/interrupts.h"
#include "os/language.h"
#include "os/startguard.h"
#include "text/messages.h"
#include "text/utf8.h"
#include "paint/qt_failures.h"
#include "paint/quiet_start.h"
#include "paint/scene_painter.h"

using namespace quorvex;

// Memory that runs out while Qt and its libraries start is reported as such.
QUORVEX_START_GUARD("quorvex-thumbnail", kExitOutOfMemory);

namespace {

constexpr int kDefaultSize = 256;
constexpr int kMaxSize = 4096;

constexpr const char* kUsage = TrLater("Usage: quorvex-thumbnail [-s SIZE] [--print] INPUT.jww OUTPUT.png\n");

constexpr const char* kHelp = TrLater(
    "\n"
    "Draws a drawing as stored into a PNG picture, in its screen colours on\n"
    "its own background; file managers run it through its thumbnailer entry.\n"
    "A file that stands at OUTPUT is written into, and stays the same file.\n"
    "\n"
    "Options:\n"
    "  -s SIZE     the picture's longest side in pixels, 1 to 4096 (default 256)\n"
    "  --print     in the printer colours, on white\n"
    "  --help      show this help\n"
    "  --version   show the version\n"
    "\n"
    "Exit status:\n"
    "  0  the picture was written\n"
    "  1  the input could not be read as a drawing\n"
    "  2  wrong usage\n"
    "  4  the picture is named as the drawing itself: refused\n"
    "  5  the picture could not be written, or not made whole (the message\n"
    "     says why)\n"
    "  7  out of memory\n"
    "  128+N  ended by signal N; its scratch folder is removed\n");

int Usage() {
  std::fputs(Tr(kUsage), stderr);
  return kExitUsage;
}

// --help and --version, answered before Qt starts; nothing for other words.
std::optional<int> Answer(int argc, char** argv) {
  if (argc != 2) return std::nullopt;
  const std::string word = argv[1];
  if (word == "--help" || word == "-h") {
    std::printf("%s%s", Tr(kUsage), Tr(kHelp));
    return kExitOk;
  }
  if (word == "--version") {
    std::printf("quorvex-thumbnail %s\n", QUORVEX_VERSION);
    return kExitOk;
  }
  return std::nullopt;
}

// What the command line asks for.
struct TRequest {
  int Size = kDefaultSize;
  TColorSet Colors = TColorSet::kScreen;
  std::string Input, Output;
};

// The request, or nothing for wrong usage.
std::optional<TRequest> ReadArguments(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  TRequest request;
  // The options, each at most once and in either order, stand before the
  // two names.
  bool sized = false, printed = false;
  while (args.size() > 2) {
    if (args[0] == "-s" && !sized) {
      char* end = nullptr;
      const long v = std::strtol(args[1].c_str(), &end, 10);
      if (end == args[1].c_str() || *end != '\0' || v < 1 || v > kMaxSize) return std::nullopt;
      request.Size = static_cast<int>(v);
      sized = true;
      args.erase(args.begin(), args.begin() + 2);
    } else if (args[0] == "--print" && !printed) {
      request.Colors = TColorSet::kPrinter;
      printed = true;
      args.erase(args.begin());
    } else {
      return std::nullopt;
    }
  }
  if (args.size() != 2) return std::nullopt;
  request.Input = args[0];
  request.Output = args[1];
  return request;
}

int Run(const TRequest& request) {
  const std::string& input = request.Input;
  const std::string& output = request.Output;
  const int size = request.Size;
  // The picture goes into the file that stands at its name, or takes the
  // name: never the drawing's own file.
  if (SameFile(input, output)) {
    std::fprintf(stderr, "quorvex-thumbnail: %s: %s\n", output.c_str(), Tr("not written: it is the drawing itself"));
    return kExitBadOutput;
  }

  // A file manager names the drawing as it likes: any name is read.
  const TInputLook look = LookAtInput(input, false);
  TJwwData d;
  std::vector<TStoredImage> images;
  TReadError error;
  const TInputRead read = ReadInput(look, error, [&] { return ReadDrawingWithImages(input, d, images, error); });
  if (read != TInputRead::kRead) {
    // The scratch folder's failure, or memory's, is not the drawing's.
    if (read != TInputRead::kInputFailed) {
      std::fprintf(stderr, "quorvex-thumbnail: %s: %s\n", input.c_str(), error.Describe().c_str());
      return read == TInputRead::kScratchFailed ? kExitWriteFailed : kExitOutOfMemory;
    }
    if (error.Failed())
      std::fprintf(stderr, "quorvex-thumbnail: %s: %s\n", input.c_str(),
                   Format(Tr("cannot be read as a drawing: %s"), error.Describe().c_str()).c_str());
    else
      std::fprintf(stderr, "quorvex-thumbnail: %s: %s\n", input.c_str(), Tr("cannot be read as a drawing"));
    return kExitReadFailed;
  }
  TRenderOptions options;
  options.Colors = request.Colors;
  options.Images = &images;
  options.ImageBudget = ImageBudgetFor(look.Size);
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
    std::fprintf(stderr, "quorvex-thumbnail: %s: %s\n", input.c_str(),
                 Format(Tr("not drawn: %s"), NoConverterReason(err).c_str()).c_str());
    return err == ENOMEM ? kExitOutOfMemory : kExitWriteFailed;
  }
  // Encoded in memory, then written into the caller's file in one go (or,
  // where no file stands at the name, through a temporary file that takes
  // the name when complete).
  QByteArray png;
  QBuffer buffer(&png);
  if (!buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "PNG")) {
    std::fprintf(stderr, "quorvex-thumbnail: %s: %s\n", output.c_str(), Tr("out of memory"));
    return kExitOutOfMemory;
  }
  if (const int err = WriteFileInPlace(output, png.constData(), static_cast<size_t>(png.size()))) {
    std::fprintf(stderr, "quorvex-thumbnail: %s: %s\n", output.c_str(),
                 Format(Tr("cannot be written: %s"), std::strerror(err)).c_str());
    return kExitWriteFailed;
  }
  return kExitOk;
}

// Run's status, or that of what it threw.
int RunCaught(const TRequest& request) {
  try {
    return Run(request);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "quorvex-thumbnail: %s\n", Tr("out of memory"));
    return kExitOutOfMemory;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quorvex-thumbnail: %s\n", e.what());
    return kExitReadFailed;
  }
}

}  // namespace

int main(int argc, char** argv) {
  StartGuardDone();
  UseUsersLanguage();
  // A file manager stops a slow thumbnailer with SIGTERM: its scratch
  // folder and the picture's temporary file go with it.
  InstallInterruptCleanup();
  // Help, version and wrong usage need no Qt.
  if (const std::optional<int> answered = Answer(argc, argv)) return *answered;
  const std::optional<TRequest> request = ReadArguments(argc, argv);
  if (!request) return Usage();
  CatchQtFailures();
  // Qt is given no argument of the thumbnailer's (nor takes its options,
  // such as -platform, from them).
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  std::unique_ptr<QGuiApplication> app;
  try {
    app = StartQtQuietly(qtArgc, qtArgv);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "quorvex-thumbnail: %s\n", Tr("out of memory while Qt starts"));
    return kExitOutOfMemory;
  }
  const int status = RunCaught(*request);
  if (QtPoolBroken()) {
    // Qt would wait at its end for a thread that never started.
    std::fflush(nullptr);
    std::_Exit(status);
  }
  return status;
}
