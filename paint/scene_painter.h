// Paints a drawing with QPainter, figure by figure as the scene walk
// (render/scene.h) hands them over: the thumbnailer's drawing of the same
// primitives the SVG writer draws.
#pragma once

#include <QPainter>
#include <QRectF>
#include <QTransform>

#include <atomic>

#include "paint/scene_index.h"
#include "render/scene.h"

namespace quorvex {

// At most this many primitives of placed block definitions are painted for
// one picture (the drawing's own are all painted): placements are expanded
// here, and a drawing whose insertions fan out could otherwise ask for
// billions.
constexpr int64_t kMaxPaintedPrimitives = 2000000;

// The part of the drawing shown, with its margin (render/layout.h).
TBox PictureBox(const TScene& scene);

// Paints the walk's drawing into `target` (device coordinates, from the
// device's origin), scaled to fit with its aspect kept and centred; the y
// axis is flipped so the drawing's up is up. A primitive smaller than a
// pixel is left out when another one already fell on that pixel. Returns
// the number of primitives of placed definitions looked at. Without
// `threads` the images are sampled here, pixel by pixel, and blended in
// untransformed: Qt's own drawing of a transformed image hands its work to
// threads, which may not be there to be had (paint/qt_failures.h).
int64_t PaintDrawing(QPainter& painter, TSceneWalk& walk, const QRectF& target,
                     int64_t maxPrimitives = kMaxPaintedPrimitives, bool threads = true);

// How a page of a print is painted (PaintPage).
struct TPageStyle {
  bool Mono = false;       // every line, fill and text black (images as they are)
  double Hairline = 0.05;  // the thinnest stroke, in drawing units (a page's millimetres)
};

// What a page could not show, for a print that must say so rather than
// leave it out.
struct TPageShown {
  int64_t Placed = 0;              // primitives of placed definitions painted
  bool Cut = false;                // more were placed than maxPrimitives: those were not painted
  int64_t UnreadImages = 0;        // images of the scene that Qt cannot read (not drawn)
  int64_t TextsWithoutGlyphs = 0;  // texts with a character no font shows
  char32_t MissingCharacter = 0;   // the first such character
};

// Paints the walk's drawing onto a page of a print device (a PDF) as the
// SVG writer draws it: `paper` maps the drawing's units (y up) onto the
// device. Unlike a picture, nothing is left out for its size: every
// primitive is painted, arcs as curves, strokes as wide as their pens and
// no thinner than the hairline, dashes as the pens have them with round
// ends, texts as text, images as they are (JPEG ones as JPEG). Temporary
// points, shown on screen only, are not printed.
TPageShown PaintPage(QPainter& painter, TSceneWalk& walk, const QTransform& paper, const TPageStyle& style = {},
                     int64_t maxPrimitives = kMaxPaintedPrimitives);

// A view of a drawing, as a viewer paints it: any part at any scale.
struct TViewPaint {
  QTransform World;  // drawing units to device pixels (the caller flips y)
  QRectF Target;     // the part of the device painted, from its origin
  // The drawing's items filed, from this walk's scene (made with
  // TRenderOptions::ItemBoxes): only the items in view are looked at, and
  // a crowd of them under one pixel is drawn as one. Null: every item.
  const TSceneIndex* Index = nullptr;
  // Which layers are shown, in place of the drawing's stored states
  // (inside a block the insertion's layer counts); null: as stored.
  const TLayerShow* Shown = nullptr;
  // Set by another thread to stop the painting soon.
  const std::atomic<bool>* Stop = nullptr;
  int64_t MaxPrimitives = kMaxPaintedPrimitives;
  bool Threads = true;  // as PaintDrawing's
};

// Paints a view of the walk's drawing, item by item as the drawing lists
// them, primitives smaller than a pixel as PaintDrawing does. False when
// stopped before the end (what was painted stays).
bool PaintView(QPainter& painter, TSceneWalk& walk, const TViewPaint& view);

}  // namespace quorvex
