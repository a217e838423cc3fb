// Paints a scene (render/scene.h) with QPainter: the thumbnailer's drawing
// of the same primitives the SVG writer draws.
#pragma once

#include <QPainter>
#include <QRectF>

#include "render/scene.h"

namespace quorvex {

// At most this many primitives are painted for one picture: block
// placements are expanded here, and a drawing whose insertions fan out
// could otherwise ask for billions.
constexpr int64_t kMaxPaintedPrimitives = 2000000;

// The part of the drawing shown, with its margin (render/layout.h).
TBox PictureBox(const TScene& scene);

// Paints the scene into `target` (device coordinates), scaled to fit with
// its aspect kept and centred; the y axis is flipped so the drawing's up is
// up. Returns the number of primitives painted.
int64_t PaintScene(QPainter& painter, const TScene& scene, const QRectF& target,
                   int64_t maxPrimitives = kMaxPaintedPrimitives);

}  // namespace quorvex
