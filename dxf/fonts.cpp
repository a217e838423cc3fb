#include "dxf/fonts.h"

#include <cstdint>

namespace quorvex {
namespace {

// A family name as the table below writes it: full-width Latin letters,
// digits and spaces half-width, letters lower-case, no spaces, no leading
// '@' (the vertical form of the same font).
std::string Key(std::string_view family) {
  std::string out;
  for (size_t i = 0; i < family.size();) {
    const unsigned char c = static_cast<unsigned char>(family[i]);
    // U+3000 (E3 80 80) and U+FF01..U+FF5E (EF BC 81 .. EF BD 9E).
    if (c == 0xE3 && i + 2 < family.size() && static_cast<unsigned char>(family[i + 1]) == 0x80 &&
        static_cast<unsigned char>(family[i + 2]) == 0x80) {
      i += 3;
      continue;
    }
    if (c == 0xEF && i + 2 < family.size()) {
      const unsigned char b = static_cast<unsigned char>(family[i + 1]), t = static_cast<unsigned char>(family[i + 2]);
      const uint32_t cp = 0xF000u | (uint32_t(b & 0x3F) << 6) | (t & 0x3F);
      if (cp >= 0xFF01 && cp <= 0xFF5E) {
        const char a = static_cast<char>(cp - 0xFF01 + 0x21);
        out += a >= 'A' && a <= 'Z' ? static_cast<char>(a + 0x20) : a;
        i += 3;
        continue;
      }
    }
    if (c == ' ' || (c == '@' && out.empty())) {
      ++i;
      continue;
    }
    out += c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : static_cast<char>(c);
    ++i;
  }
  return out;
}

struct TKnownFont {
  const char* Key;
  const char* File;
};

// The files of the Windows fonts Japanese drawings use, by family.
constexpr TKnownFont kKnown[] = {
    {"msゴシック", "msgothic.ttc"},  {"msgothic", "msgothic.ttc"},   {"mspゴシック", "msgothic.ttc"},
    {"mspgothic", "msgothic.ttc"},   {"msuigothic", "msgothic.ttc"}, {"ms明朝", "msmincho.ttc"},
    {"msmincho", "msmincho.ttc"},    {"msp明朝", "msmincho.ttc"},    {"mspmincho", "msmincho.ttc"},
    {"メイリオ", "meiryo.ttc"},      {"meiryo", "meiryo.ttc"},       {"meiryoui", "meiryo.ttc"},
    {"游ゴシック", "YuGothR.ttc"},   {"yugothic", "YuGothR.ttc"},    {"游明朝", "yumin.ttf"},
    {"yumincho", "yumin.ttf"},
};

}  // namespace

TDxfFont DxfFontOf(std::string_view family) {
  TDxfFont f;
  f.Family = std::string(family);
  f.StyleName = std::string(kJapaneseStrokeFont) + "#" + f.Family;
  const std::string key = Key(family);
  for (const TKnownFont& k : kKnown)
    if (key == k.Key) f.File = k.File;
  if (f.File.empty()) f.File = (!family.empty() && family[0] == '@' ? f.Family.substr(1) : f.Family) + ".ttf";
  return f;
}

}  // namespace quorvex
