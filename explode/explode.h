// The dimension explode: every dimension whose value text is empty or blank
// is replaced by the lines and points it is drawn with, in the drawing and
// in every block definition.
#pragma once

#include <cstdint>

#include "jww/jwwunit.h"

namespace quorvex {

// Flag bits set on the lines and points the explode produces.
constexpr uint16_t kExplodedLineFlag = 0x2000;
constexpr uint16_t kExplodedPointFlag = 0x0040;

// What an explode did, over the drawing and its block definitions.
struct TExplodeSummary {
  int64_t DimensionsExploded = 0;
  int64_t LinesAdded = 0;
  int64_t PointsAdded = 0;
};

// Where the explode will begin to append in each store: the lines and
// points from these indexes on are its work. Take it before
// ExplodeDimensions.
TAppendStarts ExplodeStart(const TJwwData& d);

// True when the dimension's value text holds nothing but blanks and control
// characters.
bool IsDimensionWithoutValue(const TEntJwwDimension& d);

// Explodes the drawing, then each block definition in order: each
// dimension without value that the order list holds is replaced. Items of
// removed dimensions get Kind 0 and DimCount goes down; the records stay in
// Dims. The new lines and points are appended after each container's
// existing entities. A second explode of the same drawing finds nothing
// more to do.
TExplodeSummary ExplodeDimensions(TJwwData& d);

}  // namespace quorvex
