#include "jww/builder.h"

#include <algorithm>
#include <cstring>

#include "jww/archive.h"
#include "jww/header.h"

namespace quorvex::builder {
namespace {

template <class R>
R WithPen(const TEntJwwCommon& pen) {
  R r;
  static_cast<TEntJwwCommon&>(r) = pen;
  return r;
}

}  // namespace

JwwString N(const std::string& bytes) { return JwwString::Narrow(bytes); }
JwwString W(const std::u16string& units) { return JwwString::Wide(units); }
JwwString Ascii(const char* text, bool wide) {
  return wide ? W(std::u16string(text, text + std::strlen(text))) : N(text);
}

TEntJwwCommon Pen(uint8_t style, uint16_t color, uint16_t layer) {
  TEntJwwCommon c;
  c.PenStyle = style;
  c.PenColor = color;
  c.Layer = layer;
  return c;
}

TEntJwwLine MakeLine(double x1, double y1, double x2, double y2, const TEntJwwCommon& pen) {
  TEntJwwLine l = WithPen<TEntJwwLine>(pen);
  l.StartX = x1, l.StartY = y1, l.EndX = x2, l.EndY = y2;
  return l;
}

TEntJwwArc MakeArc(double cx, double cy, double r, const TEntJwwCommon& pen) {
  TEntJwwArc a = WithPen<TEntJwwArc>(pen);
  a.CenterX = cx, a.CenterY = cy, a.Radius = r, a.ArcAngle = 6.283185307179586, a.Flatness = 1, a.FullCircle = 1;
  return a;
}

TEntJwwPoint MakePoint(double x, double y, const TEntJwwCommon& pen) {
  TEntJwwPoint p = WithPen<TEntJwwPoint>(pen);
  p.X = x, p.Y = y, p.Scale = 1.0;
  return p;
}

TEntJwwText MakeText(const JwwString& text, const TEntJwwCommon& pen) {
  TEntJwwText t = WithPen<TEntJwwText>(pen);
  t.EndX = 10, t.TextType = 1, t.SizeX = 2.5, t.SizeY = 2.5;
  t.FontName = text.SameForm("MS Gothic");
  t.Text = text;
  return t;
}

TEntJwwSolid MakeSolid() {
  TEntJwwSolid s = WithPen<TEntJwwSolid>(Pen());
  s.X2 = 1, s.X3 = 1, s.Y3 = 1, s.Y4 = 1;
  return s;
}

TEntJwwSolid MakeRoundSolid(double cx, double cy, double r, double start, double sweep, double shape) {
  TEntJwwSolid s = WithPen<TEntJwwSolid>(Pen(kRoundSolidStyle));
  s.X1 = cx, s.Y1 = cy, s.X2 = r, s.Y2 = 1, s.X3 = 0, s.Y3 = start, s.X4 = sweep, s.Y4 = shape;
  return s;
}

TEntJwwBlockRef MakeBlockRef(int32_t number, double x, double y) {
  TEntJwwBlockRef b = WithPen<TEntJwwBlockRef>(Pen());
  b.RefX = x, b.RefY = y, b.ScaleX = 1, b.ScaleY = 1, b.BlockNumber = number;
  return b;
}

TEntJwwDimension MakeDimension(const JwwString& value, bool withParts) {
  TEntJwwDimension d = WithPen<TEntJwwDimension>(Pen());
  d.DimLine = MakeLine(0, 10, 100, 10);
  d.ValueText = MakeText(value);
  if (withParts) {
    d.PartsFlag = 1;
    d.AuxLine1 = MakeLine(0, 5, 0, 10);
    d.AuxLine2 = MakeLine(100, 5, 100, 10);
    d.Point1 = MakePoint(0, 10);
    d.Point2 = MakePoint(100, 10);
    d.AuxPoint1 = MakePoint(0, 5);
    d.AuxPoint2 = MakePoint(100, 5);
    for (TEntJwwPoint* p : {&d.Point1, &d.Point2, &d.AuxPoint1, &d.AuxPoint2}) p->Scale = 0;
  }
  return d;
}

TJwwData NewDrawing(int32_t version) {
  TJwwData d;
  SizeSettingsTables(d);
  d.Header.Version = version;
  return d;
}

TEntJwwBlockDef& AddBlockDef(TJwwData& d, int32_t number, const JwwString& name, const TEntJwwCommon& pen) {
  d.BlockDefs.resize(static_cast<size_t>(d.BlockDefCount));
  TEntJwwBlockDef def;
  static_cast<TEntJwwCommon&>(def) = pen;
  def.Number = number;
  def.Name = name;
  d.BlockDefs.push_back(def);
  ++d.BlockDefCount;
  d.Header.BlockDefListCount = d.BlockDefCount;
  return d.BlockDefs.back();
}

std::vector<uint8_t> Serialize(TJwwData& d, int32_t version, TImageStore* images) {
  // A drawing the reader would refuse (a definition that places itself) is
  // written all the same, with the marks the walk got to.
  (void)d.PostRead();
  TArchiveWriter w;
  if (!d.WriteTo(w, version, TWriterFallbacks{}, images)) return {};
  return w.Data();
}

std::vector<uint8_t> SerializeAllDefs(TJwwData& d, int32_t version) {
  for (TEntJwwBlockDef& def : d.BlockDefs) def.Used = true, def.NewNumber = def.Number;
  d.UsedBlockDefCount = d.BlockDefCount;
  TArchiveWriter w;
  if (!d.WriteTo(w, version, TWriterFallbacks{}, nullptr)) return {};
  return w.Data();
}

TJwwData LargeDrawing(int32_t n) {
  TJwwData d = NewDrawing(kVersionImages);
  for (int32_t i = 0; i < n; ++i) {
    const int kind = i % 4;
    if (kind == 0 || kind == 1) {
      AddToDrawing(d, MakeLine(0, 0, i, 1));
    } else if (kind == 2) {
      TEntJwwText t = WithPen<TEntJwwText>(Pen());
      t.SizeX = t.SizeY = 2.5;
      t.Text = N("text " + std::to_string(i));
      AddToDrawing(d, t);
    } else {
      TEntJwwDimension dim = WithPen<TEntJwwDimension>(Pen());
      dim.PartsFlag = 1;
      dim.DimLine.EndX = 10, dim.AuxLine1.EndY = 5, dim.AuxLine2.EndY = 5;
      dim.ValueText.SizeX = dim.ValueText.SizeY = 2.5;
      dim.ValueText.Text = N(i % 8 == 3 ? "" : "100");
      AddToDrawing(d, dim);
    }
  }
  const int32_t defs = n / 10;
  d.BlockDefs.resize(static_cast<size_t>(defs));
  for (int32_t k = 0; k < defs; ++k) {
    TEntJwwBlockDef& def = d.BlockDefs[static_cast<size_t>(k)];
    def.Number = k + 1;
    def.Name = N("block " + std::to_string(k));
    Add(def, def.EntityCount, MakeLine(0, 0, 1, 0));
    if (k % 2 == 0 && k + 1 < defs) Add(def, def.EntityCount, MakeBlockRef(k + 2));  // even ones place the next, a leaf
    if (k % 2 == 0) AddToDrawing(d, MakeBlockRef(k + 1));
  }
  d.BlockDefCount = d.Header.BlockDefListCount = defs;
  return d;
}

TJwwData BlockHeavyDrawing(int32_t n) {
  constexpr int32_t kDefs = 20000;
  TJwwData d = LargeDrawing(std::max<int32_t>(n - kDefs / 2, 0));
  d.BlockDefs.clear();
  d.BlockDefs.resize(kDefs);
  for (int32_t k = 0; k < kDefs; ++k) {
    TEntJwwBlockDef& def = d.BlockDefs[static_cast<size_t>(k)];
    def.Number = k + 1;
    def.Name = N("part " + std::to_string(k));
    Add(def, def.EntityCount, MakeLine(0, 0, 1, k));
  }
  // Replace the large drawing's insertions by these.
  TRecords<TEntJwwListItem> order;
  for (int32_t i = 0; i < d.Header.EntityCount; ++i)
    if (d.EntityOrder[i].Kind != kBlockRef) order.push_back(d.EntityOrder[i]);
  d.EntityOrder = order;
  d.Header.EntityCount = static_cast<int32_t>(order.size());
  d.BlockRefs.clear();
  d.BlockRefCount = 0;
  for (int32_t k = 0; k < kDefs / 2; ++k) {
    const TEntJwwBlockRef r = MakeBlockRef(k + 1, k);
    AddToDrawing(d, r);
    TEntJwwBlockDef& def = d.BlockDefs[static_cast<size_t>(k)];
    for (int twice = 0; twice < 2; ++twice) Add(def, def.EntityCount, MakeBlockRef(kDefs / 2 + k + 1, twice));
  }
  d.BlockDefCount = d.Header.BlockDefListCount = kDefs;
  return d;
}

}  // namespace quorvex::builder
