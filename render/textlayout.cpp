#include "render/textlayout.h"

#include <cmath>

namespace quorvex {
namespace {

// The code point of the UTF-8 character at s[i], stepping past it.
char32_t Next(std::string_view s, size_t& i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  const size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
  if (i + n > s.size()) {
    ++i;
    return c;
  }
  char32_t cp = n == 1 ? c : n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
  for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
  i += n;
  return cp;
}

// The characters Shift-JIS writes in one byte.
bool IsHalfWidth(char32_t c) { return c < 0x80 || (c >= 0xFF61 && c <= 0xFF9F); }

}  // namespace

std::vector<TTextPiece> TextPieces(std::string_view utf8) {
  std::vector<TTextPiece> out;
  for (size_t i = 0; i < utf8.size();) {
    const size_t at = i;
    const bool half = IsHalfWidth(Next(utf8, i));
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
    lastHalf = IsHalfWidth(Next(utf8, i));
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
    const char32_t c = Next(utf8, i);
    if (c != ' ' && c != 0x3000) return false;
  }
  return true;
}

}  // namespace quorvex
