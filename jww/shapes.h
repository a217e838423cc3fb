// What the numbers of some records mean as shapes, for whoever draws or
// breaks up entities: the length of a segment, whether a dimension's
// auxiliary line has one, and the round shape a solid record may store in
// place of four corners.
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

// A solid record whose PenStyle is 101 holds a round shape instead of four
// corners: its eight numbers are then, in order, the centre's x and y, the
// radius, the flatness (the radius across over the radius along), the tilt
// of the radius along, the start angle, the sweep angle (all angles in
// radians, the start before flattening, as an arc's) and a shape code.
constexpr uint8_t kRoundSolidStyle = 101;
// The shape code of a filled circle, ellipse or sector (a whole one when
// the sweep goes all round).
constexpr double kFilledRoundShape = 100;

struct TRoundSolid {
  double CenterX = 0, CenterY = 0, Radius = 0, Flatness = 0, Tilt = 0, Start = 0, Sweep = 0, Shape = 0;
};

inline bool IsRoundSolid(const TEntJwwSolid& s) { return s.PenStyle == kRoundSolidStyle; }
// The round shape of a solid record (meaningful when IsRoundSolid).
TRoundSolid RoundSolidOf(const TEntJwwSolid& s);

}  // namespace quorvex
