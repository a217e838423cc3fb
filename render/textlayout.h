// How the CAD program lays a text's characters out along its base line: a
// full-width character as wide as the text's character width and followed
// by its character spacing, a half-width one (ASCII, half-width katakana)
// half as wide and followed by half the spacing, and no spacing after the
// last. Every text of the real drawings that has a base line has one of
// exactly that length; the pictures draw texts so, and the DXF fits its
// texts to it.
#pragma once

#include <string_view>
#include <vector>

namespace quorvex {

// A run of characters of one width in a UTF-8 text: bytes [Begin, End).
struct TTextPiece {
  size_t Begin = 0, End = 0;
  bool Half = false;
  size_t Characters = 0;
};

// The runs of characters of one width, in order.
std::vector<TTextPiece> TextPieces(std::string_view utf8);

// The length of the text's base line as the CAD program lays it out.
double LaidOutWidth(std::string_view utf8, double charWidth, double spacing);

// The share of its laid-out width a text is drawn at: less than 1 where
// the drawing gives it a base line shorter than its characters take (the
// CAD program fitted it into less room), else 1 (a longer base line is
// none the CAD program writes).
double FittedShare(double baseLine, double laidOut);

// True for a text of blanks alone (half- or full-width), or none.
bool IsBlankText(std::string_view utf8);

}  // namespace quorvex
