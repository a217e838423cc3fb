// Prints what the viewer's pictures cost (measurements, not a test):
//
//   quorvex-view-bench [--entities N] [--runs R] [REAL-DRAWINGS-FOLDER]
//
// 1. The largest real drawing of the folder (default ../shared/real beside
//    the source tree): the thumbnailer's whole run (quorvex-thumbnail
//    beside this program) against the viewer's first picture (reading,
//    explode, the look and its index, the painting at 1920 x 1080), and the
//    same with the start of a QApplication added.
// 2. A full redraw at 1920 x 1080 of every real drawing, fitted: the
//    median of R paintings of each.
// 3. Generated drawings of N entities (default 1,000,000), written as
//    files of version 700: the benchmark's drawing of quorvex-bench and one
//    whose entities lie spread over an A1 sheet: the JWW conversion
//    (quorvex-convert, median of R runs) against the viewer's first
//    picture (and its reading, look and painting apart), and redraws at
//    zooms from the whole drawing to 4096 times it, at its centre and near
//    its corner.
//
//   quorvex-view-bench --pictures DIR [REAL-DRAWINGS-FOLDER]
//
// writes the viewer's pictures of every real drawing at 1920 x 1080, fitted
// and zoomed 4 and 16 times about its centre, as DIR/NAME-ZOOMx.png, to be
// compared before and after a change of the painting.
//
//   quorvex-view-bench --profile bench|spread ZOOM [corner] [--png FILE] [--entities N] [--runs R]
//
// paints only that view of that generated drawing, R times after its first
// picture, for a profiler (perf record) to look at; its picture into FILE.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <QApplication>
#include <QImage>

#include "convert/drawingfile.h"
#include "jww/builder.h"
#include "paint/scene_painter.h"
#include "viewer/document.h"
#include "viewer/renderer.h"

using namespace quorvex;
using namespace quorvex::builder;
using Clock = std::chrono::steady_clock;

namespace {

// One view painted over and over for a profiler (--profile).
struct TProfile {
  bool Spread = false;
  double Zoom = 1;
  bool Corner = false;
  int Runs = 1;
  std::string Png;  // where the view's picture is written, when given
};
const TProfile* profile = nullptr;

double Since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// A program's wall time, or -1 when it failed.
double Run(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::fflush(stdout);
  const auto t0 = Clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr)) _exit(127);
    ::execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return Since(t0);
}

const QSize kScreen(1920, 1080);

// Where a first picture's time goes: the reading (and explode), the look
// (the pass over every item and the index), the painting.
struct TFirstSplit {
  double Read = 0, Look = 0, Paint = 0;
};

// Reads a drawing as the viewer does and paints its first picture; the
// seconds, or -1.
double FirstPicture(const std::string& path, std::unique_ptr<TDrawingDocument>* keep = nullptr,
                    TFirstSplit* split = nullptr) {
  const auto t0 = Clock::now();
  TLoadWatch watch;
  TReadError error;
  std::unique_ptr<TDrawingDocument> doc = TDrawingDocument::Load(path, watch, error);
  if (!doc) return -1;
  const double read = Since(t0);
  TViewRequest r;
  r.Size = kScreen;
  r.Fit = true;
  r.Look = doc->Exploded().DimensionsExploded > 0 ? TLookKind::kHighlighted : TLookKind::kStored;
  r.Shown = doc->ShownAsStored();
  QImage image;
  doc->Look(r.Look);  // made here as PaintNow would make it, to be timed apart
  const double look = Since(t0);
  TDrawingWorker::PaintNow(*doc, r, image, nullptr);
  const double s = Since(t0);
  if (split) *split = {read, look - read, s - look};
  if (keep) *keep = std::move(doc);
  return s;
}

// The median time of `runs` paintings of a view.
double Redraw(TDrawingDocument& doc, const TViewRequest& r, int runs) {
  std::vector<double> t;
  QImage image;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = Clock::now();
    TDrawingWorker::PaintNow(doc, r, image, nullptr);
    t.push_back(Since(t0));
  }
  return Median(t);
}

// n entities spread over an A1 sheet (841 x 594 mm) as a drawing of small
// parts is: short lines, circles, points and texts in a grid, and
// dimensions, one in eight without a value.
TJwwData SpreadDrawing(int32_t n) {
  TJwwData d = NewDrawing(kVersionImages);
  d.Header.SheetSize = 1;
  const int side = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(n))));
  const double step = 800.0 / side;
  for (int32_t i = 0; i < n; ++i) {
    const double x = -400 + (i % side) * step, y = -280 + (i / side) * step * 0.7;
    const uint16_t color = static_cast<uint16_t>(1 + i % 8);
    switch (i % 5) {
      case 0: AddToDrawing(d, MakeLine(x, y, x + step * 0.8, y + step * 0.3, Pen(1, color, i % 16))); break;
      case 1: AddToDrawing(d, MakeArc(x, y, step * 0.3, Pen(1, color, i % 16))); break;
      case 2: AddToDrawing(d, MakePoint(x, y, Pen(1, color, i % 16))); break;
      case 3: {
        TEntJwwText t = MakeText(N("A" + std::to_string(i % 1000)), Pen(1, color, i % 16));
        t.StartX = x, t.StartY = y, t.EndX = x + step * 0.6, t.EndY = y;
        t.SizeX = t.SizeY = step * 0.2;
        AddToDrawing(d, t);
        break;
      }
      default: {
        TEntJwwDimension dim = MakeDimension(N(i % 8 == 4 ? "" : "10"), true);
        dim.DimLine = MakeLine(x, y, x + step * 0.8, y);
        dim.AuxLine1 = MakeLine(x, y, x, y - step * 0.2);
        dim.AuxLine2 = MakeLine(x + step * 0.8, y, x + step * 0.8, y - step * 0.2);
        dim.ValueText.StartX = x, dim.ValueText.StartY = y, dim.ValueText.EndX = x + step * 0.3,
        dim.ValueText.EndY = y;
        dim.ValueText.SizeX = dim.ValueText.SizeY = step * 0.2;
        // Its points where a drawn dimension has them: the ends of its
        // line and of its aux lines.
        dim.Point1.X = x, dim.Point1.Y = y;
        dim.Point2.X = x + step * 0.8, dim.Point2.Y = y;
        dim.AuxPoint1.X = x, dim.AuxPoint1.Y = y - step * 0.2;
        dim.AuxPoint2.X = x + step * 0.8, dim.AuxPoint2.Y = y - step * 0.2;
        AddToDrawing(d, dim);
      }
    }
  }
  return d;
}

// The view `zoom` times the fitted one about the centre or about a point a
// tenth in from the box's corner.
QTransform ZoomedWorld(const TBox& box, double zoom, bool corner) {
  const QTransform fit = FitWorld(box, kScreen);
  const QPointF at = corner ? fit.map(QPointF(box.MinX + box.Width() / 10, box.MinY + box.Height() / 10))
                            : QPointF(960, 540);
  return fit * QTransform::fromTranslate(-at.x(), -at.y()) * QTransform::fromScale(zoom, zoom) *
         QTransform::fromTranslate(960, 540);
}

void Generated(const char* what, TJwwData d, const std::string& dir, const std::string& converter, int runs) {
  const std::string in = dir + "/in.jww", out = dir + "/out.jww";
  if (!d.PostRead() || WriteDrawingFile(d, in, kVersionImages, TWriterFallbacks{}, nullptr) != 0) {
    std::printf("%s: cannot be written\n", what);
    return;
  }
  d = TJwwData();
  std::vector<double> convert, first, read, look, paint;
  std::unique_ptr<TDrawingDocument> doc;
  for (int i = 0; i < runs; ++i) {
    ::unlink(out.c_str());
    convert.push_back(Run({converter, in, out}));
    TFirstSplit split;
    first.push_back(FirstPicture(in, i + 1 == runs ? &doc : nullptr, &split));
    read.push_back(split.Read), look.push_back(split.Look), paint.push_back(split.Paint);
  }
  const double c = Median(convert), f = Median(first);
  std::printf("%s, %lld bytes: JWW conversion %.3f s, first picture %.3f s: %.2f times the conversion\n"
              "  first picture: reading %.3f s, the look %.3f s, painting %.3f s (medians)\n",
              what, static_cast<long long>(std::filesystem::file_size(in)), c, f, f / c, Median(read),
              Median(look), Median(paint));
  if (!doc) return;
  TViewRequest r;
  r.Size = kScreen;
  r.Look = doc->Exploded().DimensionsExploded > 0 ? TLookKind::kHighlighted : TLookKind::kStored;
  r.Shown = doc->ShownAsStored();
  const TBox box = PictureBox(doc->Look(r.Look).Walk->Scene());
  const QTransform fit = FitWorld(box, kScreen);
  double worst = 0;
  if (profile) {
    r.World = ZoomedWorld(box, profile->Zoom, profile->Corner);
    std::printf("  %gx%s: %.1f ms (median of %d)\n", profile->Zoom, profile->Corner ? " corner" : "",
                Redraw(*doc, r, profile->Runs) * 1000, profile->Runs);
    if (!profile->Png.empty()) {
      QImage image;
      TDrawingWorker::PaintNow(*doc, r, image, nullptr);
      image.save(QString::fromStdString(profile->Png));
    }
    ::unlink(in.c_str()), ::unlink(out.c_str());
    return;
  }
  std::printf("  redraw at 1920 x 1080 (median of %d):", runs);
  for (double zoom : {1.0, 4.0, 16.0, 64.0, 256.0, 1024.0, 4096.0}) {
    for (int corner = 0; corner < 2; ++corner) {
      r.World = ZoomedWorld(box, zoom, corner != 0);
      const double s = Redraw(*doc, r, runs);
      worst = std::max(worst, s);
      std::printf(" %gx%s %.1f ms", zoom, corner ? " corner" : "", s * 1000);
    }
  }
  std::printf("\n  slowest redraw: %.1f ms\n", worst * 1000);
  // The other look, as the highlight toggle asks for it.
  const auto t0 = Clock::now();
  r.Look = r.Look == TLookKind::kHighlighted ? TLookKind::kStored : TLookKind::kHighlighted;
  r.World = fit;
  QImage image;
  TDrawingWorker::PaintNow(*doc, r, image, nullptr);
  std::printf("  the highlight toggled: the other look made and painted in %.3f s\n", Since(t0));
  ::unlink(in.c_str()), ::unlink(out.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  int32_t entities = 1000000;
  int runs = 5;
  std::string pictures;
  std::string real = std::string(QUORVEX_SOURCE_DIR) + "/../shared/real";
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--entities" && i + 1 < argc) entities = std::atoi(argv[++i]);
    else if (a == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
    else if (a == "--pictures" && i + 1 < argc) pictures = argv[++i];
    else if (a == "--profile" && i + 2 < argc) {
      static TProfile p;
      p.Spread = std::string(argv[++i]) == "spread";
      p.Zoom = std::atof(argv[++i]);
      if (i + 1 < argc && std::string(argv[i + 1]) == "corner") p.Corner = true, ++i;
      if (i + 2 < argc && std::string(argv[i + 1]) == "--png") p.Png = argv[i + 2], i += 2;
      profile = &p;
    }
    else real = a;
  }
  const std::string self = std::filesystem::absolute(argv[0]).parent_path().parent_path().string();
  const std::string thumbnailer = self + "/thumbnail/quorvex-thumbnail", converter = self + "/tools/quorvex-convert";
  const auto appStart = Clock::now();
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const double start = Since(appStart);

  std::vector<std::filesystem::path> drawings;
  std::error_code e;
  for (const auto& entry : std::filesystem::directory_iterator(real, e))
    if (entry.path().extension() == ".jww") drawings.push_back(entry.path());
  std::sort(drawings.begin(), drawings.end());
  const char* tmp = std::getenv("TMPDIR");
  const std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/quorvex-view-bench-" + std::to_string(::getpid());
  std::filesystem::create_directory(dir, e);

  if (!pictures.empty()) {
    for (const auto& path : drawings) {
      std::unique_ptr<TDrawingDocument> doc;
      if (FirstPicture(path.string(), &doc) < 0) continue;
      TViewRequest r;
      r.Size = kScreen;
      r.Look = doc->Exploded().DimensionsExploded > 0 ? TLookKind::kHighlighted : TLookKind::kStored;
      r.Shown = doc->ShownAsStored();
      const TBox box = PictureBox(doc->Look(r.Look).Walk->Scene());
      for (double zoom : {1.0, 4.0, 16.0}) {
        r.World = ZoomedWorld(box, zoom, false);
        QImage image;
        TDrawingWorker::PaintNow(*doc, r, image, nullptr);
        image.save(QString::fromStdString(pictures + "/" + path.stem().string() + "-" +
                                          std::to_string(static_cast<int>(zoom)) + "x.png"));
      }
    }
    return 0;
  }
  if (profile) {
    const int one = 1;  // the conversion and the first picture once
    const_cast<TProfile*>(profile)->Runs = runs;
    if (profile->Spread) Generated("spread", SpreadDrawing(entities), dir, converter, one);
    else Generated("bench", LargeDrawing(entities), dir, converter, one);
    std::filesystem::remove_all(dir, e);
    return 0;
  }
  if (drawings.empty()) {
    std::printf("no real drawings in %s: skipped their figures\n", real.c_str());
  } else {
    const auto largest = *std::max_element(drawings.begin(), drawings.end(), [](const auto& a, const auto& b) {
      return std::filesystem::file_size(a) < std::filesystem::file_size(b);
    });
    std::vector<double> thumb, first;
    for (int i = 0; i < runs; ++i) {
      thumb.push_back(Run({thumbnailer, largest.string(), dir + "/t.png"}));
      first.push_back(FirstPicture(largest.string()));
    }
    const double t = Median(thumb), f = Median(first);
    std::printf("largest real drawing %s (%lld bytes): thumbnailer %.3f s; viewer's first picture at 1920 x 1080 "
                "%.3f s, with the QApplication's start (%.3f s) %.3f s; allowed %.3f s\n",
                largest.filename().c_str(), static_cast<long long>(std::filesystem::file_size(largest)), t, f, start,
                f + start, t + 0.2);
    double worst = 0;
    std::printf("full redraw at 1920 x 1080, fitted (median of %d):\n", runs * 4);
    for (const auto& path : drawings) {
      std::unique_ptr<TDrawingDocument> doc;
      if (FirstPicture(path.string(), &doc) < 0) continue;
      TViewRequest r;
      r.Size = kScreen;
      r.Fit = true;
      r.Look = TLookKind::kStored;
      r.Shown = doc->ShownAsStored();
      const double s = Redraw(*doc, r, runs * 4);
      worst = std::max(worst, s);
      std::printf("  %-20s %6.2f ms\n", path.filename().c_str(), s * 1000);
    }
    std::printf("  slowest: %.2f ms\n", worst * 1000);
  }
  if (entities > 0) {
    Generated(("the benchmark's drawing of " + std::to_string(entities) + " entities").c_str(), LargeDrawing(entities),
              dir, converter, runs);
    Generated((std::to_string(entities) + " entities spread over an A1 sheet").c_str(), SpreadDrawing(entities), dir,
              converter, runs);
  }
  std::filesystem::remove_all(dir, e);
  return 0;
}
