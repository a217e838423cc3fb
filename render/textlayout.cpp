#include "render/textlayout.h"

#include <cmath>

#include "text/utf8.h"

namespace quorvex {
namespace {

// The characters Shift-JIS writes in one byte.
bool IsHalfWidth(char32_t c) { return c < 0x80 || (c >= 0xFF61 && c <= 0xFF9F); }

}  // namespace

std::vector<TTextPiece> TextPieces(std::string_view utf8) {
  std::vector<TTextPiece> out;
  for (size_t i = 0; i < utf8.size();) {
    const size_t at = i;
    const bool half = IsHalfWidth(NextUtf8(utf8, i));
    if (out.empty() || out.back().Half != half) out.push_back({at, at, half, 0});
    out.back().End = i;
    ++out.back().Characters;
  }
  return out;
}

double LaidOutWidth(std::string_view utf8, double charWidth, double spacing) {
  size_t half = 0, full = 0;
  bool lastHalf = false;
  for (size_t i = 0; i < utf8.size();) {
    lastHalf = IsHalfWidth(NextUtf8(utf8, i));
    ++(lastHalf ? half : full);
  }
  if (half + full == 0) return 0;
  return (static_cast<double>(full) + static_cast<double>(half) * 0.5) * (charWidth + spacing) -
         spacing * (lastHalf ? 0.5 : 1);
}

double FittedShare(double baseLine, double laidOut) {
  if (!(baseLine > 0) || !(laidOut > 0) || !std::isfinite(baseLine / laidOut)) return 1;
  return baseLine < laidOut * (1 - 1e-9) ? baseLine / laidOut : 1;
}

bool IsBlankText(std::string_view utf8) {
  for (size_t i = 0; i < utf8.size();) {
    const char32_t c = NextUtf8(utf8, i);
    if (c != ' ' && c != 0x3000) return false;
  }
  return true;
}

}  // namespace quorvex
