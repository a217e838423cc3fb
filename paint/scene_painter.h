// Paints a drawing with QPainter, figure by figure as the scene walk
// (render/scene.h) hands them over: the thumbnailer's drawing of the same
// primitives the SVG writer draws.
#pragma once

#include <QPainter>
#include <QRectF>

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

}  // namespace quorvex
