// The DXF writer: a drawing as the conversion leaves it (dimensions without
// a value exploded), written as a DXF file of version R2007 (AC1021), UTF-8,
// for the CAD programs that do not read JWW. It reads the drawing model and
// writes bytes; where they go, and the image files beside them, is the
// caller's business (convert/).
//
// By default the DXF is at real size: every coordinate, length and text
// height of the drawing's own list is multiplied by the scale of its layer
// group (100 for 1/100), so that a length measured in another program is
// the length the drawing's dimensions state. Block definitions keep their
// own units and each insertion carries its group's scale. With Paper, the
// sheet as printed: scale 1 everywhere.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "attrib/UnitGraAtt.h"
#include "bytes/writer.h"
#include "jww/jwwunit.h"

namespace quorvex {

// An image file written beside the DXF, which IMAGE entities refer to.
struct TDxfImage {
  int32_t Entry = -1;              // the entry of the drawing's image section it holds
  std::string File;               // its path relative to the DXF, folders separated by '/'
  uint32_t Width = 0, Height = 0;  // in pixels
};

struct TDxfOptions {
  bool Paper = false;
  // Palette, pen widths and dash patterns where the drawing has none (the
  // defaults when null), as the pictures take them.
  const TgraAttribute* Attributes = nullptr;
  // The names of the drawing's image entries, by entry: an image text
  // places the first entry whose name begins with its image name.
  std::vector<JwwString> ImageEntries;
  // The images written beside the DXF; an image text whose entry is not
  // among them is not carried.
  std::vector<TDxfImage> Images;
};

// What the DXF could not carry, each counted once per entity (entities of
// a block definition once per definition).
struct TDxfLosses {
  int64_t NoHeight = 0;       // texts of no height (not written)
  int64_t NotFinite = 0;      // entities with a number that is not finite (not written)
  int64_t PointMarks = 0;     // points whose mark code, angle and scale are dropped (written as points)
  int64_t RoundShapes = 0;    // round solids of a shape other than a filled one, written as outlines
  int64_t Images = 0;         // image texts whose image is not carried (not written)
  int64_t Insertions = 0;     // insertions of a number that names no definition (not written)
  int64_t Names = 0;          // layer, block and text style names changed to be valid and unique
  // Strings whose characters beyond ASCII were lost: the C library's
  // Shift-JIS converter could not be loaded. A DXF with such strings is no
  // DXF of the drawing: the conversion fails.
  int64_t Undecoded = 0;

  bool Any() const {
    return NoHeight || NotFinite || PointMarks || RoundShapes || Images || Insertions || Names;
  }
};

// The entries of the drawing's image section that an image text of the
// drawing or of a definition in use places: the images a DXF of it shows.
std::vector<int32_t> PlacedImageEntries(const TJwwData& d, const std::vector<JwwString>& entries);

// Writes the drawing as a DXF file into the writer. The drawing's block
// tree must be built (after a read, or PostRead): only the definitions in
// use are written. What cannot be carried is counted in the result; a
// failure of the writer itself stays in out.Error().
TDxfLosses WriteDxf(const TJwwData& d, const TDxfOptions& options, TArchiveWriter& out);

}  // namespace quorvex
