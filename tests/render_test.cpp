// Pictures of drawings: where placed blocks and arcs land, texts in either
// string form, the marks of a preview, and drawings built to make the
// renderer's output explode.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <random>
#include <regex>
#include <sstream>
#include <tuple>
#include <vector>

#include "convert/drawingfile.h"
#include "convert/picture.h"
#include "convert/session.h"
#include "explode/explode.h"
#include "jww/shapes.h"
#include "render/number.h"
#include "render/svg.h"
#include "testutil.h"
#include "text/utf8.h"
#include "writer_util.h"

namespace qtest {
namespace {

std::string Svg(const TJwwData& d) { return DrawingToSvg(d); }

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

std::vector<double> Numbers(const std::string& text) {
  std::vector<double> out;
  std::istringstream in(text);
  for (double v; in >> v;) out.push_back(v);
  return out;
}

// The transform="matrix(...)" of the <use> that places group `target`.
TAffine UseMatrix(const std::string& svg, const std::string& target) {
  std::smatch m;
  const std::regex use("xlink:href=\"#" + target + "\" transform=\"matrix\\(([^)]*)\\)\"");
  EXPECT_TRUE(std::regex_search(svg, m, use)) << target;
  const std::vector<double> v = Numbers(m[1]);
  EXPECT_EQ(v.size(), 6u);
  if (v.size() != 6) return {};
  TAffine a;
  a.M11 = v[0], a.M21 = v[1], a.M12 = v[2], a.M22 = v[3], a.X = v[4], a.Y = v[5];
  return a;
}

TEST(Render, NestedRotatedScaledInsertionLandsWhereTheDrawingPutsIt) {
  TJwwData d = NewDrawing(700);
  TEntJwwBlockDef& inner = AddBlockDef(d, 1, N("inner"));
  Add(inner, inner.EntityCount, MakeLine(0, 0, 1, 0));
  TEntJwwBlockDef& outer = AddBlockDef(d, 2, N("outer"));
  TEntJwwBlockRef nested = MakeBlockRef(1, 2, 1);
  nested.ScaleX = 2, nested.ScaleY = 3, nested.Angle = std::numbers::pi / 2;
  Add(outer, outer.EntityCount, nested);
  TEntJwwBlockRef top = MakeBlockRef(2, 10, 20);
  top.ScaleX = top.ScaleY = 1.5, top.Angle = std::numbers::pi / 6;
  AddToDrawing(d, top);
  const std::string svg = Svg(d);

  // (1, 0) in "inner": scaled (2, 0), turned a quarter (0, 2), moved (2, 3);
  // then scaled (3, 4.5), turned 30 degrees and moved by (10, 20).
  const double c = std::cos(std::numbers::pi / 6), s = std::sin(std::numbers::pi / 6);
  const TPt want = {10 + 3 * c - 4.5 * s, 20 + 3 * s + 4.5 * c};
  // "outer" is reached first (group 1), "inner" through it (group 2).
  const TPt got = UseMatrix(svg, "g1").After(UseMatrix(svg, "g2")).Apply({1, 0});
  EXPECT_NEAR(got.X, want.X, 1e-6);
  EXPECT_NEAR(got.Y, want.Y, 1e-6);
  // The reader's block tree agrees, and the picture is sized to the line.
  ASSERT_TRUE(d.PostRead());
  ASSERT_EQ(d.BlockTree.size(), 2u);
  const TBlockPlacement n = d.BlockTreePlacement(1);
  EXPECT_NEAR(n.X + n.M11, want.X, 1e-9);
  EXPECT_NEAR(n.Y + n.M21, want.Y, 1e-9);
  const TBox box = TSceneWalk(d).Scene().Extents;
  EXPECT_NEAR(box.MinX, std::min(n.X, want.X), 1e-9);
  EXPECT_NEAR(box.MaxX, std::max(n.X, want.X), 1e-9);
  EXPECT_NEAR(box.MinY, std::min(n.Y, want.Y), 1e-9);
  EXPECT_NEAR(box.MaxY, std::max(n.Y, want.Y), 1e-9);
}

TEST(Render, EllipseArcEndsAtItsStartAndArcAnglesAndFullCirclesAreWhole) {
  TJwwData d = NewDrawing(700);
  TEntJwwArc a = MakeArc(5, 5, 10);
  a.Flatness = 0.5, a.TiltAngle = std::numbers::pi / 6;
  a.StartAngle = std::numbers::pi / 3, a.ArcAngle = std::numbers::pi / 2, a.FullCircle = 0;
  AddToDrawing(d, a);
  TEntJwwArc full = MakeArc(50, 0, 4);
  full.StartAngle = 1, full.ArcAngle = 0, full.FullCircle = 1;  // the flag alone makes it whole
  AddToDrawing(d, full);
  const std::string svg = Svg(d);

  std::smatch m;
  ASSERT_TRUE(std::regex_search(svg, m, std::regex("class=\"arc s\\d+\" d=\"M([^A]*)A([^\"]*)\"")));
  const std::vector<double> from = Numbers(m[1]), rest = Numbers(m[2]);
  ASSERT_EQ(std::tuple(from.size(), rest.size()), std::tuple(2u, 7u));
  // Before the tilt the ends are (10 cos 60, 5 sin 60) and (10 cos 150,
  // 5 sin 150); turned by 30 degrees about the centre (5, 5):
  const double want[] = {7.1650635, 11.25, 10, 5, 30, 0, 1, -3.75, 2.8349365};
  const double got[] = {from[0], from[1], rest[0], rest[1], rest[2], rest[3], rest[4], rest[5], rest[6]};
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(got[i], want[i], 1e-6) << i;
  EXPECT_NE(svg.find("<ellipse class=\"arc s"), std::string::npos);
  EXPECT_TRUE(std::regex_search(svg, std::regex("<ellipse [^>]* cx=\"50\" cy=\"0\" rx=\"4\" ry=\"4\"")));
}

// A whole circle's points come from a table of a turn's cosines and sines
// made once, not from a cosine and a sine each: each point, and the box of
// them all, must be the one its own angle gives to the last bit, or the
// pictures' frames and the outputs' extents would move.
TEST(Render, AnArcsPointsAndBoxAreThoseOfTheirAngles) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> unit(0, 1);
  int mismatches = 0;
  for (int n = 0; n < 5000; ++n) {
    TPrimitive a;
    a.Kind = TPrimKind::kArc;
    const double far = n % 3 == 0 ? 1e6 : 100;
    a.P[0] = {(unit(random) - 0.5) * far, (unit(random) - 0.5) * far};
    a.RadiusX = n % 50 == 0 ? 0 : std::pow(10, unit(random) * 8 - 4);
    a.RadiusY = a.RadiusX * (n % 7 == 0 ? 1 : unit(random));
    a.Tilt = n % 5 == 0 ? 0 : (unit(random) - 0.5) * 20;
    if (n % 11 == 0) a.P[0] = {a.RadiusX, -a.RadiusY};  // edges at 0
    const bool whole = n % 4 != 3;
    a.Start = whole ? 0 : (unit(random) - 0.5) * 20;
    a.Sweep = whole ? 2 * std::numbers::pi : (unit(random) - 0.5) * 13;
    const int segments = n % 9 == 0 ? 300 : n % 2 ? 64 : 1 + static_cast<int>(unit(random) * 256);
    const std::vector<TPt> points = ArcPoints(a, segments);
    TBox all;
    for (size_t i = 0; i < points.size(); ++i) {
      const TPt p = ArcPoint(a, a.Start + a.Sweep * static_cast<double>(i) / segments);
      if (std::memcmp(&p, &points[i], sizeof p) != 0) ++mismatches;
      all.Add(p);
    }
    if (points.size() != static_cast<size_t>(segments) + 1) ++mismatches;
    const TBox box = ArcPointsBox(a, segments);
    // Bit for bit: an edge's zero keeps its sign.
    if (std::memcmp(&box, &all, sizeof box) != 0) ++mismatches;
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(Render, ShiftJisAndWideTextsArriveAsTheSameUtf8) {
  // 日影～１: the tilde is 0x8160 in code page 932, U+FF5E in a wide string
  // (plain Shift-JIS decoding would give U+301C and a different text).
  const JwwString narrow = N("\x93\xfa\x89\x65\x81\x60\x82\x50");
  const JwwString wide = W(u"\u65e5\u5f71\uff5e\uff11");
  const std::string utf8 = "\xe6\x97\xa5\xe5\xbd\xb1\xef\xbd\x9e\xef\xbc\x91";
  EXPECT_EQ(ToUtf8(narrow), utf8);
  EXPECT_EQ(ToUtf8(wide), utf8);
  TJwwData d = NewDrawing(700);
  AddToDrawing(d, MakeText(narrow));
  AddToDrawing(d, MakeText(wide));
  EXPECT_EQ(Count(Svg(d), ">" + utf8 + "</text>"), 2u);
}

// A text is drawn only with a height, and whole however long, in a
// definition too; a dimension's auxiliary points are temporary points, as
// the explode makes them, and its own points are as they say.
TEST(Render, TextsNeedAHeightAndArriveWholeAndDimensionsAuxiliaryPointsAreTemporary) {
  const std::string longText = std::string(300, 'a') + "&";
  TJwwData d = NewDrawing(700);
  for (double height : {2.5, 0.0, -1.0}) {
    TEntJwwText t = MakeText(N(longText));
    t.SizeY = height;
    AddToDrawing(d, t);
  }
  AddToDrawing(d, MakeBlockRef(1));
  TEntJwwBlockDef& def = AddBlockDef(d, 1, N("b"));
  Add(def, def.EntityCount, MakeText(W(std::u16string(longText.begin(), longText.end()))));
  bool ok = false;
  std::string svg = Svg(Parse(Serialize(d, 700), &ok));
  ASSERT_TRUE(ok);
  EXPECT_EQ(std::tuple(Count(svg, "<text"), Count(svg, ">" + longText.substr(0, 300) + "&amp;</text>")),
            std::tuple(2u, 2u));

  TJwwData dims = NewDrawing(700);
  TEntJwwDimension dim = MakeDimension(N("1500"), true);
  dim.Point1.Temporary = 0, dim.Point2.Temporary = 1, dim.AuxPoint1.Temporary = dim.AuxPoint2.Temporary = 0;
  AddToDrawing(dims, dim);
  svg = Svg(dims);
  EXPECT_EQ(std::tuple(Count(svg, "<circle "), Count(svg, " opacity=")), std::tuple(4u, 3u));
}

TEST(Render, PreviewMarksExactlyTheLinesAndPointsTheConversionAdds) {
  TempFolder dir;
  TJwwData d = NewDrawing(700);
  TEntJwwLine earlier = MakeLine(0, 0, 5, 5);
  earlier.Flags |= kExplodedLineFlag;  // made by an earlier conversion: not this explode's work
  AddToDrawing(d, earlier);
  AddToDrawing(d, MakeDimension(N("1500"), true));
  TEntJwwDimension blank = MakeDimension(N("\x81\x40"), true);  // one full-width blank
  blank.AuxLine2.EndY = blank.AuxLine2.StartY;                     // no length: not emitted
  AddToDrawing(d, blank);
  TEntJwwBlockDef& placed = AddBlockDef(d, 1, N("placed"));
  Add(placed, placed.EntityCount, MakeDimension(N(""), false));
  AddToDrawing(d, MakeBlockRef(1));
  const std::string input = dir.File("in.jww");
  WriteFile(input, Serialize(d, 700));

  TConversionSession session;
  session.StartUp();
  const TConvertResult converted = session.ConvertDrawing(input, dir.File("out.jww"));
  ASSERT_EQ(converted.Code, crDone);
  const TPictureResult r = MakePicture(input, dir.File("preview.svg"), TPictureMode::kPreview);
  ASSERT_EQ(r.Code, TPictureCode::kDone);
  const std::vector<uint8_t> bytes = ReadFile(dir.File("preview.svg"));
  const std::string svg(bytes.begin(), bytes.end());
  // 2 + 1 lines, 4 points; the earlier line and the valued dimension stay unmarked.
  const std::regex marked("class=\"[^\"]*\\bexploded\\b");
  const auto anyMarked = std::distance(std::sregex_iterator(svg.begin(), svg.end(), marked), std::sregex_iterator());
  EXPECT_EQ(std::tuple(Count(svg, "<line class=\"line exploded"), Count(svg, "<circle class=\"point exploded"),
                       size_t(anyMarked)),
            std::tuple(size_t(converted.Exploded.LinesAdded), size_t(converted.Exploded.PointsAdded),
                       size_t(converted.Exploded.LinesAdded + converted.Exploded.PointsAdded)));
  EXPECT_EQ(std::tuple(converted.Exploded.LinesAdded, converted.Exploded.PointsAdded), std::tuple(3, 4));
  EXPECT_NE(svg.find(">2 dimensions exploded: 3 lines and 4 points added</text>"), std::string::npos);

  // A definition nothing places is exploded but dropped by the writer: the
  // caption says its lines are not drawn.
  TEntJwwBlockDef& unplaced = AddBlockDef(d, 2, N("unplaced"));
  Add(unplaced, unplaced.EntityCount, MakeDimension(N(""), false));
  TAppendStarts start = ExplodeStart(d);
  const TExplodeSummary sum = ExplodeDimensions(d);
  TRenderOptions options;
  options.Exploded = &start;
  const TSceneWalk walk(d, options);
  const TScene& scene = walk.Scene();
  EXPECT_EQ(std::tuple(sum.LinesAdded, scene.ExplodedLines), std::tuple(4, 3));
  EXPECT_NE(PreviewCaption(sum, scene.ExplodedLines, scene.ExplodedPoints).find("(1 of them in block definitions"),
            std::string::npos);
}

TEST(Render, HiddenLayerGroupsAreKeptButNotShownWhereTheCadProgramSetStates) {
  TJwwData d = NewDrawing(600);
  AddToDrawing(d, MakeLine(0, 0, 10, 10));
  TEntJwwLine far = MakeLine(500, 500, 600, 600);
  far.LayerGroup = 1;
  AddToDrawing(d, far);
  // Every state 0, as other programs leave them: everything is shown.
  EXPECT_EQ(std::tuple(Count(Svg(d), " hidden"), TSceneWalk(d).Scene().Extents.MaxX), std::tuple(0u, 600.0));
  // As the CAD program saves: the write group and its write layer shown,
  // group 1 hidden.
  d.LayerGroups[0].State = 3;
  d.Layers[0].State = 3;
  EXPECT_EQ(std::tuple(Count(Svg(d), "class=\"line hidden"), TSceneWalk(d).Scene().Extents.MaxX), std::tuple(1u, 10.0));
}

TEST(Render, FanOutAndSelfPlacementStayBoundedInOutput) {
  // Five levels of definitions each placing the next ten times, the last
  // holding 100 lines: 111,111 placements and ten million lines once
  // expanded, 100 lines and 51 placements in the picture.
  TJwwData d = NewDrawing(700);
  for (int level = 1; level <= 6; ++level) {
    TEntJwwBlockDef& def = AddBlockDef(d, level, N("level"));
    for (int k = 0; k < (level < 6 ? 10 : 0); ++k) Add(def, def.EntityCount, MakeBlockRef(level + 1, k, 1));
    for (int k = 0; k < (level == 6 ? 100 : 0); ++k) Add(def, def.EntityCount, MakeLine(0, k, 1, k));
  }
  AddToDrawing(d, MakeBlockRef(1));
  const std::vector<uint8_t> file = Serialize(d, 700);
  bool ok = false;
  const TJwwData read = Parse(file, &ok);
  ASSERT_TRUE(ok);
  const std::string svg = Svg(read);
  EXPECT_EQ(std::tuple(Count(svg, "<line class=\"line"), Count(svg, "<use class=\"block\"")), std::tuple(100u, 51u));
  EXPECT_LT(svg.size(), 20 * file.size());

  // A definition that places itself (the reader refuses such a file; a
  // drawing built in memory can still hold one): the insertion inside it
  // is left out instead of placing the definition forever.
  TJwwData loop = NewDrawing(700);
  TEntJwwBlockDef& self = AddBlockDef(loop, 1, N("self"));
  Add(self, self.EntityCount, MakeLine(0, 0, 1, 1));
  Add(self, self.EntityCount, MakeBlockRef(1, 5, 5));
  AddToDrawing(loop, MakeBlockRef(1));
  const std::string looped = Svg(loop);
  EXPECT_EQ(std::tuple(Count(looped, "<use "), Count(looped, "<line class=\"line")), std::tuple(1u, 1u));
}

// The rule of a style class (".s3" gives "stroke:#000000;stroke-width:0.15em").
std::string Rule(const std::string& svg, const std::string& cls) {
  const size_t at = svg.find("\n" + cls + "{");
  if (at == std::string::npos) return "";
  const size_t open = at + cls.size() + 2;
  return svg.substr(open, svg.find('}', open) - open);
}

// The pen classes of the lines, in order ("s0", "s3", ...).
std::vector<std::string> LinePens(const std::string& svg) {
  std::vector<std::string> out;
  const std::regex line("<line class=\"line (s\\d+)\"");
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), line); it != std::sregex_iterator(); ++it)
    out.push_back((*it)[1]);
  return out;
}

TEST(Render, RoundSolidsAreFilledDiscsAndSectorsNotCornersAndKeepOutOfTheExtents) {
  TJwwData d = NewDrawing(700);
  TEntJwwSolid disc = MakeRoundSolid(100, 50, 10);
  disc.PenColor = 10, disc.Color = 0x0000FF;  // its own colour, red in the low byte
  AddToDrawing(d, disc);
  TEntJwwSolid sector = MakeRoundSolid(0, 0, 5, 0, std::numbers::pi / 2);
  sector.Y2 = 0.5;  // flattened
  AddToDrawing(d, sector);
  AddToDrawing(d, MakeRoundSolid(50, 0, 3, 0, 2 * std::numbers::pi, 7));  // a code we cannot read
  AddToDrawing(d, MakeSolid());                                              // four corners
  const std::string svg = Svg(d);

  std::smatch m;
  ASSERT_TRUE(std::regex_search(svg, m, std::regex("<ellipse class=\"solid (f\\d+)\" cx=\"100\" cy=\"50\" rx=\"10\" ry=\"10\"/>")));
  EXPECT_EQ(Rule(svg, "." + m[1].str()), "fill:#ff0000");
  // The sector: from the centre out along the start, round a quarter of
  // the flattened ellipse, and back.
  ASSERT_TRUE(std::regex_search(svg, m, std::regex("<path class=\"solid f\\d+\" d=\"M0 0 L5 0 A5 2.5 0 0 1 ([^ ]+) ([^ ]+) Z\"/>")));
  EXPECT_NEAR(std::stod(m[1]), 0, 1e-9);
  EXPECT_NEAR(std::stod(m[2]), 2.5, 1e-9);
  // The unknown shape: the outline of its circle, stroked.
  EXPECT_TRUE(std::regex_search(svg, std::regex("<ellipse class=\"solid s\\d+\" cx=\"50\" cy=\"0\" rx=\"3\" ry=\"3\"/>")));
  EXPECT_EQ(Count(svg, "class=\"solid"), 4u);
  EXPECT_EQ(Count(svg, "<path class=\"solid f"), 2u);  // the sector and the four corners

  // The extents hold the shapes (and the corners' unit square), not the
  // radius, flatness or angles taken as corners.
  const TBox box = TSceneWalk(d).Scene().Extents;
  EXPECT_NEAR(box.MinX, 0, 1e-9);
  EXPECT_NEAR(box.MaxX, 110, 1e-9);
  EXPECT_NEAR(box.MinY, -3, 1e-9);
  EXPECT_NEAR(box.MaxY, 60, 1e-9);
}

TEST(Render, PenWidthsDoNotShrinkWithTheBlockScaleAndNoneIsThinnerThanAHairline) {
  TJwwData d = NewDrawing(700);
  AddToDrawing(d, MakeLine(0, 0, 200, 0));  // about 200 mm: a picture at paper scale 1
  TEntJwwBlockDef& def = AddBlockDef(d, 1, N("tiny"));
  TEntJwwLine wide = MakeLine(0, 0, 1000, 1000);
  wide.PenWidth = 35;  // 0.35 mm
  Add(def, def.EntityCount, wide);
  TEntJwwLine hair = MakeLine(0, 1000, 1000, 0);
  hair.PenWidth = 1;  // 0.01 mm: a hairline
  Add(def, def.EntityCount, hair);
  TEntJwwBlockRef placed = MakeBlockRef(1, 50, 50);
  placed.ScaleX = placed.ScaleY = 0.01;
  AddToDrawing(d, placed);
  TEntJwwBlockDef& plain = AddBlockDef(d, 2, N("plain"));
  Add(plain, plain.EntityCount, MakeLine(0, 0, 10, 0));
  AddToDrawing(d, MakeBlockRef(2, 150, 0));  // unscaled
  const std::string svg = Svg(d);

  // The width a definition's line is drawn with: its pen's width in em,
  // the em set by its placement, and the placement's scale.
  auto em = [&](const std::string& pen) {
    std::smatch m;
    const std::string rule = Rule(svg, "." + pen);
    EXPECT_TRUE(std::regex_search(rule, m, std::regex("stroke-width:([^;]+)em"))) << rule;
    return m.empty() ? 0.0 : std::stod(m[1]);
  };
  const std::vector<std::string> pens = LinePens(svg);
  ASSERT_EQ(pens.size(), 4u);  // the definitions' lines come first
  std::smatch m;
  ASSERT_TRUE(std::regex_search(svg, m, std::regex("<use class=\"block\" xlink:href=\"#g1\" transform=\"matrix\\(0.01 [^)]*\\)\" font-size=\"([^\"]+)em\"/>")));
  const double placedEm = std::stod(m[1]);
  EXPECT_NEAR(em(pens[0]) * placedEm * 0.01, 0.35, 1e-9);
  EXPECT_NEAR(em(pens[1]) * placedEm * 0.01, 0.05, 1e-9);  // 0.05 mm on a picture as large as the drawing
  EXPECT_NE(svg.find("<use class=\"block\" xlink:href=\"#g2\" transform=\"matrix(1 0 0 1 150 0)\"/>"),
            std::string::npos);
  EXPECT_NE(svg.find("<g transform=\"matrix(1 0 0 -1 0 0)\" font-size=\"1\">"), std::string::npos);
}

TEST(Render, ColoursAreTheDrawingsOwnForScreenOrPrinterAndThePaletteWhenItStoresNone) {
  TJwwData d = NewDrawing(600);
  AddToDrawing(d, MakeLine(0, 0, 10, 0));
  d.Lines[0].PenColor = 2;
  AddToDrawing(d, MakeLine(0, 5, 10, 5));
  d.Lines[1].PenColor = 9;
  TempFolder dir;
  // The colours of a picture: its background, then each line's.
  auto colours = [&](bool print) {
    std::string svg;
    if (!print) {
      svg = DrawingToSvg(d);
    } else {
      // As quorvex-convert --svg --print writes it.
      WriteFile(dir.File("in.jww"), Serialize(d, 600));
      const std::string command = std::string(QUORVEX_CONVERT_BIN) + " --svg --print " + dir.File("in.jww") + " " +
                                  dir.File("out.svg") + " >/dev/null";
      EXPECT_EQ(std::system(command.c_str()), 0);
      const std::vector<uint8_t> bytes = ReadFile(dir.File("out.svg"));
      svg.assign(bytes.begin(), bytes.end());
    }
    std::smatch m;
    EXPECT_TRUE(std::regex_search(svg, m, std::regex("<rect class=\"background\"[^>]* fill=\"([^\"]+)\"")));
    std::vector<std::string> out = {m.empty() ? "" : m[1].str()};
    for (const std::string& pen : LinePens(svg)) out.push_back(Rule(svg, "." + pen).substr(7, 7));
    return out;
  };
  using V = std::vector<std::string>;
  // None stored: the attribute tables' palette on white, as before.
  EXPECT_EQ(colours(false), (V{"#ffffff", "#000000", "#ff80ff"}));
  // Stored as 0x00BBGGRR: on screen a black background with a white and a
  // grey pen; on paper black and orange on white.
  d.PenSettings[0].ScreenColor = 0x000000, d.PenSettings[0].PrinterColor = 0xFFFFFF;
  d.PenSettings[2].ScreenColor = 0xFFFFFF, d.PenSettings[2].PrinterColor = 0x000000;
  d.PenSettings[9].ScreenColor = 0x808080, d.PenSettings[9].PrinterColor = 0x0080FF;
  EXPECT_EQ(colours(false), (V{"#000000", "#ffffff", "#808080"}));
  EXPECT_EQ(colours(true), (V{"#ffffff", "#000000", "#ff8000"}));
}

// Whether a program can be run from the shell.
bool HaveProgram(const std::string& name) { return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0; }

TEST(Render, ABrowserKeepsTheLeadingAndDoubledSpacesOfTexts) {
  if (!HaveProgram("chromium")) GTEST_SKIP() << "chromium is not installed";
  TempFolder dir;
  TJwwData d = NewDrawing(600);
  AddToDrawing(d, MakeText(N("  \x97\x4c  a")));  // "  有  a"
  std::string svg = Svg(d);
  // A script added at the end counts the characters the browser lays out.
  const std::string measure =
      "<script>const t = document.getElementsByTagName('text')[0];"
      "document.documentElement.setAttribute('data-chars', t.getNumberOfChars());</script>\n</svg>\n";
  svg.replace(svg.rfind("</svg>"), std::string::npos, measure);
  WriteFile(dir.File("text.svg"), std::vector<uint8_t>(svg.begin(), svg.end()));
  const std::string command = "timeout 120 chromium --headless --no-sandbox --disable-gpu "
                              "--disable-background-networking --disable-component-update --disable-sync "
                              "--no-first-run --user-data-dir=" + dir.File("profile") + " --dump-dom file://" +
                              dir.File("text.svg") + " 2>/dev/null";
  FILE* p = ::popen(command.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string dom;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) dom.append(buf, n);
  ::pclose(p);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(dom, m, std::regex("data-chars=\"(\\d+)\""))) << dom.substr(0, 300);
  EXPECT_EQ(m[1].str(), "6");
}

TEST(Render, NumbersAreWrittenAsTheExactTenDigitConversionWritesThem) {
  // The quick way must give the same text as the exact one for every
  // value, halves and values next to powers of ten included.
  std::mt19937_64 random(17);
  auto same = [](double v) {
    char fast[40], exact[40];
    const std::string a(fast, FormatNumber(v, fast));
    const std::string b(exact, std::to_chars(exact, exact + 40, v, std::chars_format::general, 10).ptr);
    EXPECT_EQ(a, b) << std::hexfloat << v;
    return a == b;
  };
  std::uniform_real_distribution<double> plain(-2000, 2000);
  bool ok = true;
  for (int i = 0; i < 50000 && ok; ++i) {
    ok = same(plain(random));
    const double scaled = std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 90) - 80);
    ok = ok && same(random() & 1 ? scaled : -scaled);
    const int64_t whole = static_cast<int64_t>(random() % 20000000001ull) - 10000000000ll;
    ok = ok && same(static_cast<double>(whole) / std::pow(10.0, static_cast<int>(random() % 14)));
    ok = ok && same((static_cast<double>(random() % 100000000000ull) + 0.5) / std::pow(10.0, static_cast<int>(random() % 12)));
  }
  for (double v : {0.0, 1e-4, 9.99999999995e-5, 1.00000000005e-4, 9999999999.5, 9999999999.4, 999999999.95, 0.5, 2.5,
                   1234567890.5, 1e10, 1e9, 99999.999995, 0.1, 1.0 / 3, 1e-300, 1e300})
    for (double w : {v, -v, std::nextafter(v, 1e308), std::nextafter(v, -1e308)}) same(w);
}

TEST(Render, CarriedImagesAreEmbeddedAndAHostileGzipIsRefused) {
  TempFolder dir;
  TJwwData d = NewDrawing(700);
  AddToDrawing(d, MakeText(N("^@BM%temp%photo.bmp,40,30")));
  AddToDrawing(d, MakeText(N("^@BM%temp%bomb.bmp,40,30")));
  // A bitmap header and 24 MiB of zeros (about 24 KiB compressed), more than
  // a picture of a drawing this small may embed.
  std::vector<uint8_t> bomb(24u << 20);
  bomb[0] = 'B', bomb[1] = 'M';
  std::vector<uint8_t> photo = Pattern(60, 3);
  photo[0] = 'B', photo[1] = 'M';
  const std::string input = dir.File("in.jww");
  WriteFile(input, WithImages(Serialize(d, 700), {{N("photo.bmp.gz"), Gzip(photo)}, {N("bomb.bmp.gz"), Gzip(bomb)}}));
  const TPictureResult r = MakePicture(input, dir.File("out.svg"), TPictureMode::kAsStored);
  ASSERT_EQ(r.Code, TPictureCode::kDone);
  const std::vector<uint8_t> bytes = ReadFile(dir.File("out.svg"));
  const std::string svg(bytes.begin(), bytes.end());
  const std::string base64 = "data:image/bmp;base64,Qk0";  // "BM" and the photo's next byte
  EXPECT_EQ(std::tuple(Count(svg, base64), Count(svg, "class=\"text image missing")), std::tuple(1u, 1u));
  EXPECT_LT(bytes.size(), 64u << 10);
}

TEST(Render, RealDrawingsShowEveryLineAndTheirJapaneseTexts) {
  QUORVEX_REQUIRE_REAL();
  for (const std::string& path : RealDrawings()) {
    SCOPED_TRACE(path);
    TJwwData d;
    ASSERT_TRUE(ReadDrawingFile(path, d, nullptr));
    int64_t lines = d.LineCount, texts = 0;
    for (const TEntJwwBlockDef& def : d.BlockDefs) lines += def.Used ? def.LineCount : 0;
    // Texts whole, but for the spans of their half-width characters.
    const std::string svg = std::regex_replace(Svg(d), std::regex("<tspan [^>]*>|</tspan>"), "");
    EXPECT_EQ(int64_t(Count(svg, "<line class=\"line")), lines);
    for (int32_t i = 0; i < d.TextCount; ++i) {
      const std::string utf8 = ToUtf8(d.Texts[i].Text);
      std::string escaped;
      for (char c : utf8) escaped += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
      texts += svg.find(">" + escaped + "</text>") != std::string::npos;
    }
    EXPECT_EQ(texts, d.TextCount);
  }
}

// A large drawing's own items are measured by two threads at once for the
// viewer: the scene, the numbers its pens get and every figure must be
// those one thread makes, or a picture would change its colours, boxes or
// blocks from one load to the next. Pens first met in the second half,
// placements on both sides, hidden layers and an explode's work included.
TEST(Render, TwoThreadsMeasureADrawingAsOneThreadDoes) {
  TJwwData d = NewDrawing(700);
  for (int32_t k = 1; k <= 6; ++k) {
    TEntJwwBlockDef& def = AddBlockDef(d, k, N("b" + std::to_string(k)));
    Add(def, def.EntityCount, MakeLine(0, 0, k, 1));
    if (k < 6) Add(def, def.EntityCount, MakeBlockRef(k + 1, k, 0));
  }
  for (int32_t i = 0; i < 40000; ++i) {
    TEntJwwCommon pen = Pen(static_cast<uint8_t>(1 + i % 3), static_cast<uint16_t>(1 + i % 9),
                            static_cast<uint16_t>(i % 16));
    pen.LayerGroup = static_cast<uint16_t>(i % 3);
    pen.PenWidth = static_cast<uint16_t>(i >= 30000 ? 10 + i % 40 : 0);  // pens the first half never meets
    const double x = (i % 200) * 3.0 - 300, y = (i / 200) * 2.0 - 200;
    auto with = [&pen](auto e) {
      static_cast<TEntJwwCommon&>(e) = pen;
      return e;
    };
    switch (i % 8) {
      case 0: AddToDrawing(d, MakeLine(x, y, x + 2, y + (i % 5), pen)); break;
      case 1: {
        TEntJwwArc a = MakeArc(x, y, 1 + (i % 4), pen);
        if (i % 3 == 0) a.TiltAngle = 0.3, a.Flatness = 0.5;
        AddToDrawing(d, a);
        break;
      }
      case 2: {
        TEntJwwPoint p = MakePoint(x, y, pen);
        p.Temporary = i % 3 == 0;
        AddToDrawing(d, p);
        break;
      }
      case 3: {
        TEntJwwText t = MakeText(N("t" + std::to_string(i % 50)), pen);
        t.StartX = x, t.StartY = y, t.EndX = x + (i % 4), t.EndY = y, t.SizeX = t.SizeY = 1.5;
        AddToDrawing(d, t);
        break;
      }
      case 4: {
        TEntJwwDimension dim = with(MakeDimension(N(i % 16 == 4 ? "" : "10"), true));
        dim.DimLine = MakeLine(x, y, x + 2, y, pen);
        AddToDrawing(d, dim);
        break;
      }
      case 5: AddToDrawing(d, with(MakeRoundSolid(x, y, 0.5 + (i % 3)))); break;
      case 6: {
        TEntJwwBlockRef r = with(MakeBlockRef(1 + i % 6, x, y));
        r.Angle = (i % 4) * 0.5;
        AddToDrawing(d, r);
        break;
      }
      default: AddToDrawing(d, MakeLine(x, y, x, y + 1 + (i % 3) * 0.1, pen)); break;
    }
  }
  // Group 1 hidden, and in group 0 the layers but its write layer.
  d.LayerGroups[0].State = d.LayerGroups[2].State = 3;
  d.Layers[0].State = 3;
  const TAppendStarts start = ExplodeStart(d);
  ASSERT_GT(ExplodeDimensions(d).DimensionsExploded, 0);
  for (bool highlighted : {true, false}) {
    TRenderOptions options;
    options.ItemBoxes = true;
    (highlighted ? options.Exploded : options.Unexploded) = &start;
    options.TwoThreads = false;
    TSceneWalk one(d, options);
    options.TwoThreads = true;
    TSceneWalk two(d, options);
    const TScene &a = one.Scene(), &b = two.Scene();
    auto same = [](const auto& x, const auto& y) {
      return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size() * sizeof(x[0])) == 0;
    };
    EXPECT_TRUE(a.Pens == b.Pens);
    EXPECT_GT(a.Pens.size(), 40u);
    EXPECT_TRUE(same(a.ItemBoxes, b.ItemBoxes));
    EXPECT_TRUE(a.ItemLayers == b.ItemLayers && a.ItemRgb == b.ItemRgb && a.ItemLinePen == b.ItemLinePen);
    EXPECT_EQ(std::tuple(a.ExplodedLines, a.ExplodedPoints), std::tuple(b.ExplodedLines, b.ExplodedPoints));
    EXPECT_EQ(std::memcmp(&a.Extents, &b.Extents, sizeof a.Extents), 0);
    ASSERT_EQ(a.Groups.size(), b.Groups.size());
    for (size_t g = 0; g < a.Groups.size(); ++g) {
      const TGroup &x = a.Groups[g], &y = b.Groups[g];
      EXPECT_TRUE(x.Name == y.Name && x.DefIndex == y.DefIndex && std::memcmp(&x.Box, &y.Box, sizeof x.Box) == 0 &&
                  std::memcmp(&x.HiddenBox, &y.HiddenBox, sizeof x.HiddenBox) == 0)
          << g;
    }
    int mismatches = 0;
    TFigure f, h;
    for (size_t i = 0; i < a.ItemBoxes.size(); ++i) {
      const bool drawn = one.DrawingFigure(i, f);
      if (drawn != two.DrawingFigure(i, h) || f.Prims.size() != h.Prims.size()) {
        ++mismatches;
        continue;
      }
      for (size_t k = 0; k < f.Prims.size(); ++k)
        mismatches += std::tuple(f.Prims[k].Kind, f.Prims[k].Pen, f.Prims[k].Ref, f.Prims[k].Marks) !=
                      std::tuple(h.Prims[k].Kind, h.Prims[k].Pen, h.Prims[k].Ref, h.Prims[k].Marks);
    }
    EXPECT_EQ(mismatches, 0);
  }
}

}  // namespace
}  // namespace qtest
