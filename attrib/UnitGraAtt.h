// Default graphic attributes of a drawing display: the 256 layer names, the
// pen colour palette with two pen sizes per colour, and the dash patterns of
// the line types, with a few scalar settings.
//
// Every picture of a drawing (the SVG pictures and the thumbnail) takes its
// colours, pen widths and dashes from these tables; a session also keeps
// one from its start to its end. The conversion itself neither reads nor
// changes them, and they never reach a drawing file.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace quorvex {

// A colour as red + green * 256 + blue * 65536 (red in the low byte).
using TgraColor = uint32_t;

constexpr TgraColor MakeColor(uint8_t red, uint8_t green, uint8_t blue) {
  return static_cast<TgraColor>(red) | (static_cast<TgraColor>(green) << 8) |
         (static_cast<TgraColor>(blue) << 16);
}

constexpr TgraColor kColorBlack = MakeColor(0, 0, 0);
constexpr TgraColor kColorWhite = MakeColor(255, 255, 255);
constexpr TgraColor kColorGray = MakeColor(128, 128, 128);

// One layer: layer i belongs to group i / 16 and is layer i % 16 in it.
struct TjwvLayer {
  int32_t Value = 1;
  double RealValue = 1.0;
  std::string GroupName;  // "[" + group digit + "] "
  std::string LayerName;  // "(" + layer digit + ") "
};

// One pen colour with its two pen sizes.
struct TjwvColor {
  TgraColor Color = kColorBlack;
  double Size1 = 0.0;
  double Size2 = 0.0;
};

constexpr int kMaxLineSegments = 32;

// One dash pattern: positive lengths are drawn, negative ones are gaps.
// SegmentCount 0 is a solid line.
struct TjwvLineType {
  int32_t SegmentCount = 0;
  double Extra = 0.0;
  std::array<double, kMaxLineSegments> Segments{};
};

class TgraAttribute {
 public:
  static constexpr int kLayerEntries = 256;
  static constexpr int kColorEntries = 265;
  static constexpr int kLineTypeEntries = 50;
  static constexpr int kPaletteEntries = 25;  // colours 0..24 follow the scheme

  // Sizes the three tables and runs InitAll.
  TgraAttribute();
  // Sets the counts to 0 and frees the tables.
  ~TgraAttribute();
  TgraAttribute(const TgraAttribute&) = delete;
  TgraAttribute& operator=(const TgraAttribute&) = delete;

  // Scalar settings back to their initial values, then every table refilled.
  void InitAll();
  void SetModeByte(uint8_t value) { ModeByte = value; }
  // 0: white background, black pens; 1: black background, white pens;
  // any other value is ignored.
  void SetColorScheme(int32_t scheme);
  // Every colour to DefaultPenColor, then entries 0..24 from the palette of
  // the current scheme.
  void FillColors();
  void FillLayerNames();
  void FillSize1();
  void FillSize2();
  void FillLineTypes();

  uint8_t ModeByte = 0;
  uint8_t SecondByte = 0;
  int32_t Selection1 = -1;
  int32_t Selection2 = -1;
  int32_t Selection3 = -1;
  int32_t ColorScheme = 0;
  TgraColor BackColor = kColorWhite;
  TgraColor DefaultPenColor = kColorBlack;
  TgraColor GrayColor = kColorGray;

  std::vector<TjwvLayer> LayerTable;
  int LayerCount = 0;
  std::vector<TjwvColor> ColorTable;
  int ColorCount = 0;
  std::vector<TjwvLineType> LineTypeTable;
  int LineTypeCount = 0;
};

}  // namespace quorvex
