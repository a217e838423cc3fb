// The scene walk: turns a drawing into pictures' primitives, entity by
// entity, so that no picture holds all of them at once. A first pass over
// the drawing and the block definitions it reaches finds what a picture
// needs before its first figure (the scene: pens, images, the groups and
// the extents); then a cursor hands over the figures of a group, the
// drawing's or a definition's, one at a time, built again from the model.
// The SVG writer (render/svg.h) and the thumbnail painter draw with these;
// no drawing code reads the model itself.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "attrib/UnitGraAtt.h"
#include "jww/jwwunit.h"
#include "render/image.h"
#include "render/primitives.h"
#include "render/style.h"

namespace quorvex {

struct TRenderOptions {
  const TgraAttribute* Attributes = nullptr;  // palette, pen sizes, dash patterns (defaults when null)
  TColorSet Colors = TColorSet::kScreen;
  // Marks the lines and points appended to each store from these indexes
  // on (the explode's, explode/explode.h) when given.
  const TAppendStarts* Exploded = nullptr;
  // Draws an exploded drawing as it was before that explode, whose starts
  // these are (explode/explode.h), when given: the dimensions it removed
  // (their items of kind 0) as they were, without the lines and points it
  // appended. A viewer keeps one drawing for both pictures so.
  const TAppendStarts* Unexploded = nullptr;
  const std::vector<TStoredImage>* Images = nullptr;
  // Bytes of image data the scene may hold in all; images beyond it are
  // drawn as frames.
  uint64_t ImageBudget = 64u << 20;
  uint32_t HighlightRgb = 0xE6007E;  // colour of exploded lines and points
  // Keep the box and layer of each of the drawing's own items in the
  // scene (TScene::ItemBoxes), for a painter that draws only a part.
  bool ItemBoxes = false;
  // With ItemBoxes, a drawing of many items is measured by two threads at
  // once (for a machine of two processors or more); the scene is the same.
  bool TwoThreads = false;
};

class TSceneBuilder;

// The walk of one drawing, which must outlive it and stay unchanged. Block
// definitions are reached from the drawing's insertions, each once; an
// insertion that would place a definition inside itself is left out, so
// placements always end.
class TSceneWalk {
 public:
  TSceneWalk(const TJwwData& d, const TRenderOptions& options = {});
  ~TSceneWalk();
  TSceneWalk(const TSceneWalk&) = delete;
  TSceneWalk& operator=(const TSceneWalk&) = delete;

  const TScene& Scene() const;

  // Strings handed over so far (texts, their fonts, block names) whose
  // characters beyond ASCII became replacements because the Shift-JIS
  // converter could not be loaded (text/utf8.h): a picture that drew any
  // does not show what the drawing holds.
  int64_t UndecodedStrings() const;

  // The figures of one group in order, one at a time. A placement's Ref is
  // the group it places, or -1 when it is left out.
  class TCursor {
   public:
    // The next figure into `out` (its earlier contents are replaced);
    // false after the last.
    bool Next(TFigure& out);

   private:
    friend class TSceneWalk;
    TCursor(TSceneBuilder* builder, size_t group) : builder_(builder), group_(group) {}
    TSceneBuilder* builder_;
    size_t group_;
    size_t item_ = 0;
  };
  TCursor Figures(size_t group);

  // The figure of one item of the drawing's own order list, however the
  // items before it were walked; false when it draws nothing.
  bool DrawingFigure(size_t item, TFigure& out);

 private:
  std::unique_ptr<TSceneBuilder> builder_;
};

}  // namespace quorvex
