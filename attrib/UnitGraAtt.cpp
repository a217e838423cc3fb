#include "attrib/UnitGraAtt.h"

#include <cmath>
#include <initializer_list>
#include <string_view>

namespace quorvex {
namespace {

struct TPaletteEntry {
  TgraColor White;  // scheme 0
  TgraColor Black;  // scheme 1
};

// Pen colours 0..24 for a white and for a black background.
constexpr TPaletteEntry kPalette[TgraAttribute::kPaletteEntries] = {
    {MakeColor(0, 192, 192), MakeColor(0, 255, 255)},      // 0
    {MakeColor(0, 0, 0), MakeColor(255, 255, 255)},        // 1
    {MakeColor(0, 192, 0), MakeColor(0, 255, 0)},          // 2
    {MakeColor(192, 192, 0), MakeColor(255, 255, 0)},      // 3
    {MakeColor(192, 0, 192), MakeColor(192, 0, 192)},      // 4
    {MakeColor(0, 0, 255), MakeColor(32, 32, 255)},        // 5
    {MakeColor(0, 128, 128), MakeColor(0, 128, 128)},      // 6
    {MakeColor(255, 0, 128), MakeColor(160, 0, 0)},        // 7
    {MakeColor(255, 128, 255), MakeColor(192, 128, 128)},  // 8
    {MakeColor(0, 0, 0), MakeColor(255, 255, 255)},        // 9
    {MakeColor(255, 0, 0), MakeColor(255, 0, 0)},          // 10
    {MakeColor(0, 255, 0), MakeColor(0, 255, 0)},          // 11
    {MakeColor(0, 0, 255), MakeColor(0, 0, 255)},          // 12
    {MakeColor(255, 255, 0), MakeColor(255, 255, 0)},      // 13
    {MakeColor(255, 0, 255), MakeColor(255, 0, 255)},      // 14
    {MakeColor(0, 255, 255), MakeColor(0, 255, 255)},      // 15
    {MakeColor(0, 0, 0), MakeColor(255, 255, 255)},        // 16
    {MakeColor(192, 0, 128), MakeColor(192, 0, 128)},      // 17
    {MakeColor(192, 128, 64), MakeColor(192, 128, 64)},    // 18
    {MakeColor(255, 128, 0), MakeColor(255, 128, 0)},      // 19
    {MakeColor(128, 192, 128), MakeColor(128, 192, 128)},  // 20
    {MakeColor(0, 128, 255), MakeColor(0, 128, 255)},      // 21
    {MakeColor(128, 64, 255), MakeColor(128, 64, 255)},    // 22
    {MakeColor(192, 192, 192), MakeColor(192, 192, 192)},  // 23
    {MakeColor(128, 128, 128), MakeColor(128, 128, 128)},  // 24
};

// Pen sizes of colours 0..8; every other colour keeps the default.
constexpr int kSizedColors = 9;
constexpr double kSize1[kSizedColors] = {0.1, 0.15, 0.2, 0.25, 0.3, 0.35, 0.4, 0.5, 0.01};
constexpr double kSize2[kSizedColors] = {0.2, 0.3, 0.4, 0.5, 0.5, 0.5, 0.5, 0.5, 0.2};
constexpr double kDefaultSize1 = 0.18;
constexpr double kDefaultSize2 = 0.2;

// Line types 1..8, in units of kShortUnit.
constexpr double kShortUnit = 0.36;
const std::initializer_list<double> kShortPatterns[] = {
    {1, -2, 1},
    {2, -4, 2},
    {3, -2, 3},
    {5, -2, 2, -2, 5},
    {13, -2, 2, -2, 13},
    {4, -2, 1, -2, 1, -2, 4},
    {12, -2, 1, -2, 1, -2, 12},
    {0.5, -3, 0.5},
};

// Line types 9..13 share one 32-step rhythm: '2' is one unit drawn, '0' one
// unit of gap; each type has its own unit length.
constexpr std::string_view kRhythm = "22002200202200202022002200202020";
constexpr double kRhythmUnits[] = {0.6, 1.2, 1.8, 2.4, 3.0};
constexpr double kRhythmExtra[] = {0.3, 0.3, 0.6, 0.6, 0.6};

// Line types 14..49: six base patterns (lengths in mm), each at six scales,
// pattern by pattern: 14..19 the chain line at x1 .. x6, 20..25 the
// two-dot chain, and so on.
const std::initializer_list<double> kLongPatterns[] = {
    {8.4, -1.2, 1.6, -1.2, 8.4},                          // chain
    {8.4, -1.2, 1.6, -1.2, 1.6, -1.2, 8.4},               // two-dot chain
    {8.4, -1.2, 1.6, -1.2, 1.6, -1.2, 1.6, -1.2, 8.4},    // three-dot chain
    {3.6, -1.2, 3.6},                                     // dashed
    {8.4, -1.2, 3.6, -1.2, 8.4},                          // long and short dash
    {0.4, -1.6, 0.4},                                     // dotted
};
constexpr double kLongScales[] = {1.0, 1.5, 2.0, 3.0, 4.0, 6.0};
constexpr int kFirstLongType = 14;

// Lengths are pattern values times scale; with round_to_hundredths they are
// rounded to 1/100 mm so that scaled millimetre patterns stay tidy decimals.
void SetPattern(TjwvLineType& t, std::initializer_list<double> pattern, double scale,
                bool round_to_hundredths) {
  t.SegmentCount = static_cast<int32_t>(pattern.size());
  int k = 0;
  for (double v : pattern) {
    const double length = v * scale;
    t.Segments[k++] = round_to_hundredths ? std::round(length * 100.0) / 100.0 : length;
  }
}

char HexDigit(int n) { return "0123456789ABCDEF"[n & 15]; }

}  // namespace

TgraAttribute::TgraAttribute()
    : LayerTable(kLayerEntries),
      LayerCount(kLayerEntries),
      ColorTable(kColorEntries),
      ColorCount(kColorEntries),
      LineTypeTable(kLineTypeEntries),
      LineTypeCount(kLineTypeEntries) {
  InitAll();
}

TgraAttribute::~TgraAttribute() {
  LayerCount = 0;
  ColorCount = 0;
  LineTypeCount = 0;
  LayerTable.clear();
  LayerTable.shrink_to_fit();
  ColorTable.clear();
  ColorTable.shrink_to_fit();
  LineTypeTable.clear();
  LineTypeTable.shrink_to_fit();
}

void TgraAttribute::InitAll() {
  ModeByte = 0;
  SecondByte = 0;
  Selection1 = -1;
  Selection2 = -1;
  Selection3 = -1;
  ColorScheme = 0;
  BackColor = kColorWhite;
  DefaultPenColor = kColorBlack;
  GrayColor = kColorGray;
  FillLayerNames();
  FillColors();
  FillSize1();
  FillSize2();
  FillLineTypes();
}

void TgraAttribute::SetColorScheme(int32_t scheme) {
  if (scheme == 0) {
    ColorScheme = 0;
    BackColor = kColorWhite;
    DefaultPenColor = kColorBlack;
  } else if (scheme == 1) {
    ColorScheme = 1;
    BackColor = kColorBlack;
    DefaultPenColor = kColorWhite;
  }
}

void TgraAttribute::FillColors() {
  for (int i = 0; i < ColorCount; ++i) ColorTable[i].Color = DefaultPenColor;
  if (ColorScheme != 0 && ColorScheme != 1) return;
  for (int i = 0; i < kPaletteEntries && i < ColorCount; ++i)
    ColorTable[i].Color = ColorScheme == 0 ? kPalette[i].White : kPalette[i].Black;
}

void TgraAttribute::FillLayerNames() {
  for (int i = 0; i < LayerCount; ++i) {
    TjwvLayer& l = LayerTable[i];
    l.Value = 1;
    l.RealValue = 1.0;
    l.GroupName = std::string("[") + HexDigit(i / 16) + "] ";
    l.LayerName = std::string("(") + HexDigit(i % 16) + ") ";
  }
}

void TgraAttribute::FillSize1() {
  for (int i = 0; i < ColorCount; ++i)
    ColorTable[i].Size1 = i < kSizedColors ? kSize1[i] : kDefaultSize1;
}

void TgraAttribute::FillSize2() {
  for (int i = 0; i < ColorCount; ++i)
    ColorTable[i].Size2 = i < kSizedColors ? kSize2[i] : kDefaultSize2;
}

void TgraAttribute::FillLineTypes() {
  for (int i = 0; i < LineTypeCount; ++i) LineTypeTable[i] = TjwvLineType{};

  int entry = 1;
  for (const auto& pattern : kShortPatterns) {
    if (entry >= LineTypeCount) return;
    SetPattern(LineTypeTable[entry++], pattern, kShortUnit, false);
  }

  for (int r = 0; r < 5; ++r) {
    if (entry >= LineTypeCount) return;
    TjwvLineType& t = LineTypeTable[entry++];
    t.SegmentCount = static_cast<int32_t>(kRhythm.size());
    t.Extra = kRhythmExtra[r];
    for (size_t k = 0; k < kRhythm.size(); ++k)
      t.Segments[k] = (kRhythm[k] - '0' - 1) * kRhythmUnits[r];
  }

  entry = kFirstLongType;
  for (const auto& pattern : kLongPatterns) {
    for (double scale : kLongScales) {
      if (entry >= LineTypeCount) return;
      SetPattern(LineTypeTable[entry++], pattern, scale, true);
    }
  }
}

}  // namespace quorvex
