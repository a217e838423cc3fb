// The drawing object's empty state and the header section: layouts by
// version, decodings, the writer's substitutions and real drawings.
#include "bytes_util.h"
#include "jww/header.h"

namespace qtest {
namespace {

// Gives fields the next value of a counter (names "s<n>" in one form) and
// writes them as the file holds them.
struct HandWriter {
  TArchiveWriter w;
  bool wide;
  int n = 0;
  template <class... T>
  void operator()(T&... f) { (Put(f), ...); }
  template <class T>
  void Put(T& f) {
    const std::string s = "s" + std::to_string(++n);
    if constexpr (std::is_same_v<T, double>) w.F64(f = n + 0.25);
    else if constexpr (std::is_same_v<T, uint32_t>) w.U32(f = 0x80000000u + static_cast<uint32_t>(n));
    else if constexpr (std::is_same_v<T, int32_t>) w.I32(f = n);
    else if constexpr (std::is_same_v<T, JwwString>)
      WriteArchiveString(w, f = wide ? W(std::u16string(s.begin(), s.end())) : N(s));
    else for (auto& e : f) Put(e);
  }
};

// Fills d field by field in file order, every value different and none that
// the writer substitutes, and returns the bytes its header must have at
// version v: the file layout written down apart from the reader and writer.
Bytes ByHand(TJwwData& d, int32_t v, bool wide) {
  d = NewDrawing(600);
  TEntJwwHeader& h = d.Header;
  HandWriter put{{}, wide};
  TArchiveWriter& w = put.w;
  h.Signature = "JwwData.";
  w.Bytes(h.Signature.data(), 8), w.I32(v);  // the version asked for, not the drawing's
  put(h.Memo, h.SheetSize, h.WriteLayerGroup);
  for (int g = 0; auto& x : d.LayerGroups) {
    put(x.State, x.WriteLayer, x.Scale, x.Protect);
    for (int l = 16 * g++, end = l + 16; l < end; ++l) put(d.Layers[l].State, d.Layers[l].Protect);
  }
  w.Zeros(56), put(h.DimSetting), w.Zeros(4);  // reserved bytes around the dimension settings
  put(h.MaxDrawWidth, h.PrinterOriginX, h.PrinterOriginY, h.PrinterScale, h.PrinterRotate, h.GridMode);
  put(h.GridDisplayMin, h.GridSpacingX, h.GridSpacingY, h.GridBaseX, h.GridBaseY);
  for (auto& x : d.Layers) put(x.Name);
  for (auto& x : d.LayerGroups) put(x.Name);
  put(h.ShadowLevel, h.ShadowLatitude, h.ShadowTimeFlag, h.WallShadowLevel);
  if (v >= 300) put(h.SkyChartLevel, h.SkyChartRadius);
  put(h.Unit3D, h.ViewScale, h.ViewOriginX, h.ViewOriginY, h.RangeScale, h.RangeOriginX, h.RangeOriginY);
  for (int m = 0; m < (v <= 230 ? 4 : 8); ++m)
    put(h.MarkScale[m], h.MarkOriginX[m], h.MarkOriginY[m]), v > 230 ? put(h.MarkLayerGroup[m]) : void();
  for (auto* x : {&h.MarkExtra1, &h.MarkExtra2})
    if (v > 230) put(x->Scale, x->OriginX, x->OriginY, x->LayerGroup);
  put(h.MultiLineSpacing, h.BothSideExtension);
  for (auto& p : d.PenSettings) put(p.ScreenColor, p.ScreenWidth);
  for (auto& p : d.PenSettings) put(p.PrinterColor, p.PrinterWidth, p.PointRadius);
  for (auto& x : d.LineTypes) put(x.Pattern, x.UnitDots, x.Pitch, x.PrinterPitch);
  for (auto& x : d.RandomLines) put(x.Pattern, x.Amplitude, x.Pitch, x.PrinterAmplitude, x.PrinterPitch);
  for (auto& x : d.DoubleLineTypes) put(x.Pattern, x.UnitDots, x.Pitch, x.PrinterPitch);
  put(h.Option);
  h.OptionLow = 3, h.OptionHigh = 2, w.I32(v >= 600 ? 23 : 3);  // the packed option
  if (v >= 223) put(h.DrawTime, h.EyeInit, h.EyeAngle1, h.EyeAngle2, h.EyeAngle3, h.EyeHeight1, h.EyeDistance1);
  if (v >= 223) put(h.EyeHeight2, h.EyeDistance2, h.EyeVertAngle3);
  if (v >= 225) put(h.LastLineLength, h.LastBoxX, h.LastBoxY, h.LastCircleRadius);
  if (v >= 230) put(h.SolidAnyColor, h.SolidColor);
  for (auto& c : d.ColorsEx) v >= 420 ? put(c.ScreenColor, c.ScreenWidth) : void();
  for (int e = 0; auto& c : d.ColorsEx) {  // above 16 the writer makes the printer colour the screen's
    if (v >= 420) put(c.Name), e++ > 16 ? w.U32(c.PrinterColor = c.ScreenColor) : put(c.PrinterColor);
    if (v >= 420) put(c.PrinterWidth, c.PointRadius);
  }
  for (auto& x : d.LineTypesEx) v >= 420 ? put(x.Pattern, x.UnitDots, x.Pitch, x.PrinterPitch) : void();
  for (int t = 0; v >= 420 && t < 33; ++t) {  // with segment counts the writer keeps
    put(d.LineTypesEx[t].Name), w.I32(d.LineTypesEx[t].SegmentCount = 2 + 2 * (t % 4));
    put(d.LineTypesEx[t].SegmentPitch);
  }
  for (auto& x : d.TextStyles) put(x.Width, x.Height, x.Spacing, x.Color);
  put(h.TextSizeX, h.TextSizeY, h.TextSpacing, h.TextColor, h.TextKind, h.TextLineSpacing, h.TextCharCount);
  put(h.TextShiftOn, h.TextShiftX, h.TextShiftY);
  return w.Data();
}

Bytes HeaderBytes(TJwwData& d, int32_t v) { return Written([&](TArchiveWriter& w) { WriteHeader(w, d, v); }); }

// Reads a header that must read into a fresh drawing; *used gets the bytes taken.
TJwwData ReadBackHeader(const Bytes& b, size_t* used = nullptr) {
  TJwwData d;
  ByteCursor c(b.data(), b.size());
  EXPECT_TRUE(ReadHeader(c, d) && c.Ok());
  if (used) *used = c.Offset();
  return d;
}

// Every cut of a header to n < length bytes (n = 0, step, 2 * step, ...) must
// fail without reading past the end: each cut is its own exactly sized buffer.
void ExpectCutsFail(const Bytes& file, size_t length, size_t step) {
  TJwwData d;  // one drawing for all reads: each read sizes the tables anew
  for (size_t n = 0; n < length; n += step) {
    const Bytes cut = Head(file, n);
    ByteCursor c(cut.data(), cut.size());
    if (ReadHeader(c, d) || c.Ok()) return ADD_FAILURE() << "a header cut to " << n << " bytes was accepted";
  }
}

TEST(Header, FieldOrderLayoutByVersionAndCuts) {
  // 230 has four 24-byte mark jumps and a 28-byte shadow block; above it ten
  // 28-byte jumps, and from 300 the 16-byte sky-chart row (none in 231..299).
  for (bool wide : {false, true}) {
    for (int32_t v : {220, 223, 225, 230, 231, 299, 300, 419, 420, 600, 700}) {
      SCOPED_TRACE(testing::Message() << "version " << v << (wide ? " wide" : " narrow"));
      TJwwData d;
      const Bytes hand = ByHand(d, v, wide);
      ASSERT_EQ(HeaderBytes(d, v), hand);
      // The reader takes every value back into its field: written again, nothing moves.
      TJwwData back = ReadBackHeader(hand);
      EXPECT_EQ(HeaderBytes(back, v), hand);
      ExpectCutsFail(hand, hand.size(), v == 230 && !wide ? 1 : 97);
    }
  }
}

void ExpectPristine(const TJwwData& d) {
  EXPECT_TRUE(d.EntityOrder.empty() && d.Lines.empty() && d.BlockRefs.empty() && d.BlockDefs.empty() &&
              d.BlockTree.empty() && d.Layers.empty() && d.ColorsEx.empty() && d.TextStyles.empty());
  EXPECT_EQ(d.TotalCount() | d.BlockRefCount | d.BlockDefCount | d.BlockTreeCount | d.UsedBlockDefCount, 0);
  const TEntJwwHeader& h = d.Header;
  EXPECT_EQ(h.Version | h.EntityCount | h.BlockDefListCount | h.MaxDrawWidth | h.OptionLow | h.DrawTime, 0);
  EXPECT_TRUE(h.Signature.empty() && h.Memo.Empty() && h.SkyChartLevel == 0 && h.MarkExtra1.Scale == 0);
  EXPECT_TRUE(h.PrinterScale == 1 && h.GridSpacingY == 1 && h.ViewScale == 1 && h.RangeScale == 1);
  for (int m = 0; m < 8; ++m) EXPECT_TRUE(h.MarkScale[m] == 1 && h.MarkOriginX[m] == 0 && h.MarkLayerGroup[m] == -1);
}

TEST(DrawingModel, NewAndResetDrawingsAreEmpty) {
  ExpectPristine(TJwwData());
  TJwwData d;
  ByHand(d, 700, true);
  AddBlockDef(d, 1, N("B"));
  AddToDrawing(d, MakeBlockRef(1));
  d.Header.Signature = "Other!!!";
  EXPECT_EQ(Head(Serialize(d, 600), 12), Cat(B("JwwData."), Le32(600)));  // a file has its own signature
  ASSERT_EQ(d.BlockTreeCount, 1);
  d.Reset();
  ExpectPristine(d);
}

TEST(Header, DecodingsAndRefusedVersions) {
  // {stored, version written, read back, is a code, value}
  for (const auto& [stored, v, back, code, value] :
       {std::tuple{-450, 600, -450, true, -50}, {-250, 600, -250, true, 50}, {-350, 600, -350, true, -100},
        {-101, 600, -101, true, -100}, {-100, 600, -100, false, -100}, {-500, 600, -500, true, -100},
        {-401, 600, -401, true, -1}, {-300, 600, -300, true, 100}, {-201, 600, -201, true, 1}, {5, 600, 5, false, 5},
        {-501, 600, -501, true, -100}, {-200, 600, -200, true, -100}, {-450, 421, -450, true, -50},
        {-450, 420, -101, true, -100}, {-450, 300, -101, true, -100}, {-102, 420, -101, true, -100},
        {-100, 420, -100, false, -100}}) {
    TJwwData d = NewDrawing(600);
    d.Header.MaxDrawWidth = stored;
    const TEntJwwHeader h = ReadBackHeader(HeaderBytes(d, v)).Header;
    EXPECT_TRUE(h.MaxDrawWidth == back && h.MaxDrawWidthIsCode == code && h.MaxDrawWidthValue == value &&
                d.Header.MaxDrawWidth == stored)  // the drawing itself is not changed
        << stored << " at " << v << " read as " << h.MaxDrawWidth << "/" << h.MaxDrawWidthValue;
  }
  // Versions below 220 are refused at the version field, which is named.
  for (int32_t v : {219, 0, -1}) {
    const Bytes b = Cat(Cat(B("JwwData."), Le32(static_cast<uint32_t>(v))), Bytes(5000, 0x41));
    TJwwData d;
    ByteCursor c(b.data(), b.size());
    EXPECT_TRUE(!ReadHeader(c, d) && c.Error().Problem == TReadProblem::kOldVersion && c.Error().Offset == 8u &&
                c.Error().Value == v) << v;
  }
  // The packed option (23 at 600, 3 below: see ByHand); no high digit is written as 1.
  TEntJwwHeader o;
  o.OptionLow = 3;
  auto packed = [&o](int32_t high, int32_t v) { return o.OptionHigh = high, PackedOptionFor(o, v); };
  EXPECT_TRUE(packed(2, 600) == 23 && packed(2, 599) == 3 && packed(0, 600) == 13 && packed(-4, 700) == 13);
}

TEST(Header, ExtendedColourAndLineTypeSubstitutions) {
  TJwwData d = NewDrawing(600);
  // {entry, name, read back}: names with nothing visible become numbered ones in the same form.
  const std::tuple<int, JwwString, JwwString> colours[] = {
      {0, N(""), N("Color_0")}, {5, N("\x81\x40"), N("Color_5")}, {7, N("^m \x01^m"), N("Color_7")},
      {8, N("a^mb\x81^m"), N("ab\x81^m")}, {200, W(u"\u3000"), W(u"Color_200")}};
  for (const auto& [e, name, back] : colours) d.ColorsEx[e].Name = name;
  d.ColorsEx[16].ScreenColor = 0x222, d.ColorsEx[16].PrinterColor = 0x111;
  d.ColorsEx[17].ScreenColor = 0x444, d.ColorsEx[17].PrinterColor = 0x333;
  auto& odd = d.LineTypesEx[20];  // above 16 only 2, 4, 6 or 8 segments are kept; up to 16 any
  odd.Name = N("mine"), odd.SegmentCount = 3, odd.Pattern = 0x12345678, odd.UnitDots = 5, odd.Pitch = 6;
  odd.PrinterPitch = 7, odd.SegmentPitch.fill(9.0);
  d.LineTypesEx[21].Name = N("kept"), d.LineTypesEx[21].SegmentCount = 4, d.LineTypesEx[21].Pattern = 0x0F0F0F0F;
  d.LineTypesEx[10].Name = N("ten"), d.LineTypesEx[10].SegmentCount = 3, d.LineTypesEx[10].Pattern = 0x00FF00FF;
  d.LineTypesEx[16].Name = N("sixteen"), d.LineTypesEx[16].SegmentCount = 5;
  d.LineTypesEx[3].Pattern = 0, d.LineTypesEx[4].Name = W(u" \x01");
  const TJwwData back = ReadBackHeader(HeaderBytes(d, 600));
  EXPECT_TRUE(odd.SegmentCount == 3 && d.ColorsEx[17].PrinterColor == 0x333) << "writing changed the drawing";
  for (const auto& [e, name, want] : colours) EXPECT_EQ(back.ColorsEx[e].Name, want) << e;
  EXPECT_TRUE(back.ColorsEx[16].PrinterColor == 0x111u && back.ColorsEx[17].PrinterColor == 0x444u);
  const auto& o = back.LineTypesEx[20];
  EXPECT_TRUE(o.Name == N("LType_20") && o.Pattern == 0xC3C3C3C3u && o.UnitDots == 8 && o.Pitch == 1);
  EXPECT_TRUE(o.PrinterPitch == 8 && o.SegmentCount == 2 && o.SegmentPitch == (std::array<double, 10>{1.0, 1.0}));
  EXPECT_TRUE(back.LineTypesEx[21].Name == N("kept") && back.LineTypesEx[21].Pattern == 0x0F0F0F0Fu &&
              back.LineTypesEx[21].SegmentCount == 4 && back.LineTypesEx[10].SegmentCount == 3);
  EXPECT_TRUE(back.LineTypesEx[16].Name == N("sixteen") && back.LineTypesEx[16].SegmentCount == 5);
  EXPECT_TRUE(back.LineTypesEx[3].Pattern == 0xFFFFFFFFu && back.LineTypesEx[4].Name == W(u"LType_4"));
}

TEST(Header, LayerNameFiltersAndRawMemo) {
  TJwwData d = NewDrawing(600);
  d.Header.Memo = N("a^m\r\n"), d.LayerGroups[2].Name = N("x^my\t");
  d.Layers[17].Name = N("QQQQ"), d.Layers[18].Name = N("^m^m"), d.Layers[19].Name = W(u"^m");
  Bytes b = HeaderBytes(d, 600);
  const size_t at = Find(b, B("\x04QQQQ"));  // control characters in place of layer 17's name
  ASSERT_NE(at, std::string::npos);
  for (int i = 1; i <= 4; ++i) b[at + i] = static_cast<uint8_t>(i == 4 ? 0x1F : i);
  const TJwwData back = ReadBackHeader(b);
  for (const auto& [l, name] : {std::pair{16, N("")}, {17, N("")}, {18, N(" ")}, {19, W(u" ")}})
    EXPECT_EQ(back.Layers[l].Name, name) << l;
  EXPECT_TRUE(back.Header.Memo == N("a^m\r\n") && back.LayerGroups[2].Name == N("xy"));  // the memo is kept raw
}

TEST(Header, RealDrawingsReadBackUnchanged) {
  QUORVEX_REQUIRE_REAL();
  for (const std::string& path : RealDrawings()) {
    SCOPED_TRACE(path);
    const Bytes file = ReadFile(path);
    size_t used = 0;
    TJwwData d = ReadBackHeader(file, &used);
    ExpectCutsFail(file, used, 7);
    // Values every drawing saved by the CAD program has: a field read from
    // the wrong place would not match.
    const TEntJwwHeader& h = d.Header;
    EXPECT_TRUE(h.Version >= 600 && h.PrinterScale == 1 && h.MarkScale[7] == 1 && h.MarkLayerGroup[0] == -1 &&
                d.LineTypes[0].Pattern == 0x99999999u && d.LineTypesEx[1].Pattern == 0xFFFFFFFFu);
    const JwwString black = h.Memo.SameForm("black"), undefined = h.Memo.SameForm("undefined");
    EXPECT_TRUE(d.ColorsEx[1].Name == black && d.LineTypesEx[16].Name == undefined);
    // Written: byte for byte the file's own header up to the extended colour
    // names (but for the reserved bytes, written as zeros) and in its last
    // 380 bytes (text settings).
    ByteCursor at(file.data() + 12, file.size() - 12);
    ReadArchiveString(at);  // the memo
    const size_t reserved = 12 + at.Offset() + 8 + 16 * 148;
    at.Skip(8 + 16 * 148 + 56 + 20 + 4 + 4 + 24 + 8 + 40);
    for (int i = 0; i < 256 + 16; ++i) ReadArchiveString(at);  // layer and group names
    const size_t names = 12 + at.Offset() + 3196;  // fields of fixed size only up to there
    Bytes expected = Head(file, names);
    std::fill_n(expected.begin() + reserved, 56, 0), std::fill_n(expected.begin() + reserved + 56 + 20, 4, 0);
    const Bytes written = HeaderBytes(d, h.Version);
    EXPECT_EQ(Head(written, names), expected);
    EXPECT_EQ(Bytes(written.end() - 380, written.end()), Bytes(file.begin() + used - 380, file.begin() + used));
    // Read again, the extended names keep the file's form, and nothing changes any more.
    TJwwData back = ReadBackHeader(written);
    const bool wide = path.find("/blocks-") != std::string::npos;  // memo and layer names: compared above
    for (const auto& x : back.ColorsEx) ASSERT_EQ(x.Name.IsWide(), wide);
    for (const auto& x : back.LineTypesEx) ASSERT_EQ(x.Name.IsWide(), wide);
    EXPECT_EQ(HeaderBytes(back, h.Version), written);
  }
}

}  // namespace
}  // namespace qtest
