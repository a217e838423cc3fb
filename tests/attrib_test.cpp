// The default attribute tables: colour schemes, layer names, pen sizes and
// line-type patterns.
#include <gtest/gtest.h>

#include <vector>

#include "attrib/UnitGraAtt.h"

namespace quorvex {
namespace {

std::vector<double> SegmentsOf(const TjwvLineType& t) {
  return std::vector<double>(t.Segments.begin(), t.Segments.begin() + t.SegmentCount);
}

TEST(Attrib, ColourSchemesAndLayerNames) {
  TgraAttribute a;  // scheme 0 from the constructor
  EXPECT_EQ(a.BackColor, kColorWhite);
  EXPECT_EQ(a.ColorTable[0].Color, MakeColor(0, 192, 192));
  EXPECT_EQ(a.ColorTable[7].Color, 0x8000FFu);  // red in the low byte
  EXPECT_EQ(a.ColorTable[264].Color, kColorBlack);
  ASSERT_EQ(a.LayerCount, 256);
  EXPECT_EQ(a.LayerTable[43].GroupName + a.LayerTable[43].LayerName, "[2] (B) ");
  EXPECT_EQ(a.LayerTable[255].GroupName + a.LayerTable[255].LayerName, "[F] (F) ");

  a.SetColorScheme(1);
  a.SetColorScheme(2);  // unknown: scheme 1 stays, the table is not repainted yet
  EXPECT_EQ(a.ColorScheme, 1);
  EXPECT_EQ(a.BackColor, kColorBlack);
  EXPECT_EQ(a.DefaultPenColor, kColorWhite);
  EXPECT_EQ(a.ColorTable[1].Color, kColorBlack);
  a.FillColors();
  for (int i : {1, 9, 16}) EXPECT_EQ(a.ColorTable[i].Color, kColorWhite) << i;
  EXPECT_EQ(a.ColorTable[0].Color, MakeColor(0, 255, 255));
  EXPECT_EQ(a.ColorTable[5].Color, MakeColor(32, 32, 255));
  EXPECT_EQ(a.ColorTable[7].Color, MakeColor(160, 0, 0));
  ASSERT_EQ(a.ColorCount, 265);
  for (int i = 25; i < a.ColorCount; ++i) ASSERT_EQ(a.ColorTable[i].Color, kColorWhite) << i;

  a.LayerTable[43].LayerName = "x";
  a.InitAll();  // back to scheme 0 and the default tables
  EXPECT_EQ(a.ColorScheme, 0);
  EXPECT_EQ(a.ColorTable[30].Color, kColorBlack);
  EXPECT_EQ(a.LayerTable[43].LayerName, "(B) ");
}

TEST(Attrib, PenSizesAndLineTypePatterns) {
  TgraAttribute a;
  const double size1[] = {0.1, 0.15, 0.2, 0.25, 0.3, 0.35, 0.4, 0.5, 0.01};
  const double size2[] = {0.2, 0.3, 0.4, 0.5, 0.5, 0.5, 0.5, 0.5, 0.2};
  for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 24, 25, 264}) {
    EXPECT_DOUBLE_EQ(a.ColorTable[i].Size1, i < 9 ? size1[i] : 0.18) << i;
    EXPECT_DOUBLE_EQ(a.ColorTable[i].Size2, i < 9 ? size2[i] : 0.2) << i;
  }
  ASSERT_EQ(a.LineTypeCount, 50);
  EXPECT_EQ(a.LineTypeTable[0].SegmentCount, 0);
  const double u = 0.36;
  EXPECT_EQ(SegmentsOf(a.LineTypeTable[1]), (std::vector<double>{u, -2 * u, u}));
  EXPECT_EQ(SegmentsOf(a.LineTypeTable[6]), (std::vector<double>{4 * u, -2 * u, u, -2 * u, u, -2 * u, 4 * u}));
  EXPECT_EQ(SegmentsOf(a.LineTypeTable[14]), (std::vector<double>{8.4, -1.2, 1.6, -1.2, 8.4}));

  const char* rhythm = "22002200202200202022002200202020";
  const double units[] = {0.6, 1.2, 1.8, 2.4, 3.0}, extra[] = {0.3, 0.3, 0.6, 0.6, 0.6};
  for (int e = 9; e <= 13; ++e) {
    const TjwvLineType& t = a.LineTypeTable[e];
    ASSERT_EQ(t.SegmentCount, 32) << e;
    EXPECT_DOUBLE_EQ(t.Extra, extra[e - 9]) << e;
    for (int k = 0; k < 32; ++k) ASSERT_DOUBLE_EQ(t.Segments[k], rhythm[k] == '2' ? units[e - 9] : -units[e - 9]) << e;
  }
  // The others alternate dash and gap, start and end with a dash, and are
  // zero past their count.
  for (int e = 1; e < a.LineTypeCount; ++e) {
    const TjwvLineType& t = a.LineTypeTable[e];
    if (e >= 9 && e <= 13) continue;
    ASSERT_TRUE(t.SegmentCount <= kMaxLineSegments && t.SegmentCount % 2 == 1) << e;
    for (int k = 0; k < kMaxLineSegments; ++k) {
      const double s = t.Segments[k];
      ASSERT_TRUE(k < t.SegmentCount ? s != 0.0 && (s > 0) == (k % 2 == 0) : s == 0.0) << e << ":" << k;
    }
  }
}

}  // namespace
}  // namespace quorvex
