#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "attrib/UnitGraAtt.h"

namespace quorvex {
namespace {

std::vector<double> SegmentsOf(const TjwvLineType& t) {
  return std::vector<double>(t.Segments.begin(), t.Segments.begin() + t.SegmentCount);
}

TEST(AttribColors, SchemesPaintThePaletteOverTheDefaultPen) {
  TgraAttribute a;  // scheme 0 from the constructor
  EXPECT_EQ(a.BackColor, kColorWhite);
  EXPECT_EQ(a.ColorTable[0].Color, MakeColor(0, 192, 192));
  EXPECT_EQ(a.ColorTable[7].Color, 0x8000FFu);  // red in the low byte
  EXPECT_EQ(a.ColorTable[24].Color, MakeColor(128, 128, 128));
  EXPECT_EQ(a.ColorTable[264].Color, kColorBlack);

  a.SetColorScheme(1);
  a.FillColors();
  EXPECT_EQ(a.BackColor, kColorBlack);
  for (int i : {1, 9, 16}) EXPECT_EQ(a.ColorTable[i].Color, kColorWhite) << i;
  EXPECT_EQ(a.ColorTable[0].Color, MakeColor(0, 255, 255));
  EXPECT_EQ(a.ColorTable[5].Color, MakeColor(32, 32, 255));
  ASSERT_EQ(a.ColorCount, 265);
  for (int i = 25; i < a.ColorCount; ++i) ASSERT_EQ(a.ColorTable[i].Color, kColorWhite) << i;
}

TEST(AttribColors, UnknownSchemeKeepsThePreviousOne) {
  TgraAttribute a;
  a.SetColorScheme(1);
  a.SetColorScheme(2);
  EXPECT_EQ(a.ColorScheme, 1);
  EXPECT_EQ(a.BackColor, kColorBlack);
  EXPECT_EQ(a.DefaultPenColor, kColorWhite);
  EXPECT_EQ(a.ColorTable[1].Color, kColorBlack);  // not repainted yet
  a.FillColors();
  EXPECT_EQ(a.ColorTable[1].Color, kColorWhite);
  EXPECT_EQ(a.ColorTable[7].Color, MakeColor(160, 0, 0));
  EXPECT_EQ(a.ColorTable[100].Color, kColorWhite);
}

TEST(AttribLayers, NamesCarryGroupAndLayerDigits) {
  TgraAttribute a;
  ASSERT_EQ(a.LayerCount, 256);
  EXPECT_EQ(a.LayerTable[0].GroupName, "[0] ");
  EXPECT_EQ(a.LayerTable[0].LayerName, "(0) ");
  EXPECT_EQ(a.LayerTable[43].GroupName, "[2] ");
  EXPECT_EQ(a.LayerTable[43].LayerName, "(B) ");
  EXPECT_EQ(a.LayerTable[255].GroupName, "[F] ");
  EXPECT_EQ(a.LayerTable[255].LayerName, "(F) ");
}

TEST(AttribSizes, FirstNineColoursHaveTheirOwnSizes) {
  TgraAttribute a;
  const double size1[] = {0.1, 0.15, 0.2, 0.25, 0.3, 0.35, 0.4, 0.5, 0.01};
  const double size2[] = {0.2, 0.3, 0.4, 0.5, 0.5, 0.5, 0.5, 0.5, 0.2};
  for (int i = 0; i < 9; ++i) {
    EXPECT_DOUBLE_EQ(a.ColorTable[i].Size1, size1[i]) << i;
    EXPECT_DOUBLE_EQ(a.ColorTable[i].Size2, size2[i]) << i;
  }
  for (int i : {9, 24, 25, 264}) {
    EXPECT_DOUBLE_EQ(a.ColorTable[i].Size1, 0.18) << i;
    EXPECT_DOUBLE_EQ(a.ColorTable[i].Size2, 0.2) << i;
  }
}

TEST(AttribLineTypes, SolidAndShortPatterns) {
  TgraAttribute a;
  ASSERT_EQ(a.LineTypeCount, 50);
  EXPECT_EQ(a.LineTypeTable[0].SegmentCount, 0);
  const double u = 0.36;
  const std::vector<double> t1 = {u, -2 * u, u};
  const std::vector<double> t6 = {4 * u, -2 * u, u, -2 * u, u, -2 * u, 4 * u};
  const std::vector<double> t8 = {0.5 * u, -3 * u, 0.5 * u};
  EXPECT_EQ(SegmentsOf(a.LineTypeTable[1]), t1);
  EXPECT_EQ(SegmentsOf(a.LineTypeTable[6]), t6);
  EXPECT_EQ(SegmentsOf(a.LineTypeTable[8]), t8);
  EXPECT_EQ(a.LineTypeTable[5].SegmentCount, 5);
  EXPECT_DOUBLE_EQ(a.LineTypeTable[5].Segments[0], 13 * u);
}

TEST(AttribLineTypes, RhythmPatternsNineToThirteen) {
  TgraAttribute a;
  const char* rhythm = "22002200202200202022002200202020";
  const double units[] = {0.6, 1.2, 1.8, 2.4, 3.0};
  const double extra[] = {0.3, 0.3, 0.6, 0.6, 0.6};
  for (int e = 9; e <= 13; ++e) {
    const TjwvLineType& t = a.LineTypeTable[e];
    ASSERT_EQ(t.SegmentCount, 32) << e;
    EXPECT_DOUBLE_EQ(t.Extra, extra[e - 9]) << e;
    for (int k = 0; k < 32; ++k) {
      const double want = rhythm[k] == '2' ? units[e - 9] : -units[e - 9];
      ASSERT_DOUBLE_EQ(t.Segments[k], want) << "entry " << e << " segment " << k;
    }
  }
}

TEST(AttribLineTypes, LongPatternsAreWellFormed) {
  TgraAttribute a;
  const std::vector<double> t14 = {8.4, -1.2, 1.6, -1.2, 8.4};
  EXPECT_EQ(SegmentsOf(a.LineTypeTable[14]), t14);
  EXPECT_DOUBLE_EQ(a.LineTypeTable[14].Extra, 0.0);

  for (int e = 1; e < a.LineTypeCount; ++e) {
    if (e >= 9 && e <= 13) continue;  // the 32-step rhythms have gaps in a row
    const TjwvLineType& t = a.LineTypeTable[e];
    ASSERT_GT(t.SegmentCount, 0) << e;
    ASSERT_LE(t.SegmentCount, kMaxLineSegments) << e;
    // Dashes and gaps alternate, starting and ending with a dash.
    EXPECT_GT(t.Segments[0], 0.0) << e;
    EXPECT_GT(t.Segments[t.SegmentCount - 1], 0.0) << e;
    for (int k = 0; k < t.SegmentCount; ++k) {
      ASSERT_NE(t.Segments[k], 0.0) << e << ":" << k;
      if (k > 0) {
        ASSERT_NE(t.Segments[k] > 0, t.Segments[k - 1] > 0) << e << ":" << k;
      }
    }
    for (int k = t.SegmentCount; k < kMaxLineSegments; ++k)
      ASSERT_EQ(t.Segments[k], 0.0) << e << ":" << k;
  }
}

TEST(AttribInit, InitAllRestoresSettingsAndTables) {
  TgraAttribute a;
  a.SetModeByte(7);
  a.SetColorScheme(1);
  a.FillColors();
  a.LayerTable[43].LayerName = "x";
  a.ColorTable[3].Size1 = 9.0;
  a.LineTypeTable[0].SegmentCount = 3;
  a.InitAll();
  EXPECT_EQ(a.ModeByte, 0);
  EXPECT_EQ(a.ColorScheme, 0);
  EXPECT_EQ(a.ColorTable[30].Color, kColorBlack);
  EXPECT_EQ(a.LayerTable[43].LayerName, "(B) ");
  EXPECT_DOUBLE_EQ(a.ColorTable[3].Size1, 0.25);
  EXPECT_EQ(a.LineTypeTable[0].SegmentCount, 0);
}

}  // namespace
}  // namespace quorvex
