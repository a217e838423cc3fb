// Generates the seed corpus of the fuzz target (fuzz/corpus/seed-*): small
// drawings of each version layout with every kind of entity, nested blocks
// and carried images, and damaged files of each kind the reader refuses.
// The test suite replays every file of the corpus.
//
//   quorvex-make-corpus OUTDIR
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "jww/archive.h"
#include "jww/header.h"
#include "jww/jwwunit.h"
#include "jww/kinds.h"

using namespace quorvex;

namespace {

using Bytes = std::vector<uint8_t>;

JwwString Str(const char* ascii, bool wide) {
  return wide ? JwwString::Wide(std::u16string(ascii, ascii + std::strlen(ascii))) : JwwString::Narrow(ascii);
}

template <class R>
R Pen(R r, uint8_t style = 1, uint16_t color = 1) {
  r.PenStyle = style;
  r.PenColor = color;
  return r;
}

TEntJwwLine Line(double x1, double y1, double x2, double y2) {
  TEntJwwLine l = Pen(TEntJwwLine());
  l.StartX = x1, l.StartY = y1, l.EndX = x2, l.EndY = y2;
  return l;
}

TEntJwwPoint Point(double x, double y, uint8_t style = 1) {
  TEntJwwPoint p = Pen(TEntJwwPoint(), style);
  p.X = x, p.Y = y, p.Scale = 1, p.Code = style == 100 ? 3 : 0;
  return p;
}

TEntJwwText Text(const char* text, bool wide) {
  TEntJwwText t = Pen(TEntJwwText());
  t.EndX = 10, t.TextType = 1, t.SizeX = t.SizeY = 2.5;
  t.FontName = Str("F", wide);
  t.Text = Str(text, wide);
  return t;
}

TEntJwwDimension Dimension(const char* value, bool wide, bool parts) {
  TEntJwwDimension d = Pen(TEntJwwDimension());
  d.DimLine = Line(0, 10, 100, 10);
  d.ValueText = Text(value, wide);
  if (parts) {
    d.PartsFlag = 1;
    d.AuxLine1 = Line(0, 5, 0, 10), d.AuxLine2 = Line(100, 5, 100, 10);
    d.Point1 = Point(0, 10), d.Point2 = Point(100, 10), d.AuxPoint1 = Point(0, 5), d.AuxPoint2 = Point(100, 5, 100);
  }
  return d;
}

TEntJwwBlockRef Insert(int32_t number, double x) {
  TEntJwwBlockRef r = Pen(TEntJwwBlockRef());
  r.RefX = x, r.ScaleX = 2, r.ScaleY = 1, r.Angle = 0.5, r.BlockNumber = number;
  return r;
}

TEntJwwBlockDef& Define(TJwwData& d, int32_t number, const char* name, bool wide) {
  d.BlockDefs.resize(static_cast<size_t>(d.BlockDefCount));
  TEntJwwBlockDef def = Pen(TEntJwwBlockDef());
  def.Number = number;
  def.Name = Str(name, wide);
  d.BlockDefs.push_back(def);
  d.BlockDefCount = d.Header.BlockDefListCount = d.BlockDefCount + 1;
  return d.BlockDefs.back();
}

// A drawing of this version with one entity of each kind (a point with
// its extra fields, a solid with its own colour, a dimension with and one
// without value) and two nested blocks; `place` inserts the outer one.
TJwwData Drawing(int32_t version, bool wide, int32_t place = 1) {
  TJwwData d;
  SizeSettingsTables(d);
  d.Header.Version = version;
  d.Header.Memo = Str("seed", wide);
  d.Layers[1].Name = Str("walls", wide);
  int32_t& n = d.Header.EntityCount;
  TEntJwwArc arc = Pen(TEntJwwArc());
  arc.Radius = 2, arc.ArcAngle = 3, arc.Flatness = 1;
  TEntJwwSolid solid = Pen(TEntJwwSolid(), 1, 10);
  solid.X2 = solid.X3 = solid.Y3 = solid.Y4 = 1, solid.Color = 0x00FF8800;
  AppendEntity(d, n, Line(0, 0, 10, 0));
  AppendEntity(d, n, arc);
  AppendEntity(d, n, Point(1, 2, 100));
  AppendEntity(d, n, Text("note", wide));
  AppendEntity(d, n, Dimension("150", wide, true));
  AppendEntity(d, n, Dimension("", wide, true));
  AppendEntity(d, n, solid);
  AppendEntity(d, n, Insert(place, 20));
  TEntJwwBlockDef& outer = Define(d, 1, "outer", wide);
  AppendEntity(outer, outer.EntityCount, Dimension(" ", wide, false));
  AppendEntity(outer, outer.EntityCount, Insert(2, 1));
  AppendEntity(outer, outer.EntityCount, Insert(2, 2));
  TEntJwwBlockDef& inner = Define(d, 2, "inner", wide);
  AppendEntity(inner, inner.EntityCount, Line(0, 0, 1, 1));
  AppendEntity(inner, inner.EntityCount, Text("in", wide));
  return d;
}

// The bytes of a drawing, every definition kept under its own number.
Bytes Serialize(TJwwData& d) {
  for (TEntJwwBlockDef& def : d.BlockDefs) def.Used = true, def.NewNumber = def.Number;
  d.UsedBlockDefCount = d.BlockDefCount;
  TArchiveWriter w;
  d.WriteTo(w, d.Header.Version, TWriterFallbacks{}, nullptr);
  return w.Data();
}

void Put(Bytes& b, const void* p, size_t n) {
  const auto* c = static_cast<const uint8_t*>(p);
  b.insert(b.end(), c, c + n);
}
void PutU32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutName(Bytes& b, const std::string& name) {
  b.push_back(static_cast<uint8_t>(name.size()));
  Put(b, name.data(), name.size());
}

// Replaces the first occurrence of `from` by `to` (of the same length).
Bytes Replaced(Bytes b, const std::string& from, const std::string& to) {
  for (size_t i = 0; i + from.size() <= b.size(); ++i) {
    if (std::memcmp(b.data() + i, from.data(), from.size()) == 0) {
      std::memcpy(b.data() + i, to.data(), to.size());
      break;
    }
  }
  return b;
}

}  // namespace

const char kUsage[] =
    "Usage: quorvex-make-corpus OUTDIR\n"
    "Writes the fuzz target's seed drawings into the folder OUTDIR.\n";

int main(int argc, char** argv) {
  // --help prints the usage; no option is taken for a file name.
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc != 2 || argv[1][0] == '-') {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::vector<std::pair<std::string, Bytes>> seeds;
  // One drawing of each layout: narrow strings up to 600, wide from it.
  for (int32_t v : {220, 230, 300, 351, 420, 600}) {
    TJwwData d = Drawing(v, false);
    seeds.emplace_back("v" + std::to_string(v), Serialize(d));
  }
  {
    TJwwData d = Drawing(600, true);
    seeds.emplace_back("v600-wide", Serialize(d));
  }
  {
    // Carried images: one placed by a text, one not, an empty name, a size
    // of 0, a name that would leave the scratch folder, a negative size.
    TJwwData d = Drawing(700, false);
    AppendEntity(d, d.Header.EntityCount, Text("^@BM%temp%a.bmp,0,0,10,10", false));
    Bytes b = Serialize(d);
    b.resize(b.size() - 4);
    PutU32(b, 6);
    PutName(b, "a.bmp.gz"), PutU32(b, 5), Put(b, "abcde", 5);
    PutName(b, "b.bmp"), PutU32(b, 2), Put(b, "xy", 2);
    PutName(b, ""), PutU32(b, 0);
    PutName(b, "c.bmp"), PutU32(b, 0);
    PutName(b, "../d.gz"), PutU32(b, 1), Put(b, "z", 1);
    PutName(b, "e.bmp"), PutU32(b, 0xFFFFFFFF);
    seeds.emplace_back("v700-images", b);
  }
  // Damaged drawings, each refused with its own reason.
  {
    TJwwData d = Drawing(420, false);
    const Bytes whole = Serialize(d);
    seeds.emplace_back("cut-in-lists", Bytes(whole.begin(), whole.end() - 30));
    seeds.emplace_back("unknown-class", Replaced(whole, "CDataEnko", "CDataEnkX"));
    seeds.emplace_back("not-a-drawing", Replaced(Bytes(whole.begin(), whole.begin() + 200), "JwwData.", "Notes..."));
    Bytes old = whole;
    old[8] = 219, old[9] = 0;
    seeds.emplace_back("old-version", Bytes(old.begin(), old.begin() + 64));
  }
  {
    TJwwData d = Drawing(351, false, 2);
    AppendEntity(d.BlockDefs[1], d.BlockDefs[1].EntityCount, Insert(1, 3));  // 2 places 1 places 2
    seeds.emplace_back("places-itself", Serialize(d));
  }
  for (const auto& [name, bytes] : seeds) {
    const std::string path = std::string(argv[1]) + "/seed-" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
      std::fprintf(stderr, "quorvex-make-corpus: %s: cannot be written\n", path.c_str());
      return 1;
    }
  }
  std::printf("wrote %zu seeds to %s\n", seeds.size(), argv[1]);
  return 0;
}
