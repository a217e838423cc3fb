#include <algorithm>
#include <filesystem>

#include "convert/drawingfile.h"
#include "writer_util.h"

namespace qtest {
namespace {

// The bytes after the header of a drawing made by NewDrawing: the entity
// list, the definitions and, from 700, the image section.
std::vector<uint8_t> Entities(TJwwData& d, int32_t version) {
  TJwwData empty = NewDrawing(version);
  const auto all = Serialize(d, version);
  return Slice(all, Serialize(empty, version).size() - 4 - (version >= kVersionImages ? 4 : 0), all.size());
}

// The drawing read back from these bytes (the read must succeed).
TJwwData ReadBack(const std::vector<uint8_t>& bytes, TImageStore* images = nullptr) {
  bool ok = false;
  TJwwData d = Parse(bytes, &ok, images);
  EXPECT_TRUE(ok);
  return d;
}

// The body of the only object of a drawing holding just this record.
template <class R>
std::vector<uint8_t> OnlyBody(const R& r, int kind, int32_t version) {
  TJwwData d = NewDrawing(version);
  AddToDrawing(d, r);
  const auto e = Entities(d, version);
  return Slice(e, 2 + 6 + ClassName(kind).size(), e.size() - 2 - (version >= kVersionImages ? 4 : 0));
}

TEST(Writer, ClassesAndObjectsAreNumberedAcrossTheList) {
  TJwwData d = NewDrawing(600);
  TEntJwwLine l1 = MakeLine(1, 2, 3, 4), l2 = MakeLine(5, 6, 7, 8);
  l1.Group = 0x01020304, l1.PenWidth = 7, l1.Layer = 3, l1.LayerGroup = 2, l1.Flags = 0x0102;
  const TEntJwwArc a = MakeArc(1, 1, 2);
  for (const TEntJwwLine& l : {l1, l2}) AddToDrawing(d, l);
  AddToDrawing(d, a);
  ByteList want;
  want.U16(3).NewClass("CDataSen").Common(l1, true).F64(1).F64(2).F64(3).F64(4);  // class 1, object 2
  want.U16(0x8001).Common(l2, true).F64(5).F64(6).F64(7).F64(8);                  // object 3
  want.NewClass("CDataEnko").Common(a, true).F64(1).F64(1).F64(2).F64(a.StartAngle).F64(a.ArcAngle);  // class 4
  want.F64(a.TiltAngle).F64(a.Flatness).U32(a.FullCircle).U16(0);  // no definitions
  EXPECT_EQ(Entities(d, 600), want.v);
}

TEST(Writer, LargeCountsAndClassNumbersTakeTheLongForm) {
  // The bytes of the count, or the tag of the second arc.
  const struct { int32_t lines, arcs; std::vector<uint8_t> want; } cases[] = {
      {65534, 0, {0xFE, 0xFF, 0xFF, 0xFF, 0x58, 0x02}},  // 16 bits, then a new class
      {65535, 0, {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}},
      {32764, 2, {0xFE, 0xFF}},                          // the arc class is number 32766
      {32765, 2, {0xFF, 0x7F, 0xFF, 0x7F, 0x00, 0x80}},  // number 32767 and up take 32 bits
  };
  for (const auto& c : cases) {
    TJwwData d = NewDrawing(600);
    for (int32_t i = 0; i < c.lines + c.arcs; ++i)
      i < c.lines ? AddToDrawing(d, MakeLine(i, 0, i, 1)) : AddToDrawing(d, MakeArc(i, 0, 1));
    const size_t at = c.arcs ? 2 + (14 + 47) + size_t(c.lines - 1) * 49 + (15 + 75) : 0;
    EXPECT_EQ(Slice(Entities(d, 600), at, at + c.want.size()), c.want) << c.lines;
  }
}

TEST(Writer, CommonPartIsMappedAndCheckedForTheVersion) {
  // The common part as set and as written: Group, PenStyle, PenColor, PenWidth, Layer, LayerGroup, Flags.
  struct Case {
    int32_t version;
    TEntJwwCommon in, out;
  };
  std::vector<Case> cases = {
      {351, {0, 35, 105, 0, 1, 1, 0}, {0, 8, 4, 0, 1, 1, 0}}, {420, {0, 35, 105, 0, 1, 1, 0}, {0, 35, 105, 0, 1, 1, 0}},
      {230, {0, 10, 400, 0, 1, 1, 0}, {0, 1, 1, 0, 1, 1, 0}}, {350, {0, 10, 400, 0, 1, 1, 0}, {0, 1, 1, 0, 1, 1, 0}},
      {351, {0, 10, 400, 0, 1, 1, 0}, {0, 1, 1, 0, 1, 1, 0}}, {420, {0, 10, 400, 0, 1, 1, 0}, {0, 1, 1, 0, 1, 1, 0}},
      {700, {0, 10, 400, 0, 1, 1, 0}, {0, 1, 1, 0, 1, 1, 0}}, {600, {0, 1, 1, 30001, 15, 15, 0}, {0, 1, 1, 0, 15, 15, 0}},
      {600, {0, 1, 1, 30000, 16, 16, 0}, {0, 1, 1, 30000, 0, 0, 0}},  // layer 16 is no layer
      {350, {0, 1, 1, 30000, 16, 15, 0}, {0, 1, 1, 0, 0, 15, 0}},     // no PenWidth before 351
  };
  // Below 420 each extended colour 101..116 and line type 31..45 becomes
  // the older one nearest to it; from 420 they stay.
  const uint16_t olderColor[] = {2, 8, 3, 6, 4, 5, 1, 2, 5, 8, 4, 3, 6, 5, 2, 2};
  const uint8_t olderStyle[] = {1, 4, 3, 6, 8, 8, 2, 5, 7, 6, 6, 8, 8, 17, 17};
  for (int i = 0; i < 16; ++i) {
    const uint8_t style = i < 15 ? uint8_t(31 + i) : 1;
    const TEntJwwCommon extended{0, style, uint16_t(101 + i), 0, 1, 1, 0};
    cases.push_back({419, extended, {0, i < 15 ? olderStyle[i] : style, olderColor[i], 0, 1, 1, 0}});
    cases.push_back({420, extended, extended});
  }
  for (const Case& c : cases) {
    const TEntJwwLine line{c.in, 0, 0, 1, 0};
    const auto want = ByteList().Common(c.out, c.version >= kVersionPenWidth).F64(0).F64(0).F64(1).F64(0).v;
    EXPECT_EQ(OnlyBody(line, kLine, c.version), want)
        << c.version << " colour " << c.in.PenColor << " type " << int(c.in.PenStyle);
  }
  // A point's code, angle and scale are on file only with PenStyle 100.
  TEntJwwPoint point = MakePoint(1, 2);
  point.Code = 9;
  for (uint8_t style : {0, 100}) {
    point.PenStyle = style;
    const auto body = OnlyBody(point, kPoint, 600);
    ASSERT_EQ(body.size(), style ? 55u : 35u);
    EXPECT_EQ(body[4], style ? 100 : 1);  // PenStyle 0 becomes 1
    if (style) { EXPECT_EQ(body[35], 9); }  // the code follows the 35 bytes
  }
}

TEST(Writer, UsedDefinitionsAreRenumberedWithTheirTimesAndStringsCleaned) {
  const std::pair<JwwString, JwwString> texts[] = {{N("A^mB"), N("AB")}, {N("^m"), N(" ")},   {N(""), N("")},
                                                   {W(u"A^mB"), W(u"AB")}, {W(u"^m"), W(u" ")}, {W(u""), W(u"")}};
  TJwwData d = NewDrawing(600);
  for (const auto& t : texts) AddToDrawing(d, MakeText(t.first));
  for (int32_t n : {3, 7, 99}) AddToDrawing(d, MakeBlockRef(n));  // no definition has 99
  AddBlockDef(d, 7, W(u"X^mY")).Time = 0x80000000u | 77;
  AddBlockDef(d, 5, N("unused"));
  TEntJwwBlockDef& three = AddBlockDef(d, 3, N("three"));
  three.Time = 0x80000000u | 78;
  Add(three, three.EntityCount, MakeBlockRef(7));
  // A time is written as it stands. The CAD program stores 8 more bytes
  // behind a time with the top bit; read back so, the times become the
  // places 1 and 2 and are written so.
  const auto written = Serialize(d, 600);
  auto file = written, want = written;
  for (uint8_t place : {2, 1}) {
    const uint8_t time[] = {uint8_t(76 + place), 0, 0, 0x80};
    const auto at = std::search(written.begin(), written.end(), std::begin(time), std::end(time)) - written.begin();
    ASSERT_LT(size_t(at), written.size());
    file.insert(file.begin() + at + 4, 8, 0xEE);
    want[size_t(at)] = place, want[size_t(at) + 3] = 0;
  }
  TJwwData back = ReadBack(file);
  EXPECT_EQ(Serialize(back, 600), want);
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(back.Texts.at(i).Text, texts[i].second) << i;
  ASSERT_EQ(back.BlockDefCount, 2);
  EXPECT_EQ(back.BlockDefs[0].Name, W(u"XY"));
  EXPECT_EQ(back.BlockDefs[0].Number, 0);
  EXPECT_EQ(back.BlockDefs[1].Name, N("three"));
  EXPECT_EQ(back.BlockDefs[1].Number, 1);
  EXPECT_EQ(back.BlockRefs.at(2).BlockNumber, 2);  // 99 becomes the used count: still dangling
  EXPECT_EQ(back.BlockRefs[0].BlockNumber, 1);
  EXPECT_EQ(back.BlockRefs[1].BlockNumber, 0);
  EXPECT_EQ(back.BlockDefs[1].BlockRefs.at(0).BlockNumber, 0);
}

TEST(Writer, DimensionPartsByVersion) {
  TEntJwwDimension withParts = MakeDimension(N(""), true);
  for (TEntJwwPoint* p : {&withParts.Point1, &withParts.Point2, &withParts.AuxPoint1, &withParts.AuxPoint2})
    p->Temporary = 0;
  withParts.AuxLine2.EndY = 42;
  TEntJwwDimension noFlag = withParts;
  noFlag.PartsFlag = 0;
  TJwwData d = NewDrawing(600);
  AddToDrawing(d, withParts);
  AddToDrawing(d, MakeBlockRef(1));
  TEntJwwBlockDef& def = AddBlockDef(d, 1, N("b"));
  Add(def, def.EntityCount, withParts);
  Add(def, def.EntityCount, noFlag);

  // From 420 all six parts are in the body whatever the flag says.
  TJwwData back = ReadBack(Serialize(d, 600));
  EXPECT_EQ(back.BlockDefs.at(0).Dims.at(1).PartsFlag, 0);
  EXPECT_EQ(back.BlockDefs[0].Dims[1].AuxLine2.EndY, 42);

  // Written as 351 the parts become six objects of their own, in the
  // drawing's list and in a definition's list alike.
  back = ReadBack(Serialize(d, 351));
  EXPECT_EQ(back.EntityOrder, (TRecords<TEntJwwListItem>{{kDimension, 0}, {kLine, 0}, {kLine, 1}, {kPoint, 0},
                                                            {kPoint, 1}, {kPoint, 2}, {kPoint, 3}, {kBlockRef, 0}}));
  EXPECT_EQ(back.Lines[1].EndY, 42);
  std::vector<uint32_t> temporary;
  for (const TEntJwwPoint& p : back.Points) temporary.push_back(p.Temporary);
  EXPECT_EQ(temporary, (std::vector<uint32_t>{0, 0, 1, 1}));
  EXPECT_EQ(back.BlockDefs.at(0).EntityCount, 8);  // split dimension, then the flagless one alone
}

TEST(Writer, ImageSectionHoldsThePlacedImagesFromTheirScratchFiles) {
  TempFolder tmp;
  TKeptImages kept(tmp.File("scratch/"));
  TImageStore& store = kept.Store;
  ASSERT_TRUE(std::filesystem::create_directory(kept.Files.Folder));
  TJwwData d = NewDrawing(700);
  // A wide text with a narrow entry and the other way round, X.BMP for x.bmp, x.bmp again, a
  // deleted scratch file, an image outside the drawing, one whose name makes its text longer
  // than 255 bytes, and one placed in a definition only.
  const std::string longName = std::string(300, 'L') + ".bmp";
  for (const JwwString& t : {W(u"^@BM%temp%n.bmp,0,0,10,10"), N("^@BM%temp%w.bmp,0,0,10,10"),
                             N("^@BM%temp%X.BMP,0,0,10,10"), N("^@BM%temp%x.bmp,5,5,10,10"),
                             N("^@BM%temp%gone.bmp,1"), N("^@BMC:/pictures/x.bmp,1"),
                             N("^@BM%temp%" + longName + ",0,0,10,10")})
    AddToDrawing(d, MakeText(t));
  AddToDrawing(d, MakeBlockRef(1));
  TEntJwwBlockDef& def = AddBlockDef(d, 1, N("b"));
  Add(def, def.EntityCount, MakeText(N("^@BM%temp%b.bmp,1")));
  // x.bmp2.gz begins with x.bmp too.
  TJwwData back = ReadBack(WithImages(Serialize(d, 700), {{N("unused.bmp.gz"), Pattern(10, 1)},
      {N("x.bmp.gz"), Pattern(5000, 2)}, {N("x.bmp2.gz"), Pattern(20, 7)}, {W(u"w.bmp.gz"), Pattern(30, 3)},
      {N("n.bmp.gz"), Pattern(40, 4)}, {N("gone.bmp.gz"), Pattern(50, 5)}, {N("b.bmp.gz"), Pattern(60, 6)},
      {N(longName + ".gz"), Pattern(70, 8)}}), &store);
  const auto biggerX = Pattern(6000, 9);  // the scratch file, not the size read, decides
  WriteFile(ScratchFile(kept, N("x.bmp.gz")), biggerX);
  ASSERT_TRUE(std::filesystem::remove(ScratchFile(kept, N("gone.bmp.gz"))));
  ByteList want;
  want.U32(5).Str(N("x.bmp.gz")).U32(6000).Raw(biggerX);
  for (const auto& [name, size, seed] : {std::tuple{W(u"w.bmp.gz"), 30, 3}, {N("n.bmp.gz"), 40, 4},
                                         {N("b.bmp.gz"), 60, 6}, {N(longName + ".gz"), 70, 8}})
    want.Str(name).U32(uint32_t(size)).Raw(Pattern(size_t(size), uint8_t(seed)));
  const auto all = Serialize(back, 700, &store);
  EXPECT_EQ(Slice(all, Serialize(back, 700).size() - 4, all.size()), want.v);

  TJwwData plain = NewDrawing(700);  // the store holds images, but nothing places them
  AddToDrawing(plain, MakeText(N("no image")));
  EXPECT_EQ(Serialize(plain, 700, &store), Serialize(plain, 700));  // image count 0

  // A scratch file that cannot be read fails the write; written to a file,
  // the old file stays as it was and no temporary is left.
  ASSERT_TRUE(std::filesystem::remove(ScratchFile(kept, N("n.bmp.gz"))));
  ASSERT_TRUE(std::filesystem::create_directory(ScratchFile(kept, N("n.bmp.gz"))));
  WriteFile(tmp.File("out.jww"), {'o', 'l', 'd'});
  EXPECT_NE(WriteDrawingFile(back, tmp.File("out.jww"), 700, TWriterFallbacks{}, &store), 0);
  EXPECT_EQ(ReadFile(tmp.File("out.jww")), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.Path()), std::filesystem::directory_iterator{}), 2);  // and scratch/
}

}  // namespace
}  // namespace qtest
