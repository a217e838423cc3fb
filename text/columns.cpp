#include "text/columns.h"

#include <algorithm>
#include <vector>

namespace quorvex {
namespace {

// The code point at `at` and the bytes it takes (a byte that begins no
// valid sequence is one character of its own).
char32_t CodePointAt(std::string_view s, size_t at, size_t& length) {
  const unsigned char lead = static_cast<unsigned char>(s[at]);
  const size_t n = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
  if (n <= 1 || at + n > s.size()) {
    length = 1;
    return lead;
  }
  char32_t c = lead & (0x7F >> n);
  for (size_t i = 1; i < n; ++i) {
    const unsigned char b = static_cast<unsigned char>(s[at + i]);
    if ((b >> 6) != 2) {
      length = 1;
      return lead;
    }
    c = (c << 6) | (b & 0x3F);
  }
  length = n;
  return c;
}

bool Wide(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
         (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

// Marks a line may not begin with, and marks it may not end with.
bool Closing(char32_t c) {
  return c == U'、' || c == U'。' || c == U'，' || c == U'．' || c == U'）' || c == U'」' || c == U'』' ||
         c == U'】' || c == U'：' || c == U'；' || c == U'！' || c == U'？' || c == U'ー' || c == U'・' ||
         c == U'ぁ' || c == U'ぃ' || c == U'ぅ' || c == U'ぇ' || c == U'ぉ' || c == U'っ' || c == U'ゃ' ||
         c == U'ゅ' || c == U'ょ' || c == U'ァ' || c == U'ィ' || c == U'ゥ' || c == U'ェ' || c == U'ォ' ||
         c == U'ッ' || c == U'ャ' || c == U'ュ' || c == U'ョ' || c == U')' || c == U',' || c == U'.' ||
         c == U':' || c == U';';
}
bool Opening(char32_t c) { return c == U'（' || c == U'「' || c == U'『' || c == U'【' || c == U'('; }

// A piece of a line that is never broken, and what stands before it: a
// space, or nothing (a break between characters).
struct TPiece {
  bool AfterSpace = false;
  std::string Text;
  size_t Width = 0;
};

}  // namespace

size_t Columns(std::string_view utf8) {
  size_t columns = 0;
  for (size_t at = 0, n = 0; at < utf8.size(); at += n) columns += Wide(CodePointAt(utf8, at, n)) ? 2 : 1;
  return columns;
}

std::string Wrapped(std::string_view utf8, size_t width) {
  // Words between single spaces, each cut into pieces where a line may
  // break between two of its characters.
  std::vector<TPiece> pieces;
  for (size_t at = 0; at < utf8.size();) {
    const size_t end = std::min(utf8.find(' ', at), utf8.size());
    pieces.push_back({!pieces.empty(), {}, 0});
    char32_t previous = 0;
    for (size_t i = at, n = 0; i < end; i += n) {
      const char32_t c = CodePointAt(utf8, i, n);
      const bool wide = Wide(c);
      if (i > at && (wide || Wide(previous)) && !Closing(c) && !Opening(previous) && !pieces.back().Text.empty())
        pieces.push_back({false, {}, 0});
      pieces.back().Text.append(utf8.substr(i, n));
      pieces.back().Width += wide ? 2 : 1;
      previous = c;
    }
    at = end + 1;
  }
  std::string text, line;
  size_t lineWidth = 0;
  for (const TPiece& p : pieces) {
    const size_t gap = p.AfterSpace ? 1 : 0;
    if (!line.empty() && lineWidth + gap + p.Width > width) {
      text += line + "\n";
      line = p.Text;
      lineWidth = p.Width;
    } else {
      const bool space = p.AfterSpace && !line.empty();
      if (space) line += ' ';
      line += p.Text;
      lineWidth += (space ? 1 : 0) + p.Width;
    }
  }
  return line.empty() ? text : text + line + "\n";
}

}  // namespace quorvex
