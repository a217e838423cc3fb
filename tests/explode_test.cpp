#include "explode/explode.h"
#include "testutil.h"

#include <cerrno>
#include <tuple>

namespace qtest {
namespace {

using Order = TRecords<TEntJwwListItem>;

TJwwData Exploded(const TEntJwwDimension& dim) {
  TJwwData d = NewDrawing(600);
  AddToDrawing(d, dim);
  ExplodeDimensions(d);
  return d;
}

// A line, a valued dimension and a blank one whose second auxiliary line has
// no length, in the drawing and in a definition alike: each list gets the
// parts of its own dimensions, after its own entities.
TEST(Explode, BlankDimensionInTheDrawingAndInADefinition) {
  TJwwData d = NewDrawing(600);
  TEntJwwDimension blank = MakeDimension(N("\x81\x40"), true);  // one full-width blank
  blank.AuxLine2.EndX = blank.AuxLine2.StartX, blank.AuxLine2.EndY = blank.AuxLine2.StartY;
  AddBlockDef(d, 1, N("plain"));
  TEntJwwBlockDef& def = AddBlockDef(d, 2, N("dims"));
  for (auto [s, n] : {std::pair<TEntJwwStore*, int32_t*>{&d, &d.Header.EntityCount}, {&def, &def.EntityCount}}) {
    Add(*s, *n, MakeLine(0, 0, 1, 0));
    Add(*s, *n, MakeDimension(N("1500"), true));
    Add(*s, *n, blank);
  }
  const TExplodeSummary sum = ExplodeDimensions(d);
  for (const TEntJwwStore* s : {static_cast<TEntJwwStore*>(&d), static_cast<TEntJwwStore*>(&d.BlockDefs[1])}) {
    EXPECT_EQ(s->EntityOrder, (Order{{1, 0}, {5, 0}, {0, 1}, {1, 1}, {1, 2}, {3, 0}, {3, 1}, {3, 2}, {3, 3}}));
    EXPECT_EQ(std::tuple(s->LineCount, s->PointCount, s->DimCount), std::tuple(3, 4, 1));
    EXPECT_EQ(std::tuple(s->Lines.at(1).EndX, s->Lines.at(2).EndY, s->Points.at(3).X),
              std::tuple(blank.DimLine.EndX, blank.AuxLine1.EndY, blank.AuxPoint2.X));
  }
  EXPECT_EQ(std::tuple(d.Header.EntityCount, d.BlockDefs[1].EntityCount, d.BlockDefs[0].EntityCount), std::tuple(9, 9, 0));
  EXPECT_EQ(std::tuple(sum.DimensionsExploded, sum.LinesAdded, sum.PointsAdded), std::tuple(2, 4, 8));
}

// The dimensions an explode removes stay in Dims, out of the order list; a
// second explode must find nothing more to do, in the drawing and in its
// definitions alike.
TEST(Explode, ASecondExplodeAddsNothing) {
  TJwwData d = NewDrawing(600);
  TEntJwwBlockDef& def = AddBlockDef(d, 1, N("dims"));
  for (auto [s, n] : {std::pair<TEntJwwStore*, int32_t*>{&d, &d.Header.EntityCount}, {&def, &def.EntityCount}}) {
    Add(*s, *n, MakeDimension(N(""), true));
    Add(*s, *n, MakeDimension(N("1500"), true));
    Add(*s, *n, MakeDimension(N(" "), false));
  }
  AddToDrawing(d, MakeBlockRef(1));
  const TExplodeSummary first = ExplodeDimensions(d);
  EXPECT_EQ(std::tuple(first.DimensionsExploded, first.LinesAdded, first.PointsAdded), std::tuple(4, 8, 8));
  const std::vector<uint8_t> once = Serialize(d, 600);
  const TExplodeSummary again = ExplodeDimensions(d);
  EXPECT_EQ(std::tuple(again.DimensionsExploded, again.LinesAdded, again.PointsAdded), std::tuple(0, 0, 0));
  EXPECT_EQ(Serialize(d, 600), once);
}

TEST(Explode, OnlyDimensionsWithoutVisibleValueAreRemoved) {
  for (const JwwString& v : {N("0"), N("1,500"), N(" x "), W(u"0"), W(u"寸"), N("\x90\xa1")}) {
    const TJwwData d = Exploded(MakeDimension(v, true));
    EXPECT_EQ(d.EntityOrder, (Order{{5, 0}})) << v.Length();
  }
  for (const JwwString& v : {N(""), N("  "), N("\x81\x40"), N("\t"), W(u""), W(u"  "), W(u"　"), W(u"\t\r\n")}) {
    const TJwwData d = Exploded(MakeDimension(v, false));
    EXPECT_EQ(d.DimCount, 0) << v.Length();
    EXPECT_EQ(d.EntityOrder, (Order{{0, 0}, {1, 0}}));  // without parts: exactly one line
  }
  TEntJwwDimension flagless = MakeDimension(N(""), true);  // parts filled in, flag off
  flagless.PartsFlag = 0;
  EXPECT_EQ(Exploded(flagless).EntityOrder, (Order{{0, 0}, {1, 0}}));
}

TEST(Explode, AuxiliaryLinesNeedMoreThanTheMinimumLength) {
  const struct { double aux1, aux2, dim; int32_t lines; } cases[] = {
      // The double nearest 1e-8 lies just above it; the dimension line comes out even with no length.
      {1e-8, 5, 1, 3}, {0.9e-8, 5, 1, 2}, {0, 0, 1, 1}, {5, 0, 0, 2}, {0, 2e-8, 0, 2},
  };
  for (const auto& c : cases) {
    TEntJwwDimension dim = MakeDimension(N(""), true);
    dim.AuxLine1 = MakeLine(0, 0, c.aux1, 0);
    dim.AuxLine2 = MakeLine(3, 3, 3, 3 + c.aux2);
    dim.DimLine = MakeLine(7, 7, 7 + c.dim, 7);
    EXPECT_EQ(Exploded(dim).LineCount, c.lines) << c.aux1 << " " << c.aux2 << " " << c.dim;
  }
}

TEST(Explode, PartsTakeTheDimensionsLayerAndTheirOwnPen) {
  TEntJwwDimension dim = MakeDimension(W(u""), true);
  dim.Layer = 7, dim.LayerGroup = 9, dim.PenColor = 3, dim.Group = 11;
  dim.DimLine.Layer = 2, dim.DimLine.LayerGroup = 4, dim.DimLine.Flags = 0x0001;
  dim.DimLine.PenColor = 105, dim.DimLine.PenStyle = 5, dim.DimLine.PenWidth = 30, dim.DimLine.Group = 22;
  dim.AuxLine1.PenColor = 6, dim.Point1.Flags = 0x0100;
  dim.Point1.Temporary = dim.Point2.Temporary = dim.AuxPoint1.Temporary = dim.AuxPoint2.Temporary = 0;
  dim.Point2.PenStyle = 100, dim.Point2.Code = 4, dim.Point2.Scale = 2;
  const TJwwData d = Exploded(dim);
  ASSERT_EQ(std::tuple(d.Lines.size(), d.Points.size()), std::tuple(3u, 4u));
  for (const TEntJwwLine& l : d.Lines) EXPECT_EQ(std::tuple(l.Layer, l.LayerGroup), std::tuple(7, 9));
  for (const TEntJwwPoint& p : d.Points) EXPECT_EQ(std::tuple(p.Layer, p.LayerGroup), std::tuple(7, 9));
  const TEntJwwLine& l = d.Lines[0];
  EXPECT_EQ(std::tuple(l.Flags, l.PenColor, l.PenStyle, l.PenWidth, l.Group), std::tuple(0x2001, 105, 5, 30, 22u));
  EXPECT_EQ(std::tuple(d.Lines[1].PenColor, d.Lines[2].Flags), std::tuple(6, kExplodedLineFlag));
  EXPECT_EQ(std::tuple(d.Points[0].Flags, d.Points[1].Flags), std::tuple(0x0140, 0x0040));
  // The two auxiliary points become temporary.
  for (int i = 0; i < 4; ++i) EXPECT_EQ(d.Points[i].Temporary, i < 2 ? 0u : 1u) << i;
  const TEntJwwPoint& p = d.Points[1];
  EXPECT_EQ(std::tuple(p.PenStyle, p.Code, p.Scale), std::tuple(100, 4u, 2.0));
}

// An order item that names no record (an index past its array, or below
// 0) is left as it is by the explode, which reads and writes nothing
// beyond the arrays (the sanitizer build checks that), and the writer
// refuses it (EINVAL) rather than write a file whose count lies, also
// where a dimension's parts would be split off.
TEST(Explode, OrderItemsThatNameNoRecordAreLeftAloneAndNeverWritten) {
  for (const TEntJwwListItem bad : {TEntJwwListItem{kDimension, 1}, {kDimension, -1}, {kDimension, 1 << 30},
                                    {kLine, 99}, {kText, -5}}) {
    TJwwData d = NewDrawing(600);
    AddToDrawing(d, MakeLine(0, 0, 1, 0));
    AddToDrawing(d, MakeDimension(N(""), true));
    d.EntityOrder.push_back(bad);
    ++d.Header.EntityCount;
    const TExplodeSummary sum = ExplodeDimensions(d);
    EXPECT_EQ(std::tuple(sum.DimensionsExploded, d.EntityOrder.at(2)), std::tuple(1, bad));
    for (int32_t version : {600, 351}) {
      TArchiveWriter w;
      EXPECT_FALSE(d.WriteTo(w, version, TWriterFallbacks{}, nullptr));
      EXPECT_EQ(w.Error(), EINVAL) << bad.Kind << " " << bad.Index << " at " << version;
    }
  }
}

TEST(Explode, EmptyDrawingAndThousandsOfDimensions) {
  TJwwData d = NewDrawing(600);
  const TExplodeSummary none = ExplodeDimensions(d);
  EXPECT_EQ(d.EntityOrder.size() + d.Header.EntityCount + none.DimensionsExploded + none.LinesAdded, 0u);

  constexpr int32_t kCount = 1001;
  AddToDrawing(d, MakeLine(0, 0, 1, 1));
  for (int32_t i = 0; i < kCount; ++i) {
    TEntJwwDimension dim = MakeDimension(N(""), false);
    dim.DimLine.StartX = i;
    AddToDrawing(d, dim);
  }
  ExplodeDimensions(d);
  ASSERT_EQ(std::tuple(d.DimCount, d.LineCount, d.Header.EntityCount), std::tuple(0, kCount + 1, 2 * kCount + 1));
  for (int32_t i = 0; i < kCount; ++i) {
    ASSERT_EQ(d.EntityOrder[1 + i], (TEntJwwListItem{0, i}));
    ASSERT_EQ(d.EntityOrder[1 + kCount + i], (TEntJwwListItem{1, 1 + i}));
    ASSERT_EQ(d.Lines[1 + i].StartX, i);
  }
}

}  // namespace
}  // namespace qtest
