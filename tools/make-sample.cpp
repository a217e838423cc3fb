// Generates the bundled sample drawing samples/sample.jww: a version-700
// drawing with dimensions with and without values (in the drawing and in a
// block definition), a nested block, an embedded image placed by a text, a
// solid that stores a filled disc and a block drawn at full size placed at
// a hundredth of it.
//
//   quorvex-make-sample OUTPUT.jww
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "convert/drawingfile.h"
#include "convert/scratchimages.h"
#include "jww/builder.h"
#include "os/scratch.h"

using namespace quorvex;
using namespace quorvex::builder;

namespace {

// A text at (x, y), 40 long and 3.5 high, in "ＭＳ ゴシック".
TEntJwwText Text(double x, double y, const char* text) {
  TEntJwwText t = MakeText(N(text));
  t.StartX = x, t.StartY = y, t.EndX = x + 40, t.EndY = y;
  t.SizeX = t.SizeY = 3.5;
  t.FontName = N("\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e");
  return t;
}

// A horizontal dimension from (x1, y) to (x2, y) on layer 2 with its
// extension lines down to y - 10 and its four points.
TEntJwwDimension Dimension(double x1, double x2, double y, const char* value) {
  TEntJwwDimension d = MakeDimension(N(value), true);
  static_cast<TEntJwwCommon&>(d) = Pen(1, 1, 2);
  d.DimLine = MakeLine(x1, y, x2, y, Pen(1, 2));
  d.ValueText = Text((x1 + x2) / 2, y + 1, value);
  d.AuxLine1 = MakeLine(x1, y - 10, x1, y, Pen(1, 2));
  d.AuxLine2 = MakeLine(x2, y - 10, x2, y, Pen(1, 2));
  d.Point1 = MakePoint(x1, y);
  d.Point2 = MakePoint(x2, y);
  d.AuxPoint1 = MakePoint(x1, y - 10);
  d.AuxPoint2 = MakePoint(x2, y - 10);
  return d;
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
  TJwwData d = NewDrawing(kVersionImages);
  d.Header.Memo = N("Quorvex sample drawing");
  for (int g = 0; g < 16; ++g) d.LayerGroups[g].Scale = 100;

  // The drawing: a frame, a valued and an unvalued dimension, an image.
  AddToDrawing(d, MakeLine(0, 0, 200, 0));
  AddToDrawing(d, MakeLine(200, 0, 200, 120));
  AddToDrawing(d, MakeLine(200, 120, 0, 120));
  AddToDrawing(d, MakeLine(0, 120, 0, 0));
  AddToDrawing(d, Dimension(0, 200, 130, "200"));
  AddToDrawing(d, Dimension(0, 100, 140, ""));
  // The image: its lower left corner at the text, 40 wide and 30 high.
  AddToDrawing(d, Text(10, 70, "^@BM%temp%sample.bmp,40,30"));
  AddToDrawing(d, MakeBlockRef(1, 120, 20));
  // A disc in a colour of its own (0x00BBGGRR: orange).
  TEntJwwSolid disc = MakeRoundSolid(80, 100, 6);
  disc.PenColor = 10, disc.Color = 0x0080FF;
  AddToDrawing(d, disc);
  TEntJwwBlockRef small = MakeBlockRef(3, 60, 20);
  small.ScaleX = small.ScaleY = 0.01;
  AddToDrawing(d, small);

  // Block 1 "window": a valued and an unvalued dimension and block 2 inside.
  TEntJwwBlockDef& window = AddBlockDef(d, 1, N("window"));
  Add(window, window.EntityCount, MakeLine(0, 0, 60, 0));
  Add(window, window.EntityCount, MakeLine(60, 0, 60, 40));
  Add(window, window.EntityCount, Dimension(0, 60, 50, "\x81\x40"));  // one full-width blank
  Add(window, window.EntityCount, Dimension(0, 30, 60, "30"));
  Add(window, window.EntityCount, MakeBlockRef(2, 30, 20));

  // Block 2 "mark": a circle.
  TEntJwwBlockDef& mark = AddBlockDef(d, 2, N("mark"));
  Add(mark, mark.EntityCount, MakeArc(0, 0, 5, Pen(1, 3)));

  // Block 3 "arrow": an arrow 3000 long, drawn in 0.35 mm lines.
  TEntJwwBlockDef& arrow = AddBlockDef(d, 3, N("arrow"));
  TEntJwwCommon wide = Pen(1, 6);
  wide.PenWidth = 35;
  Add(arrow, arrow.EntityCount, MakeLine(0, 0, 0, 3000, wide));
  Add(arrow, arrow.EntityCount, MakeLine(-600, 2200, 0, 3000, wide));
  Add(arrow, arrow.EntityCount, MakeLine(600, 2200, 0, 3000, wide));

  if (!d.PostRead()) return 1;

  // The image passes through a scratch folder, as a conversion's do.
  TScratchFolder folder;
  if (folder.CreateInFirst(ScratchBases()) != 0) return 1;
  TScratchImages kept(folder.Path());
  TImageStore images;
  images.Keeper = &kept;
  const std::vector<uint8_t> bmp = TinyBitmap();
  if (images.Add(N("sample.bmp"), bmp.data(), bmp.size()) != 0) return 1;

  const int err = WriteDrawingFile(d, argv[1], kVersionImages, TWriterFallbacks{}, &images);
  images.DropImages();
  if (err != 0) {
    std::fprintf(stderr, "quorvex-make-sample: %s: cannot be written (error %d)\n", argv[1], err);
    return 1;
  }
  std::printf("wrote %s\n", argv[1]);
  return 0;
}
