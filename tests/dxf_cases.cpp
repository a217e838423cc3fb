#include "dxf_cases.h"

#include <numbers>

#include "bytes/writer.h"
#include "gzip_util.h"

namespace qtest {

using namespace quorvex;
using namespace quorvex::builder;

namespace {

constexpr double kPi = std::numbers::pi;

}  // namespace

// Rows of colour stripes.
std::vector<uint8_t> CaseBitmap(uint32_t w, uint32_t h) {
  const uint32_t row = (w * 3 + 3) / 4 * 4, size = 54 + row * h;
  std::vector<uint8_t> b = {'B', 'M'};
  auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i))); };
  auto u16 = [&](uint16_t v) { b.push_back(static_cast<uint8_t>(v)), b.push_back(static_cast<uint8_t>(v >> 8)); };
  u32(size), u32(0), u32(54), u32(40), u32(w), u32(h), u16(1), u16(24), u32(0), u32(row * h), u32(2835), u32(2835),
      u32(0), u32(0);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < row; ++x) b.push_back(x < w * 3 ? static_cast<uint8_t>((y * 40 + x * 3) & 0xFF) : 0);
  return b;
}

namespace {

// A PNG of 3 x 2 pixels (only its header is looked at).
std::vector<uint8_t> TinyPng() {
  return {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0, 3, 0, 0, 0, 2,
          8,    2,   0,   0,   0,    0x12, 0x34, 0x56, 0x78};
}

// A text in Shift-JIS, or for version 700 (whose strings may be wide) in
// UTF-16, at (x, y).
TEntJwwText Japanese(int32_t version, double x, double y, const std::string& sjis, const std::u16string& utf16,
                     const TEntJwwCommon& pen) {
  TEntJwwText t = MakeText(version >= 700 ? W(utf16) : N(sjis), pen);
  t.StartX = x, t.StartY = y, t.EndX = x + 20, t.EndY = y;
  t.SizeX = t.SizeY = 3;
  t.FontName = version >= 700 ? W(u"ＭＳ ゴシック") : N("\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e");
  return t;
}

TEntJwwCommon On(uint16_t group, uint16_t layer, uint16_t color = 1, uint8_t style = 1) {
  TEntJwwCommon c = Pen(style, color, layer);
  c.LayerGroup = group;
  return c;
}

}  // namespace

std::vector<std::pair<JwwString, std::vector<uint8_t>>> DxfCaseImages() {
  return {{N("photo.bmp.gz"), Gzip(CaseBitmap(8, 6))}, {N("logo.png"), TinyPng()}};
}

TJwwData DxfCaseDrawing(int32_t version) {
  TJwwData d = NewDrawing(version);
  // Group 0 at 1/100, named; group 1 at 1/50; group 2 hidden. The states
  // mean something: the write group and its write layer are shown.
  for (int g = 0; g < 16; ++g) d.LayerGroups[g].Scale = 100, d.LayerGroups[g].State = 2;
  d.LayerGroups[1].Scale = 50;
  d.LayerGroups[2].State = 0;
  d.LayerGroups[0].Name = N("\x82\x50\x8a\x4b");  // "１階"
  d.LayerGroups[0].WriteLayer = 3;
  for (int l = 0; l < 256; ++l) d.Layers[l].State = 2;
  d.Layers[3].Name = N("\x95\xc7");  // "壁"
  d.Layers[5].State = 0;             // hidden layer 0-5
  d.Header.WriteLayerGroup = 0;
  // Colours of its own, 1 to 9, as the CAD program stores them (0x00BBGGRR).
  for (uint32_t c = 0; c < 10; ++c) d.PenSettings[c].PrinterColor = d.PenSettings[c].ScreenColor = 0x102030u * c;
  d.PenSettings[2].PrinterColor = 0x0000FF;  // red on paper
  d.LineTypes[0] = {0xF0F0F0F0u, 32, 1, 10};  // line type 2: dashes
  const bool wide = version >= 700;

  // Lines in groups of two scales, one dashed and wide.
  AddToDrawing(d, MakeLine(0, 0, 100, 0, On(0, 3, 2)));
  TEntJwwCommon dashed = On(1, 0, 3, 2);
  dashed.PenWidth = version >= 351 ? 35 : 0;
  AddToDrawing(d, MakeLine(0, 10, 50, 30, dashed));
  // Arcs: a circle, an arc running clockwise, a tilted arc, flattened
  // ones along and across their tilt, a whole ellipse.
  AddToDrawing(d, MakeArc(20, 20, 5, On(0, 3)));
  auto arc = [&](double r, double start, double sweep, double tilt, double flat) {
    TEntJwwArc a = MakeArc(40, 40, r, On(0, 4, 4));
    a.StartAngle = start, a.ArcAngle = sweep, a.TiltAngle = tilt, a.Flatness = flat, a.FullCircle = 0;
    return a;
  };
  AddToDrawing(d, arc(8, 1.0, -2.0, 0, 1));
  AddToDrawing(d, arc(8, 0.2, 1.5, kPi / 6, 1));
  AddToDrawing(d, arc(10, 0.5, 2.5, kPi / 6, 0.5));
  AddToDrawing(d, arc(6, -0.5, 4.0, -kPi / 5, 1.8));
  TEntJwwArc whole = arc(7, 0, 2 * kPi, 0.3, 0.4);
  whole.FullCircle = 1;
  AddToDrawing(d, whole);
  // Points: a plain one, a temporary one.
  AddToDrawing(d, MakePoint(5, 5, On(0, 3)));
  TEntJwwPoint temporary = MakePoint(6, 6, On(0, 3));
  temporary.Temporary = 1;
  AddToDrawing(d, temporary);
  // Texts: Japanese, turned and narrowed, one with a caret and spacing.
  AddToDrawing(d, Japanese(version, 0, 50, "\x95\xc7\x82\xcc\x8c\xfa\x82\xb3", u"壁の厚さ", On(0, 3)));
  TEntJwwText turned = Japanese(version, 30, 50, "\x82\x60\x82\x61", u"ＡＢ", On(1, 1, 5));
  turned.Angle = 30, turned.SizeX = 2, turned.SizeY = 3, turned.Spacing = 0.5;
  AddToDrawing(d, turned);
  TEntJwwText caret = MakeText(Ascii("x^2 = y", wide), On(0, 3));
  caret.StartX = 60, caret.StartY = 50;
  AddToDrawing(d, caret);
  // A text longer than a DXF value's usual 255 characters (and than the
  // writer's room for one group).
  std::string longText;
  while (longText.size() < 5000) longText += "long text " + std::to_string(longText.size()) + "; ";
  TEntJwwText notes = MakeText(Ascii(longText.c_str(), wide), On(0, 3));
  notes.StartX = 0, notes.StartY = 100;
  AddToDrawing(d, notes);
  // Solids: a square, a triangle, one of its own colour, and the round
  // ones: a disc, a tilted ellipse, a sector and an outline.
  TEntJwwSolid square = MakeSolid();
  static_cast<TEntJwwCommon&>(square) = On(0, 3, 6);
  square.X1 = 70, square.Y1 = 0, square.X2 = 80, square.Y2 = 0, square.X3 = 80, square.Y3 = 10, square.X4 = 70, square.Y4 = 10;
  AddToDrawing(d, square);
  TEntJwwSolid triangle = square;
  triangle.X3 = 75, triangle.Y3 = 20, triangle.X4 = 75, triangle.Y4 = 20;
  triangle.PenColor = 10, triangle.Color = 0x0080FF;
  AddToDrawing(d, triangle);
  AddToDrawing(d, MakeRoundSolid(90, 10, 4));
  TEntJwwSolid oval = MakeRoundSolid(90, 30, 5, 0, 2 * kPi);
  oval.Y2 = 0.5, oval.X3 = kPi / 4;
  AddToDrawing(d, oval);
  AddToDrawing(d, MakeRoundSolid(90, 50, 6, 0.3, 2.0));
  AddToDrawing(d, MakeRoundSolid(90, 70, 3, 0, kPi, 5));
  // Hidden: an entity on the hidden group and one on the hidden layer.
  AddToDrawing(d, MakeLine(0, 60, 10, 60, On(2, 0)));
  AddToDrawing(d, MakeLine(0, 62, 10, 62, On(0, 5)));
  // Dimensions: one with a value (at real size 1900: 19 on the sheet), one
  // without.
  TEntJwwDimension dim = MakeDimension(N("1900"), version >= 420);
  static_cast<TEntJwwCommon&>(dim) = On(0, 3);
  dim.DimLine = MakeLine(0, -10, 19, -10, On(0, 3));
  dim.ValueText.StartX = 7, dim.ValueText.StartY = -9, dim.ValueText.EndX = 12, dim.ValueText.EndY = -9;
  if (version >= 420) dim.AuxLine1 = MakeLine(0, -15, 0, -10), dim.AuxLine2 = MakeLine(19, -15, 19, -10);
  AddToDrawing(d, dim);
  AddToDrawing(d, MakeDimension(N(""), version >= 420));
  // Blocks nested three deep, placed turned, scaled and mirrored.
  TEntJwwBlockDef& outer = AddBlockDef(d, 1, Ascii("outer", wide));
  Add(outer, outer.EntityCount, MakeLine(0, 0, 10, 0));
  TEntJwwBlockRef middleRef = MakeBlockRef(2, 10, 0);
  middleRef.Angle = kPi / 6, middleRef.ScaleX = 2, middleRef.ScaleY = 2;
  Add(outer, outer.EntityCount, middleRef);
  TEntJwwBlockDef& middle = AddBlockDef(d, 2, Ascii("middle", wide));
  Add(middle, middle.EntityCount, MakeArc(0, 0, 2));
  TEntJwwBlockRef innerRef = MakeBlockRef(3, 3, 3);
  innerRef.ScaleX = -0.5, innerRef.ScaleY = 0.5;
  Add(middle, middle.EntityCount, innerRef);
  TEntJwwBlockDef& inner = AddBlockDef(d, 3, N("\x93\xe0"));  // "内"
  Add(inner, inner.EntityCount, MakeLine(0, 0, 1, 1));
  Add(inner, inner.EntityCount, Japanese(version, 0, 0, "\x93\xe0", u"内", Pen()));
  Add(inner, inner.EntityCount, MakeDimension(N("25"), version >= 420));
  Add(inner, inner.EntityCount, MakeDimension(N(""), version >= 420));
  Add(inner, inner.EntityCount, temporary);
  AddBlockDef(d, 4, Ascii("unused", wide));
  TEntJwwBlockRef placed = MakeBlockRef(1, 30, -30);
  static_cast<TEntJwwCommon&>(placed) = On(1, 2);
  placed.Angle = -kPi / 3, placed.ScaleX = 1.5, placed.ScaleY = 0.75;
  AddToDrawing(d, placed);
  AddToDrawing(d, MakeBlockRef(99, 0, 0));  // a number no definition has
  // Images, from version 700: the BMP turned, the PNG upright.
  if (version >= 700) {
    TEntJwwText photo = MakeText(N("^@BM%temp%photo.bmp,40,30"), On(0, 3));
    photo.StartX = 10, photo.StartY = 80, photo.Angle = 15;
    AddToDrawing(d, photo);
    TEntJwwText logo = MakeText(N("^@BM%temp%logo.png,9,6"), On(0, 3));
    logo.StartX = 60, logo.StartY = 80;
    AddToDrawing(d, logo);
  }
  (void)d.PostRead();
  return d;
}

std::vector<uint8_t> DxfCaseFile(int32_t version) {
  TJwwData d = DxfCaseDrawing(version);
  TArchiveWriter w;
  if (!d.WriteTo(w, version, TWriterFallbacks{}, nullptr)) return {};
  std::vector<uint8_t> bytes = w.Data();
  if (version < kVersionImages) return bytes;
  // The image section: the count 0 the writer put at the end, replaced.
  bytes.resize(bytes.size() - 4);
  auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i))); };
  const auto images = DxfCaseImages();
  u32(static_cast<uint32_t>(images.size()));
  for (const auto& [name, data] : images) {
    bytes.push_back(static_cast<uint8_t>(name.Length()));
    bytes.insert(bytes.end(), name.Bytes().begin(), name.Bytes().end());
    u32(static_cast<uint32_t>(data.size()));
    bytes.insert(bytes.end(), data.begin(), data.end());
  }
  return bytes;
}

}  // namespace qtest
