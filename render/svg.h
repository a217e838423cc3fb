// Draws a scene as SVG: one element per entity, its class naming the
// entity's kind ("line", "arc", "point", "text", "solid", "dim", "block"),
// with "exploded", "temporary" and "image" added where they apply. Block
// definitions are drawn once each in <defs> and placed with <use>; carried
// images are embedded once each as data URIs.
#pragma once

#include <string>

#include "render/scene.h"

namespace quorvex {

struct TSvgOptions {
  std::string Caption;  // one line under the drawing; none when empty
};

std::string SceneToSvg(const TScene& scene, const TSvgOptions& options = {});

}  // namespace quorvex
