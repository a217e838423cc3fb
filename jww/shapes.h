// What the numbers of some records mean as shapes, for whoever draws or
// breaks up entities: the length of a segment and whether a dimension's
// auxiliary line has one.
#pragma once

#include "jww/jwwtype.h"

namespace quorvex {

// Length of the segment, computed in extended precision and returned as a
// double.
double SegmentLength(double x1, double y1, double x2, double y2);

// True when an auxiliary line of a dimension has a length: longer than
// 1e-8 drawing units, compared in extended precision. Only such lines are
// exploded (and drawn).
bool AuxLineHasLength(const TEntJwwLine& l);

}  // namespace quorvex
