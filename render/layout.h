// How a picture is laid out, the same for the SVG writer and the thumbnail
// painter: the part of the drawing shown and its margin, where texts stand,
// the fonts asked for and how faint temporary points are.
#pragma once

#include "render/primitives.h"

namespace quorvex {

// A Japanese font's character box reaches this far (in character heights)
// below the base line the glyphs stand on; the drawing's texts stand on the
// bottom of that box.
constexpr double kDescent = 0.12;
// Temporary points are drawn with this opacity.
constexpr double kTemporaryOpacity = 0.45;

// The font families asked for after the drawing's own font name, as a CSS
// font-family list.
extern const char kJapaneseGothicFamilies[];

// The part of the drawing a picture shows, before its margin: the scene's
// extents, or a 100 x 100 square for an empty scene, kept within +-1e300 so
// that widths stay finite for absurd coordinates.
TBox ShownBox(const TScene& scene);

// The margin around the shown box: 4% of its longer side, at least one
// drawing unit.
double PictureMargin(const TBox& shown);

}  // namespace quorvex
