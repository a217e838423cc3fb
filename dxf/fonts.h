// What a DXF text style says of the drawing's font, for each kind of
// reader (docs/dxf.md): its name, the font file and the font family.
//
// LibreCAD takes a text's font from its style's name alone (lower-cased,
// cut at the first '#') and looks it up among its own stroke fonts, of
// which only a few hold Japanese characters; so the name begins with one
// of those, and the drawing's font name follows the '#'. Readers of the
// AutoCAD family take the font file from group 3 and the TrueType family
// from the style's ACAD extended data; the drawing names the family.
#pragma once

#include <string>
#include <string_view>

namespace quorvex {

// LibreCAD's stroke font with Japanese characters that the styles name.
inline constexpr char kJapaneseStrokeFont[] = "kst32b";

struct TDxfFont {
  std::string StyleName;  // "kst32b#ＭＳ ゴシック"
  std::string File;       // "msgothic.ttc"
  std::string Family;     // "ＭＳ ゴシック"
};

// The style of a font the drawing names (UTF-8, not blank): the files of
// the fonts Japanese drawings are written in by their names (with Latin
// letters full- or half-width, the vertical form "@..." too), any other
// family as "FAMILY.ttf".
TDxfFont DxfFontOf(std::string_view family);

}  // namespace quorvex
