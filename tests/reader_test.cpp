// Reading entity records and lists: every kind at every version threshold,
// the byte layouts that depend on a field's value, class tags and object
// numbering across lists, long counts and block definition fixed parts.
#include <tuple>

#include "bytes_util.h"
#include "convert/drawingfile.h"
#include "os/readahead.h"
#include "reader_util.h"

namespace qtest {
namespace {

// The common part's fields as a file of `version` gives them back (no
// PenWidth before 351).
auto Fields(const TEntJwwCommon& c, int32_t version = 700) {
  return std::tuple(c.Group, int(c.PenStyle), c.PenColor, version < 351 ? 0 : int(c.PenWidth), c.Layer,
                         c.LayerGroup, c.Flags);
}
// A point's Code, Angle and Scale.
using Tail = std::tuple<uint32_t, double, double>;
Tail PointTail(const TEntJwwPoint& p) { return {p.Code, p.Angle, p.Scale}; }

template <class R>
R With(R r, const TEntJwwCommon& c) { return static_cast<TEntJwwCommon&>(r) = c, r; }

// Reads HandFile(version, count, objects); a failed read, or one that misses
// the tail behind the objects, fails the test and gives an empty drawing.
TJwwData ReadHand(int32_t version, uint32_t count, const ByteBuilder& objects) {
  bool ok = false;
  TJwwData r = Parse(HandFile(version, count, objects), &ok);
  if (ok && r.BlockDefCount == 1 && r.BlockDefs[0].Number == 4321 && r.BlockDefs[0].Name == N("END")) return r;
  ADD_FAILURE() << "the read failed or missed the tail";
  return TJwwData{};
}

// Every kind, the value-dependent layouts among them, and a block
// definition holding a point, a text and a dimension.
TJwwData AllKinds(int32_t version) {
  TJwwData d = NewDrawing(version);
  AddToDrawing(d, With(MakeLine(1, 2, 3, 4), Attrs(2, 3)));
  AddToDrawing(d, MakeArc(5, 6, 7));
  TEntJwwPoint marked = With(MakePoint(3.5, 4.5), Attrs(100, 6));
  marked.Code = 7, marked.Angle = 0.5, marked.Scale = 2.5;
  AddToDrawing(d, MakePoint(1.5, 2.5));
  AddToDrawing(d, marked);
  AddToDrawing(d, MakeText(N("abc")));
  TEntJwwDimension dim = With(MakeDimension(N("12"), true), Attrs(5, 8));
  dim.AuxPoint2.PenStyle = 100, dim.AuxPoint2.Code = 3, dim.AuxPoint2.Scale = 1.5;
  AddToDrawing(d, dim);
  TEntJwwSolid colored = With(MakeSolid(), Attrs(1, 10)), plainSolid = With(MakeSolid(), Attrs(1, 9));
  colored.Color = 0xABCDEF, plainSolid.Color = 0x123456;  // not on file with PenColor 9
  AddToDrawing(d, colored);
  AddToDrawing(d, plainSolid);
  AddToDrawing(d, MakeBlockRef(5, 8, 9));
  TEntJwwBlockDef& def = AddBlockDef(d, 5, N("blk"));
  Add(def, def.EntityCount, MakePoint(1, 1));
  Add(def, def.EntityCount, MakeText(N("in")));
  Add(def, def.EntityCount, MakeDimension(N(""), false));
  return d;
}

}  // namespace

TEST(ReaderRecords, EveryKindAtEveryVersionThreshold) {
  for (int32_t v : {220, 223, 225, 230, 299, 300, 350, 351, 419, 420, 600, 700}) {
    SCOPED_TRACE(v);
    TJwwData d = AllKinds(v);
    bool ok = false;
    TJwwData r = Parse(Serialize(d, v), &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(r.Header.Version, v);
    ASSERT_EQ(std::tuple(r.LineCount, r.ArcCount, r.PointCount, r.TextCount, r.DimCount, r.SolidCount,
                              r.BlockRefCount, r.BlockDefCount),
              std::tuple(1, 1, 2, 1, 1, 2, 1, 1));
    EXPECT_EQ(r.EntityOrder, d.EntityOrder);
    EXPECT_EQ(Fields(r.Lines[0]), Fields(Attrs(2, 3), v));
    EXPECT_EQ(std::tuple(r.Lines[0].EndY, r.Arcs[0].Radius, r.Texts[0].Text), std::tuple(4.0, 7.0, N("abc")));
    // Without PenStyle 100 a point of the drawing gets Code 0, Angle 0, Scale 1.
    EXPECT_EQ(std::tuple(PointTail(r.Points[0]), PointTail(r.Points[1])), std::tuple(Tail{0, 0, 1}, Tail{7, 0.5, 2.5}));
    const TEntJwwDimension& dim = r.Dims[0];
    EXPECT_EQ(std::tuple(dim.PartsFlag, dim.ValueText.Text), std::tuple(v >= 420 ? 1 : 0, N("12")));
    if (v >= 420) {  // parts on file; a point inside a dimension defaults to Scale 0
      EXPECT_EQ(dim.AuxLine2.StartX, 100);
      EXPECT_EQ(std::tuple(PointTail(dim.AuxPoint1), PointTail(dim.AuxPoint2)), std::tuple(Tail{}, Tail{3, 0, 1.5}));
    }
    EXPECT_EQ(std::tuple(r.Solids[0].Color, r.Solids[1].Color), std::tuple(0xABCDEFu, 0u));
    const TEntJwwBlockDef& def = r.BlockDefs[0];
    EXPECT_EQ(r.BlockRefs[0].BlockNumber, def.Number);
    ASSERT_EQ(std::tuple(def.EntityCount, def.PointCount, def.TextCount, def.DimCount), std::tuple(3, 1, 1, 1));
    EXPECT_EQ(std::tuple(def.Name, def.Used, def.Texts[0].Text), std::tuple(N("blk"), true, N("in")));
    EXPECT_EQ(PointTail(def.Points[0]), Tail{});  // Scale 0 inside a definition
  }
}

TEST(ReaderRecords, LayoutsThatDependOnVersionAndValues) {
  // Lines are 45 bytes before 351 and 47 from it (PenWidth), a definition's
  // fixed part 25 and 27. Points are 55 bytes with PenStyle 100, else 35
  // (33); solids 83 with PenColor 10, else 79 (77).
  for (int32_t v : {350, 351, 600}) {
    SCOPED_TRACE(v);
    ByteBuilder b;
    b.NewClass("CDataSen").Line(v, Attrs(2, 3), 1.5, 2.5, 3.5, 4.5);  // class 1, object 2
    b.NewClass("CDataTen").Point(v, Attrs(100), 1, 2, 5, 0.25, 3);    // class 3
    b.ClassRef(3).Point(v, Attrs(7), 3, 4);
    b.NewClass("CDataSolid").Common(v, Attrs(1, 10));  // class 6
    for (int i = 0; i < 8; ++i) b.F64(i);
    b.U32(0xABCDEF).ClassRef(6).Common(v, Attrs(1, 9));
    for (int i = 0; i < 8; ++i) b.F64(10 + i);
    TJwwData r = ReadHand(v, 5, b);
    ASSERT_EQ(std::tuple(r.LineCount, r.PointCount, r.SolidCount), std::tuple(1, 2, 2));
    EXPECT_EQ(Fields(r.BlockDefs[0]), Fields(Attrs(), v));
    EXPECT_EQ(Fields(r.Lines[0]), Fields(Attrs(2, 3), v));
    EXPECT_EQ(std::tuple(r.Lines[0].StartX, r.Lines[0].EndY, PointTail(r.Points[0])),
              std::tuple(1.5, 4.5, Tail{5, 0.25, 3}));
    EXPECT_EQ(std::tuple(r.Points[1].X, PointTail(r.Points[1])), std::tuple(3.0, Tail{0, 0, 1}));
    EXPECT_EQ(std::tuple(r.Solids[0].Y4, r.Solids[0].Color, r.Solids[1].Y4, r.Solids[1].Color),
              std::tuple(7.0, 0xABCDEFu, 17.0, 0u));
  }
}

TEST(ReaderRecords, DimensionPartsAreOnFileFrom420) {
  // 419: the body ends after the value text; the parts are made from the
  // dimension's own common part.
  ByteBuilder old;
  old.NewClass("CDataSunpou").Common(419, Attrs(5, 8)).Line(419, Attrs(1, 1), 0, 10, 100, 10);
  old.Text(419, Attrs(1, 2), "F", "12");
  TJwwData r = ReadHand(419, 1, old);
  ASSERT_EQ(r.DimCount, 1);
  const TEntJwwDimension& dim = r.Dims[0];
  EXPECT_EQ(std::tuple(dim.PartsFlag, dim.DimLine.EndX, dim.ValueText.Text), std::tuple(0, 100.0, N("12")));
  for (const TEntJwwLine* l : {&dim.AuxLine1, &dim.AuxLine2})
    EXPECT_EQ(std::tuple(Fields(*l), l->StartX, l->EndY), std::tuple(Fields(Attrs(5, 8), 419), 0.0, 0.0));
  for (const TEntJwwPoint* p : {&dim.Point1, &dim.Point2, &dim.AuxPoint1, &dim.AuxPoint2})
    EXPECT_EQ(std::tuple(Fields(*p), p->X, PointTail(*p)), std::tuple(Fields(Attrs(0, 8), 419), 0.0, Tail{}));
  // 420: PartsFlag, two lines and four points follow, read even with flag 0;
  // AuxPoint2 with PenStyle 100 is 20 bytes longer.
  auto dimension = [](ByteBuilder& b, uint16_t flag, uint8_t aux2Style) {
    b.Common(420, Attrs(5, 8)).Line(420, Attrs(1, 1), 0, 10, 100, 10).Text(420, Attrs(1, 2), "F", "");
    b.U16(flag).Line(420, Attrs(), 0, 5, 0, 10).Line(420, Attrs(), 100, 5, 100, 10);
    b.Point(420, Attrs(1), 0, 10).Point(420, Attrs(1), 100, 10).Point(420, Attrs(1), 0, 5);
    b.Point(420, Attrs(aux2Style), 100, 5, 9, 0.75, 4);
  };
  ByteBuilder both;
  dimension(both.NewClass("CDataSunpou"), 0, 1);
  dimension(both.ClassRef(1), 1, 100);
  r = ReadHand(420, 2, both);
  ASSERT_EQ(r.DimCount, 2);
  EXPECT_EQ(std::tuple(r.Dims[0].PartsFlag, r.Dims[0].AuxLine2.StartX, PointTail(r.Dims[0].AuxPoint2)),
            std::tuple(0, 100.0, Tail{}));
  EXPECT_EQ(std::tuple(r.Dims[1].PartsFlag, PointTail(r.Dims[1].AuxPoint2)), std::tuple(1, Tail{9, 0.75, 4}));
}

// Strings longer than 255 units are kept whole in the form they were read
// in (a double-byte character across the 255th byte included), in the
// drawing and in block definitions, and written back in that form. A
// string that ends in half a character loses only that half.
TEST(ReaderRecords, LongStringsAreKeptWholeInTheirForm) {
  const std::string narrow = std::string(254, 'x') + "\x82\xA0" + std::string(44, 'y');  // 300 bytes
  const std::u16string wide(300, u'\u8868');
  const std::string longest(65535, 'z');
  auto fixed = [](ByteBuilder& b) -> ByteBuilder& {
    return b.Common(600, Attrs()).F64(0).F64(0).F64(0).F64(0).U32(0).F64(0).F64(0).F64(0).F64(0);
  };
  ByteBuilder b;
  b.NewClass("CDataMoji").Text(600, Attrs(), "", narrow);
  fixed(b.ClassRef(1)).WideStr(wide).WideStr(wide);
  b.ClassRef(1).Text(600, Attrs(), "A\x82", longest);
  fixed(b.ClassRef(1)).WideStr(u"F").WideStr(u"A\xD800");
  TJwwData r = ReadHand(600, 4, b);
  ASSERT_EQ(r.TextCount, 4);
  EXPECT_EQ(r.Texts[0].Text, N(narrow));
  EXPECT_EQ(std::tuple(r.Texts[1].FontName, r.Texts[1].Text), std::tuple(W(wide), W(wide)));
  EXPECT_EQ(std::tuple(r.Texts[2].FontName, r.Texts[2].Text), std::tuple(N("A"), N(longest)));
  EXPECT_EQ(r.Texts[3].Text, W(u"A"));

  TJwwData d = NewDrawing(600);
  AddToDrawing(d, MakeText(N(narrow)));
  AddToDrawing(d, MakeBlockRef(1));
  TEntJwwBlockDef& def = AddBlockDef(d, 1, N(narrow));
  Add(def, def.EntityCount, MakeText(W(wide)));
  const std::vector<uint8_t> file = Serialize(d, 600);
  ByteBuilder narrowOnFile, wideOnFile;
  narrowOnFile.Str(narrow), wideOnFile.WideStr(wide);
  for (const ByteBuilder* s : {&narrowOnFile, &wideOnFile})
    EXPECT_NE(Find(file, s->Bytes()), std::string::npos);
  bool ok = false;
  const TJwwData back = Parse(file, &ok);
  ASSERT_TRUE(ok && back.TextCount == 1 && back.BlockDefCount == 1 && back.BlockDefs[0].TextCount == 1);
  EXPECT_EQ(std::tuple(back.Texts[0].Text, back.BlockDefs[0].Name, back.BlockDefs[0].Texts[0].Text),
            std::tuple(N(narrow), N(narrow), W(wide)));
}

TEST(ReaderLists, LongCountAnnouncesEveryObject) {
  constexpr uint32_t kCount = 70000;  // written as 0xFFFF, then 32 bits
  ByteBuilder b;
  b.NewClass("CDataSen").Line(600, Attrs(), 0, 0, 0, 0);
  for (uint32_t i = 1; i < kCount; ++i) b.ClassRef(1).Line(600, Attrs(), i, 0, 0, 0);
  TJwwData r = ReadHand(600, kCount, b);
  EXPECT_EQ(std::tuple(r.Header.EntityCount, r.LineCount, r.Lines.size()), std::tuple(70000, 70000, 70000u));
  ASSERT_EQ(r.EntityOrder.size(), kCount);
  EXPECT_EQ(std::tuple(r.EntityOrder.back(), r.Lines.back().StartX), std::tuple(TEntJwwListItem{kLine, 69999}, 69999.0));
}

TEST(ReaderLists, ClassNumbersRunAcrossAllLists) {
  // Object numbers: CDataSen 1, lines 2 and 3, CDataEnko 4 (named by a long
  // tag), arcs 5 and 6, line 7; CDataList 8, definition 9, line 10, CDataTen
  // 11, point 12; definition 13 with a point and an arc. A time with the top
  // bit set has 8 more bytes behind it, dropped; Time becomes the place.
  auto arc = [](ByteBuilder& b, double x) {
    b.Common(600, Attrs()).F64(x).F64(0).F64(1).F64(0).F64(1).F64(0).F64(1).U32(1);
  };
  ByteBuilder b;
  b.Append(HeaderBytes(600)).Count(5);
  b.NewClass("CDataSen").Line(600, Attrs(), 1, 0, 0, 0).ClassRef(1).Line(600, Attrs(), 2, 0, 0, 0);
  arc(b.NewClass("CDataEnko"), 3);
  arc(b.U16(0x7FFF).U32(0x80000004), 4);
  b.ClassRef(1).Line(600, Attrs(), 5, 0, 0, 0);
  b.Count(2).NewClass("CDataList").Def(600, Attrs(), 1, 0x7FFFFFFF).Str("first").Count(2);
  b.ClassRef(1).Line(600, Attrs(), 6, 0, 0, 0).NewClass("CDataTen").Point(600, Attrs(1), 7, 0);
  b.ClassRef(8).Def(600, Attrs(), 2, 0x80000123).F64(-1).Str("second").Count(2);
  arc(b.ClassRef(11).Point(600, Attrs(1), 8, 0).ClassRef(4), 9);
  bool ok = false;
  TJwwData r = Parse(b.Bytes(), &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(r.EntityOrder, (TRecords<TEntJwwListItem>{{kLine, 0}, {kLine, 1}, {kArc, 0}, {kArc, 1}, {kLine, 2}}));
  EXPECT_EQ(std::tuple(r.Lines[2].StartX, r.Arcs[1].CenterX), std::tuple(5.0, 4.0));
  ASSERT_EQ(r.BlockDefCount, 2);
  const TEntJwwBlockDef &first = r.BlockDefs[0], &second = r.BlockDefs[1];
  EXPECT_EQ(std::tuple(first.Time, first.Lines[0].StartX, first.Points[0].X), std::tuple(0x7FFFFFFFu, 6.0, 7.0));
  EXPECT_EQ(first.EntityOrder, (TRecords<TEntJwwListItem>{{kLine, 0}, {kPoint, 0}}));
  EXPECT_EQ(std::tuple(second.Time, second.Name), std::tuple(2u, N("second")));
  EXPECT_EQ(std::tuple(second.Points[0].X, second.Arcs[0].CenterX), std::tuple(8.0, 9.0));
  EXPECT_EQ(second.EntityOrder, (TRecords<TEntJwwListItem>{{kPoint, 0}, {kArc, 0}}));
}

// A file is read a block at a time; a drawing whose lists and strings run
// across the ends of the blocks must come out as the same bytes read whole.
// Names are kept whole, so block definitions with names of up to 65,535
// wide units (the longest string) put long strings everywhere.
TEST(ReaderFile, ALargeFileReadsAsItsBytesInMemoryDo) {
  TJwwData d = NewDrawing(700);
  for (int i = 0; i < 40000; ++i) AddToDrawing(d, MakeLine(i, 0, 1, 1));
  for (int k = 0; k < 40; ++k) {
    TEntJwwBlockDef& def = AddBlockDef(d, k + 1, W(std::u16string(65535 - 997 * k, char16_t(0x4E00 + k))));
    Add(def, def.EntityCount, MakeText(N("in a definition")));
    AddToDrawing(d, MakeBlockRef(k + 1));
  }
  const std::vector<uint8_t> bytes = SerializeAllDefs(d, 700);
  ASSERT_GT(bytes.size(), 4 * TReadAhead::kBlockSize);
  TempFolder tmp;
  WriteFile(tmp.File("big.jww"), bytes);
  TJwwData fromMemory, fromFile;
  TReadError error;
  ASSERT_TRUE(fromMemory.ReadBytes(bytes.data(), bytes.size(), nullptr));
  ASSERT_TRUE(ReadDrawingFile(tmp.File("big.jww"), fromFile, nullptr, &error)) << error.Describe();
  EXPECT_EQ(SerializeAllDefs(fromFile, 700), SerializeAllDefs(fromMemory, 700));
  EXPECT_EQ(fromFile.BlockDefs.back().Name, d.BlockDefs.back().Name);
}

}  // namespace qtest
