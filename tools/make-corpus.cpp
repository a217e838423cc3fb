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

#include "jww/builder.h"

using namespace quorvex;
using namespace quorvex::builder;

namespace {

using Bytes = std::vector<uint8_t>;

// A point; with line type 100 it carries code 3, angle 0 and scale 1.
TEntJwwPoint Point(double x, double y, uint8_t style = 1) {
  TEntJwwPoint p = MakePoint(x, y, Pen(style));
  p.Code = style == 100 ? 3 : 0;
  return p;
}

// A text in font "F".
TEntJwwText Text(const char* text, bool wide) {
  TEntJwwText t = MakeText(Ascii(text, wide));
  t.FontName = Ascii("F", wide);
  return t;
}

// MakeDimension's, its value text in font "F" and its points of scale 1,
// the last one with line type 100.
TEntJwwDimension Dimension(const char* value, bool wide, bool parts) {
  TEntJwwDimension d = MakeDimension(Ascii(value, wide), parts);
  d.ValueText = Text(value, wide);
  if (parts) d.Point1 = Point(0, 10), d.Point2 = Point(100, 10), d.AuxPoint1 = Point(0, 5), d.AuxPoint2 = Point(100, 5, 100);
  return d;
}

// Twice as wide, turned by half a radian.
TEntJwwBlockRef Insert(int32_t number, double x) {
  TEntJwwBlockRef r = MakeBlockRef(number, x);
  r.ScaleX = 2, r.Angle = 0.5;
  return r;
}

// A drawing of this version with one entity of each kind (a point with
// its extra fields, a solid with its own colour, a dimension with and one
// without value) and two nested blocks; `place` inserts the outer one.
TJwwData Drawing(int32_t version, bool wide, int32_t place = 1) {
  TJwwData d = NewDrawing(version);
  d.Header.Memo = Ascii("seed", wide);
  d.Layers[1].Name = Ascii("walls", wide);
  TEntJwwArc arc = MakeArc(0, 0, 2);
  arc.ArcAngle = 3, arc.FullCircle = 0;
  TEntJwwSolid solid = MakeSolid();
  solid.PenColor = 10, solid.Color = 0x00FF8800;
  AddToDrawing(d, MakeLine(0, 0, 10, 0));
  AddToDrawing(d, arc);
  AddToDrawing(d, Point(1, 2, 100));
  AddToDrawing(d, Text("note", wide));
  AddToDrawing(d, Dimension("150", wide, true));
  AddToDrawing(d, Dimension("", wide, true));
  AddToDrawing(d, solid);
  AddToDrawing(d, Insert(place, 20));
  TEntJwwBlockDef& outer = AddBlockDef(d, 1, Ascii("outer", wide));
  Add(outer, outer.EntityCount, Dimension(" ", wide, false));
  Add(outer, outer.EntityCount, Insert(2, 1));
  Add(outer, outer.EntityCount, Insert(2, 2));
  TEntJwwBlockDef& inner = AddBlockDef(d, 2, Ascii("inner", wide));
  Add(inner, inner.EntityCount, MakeLine(0, 0, 1, 1));
  Add(inner, inner.EntityCount, Text("in", wide));
  return d;
}

// The bytes of a drawing, every definition kept under its own number.
Bytes Serialize(TJwwData& d) { return SerializeAllDefs(d, d.Header.Version); }

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
    AddToDrawing(d, Text("^@BM%temp%a.bmp,0,0,10,10", false));
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
    Add(d.BlockDefs[1], d.BlockDefs[1].EntityCount, Insert(1, 3));  // 2 places 1 places 2
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
