#include "jww/shapes.h"

#include <cmath>

namespace quorvex {

double SegmentLength(double x1, double y1, double x2, double y2) {
  const long double dx = static_cast<long double>(x2) - x1;
  const long double dy = static_cast<long double>(y2) - y1;
  return static_cast<double>(sqrtl(dx * dx + dy * dy));
}

bool AuxLineHasLength(const TEntJwwLine& l) {
  return static_cast<long double>(SegmentLength(l.StartX, l.StartY, l.EndX, l.EndY)) > 1e-8L;
}

TRoundSolid RoundSolidOf(const TEntJwwSolid& s) {
  return {s.X1, s.Y1, s.X2, s.Y2, s.X3, s.Y3, s.X4, s.Y4};
}

}  // namespace quorvex
