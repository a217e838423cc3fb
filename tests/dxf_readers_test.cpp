// The DXF as other programs take it, value by value: what LibreCAD,
// Inkscape and the AutoCAD family read from text styles and line types,
// extents of what is visible, texts at the width the drawing gives them,
// and the values the writer's first pass plans (dimension looks, handles,
// the view) and its entities carry (image vectors, layers, lineweights,
// image sizes, UTF-8).
#include <cmath>
#include <numbers>
#include <set>

#include "dxf/colors.h"
#include "dxf/fonts.h"
#include "dxf/images.h"
#include "dxf/linetypes.h"
#include "dxf/out.h"
#include "dxf_util.h"
#include "render/svg.h"
#include "render/textlayout.h"
#include "text/utf8.h"
#include "writer_util.h"

namespace qtest {
namespace {

constexpr double kPi = std::numbers::pi;

// A drawing whose layer states mean something: the write group and its
// write layer shown, group 1 at 1/50, group 0 at 1/100, layer 1-5 hidden.
TJwwData StatedDrawing() {
  TJwwData d = NewDrawing(700);
  for (int g = 0; g < 16; ++g) d.LayerGroups[g].State = 2, d.LayerGroups[g].Scale = 100;
  for (int l = 0; l < 256; ++l) d.Layers[l].State = 2;
  d.LayerGroups[1].Scale = 50;
  d.Layers[1 * 16 + 5].State = 0;
  return d;
}

TEntJwwCommon On(uint16_t group, uint16_t layer, uint8_t style = 1) {
  TEntJwwCommon c = Pen(style, 1, layer);
  c.LayerGroup = group;
  return c;
}

const TDxfObject* First(const TDxf& f, const std::string& kind, const std::string& section = "ENTITIES") {
  for (const TDxfObject& o : f.Objects)
    if (o.Kind == kind && o.Section == section) return &o;
  return nullptr;
}

TEST(DxfReaders, TextStylesNameLibreCadsJapaneseFontAndGiveOthersTheFontFileAndFamily) {
  TJwwData d = NewDrawing(700);
  TEntJwwText gothic = MakeText(W(u"壁"));
  gothic.FontName = W(u"ＭＳ ゴシック");
  AddToDrawing(d, gothic);
  TEntJwwText mincho = gothic;
  mincho.FontName = W(u"ＭＳ 明朝");
  AddToDrawing(d, mincho);
  TEntJwwText none = gothic;  // after a named font: no font of its own
  none.FontName = JwwString();
  AddToDrawing(d, none);
  const TWritten w = Dxf(d, false);
  // LibreCAD takes the font from the name before '#'; the AutoCAD family
  // the file from group 3 and the family from the ACAD extended data.
  std::vector<std::tuple<std::string, std::string, std::string, std::string>> styles;
  for (const TDxfObject& o : w.File.Objects)
    if (o.Kind == "STYLE") styles.push_back({o.Str(2), o.Str(3), o.Str(1001), o.Str(1000)});
  EXPECT_EQ(styles, (std::vector<std::tuple<std::string, std::string, std::string, std::string>>{
                        {"Standard", "txt", "", ""},
                        {"kst32b#ＭＳ ゴシック", "msgothic.ttc", "ACAD", "ＭＳ ゴシック"},
                        {"kst32b#ＭＳ 明朝", "msmincho.ttc", "ACAD", "ＭＳ 明朝"}}));
  std::vector<std::string> used;
  for (const TDxfObject* o : w.File.In("ENTITIES")) used.push_back(o->Str(7));
  EXPECT_EQ(used, (std::vector<std::string>{"kst32b#ＭＳ ゴシック", "kst32b#ＭＳ 明朝", "Standard"}));
  // The files of the families by any of the names they go by.
  EXPECT_EQ(DxfFontOf("MS Gothic").File, "msgothic.ttc");
  EXPECT_EQ(DxfFontOf("@ＭＳ Ｐゴシック").File, "msgothic.ttc");
  EXPECT_EQ(DxfFontOf("ＭＳ Ｐ明朝").File, "msmincho.ttc");
  EXPECT_EQ(DxfFontOf("Century").File, "Century.ttf");
}

// The real drawings' default line types 2 to 9 as their bits give them.
void DefaultLineTypes(TJwwData& d) {
  const uint32_t patterns[] = {0x99999999, 0xc3c3c3c3, 0xe7e7e7e7, 0xf99ff99f,
                               0xfff99fff, 0xf24ff24f, 0xfff24fff, 0x22222222};
  const int32_t units[] = {4, 8, 8, 16, 32, 16, 32, 4};
  for (int i = 0; i < 8; ++i) d.LineTypes[i] = {patterns[i], units[i], 1, 10};
}

TEST(DxfReaders, LineTypesHaveNamesLibreCadKnowsAndDashesAtRealLengthWithoutEntityScales) {
  TJwwData d = StatedDrawing();
  DefaultLineTypes(d);
  for (uint8_t style = 2; style <= 9; ++style) AddToDrawing(d, MakeLine(0, style, 10, style, On(0, 0, style)));
  AddToDrawing(d, MakeLine(0, 20, 10, 20, On(1, 0, 2)));  // at 1/50
  const TWritten w = Dxf(d, false);
  std::map<std::string, std::string> names;  // description -> name
  for (const TDxfObject& o : w.File.Objects)
    if (o.Kind == "LTYPE" && o.Has(49)) names[o.Str(3)] = o.Str(2);
  EXPECT_EQ(names, (std::map<std::string, std::string>{{"線種 2", "DASHEDTINY"}, {"線種 3", "DASHED2"},
                                                       {"線種 4", "DASHED"}, {"線種 5", "CENTER2"},
                                                       {"線種 6", "CENTER"}, {"線種 7", "DIVIDE2"},
                                                       {"線種 8", "DIVIDE"}, {"線種 9", "DOT"}}));
  // Line type 9 begins with a gap: its elements begin with the dash, as
  // many gaps as dashes, none of no length.
  const TDxfObject* dot = w.File.Named("LTYPE", "DOT");
  ASSERT_NE(dot, nullptr);
  ASSERT_EQ(dot->All(49).size(), 2u);
  EXPECT_NEAR(dot->Real(49, 0), 0.36, 1e-12);
  EXPECT_NEAR(dot->Real(49, 1), -1.08, 1e-12);
  // A reader that takes $LTSCALE and not an entity's own scale (Inkscape)
  // draws most dashes at real length; one that takes both draws all so.
  EXPECT_EQ(w.File.Var("$LTSCALE"), "100.0");
  for (const TDxfObject* o : w.File.In("ENTITIES")) {
    const double scale = o->Real(20) == 20 * 50 ? 50 : 100;
    EXPECT_EQ(100 * (o->Has(48) ? o->Real(48) : 1), scale) << o->Str(6);
  }
  // As the sheet: the scale 1.
  TJwwData sheet = StatedDrawing();
  DefaultLineTypes(sheet);
  AddToDrawing(sheet, MakeLine(0, 0, 10, 0, On(1, 0, 2)));
  EXPECT_EQ(Dxf(sheet, true).File.Var("$LTSCALE"), "1.0");
  // The standard names of each look, by size.
  EXPECT_EQ(LineTypeNames({{1, -1}, {3, -3}, {0.2, -2}, {5, -1, 1, -1}, {5, -1, 0.1, -1}, {6, -1, 1, -1, 1, -1},
                           {6, -1, 6, -1, 1, -1}, {2, -2}, {4, -4}}),
            (std::vector<std::string>{"DASHEDTINY", "DASHED", "DOT", "CENTER", "DASHDOT", "DIVIDE", "BORDER",
                                      "DASHED2", "DASHEDX2"}));
}

TEST(DxfReaders, ExtentsAreOfWhatIsVisibleThroughTheBlockTree) {
  TJwwData d = StatedDrawing();
  // A definition placed inside another, the outer one placed in group 1
  // (1/50), the inner insertion's own record in group 0 (1/100).
  TEntJwwBlockDef& outer = AddBlockDef(d, 1, N("outer"));
  Add(outer, outer.EntityCount, MakeBlockRef(2, 10, 0));
  TEntJwwBlockDef& inner = AddBlockDef(d, 2, N("inner"));
  Add(inner, inner.EntityCount, MakeLine(0, 0, 1, 1));
  TEntJwwBlockRef placed = MakeBlockRef(1, 100, 0);
  static_cast<TEntJwwCommon&>(placed) = On(1, 0);
  AddToDrawing(d, placed);
  // What no one sees: a line and an insertion on the hidden layer 1-5, a
  // temporary point, a setting the CAD program keeps in a text.
  AddToDrawing(d, MakeLine(2000, 2000, 2010, 2010, On(1, 5)));
  TEntJwwBlockRef hidden = placed;
  hidden.RefX = 10000, hidden.Layer = 5;
  AddToDrawing(d, hidden);
  TEntJwwPoint temporary = MakePoint(-3000, 0, On(1, 0));
  temporary.Temporary = 1;
  AddToDrawing(d, temporary);
  TEntJwwText setting = MakeText(N("Printer_Orientation = 0"), On(0, 0, 9));
  setting.PenColor = 9, setting.StartY = setting.EndY = -1000, setting.EndX = setting.StartX;
  AddToDrawing(d, setting);
  ASSERT_TRUE(d.PostRead());
  const TWritten w = Dxf(d, false);
  const TDxf& f = w.File;
  EXPECT_EQ(std::vector<std::string>({f.Var("$EXTMIN"), f.Var("$EXTMIN", 1), f.Var("$EXTMAX"), f.Var("$EXTMAX", 1)}),
            std::vector<std::string>({"5500.0", "0.0", "5550.0", "50.0"}));
  // The view the file opens with shows the extents with a margin.
  const TDxfObject* view = First(f, "VPORT", "TABLES");
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(std::tuple(view->Real(12), view->Real(22), view->Real(40)), std::tuple(5525.0, 25.0, 50 * 1.1));
  // The setting stays, on a layer of its own that no reader shows.
  const TDxfObject* text = First(f, "TEXT");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->Str(8), "設定");
  const TDxfObject* layer = f.Named("LAYER", "設定");
  ASSERT_NE(layer, nullptr);
  EXPECT_EQ(std::tuple(layer->Int(62), layer->Int(70)), std::tuple(-7L, 1L));
}

TEST(DxfReaders, TextsAreDrawnAndWrittenAtTheWidthTheDrawingLaysThemOutIn) {
  // "漢ab字": two full-width characters of 4 and a spacing of 1 each, two
  // half-width of 2 and 0.5, and no spacing after the last: 14.
  const JwwString text = N("\x8a\xbf" "ab\x8e\x9a");
  EXPECT_EQ(LaidOutWidth(ToUtf8(text), 4, 1), 14);
  TJwwData d = NewDrawing(600);
  for (double base : {14.0, 7.0, 30.0}) {
    TEntJwwText t = MakeText(text);
    t.SizeX = 4, t.SizeY = 4, t.Spacing = 1, t.EndX = base, t.StartY = t.EndY = base;
    AddToDrawing(d, t);
  }
  // The DXF fits each to its width: the base line where the drawing gives
  // one shorter than its characters take (the CAD program fitted it in),
  // else the width its characters take.
  std::vector<double> ends;
  const TWritten fitted = Dxf(d, true);
  for (const TDxfObject* o : fitted.File.In("ENTITIES")) {
    EXPECT_EQ(o->Int(72), 5);
    ends.push_back(o->Real(11) - o->Real(10));
  }
  EXPECT_EQ(ends, (std::vector<double>{14, 7, 14}));
  // The picture: the half-width ones followed by half the spacing, each
  // run where the drawing lays it out, and the fitted text drawn half as
  // wide.
  const std::string svg = DrawingToSvg(d);
  EXPECT_NE(svg.find("letter-spacing=\"1\" font-family=\"'MS Gothic', IPAGothic, 'IPAexGothic', 'Noto Sans CJK JP', "
                     "'TakaoGothic', sans-serif\">\xe6\xbc\xa2<tspan x=\"5\" letter-spacing=\"0.5\">ab</tspan>"
                     "<tspan x=\"10\" letter-spacing=\"1\">\xe5\xad\x97</tspan></text>"),
            std::string::npos)
      << svg;
  EXPECT_NE(svg.find("transform=\"matrix(0.5 0 0 -1 0 7)\""), std::string::npos);
  EXPECT_NE(svg.find("transform=\"matrix(1 0 0 -1 0 30)\""), std::string::npos);
}

// Every text of the real drawings that has a base line has one as long as
// its characters take as the CAD program lays them out.
TEST(DxfReaders, RealDrawingsTextsHaveBaseLinesAsLongAsTheirCharactersAreLaidOut) {
  QUORVEX_REQUIRE_REAL();
  size_t texts = 0;
  for (const std::string& path : RealDrawings()) {
    TJwwData d = Read(ReadFile(path));
    for (const TEntJwwText& t : d.Texts) {
      const double base = std::hypot(t.EndX - t.StartX, t.EndY - t.StartY);
      if (base == 0) continue;
      ++texts;
      EXPECT_NEAR(LaidOutWidth(ToUtf8(t.Text), t.SizeX, t.Spacing), base, 1e-9 * base) << path << " " << ToUtf8(t.Text);
    }
  }
  EXPECT_GT(texts, 400u);
}

TEST(DxfReaders, TheFirstPassPlansTheDimensionLookAndEveryHandleTheFileGives) {
  // Two looks of one dimension each: the smaller scale among equals, and
  // at one scale the smaller height.
  for (const bool sameScale : {false, true}) {
    TJwwData d = StatedDrawing();
    TEntJwwDimension big = MakeDimension(N("10"), true);
    static_cast<TEntJwwCommon&>(big) = On(0, 0);
    big.ValueText.SizeY = 4;
    TEntJwwDimension small = big;
    small.LayerGroup = sameScale ? 0 : 1;
    small.ValueText.SizeY = sameScale ? 2 : 4;
    AddToDrawing(d, big);
    AddToDrawing(d, small);
    const TDxf f = Dxf(d, false).File;
    EXPECT_EQ(std::tuple(f.Var("$DIMSCALE"), f.Var("$DIMTXT")),
              sameScale ? std::tuple(std::string("100.0"), std::string("1.5")) : std::tuple(std::string("50.0"), std::string("3.0")));
    // A drawing of dimensions only: $HANDSEED is the handle after the
    // last one the file gives.
    uint64_t highest = 0;
    for (const TDxfObject& o : f.Objects)
      if (o.Section != "CLASSES") highest = std::max<uint64_t>(highest, std::stoull(o.Handle(), nullptr, 16));
    EXPECT_EQ(std::stoull(f.Var("$HANDSEED"), nullptr, 16), highest + 1);
  }
}

TEST(DxfReaders, EntitiesCarryTheirImagesLayersAndScalesAsTheDrawingHasThem) {
  TJwwData d = NewDrawing(700);
  d.LayerGroups[0].Scale = 100;
  // An image turned a quarter: across it runs up, and up it runs left.
  TEntJwwText image = MakeText(N("^@BM%temp%logo.png,9,6"));
  image.Angle = 90;
  AddToDrawing(d, image);
  // A dimension whose auxiliary points are not marked temporary: they are
  // still the temporary points of the drawing.
  TEntJwwDimension dim = MakeDimension(N("10"), true);
  dim.AuxPoint1.Temporary = dim.AuxPoint2.Temporary = 0;
  AddToDrawing(d, dim);
  // A mirrored insertion: as high along z as across.
  TEntJwwBlockRef mirrored = MakeBlockRef(1, 0, 0);
  mirrored.ScaleX = -2, mirrored.ScaleY = 2;
  AddToDrawing(d, mirrored);
  TEntJwwBlockDef& def = AddBlockDef(d, 1, N("b"));
  Add(def, def.EntityCount, MakeLine(0, 0, 1, 0));
  // A definition nothing places, whose text places an image: no file.
  TEntJwwBlockDef& unused = AddBlockDef(d, 2, N("unused"));
  Add(unused, unused.EntityCount, MakeText(N("^@BM%temp%photo.bmp,4,3")));
  ASSERT_TRUE(d.PostRead());
  const std::vector<JwwString> entries = {N("photo.bmp"), N("logo.png")};
  EXPECT_EQ(PlacedImageEntries(d, entries), std::vector<int32_t>{1});
  const TDxf f = Dxf(d, false, {{1, "plan-images/image-1.png", 3, 2}}, entries).File;
  const TDxfObject* shown = First(f, "IMAGE");
  ASSERT_NE(shown, nullptr);
  EXPECT_NEAR(shown->Real(11), 0, 1e-12);
  EXPECT_NEAR(shown->Real(21), 900.0 / 3, 1e-9);
  EXPECT_NEAR(shown->Real(12), -600.0 / 2, 1e-9);
  EXPECT_NEAR(shown->Real(22), 0, 1e-12);
  std::vector<std::string> layers;
  for (const TDxfObject& o : f.Objects)
    if (o.Kind == "POINT" && o.Section == "BLOCKS") layers.push_back(o.Str(8));
  EXPECT_EQ(layers, (std::vector<std::string>{"0", "0", "仮点", "仮点"}));
  const TDxfObject* insert = First(f, "INSERT");
  ASSERT_NE(insert, nullptr);
  EXPECT_EQ(std::tuple(insert->Real(41), insert->Real(42), insert->Real(43)), std::tuple(-200.0, 200.0, 200.0));
  // Hatches end on their seed point, the centre, not on a count of none.
  TJwwData disc = NewDrawing(600);
  AddToDrawing(disc, MakeRoundSolid(5, 6, 2));
  const TWritten sheet = Dxf(disc, true);
  const TDxfObject* hatch = First(sheet.File, "HATCH");
  ASSERT_NE(hatch, nullptr);
  EXPECT_EQ(std::tuple(hatch->Int(98), hatch->Groups.back().Code, hatch->Groups.back().Value),
            std::tuple(1L, 20, std::string("6.0")));
}

TEST(DxfReaders, ValuesAsTheReadersTakeThem) {
  // A wide string's U+0080 is two bytes of UTF-8, as every character
  // beyond ASCII.
  std::string utf8;
  EXPECT_TRUE(AppendCaretText(W(u"a\u0080"), utf8));
  EXPECT_EQ(utf8, "a\xc2\x80");
  // A width halfway between two lineweights takes the thinner.
  EXPECT_EQ(NearestLineweight(0.14), 13);
  EXPECT_EQ(NearestLineweight(0.07), 5);
  EXPECT_EQ(NearestLineweight(0.16), 15);
  // A JPEG's size from its frame header, after a marker before it.
  const std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0x00, 0x00, 0xFF, 0xC0, 0x00, 0x11,
                                     0x08, 0x00, 0x02, 0x00, 0x03, 0x03, 0x01, 0x22, 0x00};
  uint32_t width = 0, height = 0;
  EXPECT_TRUE(ImagePixelSize(jpeg, width, height));
  EXPECT_EQ(std::tuple(width, height), std::tuple(3u, 2u));
}

}  // namespace
}  // namespace qtest
