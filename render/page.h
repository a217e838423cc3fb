// The page a print of a drawing takes: the drawing's sheet (the header's
// SheetSize), landscape, its centre the origin of the paper coordinates,
// so that a paper millimetre of the drawing is a millimetre of the page;
// for a sheet number of no known size, a page that fits the drawing's ink
// with the pictures' margin.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "render/primitives.h"

namespace quorvex {

// The CAD program's sheets: the name and size (landscape, millimetres) of
// the sheet a SheetSize names; nothing for a number of no known size.
struct TSheet {
  const char* Name = nullptr;  // "A2", "3A"
  double Width = 0, Height = 0;
};
std::optional<TSheet> SheetOf(int32_t number);

struct TPage {
  double Width = 0, Height = 0;     // millimetres
  double CentreX = 0, CentreY = 0;  // the paper coordinates at the page's centre
  int32_t Sheet = 0;                // the sheet number asked for
  bool OfSheet = false;             // the sheet's own page; false: fitted to the ink
  const char* Name = nullptr;       // the sheet's name, when OfSheet

  // What a run's line says of it: "on its A2 sheet, 594 x 420 mm", or
  // "sheet 15 is of no known size: on a page of 612.3 x 401.7 mm fitted to
  // its ink".
  std::string Describe() const;
};

// The page of a drawing with this sheet number whose scene shows this.
TPage PageOf(int32_t sheet, const TScene& scene);

}  // namespace quorvex
