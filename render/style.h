// How entities look in a picture: the colour of a colour number, the width
// of a pen, the dash pattern of a line type and the size of a point, taken
// from the drawing's own settings tables and, where the drawing has none,
// from the attribute tables. Each distinct pen is kept once in the scene's
// pen list.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "attrib/UnitGraAtt.h"
#include "jww/jwwunit.h"
#include "render/primitives.h"

namespace quorvex {

// 0x00BBGGRR (red in the low byte, as the drawing and the attribute tables
// store colours) to 0xRRGGBB.
uint32_t RgbOfStored(uint32_t c);

class TStyles {
 public:
  // attributes: the palette, pen sizes and dash patterns used where the
  // drawing stores none (the tables' defaults when null). Pens go to `pens`.
  TStyles(const TJwwData& d, const TgraAttribute* attributes, uint32_t highlightRgb, std::vector<TPen>& pens);
  TStyles(const TStyles&) = delete;
  TStyles& operator=(const TStyles&) = delete;

  // 0xRRGGBB of a colour number.
  uint32_t ColorOf(uint16_t penColor) const;
  // The radius of a point of this colour; exploded points are drawn larger,
  // temporary ones smaller.
  double DotRadius(uint16_t penColor, bool exploded, bool temporary) const;

  // The pen that strokes a line or an arc with this common part (exploded:
  // in the highlight colour, and at least a little wide).
  int32_t StrokePen(const TEntJwwCommon& c, bool exploded);
  // The pen of a fill: only the colour counts.
  int32_t FillPen(uint32_t rgb);
  uint32_t HighlightRgb() const { return highlightRgb_; }

 private:
  double WidthOf(const TEntJwwCommon& c) const;
  // The dash pattern of a line type number, from the drawing's own tables.
  TPen MakeDashes(int style) const;
  int32_t PenIndex(const TPen& pen);

  const TJwwData& d_;
  std::unique_ptr<TgraAttribute> ownAttributes_;
  const TgraAttribute* attrib_ = nullptr;
  uint32_t highlightRgb_;
  std::vector<TPen>& pens_;
  TPen dashes_[256];
  std::map<std::tuple<uint32_t, double, std::vector<double>, double>, int32_t> penIndex_;
  std::map<std::tuple<uint8_t, uint16_t, uint16_t, bool>, int32_t> strokes_;
};

}  // namespace quorvex
