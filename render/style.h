// How entities look in a picture: the background, the colour of a colour
// number, the width of a pen, the dash pattern of a line type and the size
// of a point, taken from the drawing's own settings tables and, where the
// drawing has none, from the attribute tables. Each distinct pen is kept
// once in the scene's pen list.
//
// The drawing stores two colours per colour number 1 to 9 and per extended
// colour (101 to 356): one for the screen and one for the printer, and
// colour number 0's screen colour is the background the author drew on.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "attrib/UnitGraAtt.h"
#include "jww/jwwunit.h"
#include "render/primitives.h"

namespace quorvex {

// 0x00BBGGRR (red in the low byte, as the drawing and the attribute tables
// store colours) to 0xRRGGBB.
uint32_t RgbOfStored(uint32_t c);

// Which of the drawing's colours a picture shows.
enum class TColorSet : uint8_t {
  kScreen,   // as the author saw it: the screen colours on the drawing's own background
  kPrinter,  // as printed: the printer colours on white paper
};

class TStyles {
 public:
  // attributes: the palette (white background), pen sizes and dash
  // patterns used where the drawing stores none (the tables' defaults when
  // null); the palette stands in for the colours when the drawing's colours
  // 0 to 9 of the set are all zero. Pens go to `pens`.
  TStyles(const TJwwData& d, const TgraAttribute* attributes, TColorSet colors, uint32_t highlightRgb,
          std::vector<TPen>& pens);
  TStyles(const TStyles&) = delete;
  TStyles& operator=(const TStyles&) = delete;

  // 0xRRGGBB of a colour number.
  uint32_t ColorOf(uint16_t penColor) const;
  // 0xRRGGBB of the background.
  uint32_t Background() const { return background_; }
  // The pen that strokes the outline of a shape in this colour, solid, as
  // wide as the common part's pen.
  int32_t OutlinePen(const TEntJwwCommon& c, uint32_t rgb);
  // The radius of a point of this colour; exploded points are drawn larger,
  // temporary ones smaller.
  double DotRadius(uint16_t penColor, bool exploded, bool temporary) const;

  // The pen that strokes a line or an arc with this common part (exploded:
  // in the highlight colour, and at least a little wide).
  int32_t StrokePen(const TEntJwwCommon& c, bool exploded);
  // The pen of a fill: only the colour counts.
  int32_t FillPen(uint32_t rgb);
  uint32_t HighlightRgb() const { return highlightRgb_; }
  // The number of a pen as it is, added to the list when new.
  int32_t PenOf(const TPen& pen) { return PenIndex(pen); }

 private:
  double WidthOf(const TEntJwwCommon& c) const;
  // The dash pattern of a line type number, from the drawing's own tables.
  TPen MakeDashes(int style) const;
  int32_t PenIndex(const TPen& pen);

  const TJwwData& d_;
  std::unique_ptr<TgraAttribute> ownAttributes_;
  const TgraAttribute* attrib_ = nullptr;
  TColorSet colors_;
  bool ownColors_ = false;      // the drawing's colours 1 to 9, not the palette
  uint32_t background_ = 0;     // 0xRRGGBB
  uint32_t foreground_ = 0;     // 0xRRGGBB of a colour number that names no colour
  uint32_t highlightRgb_;
  std::vector<TPen>& pens_;
  TPen dashes_[256];
  std::map<std::tuple<uint32_t, double, std::vector<double>, double>, int32_t> penIndex_;
  // Line type, colour number, pen width and highlight packed in a key.
  std::unordered_map<uint64_t, int32_t> strokes_;
  uint64_t lastStroke_ = UINT64_MAX;
  int32_t lastStrokeIndex_ = -1;
  std::unordered_map<uint32_t, int32_t> fills_;  // by 0xRRGGBB
  uint32_t lastFill_ = UINT32_MAX;                // no colour: 0xRRGGBB has no high byte
  int32_t lastFillIndex_ = -1;
};

}  // namespace quorvex
