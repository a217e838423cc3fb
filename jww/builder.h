// Drawings built in code, with the drawing model: the record makers and
// helpers with which the tests, the bundled sample (tools/make-sample), the
// fuzz seeds (tools/make-corpus) and the benchmark build their drawings,
// and the benchmark's large generated drawings. A library of its own
// (quorvex_builder): the programs do not contain it.
#pragma once

#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include "jww/images.h"
#include "jww/jwwunit.h"
#include "jww/kinds.h"
#include "jww/shapes.h"

namespace quorvex::builder {

// A narrow string of these bytes; a wide one of these units; an ASCII text
// in either form.
JwwString N(const std::string& bytes);
JwwString W(const std::u16string& units);
JwwString Ascii(const char* text, bool wide);

// A common part with this line type (PenStyle), colour and layer.
TEntJwwCommon Pen(uint8_t style = 1, uint16_t color = 1, uint16_t layer = 0);

// Records with plausible attributes (by default line type 1, colour 1,
// layer 0).
TEntJwwLine MakeLine(double x1, double y1, double x2, double y2, const TEntJwwCommon& pen = Pen());
// A full circle (flatness 1).
TEntJwwArc MakeArc(double cx, double cy, double r, const TEntJwwCommon& pen = Pen());
// Scale 1.
TEntJwwPoint MakePoint(double x, double y, const TEntJwwCommon& pen = Pen());
// From (0, 0) to (10, 0), type 1, 2.5 high and wide, font "MS Gothic" in
// the text's form.
TEntJwwText MakeText(const JwwString& text, const TEntJwwCommon& pen = Pen());
// A unit square.
TEntJwwSolid MakeSolid();
// A solid that stores a round shape (jww/shapes.h): centre, radius,
// flatness 1, no tilt, from `start` round `sweep` radians; by default a
// filled disc.
TEntJwwSolid MakeRoundSolid(double cx, double cy, double r, double start = 0, double sweep = 2 * std::numbers::pi,
                            double shape = kFilledRoundShape);
// Scale 1, no angle.
TEntJwwBlockRef MakeBlockRef(int32_t number, double x = 0, double y = 0);
// A dimension from (0, 10) to (100, 10) with this value text (MakeText);
// with parts, two auxiliary lines of length 5 down to y = 5 and four
// points of scale 0.
TEntJwwDimension MakeDimension(const JwwString& value, bool withParts);

// A new empty drawing of this version with its settings tables sized.
TJwwData NewDrawing(int32_t version);

// Appends a record to a store (the drawing or a block definition) and its
// item to the order list, keeping counts and entityCount in step.
template <class R>
void Add(TEntJwwStore& s, int32_t& entityCount, const R& r) {
  AppendEntity(s, entityCount, r);
}
template <class R>
void AddToDrawing(TJwwData& d, const R& r) {
  AppendEntity(d, d.Header.EntityCount, r);
}
// Appends an empty block definition with this number and name (the first
// BlockDefCount definitions are kept); returns it.
TEntJwwBlockDef& AddBlockDef(TJwwData& d, int32_t number, const JwwString& name, const TEntJwwCommon& pen = Pen());

// The bytes of the drawing written as a file of this version (fallbacks 1
// and 1), after the block tree is built as after a read (Used marks and
// new numbers); empty when the writer fails.
std::vector<uint8_t> Serialize(TJwwData& d, int32_t version, TImageStore* images = nullptr);
// The same with every definition kept under its own number (the writer
// otherwise drops unreached ones and renumbers); no tree is built, so a
// definition that places itself can be written.
std::vector<uint8_t> SerializeAllDefs(TJwwData& d, int32_t version);

// The benchmark's drawing of n entities (version 700): lines, texts (2.5 high) and
// dimensions (half of them without value), plus n / 10 block definitions:
// the even ones placed from the drawing, each placing the odd one after it.
TJwwData LargeDrawing(int32_t n);
// n entities around a block-heavy core: 20,000 definitions, each holding a
// line; the first 10,000 are placed once from the drawing and each of them
// places the next definition twice, so the insertions reach 30,000 tree
// nodes.
TJwwData BlockHeavyDrawing(int32_t n);

}  // namespace quorvex::builder
