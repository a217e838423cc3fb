// libFuzzer target of the Qt painting, offscreen: any bytes that read as a
// drawing (images into a scratch folder of this process) are painted as
// the thumbnailer paints them, into a picture of 256 pixels on its longer
// side, and written as the converter's PDF through the PDF module's own
// entry, into memory. The picture is painted with Qt's image drawing and
// without it (as where Qt has no thread for it), and in the screen and the
// printer colours, by turns of the inputs. Each must end with a whole PDF
// (or one that says why it does not show the drawing: a font without the
// texts' characters, say) and leave no scratch file. A drawing whose
// placed definitions expand to more than kMostPrimitives primitives is not
// painted: its painting takes seconds under the sanitizers, as it would
// a thumbnailer of a drawing many times the input's size.
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRectF>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bytes/writer.h"
#include "convert/pdfmodule.h"
#include "convert/picture.h"
#include "convert/scratchimages.h"
#include "fuzz/fuzz_scratch.h"
#include "jww/images.h"
#include "jww/jwwunit.h"
#include "paint/qt_failures.h"
#include "paint/scene_painter.h"
#include "render/page.h"
#include "render/scene.h"

using namespace quorvex;

// The PDF module's entries (pdf/module.cpp, linked in).
extern "C" void QuorvexStartPdf(TPdfStart& start);
extern "C" void QuorvexWritePdf(const TPdfJob& job, TPdfDone& done);

namespace {

constexpr int64_t kMostPrimitives = 100000;
constexpr int kPictureSize = 256;  // the thumbnailer's default

// The primitives a painting of the walk's drawing looks at, placements
// expanded, counted up to `most`.
int64_t PaintedPrimitives(TSceneWalk& walk, int64_t most) {
  const size_t groups = walk.Scene().Groups.size();
  std::vector<int64_t> own(groups, 0);
  std::vector<std::vector<int32_t>> placed(groups);
  TFigure figure;
  for (size_t g = 0; g < groups; ++g) {
    TSceneWalk::TCursor cursor = walk.Figures(g);
    while (cursor.Next(figure))
      for (const TPrimitive& p : figure.Prims) {
        if (p.Kind != TPrimKind::kPlace) own[g] = std::min(own[g] + 1, most);
        else if (p.Ref > 0 && static_cast<size_t>(p.Ref) < groups) placed[g].push_back(p.Ref);
      }
  }
  // Each group's total after those of the groups it places (a walk of the
  // placements, which never place a group inside itself).
  std::vector<int64_t> total(groups, -1);
  std::vector<std::pair<size_t, size_t>> stack{{0, 0}};
  if (groups == 0) return 0;
  total[0] = -2;  // under way
  while (!stack.empty()) {
    auto& [g, next] = stack.back();
    if (next < placed[g].size()) {
      const size_t child = static_cast<size_t>(placed[g][next++]);
      if (total[child] == -1) {
        total[child] = -2;
        stack.emplace_back(child, 0);
      }
      continue;
    }
    int64_t sum = own[g];
    for (int32_t child : placed[g]) sum = std::min(sum + std::max<int64_t>(total[static_cast<size_t>(child)], 0), most);
    total[g] = sum;
    stack.pop_back();
  }
  return total[0];
}

// Empty when the input passes, else what went wrong.
std::string CheckPainting(const uint8_t* data, size_t size, TScratchImages& kept, bool threads) {
  TImageStore store;
  store.Keeper = &kept;
  std::string problem;
  TJwwData d;
  if (d.ReadBytes(data, size, &store, nullptr)) {
    std::vector<TStoredImage> images;
    if (KeptImages(store, images) != 0) problem = "an image cannot be read back from its scratch file";
    TRenderOptions options;
    options.Images = &images;
    options.ImageBudget = ImageBudgetFor(size);
    // The thumbnail, as quorvex-thumbnail paints it.
    options.Colors = size % 2 ? TColorSet::kPrinter : TColorSet::kScreen;
    TSceneWalk walk(d, options);
    const TScene& scene = walk.Scene();
    if (problem.empty() && PaintedPrimitives(walk, kMostPrimitives + 1) <= kMostPrimitives) {
      const TBox box = PictureBox(scene);
      const double aspect = box.Width() / box.Height();
      int width = kPictureSize, height = kPictureSize;
      if (aspect > 1) height = std::max(1, static_cast<int>(std::lround(kPictureSize / aspect)));
      else width = std::max(1, static_cast<int>(std::lround(kPictureSize * aspect)));
      QImage picture(width, height, QImage::Format_RGB32);
      if (picture.isNull()) problem = "no picture of " + std::to_string(width) + " x " + std::to_string(height);
      else {
        picture.fill(QColor::fromRgb(scene.Background));
        QPainter painter(&picture);
        PaintDrawing(painter, walk, QRectF(0, 0, width, height), kMaxPaintedPrimitives, threads && (size / 2) % 2);
      }
      if (problem.empty()) {
        // The PDF, as convert/pdffile has the module write it.
        TRenderOptions print;
        print.Colors = TColorSet::kPrinter;
        print.Images = &images;
        print.ImageBudget = options.ImageBudget;
        TSceneWalk printWalk(d, print);
        const TPage page = PageOf(d.Header.SheetSize, printWalk.Scene());
        TArchiveWriter out;
        TPdfJob job;
        job.Walk = &printWalk;
        job.Page = &page;
        job.Mono = size % 3 == 0;
        job.Title = "drawing";
        job.Out = &out;
        TPdfDone done;
        QuorvexWritePdf(job, done);
        const std::vector<uint8_t> bytes = out.Data();
        const std::string_view pdf(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        if (done.WriterFailed || !out.Ok()) problem = "the PDF writer failed in memory";
        else if (!pdf.starts_with("%PDF-") || pdf.find("%%EOF") == std::string_view::npos)
          problem = "the PDF is not whole";
      }
    }
  }
  store.DropImages();
  if (const std::string left = LeftInFolder(kept.Folder); !left.empty() && problem.empty())
    problem = "a scratch file is left: " + left;
  return problem;
}

}  // namespace

// The font library keeps what it found of the system's fonts for the
// process's life, where the leak check does not see it (not ours).
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Qt on its offscreen platform, as the converter's PDF module starts it.
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  TPdfStart start;
  QuorvexStartPdf(start);
  if (!start.Problem.empty()) {
    std::fprintf(stderr, "quorvex-fuzz-paint: %s\n", start.Problem.c_str());
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool threads = PrepareQtPainting();
  TScratchImages kept(FuzzScratchFolder());
  const std::string problem = CheckPainting(data, size, kept, threads);
  if (!problem.empty()) {
    std::fprintf(stderr, "quorvex-fuzz-paint: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
