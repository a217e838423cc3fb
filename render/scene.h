// The scene walk: turns a drawing into its scene (render/primitives.h), the
// drawing primitives of every entity shown, grouped by the entity they come
// from, with the block definitions the drawing reaches each drawn once. The
// SVG writer (render/svg.h) and the thumbnail painter draw scenes; no
// drawing code reads the model itself.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "attrib/UnitGraAtt.h"
#include "jww/jwwunit.h"
#include "render/image.h"
#include "render/primitives.h"

namespace quorvex {

// Where the explode began to append in each container: lines and points
// from these indexes on are its work. Take it with ExplodeStart() before
// ExplodeDimensions.
struct TAppendStart {
  int32_t Line = std::numeric_limits<int32_t>::max();
  int32_t Point = std::numeric_limits<int32_t>::max();
};
struct TExplodeStart {
  TAppendStart Drawing;
  std::vector<TAppendStart> Defs;  // by index in BlockDefs
};
TExplodeStart ExplodeStart(const TJwwData& d);

struct TRenderOptions {
  const TgraAttribute* Attributes = nullptr;  // palette, pen sizes, dash patterns (defaults when null)
  const TExplodeStart* Exploded = nullptr;    // marks the explode's lines and points when given
  const std::vector<TStoredImage>* Images = nullptr;
  // Bytes of image data the scene may hold in all; images beyond it are
  // drawn as frames.
  uint64_t ImageBudget = 64u << 20;
  uint32_t HighlightRgb = 0xE6007E;  // colour of exploded lines and points
};

// Builds the scene. Block definitions are walked from the drawing's
// insertions, each once; an insertion that would place a definition inside
// itself is left out, so the scene's placements always end.
TScene BuildScene(const TJwwData& d, const TRenderOptions& options = {});

}  // namespace quorvex
