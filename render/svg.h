// Draws a scene as SVG: one element per entity, its class naming the
// entity's kind ("line", "arc", "point", "text", "solid", "dim", "block"),
// with "exploded", "temporary" and "image" added where they apply. Block
// definitions are drawn once each in <defs> and placed with <use>; carried
// images are embedded once each as data URIs.
#pragma once

#include <string>

#include "bytes/writer.h"
#include "render/scene.h"

namespace quorvex {

struct TSvgOptions {
  std::string Caption;  // one line under the drawing; none when empty
};

// Writes the picture of the walk's drawing to `out` as it is made, a chunk
// at a time; whether all of it got there is out's to say.
void WriteSvg(TSceneWalk& walk, TArchiveWriter& out, const TSvgOptions& options = {});

// The picture as a string, for small drawings.
std::string DrawingToSvg(const TJwwData& d, const TRenderOptions& render = {}, const TSvgOptions& options = {});

}  // namespace quorvex
