// Helpers for the tests of the writer and the conversion: expected bytes
// built field by field, generated drawings of any version and image
// sections appended to a written file.
#pragma once


#include <cstring>
#include <string_view>
#include <utility>

#include "gzip_util.h"
#include "testutil.h"

namespace qtest {

// Little-endian bytes built field by field, independent of the writer.
struct ByteList {
  std::vector<uint8_t> v;
  ByteList& U8(uint8_t b) { return v.push_back(b), *this; }
  ByteList& U16(uint16_t x) { return U8(x & 0xFF).U8(x >> 8); }
  ByteList& U32(uint32_t x) { return U16(x & 0xFFFF).U16(x >> 16); }
  ByteList& F64(double d) {
    uint64_t b;
    return std::memcpy(&b, &d, 8), U32(uint32_t(b)).U32(uint32_t(b >> 32));
  }
  template <class Range> ByteList& Raw(const Range& r) { return v.insert(v.end(), r.begin(), r.end()), *this; }
  // An archive string in the string's own form; its length in one byte
  // below 255, else 0xFF and 16 bits.
  ByteList& Len(size_t n) { return n < 255 ? U8(static_cast<uint8_t>(n)) : U8(0xFF).U16(static_cast<uint16_t>(n)); }
  ByteList& Str(const JwwString& s) {
    if (!s.IsWide()) return Len(s.Length()).Raw(s.Bytes());
    U8(0xFF).U16(0xFFFE).Len(s.Length());
    for (char16_t u : s.Units()) U16(u);
    return *this;
  }
  ByteList& NewClass(std::string_view name) { return U16(0xFFFF).U16(600).U16(uint16_t(name.size())).Raw(name); }
  ByteList& Common(const TEntJwwCommon& c, bool withWidth) {
    U32(c.Group).U8(c.PenStyle).U16(c.PenColor);
    if (withWidth) U16(c.PenWidth);
    return U16(c.Layer).U16(c.LayerGroup).U16(c.Flags);
  }
};

inline std::vector<uint8_t> Slice(const std::vector<uint8_t>& b, size_t from, size_t to) {
  return std::vector<uint8_t>(b.begin() + std::ptrdiff_t(from), b.begin() + std::ptrdiff_t(to));
}

// A drawing of this version with strings in one form: one entity of every
// kind but the dimension, a solid that stores a disc, a valued and an
// unvalued dimension (with parts), a definition placed once holding a line
// and the same two dimensions, and one placed at a hundredth of its size.
inline TJwwData GeneratedDrawing(int32_t version, bool wide) {
  TJwwData d = NewDrawing(version);
  d.Header.Memo = Ascii("memo", wide);
  d.Layers[3].Name = Ascii("walls", wide);
  TEntJwwBlockRef tiny = MakeBlockRef(5, 40, 0);
  tiny.ScaleX = tiny.ScaleY = 0.01;
  auto addAll = [](TEntJwwStore& s, int32_t& n, const auto&... r) { (Add(s, n, r), ...); };
  addAll(d, d.Header.EntityCount, MakeLine(0, 0, 10, 0), MakeArc(5, 5, 2), MakePoint(1, 2), MakeSolid(),
         MakeRoundSolid(30, 30, 4), MakeText(Ascii("note", wide)), MakeDimension(Ascii("1500", wide), true),
         MakeDimension(Ascii("", wide), true), MakeBlockRef(4, 20, 20), tiny);
  TEntJwwBlockDef& def = AddBlockDef(d, 4, Ascii("block", wide));
  addAll(def, def.EntityCount, MakeLine(0, 0, 1, 1), MakeDimension(Ascii("25", wide), true),
         MakeDimension(Ascii(" ", wide), true));
  TEntJwwBlockDef& small = AddBlockDef(d, 5, Ascii("drawn at full size", wide));
  addAll(small, small.EntityCount, MakeLine(0, 0, 1000, 0), MakeLine(0, 0, 0, 1000));
  EXPECT_TRUE(d.PostRead());  // the definition is marked used, as after a read
  return d;
}

// A file written without images (ending in an image count 0) with an image
// section of these entries in its place.
inline std::vector<uint8_t> WithImages(std::vector<uint8_t> file,
                                       const std::vector<std::pair<JwwString, std::vector<uint8_t>>>& entries) {
  ByteList b{std::vector<uint8_t>(file.begin(), file.end() - 4)};
  b.U32(static_cast<uint32_t>(entries.size()));
  for (const auto& [name, data] : entries) b.Str(name).U32(static_cast<uint32_t>(data.size())).Raw(data);
  return b.v;
}

// Bytes 0, 7, 14 ... of this length, shifted by seed.
inline std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + seed);
  return v;
}

}  // namespace qtest
