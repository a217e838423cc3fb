// Generates the bundled sample drawing samples/sample.jww: a version-700
// drawing with dimensions with and without values (in the drawing and in a
// block definition), a nested block, and an embedded image placed by a text.
//
//   quorvex-make-sample OUTPUT.jww
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "jww/header.h"
#include "jww/images.h"
#include "jww/jwwunit.h"
#include "jww/kinds.h"

using namespace quorvex;

namespace {

JwwString S(const char* text) { return JwwString::Narrow(text); }

TEntJwwCommon Pen(uint16_t color, uint16_t layer = 0) {
  TEntJwwCommon c;
  c.PenStyle = 1;
  c.PenColor = color;
  c.Layer = layer;
  return c;
}

TEntJwwLine Line(double x1, double y1, double x2, double y2, uint16_t color = 1) {
  TEntJwwLine l;
  static_cast<TEntJwwCommon&>(l) = Pen(color);
  l.StartX = x1, l.StartY = y1, l.EndX = x2, l.EndY = y2;
  return l;
}

TEntJwwPoint Point(double x, double y) {
  TEntJwwPoint p;
  static_cast<TEntJwwCommon&>(p) = Pen(1);
  p.X = x, p.Y = y;
  return p;
}

TEntJwwText Text(double x, double y, const char* text) {
  TEntJwwText t;
  static_cast<TEntJwwCommon&>(t) = Pen(1);
  t.StartX = x, t.StartY = y, t.EndX = x + 40, t.EndY = y;
  t.TextType = 1, t.SizeX = t.SizeY = 3.5, t.Spacing = 0;
  t.FontName = S("\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e");  // "ＭＳ ゴシック"
  t.Text = S(text);
  return t;
}

// A horizontal dimension from (x1, y) to (x2, y) with its extension lines
// down to y - 10 and its four points.
TEntJwwDimension Dimension(double x1, double x2, double y, const char* value) {
  TEntJwwDimension d;
  static_cast<TEntJwwCommon&>(d) = Pen(1, 2);
  d.DimLine = Line(x1, y, x2, y, 2);
  d.ValueText = Text((x1 + x2) / 2, y + 1, value);
  d.PartsFlag = 1;
  d.AuxLine1 = Line(x1, y - 10, x1, y, 2);
  d.AuxLine2 = Line(x2, y - 10, x2, y, 2);
  d.Point1 = Point(x1, y);
  d.Point2 = Point(x2, y);
  d.AuxPoint1 = Point(x1, y - 10);
  d.AuxPoint2 = Point(x2, y - 10);
  return d;
}

TEntJwwBlockRef Insert(int32_t number, double x, double y) {
  TEntJwwBlockRef b;
  static_cast<TEntJwwCommon&>(b) = Pen(1);
  b.RefX = x, b.RefY = y, b.ScaleX = b.ScaleY = 1, b.BlockNumber = number;
  return b;
}

TEntJwwBlockDef& Define(TJwwData& d, int32_t number, const char* name) {
  TEntJwwBlockDef def;
  static_cast<TEntJwwCommon&>(def) = Pen(1);
  def.Number = number;
  def.Name = S(name);
  d.BlockDefs.push_back(def);
  d.BlockDefCount = d.Header.BlockDefListCount = static_cast<int32_t>(d.BlockDefs.size());
  return d.BlockDefs.back();
}

// A 2 x 2 pixel, 24-bit BMP.
std::vector<uint8_t> TinyBitmap() {
  std::vector<uint8_t> b = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 2, 0,
                            0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0,
                            0, 0, 0, 0, 0, 0, 0, 0};
  const uint8_t pixels[] = {0, 0, 255, 255, 255, 255, 0, 0, 255, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0, 0};
  b.insert(b.end(), std::begin(pixels), std::end(pixels));
  return b;
}

}  // namespace

const char kUsage[] =
    "Usage: quorvex-make-sample OUTPUT.jww\n"
    "Writes the bundled sample drawing (samples/sample.jww) to OUTPUT.jww.\n";

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
  TJwwData d;
  SizeSettingsTables(d);
  d.Header.Version = kVersionImages;
  d.Header.Memo = S("Quorvex sample drawing");
  for (int g = 0; g < 16; ++g) d.LayerGroups[g].Scale = 100;
  int32_t& n = d.Header.EntityCount;

  // The drawing: a frame, a valued and an unvalued dimension, an image.
  AppendEntity(d, n, Line(0, 0, 200, 0));
  AppendEntity(d, n, Line(200, 0, 200, 120));
  AppendEntity(d, n, Line(200, 120, 0, 120));
  AppendEntity(d, n, Line(0, 120, 0, 0));
  AppendEntity(d, n, Dimension(0, 200, 130, "200"));
  AppendEntity(d, n, Dimension(0, 100, 140, ""));
  // The image: its lower left corner at the text, 40 wide and 30 high.
  AppendEntity(d, n, Text(10, 70, "^@BM%temp%sample.bmp,40,30"));
  AppendEntity(d, n, Insert(1, 120, 20));

  // Block 1 "window": a valued and an unvalued dimension and block 2 inside.
  TEntJwwBlockDef& window = Define(d, 1, "window");
  AppendEntity(window, window.EntityCount, Line(0, 0, 60, 0));
  AppendEntity(window, window.EntityCount, Line(60, 0, 60, 40));
  AppendEntity(window, window.EntityCount, Dimension(0, 60, 50, "\x81\x40"));  // one full-width blank
  AppendEntity(window, window.EntityCount, Dimension(0, 30, 60, "30"));
  AppendEntity(window, window.EntityCount, Insert(2, 30, 20));

  // Block 2 "mark": a circle.
  TEntJwwBlockDef& mark = Define(d, 2, "mark");
  TEntJwwArc circle;
  static_cast<TEntJwwCommon&>(circle) = Pen(3);
  circle.Radius = 5, circle.ArcAngle = 6.283185307179586, circle.Flatness = 1, circle.FullCircle = 1;
  AppendEntity(mark, mark.EntityCount, circle);

  if (!d.PostRead()) return 1;

  char folder[] = "/tmp/quorvex-sample-XXXXXX";
  if (!mkdtemp(folder)) return 1;
  TImageStore images;
  images.TempDir = std::string(folder) + "/";
  const std::vector<uint8_t> bmp = TinyBitmap();
  if (images.Add(S("sample.bmp"), bmp.data(), bmp.size()) != 0) return 1;

  const int err = d.Write(argv[1], kVersionImages, TWriterFallbacks{}, &images);
  images.DeleteScratchFiles();
  rmdir(folder);
  if (err != 0) {
    std::fprintf(stderr, "quorvex-make-sample: %s: cannot be written (error %d)\n", argv[1], err);
    return 1;
  }
  std::printf("wrote %s\n", argv[1]);
  return 0;
}
