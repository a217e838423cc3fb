// Colours and line widths as DXF names them: the AutoCAD Color Index (ACI)
// nearest to a true colour, for readers that show no true colours, and the
// standard lineweight nearest to a pen's width.
#pragma once

#include <cstdint>

namespace quorvex {

// The ACI colour (1 to 255) nearest to 0xRRGGBB. Colour 7 stands for black
// here: it is drawn in the foreground colour, black on the white paper the
// colours are chosen for.
int NearestAci(uint32_t rgb);

// The standard lineweight (hundredths of a millimetre: 0, 5, 9, 13, ...
// 211) nearest to a width in millimetres; halfway between two, the
// thinner.
int NearestLineweight(double millimetres);

}  // namespace quorvex
