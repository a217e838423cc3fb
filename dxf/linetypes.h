// The drawing's dash patterns as DXF line types: the elements a line type
// lists, and the names other programs know line types by.
//
// Readers differ in what they take from a line type. Some draw its
// elements (ezdxf, most CAD programs); Inkscape's import takes the
// elements' lengths as an SVG dash array, dash first and without signs,
// so the elements begin with a dash and alternate, as many gaps as dashes;
// LibreCAD knows line types by their names only and draws its own pattern
// for each name it knows (any other is drawn solid), so each line type is
// named after the standard one it looks most like.
#pragma once

#include <string>
#include <vector>

namespace quorvex {

// The elements of a picture's dash pattern (drawn, gap, drawn, gap ...,
// beginning with a drawn run; render/primitives.h): drawn lengths
// positive, gaps negative. Empty for a solid line (no dashes, or a
// pattern with no gap).
std::vector<double> LineTypeElements(const std::vector<double>& dashes);

// Names for line types of these elements, one for each, in order: the
// standard name of the look each pattern has (dots DOT, dashes DASHED,
// dash and dot DASHDOT, long and short dashes CENTER, a long dash and two
// short ones DIVIDE, two long and a short BORDER), and where several
// patterns of the drawing have the same look, the standard names of its
// smaller and larger sizes in the order of their lengths (TINY, 2, plain,
// X2 as there are two, three or four of them). Names can repeat only when
// there are more than four patterns of one look.
std::vector<std::string> LineTypeNames(const std::vector<std::vector<double>>& elements);

}  // namespace quorvex
