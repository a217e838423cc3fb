// The check of the Qt painting, offscreen: any bytes that read as a
// drawing (images through a scratch folder) are painted as the thumbnailer
// paints them, into a picture of 256 pixels on its longer side (with Qt's
// image drawing or without it, as where Qt has no thread for it), and
// written as the converter's PDF through the PDF module's own entry, into
// memory; in the screen or the printer colours and in colour or black by
// turns of the inputs' sizes. Each must end with a whole PDF (or one that
// says why it does not show the drawing: a font without the texts'
// characters, say) and leave no scratch file. A drawing whose placed
// definitions expand to more than kMostPrimitives primitives is not
// painted: its painting takes seconds under the sanitizers, as it would a
// thumbnailer's of a drawing many times the input's size.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRectF>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
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

// The PDF module's entries (pdf/module.cpp).
extern "C" void QuorvexStartPdf(quorvex::TPdfStart& start);
extern "C" void QuorvexWritePdf(const quorvex::TPdfJob& job, quorvex::TPdfDone& done);

namespace quorvex {

inline constexpr int64_t kMostPrimitives = 100000;
inline constexpr int kPictureSize = 256;  // the thumbnailer's default

// The primitives a painting of the walk's drawing looks at, placements
// expanded, counted up to `most`.
inline int64_t PaintedPrimitives(TSceneWalk& walk, int64_t most) {
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

// Empty when the input passes, else what went wrong. The images pass
// through the keeper's folder; `threads`: whether Qt's image drawing may
// be used (PrepareQtPainting). Needs a QGuiApplication, and the PDF
// module's entry that writes (pdf/module.cpp linked in).
inline std::string CheckPainting(const uint8_t* data, size_t size, TScratchImages& kept, bool threads) {
  return CheckReadDrawing(data, size, kept,
                          [&](TJwwData& d, const TImageStore&, const std::vector<TStoredImage>& images,
                              std::string& problem) {
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
        PaintDrawing(painter, walk, QRectF(0, 0, width, height), kMaxPaintedPrimitives, threads);
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
  });
}


}  // namespace quorvex
