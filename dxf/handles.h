// Whether the entity writer writes an entity, and how many handles it
// gives it: the one place that decides, which the first pass counts (so
// that $HANDSEED is the handle after the last one the file gives) and the
// entity writer follows. An entity left out names the loss it is counted
// as.
#pragma once

#include <cstdint>

#include "dxf/dxf.h"

namespace quorvex {

struct TDxfWritten {
  uint64_t Handles = 0;               // 0: left out
  int64_t TDxfLosses::*Loss = nullptr;  // what it is counted as when left out
};

TDxfWritten WrittenAs(const TEntJwwLine& l);
TDxfWritten WrittenAs(const TEntJwwArc& a);
TDxfWritten WrittenAs(const TEntJwwPoint& p);
// A text as TEXT, or for an image text as IMAGE with its reactor (two
// handles) when its image is carried.
TDxfWritten WrittenAs(const TEntJwwText& t, const TDxfOptions& o);
TDxfWritten WrittenAs(const TEntJwwSolid& s);
// An insertion; `defined`: its number names a definition in use.
TDxfWritten WrittenAs(const TEntJwwBlockRef& r, bool defined);
// A dimension's DIMENSION, and the entities of its block (whose own three
// handles are counted with the blocks).
TDxfWritten WrittenAs(const TEntJwwDimension& dim);
uint64_t DimensionBlockHandles(const TEntJwwDimension& dim, bool parts, const TDxfOptions& o);

// The image of the options an image text shows (an index into o.Images),
// or -1 when it shows none that can be written.
int32_t CarriedImage(const TEntJwwText& t, const TDxfOptions& o);

}  // namespace quorvex
